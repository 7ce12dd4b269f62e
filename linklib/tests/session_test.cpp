// The session and the exchange engine: opening and closing, exclusive use,
// system errors, time-outs, replies that must be ignored, aborts, the busy
// guard and a line that goes away.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <thread>

#include "link_fixture.h"

namespace vsk::testing {
namespace {

using Clock = std::chrono::steady_clock;

// The device's exclusive flag. It stops only unprivileged openers, so it is
// read back rather than tried: these tests may run as root.
bool exclusiveFlagSet(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return errno == EBUSY;  // what the flag does to an unprivileged opener
    int exclusive = 0;
    bool set = ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
    ::close(fd);
    return set;
}

// True when the library holds no lock on the device at `path` and has left
// no exclusive flag on it, which would refuse every later unprivileged opener.
bool deviceFree(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free && !exclusiveFlagSet(path);
}

class SessionTest : public LinkTest {};

TEST_F(SessionTest, OutOfRangeSettingsAreRefusedBeforeOpening) {
    sim_ = std::make_unique<SimProcess>(std::vector<std::string>{"--ht", "5"});
    setenv("VESKA_COM1", sim().path().c_str(), 1);
    struct Case {
        const char* what;
        LineSettings ls;
    } cases[] = {
        {"timeout 499", {9600, 0, 1, 0, 0, 499, 3}},
        {"timeout 5001", {9600, 0, 1, 0, 0, 5001, 3}},
        {"retry 0", {9600, 0, 1, 0, 0, 800, 0}},
        {"retry 11", {9600, 0, 1, 0, 0, 800, 11}},
        {"flow 2", {9600, 0, 1, 0, 2, 800, 3}},
        {"negative timeout", {9600, 0, 1, 0, 0, -1, 3}},
    };
    for (const Case& c : cases) {
        int32_t h = 0;
        EXPECT_EQ(Vsk_ComOpen(&h, 1, 0, &c.ls), VSK_E_PARAM) << c.what;
        EXPECT_TRUE(deviceFree(sim().path())) << c.what;
    }
    LineSettings ok = fastSettings();
    int32_t h = 0;
    EXPECT_EQ(Vsk_ComOpen(&h, 0, 0, &ok), VSK_E_PARAM);
    EXPECT_EQ(Vsk_ComOpen(nullptr, 1, 0, &ok), VSK_E_PARAM);
    EXPECT_EQ(Vsk_ComOpen(&h, 1, 0, nullptr), VSK_E_PARAM);
}

TEST_F(SessionTest, UnknownLineValuesCloseThePortAgain) {
    sim_ = std::make_unique<SimProcess>(std::vector<std::string>{"--ht", "5"});
    setenv("VESKA_COM1", sim().path().c_str(), 1);
    for (LineSettings ls :
         {LineSettings{9600, 3, 1, 0, 0, 800, 3}, LineSettings{1234, 0, 1, 0, 0, 800, 3},
          LineSettings{9600, 0, 2, 0, 0, 800, 3}, LineSettings{9600, 0, 1, 5, 0, 800, 3}}) {
        int32_t h = 0;
        EXPECT_EQ(Vsk_ComOpen(&h, 1, 0, &ls), VSK_E_PARAM);
        EXPECT_NE(h, 0);  // the port had been opened
        EXPECT_TRUE(deviceFree(sim().path()));
        EXPECT_EQ(Vsk_Polling(h, "005", 100), VSK_E_HANDLE);
    }
}

TEST_F(SessionTest, OpenCloseAndHandles) {
    startTerminal();
    int32_t again = 0;
    LineSettings ls = fastSettings();
    EXPECT_EQ(Vsk_ComOpen(&again, 1, 0, &ls), VSK_E_ALREADY_OPEN);
    EXPECT_FALSE(deviceFree(sim().path()));
    EXPECT_TRUE(exclusiveFlagSet(sim().path()));
    EXPECT_EQ(Vsk_ComClose(h_ + 1), VSK_E_HANDLE);
    EXPECT_EQ(Vsk_Polling(h_ + 1, "005", 100), VSK_E_HANDLE);
    EXPECT_EQ(Vsk_Polling(0, "005", 100), VSK_E_HANDLE);
    EXPECT_EQ(Vsk_Suspend(h_ + 1), VSK_E_HANDLE);
    expectUsable();

    int32_t old = h_;
    EXPECT_EQ(Vsk_ComClose(h_), 0);
    h_ = 0;
    EXPECT_TRUE(deviceFree(sim().path()));
    EXPECT_EQ(Vsk_Polling(old, "005", 100), VSK_E_HANDLE);
    EXPECT_EQ(Vsk_ComClose(old), VSK_E_HANDLE);
    EXPECT_EQ(Vsk_GetProcess(old, nullptr), VSK_E_HANDLE);

    // A new session works, under a new handle.
    ASSERT_EQ(Vsk_ComOpen(&h_, 1, 0, &ls), 0);
    EXPECT_NE(h_, old);
    expectUsable();
}

TEST_F(SessionTest, MissingDeviceGivesTheSystemsError) {
    setenv("VESKA_COM9", "/dev/veska-no-such-device", 1);
    LineSettings ls = fastSettings();
    int32_t h = 0;
    EXPECT_EQ(Vsk_ComOpen(&h, 9, 0, &ls), VSK_E_SYS_OPEN);
    EXPECT_EQ(h, 0);

    char buf[256];
    std::memset(buf, 'x', sizeof buf - 1);
    buf[255] = '\0';
    EXPECT_EQ(Vsk_GetSysErrorMsg(buf), ENOENT);
    std::string expected = std::strerror(ENOENT);
    EXPECT_EQ(std::string(buf, expected.size()), expected);
    EXPECT_EQ(buf[expected.size()], 'x');  // no terminating zero is written
    EXPECT_EQ(Vsk_GetSysErrorMsg(nullptr), 0);
}

TEST_F(SessionTest, APathThatIsNotATerminalIsRefused) {
    TempDir dir;
    dir.write("plain", "not a tty");
    setenv("VESKA_COM9", dir.file("plain").c_str(), 1);
    LineSettings ls = fastSettings();
    int32_t h = 0;
    EXPECT_EQ(Vsk_ComOpen(&h, 9, 0, &ls), VSK_E_SYS_OPEN);
    char buf[256] = {};
    EXPECT_EQ(Vsk_GetSysErrorMsg(buf), ENOTTY);
}

TEST_F(SessionTest, AnotherProcessCannotOpenTheSamePort) {
    sim_ = std::make_unique<SimProcess>(std::vector<std::string>{"--ht", "5"});
    setenv("VESKA_COM1", sim().path().c_str(), 1);
    int go[2], result[2];
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(result), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        char c;
        if (read(go[0], &c, 1) != 1) _exit(1);
        LineSettings ls = fastSettings();
        int32_t h = 0;
        int32_t r[2] = {Vsk_ComOpen(&h, 1, 0, &ls), 0};
        char text[256];
        r[1] = Vsk_GetSysErrorMsg(text);
        if (write(result[1], r, sizeof r) != sizeof r) _exit(1);
        _exit(0);
    }
    LineSettings ls = fastSettings();
    ASSERT_EQ(Vsk_ComOpen(&h_, 1, 0, &ls), 0);
    ASSERT_EQ(write(go[1], "g", 1), 1);
    int32_t childResult[2] = {};
    ASSERT_EQ(read(result[0], childResult, sizeof childResult),
              static_cast<ssize_t>(sizeof childResult));
    waitpid(child, nullptr, 0);
    EXPECT_EQ(childResult[0], VSK_E_SYS_OPEN);
    EXPECT_EQ(childResult[1], EBUSY);
    // The refused opener leaves the holder's exclusive flag alone.
    EXPECT_TRUE(exclusiveFlagSet(sim().path()));
    for (int fd : {go[0], go[1], result[0], result[1]}) close(fd);
}

TEST_F(SessionTest, SignallingModesNeedModemLines) {
    // A pseudo-terminal has no DTR or RTS: the signalling open modes fail on
    // their first line change and leave the port open for closing.
    sim_ = std::make_unique<SimProcess>(std::vector<std::string>{"--ht", "5"});
    setenv("VESKA_COM1", sim().path().c_str(), 1);
    for (int32_t mode : {1, 2}) {
        LineSettings ls{9600, 0, 1, 0, 0, 800, 3};
        int32_t h = 0;
        EXPECT_EQ(Vsk_ComOpen(&h, 1, mode, &ls), VSK_E_SYS_MODEM_LINES) << mode;
        EXPECT_FALSE(deviceFree(sim().path()));
        EXPECT_EQ(Vsk_Polling(h, "005", 100), VSK_E_HANDLE);  // no session
        EXPECT_EQ(Vsk_ComClose(h), 0);
        EXPECT_TRUE(deviceFree(sim().path()));
    }
    // A speed mode 1 cannot announce is refused before any line changes.
    LineSettings slow{1200, 0, 1, 0, 0, 800, 3};
    int32_t h = 0;
    EXPECT_EQ(Vsk_ComOpen(&h, 1, 1, &slow), VSK_E_PARAM);
    EXPECT_EQ(Vsk_ComClose(h), 0);
}

TEST_F(SessionTest, SilentTerminalTimesOutPerByte) {
    startTerminal({"--fault", "silent"});
    StatusRecord st{};
    auto t0 = Clock::now();
    EXPECT_EQ(Vsk_GetStatus(h_, "005", &st), VSK_E_TIMEOUT);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
    EXPECT_GE(ms, 500);
    EXPECT_EQ(commandsReceived('G'), 1u);
}

TEST_F(SessionTest, RepliesFromOtherTerminalsAndNoiseAreIgnored) {
    startTerminal({"--fault", "otherht", "--fault", "noise=20"});
    StatusRecord st{};
    EXPECT_EQ(Vsk_GetStatus(h_, "005", &st), 0);
    EXPECT_EQ(commandsReceived('G'), 1u);
    DirRecord dir{};
    EXPECT_EQ(Vsk_DIR(h_, "005", &dir), 0);
}

TEST_F(SessionTest, OnlyAnotherTerminalAnswering) {
    startTerminal({"--fault", "foreign*1@G"});
    StatusRecord st{};
    EXPECT_EQ(Vsk_GetStatus(h_, "005", &st), VSK_E_TIMEOUT);
    EXPECT_EQ(Vsk_GetStatus(h_, "005", &st), 0);
}

TEST_F(SessionTest, SeveralTerminalsShareTheLine) {
    TempDir other;
    other.write("ONLY7.DAT", "7");
    start({"--ht", "5", "--dir", store_.path(), "--ht", "7", "--dir", other.path()});
    DirRecord dir{};
    ASSERT_EQ(Vsk_DIR(h_, "007", &dir), 0);
    EXPECT_EQ(dir.FileCount, 1);
    EXPECT_EQ(text(dir.Entries[0].Name, 13), "ONLY7.DAT    ");
    EXPECT_EQ(Vsk_Polling(h_, "005", 100), 0);
    EXPECT_EQ(Vsk_Polling(h_, "009", 100), VSK_E_POLL_TIMEOUT);
}

TEST_F(SessionTest, OversizedLengthFieldIsDroppedAndTheSessionRecovers) {
    startTerminal({"--fault", "longlen@G"});
    StatusRecord st{};
    st.StatusValue = 77;
    EXPECT_EQ(Vsk_GetStatus(h_, "005", &st), VSK_E_RECEIVE);
    EXPECT_EQ(st.StatusValue, 77);  // left as it was
    EXPECT_EQ(Vsk_GetStatus(h_, "005", &st), 0);
    expectUsable();
}

TEST_F(SessionTest, SlowTerminalWithinTheTimeout) {
    startTerminal({"--fault", "slow=3"});
    DirRecord dir{};
    EXPECT_EQ(Vsk_DIR(h_, "005", &dir), 0);
    expectUsable();
}

// --- A line that carries noise without end

class BabbleTest : public SessionTest {};

TEST_F(BabbleTest, EveryCallEndsAsOnASilentLine) {
    // Noise instead of any reply: each call ends with its time-out code,
    // after about the time it would take on a silent line.
    startTerminal({"--fault", "babble", "--fault", "silent"});
    TempDir pc{"veska-pc"};
    pc.write("A.DAT", pattern(700));
    store_.write("B.DAT", pattern(700));
    DirRecord dir{};
    struct Case {
        const char* what;
        std::function<int32_t()> call;
        int32_t code;
        long maxMs;
    } cases[] = {
        {"listing", [&] { return Vsk_DIR(h_, "005", &dir); }, VSK_E_TIMEOUT, 2000},
        {"poll", [&] { return Vsk_Polling(h_, "005", 100); }, VSK_E_POLL_TIMEOUT, 100},
        {"download", [&] { return Vsk_FDownload(h_, "005", pc.file("A.DAT").c_str(), 700, 0); },
         VSK_E_TIMEOUT, 500},
        {"upload", [&] { return Vsk_FUpload(h_, "005", 0, pc.path().c_str(), "B.DAT", 700, 0); },
         VSK_E_TIMEOUT, 500},
    };
    for (Case& c : cases) {
        std::chrono::milliseconds took{};
        EXPECT_EQ(within(std::chrono::seconds(5), c.call, &took), c.code) << c.what;
        EXPECT_GE(took.count(), c.maxMs) << c.what;
        EXPECT_LT(took.count(), c.maxMs + 1500) << c.what;
    }
    EXPECT_EQ(filesIn(pc.path()), std::set<std::string>{"A.DAT"});
}

TEST_F(BabbleTest, NoiseBetweenFramesDisturbsNothing) {
    startTerminal({"--baud", "38400", "--fault", "babble=2000", "--fault", "extra=45"});
    TempDir pc{"veska-pc"};
    pc.write("A.DAT", pattern(3000));
    DirRecord dir{};
    std::chrono::milliseconds took{};
    EXPECT_EQ(within(
                  std::chrono::seconds(10), [&] { return Vsk_DIR(h_, "005", &dir); }, &took),
              0);
    EXPECT_EQ(dir.FileCount, 45);
    EXPECT_EQ(
        within(
            std::chrono::seconds(10),
            [&] { return Vsk_FDownload(h_, "005", pc.file("A.DAT").c_str(), 3000, 0); }, &took),
        0);
    EXPECT_TRUE(terminalStored(store_.file("A.DAT"), pattern(3000)));
}

TEST_F(BabbleTest, SuspendEndsAWaitAmidNoisePromptly) {
    // A long time-out: only the abort can end the call this soon.
    startTerminal({"--fault", "babble", "--fault", "silent"}, fastSettings(5000, 3));
    std::thread suspender([this] {
        if (sim().waitReceived(1, isCommand('F'))) Vsk_Suspend(h_);
    });
    DirRecord dir{};
    std::chrono::milliseconds took{};
    int32_t r = within(
        std::chrono::seconds(8), [&] { return Vsk_DIR(h_, "005", &dir); }, &took);
    suspender.join();
    EXPECT_EQ(r, VSK_E_ABORT_PC);
    EXPECT_LT(took.count(), 1500);
    EXPECT_TRUE(sim().waitReceived(1, isFrame('E', "CAN", 5)));
}

// --- Calls made while a call runs: from a signal handler, as the command-line
// tool does for Ctrl-C.

int32_t gHandle = 0;
volatile sig_atomic_t gNested = -1;
volatile sig_atomic_t gSuspend = -1;
DirRecord gDir;

void onAlarm(int) {
    gNested = Vsk_DIR(gHandle, "005", &gDir);
    ProgressRecord p;
    Vsk_GetProcess(gHandle, &p);
    gSuspend = Vsk_Suspend(gHandle);
}

void onAlarmHandled() {
    struct sigaction sa {};
    sa.sa_handler = onAlarm;
    sigaction(SIGALRM, &sa, nullptr);
}

TEST_F(SessionTest, AbortDuringAWaitSendsCanAndReturns1003) {
    startTerminal({"--fault", "silent@E"}, fastSettings(1000, 3));
    gHandle = h_;
    gNested = -1;
    gSuspend = -1;
    onAlarmHandled();
    // The signal comes while the call waits for the reply to its command.
    SignalOnEvent alarm(SIGALRM, [this] { return sim().waitReceived(1, isCommand('E')); });
    EXPECT_EQ(Vsk_FDelete(h_, "005", "A.DAT"), VSK_E_ABORT_PC);
    EXPECT_TRUE(alarm.join());
    EXPECT_EQ(gNested, VSK_E_BUSY);  // refused, and the running call went on
    EXPECT_EQ(gSuspend, 0);
    EXPECT_TRUE(sim().waitReceived(1, isFrame('E', "CAN", 5)));
    EXPECT_EQ(commandsReceived('E'), 1u);
    EXPECT_EQ(commandsReceived('F'), 0u);  // the nested listing never reached the line
    signal(SIGALRM, SIG_DFL);
    // The next operation clears the abort request.
    expectUsable();
}

TEST_F(SessionTest, SuspendBetweenCallsHasNoLastingEffect) {
    startTerminal();
    EXPECT_EQ(Vsk_Suspend(h_), 0);
    expectUsable();
}

TEST_F(SessionTest, LineGoingAwayFailsTheReadAtOnce) {
    startTerminal({"--fault", "silent@G"}, fastSettings(5000, 1));
    // The line goes away while the call waits for the reply to its command.
    std::thread killer([this] {
        sim().waitReceived(1, isCommand('G'));
        sim().stop();
    });
    StatusRecord st{};
    auto t0 = Clock::now();
    int32_t r = Vsk_GetStatus(h_, "005", &st);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
    killer.join();
    EXPECT_EQ(r, VSK_E_SYS_READ);
    EXPECT_LT(ms, 4000);  // not the 5-second time-out
    char buf[256] = {};
    EXPECT_NE(Vsk_GetSysErrorMsg(buf), 0);
    // The dead line keeps failing cleanly, and the session can be closed.
    EXPECT_NE(Vsk_Polling(h_, "005", 100), 0);
    EXPECT_EQ(Vsk_ComClose(h_), 0);
    h_ = 0;
}

TEST_F(SessionTest, ProgressCountersOutsideATransfer) {
    startTerminal();
    EXPECT_EQ(Vsk_ClrProcess(h_), 0);
    EXPECT_EQ(Vsk_ClrProcess(h_), 0);
    ProgressRecord p;
    std::memset(&p, 0x55, sizeof p);
    EXPECT_EQ(Vsk_GetProcess(h_, &p), VSK_E_NOT_IN_TRANSFER);
    EXPECT_EQ(text(p.HtNo, 4), "    ");
    EXPECT_EQ(text(p.FileName, 13), std::string(13, ' '));
    EXPECT_EQ(p.Percent, 0);
    EXPECT_EQ(p.Reserved[0], 0x55);  // not written
    EXPECT_EQ(Vsk_GetProcess(h_, nullptr), VSK_E_PARAM);
    EXPECT_EQ(Vsk_ClrProcess(h_ + 1), VSK_E_HANDLE);
}

}  // namespace
}  // namespace vsk::testing
