// The terminal operations against simulated terminals: what each sends, what
// each reply means, and how each misbehaviour of the terminal ends.
#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <map>

#include "link_fixture.h"

namespace vsk::testing {
namespace {

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

class QueriesTest : public LinkTest {};

// --- The listing

TEST_F(QueriesTest, ListingFillsTheRecord) {
    store_.write("ITEM.DAT", "12345");
    store_.write("B", std::string(700, 'b'));
    startTerminal({"--free", "654321"});
    DirRecord dir;
    std::memset(&dir, 0x5A, sizeof dir);
    ASSERT_EQ(Vsk_DIR(h_, "005", &dir), 0);
    EXPECT_EQ(dir.FileCount, 2);
    EXPECT_EQ(dir.FreeSize, 654321);
    std::map<std::string, int32_t> got;
    for (int i = 0; i < 2; ++i) got[text(dir.Entries[i].Name, 13)] = dir.Entries[i].Size;
    EXPECT_EQ(got["ITEM.DAT     "], 5);
    EXPECT_EQ(got["B            "], 700);
    for (int i = 2; i < VSK_MAX_FILES; ++i) {
        ASSERT_EQ(text(dir.Entries[i].Name, 13), std::string(13, ' ')) << i;
        ASSERT_EQ(dir.Entries[i].Size, 0) << i;
    }
}

TEST_F(QueriesTest, EmptyListing) {
    startTerminal();
    DirRecord dir{};
    dir.Entries[0].Size = 9;
    ASSERT_EQ(Vsk_DIR(h_, "005", &dir), 0);
    EXPECT_EQ(dir.FileCount, 0);
    EXPECT_EQ(dir.Entries[0].Size, 0);
    EXPECT_EQ(text(dir.Entries[0].Name, 13), std::string(13, ' '));
}

TEST_F(QueriesTest, EntriesOverSeveralFramesAreStoredInOrder) {
    startTerminal({"--fault", "extra=25", "--fault", "split=2"});
    DirRecord dir{};
    ASSERT_EQ(Vsk_DIR(h_, "005", &dir), 0);
    EXPECT_EQ(dir.FileCount, 25);
    for (int i = 0; i < 25; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "XTRA%04d.DAT ", i + 1);
        EXPECT_EQ(text(dir.Entries[i].Name, 13), name) << i;
    }
    // 13 entry frames, acknowledged with block numbers cycling past 9.
    EXPECT_EQ(sim().received(isFrame('A', "ACK")).size(), 14u);
}

TEST_F(QueriesTest, ListingLongerThanTheRecordStopsAt128) {
    startTerminal({"--fault", "extra=140", "--fault", "split=7"});
    struct Guarded {
        DirRecord dir;
        char guard[64];
    } g;
    std::memset(g.guard, 0x33, sizeof g.guard);
    ASSERT_EQ(Vsk_DIR(h_, "005", &g.dir), 0);
    EXPECT_EQ(g.dir.FileCount, 140);  // as announced
    EXPECT_EQ(text(g.dir.Entries[127].Name, 13), "XTRA0128.DAT ");
    for (char c : g.guard) ASSERT_EQ(c, 0x33);
}

TEST_F(QueriesTest, ListingThatNeverEndsStopsAtWhatWasAnnounced) {
    // The terminal keeps sending entry frames instead of its end frame.
    for (int announced : {3, 999}) {
        startTerminal({"--fault", "endless", "--fault", "extra=" + std::to_string(announced)});
        DirRecord dir{};
        EXPECT_EQ(within(std::chrono::seconds(10), [&] { return Vsk_DIR(h_, "005", &dir); }),
                  VSK_E_RECEIVE)
            << announced;
        EXPECT_EQ(dir.FileCount, announced);
        // 20 entries a frame: the frames that carry the announced entries,
        // and the one that brings more than announced.
        size_t entryFrames = static_cast<size_t>((announced + 19) / 20) + 1;
        EXPECT_EQ(sim().received(isFrame('A', "ACK")).size(), entryFrames) << announced;
        expectUsable();
        TearDown();
    }
}

TEST_F(QueriesTest, FirstListingReplyMayTakeTwoSeconds) {
    // Session time-out 500 ms; the terminal gathers its listing for 1.2 s.
    startTerminal({"--fault", "delay=1200*1@F"}, fastSettings(500, 1));
    DirRecord dir{};
    EXPECT_EQ(Vsk_DIR(h_, "005", &dir), 0);
}

TEST_F(QueriesTest, LaterListingFramesUseTheSessionTimeout) {
    startTerminal({"--fault", "extra=3", "--fault", "delay=1200@F"}, fastSettings(500, 1));
    DirRecord dir{};
    EXPECT_EQ(Vsk_DIR(h_, "005", &dir), VSK_E_TIMEOUT);
    // Once the late frame is out, the terminal hears the next command.
    ASSERT_TRUE(sim().waitSent(2, isFrame('D')));
    expectUsable();
}

TEST_F(QueriesTest, RepeatOfTheAcknowledgedFirstFrameIsAcknowledgedAgain) {
    startTerminal({"--fault", "extra=3", "--fault", "repeat=0@F"});
    DirRecord dir{};
    EXPECT_EQ(Vsk_DIR(h_, "005", &dir), 0);
    EXPECT_EQ(dir.FileCount, 3);
    EXPECT_EQ(text(dir.Entries[2].Name, 12), "XTRA0003.DAT");
}

TEST_F(QueriesTest, RepeatedEntryFrameEndsTheListingWithTimeout) {
    startTerminal({"--fault", "extra=60", "--fault", "repeat=1@F"});
    DirRecord dir{};
    EXPECT_EQ(Vsk_DIR(h_, "005", &dir), VSK_E_TIMEOUT);
    // Entries received before the repeat are kept.
    EXPECT_EQ(text(dir.Entries[0].Name, 12), "XTRA0001.DAT");
    expectUsable();
}

TEST_F(QueriesTest, ListingFailures) {
    struct Case {
        const char* fault;
        int32_t code;
    } cases[] = {
        {"result=M@F", VSK_E_HT_MODE},  {"result=F@F", VSK_E_RECEIVE},
        {"badbcc@F", VSK_E_RECEIVE},    {"nak@F", VSK_E_RECEIVE},
        {"cancel@F", VSK_E_RECEIVE},    {"cancel=1@F", VSK_E_RECEIVE},
        {"cancel=11@F", VSK_E_RECEIVE}, {"longlen@F", VSK_E_RECEIVE},
    };
    for (const Case& c : cases) {
        startTerminal({"--fault", c.fault, "--fault", "extra=250", "--fault", "split=20"});
        DirRecord dir{};
        EXPECT_EQ(Vsk_DIR(h_, "005", &dir), c.code) << c.fault;
        expectUsable();
        TearDown();
    }
}

// --- Queries

TEST_F(QueriesTest, FileInformation) {
    store_.write("PRICE.DAT", std::string(1234, 'p'));
    startTerminal();
    FileInfoRecord info{};
    std::memcpy(info.Name, "PRICE.DAT", 9);
    ASSERT_EQ(Vsk_GetFileInfo(h_, "005", &info), 0);
    EXPECT_EQ(info.Size, 1234);
    EXPECT_EQ(info.Info1[6], ' ');
    EXPECT_EQ(info.Info2[6], ' ');
    EXPECT_EQ(sim().received(isCommand('H')).at(0).text(), "PRICE.DAT   ");

    FileInfoRecord missing{};
    std::memcpy(missing.Name, "NONE.DAT", 8);
    missing.Size = -5;
    EXPECT_EQ(Vsk_GetFileInfo(h_, "005", &missing), VSK_E_HT_FILE_MISSING);
    EXPECT_EQ(missing.Size, -5);

    // A name filling all 13 bytes, without an end mark, is taken by its first 12.
    FileInfoRecord full;
    std::memset(&full, 0, sizeof full);
    std::memcpy(full.Name, "ABCDEFGHIJKLM", 13);
    Vsk_GetFileInfo(h_, "005", &full);
    EXPECT_EQ(sim().received(isCommand('H')).back().text(), "ABCDEFGHIJKL");
}

TEST_F(QueriesTest, StatusIsCopiedAsReceived) {
    startTerminal({"--status", "1234567,ABCDE,FGHIJ,X"});
    StatusRecord st;
    std::memset(&st, 0, sizeof st);
    ASSERT_EQ(Vsk_GetStatus(h_, "005", &st), 0);
    EXPECT_EQ(st.StatusValue, 1234567);
    EXPECT_EQ(text(st.StatusText1, 6), "ABCDE ");
    EXPECT_EQ(text(st.StatusText2, 6), "FGHIJ ");
    EXPECT_EQ(st.StatusFlag, 'X');
}

TEST_F(QueriesTest, OneAttemptQueriesMapTheirReplies) {
    struct Case {
        const char* fault;
        int32_t info, status;
    } cases[] = {
        {"result=M", VSK_E_HT_MODE, VSK_E_HT_MODE},
        {"result=F", VSK_E_HT_FILE_MISSING, VSK_E_RECEIVE},
        {"result=R", VSK_E_RECEIVE, VSK_E_RECEIVE},
        {"nak=9", VSK_E_RECEIVE, VSK_E_RECEIVE},
        {"badbcc=9", VSK_E_RECEIVE, VSK_E_RECEIVE},
        {"cancel*9", VSK_E_RECEIVE, VSK_E_RECEIVE},
    };
    store_.write("A.DAT", "a");
    for (const Case& c : cases) {
        startTerminal({"--fault", c.fault});
        FileInfoRecord info{};
        std::memcpy(info.Name, "A.DAT", 5);
        StatusRecord st{};
        EXPECT_EQ(Vsk_GetFileInfo(h_, "005", &info), c.info) << c.fault;
        EXPECT_EQ(Vsk_GetStatus(h_, "005", &st), c.status) << c.fault;
        EXPECT_EQ(commandsReceived('H'), 1u) << c.fault;
        EXPECT_EQ(Vsk_PcRemoteEnd(h_, "005"),
                  std::string(c.fault) == "result=M" ? VSK_E_HT_MODE : VSK_E_RECEIVE)
            << c.fault;
        TearDown();
    }
}

// --- Commands that are resent until the terminal gives a verdict

TEST_F(QueriesTest, DeleteAndRename) {
    store_.write("OLD.DAT", "x");
    store_.write("TAKEN.DAT", "y");
    startTerminal();
    EXPECT_EQ(Vsk_FRename(h_, "005", "OLD.DAT", "NEW.DAT"), 0);
    EXPECT_TRUE(exists(store_.file("NEW.DAT")));
    EXPECT_EQ(Vsk_FRename(h_, "005", "NEW.DAT", "TAKEN.DAT"), VSK_E_HT_RENAME);
    EXPECT_EQ(Vsk_FDelete(h_, "005", "NEW.DAT"), 0);
    EXPECT_FALSE(exists(store_.file("NEW.DAT")));
    EXPECT_EQ(Vsk_FDelete(h_, "005", "NEW.DAT"), VSK_E_HT_DELETE);
    EXPECT_EQ(Vsk_FDelete(h_, "005", nullptr), VSK_E_PARAM);
    EXPECT_EQ(Vsk_FRename(h_, "005", "A", nullptr), VSK_E_PARAM);
}

TEST_F(QueriesTest, NakIsAnsweredByResendingUpToTheRetryCount) {
    store_.write("A.DAT", "a");
    startTerminal({"--fault", "nak=2@E"}, fastSettings(500, 3));
    EXPECT_EQ(Vsk_FDelete(h_, "005", "A.DAT"), 0);
    EXPECT_EQ(commandsReceived('E'), 3u);
    EXPECT_FALSE(exists(store_.file("A.DAT")));
}

TEST_F(QueriesTest, EndlessNakGives2002AfterRetryCountCommands) {
    store_.write("A.DAT", "a");
    startTerminal({"--fault", "nak=99"}, fastSettings(500, 4));
    EXPECT_EQ(Vsk_FDelete(h_, "005", "A.DAT"), VSK_E_RECEIVE);
    EXPECT_EQ(commandsReceived('E'), 4u);
    EXPECT_EQ(Vsk_ReBoot(h_, "005"), VSK_E_RECEIVE);
    EXPECT_EQ(commandsReceived('R'), 4u);
    EXPECT_EQ(Vsk_Polling(h_, "005", 100), VSK_E_RECEIVE);
    EXPECT_EQ(commandsReceived('P'), 4u);
    EXPECT_TRUE(exists(store_.file("A.DAT")));
}

TEST_F(QueriesTest, ResultFramesOfResentCommands) {
    struct Case {
        const char* fault;
        std::function<int32_t(int32_t)> call;
        int32_t code;
        size_t sends;
        char command;
    } cases[] = {
        {"result=M@E", [](int32_t h) { return Vsk_FDelete(h, "005", "A"); }, VSK_E_HT_MODE, 1, 'E'},
        {"result=R@E", [](int32_t h) { return Vsk_FDelete(h, "005", "A"); }, VSK_E_RECEIVE, 3, 'E'},
        {"result=R@N", [](int32_t h) { return Vsk_FRename(h, "005", "A", "B"); },
         VSK_E_HT_RANDOM_RENAME, 1, 'N'},
        {"result=F@N", [](int32_t h) { return Vsk_FRename(h, "005", "A", "B"); }, VSK_E_HT_RENAME,
         1, 'N'},
        {"result=F@R", [](int32_t h) { return Vsk_ReBoot(h, "005"); }, VSK_E_RECEIVE, 3, 'R'},
        {"result=M@T", [](int32_t h) { return Vsk_PowerOff(h, "005"); }, VSK_E_HT_MODE, 1, 'T'},
        {"cancel@E", [](int32_t h) { return Vsk_FDelete(h, "005", "A"); }, VSK_E_ABORT_HT, 1, 'E'},
        {"cancel@N", [](int32_t h) { return Vsk_FRename(h, "005", "A", "B"); }, VSK_E_ABORT_HT, 1,
         'N'},
        {"badbcc@E", [](int32_t h) { return Vsk_FDelete(h, "005", "A"); }, VSK_E_RECEIVE, 1, 'E'},
    };
    for (const Case& c : cases) {
        startTerminal({"--fault", c.fault}, fastSettings(500, 3));
        EXPECT_EQ(c.call(h_), c.code) << c.fault;
        EXPECT_EQ(commandsReceived(c.command), c.sends) << c.fault;
        expectUsable();
        TearDown();
    }
}

TEST_F(QueriesTest, ApplicationEndIsAcknowledgedBack) {
    startTerminal();
    EXPECT_EQ(Vsk_APEnd(h_, "005"), 0);
    ASSERT_TRUE(sim().waitReceived(1, isFrame('A', "ACK", 5)));
    TearDown();

    startTerminal({"--fault", "result=F@J"});
    EXPECT_EQ(Vsk_APEnd(h_, "005"), VSK_E_HT_FILE_IO);
    EXPECT_TRUE(sim().waitReceived(1, isFrame('A', "ACK", 5)));
    TearDown();

    startTerminal({"--fault", "result=M@J"});
    EXPECT_EQ(Vsk_APEnd(h_, "005"), VSK_E_HT_MODE);
    EXPECT_EQ(sim().received(isFrame('A')).size(), 0u);
}

TEST_F(QueriesTest, ControlCommands) {
    startTerminal();
    EXPECT_EQ(Vsk_ReBoot(h_, "005"), 0);
    EXPECT_EQ(Vsk_PowerOff(h_, "005"), 0);
    EXPECT_EQ(Vsk_PcRemoteEnd(h_, "005"), 0);
    EXPECT_EQ(Vsk_DispInit(h_, "005"), 0);
    ASSERT_TRUE(sim().waitReceived(1, isCommand('I', 5)));
    for (char c : {'R', 'T', 'Q'}) EXPECT_EQ(commandsReceived(c), 1u) << c;
}

TEST_F(QueriesTest, DisplayInitNeedsNoTerminal) {
    start({"--ht", "9"});
    EXPECT_EQ(Vsk_DispInit(h_, "005"), 0);
    EXPECT_TRUE(sim().waitReceived(1, isCommand('I', 5)));
}

TEST_F(QueriesTest, PollingAnswersAndLimits) {
    startTerminal({"--fault", "silent=1@P"});
    EXPECT_EQ(Vsk_Polling(h_, "005", 100), VSK_E_POLL_TIMEOUT);
    EXPECT_EQ(Vsk_Polling(h_, "005", 100), 0);
    EXPECT_EQ(Vsk_Polling(h_, "005", 49), VSK_E_PARAM);
    EXPECT_EQ(Vsk_Polling(h_, "005", 301), VSK_E_PARAM);
    EXPECT_EQ(Vsk_Polling(h_, "005", 50), 0);
    EXPECT_EQ(Vsk_Polling(h_, "005", 300), 0);
}

TEST_F(QueriesTest, InvalidHtNumbersNeverReachTheLine) {
    startTerminal();
    DirRecord dir{};
    FileInfoRecord info{};
    StatusRecord st{};
    std::vector<std::function<int32_t(const char*)>> calls = {
        [&](const char* ht) { return Vsk_Polling(h_, ht, 100); },
        [&](const char* ht) { return Vsk_DIR(h_, ht, &dir); },
        [&](const char* ht) { return Vsk_GetFileInfo(h_, ht, &info); },
        [&](const char* ht) { return Vsk_GetStatus(h_, ht, &st); },
        [&](const char* ht) { return Vsk_DispInit(h_, ht); },
        [&](const char* ht) { return Vsk_FDelete(h_, ht, "A"); },
        [&](const char* ht) { return Vsk_FRename(h_, ht, "A", "B"); },
        [&](const char* ht) { return Vsk_ReBoot(h_, ht); },
        [&](const char* ht) { return Vsk_PowerOff(h_, ht); },
        [&](const char* ht) { return Vsk_PcRemoteEnd(h_, ht); },
        [&](const char* ht) { return Vsk_APEnd(h_, ht); },
    };
    for (size_t i = 0; i < calls.size(); ++i) {
        for (const char* ht : {"12", "000", "129", "12a", "", "5"}) {
            EXPECT_EQ(calls[i](ht), VSK_E_PARAM) << i << " " << ht;
        }
        EXPECT_EQ(calls[i](nullptr), VSK_E_PARAM) << i;
    }
    EXPECT_EQ(Vsk_DIR(h_, "005", nullptr), VSK_E_PARAM);
    EXPECT_EQ(Vsk_GetStatus(h_, "005", nullptr), VSK_E_PARAM);
    EXPECT_EQ(Vsk_GetFileInfo(h_, "005", nullptr), VSK_E_PARAM);
    EXPECT_TRUE(sim().received().empty());
    // "1234" is judged, and sent, by its first three characters.
    EXPECT_EQ(Vsk_Polling(h_, "1234", 100), VSK_E_POLL_TIMEOUT);
    EXPECT_EQ(sim().received(isCommand('P')).at(0).ht, "123");
}

}  // namespace
}  // namespace vsk::testing
