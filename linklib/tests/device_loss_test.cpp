// The line going away in the middle of every kind of operation, as when a USB
// adapter is pulled: the simulator closes its ends of the line and exits. The
// call must end at once with a system-error code (not wait for its time-out),
// leave no file half-written on either side, and leave the process able to
// open a new line.
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <sstream>

#include "link_fixture.h"

namespace vsk::testing {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Long enough that a call waiting for it could not pass for one that noticed
// the dead line: the simulator itself takes up to a second to go.
constexpr int32_t kTimeoutMs = 5000;
constexpr auto kNoticedWithin = 2500ms;
constexpr size_t kSize = 512 * 5 + 77;  // six blocks

bool lineLost(int32_t r) {
    return r == VSK_E_SYS_WRITE || r == VSK_E_SYS_READ;
}

void setEntry(DownloadEntry& e, const std::string& path, int32_t size) {
    std::memset(e.Path, ' ', sizeof e.Path);
    std::memcpy(e.Path, path.data(), path.size());
    e.Size = size;
    e.SkipMode = 0;
}

class DeviceLossTest : public LinkTest {
  protected:
    // Runs `call` against terminal 5 whose line goes dead under `faults`:
    // checks that the call noticed it at once and that the simulator is gone.
    int32_t lose(std::vector<std::string> faults, const std::function<int32_t()>& call) {
        std::vector<std::string> args;
        for (std::string& f : faults) args.insert(args.end(), {"--fault", std::move(f)});
        startTerminal(args, fastSettings(kTimeoutMs, 3));
        if (h_ == 0) return -1;
        auto started = Clock::now();
        int32_t r = call();
        EXPECT_LT(Clock::now() - started, kNoticedWithin) << "code " << r;
        EXPECT_EQ(sim().waitExit(), 3);
        return r;
    }

    // The dead line keeps failing at once; the session closes, and a new
    // line opens and serves in the same process.
    void expectANewLineWorks() {
        auto started = Clock::now();
        EXPECT_TRUE(lineLost(Vsk_Polling(h_, "005", 300)));
        EXPECT_LT(Clock::now() - started, 500ms);
        EXPECT_EQ(Vsk_ComClose(h_), 0);
        h_ = 0;
        startTerminal();
        expectUsable();
        TearDown();
    }

    // No temporary file of the simulator's is left in the terminal's folder.
    void expectTerminalHolds(const std::set<std::string>& names) {
        EXPECT_EQ(filesIn(store_.path()), names);
    }

    // Closed: no longer read-only, as it is while a loop runs.
    void expectResultFileClosed(const std::string& path) {
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_NE(st.st_mode & S_IWUSR, 0u) << "still read-only";
    }

    TempDir pc_{"veska-pc"};
};

TEST_F(DeviceLossTest, QueriesAndCommands) {
    struct Case {
        std::string fault;
        std::function<int32_t(int32_t)> call;
    };
    static DirRecord dir;
    static FileInfoRecord info;
    static StatusRecord status;
    const std::vector<Case> cases = {
        {"hangup@P", [](int32_t h) { return Vsk_Polling(h, "005", 300); }},
        {"hangup@F", [](int32_t h) { return Vsk_DIR(h, "005", &dir); }},
        {"hangup=0@F", [](int32_t h) { return Vsk_DIR(h, "005", &dir); }},
        {"hangup=1@F", [](int32_t h) { return Vsk_DIR(h, "005", &dir); }},
        {"hangup@H",
         [](int32_t h) {
             std::memcpy(info.Name, "A.DAT        ", 13);
             return Vsk_GetFileInfo(h, "005", &info);
         }},
        {"hangup@G", [](int32_t h) { return Vsk_GetStatus(h, "005", &status); }},
        {"hangup@Q", [](int32_t h) { return Vsk_PcRemoteEnd(h, "005"); }},
        {"hangup@R", [](int32_t h) { return Vsk_ReBoot(h, "005"); }},
        {"hangup@T", [](int32_t h) { return Vsk_PowerOff(h, "005"); }},
        {"hangup@J", [](int32_t h) { return Vsk_APEnd(h, "005"); }},
    };
    for (const Case& c : cases) {
        store_.write("A.DAT", "a");
        int32_t r = lose({c.fault, "extra=45"}, [&] { return c.call(h_); });
        EXPECT_TRUE(lineLost(r)) << c.fault << ": " << r;
        expectANewLineWorks();
    }
}

TEST_F(DeviceLossTest, DeleteAndRenameLeaveTheFilesAlone) {
    store_.write("A.DAT", "a");
    int32_t r = lose({"hangup@E"}, [&] { return Vsk_FDelete(h_, "005", "A.DAT"); });
    EXPECT_TRUE(lineLost(r)) << r;
    expectTerminalHolds({"A.DAT"});
    expectANewLineWorks();

    r = lose({"hangup@N"}, [&] { return Vsk_FRename(h_, "005", "A.DAT", "B.DAT"); });
    EXPECT_TRUE(lineLost(r)) << r;
    expectTerminalHolds({"A.DAT"});
    char text[256] = {};
    EXPECT_NE(Vsk_GetSysErrorMsg(text), 0);
    expectANewLineWorks();
}

TEST_F(DeviceLossTest, SingleTransfersAndInstalls) {
    pc_.write("F.DAT", pattern(kSize));
    pc_.write("SYSTEM.HEX", pattern(kSize));
    const std::string file = pc_.file("F.DAT"), system = pc_.file("SYSTEM.HEX");
    const int32_t size = static_cast<int32_t>(kSize);
    struct Case {
        const char* fault;
        std::function<int32_t(int32_t)> call;
    };
    const std::vector<Case> cases = {
        {"hangup=2@D", [&](int32_t h) { return Vsk_FDownload(h, "005", file.c_str(), size, 0); }},
        {"hangup=0@A",
         [&](int32_t h) { return Vsk_APInstall(h, "005", file.c_str(), size, 1, 0); }},
        {"hangup=4@B",
         [&](int32_t h) { return Vsk_APInstall(h, "005", file.c_str(), size, 0, 0); }},
        {"hangup=1@O", [&](int32_t h) { return Vsk_OSInstall(h, "005", system.c_str(), size, 0); }},
        {"hangup@D", [&](int32_t h) { return Vsk_FDownload(h, "005", file.c_str(), size, 0); }},
    };
    for (const Case& c : cases) {
        int32_t r = lose({c.fault}, [&] { return c.call(h_); });
        EXPECT_TRUE(lineLost(r)) << c.fault << ": " << r;
        // The unfinished file was dropped by the terminal, not stored.
        expectTerminalHolds({});
        expectANewLineWorks();
    }

    store_.write("F.DAT", pattern(kSize));
    pc_.write("F.DAT", "previous contents");
    for (const char* fault : {"hangup=2@S", "hangup=0@S", "hangup@S"}) {
        int32_t r = lose({fault}, [&] {
            return Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), "F.DAT", size, 0);
        });
        EXPECT_TRUE(lineLost(r)) << fault << ": " << r;
        EXPECT_EQ(readFile(pc_.file("F.DAT")), "previous contents") << fault;
        EXPECT_EQ(filesIn(pc_.path()), (std::set<std::string>{"F.DAT", "SYSTEM.HEX"})) << fault;
        expectANewLineWorks();
    }
}

TEST_F(DeviceLossTest, BatchesKeepWhatWasCompleteAndDropTheRest) {
    pc_.write("A.DAT", pattern(kSize));
    pc_.write("B.DAT", pattern(700));
    DownloadList list{};
    setEntry(list.Entries[0], pc_.file("A.DAT"), static_cast<int32_t>(kSize));
    setEntry(list.Entries[1], pc_.file("B.DAT"), 700);
    int32_t r = lose({"hangup=1:0@W"}, [&] { return Vsk_AllDownload(h_, "005", 2, &list, 0); });
    EXPECT_TRUE(lineLost(r)) << r;
    EXPECT_EQ(list.Entries[0].Outcome, 1);
    expectTerminalHolds({"A.DAT"});
    EXPECT_EQ(readFile(store_.file("A.DAT")), pattern(kSize));
    expectANewLineWorks();
    std::remove(store_.file("A.DAT").c_str());

    // The two-file system install is a batch too.
    pc_.write("OS1.HEX", pattern(kSize));
    pc_.write("EX1.HEX", pattern(600));
    r = lose({"hangup=0:3@V"}, [&] {
        return Vsk_OSInstall2(h_, "005", pc_.file("OS1.HEX").c_str(), static_cast<int32_t>(kSize),
                              pc_.file("EX1.HEX").c_str(), 600, 0);
    });
    EXPECT_TRUE(lineLost(r)) << r;
    expectTerminalHolds({});
    expectANewLineWorks();

    // Upload: the first file arrived whole, the second never touches the PC.
    TempDir in("veska-in");
    store_.write("A.DAT", pattern(kSize));
    store_.write("B.DAT", pattern(1500));
    in.write("B.DAT", "previous contents");
    UploadList up{};
    r = lose({"hangup=1:1@U"}, [&] { return Vsk_AllUpload(h_, "005", in.path().c_str(), &up, 0); });
    EXPECT_TRUE(lineLost(r)) << r;
    EXPECT_EQ(up.Entries[0].Outcome, 1);
    EXPECT_EQ(up.Entries[1].Outcome, 2);
    EXPECT_EQ(filesIn(in.path()), (std::set<std::string>{"A.DAT", "B.DAT"}));
    EXPECT_EQ(readFile(in.file("A.DAT")), pattern(kSize));
    EXPECT_EQ(readFile(in.file("B.DAT")), "previous contents");
    expectANewLineWorks();
}

TEST_F(DeviceLossTest, PollingLoopsEndAndCloseTheirResultFile) {
    pc_.write("A.DAT", pattern(kSize));
    DownloadList list{};
    setEntry(list.Entries[0], pc_.file("A.DAT"), static_cast<int32_t>(kSize));
    ResultFileRecord rf{};
    const std::string result = pc_.file("result.txt");
    std::memset(rf.Path, ' ', sizeof rf.Path);
    std::memcpy(rf.Path, result.data(), result.size());
    rf.ResultMode = 0;
    std::string mask(128, '0');
    mask[4] = '1';

    int32_t r = lose({"hangup=3@W"}, [&] {
        return Vsk_PollingAllDownload(h_, mask.c_str(), 100, 0, 1, &list, &rf, 0);
    });
    EXPECT_TRUE(lineLost(r)) << r;
    // The transfer's own line tells how it ended.
    std::string code = readFile(result);
    code = code.substr(code.rfind("F,"));
    EXPECT_TRUE(code.find(",6005,") != std::string::npos ||
                code.find(",6006,") != std::string::npos)
        << code;
    expectResultFileClosed(result);
    expectTerminalHolds({});
    expectANewLineWorks();

    TempDir in("veska-in");
    r = lose({"hangup@P"}, [&] {
        return Vsk_PollingAllUPload(h_, mask.c_str(), in.path().c_str(), 0, 100, 0, &rf, 0);
    });
    EXPECT_TRUE(lineLost(r)) << r;
    expectResultFileClosed(result);
    EXPECT_TRUE(filesIn(in.path()).empty());
    expectANewLineWorks();
}

}  // namespace
}  // namespace vsk::testing
