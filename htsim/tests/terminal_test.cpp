// The terminal logic driven from memory: frames in, frames out, time passed by hand.
#include "terminal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <fstream>

#include "codec.h"
#include "frames.h"
#include "raw_line.h"
#include "sim_process.h"

namespace vsk::htsim {
namespace {

namespace fr = vsk::frame;
using testing::nameField;
using testing::TempDir;
using namespace std::chrono_literals;

using namespace test;

class TerminalTest : public ::testing::Test {
  protected:
    std::unique_ptr<Terminal> make(std::vector<std::string> faults = {}, int number = 5) {
        TerminalConfig c;
        c.number = number;
        c.dir = dir.path();
        c.freeSize = 654321;
        c.ackTimeout = 100ms;
        for (const std::string& s : faults) {
            std::string error;
            auto f = parseFault(s, &error);
            EXPECT_TRUE(f) << error;
            if (f) c.faults.push_back(*f);
        }
        return std::make_unique<Terminal>(c);
    }

    // Sends `f` and returns the frames the terminal answers with.
    std::vector<Frame> send(Terminal& t, const Frame& f) { return framesOf(t.receive(f, now)); }

    // Walks a listing: acknowledges every data frame until the end frame.
    std::vector<Frame> listAll(Terminal& t) {
        std::vector<Frame> all = send(t, command(t.number(), 'F'));
        while (!all.empty() && all.back().type == 'D' && all.size() < 100) {
            auto next = send(t, answer(t.number(), all.back().block, fr::ACK));
            if (next.empty()) break;
            all.insert(all.end(), next.begin(), next.end());
        }
        return all;
    }

    TempDir dir{"htsim-term"};
    Clock::time_point now = Clock::now();
};

TEST_F(TerminalTest, PollAndControlCommandsAreAcknowledgedByThisTerminal) {
    auto t = make();
    for (char code : {'P', 'R', 'T', 'Q'}) {
        auto out = send(*t, command(5, code));
        ASSERT_EQ(out.size(), 1u) << code;
        EXPECT_EQ(out[0].type, 'A');
        EXPECT_EQ(out[0].ht, "005");
        EXPECT_EQ(out[0].block, '0');
        EXPECT_EQ(out[0].control(), fr::ACK);
        EXPECT_EQ(out[0].length, "0001");
    }
    EXPECT_TRUE(send(*t, command(5, 'I')).empty());
    EXPECT_FALSE(t->inConversation());
}

TEST_F(TerminalTest, CommandsItCannotCarryOutGetResultM) {
    auto t = make();
    auto out = send(*t, command(5, 'K', nameField("A.DAT")));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].type, 'R');
    EXPECT_EQ(out[0].control(), 'M');
}

TEST_F(TerminalTest, ListingSendsCountThenEntriesThenEnd) {
    dir.write("B.DAT", "12345");
    dir.write("A.DAT", "");
    dir.write("LONGERTHAN12.TXT", "x");  // cannot travel in the name field
    std::filesystem::create_directory(dir.file("SUB"));
    std::filesystem::create_symlink("/etc/passwd", dir.file("LINK"));
    auto t = make();
    auto all = listAll(*t);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].type, 'D');
    EXPECT_EQ(all[0].block, '0');
    EXPECT_EQ(text(all[0]), "0020654321");
    EXPECT_EQ(all[1].block, '1');
    EXPECT_EQ(text(all[1]), "A.DAT       0000000B.DAT       0000005");
    EXPECT_EQ(all[2].type, 'E');
    EXPECT_EQ(all[2].control(), fr::EOT);
    EXPECT_FALSE(t->inConversation());
}

TEST_F(TerminalTest, EmptyListingIsCountFrameAndEnd) {
    auto t = make();
    auto all = listAll(*t);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(text(all[0]), "0000654321");
    EXPECT_EQ(all[1].type, 'E');
}

TEST_F(TerminalTest, SplitListingCyclesBlockNumbersAndCarriesExtraEntries) {
    auto t = make({"split=1", "extra=12"});
    auto all = listAll(*t);
    ASSERT_EQ(all.size(), 14u);  // count frame, 12 entry frames, end
    EXPECT_EQ(text(all[0]).substr(0, 3), "012");
    std::string blocks;
    for (const Frame& f : all) blocks += f.block;
    EXPECT_EQ(blocks, "01234567890120");
    EXPECT_EQ(text(all[12]), "XTRA0012.DAT" + text(all[12]).substr(12));
    EXPECT_EQ(all[12].data.size(), 19u);
}

TEST_F(TerminalTest, ListingOfMoreThan128EntriesAnnouncesThemAll) {
    auto t = make({"extra=140"});
    auto all = listAll(*t);
    EXPECT_EQ(text(all[0]).substr(0, 3), "140");
    size_t entries = 0;
    for (size_t i = 1; i + 1 < all.size(); ++i) {
        EXPECT_LE(all[i].data.size(), 20u * 19u);
        entries += all[i].data.size() / 19;
    }
    EXPECT_EQ(entries, 140u);
}

TEST_F(TerminalTest, ListingIgnoresStaleAcksResendsOnNakAndStopsOnCancel) {
    dir.write("A.DAT", "1");
    auto t = make();
    auto first = send(*t, command(5, 'F'));
    ASSERT_EQ(first.size(), 1u);
    EXPECT_TRUE(send(*t, answer(5, '7', fr::ACK)).empty());
    auto again = send(*t, answer(5, '0', fr::NAK));
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(text(again[0]), text(first[0]));
    EXPECT_TRUE(send(*t, splitFrame(endFrame(5, fr::CAN).data(), 13, true)).empty());
    EXPECT_FALSE(t->inConversation());
    EXPECT_TRUE(send(*t, answer(5, '0', fr::ACK)).empty());
}

TEST_F(TerminalTest, UnansweredFrameIsSentThreeTimesMoreThenGivenUp) {
    auto t = make();
    ASSERT_EQ(send(*t, command(5, 'F')).size(), 1u);
    EXPECT_TRUE(t->expire(now + 50ms).empty());  // not yet due
    int resent = 0;
    for (int i = 0; i < 5 && t->deadline(); ++i) {
        auto out = framesOf(t->expire(*t->deadline()));
        resent += static_cast<int>(out.size());
    }
    EXPECT_EQ(resent, 3);
    EXPECT_FALSE(t->inConversation());
    EXPECT_FALSE(t->deadline());
}

TEST_F(TerminalTest, ACommandMidListingStartsAfresh) {
    auto t = make({"extra=3", "split=1"});
    send(*t, command(5, 'F'));
    send(*t, answer(5, '0', fr::ACK));
    auto poll = send(*t, command(5, 'P'));
    ASSERT_EQ(poll.size(), 1u);
    EXPECT_EQ(poll[0].type, 'A');
    EXPECT_FALSE(t->inConversation());
    auto again = listAll(*t);
    EXPECT_EQ(again.size(), 5u);
}

TEST_F(TerminalTest, FileInformationReportsSizeAndModificationTime) {
    dir.write("DATA.TXT", "0123456789");
    std::tm tm{};
    tm.tm_year = 124;  // 2024
    tm.tm_mon = 2;
    tm.tm_mday = 5;
    tm.tm_hour = 14;
    tm.tm_min = 7;
    tm.tm_sec = 9;
    tm.tm_isdst = -1;
    timespec times[2] = {{std::mktime(&tm), 0}, {std::mktime(&tm), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.file("DATA.TXT").c_str(), times, 0), 0);
    auto t = make();
    auto out = send(*t, command(5, 'H', nameField("DATA.TXT")));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].type, 'D');
    EXPECT_EQ(text(out[0]), "0000010240305140709");

    for (std::string name : {"NONE.TXT", "", "..", "."}) {
        auto missing = send(*t, command(5, 'H', nameField(name)));
        ASSERT_EQ(missing.size(), 1u);
        EXPECT_EQ(missing[0].type, 'R') << name;
        EXPECT_EQ(missing[0].control(), 'F') << name;
    }
    EXPECT_EQ(send(*t, command(5, 'H', "DATA"))[0].control(), 'F');  // parameter cut short
}

TEST_F(TerminalTest, StatusReplyCarriesTheConfiguredFields) {
    TerminalConfig c;
    c.number = 7;
    c.status = {1234, "ABC", "V1.2.3", 'X'};
    Terminal t(c);
    auto out = framesOf(t.receive(command(7, 'G'), now));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(text(out[0]), "0001234ABC  V1.2.X");
    EXPECT_EQ(out[0].data.size(), 18u);
}

TEST_F(TerminalTest, DeleteRemovesOnlyRegularFilesInsideTheFolder) {
    TempDir base("htsim-base");
    base.write("V.DAT", "victim");
    TerminalConfig c;
    c.number = 5;
    c.dir = base.file("STORE");
    ASSERT_TRUE(Store(c.dir).prepare(nullptr));
    std::filesystem::create_symlink(base.file("V.DAT"), base.file("STORE/LINK.DAT"));
    std::filesystem::create_directory(base.file("STORE/SUB"));
    Terminal t(c);
    auto del = [&](const std::string& name) {
        return framesOf(t.receive(command(5, 'E', nameField(name)), now)).at(0).control();
    };
    for (const std::string& name : std::vector<std::string>{"../V.DAT", "LINK.DAT", "SUB", ".",
                                                            "..", std::string("V\0.DAT", 6)})
        EXPECT_EQ(del(name), 'F') << name;
    EXPECT_TRUE(std::filesystem::exists(base.file("V.DAT")));
    EXPECT_TRUE(std::filesystem::is_symlink(base.file("STORE/LINK.DAT")));
    EXPECT_TRUE(std::filesystem::is_directory(base.file("STORE/SUB")));

    std::ofstream(base.file("STORE/GONE.DAT")) << "x";
    EXPECT_EQ(del("GONE.DAT"), fr::ACK);
    EXPECT_FALSE(std::filesystem::exists(base.file("STORE/GONE.DAT")));
    EXPECT_EQ(del("GONE.DAT"), 'F');
}

TEST_F(TerminalTest, RenameRefusesMissingSourceAndExistingTarget) {
    dir.write("OLD.DAT", "old");
    dir.write("TAKEN.DAT", "taken");
    auto t = make();
    auto reply = [&](const std::string& from, const std::string& to) {
        return send(*t, command(5, 'N', nameField(from) + nameField(to)))[0].control();
    };
    EXPECT_EQ(reply("OLD.DAT", "TAKEN.DAT"), 'F');
    EXPECT_EQ(reply("NONE.DAT", "NEW.DAT"), 'F');
    EXPECT_EQ(reply("OLD.DAT", "a/b"), 'F');
    EXPECT_EQ(reply("OLD.DAT", "NEW.DAT"), fr::ACK);
    EXPECT_TRUE(std::filesystem::exists(dir.file("NEW.DAT")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("OLD.DAT")));
    EXPECT_EQ(send(*t, command(5, 'N', nameField("NEW.DAT")))[0].control(), 'F');  // no new name
}

TEST_F(TerminalTest, CodePageNamesAreStoredAsTheirBytes) {
    const std::string name = "\x83\x65\x83\x58\x83\x67.DAT";  // three double-byte characters
    auto t = make();
    dir.write("PLAIN.DAT", "abc");
    EXPECT_EQ(send(*t, command(5, 'N', nameField("PLAIN.DAT") + nameField(name)))[0].control(),
              fr::ACK);
    EXPECT_TRUE(std::filesystem::exists(dir.file(name)));
    auto all = listAll(*t);
    EXPECT_EQ(text(all[1]).substr(0, 12), nameField(name));
}

TEST_F(TerminalTest, ApplicationEndWaitsForThePcsAcknowledgement) {
    auto t = make();
    auto out = send(*t, command(5, 'J'));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].control(), fr::ACK);
    EXPECT_TRUE(t->inConversation());
    EXPECT_EQ(framesOf(t->expire(*t->deadline())).size(), 1u);  // resent once
    EXPECT_TRUE(send(*t, answer(5, '0', fr::ACK)).empty());
    EXPECT_FALSE(t->inConversation());
}

TEST_F(TerminalTest, DamagedCommandIsAnsweredWithNakButDamageMidListingIsNot) {
    auto t = make();
    Frame bad = command(5, 'P');
    bad.checkOk = false;
    auto out = send(*t, bad);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].control(), fr::NAK);
    send(*t, command(5, 'F'));
    Frame badAck = answer(5, '0', fr::ACK);
    badAck.checkOk = false;
    EXPECT_TRUE(send(*t, badAck).empty());
    EXPECT_TRUE(t->inConversation());
}

TEST_F(TerminalTest, NakFaultRefusesTheCommandWithoutCarryingItOut) {
    dir.write("A.DAT", "x");
    auto t = make({"nak=2@E"});
    EXPECT_EQ(send(*t, command(5, 'P'))[0].control(), fr::ACK);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(send(*t, command(5, 'E', nameField("A.DAT")))[0].control(), fr::NAK);
        EXPECT_TRUE(std::filesystem::exists(dir.file("A.DAT")));
    }
    EXPECT_EQ(send(*t, command(5, 'E', nameField("A.DAT")))[0].control(), fr::ACK);
    EXPECT_FALSE(std::filesystem::exists(dir.file("A.DAT")));
}

TEST_F(TerminalTest, SilentAndResultFaults) {
    auto t = make({"silent=2@P", "result=R@N", "result=M@G"});
    EXPECT_TRUE(send(*t, command(5, 'P')).empty());
    EXPECT_TRUE(send(*t, command(5, 'P')).empty());
    EXPECT_EQ(send(*t, command(5, 'P'))[0].control(), fr::ACK);
    EXPECT_EQ(send(*t, command(5, 'N', nameField("A") + nameField("B")))[0].control(), 'R');
    EXPECT_EQ(send(*t, command(5, 'G'))[0].control(), 'M');
}

TEST_F(TerminalTest, CancelFaultsReplaceTheReplyOrAListingFrame) {
    auto t = make({"cancel@P", "cancel=2@F", "split=1", "extra=3"});
    auto p = send(*t, command(5, 'P'));
    EXPECT_EQ(p[0].type, 'E');
    EXPECT_EQ(p[0].control(), fr::CAN);
    EXPECT_EQ(send(*t, command(5, 'P'))[0].control(), fr::ACK);  // fired once

    auto all = listAll(*t);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[1].block, '1');
    EXPECT_EQ(all[2].type, 'E');
    EXPECT_EQ(all[2].control(), fr::CAN);
    EXPECT_FALSE(t->inConversation());
}

TEST_F(TerminalTest, RepeatFaultSendsTheAcknowledgedFrameOnceMore) {
    auto t = make({"repeat=1", "split=1", "extra=2"});
    send(*t, command(5, 'F'));
    auto f1 = send(*t, answer(5, '0', fr::ACK));
    auto rep = send(*t, answer(5, '1', fr::ACK));
    ASSERT_EQ(rep.size(), 1u);
    EXPECT_EQ(text(rep[0]), text(f1[0]));
    EXPECT_EQ(rep[0].block, '1');
    auto f2 = send(*t, answer(5, '1', fr::ACK));
    ASSERT_EQ(f2.size(), 1u);
    EXPECT_EQ(f2[0].block, '2');
}

TEST_F(TerminalTest, FrameFaultsFollowTheCommandThatStartedTheConversation) {
    auto t = make({"badbcc=2@F", "otherht=9@F"});
    auto p = send(*t, command(5, 'P'));
    ASSERT_EQ(p.size(), 1u);
    EXPECT_TRUE(p[0].checkOk);
    auto first = send(*t, command(5, 'F'));
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].ht, "009");
    EXPECT_TRUE(first[0].checkOk);
    EXPECT_FALSE(first[1].checkOk);
    auto end = send(*t, answer(5, '0', fr::ACK));  // the end frame of an empty listing
    ASSERT_EQ(end.size(), 2u);
    EXPECT_FALSE(end[1].checkOk);
    EXPECT_EQ(end[1].type, 'E');
}

TEST_F(TerminalTest, TimingAndNoiseFaultsShapeTheEmission) {
    auto t = make({"slow=3", "delay=40@P", "noise=5@P"});
    auto out = t->receive(command(5, 'P'), now);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].delay, 40ms);
    EXPECT_EQ(out[0].perByte, 3ms);
    ASSERT_EQ(out[0].segments.size(), 2u);
    EXPECT_FALSE(out[0].segments[0].isFrame);
    EXPECT_EQ(out[0].segments[0].bytes.size(), 5u);
    auto g = t->receive(command(5, 'G'), now);
    EXPECT_EQ(g[0].delay, 0ms);
    EXPECT_EQ(g[0].segments.size(), 1u);
}

}  // namespace
}  // namespace vsk::htsim
