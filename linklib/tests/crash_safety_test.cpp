// A process killed in the middle of an upload (SIGKILL: nothing of it runs
// afterwards) leaves every PC target file exactly as it was; what it may leave
// are stale temporary files, which the next upload into the folder removes.
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <thread>

#include "link_fixture.h"

namespace vsk::testing {
namespace {

// At this speed a block takes about 90 ms on the line, so the child is
// still in the middle of the transfer when it is killed.
const char* const kSlowBaud = "57600";
constexpr size_t kBig = 512 * 60;

class CrashSafetyTest : public LinkTest {
  protected:
    // Runs `body` in a child process with its own session on the simulator's
    // line; the child ends with what `body` returns (10: no session).
    static pid_t inChild(const std::function<int(int32_t)>& body) {
        pid_t child = ::fork();
        if (child != 0) return child;
        LineSettings ls = fastSettings(2000, 3);
        int32_t h = 0;
        if (Vsk_ComOpen(&h, 1, 0, &ls) != 0) ::_exit(10);
        ::_exit(body(h));
    }

    // Runs `upload` in a child process with its own session on the simulator's
    // line and kills it once the terminal has sent `frames` data frames.
    void killDuring(size_t frames, const std::function<int32_t(int32_t)>& upload) {
        pid_t child = inChild([&](int32_t h) {
            upload(h);
            return 11;  // the upload was to be killed before it ended
        });
        ASSERT_GE(child, 0);
        bool reached = sim().waitSent(frames, isFrame('D', "-", 5), std::chrono::seconds(10));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(reached) << "the child did not get that far";
        ASSERT_TRUE(WIFSIGNALED(status)) << "child ended by itself: " << WEXITSTATUS(status);
    }

    // A fast line on the same terminal folder, and a session in this process.
    void startAgain() {
        TearDown();
        startTerminal();
    }

    // The names in the PC folder other than stale temporary files.
    std::set<std::string> targets() const {
        std::set<std::string> names;
        for (const std::string& n : filesIn(pc_.path()))
            if (tempsIn(pc_.path()).count(n) == 0) names.insert(n);
        return names;
    }

    TempDir pc_{"veska-pc"};
};

TEST_F(CrashSafetyTest, SingleUploadKilledLeavesTheTargetAsItWas) {
    const std::string fresh = pattern(kBig);
    store_.write("BIG.DAT", fresh);
    const int32_t size = static_cast<int32_t>(kBig);
    for (bool existed : {true, false}) {
        if (existed) pc_.write("BIG.DAT", "previous contents");
        startTerminal({"--baud", kSlowBaud}, fastSettings(2000, 3));
        // The session of this process is not needed while the child runs.
        Vsk_ComClose(h_);
        h_ = 0;
        killDuring(5, [&](int32_t h) {
            return Vsk_FUpload(h, "005", 0, pc_.path().c_str(), "BIG.DAT", size, 0);
        });
        if (existed)
            EXPECT_EQ(readFile(pc_.file("BIG.DAT")), "previous contents");
        else
            EXPECT_TRUE(targets().empty()) << "an empty target was created";
        EXPECT_EQ(tempsIn(pc_.path()).size(), 1u);

        startAgain();
        ASSERT_EQ(Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), "BIG.DAT", size, 0), 0);
        EXPECT_TRUE(readFile(pc_.file("BIG.DAT")) == fresh);
        // The stale temporary file was removed, not left beside the target.
        EXPECT_EQ(filesIn(pc_.path()), std::set<std::string>{"BIG.DAT"});
        TearDown();
        std::remove(pc_.file("BIG.DAT").c_str());
    }
}

TEST_F(CrashSafetyTest, BatchUploadKilledInItsSecondFileChangesNoTarget) {
    store_.write("A.DAT", pattern(3000));
    store_.write("B.DAT", pattern(kBig));
    store_.write("C.DAT", pattern(100));
    pc_.write("A.DAT", "old a");
    pc_.write("B.DAT", "old b");
    startTerminal({"--baud", kSlowBaud}, fastSettings(2000, 3));
    Vsk_ComClose(h_);
    h_ = 0;
    // A.DAT is six frames: the child is killed in the middle of B.DAT, after
    // A.DAT was received whole but before any file was put in place.
    killDuring(10, [&](int32_t h) {
        UploadList list{};
        return Vsk_AllUpload(h, "005", pc_.path().c_str(), &list, 0);
    });
    EXPECT_EQ(readFile(pc_.file("A.DAT")), "old a");
    EXPECT_EQ(readFile(pc_.file("B.DAT")), "old b");
    EXPECT_EQ(targets(), (std::set<std::string>{"A.DAT", "B.DAT"}));
    EXPECT_EQ(tempsIn(pc_.path()).size(), 2u);  // A.DAT whole, B.DAT in part

    startAgain();
    UploadList list{};
    ASSERT_EQ(Vsk_AllUpload(h_, "005", pc_.path().c_str(), &list, 0), 0);
    EXPECT_TRUE(readFile(pc_.file("A.DAT")) == pattern(3000));
    EXPECT_TRUE(readFile(pc_.file("B.DAT")) == pattern(kBig));
    EXPECT_TRUE(readFile(pc_.file("C.DAT")) == pattern(100));
    EXPECT_EQ(filesIn(pc_.path()), (std::set<std::string>{"A.DAT", "B.DAT", "C.DAT"}));
}

// Appending builds the appended file beside the target and renames it into
// place: a process killed at any moment leaves the old bytes or the old and
// the new ones, never part of them.
TEST_F(CrashSafetyTest, KilledWhileAppendingLeavesOldOrWholeNewBytes) {
    const std::string old = htsim::testing::testPattern(8 << 20, 3);
    const std::string fresh = htsim::testing::testPattern(1 << 20, 4);
    store_.write("LOG.DAT", fresh);
    pc_.write("LOG.DAT", old);
    const std::string target = pc_.file("LOG.DAT");
    startTerminal({"--block", "1012", "@no-record"}, fastSettings(2000, 3));
    Vsk_ComClose(h_);
    h_ = 0;
    const std::string folder = pc_.path();
    pid_t child = inChild([&](int32_t h) {
        return Vsk_FUpload(h, "005", 1, folder.c_str(), "LOG.DAT", 1 << 20, 0) == 0 ? 0 : 12;
    });
    ASSERT_GE(child, 0);
    // Killed the moment the target starts to change or its appended copy appears.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool appending = false;
    while (!appending && std::chrono::steady_clock::now() < deadline) {
        struct stat st {};
        appending =
            (::stat(target.c_str(), &st) == 0 && st.st_size != static_cast<off_t>(old.size())) ||
            tempsIn(pc_.path()).size() > 1;
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_TRUE(appending);
    const std::string got = readFile(target);
    EXPECT_TRUE(got == old || got == old + fresh) << got.size();

    // The next upload clears what the killed one left.
    startAgain();
    ASSERT_EQ(Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), "LOG.DAT", 1 << 20, 0), 0);
    EXPECT_EQ(filesIn(pc_.path()), std::set<std::string>{"LOG.DAT"});
}

// A small file system of its own (root only), for the disk running full.
class FullDiskTest : public LinkTest {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
        if (::mount("tmpfs", pc_.path().c_str(), "tmpfs", 0, "size=1m") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs";
        mounted_ = true;
    }
    void TearDown() override {
        LinkTest::TearDown();
        if (mounted_) ::umount(pc_.path().c_str());
    }

    uint64_t available() const {
        struct statvfs v {};
        ::statvfs(pc_.path().c_str(), &v);
        return static_cast<uint64_t>(v.f_bavail) * v.f_frsize;
    }

    TempDir pc_{"veska-pc"};
    bool mounted_ = false;
};

TEST_F(FullDiskTest, AnAppendThatCannotFitIsRefusedBeforehand) {
    // The received file fits, the appended copy of the target does not.
    const std::string old = pattern(600000);
    store_.write("LOG.DAT", pattern(300000));
    pc_.write("LOG.DAT", old);
    startTerminal({"@no-record"});
    EXPECT_EQ(Vsk_FUpload(h_, "005", 1, pc_.path().c_str(), "LOG.DAT", 300000, 0),
              VSK_E_PC_DISK_FULL);
    EXPECT_TRUE(readFile(pc_.file("LOG.DAT")) == old);
    EXPECT_EQ(filesIn(pc_.path()), std::set<std::string>{"LOG.DAT"});
}

TEST_F(FullDiskTest, AFileThatCannotFitIsRefusedAndTheTerminalIsToldAtOnce) {
    store_.write("BIG.DAT", pattern(2 << 20));
    startTerminal({});
    EXPECT_EQ(Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), "BIG.DAT", 2 << 20, 0),
              VSK_E_PC_DISK_FULL);
    // The terminal had begun sending: it gets CAN rather than waiting for an
    // answer until its own time-out.
    EXPECT_TRUE(sim().waitReceived(1, isFrame('E', "CAN")));
    EXPECT_TRUE(filesIn(pc_.path()).empty());
}

TEST_F(FullDiskTest, ADiskFillingUpDuringAnAppendLeavesTheTargetAsItWas) {
    const std::string old = pattern(300000);
    store_.write("LOG.DAT", std::string(20000, 'n'));
    pc_.write("LOG.DAT", old);
    // The terminal loses its sixth block once, so the transfer waits for it.
    startTerminal({"--fault", "blksilent=5@S", "--ack-timeout", "300"}, fastSettings(2000, 3));
    int32_t result = -1;
    std::thread upload(
        [&] { result = Vsk_FUpload(h_, "005", 1, pc_.path().c_str(), "LOG.DAT", 20000, 0); });
    // Then another program fills the disk, leaving room for the rest of the
    // received file but not for the appended copy.
    bool waiting = sim().waitSent(5, isFrame('D', "-", 5), std::chrono::seconds(10));
    if (waiting) {
        std::ofstream filler(pc_.file("filler"), std::ios::binary);
        filler << std::string(available() - 100000, 'f');
    }
    upload.join();
    ASSERT_TRUE(waiting);
    EXPECT_EQ(result, VSK_E_SYS_WRITE);
    EXPECT_TRUE(readFile(pc_.file("LOG.DAT")) == old);
    EXPECT_EQ(filesIn(pc_.path()), (std::set<std::string>{"LOG.DAT", "filler"}));
}

// Received blocks reach the temporary file many at a time; a disk that runs
// full under them must still end the upload with 6005 before the file is put
// in place, never with success or a half-written target. `size` bytes are
// received while another program leaves only `room` bytes free after the
// terminal's sixth block.
class DiskFillingUnderAnUpload : public FullDiskTest {
  protected:
    int32_t receiveWhileFilling(size_t size, uint64_t room,
                                const std::function<int32_t()>& upload) {
        store_.write("LOG.DAT", pattern(size));
        pc_.write("LOG.DAT", "old bytes");
        startTerminal({"--fault", "blksilent=5@SU", "--ack-timeout", "300"}, fastSettings(2000, 3));
        int32_t result = -1;
        std::thread receiver([&] { result = upload(); });
        filled_ = sim().waitSent(5, isFrame('D', "-", 5), std::chrono::seconds(10));
        if (filled_) {
            std::ofstream filler(pc_.file("filler"), std::ios::binary);
            filler << std::string(available() - room, 'f');
        }
        receiver.join();
        return result;
    }
    // The target as it was; nothing else left but the filler.
    void expectPcAsItWas() {
        ASSERT_TRUE(filled_);
        EXPECT_EQ(readFile(pc_.file("LOG.DAT")), "old bytes");
        EXPECT_EQ(filesIn(pc_.path()), (std::set<std::string>{"LOG.DAT", "filler"}));
    }

    bool filled_ = false;
};

TEST_F(DiskFillingUnderAnUpload, ALargeFileFailsWhereTheDiskRunsFull) {
    const int32_t r = receiveWhileFilling(400000, 100000, [&] {
        return Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), "LOG.DAT", 400000, 0);
    });
    EXPECT_EQ(r, VSK_E_SYS_WRITE);
    expectPcAsItWas();
}

// A file smaller than what is written at a time reaches the disk only once
// it is complete: the failure comes with its last block, not after it.
TEST_F(DiskFillingUnderAnUpload, ASmallFileFailsWithItsLastBlock) {
    const int32_t r = receiveWhileFilling(20000, 8000, [&] {
        return Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), "LOG.DAT", 20000, 0);
    });
    EXPECT_EQ(r, VSK_E_SYS_WRITE);
    expectPcAsItWas();
}

// In a batch the terminal is told, with a result frame "F" for the block
// that could not be stored, and the batch ends there.
TEST_F(DiskFillingUnderAnUpload, ABatchTellsTheTerminal) {
    const int32_t r = receiveWhileFilling(20000, 8000, [&] {
        UploadList list{};
        return Vsk_AllUpload(h_, "005", pc_.path().c_str(), &list, 0);
    });
    EXPECT_EQ(r, VSK_E_SYS_WRITE);
    expectPcAsItWas();
    // The call returns once the frame is written; the terminal reads it after.
    EXPECT_TRUE(sim().waitReceived(1, isFrame('R', "F"), std::chrono::seconds(5)));
    EXPECT_EQ(sim().received(isFrame('R', "F")).size(), 1u);
}

}  // namespace
}  // namespace vsk::testing
