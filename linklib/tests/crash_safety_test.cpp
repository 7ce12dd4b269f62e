// A process killed in the middle of an upload (SIGKILL: nothing of it runs
// afterwards) leaves every PC target file exactly as it was; what it may leave
// is a stale temporary file, which the next upload into the folder takes over.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "link_fixture.h"

namespace vsk::testing {
namespace {

// At this speed a block takes about 90 ms on the line, so the child is
// still in the middle of the transfer when it is killed.
const char* const kSlowBaud = "57600";
constexpr size_t kBig = 512 * 60;

class CrashSafetyTest : public LinkTest {
  protected:
    // Runs `upload` in a child process with its own session on the simulator's
    // line and kills it once the terminal has sent `frames` data frames.
    void killDuring(size_t frames, const std::function<int32_t(int32_t)>& upload) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            LineSettings ls = fastSettings(2000, 3);
            int32_t h = 0;
            if (Vsk_ComOpen(&h, 1, 0, &ls) != 0) ::_exit(10);
            upload(h);
            ::_exit(11);  // the upload was to be killed before it ended
        }
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
            if (n != "~$Vskupload.Tmp" && n.find('~') == std::string::npos) names.insert(n);
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
        EXPECT_EQ(filesIn(pc_.path()).count("~$Vskupload.Tmp"), 1u);

        startAgain();
        ASSERT_EQ(Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), "BIG.DAT", size, 0), 0);
        EXPECT_TRUE(readFile(pc_.file("BIG.DAT")) == fresh);
        // The stale temporary file was taken over, not left beside the target.
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
    EXPECT_EQ(filesIn(pc_.path()).count("0~A.DAT"), 1u);

    startAgain();
    UploadList list{};
    ASSERT_EQ(Vsk_AllUpload(h_, "005", pc_.path().c_str(), &list, 0), 0);
    EXPECT_TRUE(readFile(pc_.file("A.DAT")) == pattern(3000));
    EXPECT_TRUE(readFile(pc_.file("B.DAT")) == pattern(kBig));
    EXPECT_TRUE(readFile(pc_.file("C.DAT")) == pattern(100));
    EXPECT_EQ(filesIn(pc_.path()), (std::set<std::string>{"A.DAT", "B.DAT", "C.DAT"}));
}

}  // namespace
}  // namespace vsk::testing
