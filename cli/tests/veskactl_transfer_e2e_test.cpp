// veskactl's transfer commands run as a program against simulated terminals.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim_process.h"
#include "veskactl_run.h"

namespace {

using namespace std::chrono_literals;
using veskactl::testing::drain;
using veskactl::testing::finish;
using veskactl::testing::Outcome;
using veskactl::testing::slurp;
using veskactl::testing::spawnVeskactl;
using veskactl::testing::spawnVeskactlOnTty;
using veskactl::testing::VeskactlOnLine;
using vsk::htsim::testing::isCommand;
using vsk::htsim::testing::isFrame;
using vsk::htsim::testing::TempDir;
namespace fs = std::filesystem;

// Files the upload leaves only while it runs.
std::vector<std::string> leftovers(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::string name = entry.path().filename();
        if (name.rfind(".~vsk-", 0) == 0) names.push_back(name);
    }
    return names;
}

std::string content(size_t size, unsigned seed) {
    return vsk::htsim::testing::testPattern(size, seed);
}

// The terminal stores a file once it has the PC's end frame, which the PC does
// not wait for: the file may appear a moment after veskactl has ended.
std::string waitForContent(const std::string& path, const std::string& expected) {
    auto deadline = std::chrono::steady_clock::now() + 3s;
    while (!(fs::exists(path) && slurp(path) == expected) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    return slurp(path);
}

// What the terminal at `fd` shows until `wanted` is among it, its writer has
// gone, or `deadline` has passed.
std::string readUntilShown(int fd, const std::string& wanted, std::chrono::milliseconds deadline) {
    std::string text;
    char buffer[4096];
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (text.find(wanted) == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        struct pollfd ready = {fd, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) break;
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO once the last writer has gone
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

// The data frame with the single byte 04h that closes a batch.
bool isBatchEnd(const vsk::htsim::testing::RecordedFrame& frame) {
    return frame.type == 'D' && frame.data == std::vector<uint8_t>{0x04};
}

class Transfers : public VeskactlOnLine {
  protected:
    TempDir pc_{"veskactl-pc"};
};

TEST_F(Transfers, PutsOneFileAndABatchReportingEachFile) {
    pc_.write("ONE.DAT", content(1300, 0));
    pc_.write("TWO.DAT", content(512, 1));
    pc_.write("EMPTY.DAT", "");
    startSim({"--ht", "5", "--dir", files_.path()});

    Outcome one = veskactl({"put", "5", pc_.file("ONE.DAT")});
    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.out, "sent " + pc_.file("ONE.DAT") + " (1300 bytes)\n");
    EXPECT_EQ(waitForContent(files_.file("ONE.DAT"), content(1300, 0)), content(1300, 0));
    EXPECT_EQ(sim_->received(isCommand('D', 5)).size(), 1u);

    Outcome batch = veskactl({"put", "5", pc_.file("TWO.DAT"), pc_.file("EMPTY.DAT")});
    EXPECT_EQ(batch.status, 0) << batch.err;
    EXPECT_EQ(batch.out, "sent " + pc_.file("TWO.DAT") + " (512 bytes)\nsent " +
                             pc_.file("EMPTY.DAT") + " (0 bytes)\n");
    EXPECT_EQ(waitForContent(files_.file("TWO.DAT"), content(512, 1)), content(512, 1));
    EXPECT_EQ(waitForContent(files_.file("EMPTY.DAT"), ""), "");
    EXPECT_TRUE(fs::exists(files_.file("EMPTY.DAT")));
    EXPECT_EQ(sim_->received(isCommand('W', 5)).size(), 1u);

    // A file the terminal could not hold under its name is refused before anything is sent.
    pc_.write("LONGERNAME.DAT", "x");
    Outcome refused = veskactl({"put", "5", pc_.file("TWO.DAT"), pc_.file("LONGERNAME.DAT")});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(sim_->received(isCommand('W', 5)).size(), 1u);
}

TEST_F(Transfers, GetsWithEachSaveModeLeavingNoAuxiliaryFiles) {
    files_.write("A.DAT", "new");
    startSim({"--ht", "7", "--dir", files_.path()});
    const std::string target = pc_.file("A.DAT");

    pc_.write("A.DAT", "old");
    Outcome overwrite = veskactl({"get", "7", "A.DAT", "--to", pc_.path()});
    EXPECT_EQ(overwrite.status, 0) << overwrite.err;
    EXPECT_EQ(overwrite.out, "received A.DAT (3 bytes)\n");
    EXPECT_EQ(slurp(target), "new");

    Outcome append = veskactl({"get", "7", "A.DAT", "--to", pc_.path(), "--mode", "append"});
    EXPECT_EQ(append.status, 0) << append.err;
    EXPECT_EQ(slurp(target), "newnew");

    Outcome keep = veskactl({"get", "7", "A.DAT", "--to", pc_.path(), "--mode", "new"});
    EXPECT_EQ(keep.status, 1);
    EXPECT_NE(keep.err.find("get A.DAT on HT 007 failed: 3010"), std::string::npos) << keep.err;
    EXPECT_EQ(slurp(target), "newnew");

    // A name the terminal does not list fails alone; the others are still received.
    fs::remove(target);
    Outcome partly =
        veskactl({"get", "7", "NONE.DAT", "A.DAT", "--to", pc_.path(), "--mode", "new"});
    EXPECT_EQ(partly.status, 1);
    EXPECT_NE(partly.err.find("get NONE.DAT on HT 007 failed: the terminal does not list"),
              std::string::npos)
        << partly.err;
    EXPECT_EQ(partly.out, "received A.DAT (3 bytes)\n");
    EXPECT_EQ(slurp(target), "new");
    EXPECT_EQ(leftovers(pc_.path()), std::vector<std::string>{});
}

TEST_F(Transfers, GetsEverythingTheTerminalOffers) {
    files_.write("A.DAT", "aaaa");
    files_.write("B.DAT", content(2000, 3));
    startSim({"--ht", "9", "--dir", files_.path()});
    pc_.write("B.DAT", "kept");

    Outcome all = veskactl({"get-all", "9", "--to", pc_.path(), "--mode", "new"});
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_NE(all.out.find("received A.DAT (4 bytes)\n"), std::string::npos) << all.out;
    EXPECT_NE(all.out.find("same name, not received B.DAT\n"), std::string::npos) << all.out;
    EXPECT_EQ(slurp(pc_.file("A.DAT")), "aaaa");
    EXPECT_EQ(slurp(pc_.file("B.DAT")), "kept");
    EXPECT_EQ(leftovers(pc_.path()), std::vector<std::string>{});
}

// Per-file lines name only files the terminal offered in this call.
TEST_F(Transfers, GetAllListsOnlyFilesTheTerminalOffered) {
    files_.write("A.DAT", "aaaa");
    files_.write("B.DAT", "bbbb");
    files_.write("C.DAT", "cccc");
    startSim(
        {"--ht", "9", "--dir", files_.path(), "--fault", "silent=1@U", "--fault", "cancel=1:h@U"});

    Outcome unanswered = veskactl({"--timeout", "500", "get-all", "9", "--to", pc_.path()});
    EXPECT_EQ(unanswered.status, 1);
    EXPECT_EQ(unanswered.out, "");
    EXPECT_NE(unanswered.err.find("get-all on HT 009 failed: 2005"), std::string::npos)
        << unanswered.err;

    Outcome cancelled = veskactl({"get-all", "9", "--to", pc_.path()});
    EXPECT_EQ(cancelled.status, 1);
    EXPECT_EQ(cancelled.out, "received A.DAT (4 bytes)\n");
    EXPECT_NE(cancelled.err.find("HT 009 announced 3 files; 2 of them never came"),
              std::string::npos)
        << cancelled.err;
    EXPECT_NE(cancelled.err.find("get-all on HT 009 failed: 1002"), std::string::npos)
        << cancelled.err;
}

// The system error shown is the one of the call that failed, and only a
// failed system call shows one.
TEST_F(Transfers, GetAllShowsTheSystemErrorOfTheFailingCallOnly) {
    files_.write("A.DAT", "aaaa");
    files_.write("B\x01.DAT", "bbbb");  // no safe PC file name
    startSim({"--ht", "9", "--dir", files_.path()});

    Outcome unsafe = veskactl({"get-all", "9", "--to", pc_.path()});
    EXPECT_EQ(unsafe.status, 1);
    EXPECT_NE(unsafe.err.find("get-all on HT 009 failed: 3011"), std::string::npos) << unsafe.err;
    EXPECT_EQ(unsafe.err.find("system error"), std::string::npos) << unsafe.err;

    if (geteuid() == 0) GTEST_SKIP() << "root may write into a read-only folder";
    fs::remove(files_.file("B\x01.DAT"));
    TempDir readOnly("veskactl-ro");
    fs::permissions(readOnly.path(), fs::perms::owner_read | fs::perms::owner_exec);
    Outcome refused = veskactl({"get-all", "9", "--to", readOnly.path()});
    fs::permissions(readOnly.path(), fs::perms::owner_all);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("get-all on HT 009 failed: 6001"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("system error " + std::to_string(EACCES) + ": " +
                               std::strerror(EACCES) + "\n"),
              std::string::npos)
        << refused.err;
}

TEST_F(Transfers, InstallsAnApplication) {
    pc_.write("AP.BIN", content(700, 4));
    startSim({"--ht", "5", "--dir", files_.path()});
    Outcome installed = veskactl({"install", "5", pc_.file("AP.BIN")});
    EXPECT_EQ(installed.status, 0) << installed.err;
    EXPECT_EQ(installed.out, "installed " + pc_.file("AP.BIN") + " (700 bytes)\n");
    EXPECT_EQ(sim_->received(isCommand('A', 5)).size(), 1u);

    Outcome modeB = veskactl({"install", "5", pc_.file("AP.BIN"), "--mode", "0"});
    EXPECT_EQ(modeB.status, 0) << modeB.err;
    EXPECT_EQ(sim_->received(isCommand('B', 5)).size(), 1u);
}

TEST_F(Transfers, InstallsSystemFilesAndSaysWhenTheTerminalWantsNone) {
    pc_.write("SYSTEM.HEX", content(900, 6));
    pc_.write("OS1.HEX", content(300, 7));
    pc_.write("EX1.HEX", content(200, 8));
    startSim({"--ht", "5", "--dir", files_.path(), "--fault", "eot@O"});

    Outcome declined = veskactl({"os-install", "5", pc_.file("SYSTEM.HEX")});
    EXPECT_EQ(declined.status, 0) << declined.err;
    EXPECT_EQ(declined.out,
              "HT 005 needs no system program; " + pc_.file("SYSTEM.HEX") + " was not sent\n");

    Outcome installed = veskactl({"os-install", "5", pc_.file("SYSTEM.HEX")});
    EXPECT_EQ(installed.status, 0) << installed.err;
    EXPECT_EQ(installed.out, "installed " + pc_.file("SYSTEM.HEX") + " (900 bytes)\n");

    Outcome pair = veskactl({"os-install", "5", pc_.file("OS1.HEX"), pc_.file("EX1.HEX")});
    EXPECT_EQ(pair.status, 0) << pair.err;
    EXPECT_EQ(sim_->received(isCommand('V', 5)).size(), 1u);
    EXPECT_EQ(waitForContent(files_.file("EX1.HEX"), content(200, 8)), content(200, 8));
}

TEST_F(Transfers, ReportsEachFileOfABatchTheTerminalRefuses) {
    for (const char* name : {"A.DAT", "B.DAT", "C.DAT"}) pc_.write(name, content(100, 9));
    startSim({"--ht", "5", "--dir", files_.path(), "--fault", "result=F,1:h@W"});
    Outcome batch = veskactl({"put", "5", pc_.file("A.DAT"), pc_.file("B.DAT"), pc_.file("C.DAT")});
    EXPECT_EQ(batch.status, 1);
    EXPECT_EQ(batch.out, "sent " + pc_.file("A.DAT") + " (100 bytes)\nfailed " + pc_.file("B.DAT") +
                             "\nnot processed " + pc_.file("C.DAT") + "\n");
    EXPECT_NE(batch.err.find("put on HT 005 failed: 4002"), std::string::npos) << batch.err;
    EXPECT_FALSE(fs::exists(files_.file("B.DAT")));
}

TEST_F(Transfers, ATerminalCancellingAtABlockFailsTheTransfer) {
    pc_.write("BIG.DAT", content(3000, 10));
    startSim({"--ht", "5", "--dir", files_.path(), "--fault", "cancel=2@D"});
    Outcome put = veskactl({"put", "5", pc_.file("BIG.DAT")});
    EXPECT_EQ(put.status, 1);
    EXPECT_EQ(put.out, "");
    EXPECT_NE(put.err.find("put " + pc_.file("BIG.DAT") + " on HT 005 failed: 1002"),
              std::string::npos)
        << put.err;
    EXPECT_FALSE(fs::exists(files_.file("BIG.DAT")));
}

TEST_F(Transfers, ALineGoingDeadEndsTheTransferWithAClearMessage) {
    pc_.write("BIG.DAT", content(6000, 11));
    startSim({"--ht", "5", "--dir", files_.path(), "--fault", "hangup=5@D"});
    auto started = std::chrono::steady_clock::now();
    Outcome put = veskactl({"--timeout", "500", "--retry", "2", "put", "5", pc_.file("BIG.DAT")});
    EXPECT_EQ(put.status, 1);
    EXPECT_NE(put.err.find("failed: "), std::string::npos) << put.err;
    EXPECT_NE(put.err.find("the transfer is incomplete"), std::string::npos) << put.err;
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_EQ(sim_->waitExit(), 3);
}

TEST_F(Transfers, InterruptDuringASlowUploadLeavesNothingBehind) {
    files_.write("BIG.DAT", content(20000, 12));
    startSim({"--baud", "9600", "--ht", "5", "--dir", files_.path()});
    auto started = std::chrono::steady_clock::now();
    int master = -1;
    pid_t pid = spawnVeskactlOnTty(work_, {"get", "5", "BIG.DAT", "--to", pc_.path()}, &master);
    ASSERT_GT(pid, 0);
    // The listing's two data frames, then three of the file's.
    ASSERT_TRUE(sim_->waitSent(5, isFrame('D', "-", 5)));
    // Interrupted once the progress line, with the size from the listing, is drawn.
    std::string screen = readUntilShown(master, "% of 20000 bytes", 10s);
    kill(pid, SIGINT);
    screen += drain(master);
    close(master);
    Outcome run = finish(work_, pid);

    EXPECT_EQ(run.status, 128 + SIGINT);
    EXPECT_NE(screen.find("get BIG.DAT on HT 005 failed: 1003"), std::string::npos) << screen;
    EXPECT_NE(screen.find("aborted"), std::string::npos) << screen;
    // The progress line was drawn, with the size from the listing, and cleared again.
    EXPECT_NE(screen.find("HT 005  BIG.DAT  "), std::string::npos) << screen;
    EXPECT_NE(screen.find("% of 20000 bytes"), std::string::npos) << screen;
    EXPECT_NE(screen.find("\r\x1b[K"), std::string::npos) << screen;
    EXPECT_LT(std::chrono::steady_clock::now() - started, 15s);
    EXPECT_TRUE(sim_->waitReceived(1, isFrame('E', "CAN", 5)));
    EXPECT_FALSE(fs::exists(pc_.file("BIG.DAT")));
    EXPECT_EQ(leftovers(pc_.path()), std::vector<std::string>{});
}

TEST_F(Transfers, ShowsNoProgressWhenStderrIsNotATerminal) {
    pc_.write("P.DAT", content(3000, 13));
    startSim({"--baud", "19200", "--ht", "5", "--dir", files_.path()});
    Outcome put = veskactl({"put", "5", pc_.file("P.DAT")});
    EXPECT_EQ(put.status, 0) << put.err;
    EXPECT_EQ(put.err, "");
}

// Seven comma-separated fields, each line ended by CR LF.
void expectResultLines(const std::string& text, const std::string& ht, size_t files) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "a line without CR LF in:\n" << text;
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    ASSERT_EQ(lines.size(), files + 2) << text;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::vector<std::string> fields;
        std::stringstream line(lines[i]);
        for (std::string field; std::getline(line, field, ',');) fields.push_back(field);
        ASSERT_EQ(fields.size(), 7u) << lines[i];
        EXPECT_EQ(fields[0], i == 0 ? "H" : i + 1 == lines.size() ? "F" : "D") << lines[i];
        EXPECT_EQ(fields[3], ht) << lines[i];
    }
}

TEST_F(Transfers, ServesTheSelectionUntilTheLimitWritingAResultFile) {
    pc_.write("A.DAT", content(100, 14));
    pc_.write("B.DAT", content(600, 15));
    // The terminal answers one poll: the loop serves it once, then the time
    // limit ends the loop.
    startSim({"--ht", "5", "--dir", files_.path(), "--polls", "1"});
    const std::string result = pc_.file("result.txt");

    auto started = std::chrono::steady_clock::now();
    pid_t pid = spawnVeskactl(work_, {"serve-download", "3-5", pc_.file("A.DAT"), pc_.file("B.DAT"),
                                      "--polling", "500", "--limit", "10", "--result", result});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(sim_->waitReceived(1, isBatchEnd, 10s));
    Outcome served = finish(work_, pid);

    EXPECT_EQ(served.status, 0) << served.err;
    EXPECT_NE(served.out.find("polling ended"), std::string::npos) << served.out;
    EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);
    EXPECT_EQ(slurp(files_.file("A.DAT")), content(100, 14));
    EXPECT_FALSE(sim_->received(isCommand('P', 3)).empty());
    EXPECT_TRUE(sim_->received(isCommand('P', 6)).empty());
    expectResultLines(slurp(result), "005", 2);
}

TEST_F(Transfers, ServesUploadsWithoutAResultFile) {
    files_.write("A.DAT", "from the terminal");
    startSim({"--ht", "7", "--dir", files_.path(), "--polls", "1"});
    pid_t pid = spawnVeskactl(
        work_, {"serve-upload", "7", "--to", pc_.path(), "--mode", "new", "--limit", "10"});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(sim_->waitSent(1, isBatchEnd, 10s));
    Outcome served = finish(work_, pid);
    EXPECT_EQ(served.status, 0) << served.err;
    EXPECT_EQ(slurp(pc_.file("A.DAT")), "from the terminal");
    // Nothing else: no auxiliary file and no result file.
    EXPECT_EQ(std::distance(fs::directory_iterator(pc_.path()), fs::directory_iterator()), 1);
}

}  // namespace
