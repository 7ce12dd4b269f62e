// The Windows build of the library, run under Wine against the simulator
// (which runs natively): the same calls as on Linux must give the same
// results and files, and the faults of a real line must end the same way.
// Wine implements the Win32 serial functions over a Unix device; COM5 of the
// test's own Wine prefix is pointed at the simulator's pseudo-terminal
// through a link in the prefix's dosdevices folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim_process.h"
#include "wine_harness.h"

namespace {

using vsk::htsim::testing::isFrame;
using vsk::htsim::testing::SimProcess;
using vsk::htsim::testing::TempDir;
using vsk::htsim::testing::testPattern;
using vsk::wine_testing::Child;
using vsk::wine_testing::contents;
using vsk::wine_testing::gWine;
using vsk::wine_testing::Outcome;
using vsk::wine_testing::slurp;
using vsk::wine_testing::windowsFolder;
using vsk::wine_testing::WineFixture;

// The scenario program, the same calls on both systems.
class WineTest : public WineFixture {
  protected:
    WineTest()
        : WineFixture({VESKA_WINDOWS_BUILD "/bin/veska_scenarios.exe"}, {VESKA_SCENARIOS_NATIVE}) {}
};

TEST_F(WineTest, EveryExportAnswersAsOnLinux) {
    const std::vector<std::pair<std::string, std::string>> terminal = {
        {"DATA.DAT", testPattern(5000, 1)}, {"LOG.TXT", testPattern(700, 2)}};
    auto seedPc = [&](const TempDir& pc) {
        pc.write("SEND.DAT", testPattern(3000, 3));
        pc.write("AP.BIN", testPattern(700, 4));
        pc.write("SYSTEM.HEX", testPattern(900, 5));
        pc.write("OS.HEX", testPattern(900, 6));
        pc.write("EX.HEX", testPattern(600, 7));
    };
    seedPc(pc_);
    startTerminal(terminal);
    Outcome windowsRun = onWindows({"calls", "5", windowsFolder(pc_.path())}).wait();
    const auto windowsPc = contents(pc_.path());
    const auto windowsTerminal = contents(store_.path());
    sim_.reset();

    TempDir linuxPc{"wine-linux-pc"};
    seedPc(linuxPc);
    TempDir linuxStore{"wine-linux-store"};
    for (const auto& [name, content] : terminal) linuxStore.write(name, content);
    sim_ = std::make_unique<SimProcess>(
        std::vector<std::string>{"--ht", "5", "--dir", linuxStore.path()});
    Outcome linuxRun = onLinux({"calls", "5", linuxPc.path() + "/"});

    EXPECT_EQ(windowsRun.status, 0) << windowsRun.err;
    EXPECT_EQ(linuxRun.status, 0) << linuxRun.err;
    EXPECT_NE(windowsRun.out.find("open 0\n"), std::string::npos) << windowsRun.out;
    EXPECT_NE(windowsRun.out.find("close 0\n"), std::string::npos) << windowsRun.out;
    EXPECT_EQ(windowsRun.out, linuxRun.out);
    EXPECT_EQ(windowsPc.size(), contents(linuxPc.path()).size());
    // The result file's lines carry the time; the other files must be equal.
    auto withoutResult = [](std::vector<std::pair<std::string, std::string>> files) {
        std::erase_if(files, [](const auto& f) { return f.first == "RESULT.TXT"; });
        return files;
    };
    EXPECT_EQ(withoutResult(windowsPc), withoutResult(contents(linuxPc.path())));
    EXPECT_EQ(windowsTerminal, contents(linuxStore.path()));
}

TEST_F(WineTest, AMegabyteEachWayArrivesWhole) {
    const std::string big = testPattern(1 << 20, 9);
    startTerminal({{"BIG.DAT", big}}, {"@no-record"});
    Outcome get =
        onWindows({"get", "5", windowsFolder(pc_.path()), "BIG.DAT", std::to_string(big.size())})
            .wait();
    EXPECT_EQ(get.out, "open 0\nfupload 0\nclose 0\n") << get.err;
    EXPECT_TRUE(slurp(pc_.file("BIG.DAT")) == big) << "the received file differs";
    const std::string other = testPattern(1 << 20, 10);
    pc_.write("OTHER.DAT", other);
    Outcome put = onWindows({"put", "5", windowsFolder(pc_.path()), "OTHER.DAT",
                             std::to_string(other.size())})
                      .wait();
    EXPECT_EQ(put.out, "open 0\nfdownload 0\nclose 0\n") << put.err;
    // The terminal stores the file after the call has returned.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (slurp(store_.file("OTHER.DAT")) != other && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(slurp(store_.file("OTHER.DAT")) == other) << "the sent file differs";
}

TEST_F(WineTest, ASecondOpenOfThePortIsRefusedWithTheSystemsText) {
    startTerminal({});
    Child holder = onWindows({"hold", "5", windowsFolder(pc_.path())}, true);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (holder.outSoFar().find("open") == std::string::npos &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(holder.outSoFar(), "open 0\n");
    Outcome second = onWindows({"open", "5", windowsFolder(pc_.path())}).wait();
    EXPECT_EQ(second.out, "open 6001\nsyserror 1 text\n");
    holder.closeInput();
    EXPECT_EQ(holder.wait().out, "open 0\nclose 0\n");
}

TEST_F(WineTest, ALineThatGoesAwayMidTransferEndsTheCallAndWritesNothing) {
    startTerminal({{"BIG.DAT", testPattern(200000, 11)}}, {"--baud", "115200"});
    Child get = onWindows({"get", "5", windowsFolder(pc_.path()), "BIG.DAT", "200000"});
    ASSERT_TRUE(sim_->waitSent(20, isFrame('D'), std::chrono::seconds(30)));
    sim_->stop();
    Outcome run = get.wait();
    EXPECT_TRUE(run.out == "open 0\nfupload 6006\nclose 0\n" ||
                run.out == "open 0\nfupload 6005\nclose 0\n")
        << run.out;
    EXPECT_TRUE(contents(pc_.path()).empty()) << "something was left in the PC folder";
}

// The result file's lines without their date and time (fields 2 and 3).
std::string withoutTimes(const std::string& text) {
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        const size_t first = line.find(',');
        const size_t third =
            first == std::string::npos ? first : line.find(',', line.find(',', first + 1) + 1);
        if (third != std::string::npos) line.erase(first, third - first);
        out += line + "\n";
        start = end + 1;
    }
    return out;
}

TEST_F(WineTest, ABatchEachWayAndAPollingLoopAsOnLinux) {
    const std::vector<std::pair<std::string, std::string>> terminal = {
        {"T1.DAT", testPattern(4000, 20)}, {"T2.DAT", testPattern(1, 21)}};
    auto seedPc = [](const TempDir& pc) {
        pc.write("P1.DAT", testPattern(3000, 22));
        pc.write("P2.DAT", testPattern(70000, 23));
    };
    const std::vector<std::string> files = {"P1.DAT:3000", "MISSING.DAT:5", "P2.DAT:70000"};
    auto run = [&](bool windows, const TempDir& pc, const TempDir& store) {
        seedPc(pc);
        for (const auto& [name, content] : terminal) store.write(name, content);
        sim_ = std::make_unique<SimProcess>(
            std::vector<std::string>{"--ht", "5", "--dir", store.path()});
        if (windows) gWine->pointPort(5, sim_->path());
        std::vector<std::string> args = {"batch", "5",
                                         windows ? windowsFolder(pc.path()) : pc.path() + "/"};
        args.insert(args.end(), files.begin(), files.end());
        std::string out = windows ? onWindows(args).wait().out : onLinux(args).out;
        // The loop: the terminal offers its files once more, then polls go unanswered.
        sim_ = std::make_unique<SimProcess>(
            std::vector<std::string>{"--ht", "5", "--dir", store.path(), "--polls", "2"});
        if (windows) gWine->pointPort(5, sim_->path());
        const std::vector<std::string> loopArgs = {
            "loop", "5", windows ? windowsFolder(pc.path()) : pc.path() + "/"};
        out += windows ? onWindows(loopArgs).wait().out : onLinux(loopArgs).out;
        sim_.reset();
        return out;
    };
    TempDir linuxPc{"wine-linux-pc"}, linuxStore{"wine-linux-store"};
    const std::string windowsOut = run(true, pc_, store_);
    const std::string linuxOut = run(false, linuxPc, linuxStore);
    EXPECT_EQ(windowsOut, linuxOut);
    EXPECT_NE(windowsOut.find("alldownload 0 121"), std::string::npos) << windowsOut;
    EXPECT_NE(windowsOut.find("pollingallupload 0"), std::string::npos) << windowsOut;
    EXPECT_EQ(withoutTimes(slurp(pc_.file("RESULT.TXT"))),
              withoutTimes(slurp(linuxPc.file("RESULT.TXT"))));
    EXPECT_NE(slurp(pc_.file("RESULT.TXT")).find("T1.DAT"), std::string::npos);
    EXPECT_EQ(contents(pc_.path()).size(), contents(linuxPc.path()).size());
    EXPECT_EQ(slurp(store_.file("P2.DAT")), slurp(linuxStore.file("P2.DAT")));
    EXPECT_EQ(slurp(pc_.file("T1.DAT")), terminal[0].second);
}

TEST_F(WineTest, LineFaultsEndAsOnLinux) {
    for (const char* fault : {"nak=9@D", "noise=40", "silent"}) {
        SCOPED_TRACE(fault);
        pc_.write("F.DAT", testPattern(2000, 12));
        startTerminal({}, {"--fault", fault});
        Outcome windowsRun =
            onWindows({"put", "5", windowsFolder(pc_.path()), "F.DAT", "2000"}).wait();
        sim_.reset();
        startTerminal({}, {"--fault", fault});
        Outcome linuxRun = onLinux({"put", "5", pc_.path() + "/", "F.DAT", "2000"});
        sim_.reset();
        EXPECT_EQ(windowsRun.out, linuxRun.out);
    }
}

// The caller's own Win32 timer runs while the library waits on the line, so
// the library dispatches the thread's messages: from it, another operation
// is refused as busy and Vsk_Suspend ends the transfer, leaving nothing behind.
TEST_F(WineTest, ACallersTimerRunsDuringATransferAndItsSuspendEndsIt) {
    startTerminal({{"BIG.DAT", testPattern(300000, 13)}}, {"--baud", "115200"});
    Outcome run = onWindows({"timer", "5", windowsFolder(pc_.path()), "BIG.DAT", "300000"}).wait();
    EXPECT_EQ(run.out, "open 0\nfupload 1003\ntimer 0 nested=2007 suspend=0 percent=1\nclose 0\n")
        << run.err;
    EXPECT_TRUE(contents(pc_.path()).empty()) << "something was left in the PC folder";
}

// A program asked to end during a transfer: the call ends, and the quit is
// left for the program's own loop instead of being swallowed.
TEST_F(WineTest, AQuitDuringATransferEndsItAndIsLeftForTheProgram) {
    startTerminal({{"BIG.DAT", testPattern(300000, 15)}}, {"--baud", "115200"});
    Outcome run = onWindows({"quit", "5", windowsFolder(pc_.path()), "BIG.DAT", "300000"}).wait();
    EXPECT_EQ(run.out, "open 0\nfupload 1003\nquit 0 7\nclose 0\n") << run.err;
    EXPECT_TRUE(contents(pc_.path()).empty()) << "something was left in the PC folder";
}

// The progress window a caller asks for shows the transfer, cannot be closed
// from its menu, and its abort button, pressed with the mouse, ends the call
// and removes the window.
TEST_F(WineTest, TheProgressWindowShowsTheTransferAndItsButtonAbortsIt) {
    startTerminal({{"BIG.DAT", testPattern(300000, 14)}}, {"--baud", "115200"});
    Outcome run = onWindows({"window", "5", windowsFolder(pc_.path()), "BIG.DAT", "300000"}).wait();
    EXPECT_EQ(run.out,
              "open 0\nfupload 1003\n"
              "window 0 visible=1 ht=005 name=BIG.DAT total=300000 bar=1 polling=0 close=grey "
              "operation=ファイルのアップロードを行っています。\n"
              "window-after 0\nclose 0\n")
        << run.err;
    EXPECT_TRUE(contents(pc_.path()).empty()) << "something was left in the PC folder";
}

}  // namespace

int main(int argc, char** argv) {
    return vsk::wine_testing::runTestsInOnePrefix(argc, argv);
}
