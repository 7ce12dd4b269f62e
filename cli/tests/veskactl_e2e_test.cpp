// veskactl run as a program against simulated terminals.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim_process.h"
#include "veskactl_run.h"

namespace {

using namespace std::chrono_literals;
using veskactl::testing::finish;
using veskactl::testing::Outcome;
using veskactl::testing::slurp;
using veskactl::testing::spawnVeskactl;
using veskactl::testing::spawnVeskactlAs;
using veskactl::testing::VeskactlOnLine;
using vsk::htsim::testing::isCommand;
using vsk::htsim::testing::isFrame;
using vsk::htsim::testing::SimProcess;
using vsk::htsim::testing::TempDir;

// "データ.DAT" and "記録.DAT" as the terminal holds them.
const std::string kDataCp932 = "\x83\x66\x81\x5B\x83\x5E.DAT";
const std::string kRecordCp932 = "\x8B\x4C\x98\x5E.DAT";

TEST_F(VeskactlOnLine, ListsAndQueriesFilesWithJapaneseNames) {
    files_.write("A.DAT", "hello");
    files_.write(kDataCp932, std::string(1234, 'x'));
    startSim({"--ht", "5", "--dir", files_.path(), "--free", "2048", "--fault", "split=1"});

    Outcome dir = veskactl({"dir", "05"});
    EXPECT_EQ(dir.status, 0) << dir.err;
    EXPECT_EQ(dir.out,
              "Name             Size\n"
              "A.DAT               5\n"
              "データ.DAT       1234\n"
              "2 files, 2048 bytes free\n");

    Outcome info = veskactl({"info", "5", "データ.DAT"});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("Size:    1234\n"), std::string::npos) << info.out;
    ASSERT_TRUE(sim_->waitReceived(1, isCommand('H', 5)));
    std::vector<uint8_t> sent = sim_->received(isCommand('H', 5)).back().data;
    EXPECT_EQ(std::string(sent.begin() + 1, sent.end()), kDataCp932 + "  ");

    Outcome missing = veskactl({"info", "5", "NONE.DAT"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("info NONE.DAT on HT 005 failed: 4001 ＨＴファイルなしエラー"),
              std::string::npos)
        << missing.err;
}

TEST_F(VeskactlOnLine, DeletesUntilTheFirstFailureAndRenames) {
    files_.write("A.DAT", "a");
    files_.write("C.DAT", "c");
    files_.write("OLD.DAT", "o");
    startSim({"--ht", "128", "--dir", files_.path()});
    namespace fs = std::filesystem;

    Outcome deleting = veskactl({"delete", "128", "A.DAT", "B.DAT", "C.DAT"});
    EXPECT_EQ(deleting.status, 1);
    EXPECT_EQ(deleting.out, "deleted A.DAT\n");
    EXPECT_NE(deleting.err.find("delete B.DAT on HT 128 failed: 4003"), std::string::npos)
        << deleting.err;
    EXPECT_NE(deleting.err.find("not attempted: C.DAT"), std::string::npos) << deleting.err;
    EXPECT_FALSE(fs::exists(files_.file("A.DAT")));
    EXPECT_TRUE(fs::exists(files_.file("C.DAT")));

    Outcome renaming = veskactl({"rename", "128", "OLD.DAT", "記録.DAT"});
    EXPECT_EQ(renaming.status, 0) << renaming.err;
    EXPECT_TRUE(fs::exists(files_.file(kRecordCp932)));
    EXPECT_FALSE(fs::exists(files_.file("OLD.DAT")));

    // A name the terminal cannot hold is refused before anything is sent.
    Outcome tooLong = veskactl({"delete", "128", "C.DAT", "ABCDEFGHIJ.DAT"});
    EXPECT_EQ(tooLong.status, 2);
    EXPECT_TRUE(fs::exists(files_.file("C.DAT")));
}

TEST_F(VeskactlOnLine, ReportsASilentTerminal) {
    startSim({"--ht", "5", "--dir", files_.path(), "--fault", "silent"});
    Outcome run = veskactl({"--timeout", "500", "status", "5"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("status on HT 005 failed: 2005 タイムアウト"), std::string::npos)
        << run.err;
}

TEST_F(VeskactlOnLine, InterruptAbortsTheRunningCall) {
    files_.write("A.DAT", "a");
    startSim({"--ht", "5", "--dir", files_.path(), "--fault", "silent"});
    auto started = std::chrono::steady_clock::now();
    pid_t pid =
        spawnVeskactl(work_, {"--timeout", "1000", "--retry", "10", "delete", "5", "A.DAT"});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(sim_->waitReceived(1, isCommand('E', 5)));
    kill(pid, SIGINT);
    Outcome run = finish(work_, pid);

    EXPECT_EQ(run.status, 128 + SIGINT);
    EXPECT_NE(run.err.find("1003 中断終了（ＰＣ側）"), std::string::npos) << run.err;
    // Ten attempts would take ten seconds; the abort ends it after the current wait.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_TRUE(sim_->waitReceived(1, isFrame('E', "CAN", 5)));
    EXPECT_TRUE(std::filesystem::exists(files_.file("A.DAT")));
}

TEST_F(VeskactlOnLine, TraceOptionWritesTheLineToTheFileGiven) {
    files_.write("A.DAT", "hello");
    startSim({"--ht", "5", "--dir", files_.path()});
    const std::string trace = work_.file("line.trace");
    Outcome dir = veskactl({"--trace", trace, "dir", "5"});
    EXPECT_EQ(dir.status, 0) << dir.err;
    Outcome missing = veskactl({"info", "5", "NONE.DAT", "--trace=" + trace});
    EXPECT_EQ(missing.status, 1);

    const std::string text = slurp(trace);
    for (const char* line :
         {"trace opened by veskactl", "PC→HT C ht=005 blk=0 len=0001 F (listing)",
          "HT→PC D ht=005 blk=1 len=0019 - data=\"A.DAT       0000005\"", "Vsk_DIR(handle=0x",
          ", ht=\"005\") = 0 OK, ",
          "PC→HT C ht=005 blk=0 len=0013 H (file info) data=\"NONE.DAT    \"",
          ", name=\"NONE.DAT\") = 4001 ＨＴファイルなしエラー, "}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << " in:\n" << text;
    }
    EXPECT_EQ(veskactl({"--trace", "", "dir", "5"}).status, 2);
}

// The device's exclusive flag, read back: it stops only unprivileged openers,
// and these tests may run as root.
bool exclusiveFlagSet(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return errno == EBUSY;  // what the flag does to an unprivileged opener
    int exclusive = 0;
    bool set = ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
    close(fd);
    return set;
}

TEST_F(VeskactlOnLine, EachRunGivesThePortBackAndAHeldPortIsRefused) {
    files_.write("A.DAT", "a");
    startSim({"--ht", "5", "--dir", files_.path(), "--fault", "silent=1@E"});
    for (int run = 1; run <= 2; ++run) {
        Outcome dir = veskactl({"dir", "5"});
        EXPECT_EQ(dir.status, 0) << "run " << run << ": " << dir.err;
        EXPECT_FALSE(exclusiveFlagSet(sim_->path())) << "after run " << run;
    }

    // A run waiting for the terminal holds the port.
    pid_t holder =
        spawnVeskactl(work_, {"--timeout", "1000", "--retry", "10", "delete", "5", "A.DAT"});
    ASSERT_GT(holder, 0);
    ASSERT_TRUE(sim_->waitReceived(1, isCommand('E', 5)));
    TempDir second("veskactl-second");
    Outcome refused = finish(second, spawnVeskactl(second, {"dir", "5"}));
    kill(holder, SIGINT);
    EXPECT_EQ(finish(work_, holder).status, 128 + SIGINT);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("open port 1 failed: 6001"), std::string::npos) << refused.err;
    EXPECT_NE(
        refused.err.find("system error " + std::to_string(EBUSY) + ": " + std::strerror(EBUSY)),
        std::string::npos)
        << refused.err;

    EXPECT_FALSE(exclusiveFlagSet(sim_->path()));
    EXPECT_EQ(veskactl({"dir", "5"}).status, 0);
}

// Joining a group helps only when that group may read and write the device;
// root's group is never suggested.
TEST_F(VeskactlOnLine, PermissionHintNamesOnlyAGroupThatGrantsAccess) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to open the line as another user";
    const struct group* dialout = getgrnam("dialout");
    if (dialout == nullptr) GTEST_SKIP() << "no group dialout";
    const gid_t dialoutGid = dialout->gr_gid;
    startSim({"--ht", "5"});
    const std::string device = sim_->path();
    struct Case {
        gid_t group;
        mode_t mode;
        bool named;
    } cases[] = {
        {0, 0600, false}, {0, 0660, false}, {dialoutGid, 0640, false}, {dialoutGid, 0660, true}};
    const uid_t nobody = 65534;
    for (const Case& c : cases) {
        SCOPED_TRACE("group " + std::to_string(c.group) + " mode " + std::to_string(c.mode));
        ASSERT_EQ(chown(device.c_str(), 0, c.group), 0);
        ASSERT_EQ(chmod(device.c_str(), c.mode), 0);
        Outcome run = finish(work_, spawnVeskactlAs(work_, nobody, nobody, {"dir", "5"}));
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("open port 1 failed: 6001"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("no permission to open " + device), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("usermod -aG root"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("usermod -aG dialout") != std::string::npos, c.named) << run.err;
        EXPECT_EQ(run.err.find("ask the administrator") != std::string::npos, !c.named) << run.err;
    }
}

TEST(VeskactlPort, ExplainsAMissingDevice) {
    TempDir work("veskactl");
    setenv("VESKA_COM3", (work.path() + "/no-such-line").c_str(), 1);
    Outcome run = finish(work, spawnVeskactl(work, {"--port", "3", "dir", "1"}));
    unsetenv("VESKA_COM3");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("open port 3 failed: 6001"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("there is no device " + work.path() + "/no-such-line (from VESKA_COM3)"),
              std::string::npos)
        << run.err;
}

}  // namespace
