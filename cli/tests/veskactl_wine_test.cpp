// veskactl.exe, the Windows build of the command-line tool, run under Wine
// against the simulator (which runs natively): the same commands must print
// the same lines and move the same bytes as the Linux build, a received file
// must appear whole or not at all, and Ctrl-C must abort a running transfer
// through the library. COM5 of the test's Wine prefix is the simulator's
// pseudo-terminal (linklib/tests/wine_harness.h).
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sim_process.h"
#include "wine_harness.h"

namespace {

using namespace std::chrono_literals;
using vsk::htsim::testing::isFrame;
using vsk::htsim::testing::TempDir;
using vsk::htsim::testing::testPattern;
using vsk::wine_testing::Child;
using vsk::wine_testing::contents;
using vsk::wine_testing::gWine;
using vsk::wine_testing::Outcome;
using vsk::wine_testing::slurp;
using vsk::wine_testing::windowsFolder;
using vsk::wine_testing::WineFixture;
using Files = std::vector<std::pair<std::string, std::string>>;

// How Windows ends a program on Ctrl-C (STATUS_CONTROL_C_EXIT), as Wine
// passes it to Linux: the low byte of the exit code.
constexpr int kControlCExit = 0xC000013A & 0xFF;

// The terminal stores a file once it has the PC's end frame, which the PC does
// not wait for: the file may appear a moment after veskactl has ended.
std::string waitForContent(const std::string& path, const std::string& expected) {
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (slurp(path) != expected && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    return slurp(path);
}

// veskactl of both builds, on port 5.
class VeskactlWine : public WineFixture {
  protected:
    VeskactlWine() : WineFixture({kExe, "--port", "5"}, {VESKACTL_BINARY, "--port", "5"}) {}

    static inline const std::string kExe = VESKA_WINDOWS_BUILD "/bin/veskactl.exe";
};

TEST_F(VeskactlWine, DirPutAndGetAsOnLinux) {
    const Files terminal = {{"DATA.DAT", testPattern(5000, 1)}, {"LOG.TXT", testPattern(700, 2)}};
    startTerminal(terminal);

    Outcome dirW = onWindows({"dir", "5"}).wait();
    Outcome dirL = onLinux({"dir", "5"});
    EXPECT_EQ(dirW.status, 0) << dirW.err;
    EXPECT_EQ(dirW.out, dirL.out);
    EXPECT_NE(dirW.out.find("DATA.DAT"), std::string::npos) << dirW.out;

    // One file, then a batch, each reaching the terminal's folder byte for byte.
    TempDir send{"veskactl-wine-send"};
    send.write("ONE.DAT", testPattern(3000, 3));
    send.write("TWO.DAT", testPattern(70000, 4));
    send.write("THREE.DAT", testPattern(1, 5));
    const std::string win = windowsFolder(send.path());
    Outcome putW = onWindows({"put", "5", win + "ONE.DAT"}).wait();
    EXPECT_EQ(putW.status, 0) << putW.err;
    EXPECT_EQ(putW.out, "sent " + win + "ONE.DAT (3000 bytes)\n");
    EXPECT_EQ(waitForContent(store_.file("ONE.DAT"), slurp(send.file("ONE.DAT"))),
              slurp(send.file("ONE.DAT")));
    Outcome batchW = onWindows({"put", "5", win + "TWO.DAT", win + "THREE.DAT"}).wait();
    Outcome batchL = onLinux({"put", "5", send.file("TWO.DAT"), send.file("THREE.DAT")});
    EXPECT_EQ(batchW.status, 0) << batchW.err;
    EXPECT_EQ(batchW.out,
              "sent " + win + "TWO.DAT (70000 bytes)\nsent " + win + "THREE.DAT (1 byte)\n");
    EXPECT_EQ(batchL.out, "sent " + send.file("TWO.DAT") + " (70000 bytes)\nsent " +
                              send.file("THREE.DAT") + " (1 byte)\n");
    EXPECT_EQ(waitForContent(store_.file("TWO.DAT"), slurp(send.file("TWO.DAT"))),
              slurp(send.file("TWO.DAT")));
    EXPECT_EQ(slurp(store_.file("THREE.DAT")), slurp(send.file("THREE.DAT")));

    // Into a folder: exactly the terminal's files, nothing else left there.
    TempDir linuxPc{"veskactl-wine-linux-pc"};
    Outcome getW =
        onWindows({"get", "5", "DATA.DAT", "LOG.TXT", "--to", windowsFolder(pc_.path())}).wait();
    Outcome getL = onLinux({"get", "5", "DATA.DAT", "LOG.TXT", "--to", linuxPc.path()});
    EXPECT_EQ(getW.status, 0) << getW.err;
    EXPECT_EQ(getW.out, getL.out);
    EXPECT_EQ(getW.out, "received DATA.DAT (5000 bytes)\nreceived LOG.TXT (700 bytes)\n");
    EXPECT_EQ(contents(pc_.path()), terminal);
    EXPECT_EQ(contents(linuxPc.path()), terminal);
}

TEST_F(VeskactlWine, RefusesWhatTheSystemCannotOpen) {
    // A device name would name the device, not a file in the folder.
    Outcome device = onWindows({"get", "5", "AUX", "--to", windowsFolder(pc_.path())}).wait();
    EXPECT_EQ(device.status, 2);
    EXPECT_NE(device.err.find("'AUX' cannot be the name of a PC file"), std::string::npos)
        << device.err;

    // A port the prefix has no device for, with the hint that names it.
    Child missing(work_, {VESKA_WINE64, kExe, "--port", "9", "dir", "5"}, gWine->env());
    Outcome run = missing.wait();
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("there is no device \\\\.\\COM9; choose another --port or set "
                           "VESKA_COM9 to the device"),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(contents(pc_.path()).empty());
}

// Wine turns SIGINT into the console's Ctrl-C event, which reaches the
// program's console control handler on a thread of its own.
TEST_F(VeskactlWine, CtrlCAbortsAGetAndLeavesTheOldFile) {
    pc_.write("UP.DAT", "the PC's own copy\n");
    startTerminal({{"UP.DAT", testPattern(20000, 6)}}, {"--baud", "9600"});
    const auto started = std::chrono::steady_clock::now();
    Child get = onWindows({"get", "5", "UP.DAT", "--to", windowsFolder(pc_.path())});
    ASSERT_TRUE(sim_->waitSent(5, isFrame('D', "-", 5), 30s));
    get.signal(SIGINT);
    Outcome run = get.wait(30s);
    EXPECT_EQ(run.status, kControlCExit) << run.err;
    EXPECT_NE(run.err.find("1003"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("aborted; the terminal was told to stop"), std::string::npos) << run.err;
    EXPECT_TRUE(sim_->waitReceived(1, isFrame('E', "CAN", 5)));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
    EXPECT_EQ(run.err.find("Unhandled"), std::string::npos) << "Wine reported a crash: " << run.err;
    // Neither a half-written file nor a temporary one.
    EXPECT_EQ(contents(pc_.path()), (Files{{"UP.DAT", "the PC's own copy\n"}}));
}

}  // namespace

int main(int argc, char** argv) {
    return vsk::wine_testing::runTestsInOnePrefix(argc, argv);
}
