// How each misbehaviour of the terminal or the line during a transfer ends:
// the code, the PC's files afterwards, and a session that still works.
#include <dirent.h>

#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "link_fixture.h"

namespace vsk::testing {
namespace {

constexpr size_t kSize = 512 * 5 + 77;  // six blocks

class TransferFaultsTest : public LinkTest {
  protected:
    TempDir pc_{"veska-pc"};

    // A download of the six-block file under `fault`; returns its code.
    int32_t download(const char* fault) {
        startTerminal({"--fault", fault});
        pc_.write("F.DAT", pattern(kSize));
        return Vsk_FDownload(h_, "005", pc_.file("F.DAT").c_str(), (int32_t)kSize, 0);
    }

    // An upload of the six-block file over an existing PC file under `fault`.
    int32_t upload(const char* fault, std::vector<std::string> extra = {}) {
        store_.write("F.DAT", pattern(kSize));
        extra.insert(extra.begin(), {"--fault", fault});
        startTerminal(extra);
        pc_.write("F.DAT", "previous contents");
        return Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), "F.DAT", (int32_t)kSize, 0);
    }

    void expectPcUnchanged() {
        EXPECT_EQ(readFile(pc_.file("F.DAT")), "previous contents");
        EXPECT_EQ(filesIn(pc_.path()), std::set<std::string>{"F.DAT"});
    }
};

TEST_F(TransferFaultsTest, DownloadRecoversFromNakAndAStaleAcknowledgement) {
    for (const char* fault : {"blknak=2*2@D", "prevack=3@D", "blksilent=1*1@D"}) {
        EXPECT_EQ(download(fault), 0) << fault;
        ASSERT_TRUE(sim().waitReceived(1, isFrame('E', "EOT"))) << fault;
        EXPECT_TRUE(terminalStored(store_.file("F.DAT"), pattern(kSize))) << fault;
        TearDown();
        std::remove(store_.file("F.DAT").c_str());
    }
}

TEST_F(TransferFaultsTest, LateAcknowledgementCostsOnlyTheCopiesSentMeanwhile) {
    // The ACK of block 2 comes after one time-out, or after three; the
    // terminal answers every copy it got. Each copy sent during the wait is
    // the whole cost: the late answers to them do not make later blocks go
    // out again. On a line paced like a real one, so that those answers come
    // one by one as they would.
    struct Case {
        const char* fault;
        int32_t retry;
        size_t copies;
    } cases[] = {{"lateack=2,750@D", 3, 1}, {"lateack=2,1750@D", 5, 3}};
    for (const Case& c : cases) {
        startTerminal({"--baud", "38400", "--fault", c.fault}, fastSettings(500, c.retry));
        pc_.write("F.DAT", pattern(kSize));
        EXPECT_EQ(Vsk_FDownload(h_, "005", pc_.file("F.DAT").c_str(), (int32_t)kSize, 0), 0)
            << c.fault;
        ASSERT_TRUE(sim().waitReceived(1, isFrame('E', "EOT"))) << c.fault;
        EXPECT_TRUE(terminalStored(store_.file("F.DAT"), pattern(kSize))) << c.fault;
        EXPECT_EQ(sim().received(isFrame('D')).size(), 6 + c.copies) << c.fault;
        TearDown();
        std::remove(store_.file("F.DAT").c_str());
    }
}

TEST_F(TransferFaultsTest, DownloadFailures) {
    struct Case {
        const char* fault;
        int32_t code;
    } cases[] = {
        {"blknak=2*9@D", VSK_E_RECEIVE},  {"blksilent=2*9@D", VSK_E_TIMEOUT},
        {"cancel=2@D", VSK_E_ABORT_HT},   {"result=F,1@D", VSK_E_HT_FILE_IO},
        {"result=M,4@D", VSK_E_HT_MODE},  {"result=M@D", VSK_E_HT_MODE},
        {"result=F@D", VSK_E_HT_FILE_IO}, {"cancel@D", VSK_E_ABORT_HT},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(download(c.fault), c.code) << c.fault;
        expectUsable();
        TearDown();
    }
}

TEST_F(TransferFaultsTest, UploadRecoversFromRepeatsAndLostFrames) {
    // A terminal that resends a lost frame before the PC gives up on it.
    for (const char* fault : {"twice=2@S", "blksilent=3@S"}) {
        EXPECT_EQ(upload(fault, {"--ack-timeout", "200"}), 0) << fault;
        EXPECT_TRUE(readFile(pc_.file("F.DAT")) == pattern(kSize)) << fault;
        EXPECT_EQ(filesIn(pc_.path()), std::set<std::string>{"F.DAT"}) << fault;
        TearDown();
    }
}

TEST_F(TransferFaultsTest, FailedUploadsLeaveThePcAsItWas) {
    struct Case {
        const char* fault;
        int32_t code;
    } cases[] = {
        {"cancel=2@S", VSK_E_ABORT_HT},
        {"result=F,3@S", VSK_E_HT_FILE_IO},
        {"result=M,1@S", VSK_E_HT_MODE},
        {"short=100@S", VSK_E_UPLOAD_SIZE},
        {"badbcc=9@S", VSK_E_RECEIVE},
        {"result=M@S", VSK_E_HT_MODE},
        // A block sent again after its acknowledgement is not taken a second
        // time; when nothing else comes the reading gives up.
        {"repeat=1@S", VSK_E_TIMEOUT},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(upload(c.fault), c.code) << c.fault;
        expectPcUnchanged();
        expectUsable();
        TearDown();
    }
}

TEST_F(TransferFaultsTest, UploadStopsOnceItBringsMoreThanExpected) {
    // The terminal's file is longer than the size the caller expects (as a
    // terminal that never ends its file would be): the upload stops at the
    // block that goes beyond it, instead of taking the rest first.
    store_.write("F.DAT", pattern(kSize));
    startTerminal();
    pc_.write("F.DAT", "previous contents");
    EXPECT_EQ(Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), "F.DAT", 1000, 0), VSK_E_UPLOAD_SIZE);
    expectPcUnchanged();
    EXPECT_TRUE(sim().waitReceived(1, isFrame('E', "CAN", 5)));
    EXPECT_EQ(sim().sent(isFrame('D')).size(), 2u);  // 512 bytes, then 512 more than 1000
    expectUsable();
}

TEST_F(TransferFaultsTest, ALineGoingDeadEndsTheTransferCleanly) {
    int32_t r = download("hangup=2@D");
    EXPECT_TRUE(r == VSK_E_SYS_READ || r == VSK_E_SYS_WRITE) << r;
    TearDown();
    r = upload("hangup=2@S");
    EXPECT_TRUE(r == VSK_E_SYS_READ || r == VSK_E_SYS_WRITE) << r;
    expectPcUnchanged();
    EXPECT_EQ(Vsk_ComClose(h_), 0);
    h_ = 0;
}

TEST_F(TransferFaultsTest, BatchUploadOfMoreThan128Files) {
    startTerminal({"--fault", "extra=140@U"});
    UploadList list{};
    list.SaveMode = 0;
    ASSERT_EQ(Vsk_AllUpload(h_, "005", pc_.path().c_str(), &list, 0), 0);
    EXPECT_EQ(list.Count, 140);
    EXPECT_EQ(list.Entries[127].Outcome, 1);
    EXPECT_EQ(filesIn(pc_.path()).size(), 128u);  // the rest were left on the terminal
    EXPECT_EQ(sim().received(isFrame('R', "S")).size(), 12u);
    expectUsable();
}

TEST_F(TransferFaultsTest, BatchUploadNeverWritesOutsideTheFolder) {
    store_.write("GOOD.DAT", "good");
    for (const char* name : {"../EVIL.TXT", "/etc/passwd", "."}) {
        startTerminal({"--fault", std::string("badname=") + name + "@U"});
        UploadList list{};
        EXPECT_EQ(Vsk_AllUpload(h_, "005", pc_.path().c_str(), &list, 0), VSK_E_SYS_OPEN) << name;
        EXPECT_EQ(list.Entries[0].Outcome, 2) << name;
        EXPECT_TRUE(filesIn(pc_.path()).empty()) << name;
        EXPECT_TRUE(sim().waitReceived(1, isFrame('R', "F"))) << name;
        TearDown();
    }
    std::ifstream evil(pc_.path() + "/../EVIL.TXT");
    EXPECT_FALSE(evil.good());
}

TEST_F(TransferFaultsTest, BatchDownloadHeaderRefused) {
    startTerminal({"--fault", "result=F,1:h@W"});
    pc_.write("A.DAT", "a");
    pc_.write("B.DAT", "b");
    DownloadList list{};
    std::string a = pc_.file("A.DAT"), b = pc_.file("B.DAT");
    std::memcpy(list.Entries[0].Path, a.data(), a.size());
    list.Entries[0].Size = 1;
    std::memcpy(list.Entries[1].Path, b.data(), b.size());
    list.Entries[1].Size = 1;
    EXPECT_EQ(Vsk_AllDownload(h_, "005", 2, &list, 0), VSK_E_HT_FILE_IO);
    EXPECT_EQ(list.Entries[0].Outcome, 1);
    EXPECT_EQ(list.Entries[1].Outcome, 2);
    expectUsable();
}

}  // namespace
}  // namespace vsk::testing
