// How each misbehaviour of the terminal or the line during a transfer ends:
// the code, the PC's files afterwards, and a session that still works.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
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
        return Vsk_FDownload(h_, "005", pc_.file("F.DAT").c_str(), static_cast<int32_t>(kSize), 0);
    }

    // An upload of the six-block file over an existing PC file under `fault`.
    int32_t upload(const char* fault, std::vector<std::string> extra = {}) {
        store_.write("F.DAT", pattern(kSize));
        extra.insert(extra.begin(), {"--fault", fault});
        startTerminal(extra);
        pc_.write("F.DAT", "previous contents");
        return Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), "F.DAT", static_cast<int32_t>(kSize),
                           0);
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
        EXPECT_EQ(
            Vsk_FDownload(h_, "005", pc_.file("F.DAT").c_str(), static_cast<int32_t>(kSize), 0), 0)
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

// A terminal whose user cancels between two blocks: its end frame with CAN
// comes right behind an ACK. The PC hears of it before its next block or in
// that block's reply, and ends at once with 1002, not after waiting out its
// tries: on an unpaced line, where both frames come together; on a paced
// one, where the CAN is still on its way when the next block is due; and
// when the PC finds only the first half of the CAN frame arrived, which it
// must keep for the reply it waits for next.
TEST_F(TransferFaultsTest, CancelBetweenBlocksIsHeardAtOnce) {
    struct Case {
        const char* fault;
        const char* baud;
    } cases[] = {{"canafter=3@D", ""}, {"canafter=3@D", "38400"}, {"canafter=3,300@D", ""}};
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--fault", c.fault};
        if (*c.baud) args.insert(args.end(), {"--baud", c.baud});
        startTerminal(args, fastSettings(1000, 3));
        pc_.write("F.DAT", pattern(kSize));
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(
            Vsk_FDownload(h_, "005", pc_.file("F.DAT").c_str(), static_cast<int32_t>(kSize), 0),
            VSK_E_ABORT_HT)
            << c.fault << " " << c.baud;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(900))
            << c.fault << " " << c.baud;
        // Blocks 0 to 3, and at most the one that crossed the CAN.
        EXPECT_LE(sim().received(isFrame('D')).size(), 5u) << c.fault << " " << c.baud;
        EXPECT_FALSE(store_.read("F.DAT")) << c.fault << " " << c.baud;
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
        EXPECT_EQ(Vsk_AllUpload(h_, "005", pc_.path().c_str(), &list, 0), VSK_E_PC_FILE_NAME)
            << name;
        EXPECT_EQ(list.Entries[0].Outcome, 2) << name;
        EXPECT_TRUE(filesIn(pc_.path()).empty()) << name;
        EXPECT_TRUE(sim().waitReceived(1, isFrame('R', "F"))) << name;
        TearDown();
    }
    std::ifstream evil(pc_.path() + "/../EVIL.TXT");
    EXPECT_FALSE(evil.good());
}

// Receiving never takes a name a user or a terminal may own: files a user
// keeps in the folder, and files whose terminal names look like temporary
// names of other files, all end with their own bytes.
TEST_F(TransferFaultsTest, ReceivedFilesNeverTakeOtherFilesNames) {
    // The user's "0~A.DAT" and the first file; "C.DAT" as the second file
    // after a terminal file "1~C.DAT".
    const std::vector<std::vector<std::string>> offers = {{"A.DAT"}, {"1~C.DAT", "C.DAT"}};
    for (const auto& names : offers) {
        for (const std::string& n : filesIn(store_.path())) std::remove(store_.file(n).c_str());
        for (const std::string& n : names) store_.write(n, "terminal " + n);
        for (int32_t mode : {0, 1, 2}) {
            TempDir pc("veska-pc");
            pc.write("0~A.DAT", "user file");
            startTerminal();
            UploadList list{};
            list.SaveMode = mode;
            ASSERT_EQ(Vsk_AllUpload(h_, "005", pc.path().c_str(), &list, 0), 0) << mode;
            ASSERT_EQ(list.Count, static_cast<int32_t>(names.size()));
            for (size_t k = 0; k < names.size(); ++k) {
                EXPECT_EQ(list.Entries[k].Outcome, 1) << mode << " " << names[k];
                EXPECT_EQ(readFile(pc.file(names[k])), "terminal " + names[k]) << mode;
            }
            EXPECT_EQ(readFile(pc.file("0~A.DAT")), "user file") << mode;
            EXPECT_EQ(filesIn(pc.path()).size(), names.size() + 1) << mode;
            TearDown();
        }
    }
}

// Links planted in a shared folder where received data is written first
// (under any name the library has ever used) are never written through.
TEST_F(TransferFaultsTest, LinksPlantedInTheFolderAreNotWrittenThrough) {
    store_.write("A.DAT", pattern(700));
    TempDir elsewhere("veska-victim");
    elsewhere.write("victim.txt", "victim");
    const std::string victim = elsewhere.file("victim.txt");
    for (const char* name : {"~$Vskupload.Tmp", "0~A.DAT", "1~A.DAT", ".~vsk-1-00000000"})
        ASSERT_EQ(::symlink(victim.c_str(), pc_.file(name).c_str()), 0) << name;
    startTerminal();
    ASSERT_EQ(Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), "A.DAT", 700, 0), 0);
    UploadList list{};
    list.SaveMode = 0;
    ASSERT_EQ(Vsk_AllUpload(h_, "005", pc_.path().c_str(), &list, 0), 0);
    EXPECT_EQ(readFile(victim), "victim");
    EXPECT_TRUE(readFile(pc_.file("A.DAT")) == pattern(700));

    // A link at the target itself is not appended through either.
    std::remove(pc_.file("A.DAT").c_str());
    ASSERT_EQ(::symlink(victim.c_str(), pc_.file("A.DAT").c_str()), 0);
    EXPECT_EQ(Vsk_FUpload(h_, "005", 1, pc_.path().c_str(), "A.DAT", 700, 0), VSK_E_SYS_OPEN);
    EXPECT_EQ(readFile(victim), "victim");
    EXPECT_EQ(tempsIn(pc_.path()), std::set<std::string>{".~vsk-1-00000000"});

    // Nor is a file the user may not write (root may write any).
    if (::geteuid() != 0) {
        std::remove(pc_.file("A.DAT").c_str());
        pc_.write("A.DAT", "read-only");
        ASSERT_EQ(::chmod(pc_.file("A.DAT").c_str(), 0444), 0);
        EXPECT_EQ(Vsk_FUpload(h_, "005", 1, pc_.path().c_str(), "A.DAT", 700, 0), VSK_E_SYS_OPEN);
        EXPECT_EQ(readFile(pc_.file("A.DAT")), "read-only");
    }
}

// A terminal that sends more than it announced is not believed: the file
// is refused as a bad frame and nothing of it is kept.
TEST_F(TransferFaultsTest, MoreBytesThanAnnouncedAreRefused) {
    store_.write("EMPTY.DAT", "");
    store_.write("F.DAT", pattern(kSize));
    startTerminal({"--fault", "overlong=2000000@S"});
    EXPECT_EQ(Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), "EMPTY.DAT", 0, 0), VSK_E_UPLOAD_SIZE);
    EXPECT_TRUE(filesIn(pc_.path()).empty());
    EXPECT_TRUE(sim().waitReceived(1, isFrame('E', "CAN", 5)));
    TearDown();

    startTerminal({"--fault", "overlong=1@S"});
    pc_.write("F.DAT", "previous contents");
    EXPECT_EQ(
        Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), "F.DAT", static_cast<int32_t>(kSize), 0),
        VSK_E_UPLOAD_SIZE);
    expectPcUnchanged();
    expectUsable();
    TearDown();

    // In a batch: a header of 0 bytes followed by 2 MB; the terminal is told "F".
    for (const char* fault : {"overlong=2000000*1@U", "overlong=1*1@U"}) {
        startTerminal({"--fault", fault});
        UploadList list{};
        list.SaveMode = 0;
        EXPECT_EQ(Vsk_AllUpload(h_, "005", pc_.path().c_str(), &list, 0), VSK_E_RECEIVE) << fault;
        EXPECT_EQ(list.Entries[0].Outcome, 2) << fault;
        EXPECT_TRUE(sim().waitReceived(1, isFrame('R', "F"))) << fault;
        expectPcUnchanged();
        expectUsable();
        TearDown();
    }
}

// A batch file announced with bytes that ends at once is incomplete, not an
// empty file.
TEST_F(TransferFaultsTest, AnEmptyBatchFileAnnouncedWithBytesIsNotKept) {
    store_.write("EMPTY.DAT", "");
    store_.write("F.DAT", "f");
    startTerminal({"--fault", "short=5*1@U"});
    UploadList list{};
    list.SaveMode = 0;
    EXPECT_EQ(Vsk_AllUpload(h_, "005", pc_.path().c_str(), &list, 0), 0);
    EXPECT_EQ(list.Entries[0].Outcome, 2);
    EXPECT_EQ(list.Entries[1].Outcome, 1);
    EXPECT_EQ(filesIn(pc_.path()), std::set<std::string>{"F.DAT"});
}

// A count no terminal can have ends the batch at once; a terminal offering
// more files than it announced is stopped at the first one too many.
TEST_F(TransferFaultsTest, BatchUploadBoundedByTheCountAnnounced) {
    store_.write("A.DAT", "a");
    startTerminal({"--fault", "manyfiles=2147483647@U"});
    UploadList list{};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Vsk_AllUpload(h_, "005", pc_.path().c_str(), &list, 0), VSK_E_RECEIVE);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(filesIn(pc_.path()).empty());
    expectUsable();
    TearDown();

    startTerminal({"--fault", "manyfiles=2@U"});
    list = UploadList{};
    EXPECT_EQ(Vsk_AllUpload(h_, "005", pc_.path().c_str(), &list, 0), VSK_E_RECEIVE);
    EXPECT_EQ(list.Count, 2);
    EXPECT_EQ(list.Entries[0].Outcome, 1);
    EXPECT_EQ(list.Entries[1].Outcome, 1);
    EXPECT_TRUE(sim().waitReceived(1, isFrame('R', "F")));
    EXPECT_EQ(filesIn(pc_.path()), (std::set<std::string>{"A.DAT", "MANY0001.DAT"}));
    expectUsable();
}

// PC files whose names hold control characters are not sent.
TEST_F(TransferFaultsTest, PcNamesWithControlCharactersAreNotSent) {
    startTerminal();
    pc_.write("BAD\nNAME", "x");
    pc_.write("GOOD.DAT", "good");
    const std::string bad = pc_.file("BAD\nNAME");
    EXPECT_EQ(Vsk_FDownload(h_, "005", bad.c_str(), 1, 0), VSK_E_PARAM);
    DownloadList list{};
    std::string good = pc_.file("GOOD.DAT");
    std::memcpy(list.Entries[0].Path, bad.data(), bad.size());
    list.Entries[0].Size = 1;
    std::memcpy(list.Entries[1].Path, good.data(), good.size());
    list.Entries[1].Size = 4;
    EXPECT_EQ(Vsk_AllDownload(h_, "005", 2, &list, 0), 0);
    EXPECT_EQ(list.Entries[0].Outcome, 2);
    EXPECT_EQ(list.Entries[1].Outcome, 1);
    EXPECT_TRUE(terminalStored(store_.file("GOOD.DAT"), "good"));
    EXPECT_EQ(filesIn(store_.path()), std::set<std::string>{"GOOD.DAT"});
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
