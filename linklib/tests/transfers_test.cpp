// File transfers against simulated terminals: what goes on the line, what
// lands on each side, and that a failed transfer leaves the PC's files as
// they were, with no temporary or backup file behind.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "link_fixture.h"

namespace vsk::testing {
namespace {

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

class TransfersTest : public LinkTest {
  protected:
    TempDir pc_{"veska-pc"};

    // Data frames the PC sent, in order.
    std::vector<RecordedFrame> blocksSent() { return sim().received(isFrame('D')); }
};

// --- Downloads (PC to terminal)

TEST_F(TransfersTest, DownloadSendsNumberedBlocksThenEot) {
    startTerminal();
    const std::string content = pattern(1024);
    pc_.write("ITEM.DAT", content);
    ASSERT_EQ(Vsk_FDownload(h_, "005", pc_.file("ITEM.DAT").c_str(), 1024, 0), 0);
    auto cmd = sim().received(isCommand('D')).at(0);
    EXPECT_EQ(cmd.text(), "ITEM.DAT    0001024");
    auto blocks = blocksSent();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].block, '0');
    EXPECT_EQ(blocks[1].block, '1');
    EXPECT_EQ(blocks[0].length, "0512");
    EXPECT_TRUE(sim().waitReceived(1, isFrame('E', "EOT")));
    ASSERT_TRUE(sim().waitReceived(1, isFrame('E', "EOT")));
    EXPECT_TRUE(terminalStored(store_.file("ITEM.DAT"), content));

    ProgressRecord p{};
    EXPECT_EQ(Vsk_GetProcess(h_, &p), VSK_E_NOT_IN_TRANSFER);
    EXPECT_EQ(p.Percent, 100);
    EXPECT_EQ(text(p.FileName, 13), "ITEM.DAT     ");
    EXPECT_EQ(text(p.HtNo, 4), "005 ");
}

TEST_F(TransfersTest, EmptyAndLongDownloads) {
    startTerminal();
    pc_.write("EMPTY.DAT", "");
    ASSERT_EQ(Vsk_FDownload(h_, "005", pc_.file("EMPTY.DAT").c_str(), 0, 0), 0);
    EXPECT_EQ(blocksSent().size(), 0u);
    ASSERT_TRUE(sim().waitReceived(1, isFrame('E', "EOT")));

    const std::string big = pattern(512 * 11 + 100);
    pc_.write("BIG.DAT", big);
    ASSERT_EQ(
        Vsk_FDownload(h_, "005", pc_.file("BIG.DAT").c_str(), static_cast<int32_t>(big.size()), 0),
        0);
    auto blocks = blocksSent();
    ASSERT_EQ(blocks.size(), 12u);
    EXPECT_EQ(blocks[10].block, '0');  // the eleventh block
    EXPECT_EQ(blocks[11].length, "0100");
    ASSERT_TRUE(sim().waitReceived(2, isFrame('E', "EOT")));
    EXPECT_TRUE(terminalStored(store_.file("BIG.DAT"), big));
    EXPECT_TRUE(exists(store_.file("EMPTY.DAT")));
}

TEST_F(TransfersTest, DownloadRefusals) {
    startTerminal();
    pc_.write("A.DAT", "abc");
    const std::string a = pc_.file("A.DAT");
    EXPECT_EQ(Vsk_FDownload(h_, "005", pc_.file("NONE.DAT").c_str(), 3, 0), VSK_E_PC_FILE_MISSING);
    EXPECT_EQ(Vsk_FDownload(h_, "005", a.c_str(), 4, 0), VSK_E_PARAM);
    EXPECT_EQ(Vsk_FDownload(h_, "05", a.c_str(), 3, 0), VSK_E_PARAM);
    EXPECT_EQ(Vsk_FDownload(h_ + 1, "005", a.c_str(), 3, 0), VSK_E_HANDLE);
    std::string longPath = "/" + std::string(130, 'x') + "/A.DAT";
    EXPECT_EQ(Vsk_FDownload(h_, "005", longPath.c_str(), 3, 0), VSK_E_PARAM);
    pc_.write("\xF0\x9F\x98\x80.DAT", "abc");  // no CP932 form
    EXPECT_EQ(Vsk_FDownload(h_, "005", pc_.file("\xF0\x9F\x98\x80.DAT").c_str(), 3, 0),
              VSK_E_PARAM);
    // Missing texts are refused, not taken as empty names.
    UploadList ul{};
    ResultFileRecord rf{};
    rf.ResultMode = 2;
    std::string m(128, '0');
    EXPECT_EQ(Vsk_FDownload(h_, "005", nullptr, 3, 0), VSK_E_PARAM);
    EXPECT_EQ(Vsk_APInstall(h_, "005", nullptr, 3, 1, 0), VSK_E_PARAM);
    EXPECT_EQ(Vsk_OSInstall(h_, "005", nullptr, 3, 0), VSK_E_PARAM);
    EXPECT_EQ(Vsk_OSInstall2(h_, "005", nullptr, 3, a.c_str(), 3, 0), VSK_E_PARAM);
    EXPECT_EQ(Vsk_FUpload(h_, "005", 0, nullptr, "A.DAT", 3, 0), VSK_E_PARAM);
    EXPECT_EQ(Vsk_AllUpload(h_, "005", nullptr, &ul, 0), VSK_E_PARAM);
    EXPECT_EQ(Vsk_PollingAllUPload(h_, m.c_str(), nullptr, 0, 100, 0, &rf, 0), VSK_E_PARAM);
    EXPECT_EQ(Vsk_PollingAllUPload(h_, nullptr, pc_.path().c_str(), 0, 100, 0, &rf, 0),
              VSK_E_PARAM);
    EXPECT_TRUE(sim().received().empty());
    // Trailing blanks of a fixed-length path text are ignored.
    EXPECT_EQ(Vsk_FDownload(h_, "005", (a + "    ").c_str(), 3, 0), 0);
}

TEST_F(TransfersTest, JapaneseNamesTravelAsCp932) {
    startTerminal();
    pc_.write("棚卸.DAT", "count");
    ASSERT_EQ(Vsk_FDownload(h_, "005", pc_.file("棚卸.DAT").c_str(), 5, 0), 0);
    auto cmd = sim().received(isCommand('D')).at(0);
    EXPECT_EQ(cmd.text().substr(0, 12), "\x92\x49\x89\xB5.DAT    ");
}

// --- Uploads (terminal to PC)

TEST_F(TransfersTest, UploadIntoAFolder) {
    const std::string content = pattern(1500);
    store_.write("DATA.TXT", content);
    startTerminal();
    ASSERT_EQ(Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), "DATA.TXT", 1500, 0), 0);
    EXPECT_EQ(readFile(pc_.file("DATA.TXT")), content);
    EXPECT_EQ(filesIn(pc_.path()), std::set<std::string>{"DATA.TXT"});
    // The same with a trailing "/" and trailing blanks.
    ASSERT_EQ(Vsk_FUpload(h_, "005", 0, (pc_.path() + "/  ").c_str(), "DATA.TXT", 1500, 0), 0);
    EXPECT_EQ(filesIn(pc_.path()), std::set<std::string>{"DATA.TXT"});
    expectUsable();
}

TEST_F(TransfersTest, SaveModes) {
    store_.write("LOG.TXT", "new");
    startTerminal();
    pc_.write("LOG.TXT", "old-");
    ASSERT_EQ(Vsk_FUpload(h_, "005", 1, pc_.path().c_str(), "LOG.TXT", 3, 0), 0);
    EXPECT_EQ(readFile(pc_.file("LOG.TXT")), "old-new");
    ASSERT_EQ(Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), "LOG.TXT", 3, 0), 0);
    EXPECT_EQ(readFile(pc_.file("LOG.TXT")), "new");
    size_t before = sim().received().size();
    EXPECT_EQ(Vsk_FUpload(h_, "005", 2, pc_.path().c_str(), "LOG.TXT", 3, 0),
              VSK_E_SAME_NAME_EXISTS);
    EXPECT_EQ(sim().received().size(), before);  // nothing was sent
    EXPECT_EQ(Vsk_FUpload(h_, "005", 3, pc_.path().c_str(), "LOG.TXT", 3, 0), VSK_E_PARAM);
    EXPECT_EQ(filesIn(pc_.path()), std::set<std::string>{"LOG.TXT"});
}

TEST_F(TransfersTest, EmptyUploadCreatesAnEmptyFile) {
    store_.write("EMPTY.DAT", "");
    startTerminal();
    ASSERT_EQ(Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), "EMPTY.DAT", 0, 0), 0);
    EXPECT_TRUE(exists(pc_.file("EMPTY.DAT")));
    EXPECT_EQ(readFile(pc_.file("EMPTY.DAT")), "");
}

TEST_F(TransfersTest, ShortUploadLeavesThePcAsItWas) {
    store_.write("SHORT.DAT", std::string(100, 's'));
    startTerminal();
    pc_.write("SHORT.DAT", "precious");
    EXPECT_EQ(Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), "SHORT.DAT", 120, 0),
              VSK_E_UPLOAD_SIZE);
    EXPECT_EQ(readFile(pc_.file("SHORT.DAT")), "precious");
    EXPECT_EQ(filesIn(pc_.path()), std::set<std::string>{"SHORT.DAT"});

    TempDir fresh{"veska-pc"};
    EXPECT_EQ(Vsk_FUpload(h_, "005", 0, fresh.path().c_str(), "SHORT.DAT", 120, 0),
              VSK_E_UPLOAD_SIZE);
    EXPECT_TRUE(filesIn(fresh.path()).empty());
    expectUsable();
}

TEST_F(TransfersTest, UploadRefusals) {
    store_.write("A.DAT", "a");
    startTerminal();
    EXPECT_EQ(Vsk_FUpload(h_, "005", 0, pc_.file("nope").c_str(), "A.DAT", 1, 0),
              VSK_E_PC_FOLDER_MISSING);
    pc_.write("plain", "x");
    EXPECT_EQ(Vsk_FUpload(h_, "005", 0, pc_.file("plain").c_str(), "A.DAT", 1, 0),
              VSK_E_PC_FOLDER_MISSING);
    // Names that would put the file outside the folder are never written.
    for (const char* bad : {"../A.DAT", "x/A.DAT", "..", ".", "A\x01.DAT", ""}) {
        EXPECT_EQ(Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), bad, 1, 0), VSK_E_PC_FILE_NAME)
            << bad;
    }
    EXPECT_EQ(Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), "MISSING.DAT", 1, 0), VSK_E_HT_FILE_IO);
    EXPECT_EQ(filesIn(pc_.path()), std::set<std::string>{"plain"});
    EXPECT_EQ(sim().received(isCommand('S')).size(), 1u);
}

TEST_F(TransfersTest, TerminalNamesBecomeUtf8PcNames) {
    store_.write("\x92\x49\x89\xB5.DAT", "count");
    startTerminal();
    ASSERT_EQ(Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), "\x92\x49\x89\xB5.DAT", 5, 0), 0);
    EXPECT_EQ(readFile(pc_.file("棚卸.DAT")), "count");
}

// --- Installs

TEST_F(TransfersTest, ApplicationInstallModes) {
    startTerminal();
    pc_.write("APP.EXE", pattern(600));
    const std::string app = pc_.file("APP.EXE");
    ASSERT_EQ(Vsk_APInstall(h_, "005", app.c_str(), 600, 1, 0), 0);
    ASSERT_EQ(Vsk_APInstall(h_, "005", app.c_str(), 600, 0, 0), 0);
    EXPECT_EQ(Vsk_APInstall(h_, "005", app.c_str(), 600, 2, 0), VSK_E_PARAM);
    EXPECT_EQ(Vsk_APInstall(h_, "005", app.c_str(), 601, 1, 0), VSK_E_PARAM);
    EXPECT_EQ(sim().received(isCommand('A')).size(), 1u);
    EXPECT_EQ(sim().received(isCommand('B')).size(), 1u);
}

TEST_F(TransfersTest, SystemInstallNameTests) {
    startTerminal();
    pc_.write("system.hex", "S1");
    ASSERT_EQ(Vsk_OSInstall(h_, "005", pc_.file("system.hex").c_str(), 2, 0), 0);
    EXPECT_EQ(sim().received(isCommand('O')).at(0).text(), "system.hex  0000002");
    pc_.write("SYSTEM.HEX.BAK", "S1");
    // The install's end frame goes unanswered: let it reach the record first.
    ASSERT_TRUE(sim().waitReceived(1, isFrame('E', "EOT")));
    size_t before = sim().received().size();
    EXPECT_EQ(Vsk_OSInstall(h_, "005", pc_.file("SYSTEM.HEX.BAK").c_str(), 2, 0),
              VSK_E_NOT_SYSTEM_HEX);
    EXPECT_EQ(Vsk_OSInstall(h_, "005", pc_.file("SYSTEM.HEX").c_str(), 2, 0),
              VSK_E_PC_FILE_MISSING);
    EXPECT_EQ(Vsk_OSInstall(h_ + 1, "005", pc_.file("system.hex").c_str(), 2, 0), VSK_E_HANDLE);
    EXPECT_EQ(Vsk_OSInstall(h_, "000", pc_.file("system.hex").c_str(), 2, 0), VSK_E_PARAM);
    EXPECT_EQ(sim().received().size(), before);

    pc_.write("OS123.HEX", pattern(700));
    pc_.write("EXTRA.HEX", pattern(300));
    pc_.write("MYOS.HEX", "x");
    EXPECT_EQ(Vsk_OSInstall2(h_, "005", pc_.file("MYOS.HEX").c_str(), 1,
                             pc_.file("EXTRA.HEX").c_str(), 300, 0),
              VSK_E_OS_FILE_MISSING);
    EXPECT_EQ(Vsk_OSInstall2(h_, "005", pc_.file("OS123.HEX").c_str(), 700,
                             pc_.file("MYOS.HEX").c_str(), 1, 0),
              VSK_E_EX_FILE_MISSING);
    // A size that no longer matches, or a path that is no file, is refused
    // rather than passed over.
    ASSERT_EQ(::mkdir(pc_.file("EX1.HEX").c_str(), 0755), 0);
    EXPECT_EQ(Vsk_OSInstall2(h_, "005", pc_.file("OS123.HEX").c_str(), 700,
                             pc_.file("EX1.HEX").c_str(), 300, 0),
              VSK_E_PARAM);
    EXPECT_EQ(Vsk_OSInstall2(h_, "005", pc_.file("OS123.HEX").c_str(), 701,
                             pc_.file("EXTRA.HEX").c_str(), 300, 0),
              VSK_E_PARAM);
    ASSERT_EQ(Vsk_OSInstall2(h_, "005", pc_.file("OS123.HEX").c_str(), 700,
                             pc_.file("EXTRA.HEX").c_str(), 300, 0),
              0);
    EXPECT_EQ(sim().received(isCommand('V')).at(0).text(), "002");
}

TEST_F(TransfersTest, SystemInstallThatTheTerminalDeclines) {
    startTerminal({"--fault", "eot@O"});
    pc_.write("SYSTEM.HEX", pattern(900));
    EXPECT_EQ(Vsk_OSInstall(h_, "005", pc_.file("SYSTEM.HEX").c_str(), 900, 0), 0);
    EXPECT_TRUE(sim().received(isFrame('D')).empty());
    expectUsable();
}

// --- Batches

void setEntry(DownloadEntry& e, const std::string& path, int32_t size, int32_t skip) {
    std::memset(e.Path, ' ', sizeof e.Path);  // as the tools pass it: blank-filled
    std::memcpy(e.Path, path.data(), path.size());
    e.Size = size;
    e.SkipMode = skip;
    e.Outcome = 9;
}

TEST_F(TransfersTest, BatchDownloadPassesOverAMissingFile) {
    startTerminal();
    pc_.write("B.DAT", "bbbb");
    DownloadList list{};
    setEntry(list.Entries[0], pc_.file("A.DAT"), 3, 0);
    setEntry(list.Entries[1], pc_.file("B.DAT"), 4, 0);
    setEntry(list.Entries[2], pc_.file("B.DAT"), 5, 0);  // size differs: not processed
    ASSERT_EQ(Vsk_AllDownload(h_, "005", 3, &list, 0), 0);
    EXPECT_EQ(list.Entries[0].Outcome, 2);
    EXPECT_EQ(list.Entries[1].Outcome, 1);
    EXPECT_EQ(list.Entries[2].Outcome, 0);
    EXPECT_EQ(sim().received(isCommand('W')).at(0).text(), "003");
    ASSERT_TRUE(sim().waitReceived(1, [](const RecordedFrame& f) {
        return f.type == 'D' && f.data == std::vector<uint8_t>{0x04};
    }));
    EXPECT_TRUE(terminalStored(store_.file("B.DAT"), "bbbb"));
}

TEST_F(TransfersTest, BatchDownloadStopsAtAMissingFileWhenAsked) {
    startTerminal();
    pc_.write("B.DAT", "bbbb");
    DownloadList list{};
    setEntry(list.Entries[0], pc_.file("A.DAT"), 3, 1);
    setEntry(list.Entries[1], pc_.file("B.DAT"), 4, 1);
    EXPECT_EQ(Vsk_AllDownload(h_, "005", 2, &list, 0), VSK_E_PC_FILE_MISSING);
    EXPECT_EQ(blocksSent().size(), 0u);
    EXPECT_FALSE(exists(store_.file("B.DAT")));
    list.Entries[1].SkipMode = 2;
    EXPECT_EQ(Vsk_AllDownload(h_, "005", 2, &list, 0), VSK_E_PARAM);
    EXPECT_EQ(Vsk_AllDownload(h_, "005", 0, &list, 0), VSK_E_PARAM);
    EXPECT_EQ(Vsk_AllDownload(h_, "005", 129, &list, 0), VSK_E_PARAM);
}

TEST_F(TransfersTest, BatchUploadReceivesEveryFile) {
    store_.write("A.DAT", pattern(700));
    store_.write("B.DAT", "");
    store_.write("C.DAT", "c");
    startTerminal();
    UploadList list;
    std::memset(&list, 0x41, sizeof list);
    list.Count = 128;
    list.SaveMode = 0;
    ASSERT_EQ(Vsk_AllUpload(h_, "005", pc_.path().c_str(), &list, 0), 0);
    EXPECT_EQ(list.Count, 3);
    std::set<std::string> names;
    for (int k = 0; k < 3; ++k) {
        names.insert(text(list.Entries[k].Name, 13));
        EXPECT_EQ(list.Entries[k].Outcome, 1) << k;
    }
    EXPECT_EQ(names, (std::set<std::string>{"A.DAT        ", "B.DAT        ", "C.DAT        "}));
    EXPECT_EQ(text(list.Entries[3].Name, 13), std::string(13, ' '));
    EXPECT_EQ(readFile(pc_.file("A.DAT")), pattern(700));
    EXPECT_EQ(filesIn(pc_.path()), (std::set<std::string>{"A.DAT", "B.DAT", "C.DAT"}));
}

TEST_F(TransfersTest, BatchUploadSkipsFilesThatExistInNewFilesMode) {
    store_.write("A.DAT", "new a");
    store_.write("B.DAT", "new b");
    startTerminal();
    pc_.write("A.DAT", "old a");
    UploadList list{};
    list.Count = 0;
    list.SaveMode = 2;
    ASSERT_EQ(Vsk_AllUpload(h_, "005", pc_.path().c_str(), &list, 0), 0);
    for (int k = 0; k < 2; ++k) {
        bool isA = text(list.Entries[k].Name, 5) == "A.DAT";
        EXPECT_EQ(list.Entries[k].Outcome, isA ? 3 : 1) << k;
    }
    EXPECT_TRUE(sim().waitReceived(1, isFrame('R', "S")));
    EXPECT_EQ(readFile(pc_.file("A.DAT")), "old a");
    EXPECT_EQ(readFile(pc_.file("B.DAT")), "new b");
    EXPECT_EQ(filesIn(pc_.path()), (std::set<std::string>{"A.DAT", "B.DAT"}));
}

// --- Progress and abort during a transfer, from a signal handler

int32_t gHandle = 0;
std::vector<int32_t>* gPercents = nullptr;
volatile sig_atomic_t gSuspendAt = -1;
volatile sig_atomic_t gTicks = 0;

void onTick(int) {
    ProgressRecord p;
    if (Vsk_GetProcess(gHandle, &p) == 0 && gPercents->size() < 1000)
        gPercents->push_back(p.Percent);
    gTicks = gTicks + 1;
    if (gTicks == gSuspendAt) Vsk_Suspend(gHandle);
}

class Ticker {
  public:
    explicit Ticker(int32_t handle, std::vector<int32_t>* percents, int suspendAt = -1) {
        gHandle = handle;
        gPercents = percents;
        gTicks = 0;
        gSuspendAt = suspendAt;
        struct sigaction sa {};
        sa.sa_handler = onTick;
        sigaction(SIGALRM, &sa, nullptr);
        itimerval it{{0, 50000}, {0, 50000}};
        setitimer(ITIMER_REAL, &it, nullptr);
    }
    ~Ticker() {
        itimerval off{};
        setitimer(ITIMER_REAL, &off, nullptr);
        signal(SIGALRM, SIG_DFL);
    }
};

TEST_F(TransfersTest, CountersAdvanceDuringADownload) {
    startTerminal({"--baud", "38400"});
    pc_.write("P.DAT", pattern(8192));
    std::vector<int32_t> percents;
    percents.reserve(1000);
    {
        Ticker t(h_, &percents);
        ASSERT_EQ(Vsk_FDownload(h_, "005", pc_.file("P.DAT").c_str(), 8192, 0), 0);
    }
    ASSERT_GE(percents.size(), 3u);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_LT(percents.front(), percents.back());
    EXPECT_EQ(Vsk_ClrProcess(h_), 0);
}

TEST_F(TransfersTest, AbortDuringADownloadSendsCan) {
    startTerminal({"--baud", "9600"});
    pc_.write("P.DAT", pattern(20000));
    std::vector<int32_t> percents;
    percents.reserve(1000);
    int32_t r;
    {
        Ticker t(h_, &percents, 10);
        r = Vsk_FDownload(h_, "005", pc_.file("P.DAT").c_str(), 20000, 0);
    }
    EXPECT_EQ(r, VSK_E_ABORT_PC);
    EXPECT_TRUE(sim().waitReceived(1, isFrame('E', "CAN", 5)));
    EXPECT_FALSE(exists(store_.file("P.DAT")));
    expectUsable();
}

TEST_F(TransfersTest, AbortDuringAnUploadLeavesNoFileBehind) {
    store_.write("BIG.DAT", pattern(20000));
    startTerminal({"--baud", "9600"});
    pc_.write("BIG.DAT", "keep me");
    std::vector<int32_t> percents;
    percents.reserve(1000);
    int32_t r;
    {
        Ticker t(h_, &percents, 10);
        r = Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), "BIG.DAT", 20000, 0);
    }
    EXPECT_EQ(r, VSK_E_ABORT_PC);
    EXPECT_TRUE(sim().waitReceived(1, isFrame('E', "CAN", 5)));
    EXPECT_EQ(readFile(pc_.file("BIG.DAT")), "keep me");
    EXPECT_EQ(filesIn(pc_.path()), std::set<std::string>{"BIG.DAT"});
    expectUsable();
}

}  // namespace
}  // namespace vsk::testing
