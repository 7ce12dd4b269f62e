// The wire trace (VESKA_TRACE): what a traced call writes, how faults on the
// line show, and that a trace which cannot be written, or none at all, leaves
// every result as it was.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <map>
#include <regex>
#include <thread>

#include "link_fixture.h"

namespace vsk::testing {
namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Every line starts with the local time to the millisecond and the process id.
const std::regex kLineStart(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[(\d+)\] (.*)$)");

class TraceTest : public LinkTest {
  protected:
    void SetUp() override { setenv("VESKA_TRACE", tracePath_.c_str(), 1); }
    void TearDown() override {
        LinkTest::TearDown();
        unsetenv("VESKA_TRACE");
    }

    // The trace so far, each line without its time stamp and process id.
    std::vector<std::string> events() const {
        std::vector<std::string> out;
        for (const std::string& line : linesOf(readFile(tracePath_))) {
            std::smatch m;
            EXPECT_TRUE(std::regex_match(line, m, kLineStart)) << line;
            out.push_back(m.size() > 2 ? m[2].str() : line);
        }
        return out;
    }

    // Each of `wanted` (substrings) in one line of the trace, in this order.
    void expectInOrder(std::initializer_list<std::string> wanted) const {
        std::vector<std::string> lines = events();
        auto at = lines.begin();
        for (const std::string& w : wanted) {
            at = std::find_if(at, lines.end(),
                              [&](const std::string& l) { return l.find(w) != std::string::npos; });
            if (at == lines.end()) {
                ADD_FAILURE() << "no line with \"" << w << "\" (in order) in:\n"
                              << readFile(tracePath_);
                return;
            }
            ++at;
        }
    }

    TempDir work_{"veska-trace"};
    std::string tracePath_ = work_.file("trace.log");
    TempDir pc_{"veska-pc"};
};

TEST_F(TraceTest, ListingAndDownloadShowEveryFrameAndTheCallResults) {
    store_.write("A.DAT", "hello");
    startTerminal();
    DirRecord dir{};
    ASSERT_EQ(Vsk_DIR(h_, "005", &dir), 0);
    // Two blocks; the first is cut to its first and last bytes.
    const std::string contents = std::string(512, 'x') + "0123456789";
    pc_.write("F.DAT", contents);
    ASSERT_EQ(Vsk_FDownload(h_, "005", pc_.file("F.DAT").c_str(), 522, 0), 0);
    EXPECT_EQ(Vsk_FDelete(h_, "005", "NONE.DAT"), VSK_E_HT_DELETE);

    expectInOrder({
        "trace opened by ",
        "Vsk_ComOpen(port=1 (" + sim().path() +
            "), mode=0, baud=115200 parity=0 data=1 stop=0 "
            "flow=0 timeout=500 retry=3, handle=0x5653",
        "PC→HT C ht=005 blk=0 len=0001 F (listing)",
        "HT→PC D ht=005 blk=0 len=0010 - data=\"0011048576\"",
        "PC→HT A ht=005 blk=0 len=0001 ACK",
        "HT→PC D ht=005 blk=1 len=0019 - data=\"A.DAT       0000005\"",
        "PC→HT A ht=005 blk=1 len=0001 ACK",
        "HT→PC E ht=005 blk=0 len=0001 EOT",
        "Vsk_DIR(handle=0x5653",
        "PC→HT C ht=005 blk=0 len=0020 D (download) data=\"F.DAT       0000522\"",
        "HT→PC A ht=005 blk=0 len=0001 ACK",
        "PC→HT D ht=005 blk=0 len=0512 - data=\"" + std::string(32, 'x') + "\"...\"xxxxxxxx\"",
        "PC→HT D ht=005 blk=1 len=0010 - data=\"0123456789\"",
        "HT→PC A ht=005 blk=1 len=0001 ACK",
        "PC→HT E ht=005 blk=0 len=0001 EOT",
        "Vsk_FDownload(handle=0x5653",
        "PC→HT C ht=005 blk=0 len=0013 E (delete) data=\"NONE.DAT    \"",
        "HT→PC R ht=005 blk=0 len=0001 F (failure)",
        "Vsk_FDelete(handle=0x5653",
    });
    std::string all = readFile(tracePath_);
    EXPECT_NE(all.find(", ht=\"005\") = 0 OK, "), std::string::npos);
    EXPECT_NE(all.find(", ht=\"005\", path=\"" + pc_.file("F.DAT") + "\", size=522) = 0 OK, "),
              std::string::npos);
    EXPECT_NE(all.find("name=\"NONE.DAT\") = 4003 ＨＴファイル削除失敗, "), std::string::npos);
    EXPECT_EQ(all.find("(attempt"), std::string::npos);  // nothing went out twice
}

TEST_F(TraceTest, BinaryDataGoesOutAsHexAndNamesKeepTheirBytes) {
    startTerminal();
    std::string contents;
    for (int i = 0; i < 40; ++i) contents += static_cast<char>(0x80 + i);
    pc_.write("B.BIN", contents);
    ASSERT_EQ(Vsk_FDownload(h_, "005", pc_.file("B.BIN").c_str(), 40, 0), 0);
    EXPECT_EQ(Vsk_FDelete(h_, "005", "\x83\x66\x81\x5B.DAT"), VSK_E_HT_DELETE);
    expectInOrder({
        "PC→HT D ht=005 blk=0 len=0040 - hex=808182838485868788898A8B8C8D8E8F...A0A1A2A3A4A5A6A7",
        "PC→HT C ht=005 blk=0 len=0013 E (delete) data=\"\\x83f\\x81[.DAT    \"",
    });
}

TEST_F(TraceTest, FaultsOnTheLineShowInTheTrace) {
    struct Case {
        const char* fault;
        std::function<int32_t(int32_t)> call;
        int32_t result;
        std::vector<std::string> lines;
    };
    auto status = [](int32_t h) {
        StatusRecord st{};
        return Vsk_GetStatus(h, "005", &st);
    };
    auto listing = [](int32_t h) {
        DirRecord dir{};
        return Vsk_DIR(h, "005", &dir);
    };
    std::vector<Case> cases = {
        {"badbcc@G",
         status,
         VSK_E_RECEIVE,
         {"HT→PC D ht=005 blk=0 len=0018 - data=\"0000001HTSIM01.000\" BAD BCC: received ",
          "Vsk_GetStatus(handle=0x5653", ") = 2002 受信エラー（ＢＣＣエラー）, "}},
        {"noise=5@G",
         status,
         0,
         {"HT→PC noise: 5 bytes before any STX, hex=", "HT→PC D ht=005 blk=0 len=0018"}},
        {"foreign@G",
         status,
         VSK_E_TIMEOUT,
         {"HT→PC D ht=006 blk=0 len=0018", "ignored: the reply is not from HT 005",
          "time-out: nothing for 500 ms", ") = 2005 タイムアウト, "}},
        {"result=M@G", status, VSK_E_HT_MODE, {"HT→PC R ht=005 blk=0 len=0001 M (wrong mode)"}},
        // The entry frame sent again after its ACK is a repeat the engine
        // does not take: it waits for the terminal's next frame, which never comes.
        {"repeat=1@F",
         listing,
         VSK_E_TIMEOUT,
         {"HT→PC D ht=005 blk=1", "PC→HT A ht=005 blk=1 len=0001 ACK", "HT→PC D ht=005 blk=1",
          "retry 2 of 3: the terminal repeated its last frame", "time-out: nothing for 500 ms",
          "retry 3 of 3: no reply yet", "time-out: nothing for 500 ms", ") = 2005 タイムアウト, "}},
        // A block left unanswered twice goes out again twice.
        {"blksilent=1*2@D",
         [this](int32_t h) {
             pc_.write("F.DAT", pattern(1500));
             return Vsk_FDownload(h, "005", pc_.file("F.DAT").c_str(), 1500, 0);
         },
         0,
         {"PC→HT D ht=005 blk=1 len=0512", "time-out: nothing for 500 ms",
          "PC→HT D ht=005 blk=1 len=0512 - data=", "(attempt 2)", "time-out: nothing for 500 ms",
          "(attempt 3)", "HT→PC A ht=005 blk=1 len=0001 ACK", "Vsk_FDownload("}},
        {"cancel=1@D",
         [this](int32_t h) {
             pc_.write("F.DAT", pattern(1500));
             return Vsk_FDownload(h, "005", pc_.file("F.DAT").c_str(), 1500, 0);
         },
         VSK_E_ABORT_HT,
         {"HT→PC E ht=005 blk=0 len=0001 CAN", "abort by the terminal: 1002 中断終了（ＨＴ側）",
          ") = 1002 中断終了（ＨＴ側）, "}},
    };
    store_.write("A.DAT", "a");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        std::remove(tracePath_.c_str());
        startTerminal({"--fault", c.fault});
        EXPECT_EQ(c.call(h_), c.result);
        std::string all = readFile(tracePath_);
        size_t at = 0;
        for (const std::string& l : c.lines) {
            size_t found = all.find(l, at);
            EXPECT_NE(found, std::string::npos) << "no \"" << l << "\" (in order) in:\n" << all;
            if (found != std::string::npos) at = found + l.size();
        }
        TearDown();
        setenv("VESKA_TRACE", tracePath_.c_str(), 1);
    }
}

TEST_F(TraceTest, AnAbortFromThePcSendsCanAndIsWrittenAtOnce) {
    startTerminal({"--fault", "silent"});
    // The abort comes while the call waits for the reply to its command.
    std::thread aborter([this] {
        if (sim().waitReceived(1, isCommand('G'))) Vsk_Suspend(h_);
    });
    StatusRecord st{};
    EXPECT_EQ(Vsk_GetStatus(h_, "005", &st), VSK_E_ABORT_PC);
    aborter.join();
    // No reply had begun: the wait ends at once, not at its time-out.
    expectInOrder({"PC→HT C ht=005 blk=0 len=0001 G (status)", "PC→HT E ht=005 blk=0 len=0001 CAN",
                   "abort: 1003 中断終了（ＰＣ側）", ") = 1003 中断終了（ＰＣ側）, "});
    for (const std::string& line : events()) EXPECT_EQ(line.find("time-out"), std::string::npos);
}

// Calls from a signal handler while a traced call runs, as veskactl's Ctrl-C
// handler makes: the nested call is refused without touching the trace.
int32_t gHandle = 0;
volatile sig_atomic_t gNested = -1;

void onAlarm(int) {
    DirRecord dir;
    gNested = Vsk_DIR(gHandle, "005", &dir);
    Vsk_Suspend(gHandle);
}

TEST_F(TraceTest, ACallRefusedFromASignalHandlerWritesNoLine) {
    startTerminal({"--fault", "silent"});
    gHandle = h_;
    struct sigaction sa {};
    sa.sa_handler = onAlarm;
    sigaction(SIGALRM, &sa, nullptr);
    // The signal comes while the call waits for the reply to its command.
    SignalOnEvent alarm(SIGALRM, [this] { return sim().waitReceived(1, isCommand('E')); });
    EXPECT_EQ(Vsk_FDelete(h_, "005", "A.DAT"), VSK_E_ABORT_PC);
    EXPECT_TRUE(alarm.join());
    signal(SIGALRM, SIG_DFL);
    EXPECT_EQ(gNested, VSK_E_BUSY);
    expectInOrder({"PC→HT C ht=005 blk=0 len=0013 E (delete)", "PC→HT E ht=005 blk=0 len=0001 CAN",
                   "abort: 1003", "Vsk_FDelete("});
    EXPECT_EQ(readFile(tracePath_).find("Vsk_DIR"), std::string::npos);
}

TEST_F(TraceTest, ALineThatFailsShowsItsSystemError) {
    startTerminal({"--fault", "hangup=1@D"});
    pc_.write("F.DAT", pattern(2000));
    EXPECT_EQ(Vsk_FDownload(h_, "005", pc_.file("F.DAT").c_str(), 2000, 0), VSK_E_SYS_READ);
    expectInOrder({"line failure: read: errno 5 ", ") = 6006 システムエラー:ReadFile [errno 5 "});
}

TEST_F(TraceTest, APermissionProblemOpeningTheDeviceShowsErrnoAndAHint) {
    // Root may open anything, so the open is made to fail in another way
    // there; the hint belongs to EACCES only.
    setenv("VESKA_COM7", work_.file("no-such-device").c_str(), 1);
    int32_t h = 0;
    LineSettings ls = fastSettings();
    EXPECT_EQ(Vsk_ComOpen(&h, 7, 0, &ls), VSK_E_SYS_OPEN);
    unsetenv("VESKA_COM7");
    const std::string all = readFile(tracePath_);
    EXPECT_NE(all.find("Vsk_ComOpen(port=7 (" + work_.file("no-such-device") + "), mode=0, "),
              std::string::npos)
        << all;
    EXPECT_NE(all.find(") = 6001 システムエラー:Createile [errno 2 No such file or directory], "),
              std::string::npos)
        << all;
    EXPECT_EQ(all.find("hint:"), std::string::npos);
}

TEST_F(TraceTest, APermissionHintNamesNoGroupItCannotKnowHelps) {
    if (geteuid() == 0) GTEST_SKIP() << "root may open a device without permission";
    work_.write("locked-device", "");
    chmod(work_.file("locked-device").c_str(), 0);
    setenv("VESKA_COM7", work_.file("locked-device").c_str(), 1);
    int32_t h = 0;
    LineSettings ls = fastSettings();
    EXPECT_EQ(Vsk_ComOpen(&h, 7, 0, &ls), VSK_E_SYS_OPEN);
    unsetenv("VESKA_COM7");
    const std::string all = readFile(tracePath_);
    EXPECT_NE(all.find("[errno 13 Permission denied]"), std::string::npos) << all;
    EXPECT_NE(all.find("hint: no permission on the device"), std::string::npos) << all;
    EXPECT_EQ(all.find("dialout"), std::string::npos) << all;
    EXPECT_NE(all.find("udev rule"), std::string::npos) << all;
}

// The same calls with and without a trace that cannot be written.
TEST_F(TraceTest, AnUnwritableTraceLeavesResultsAndErrorsUnchanged) {
    auto run = [this] {
        std::vector<int32_t> results;
        startTerminal({"--fault", "nak=1@G"});
        StatusRecord st{};
        results.push_back(Vsk_GetStatus(h_, "005", &st));
        results.push_back(Vsk_FDelete(h_, "005", "NONE.DAT"));
        char message[256] = {};
        results.push_back(Vsk_GetSysErrorMsg(message));
        TearDown();
        setenv("VESKA_COM7", work_.file("missing").c_str(), 1);
        int32_t h = 0;
        LineSettings ls = fastSettings();
        results.push_back(Vsk_ComOpen(&h, 7, 0, &ls));
        results.push_back(Vsk_GetSysErrorMsg(message));
        unsetenv("VESKA_COM7");
        return results;
    };
    unsetenv("VESKA_TRACE");
    const std::vector<int32_t> untraced = run();
    ASSERT_EQ(untraced[3], VSK_E_SYS_OPEN);
    ASSERT_EQ(untraced[4], ENOENT);

    ::testing::internal::CaptureStderr();
    for (const std::string& path :
         {work_.path(), work_.file("no/such/folder"), std::string("/dev/full")}) {
        SCOPED_TRACE(path);
        setenv("VESKA_TRACE", path.c_str(), 1);
        EXPECT_EQ(run(), untraced);
    }
    std::string err = ::testing::internal::GetCapturedStderr();
    // Said once for the process, not once per session or per file.
    EXPECT_NE(err.find("veska: cannot open the trace file " + work_.path() + ": "),
              std::string::npos)
        << err;
    EXPECT_EQ(linesOf(err).size(), 1u) << err;
}

TEST_F(TraceTest, NoTraceFileWithoutTheVariable) {
    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        if (value == nullptr) {
            unsetenv("VESKA_TRACE");
        } else {
            setenv("VESKA_TRACE", value, 1);
        }
        startTerminal();
        DirRecord dir{};
        EXPECT_EQ(Vsk_DIR(h_, "005", &dir), 0);
        TearDown();
        EXPECT_TRUE(filesIn(work_.path()).empty());
    }
    // Switched off between sessions: the next session writes nothing more.
    setenv("VESKA_TRACE", tracePath_.c_str(), 1);
    startTerminal();
    TearDown();
    const std::string before = readFile(tracePath_);
    ASSERT_FALSE(before.empty());
    startTerminal();
    DirRecord dir{};
    EXPECT_EQ(Vsk_DIR(h_, "005", &dir), 0);
    TearDown();
    EXPECT_EQ(readFile(tracePath_), before);
}

// Two processes tracing into one file: every line stays whole.
TEST_F(TraceTest, TwoProcessesShareOneTraceFile) {
    SimProcess other({"--ht", "5", "@no-record"});
    setenv("VESKA_COM2", other.path().c_str(), 1);
    sim_ = std::make_unique<SimProcess>(std::vector<std::string>{"--ht", "5", "@no-record"});
    setenv("VESKA_COM1", sim().path().c_str(), 1);
    auto polls = [](int32_t port) {
        int32_t h = 0;
        LineSettings ls = fastSettings();
        if (Vsk_ComOpen(&h, port, 0, &ls) != 0) return false;
        bool ok = true;
        for (int i = 0; i < 200; ++i) ok = ok && Vsk_Polling(h, "005", 300) == 0;
        return Vsk_ComClose(h) == 0 && ok;
    };
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(polls(2) ? 0 : 1);
    EXPECT_TRUE(polls(1));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);

    std::map<std::string, size_t> perProcess;
    for (const std::string& line : linesOf(readFile(tracePath_))) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, kLineStart)) << line;
        const std::string event = m[2];
        ASSERT_TRUE(event.rfind("PC→HT C ht=005 blk=0 len=0001 P (poll)", 0) == 0 ||
                    event.rfind("HT→PC A ht=005 blk=0 len=0001 ACK", 0) == 0 ||
                    event.rfind("Vsk_", 0) == 0 || event.rfind("trace opened by ", 0) == 0)
            << line;
        ++perProcess[m[1]];
    }
    ASSERT_EQ(perProcess.size(), 2u);
    for (const auto& [pid, count] : perProcess) EXPECT_EQ(count, 1u + 2u + 200u * 3u) << pid;
}

}  // namespace
}  // namespace vsk::testing
