// The unattended polling loops: which numbers they poll, the result file they
// write, and how they end (time limit, abort).
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "link_fixture.h"

namespace vsk::testing {
namespace {

std::vector<std::string> lines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string all = ss.str();
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < all.size()) {
        size_t end = all.find("\r\n", pos);
        if (end == std::string::npos) {
            out.push_back("UNTERMINATED:" + all.substr(pos));
            break;
        }
        out.push_back(all.substr(pos, end - pos));
        pos = end + 2;
    }
    return out;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    std::string item;
    while (std::getline(ss, item, ',')) f.push_back(item);
    return f;
}

std::string mask(std::initializer_list<int> hts) {
    std::string m(128, '0');
    for (int h : hts) m[static_cast<size_t>(h - 1)] = '1';
    return m;
}

ResultFileRecord resultFile(const std::string& path, int32_t mode) {
    ResultFileRecord r;
    std::memset(r.Path, ' ', sizeof r.Path);
    std::memcpy(r.Path, path.data(), path.size());
    r.ResultMode = mode;
    return r;
}

void setEntry(DownloadEntry& e, const std::string& path, int32_t size) {
    std::memset(e.Path, ' ', sizeof e.Path);
    std::memcpy(e.Path, path.data(), path.size());
    e.Size = size;
    e.SkipMode = 0;
    e.Outcome = 0;
}

// Aborts the running loop from a signal handler once it has polled `polls`
// times, noting on the way whether the result file was read-only while the
// loop ran.
int32_t gHandle = 0;
const char* gResultPath = nullptr;
volatile sig_atomic_t gSawReadOnly = 0;

void onAlarm(int) {
    struct stat st {};
    if (gResultPath && ::stat(gResultPath, &st) == 0 && (st.st_mode & 0222) == 0) gSawReadOnly = 1;
    Vsk_Suspend(gHandle);
}

class AbortAfter {
  public:
    AbortAfter(const SimProcess& sim, int32_t handle, size_t polls,
               const char* resultPath = nullptr) {
        gHandle = handle;
        gResultPath = resultPath;
        gSawReadOnly = 0;
        struct sigaction sa {};
        sa.sa_handler = onAlarm;
        sigaction(SIGALRM, &sa, nullptr);
        signal_ = std::make_unique<SignalOnEvent>(
            SIGALRM, [&sim, polls] { return sim.waitReceived(polls, isCommand('P')); });
    }
    ~AbortAfter() {
        EXPECT_TRUE(signal_->join()) << "the loop did not poll often enough";
        signal(SIGALRM, SIG_DFL);
    }

  private:
    std::unique_ptr<SignalOnEvent> signal_;
};

class PollingLoopsTest : public LinkTest {
  protected:
    TempDir pc_{"veska-pc"};
};

TEST_F(PollingLoopsTest, DownloadLoopServesTheSelectedTerminalAndWritesItsLines) {
    TempDir other;
    start({"--ht", "5", "--dir", store_.path(), "--ht", "6", "--dir", other.path()});
    pc_.write("B.DAT", "bbbb");
    DownloadList list{};
    setEntry(list.Entries[0], pc_.file("A.DAT"), 3);  // missing
    setEntry(list.Entries[1], pc_.file("B.DAT"), 4);
    const DownloadList before = list;
    const std::string path = pc_.file("result.txt");
    ResultFileRecord rf = resultFile(path, 0);
    int32_t r;
    {
        // Once the loop polls again, the first round's lines are written.
        AbortAfter abort(sim(), h_, 2, path.c_str());
        r = Vsk_PollingAllDownload(h_, mask({5}).c_str(), 100, 0, 2, &list, &rf, 0);
    }
    EXPECT_EQ(r, VSK_E_ABORT_PC);
    EXPECT_EQ(std::memcmp(&list, &before, sizeof list), 0);  // the caller's list is not written
    EXPECT_TRUE(gSawReadOnly);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IWUSR, 0u);  // writable again

    for (const auto& f : sim().received(isCommand('P'))) EXPECT_EQ(f.ht, "005");
    EXPECT_TRUE(sim().received(isCommand('P', 6)).empty());

    auto ls = lines(path);
    ASSERT_GE(ls.size(), 4u);
    auto h = fields(ls[0]), d1 = fields(ls[1]), d2 = fields(ls[2]), f = fields(ls[3]);
    ASSERT_EQ(h.size(), 7u);
    EXPECT_EQ(h[0], "H");
    EXPECT_EQ(h[1].size(), 8u);  // yy/mm/dd
    EXPECT_EQ(h[1][2], '/');
    EXPECT_EQ(h[2].size(), 8u);  // hh:mm:ss
    EXPECT_EQ(h[3], "005");
    EXPECT_EQ(h[4], "ダウンロード");
    EXPECT_EQ(h[5], "0000");
    EXPECT_EQ(h[6], "処理開始");
    EXPECT_EQ(d1,
              (std::vector<std::string>{"D", h[1], h[2], "005", "A.DAT       ", "0002", "失敗"}));
    EXPECT_EQ(d2[4], "B.DAT       ");
    EXPECT_EQ(d2[5], "0001");
    EXPECT_EQ(d2[6], "成功");
    EXPECT_EQ(f[0], "F");
    EXPECT_EQ(f[5], "0000");
    EXPECT_EQ(f[6], "正常終了");
}

TEST_F(PollingLoopsTest, TimeLimitEndsALoopWithoutTransfers) {
    start({"--ht", "5", "--dir", store_.path()});
    pc_.write("B.DAT", "b");
    DownloadList list{};
    setEntry(list.Entries[0], pc_.file("B.DAT"), 1);
    ResultFileRecord rf = resultFile(pc_.file("result.txt"), 2);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Vsk_PollingAllDownload(h_, mask({9}).c_str(), 50, 10, 1, &list, &rf, 0), 0);
    auto s =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - t0);
    EXPECT_GE(s.count(), 10);
    EXPECT_FALSE(sim().received(isCommand('P', 9)).empty());
    struct stat st {};
    EXPECT_NE(::stat(pc_.file("result.txt").c_str(), &st), 0);  // mode 2 writes nothing
    expectUsable();
}

TEST_F(PollingLoopsTest, UploadLoopMarksFilesThatExist) {
    store_.write("A.DAT", "terminal a");
    start({"--ht", "5", "--dir", store_.path()});
    pc_.write("A.DAT", "pc a");
    const std::string path = pc_.file("result.txt");
    {
        std::ofstream old(path, std::ios::binary);
        old << "earlier line\r\n";
    }
    ResultFileRecord rf = resultFile(path, 1);
    int32_t r;
    {
        AbortAfter abort(sim(), h_, 2);
        r = Vsk_PollingAllUPload(h_, mask({5}).c_str(), pc_.path().c_str(), 2, 100, 0, &rf, 0);
    }
    EXPECT_EQ(r, VSK_E_ABORT_PC);
    auto ls = lines(path);
    ASSERT_GE(ls.size(), 4u);
    EXPECT_EQ(ls[0], "earlier line");  // appended to
    auto d = fields(ls[2]);
    EXPECT_EQ(fields(ls[1])[4], "アップロード");
    EXPECT_EQ(d[4], "A.DAT       ");
    EXPECT_EQ(d[5], "0003");
    EXPECT_EQ(d[6], "同名");
    EXPECT_EQ(fields(ls[3])[6], "正常終了");
}

TEST_F(PollingLoopsTest, ALineThatGoesAwayEndsTheLoop) {
    start({"--ht", "5", "--dir", store_.path()});
    pc_.write("B.DAT", "b");
    DownloadList list{};
    setEntry(list.Entries[0], pc_.file("B.DAT"), 1);
    ResultFileRecord rf = resultFile(pc_.file("result.txt"), 0);
    // The line goes away once the loop is polling; it goes away in any case,
    // so a loop that never polls cannot keep the test waiting.
    bool polled = false;
    std::thread killer([this, &polled] {
        polled = sim().waitReceived(1, isCommand('P', 9));
        sim().stop();
    });
    int32_t r = Vsk_PollingAllDownload(h_, mask({9}).c_str(), 100, 0, 1, &list, &rf, 0);
    killer.join();
    EXPECT_TRUE(polled);
    EXPECT_TRUE(r == VSK_E_SYS_READ || r == VSK_E_SYS_WRITE) << r;
    struct stat st {};
    ASSERT_EQ(::stat(pc_.file("result.txt").c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IWUSR, 0u);
}

TEST_F(PollingLoopsTest, LoopArgumentChecks) {
    start({"--ht", "5", "--dir", store_.path()});
    DownloadList list{};
    setEntry(list.Entries[0], pc_.file("B.DAT"), 1);
    ResultFileRecord rf = resultFile(pc_.file("r.txt"), 0);
    const std::string m = mask({5});
    EXPECT_EQ(Vsk_PollingAllDownload(h_, m.c_str(), 49, 0, 1, &list, &rf, 0), VSK_E_PARAM);
    EXPECT_EQ(Vsk_PollingAllDownload(h_, m.c_str(), 501, 0, 1, &list, &rf, 0), VSK_E_PARAM);
    EXPECT_EQ(Vsk_PollingAllDownload(h_, m.c_str(), 100, 9, 1, &list, &rf, 0), VSK_E_PARAM);
    EXPECT_EQ(Vsk_PollingAllDownload(h_, m.c_str(), 100, 3601, 1, &list, &rf, 0), VSK_E_PARAM);
    EXPECT_EQ(Vsk_PollingAllDownload(h_, m.c_str(), 100, 0, 0, &list, &rf, 0), VSK_E_PARAM);
    ResultFileRecord bad = resultFile(pc_.file("r.txt"), 3);
    EXPECT_EQ(Vsk_PollingAllDownload(h_, m.c_str(), 100, 0, 1, &list, &bad, 0), VSK_E_PARAM);
    ResultFileRecord noFolder = resultFile(pc_.file("missing/r.txt"), 0);
    EXPECT_EQ(Vsk_PollingAllDownload(h_, m.c_str(), 100, 0, 1, &list, &noFolder, 0),
              VSK_E_HISTORY_FILE);
    // A named pipe nobody reads would block the loop before its first poll.
    ASSERT_EQ(::mkfifo(pc_.file("pipe").c_str(), 0600), 0);
    ResultFileRecord pipe = resultFile(pc_.file("pipe"), 1);
    EXPECT_EQ(
        within(std::chrono::seconds(5),
               [&] { return Vsk_PollingAllDownload(h_, m.c_str(), 100, 0, 1, &list, &pipe, 0); }),
        VSK_E_HISTORY_FILE);
    EXPECT_EQ(Vsk_PollingAllUPload(h_, m.c_str(), pc_.file("none").c_str(), 0, 100, 0, &rf, 0),
              VSK_E_PC_FOLDER_MISSING);
    ResultFileRecord empty = resultFile("", 2);
    EXPECT_EQ(Vsk_PollingAllUPload(h_, m.c_str(), pc_.path().c_str(), 0, 100, 0, &empty, 0),
              VSK_E_PARAM);
    EXPECT_EQ(Vsk_PollingAllDownload(h_ + 1, m.c_str(), 100, 0, 1, &list, &rf, 0), VSK_E_HANDLE);
    EXPECT_TRUE(sim().received().empty());
}

}  // namespace
}  // namespace vsk::testing
