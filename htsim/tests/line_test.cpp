// The simulator as a program: a PC-side test opens the line it prints and
// speaks frames over it.
#include "line.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "codec.h"
#include "raw_line.h"
#include "sim_process.h"

namespace vsk::htsim::testing {
namespace {

namespace fr = vsk::frame;
using namespace std::chrono_literals;

TEST(SimLine, ServesAPseudoTerminalThroughALinkRemovedOnExit) {
    TempDir work("htsim-link");
    std::string link = work.file("COM1");
    std::filesystem::create_symlink("/nonexistent", link);  // a stale link is replaced
    auto sim = std::make_unique<SimProcess>(std::vector<std::string>{"--ht", "3", "--link", link});
    EXPECT_EQ(sim->path(), link);
    EXPECT_EQ(std::filesystem::read_symlink(link).string().rfind("/dev/pts/", 0), 0u);
    {
        RawLine line(sim->path());
        line.sendCommand(3, 'P');
        auto reply = line.readFrame();
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->type(), 'A');
        EXPECT_EQ(reply->control(), fr::ACK);
    }
    // The PC side closing and reopening the line does not disturb the terminal.
    RawLine again(sim->path());
    again.sendCommand(3, 'P');
    ASSERT_TRUE(again.readFrame());
    EXPECT_EQ(sim->stop(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(SimLine, ServesAnExistingSerialDevice) {
    // The slave side of a pseudo-terminal stands in for the device; the test
    // keeps the master end as the other end of the cable.
    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    std::string device = ::ptsname(master);
    termios t{};
    ::tcgetattr(master, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(master, TCSANOW, &t);
    {
        SimProcess sim(
            {"--device", device, "--baud", "19200", "--parity", "E", "--stop", "2", "--ht", "12"});
        EXPECT_EQ(sim.path(), device);
        uint8_t buf[fr::kSendBufferSize];
        size_t n = fr::build(buf, 'C', "012", "0", 'P', nullptr, 0);
        ASSERT_EQ(::write(master, buf, n), static_cast<ssize_t>(n));
        ASSERT_TRUE(sim.waitSent(1, isFrame('A', "ACK", 12), 2s));
        pollfd p{master, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 2000), 1);
        uint8_t reply[64];
        EXPECT_EQ(::read(master, reply, sizeof reply), 13);
    }
    ::close(master);
}

TEST(SimLine, StartFailureIsReportedWithTheSimulatorsMessage) {
    try {
        SimProcess sim({"--ht", "5", "--fault", "bogus"});
        FAIL() << "started";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("bogus"), std::string::npos) << e.what();
    }
}

TEST(SimLine, SplitListingIsWalkedFrameByFrameAndRecorded) {
    SimProcess sim({"--ht", "5", "--dir", "@dir:a", "--fault", "split=2"});
    for (const char* name : {"A.DAT", "B.DAT", "C.DAT"})
        std::ofstream(sim.dir("a") + "/" + name) << "abc";
    RawLine line(sim.path());
    line.sendCommand(5, 'F');
    std::vector<RawFrame> frames;
    while (auto f = line.readFrame()) {
        frames.push_back(*f);
        if (f->type() != 'D') break;
        line.sendAnswer(5, f->block(), fr::ACK);
    }
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].data(), "0031048576");
    EXPECT_EQ(frames[1].data(), "A.DAT       0000003B.DAT       0000003");
    EXPECT_EQ(frames[2].data(), "C.DAT       0000003");
    EXPECT_EQ(frames[2].block(), '2');
    EXPECT_EQ(frames[3].type(), 'E');
    EXPECT_EQ(frames[3].control(), fr::EOT);

    ASSERT_TRUE(sim.waitReceived(3, isFrame('A', "ACK", 5)));
    EXPECT_EQ(sim.received(isCommand('F', 5)).size(), 1u);
    auto sent = sim.sent();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[1].text(), frames[1].data());
    EXPECT_EQ(sent[3].control, "EOT");
    EXPECT_TRUE(sent[3].ok());
}

TEST(SimLine, OnlyTheAddressedTerminalAnswersOnASharedLine) {
    SimProcess sim({"--ht", "5", "--ht", "7"});
    RawLine line(sim.path());
    line.sendCommand(9, 'P');
    EXPECT_FALSE(line.readFrame(200ms));
    line.sendCommand(7, 'P');
    auto reply = line.readFrame();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->ht(), "007");
    EXPECT_TRUE(line.drain(100ms).empty());
    EXPECT_EQ(sim.sent().size(), 1u);
    EXPECT_EQ(sim.received().size(), 2u);
}

TEST(SimLine, CancelPointAndSilence) {
    SimProcess sim({"--ht", "5", "--fault", "cancel=1@F", "--fault", "silent@P"});
    RawLine line(sim.path());
    line.sendCommand(5, 'P');
    EXPECT_FALSE(line.readFrame(200ms));
    line.sendCommand(5, 'F');
    auto count = line.readFrame();
    ASSERT_TRUE(count);
    line.sendAnswer(5, count->block(), fr::ACK);
    auto cancel = line.readFrame();
    ASSERT_TRUE(cancel);
    EXPECT_EQ(cancel->type(), 'E');
    EXPECT_EQ(cancel->control(), fr::CAN);
    EXPECT_EQ(sim.received(isCommand('P', 5)).size(), 1u);
}

TEST(SimLine, UnacknowledgedFramesAreResentAfterTheTimeOut) {
    SimProcess sim({"--ht", "5", "--ack-timeout", "50"});
    RawLine line(sim.path());
    line.sendCommand(5, 'F');
    ASSERT_TRUE(sim.waitSent(4, isFrame('D', {}, 5), 2s));
    EXPECT_FALSE(sim.waitSent(5, isFrame('D', {}, 5), 300ms));
    auto bytes = line.drain(100ms);
    EXPECT_EQ(bytes.size(), 4u * 22u);  // four copies of the 22-byte count frame
}

TEST(SimLine, DamagedAndOversizedFramesFromThePcAreRecordedAsSuch) {
    SimProcess sim({"--ht", "5"});
    RawLine line(sim.path());
    uint8_t buf[fr::kSendBufferSize];
    size_t n = fr::build(buf, 'C', "005", "0", 'P', nullptr, 0);
    buf[n - 1] ^= 0x01;
    line.write(std::vector<uint8_t>(buf, buf + n));
    auto nak = line.readFrame();
    ASSERT_TRUE(nak);
    EXPECT_EQ(nak->control(), fr::NAK);

    std::vector<uint8_t> huge = {fr::STX, 'C', '0', '0', '5', '0', '2', '0', '0', '0'};
    line.write(huge);
    ASSERT_TRUE(sim.waitReceived(2, {}, 2s));
    auto rx = sim.received();
    EXPECT_EQ(rx[0].mark, "badbcc");
    EXPECT_EQ(rx[1].mark, "toolong");
    EXPECT_EQ(rx[1].length, "2000");
}

TEST(SimLine, OversizedReplyArrivesWhole) {
    SimProcess sim({"--ht", "5", "--fault", "longlen@G"});
    RawLine line(sim.path());
    line.sendCommand(5, 'G');
    auto f = line.readFrame();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->status, RawFrame::Status::kTooLong);
    // The 2000 announced bytes, the ETX and the BCC follow the 10 header bytes.
    size_t rest = 0;
    for (int i = 0; i < 20 && rest < 2002; ++i) rest += line.drain(50ms).size();
    EXPECT_EQ(rest, 2002u);
}

TEST(SimLine, PacedLineTakesItsTimeBothWays) {
    // A 13-byte poll in and a 13-byte answer out at 1200 baud: 8N1 takes
    // 26 x 10 bit times (217 ms), 8E1 26 x 11 (238 ms).
    for (auto [parity, least] : {std::pair{"N", 216ms}, std::pair{"E", 238ms}}) {
        SimProcess sim({"--ht", "5", "--baud", "1200", "--parity", parity});
        RawLine line(sim.path());
        auto start = std::chrono::steady_clock::now();
        line.sendCommand(5, 'P');
        ASSERT_TRUE(line.readFrame());
        auto took = std::chrono::steady_clock::now() - start;
        EXPECT_GE(took, least) << parity;
        EXPECT_LT(took, least + 150ms) << parity;
    }
}

TEST(LinePace, TimesComeFromByteCountsSoLongTransfersDoNotDrift) {
    LinePace pace(115200, 10);
    EXPECT_EQ(pace.timeOf(1).count(), 86805);
    // Summing the rounded time of one byte would be 5.5 ms short here.
    EXPECT_EQ(pace.timeOf(9999999).count(), 868055468750);
    EXPECT_EQ(LinePace(115200, 11).timeOf(115200), std::chrono::seconds(11));
    EXPECT_EQ(LinePace().timeOf(1000).count(), 0);
}

TEST(LinePace, ABurstGoesOnWhileTheLineIsBusyAndStartsAfreshOnceIdle) {
    LinePace pace(1000, 10);  // 10 ms a byte
    LineClock clock(pace);
    const Clock::time_point t0 = Clock::time_point() + 1h;
    clock.enter(t0);
    EXPECT_EQ(clock.through(3), t0 + 30ms);
    clock.add(3);
    clock.enter(t0 + 10ms);  // still busy: these bytes queue behind
    EXPECT_EQ(clock.through(1), t0 + 40ms);
    clock.add(1);
    EXPECT_EQ(clock.idleAt(), t0 + 40ms);
    clock.enter(t0 + 100ms);  // idle since 40 ms
    EXPECT_EQ(clock.through(2, 5ms), t0 + 130ms);
}

}  // namespace
}  // namespace vsk::htsim::testing
