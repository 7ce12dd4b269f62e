// File transfers driven from memory: downloads stored only when complete,
// uploads cut into numbered blocks, both batch flows, and the faults aimed at
// places in a transfer.
#include <gtest/gtest.h>

#include <filesystem>

#include "commands.h"
#include "frames.h"
#include "raw_line.h"
#include "sim_process.h"
#include "terminal.h"

namespace vsk::htsim {
namespace {

namespace fr = vsk::frame;
using namespace test;
using testing::nameField;
using testing::TempDir;
using testing::testPattern;
using namespace std::chrono_literals;

std::string sized(const std::string& name, size_t size) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%07zu", size);
    return nameField(name) + digits;
}

std::string blocks(const std::vector<Frame>& frames) {
    std::string out;
    for (const Frame& f : frames) out += f.block;
    return out;
}

class TransferTest : public ::testing::Test {
  protected:
    Terminal& make(std::vector<std::string> faults = {}, size_t blockSize = 512) {
        TerminalConfig c;
        c.number = 5;
        c.dir = dir.path();
        c.ackTimeout = 100ms;
        c.blockSize = blockSize;
        for (const std::string& s : faults) {
            std::string error;
            auto f = parseFault(s, &error);
            EXPECT_TRUE(f) << error;
            if (f) c.faults.push_back(*f);
        }
        terminal = std::make_unique<Terminal>(c);
        return *terminal;
    }

    std::vector<Frame> send(const Frame& f) { return framesOf(terminal->receive(f, now)); }
    // The one frame the terminal answers `f` with.
    Frame reply(const Frame& f) {
        auto out = send(f);
        EXPECT_EQ(out.size(), 1u) << "in reply to " << f.type << " " << f.block;
        return out.empty() ? Frame{} : out[0];
    }
    std::vector<Frame> timeOut() { return framesOf(terminal->expire(*terminal->deadline())); }

    // Sends `content` as the PC does after the command's ACK: 512-byte blocks
    // from block "0", each expected to be acknowledged with its number.
    void sendBlocks(const std::string& content, size_t piece = 512) {
        char block = '0';
        for (size_t off = 0; off < content.size(); off += piece) {
            Frame ack = reply(data(5, block, content.substr(off, piece)));
            EXPECT_EQ(ack.type, 'A');
            EXPECT_EQ(ack.control(), fr::ACK);
            EXPECT_EQ(ack.block, block);
            block = fr::nextBlock(block);
        }
    }

    // Receives one file as the PC does: acknowledges each data frame with its
    // number until the end frame, which is returned last.
    std::string receiveBlocks(Frame first, std::vector<Frame>* frames = nullptr) {
        std::string content;
        for (Frame f = first; f.type == 'D';) {
            if (frames) frames->push_back(f);
            content += text(f);
            f = reply(answer(5, f.block, fr::ACK));
            if (f.type != 'D' && frames) frames->push_back(f);
        }
        return content;
    }

    std::vector<std::string> folder() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir{"htsim-xfer"};
    std::unique_ptr<Terminal> terminal;
    Clock::time_point now = Clock::now();
};

// --- downloads -------------------------------------------------------------

// The installs "A", "B", "O" take a file the way "D" does.
TEST_F(TransferTest, DownloadIsStoredUnderItsNameOnlyOnceComplete) {
    make();
    const std::pair<char, const char*> commands[] = {
        {'D', "A.DAT"}, {'A', "APP1.EXE"}, {'B', "APP0.EXE"}, {'O', "SYSTEM.HEX"}};
    for (auto [code, name] : commands) {
        const std::string content = testPattern(1100, static_cast<unsigned char>(code));
        Frame ack = reply(command(5, code, sized(name, content.size())));
        EXPECT_EQ(ack.type, 'A');
        EXPECT_EQ(ack.control(), fr::ACK);
        sendBlocks(content);
        // Until the end frame the bytes sit in a temporary file nobody can list.
        EXPECT_FALSE(dir.read(name));
        EXPECT_EQ(terminal->store().list().size(), terminal->stored().size());
        EXPECT_TRUE(send(end(5, fr::EOT)).empty());
        EXPECT_FALSE(terminal->inConversation());
        EXPECT_EQ(dir.read(name), content);
        ASSERT_FALSE(terminal->stored().empty());
        EXPECT_EQ(terminal->stored().back().command, code);
        EXPECT_EQ(terminal->stored().back().name, name);
    }
    EXPECT_EQ(folder().size(), 4u);  // no temporary files left
}

TEST_F(TransferTest, DownloadReplacesAFileAndTakesAnEmptyOne) {
    dir.write("A.DAT", "old contents");
    make();
    reply(command(5, 'D', sized("A.DAT", 3)));
    sendBlocks("new");
    send(end(5, fr::EOT));
    EXPECT_EQ(dir.read("A.DAT"), "new");

    reply(command(5, 'D', sized("EMPTY.DAT", 0)));
    send(end(5, fr::EOT));
    EXPECT_EQ(dir.read("EMPTY.DAT"), "");
}

TEST_F(TransferTest, BlockNumbersCycleAndBlocksSentAgainAreNotWrittenTwice) {
    make();
    std::string content;
    for (int i = 0; i < 12; ++i) content += "block " + std::to_string(i % 10) + "...";
    reply(command(5, 'D', sized("CYCLE.DAT", content.size())));
    sendBlocks(content.substr(0, 40), 10);  // blocks 0-3

    // The PC missed the ACK of block 3 and sends it again.
    Frame again = reply(data(5, '3', content.substr(30, 10)));
    EXPECT_EQ(again.control(), fr::ACK);
    EXPECT_EQ(again.block, '3');
    // A block out of order, or a damaged one, is asked for again.
    EXPECT_EQ(reply(data(5, '7', "out of order")).control(), fr::NAK);
    Frame damaged = data(5, '4', content.substr(40, 10));
    damaged.checkOk = false;
    EXPECT_EQ(reply(damaged).control(), fr::NAK);

    char block = '4';
    for (size_t off = 40; off < content.size(); off += 10) {
        Frame ack = reply(data(5, block, content.substr(off, 10)));
        EXPECT_EQ(ack.block, block);
        block = fr::nextBlock(block);
    }
    EXPECT_EQ(block, '2');  // twelve blocks: 0-9, 0, 1
    send(end(5, fr::EOT));
    EXPECT_EQ(dir.read("CYCLE.DAT"), content);
}

TEST_F(TransferTest, IncompleteOrAbandonedDownloadsLeaveTheFolderAsItWas) {
    dir.write("KEEP.DAT", "original");
    make();
    auto untouched = [&] {
        EXPECT_EQ(folder(), std::vector<std::string>{"KEEP.DAT"});
        EXPECT_EQ(dir.read("KEEP.DAT"), "original");
        EXPECT_TRUE(terminal->stored().empty());
    };

    reply(command(5, 'D', sized("KEEP.DAT", 120)));
    sendBlocks(std::string(100, 'x'));
    send(end(5, fr::EOT));  // 100 of 120 bytes
    untouched();

    reply(command(5, 'D', sized("KEEP.DAT", 10)));
    EXPECT_EQ(reply(data(5, '0', std::string(11, 'y'))).control(), 'F');  // more than announced
    EXPECT_FALSE(terminal->inConversation());
    untouched();

    reply(command(5, 'D', sized("KEEP.DAT", 1000)));
    sendBlocks(std::string(512, 'z'));
    send(end(5, fr::CAN));
    untouched();

    reply(command(5, 'D', sized("KEEP.DAT", 1000)));
    sendBlocks(std::string(512, 'z'));
    EXPECT_EQ(reply(command(5, 'P')).control(), fr::ACK);  // a new command drops the transfer
    untouched();

    reply(command(5, 'D', sized("KEEP.DAT", 1000)));
    sendBlocks(std::string(512, 'z'));
    for (int i = 0; i < 10 && terminal->inConversation(); ++i) EXPECT_TRUE(timeOut().empty());
    EXPECT_FALSE(terminal->inConversation());  // the PC went quiet: given up
    untouched();
}

TEST_F(TransferTest, DownloadRefusesUnsafeNamesBadSizesAndTerminalsWithoutAFolder) {
    make();
    for (std::string name : {"../OUT.DAT", "a/b", ".", "..", ""})
        EXPECT_EQ(reply(command(5, 'D', sized(name, 5))).control(), 'F') << name;
    EXPECT_EQ(reply(command(5, 'D', nameField("A.DAT") + "00001x5")).control(), 'F');
    EXPECT_EQ(reply(command(5, 'D', nameField("A.DAT") + "0001")).control(), 'F');
    EXPECT_TRUE(folder().empty());
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/../OUT.DAT"));

    Terminal bare(TerminalConfig{});
    auto out = framesOf(bare.receive(command(1, 'D', sized("A.DAT", 5)), now));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].control(), 'F');
}

// --- batch downloads ---------------------------------------------------------

TEST_F(TransferTest, BatchDownloadTakesHeaderThenBlocksPerFileAndEndsAtTheMarker) {
    make();
    for (char code : {'W', 'V'}) {
        EXPECT_EQ(reply(command(5, code, "002")).control(), fr::ACK);
        const std::string first = testPattern(700, static_cast<unsigned char>(code));
        Frame h = reply(data(5, '0', sized("OS1.HEX", first.size())));
        EXPECT_EQ(h.control(), fr::ACK);
        EXPECT_EQ(h.block, '0');
        // A header sent again because its ACK went missing is not file data.
        EXPECT_EQ(reply(data(5, '0', sized("OS1.HEX", first.size()))).control(), fr::ACK);
        sendBlocks(first);
        EXPECT_TRUE(send(end(5, fr::EOT)).empty());
        EXPECT_EQ(reply(data(5, '0', sized("EX1.HEX", 0))).control(), fr::ACK);
        EXPECT_TRUE(send(end(5, fr::EOT)).empty());
        EXPECT_TRUE(terminal->inConversation());
        EXPECT_TRUE(send(data(5, '0', std::string(1, '\x04'))).empty());  // not acknowledged
        EXPECT_FALSE(terminal->inConversation());
        EXPECT_EQ(dir.read("OS1.HEX"), first);
        EXPECT_EQ(dir.read("EX1.HEX"), "");
    }
    ASSERT_EQ(terminal->stored().size(), 4u);
    EXPECT_EQ(terminal->stored()[2].command, 'V');
    EXPECT_EQ(terminal->stored()[3].command, 'V');
}

TEST_F(TransferTest, BatchDownloadEndsEarlyAtTheMarkerAndRefusesBadHeaders) {
    make();
    reply(command(5, 'W', "003"));
    reply(data(5, '0', sized("A.DAT", 2)));
    sendBlocks("ab");
    send(end(5, fr::EOT));
    send(data(5, '0', std::string(1, '\x04')));  // the PC passed over the other two
    EXPECT_FALSE(terminal->inConversation());
    EXPECT_EQ(dir.read("A.DAT"), "ab");

    auto refused = [&](const std::string& count, std::vector<std::string> headers) {
        reply(command(5, 'W', count));
        Frame last;
        for (const std::string& h : headers) {
            last = reply(data(5, '0', h));
            if (last.type != 'A') break;
            send(end(5, fr::EOT));
        }
        EXPECT_FALSE(terminal->inConversation());
        return last.type == 'R' ? static_cast<char>(last.control()) : '?';
    };
    EXPECT_EQ(refused("001", {sized("../UP.DAT", 1)}), 'F');
    EXPECT_EQ(refused("001", {nameField("A.DAT") + "12x"}), 'F');
    EXPECT_EQ(refused("001", {sized("B.DAT", 0), sized("C.DAT", 0)}), 'F');  // more than announced
    EXPECT_EQ(reply(command(5, 'W', "0x2")).control(), 'F');
    EXPECT_FALSE(dir.read("C.DAT"));
}

TEST_F(TransferTest, BatchDownloadTakesTheNextHeaderWhenThePcGivesUpOnAFile) {
    make({"blknak=1*3@W"});
    reply(command(5, 'W', "002"));
    reply(data(5, '0', sized("A.DAT", 1024)));
    sendBlocks(std::string(512, 'a'));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(reply(data(5, '1', std::string(512, 'b'))).control(), fr::NAK);
    // No end frame: the PC marks A.DAT failed and goes on with the next file.
    EXPECT_EQ(reply(data(5, '0', sized("B.DAT", 3))).control(), fr::ACK);
    sendBlocks("bbb");
    send(end(5, fr::EOT));
    EXPECT_EQ(reply(data(5, '0', sized("C.DAT", 600))).control(), 'F');  // a third of two

    reply(command(5, 'W', "001"));
    reply(data(5, '0', sized("D.DAT", 1024)));
    sendBlocks(std::string(512, 'd'));
    EXPECT_TRUE(send(data(5, '0', std::string(1, '\x04'))).empty());  // the batch end, mid-file
    EXPECT_FALSE(terminal->inConversation());
    EXPECT_EQ(folder(), std::vector<std::string>{"B.DAT"});
}

// --- uploads -----------------------------------------------------------------

TEST_F(TransferTest, UploadSendsBlocksOfTheTerminalsSizeThenTheEndFrame) {
    for (size_t blockSize : {size_t{100}, size_t{512}, size_t{1012}}) {
        const std::string content = testPattern(2555, static_cast<unsigned>(blockSize));
        dir.write("UP.DAT", content);
        make({}, blockSize);
        std::vector<Frame> frames;
        std::string got = receiveBlocks(reply(command(5, 'S', nameField("UP.DAT"))), &frames);
        EXPECT_EQ(got, content) << blockSize;
        size_t full = content.size() / blockSize;
        ASSERT_EQ(frames.size(), full + 2) << blockSize;  // full blocks, the rest, the end frame
        for (size_t i = 0; i <= full; ++i) {
            EXPECT_TRUE(frames[i].checkOk);
            EXPECT_EQ(frames[i].block, static_cast<char>('0' + i % 10));
            EXPECT_EQ(frames[i].data.size(), i < full ? blockSize : content.size() % blockSize);
        }
        EXPECT_EQ(frames.back().type, 'E');
        EXPECT_EQ(frames.back().control(), fr::EOT);
        EXPECT_FALSE(terminal->inConversation());
    }
}

TEST_F(TransferTest, UploadOfAnEmptyMissingOrUnsafeFile) {
    dir.write("EMPTY.DAT", "");
    std::filesystem::create_symlink("/etc/passwd", dir.file("LINK.DAT"));
    make();
    Frame e = reply(command(5, 'S', nameField("EMPTY.DAT")));
    EXPECT_EQ(e.type, 'E');
    EXPECT_EQ(e.control(), fr::EOT);
    EXPECT_FALSE(terminal->inConversation());
    for (std::string name : {"NONE.DAT", "LINK.DAT", "../htsim", "."})
        EXPECT_EQ(reply(command(5, 'S', nameField(name))).control(), 'F') << name;
}

TEST_F(TransferTest, UploadSendsABlockAgainOnNakAndTimeOutButNotOnALateAck) {
    dir.write("UP.DAT", testPattern(1024));
    make();
    Frame b0 = reply(command(5, 'S', nameField("UP.DAT")));
    EXPECT_EQ(text(reply(answer(5, '0', fr::NAK))), text(b0));
    Frame b1 = reply(answer(5, '0', fr::ACK));
    EXPECT_TRUE(send(answer(5, '0', fr::ACK)).empty());  // late
    int resent = 0;
    while (terminal->inConversation() && resent < 10) {
        auto out = timeOut();
        resent += static_cast<int>(out.size());
        for (const Frame& f : out) EXPECT_EQ(text(f), text(b1));
    }
    EXPECT_EQ(resent, 3);
    EXPECT_FALSE(terminal->inConversation());
}

// --- batch uploads -------------------------------------------------------------

TEST_F(TransferTest, BatchUploadOffersCountHeadersBlocksAndEndFrames) {
    dir.write("A.DAT", testPattern(600));
    dir.write("B.DAT", "");
    dir.write("C.DAT", "skip me");
    dir.write("D.DAT", "0123456789");
    make();
    auto start = send(command(5, 'U'));
    ASSERT_EQ(start.size(), 2u);  // the count and, without waiting, the first header
    EXPECT_EQ(text(start[0]), "4");
    EXPECT_EQ(text(start[1]), nameField("A.DAT") + "0000600");
    EXPECT_EQ(start[1].block, '0');

    std::vector<Frame> frames;
    EXPECT_EQ(receiveBlocks(reply(answer(5, '0', fr::ACK)), &frames), testPattern(600));
    EXPECT_EQ(blocks(frames), "010");  // blocks 0 and 1, then the end frame
    EXPECT_EQ(frames.back().type, 'E');

    // The end frame is acknowledged too; then the next header comes.
    EXPECT_EQ(text(reply(answer(5, '0', fr::ACK))), nameField("B.DAT") + "0000000");
    Frame empty = reply(answer(5, '0', fr::ACK));
    EXPECT_EQ(empty.type, 'E');
    EXPECT_EQ(empty.control(), fr::EOT);
    EXPECT_EQ(text(reply(answer(5, '0', fr::ACK))), nameField("C.DAT") + "0000007");
    // "S": the PC has the file already; the next header follows at once.
    EXPECT_EQ(text(reply(pcResult(5, '0', 'S'))), nameField("D.DAT") + "0000010");
    Frame d = reply(answer(5, '0', fr::ACK));
    EXPECT_EQ(receiveBlocks(d), "0123456789");
    Frame marker = reply(answer(5, '0', fr::ACK));
    EXPECT_EQ(marker.type, 'D');
    EXPECT_EQ(marker.data, Bytes{fr::EOT});
    EXPECT_FALSE(terminal->inConversation());
}

TEST_F(TransferTest, BatchUploadEndsWhenThePcRefusesAFileOrHasNone) {
    dir.write("A.DAT", testPattern(2000));
    make();
    send(command(5, 'U'));
    EXPECT_TRUE(send(pcResult(5, '0', 'F')).empty());  // the PC cannot take the file
    EXPECT_FALSE(terminal->inConversation());

    send(command(5, 'U'));
    reply(answer(5, '0', fr::ACK));
    EXPECT_TRUE(send(pcResult(5, '0', 'F')).empty());  // the PC failed to store block 0
    EXPECT_FALSE(terminal->inConversation());

    std::filesystem::remove(dir.file("A.DAT"));
    Frame count = reply(command(5, 'U'));
    EXPECT_EQ(text(count), "0");
    EXPECT_FALSE(terminal->inConversation());
}

// --- faults in transfers -------------------------------------------------------

TEST_F(TransferTest, ReceivingFaultsAnswerTheBlockAtTheirPosition) {
    make({"blknak=1*2@D", "blksilent=2@D", "prevack=3@D"});
    const std::string content = testPattern(5 * 512);
    reply(command(5, 'D', sized("F.DAT", content.size())));
    auto block = [&](int i) {
        return data(5, static_cast<char>('0' + i),
                    content.substr(static_cast<size_t>(i) * 512, 512));
    };
    EXPECT_EQ(reply(block(0)).control(), fr::ACK);
    EXPECT_EQ(reply(block(1)).control(), fr::NAK);
    EXPECT_EQ(reply(block(1)).control(), fr::NAK);
    EXPECT_EQ(reply(block(1)).control(), fr::ACK);
    EXPECT_TRUE(send(block(2)).empty());
    EXPECT_EQ(reply(block(2)).block, '2');
    Frame prev = reply(block(3));
    EXPECT_EQ(prev.control(), fr::ACK);
    EXPECT_EQ(prev.block, '2');
    EXPECT_EQ(reply(block(3)).block, '3');  // sent again, not written again
    EXPECT_EQ(reply(block(4)).block, '4');
    send(end(5, fr::EOT));
    EXPECT_EQ(dir.read("F.DAT"), content);
}

TEST_F(TransferTest, CancelAndResultFaultsReplaceTheFrameAtTheirPosition) {
    dir.write("UP.DAT", testPattern(3000));
    make({"cancel=1@D", "result=F,2@S", "cancel=1@S", "result=M,1:h@W", "result=F,h@U", "eot@O"});
    reply(command(5, 'D', sized("X.DAT", 1024)));
    sendBlocks(std::string(512, 'a'));
    Frame can = reply(data(5, '1', std::string(512, 'b')));
    EXPECT_EQ(can.type, 'E');
    EXPECT_EQ(can.control(), fr::CAN);
    EXPECT_FALSE(terminal->inConversation());
    EXPECT_TRUE(folder() == std::vector<std::string>{"UP.DAT"});

    Frame first = reply(command(5, 'S', nameField("UP.DAT")));
    EXPECT_EQ(reply(answer(5, first.block, fr::ACK)).control(), fr::CAN);  // in place of block 1
    first = reply(command(5, 'S', nameField("UP.DAT")));
    Frame second = reply(answer(5, first.block, fr::ACK));
    Frame failed = reply(answer(5, second.block, fr::ACK));
    EXPECT_EQ(failed.type, 'R');
    EXPECT_EQ(failed.control(), 'F');  // in place of block 2

    reply(command(5, 'W', "002"));
    EXPECT_EQ(reply(data(5, '0', sized("A.DAT", 0))).control(), fr::ACK);
    send(end(5, fr::EOT));
    EXPECT_EQ(reply(data(5, '0', sized("B.DAT", 0))).control(), 'M');  // header 1 only

    auto u = send(command(5, 'U'));
    ASSERT_EQ(u.size(), 2u);
    EXPECT_EQ(u[1].type, 'R');
    EXPECT_EQ(u[1].control(), 'F');

    Frame eot = reply(command(5, 'O', sized("SYSTEM.HEX", 10)));
    EXPECT_EQ(eot.type, 'E');
    EXPECT_EQ(eot.control(), fr::EOT);
}

TEST_F(TransferTest, SendingFaultsRepeatHoldBackOrShortenFrames) {
    dir.write("UP.DAT", testPattern(2048));
    make({"twice=1@S", "blksilent=2@S", "repeat=3@S"});
    Frame b0 = reply(command(5, 'S', nameField("UP.DAT")));
    auto twice = send(answer(5, '0', fr::ACK));
    ASSERT_EQ(twice.size(), 2u);
    EXPECT_EQ(text(twice[0]), text(twice[1]));
    EXPECT_EQ(twice[1].block, '1');
    EXPECT_TRUE(send(answer(5, '1', fr::ACK)).empty());  // block 2 lost on the way
    auto late = timeOut();
    ASSERT_EQ(late.size(), 1u);
    EXPECT_EQ(late[0].block, '2');
    Frame b3 = reply(answer(5, '2', fr::ACK));
    Frame again = reply(answer(5, '3', fr::ACK));
    EXPECT_EQ(text(again), text(b3));
    EXPECT_EQ(reply(answer(5, '3', fr::ACK)).control(), fr::EOT);

    make({"short=100@S", "short=5*2@U"});
    std::string got = receiveBlocks(reply(command(5, 'S', nameField("UP.DAT"))));
    EXPECT_EQ(got, testPattern(2048).substr(0, 1948));
    auto u = send(command(5, 'U'));
    EXPECT_EQ(text(u[1]), nameField("UP.DAT") + "0002053");  // announced 5 more than it has
    EXPECT_EQ(receiveBlocks(reply(answer(5, '0', fr::ACK))), testPattern(2048));
}

TEST_F(TransferTest, OverlongUploadsSendMoreThanTheirSizeAndManyFilesNeverEnd) {
    dir.write("UP.DAT", testPattern(2048));
    dir.write("EMPTY.DAT", "");
    make({"overlong=100@S", "overlong*2@U"});
    std::string got = receiveBlocks(reply(command(5, 'S', nameField("UP.DAT"))));
    EXPECT_EQ(got.size(), 2148u);
    EXPECT_EQ(got.substr(0, 2048), testPattern(2048));
    // A header announcing 0 bytes, then data.
    auto u = send(command(5, 'U'));
    ASSERT_EQ(u.size(), 2u);
    EXPECT_EQ(text(u[1]), nameField("EMPTY.DAT") + "0000000");
    Frame first = reply(answer(5, '0', fr::ACK));
    EXPECT_EQ(first.type, 'D');
    EXPECT_EQ(first.data.size(), 512u);

    make({"manyfiles=2147483647@U"});
    u = send(command(5, 'U'));
    EXPECT_EQ(text(u[0]), "2147483647");
    EXPECT_EQ(text(u[1]), nameField("EMPTY.DAT") + "0000000");
    EXPECT_EQ(text(reply(pcResult(5, '0', 'S'))), nameField("UP.DAT") + "0002048");
    for (int j = 2; j < 300; ++j) {
        Frame next = reply(pcResult(5, '0', 'S'));
        ASSERT_EQ(next.data.size(), 19u) << j;
        EXPECT_EQ(text(next).substr(0, 4), "MANY") << j;
    }
}

TEST_F(TransferTest, BatchUploadFaultsRepeatAHeaderAndOfferExtraOrUnsafeFiles) {
    dir.write("A.DAT", "abc");
    make({"rehead=0@U"});
    Frame header = send(command(5, 'U')).at(1);
    EXPECT_EQ(text(reply(answer(5, '0', fr::ACK))), text(header));  // the header, not block 0
    EXPECT_EQ(text(reply(answer(5, '0', fr::ACK))), "abc");

    make({"extra=140@U", "badname", "badname=/etc/passwd"});
    auto start = send(command(5, 'U'));
    EXPECT_EQ(text(start[0]), "143");
    EXPECT_EQ(text(start[1]), nameField("../EVIL.TXT") + "0000064");
    EXPECT_EQ(text(reply(pcResult(5, '0', 'S'))), nameField("/etc/passwd") + "0000064");
    EXPECT_EQ(text(reply(pcResult(5, '0', 'S'))), nameField("A.DAT") + "0000003");
    Frame x1 = reply(pcResult(5, '0', 'S'));
    EXPECT_EQ(text(x1), nameField(extraName(1)) + "0000137");
    EXPECT_EQ(receiveBlocks(reply(answer(5, '0', fr::ACK))), syntheticContent(1, 137));

    // A listing shows the unsafe names, and asking for one gets its contents.
    auto listing = send(command(5, 'F'));
    auto entries = reply(answer(5, '0', fr::ACK));
    EXPECT_EQ(text(entries).substr(0, 12), nameField("../EVIL.TXT"));
    EXPECT_EQ(receiveBlocks(reply(command(5, 'S', nameField("../EVIL.TXT")))),
              syntheticContent(0, kBadNameSize));
}

TEST_F(TransferTest, PositionsCountBlocksPerFileAndFilesPerBatch) {
    make({"blknak=1:0@W", "blknak=h@W"});
    reply(command(5, 'W', "002"));
    EXPECT_EQ(reply(data(5, '0', sized("A.DAT", 3))).control(), fr::NAK);  // header of any file
    EXPECT_EQ(reply(data(5, '0', sized("A.DAT", 3))).control(), fr::ACK);
    EXPECT_EQ(reply(data(5, '0', "abc")).control(), fr::ACK);  // block 0 of file 0
    send(end(5, fr::EOT));
    EXPECT_EQ(reply(data(5, '0', sized("B.DAT", 3))).control(), fr::ACK);
    EXPECT_EQ(reply(data(5, '0', "def")).control(), fr::NAK);  // block 0 of file 1
    EXPECT_EQ(reply(data(5, '0', "def")).control(), fr::ACK);
    send(end(5, fr::EOT));
    EXPECT_EQ(dir.read("B.DAT"), "def");
}

}  // namespace
}  // namespace vsk::htsim
