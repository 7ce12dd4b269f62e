// Transfers with the simulator as a program, over its pseudo-terminal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "codec.h"
#include "raw_line.h"
#include "sim_process.h"

namespace vsk::htsim::testing {
namespace {

namespace fr = vsk::frame;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

std::string sized(const std::string& name, size_t size) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%07zu", size);
    return nameField(name) + digits;
}

// The PC's side of a download after the command's ACK: blocks of 512 bytes,
// each acknowledged with its number, then the end frame.
void sendFile(RawLine& line, const std::string& content) {
    char block = '0';
    for (size_t off = 0; off < content.size(); off += 512) {
        line.sendData(5, block, std::string_view(content).substr(off, 512));
        auto ack = line.readFrame();
        ASSERT_TRUE(ack) << "no answer to the block at " << off;
        ASSERT_EQ(ack->control(), fr::ACK);
        ASSERT_EQ(ack->block(), block);
        block = fr::nextBlock(block);
    }
    line.sendEnd(5, fr::EOT);
}

// The PC's side of an upload: acknowledges data frames until the end frame.
std::string receiveFile(RawLine& line) {
    std::string content;
    while (auto f = line.readFrame()) {
        if (f->type() != 'D') break;
        content += f->data();
        line.sendAnswer(5, f->block(), fr::ACK);
    }
    return content;
}

bool waitForFile(const std::string& path, const std::string& content) {
    for (int i = 0; i < 200; ++i) {
        if (readFile(path) == content) return true;
        ::usleep(10000);
    }
    return false;
}

TEST(SimTransfer, DownloadAndUploadCrossTheLineIntact) {
    SimProcess sim({"--ht", "5", "--dir", "@dir:a"});
    RawLine line(sim.path());
    const std::string content = testPattern(100 * 1024 + 77);
    line.sendCommand(5, 'D', sized("BIG.DAT", content.size()));
    ASSERT_EQ(line.readFrame()->control(), fr::ACK);
    sendFile(line, content);
    ASSERT_TRUE(waitForFile(sim.dir("a") + "/BIG.DAT", content));

    line.sendCommand(5, 'S', nameField("BIG.DAT"));
    EXPECT_EQ(receiveFile(line), content);
    EXPECT_EQ(sim.sent(isFrame('D', {}, 5)).size(), 201u);
    EXPECT_EQ(sim.received(isFrame('A', "ACK", 5)).size(), 201u);
}

TEST(SimTransfer, BatchesBothWays) {
    SimProcess sim({"--ht", "5", "--dir", "@dir:a"});
    RawLine line(sim.path());
    line.sendCommand(5, 'W', "002");
    ASSERT_EQ(line.readFrame()->control(), fr::ACK);
    const std::string files[] = {testPattern(1000, 1), testPattern(3, 2)};
    const char* names[] = {"ONE.DAT", "TWO.DAT"};
    for (int i = 0; i < 2; ++i) {
        line.sendData(5, '0', sized(names[i], files[i].size()));
        ASSERT_EQ(line.readFrame()->control(), fr::ACK);
        sendFile(line, files[i]);
    }
    line.sendData(5, '0', "\x04");
    ASSERT_TRUE(waitForFile(sim.dir("a") + "/TWO.DAT", files[1]));
    EXPECT_EQ(readFile(sim.dir("a") + "/ONE.DAT"), files[0]);

    // Back again, the first file skipped as one the PC has already.
    line.sendCommand(5, 'U');
    EXPECT_EQ(line.readFrame()->data(), "2");
    EXPECT_EQ(line.readFrame()->data(), sized("ONE.DAT", 1000));
    line.sendResult(5, '0', 'S');
    EXPECT_EQ(line.readFrame()->data(), sized("TWO.DAT", 3));
    line.sendAnswer(5, '0', fr::ACK);
    EXPECT_EQ(receiveFile(line), files[1]);
    line.sendAnswer(5, '0', fr::ACK);  // the end frame
    auto marker = line.readFrame();
    ASSERT_TRUE(marker);
    EXPECT_EQ(marker->data(), "\x04");
}

TEST(SimTransfer, DeadLineFailsThePcsEndAndEndsTheSimulator) {
    TempDir work("htsim-dead");
    std::string link = work.file("COM1");
    SimProcess sim({"--link", link, "--ht", "5", "--dir", "@dir:a", "--fault", "hangup=1@S"});
    std::ofstream(sim.dir("a") + "/UP.DAT") << testPattern(2000);
    RawLine line(sim.path());
    line.sendCommand(5, 'S', nameField("UP.DAT"));
    auto b0 = line.readFrame();
    ASSERT_TRUE(b0);
    line.sendAnswer(5, b0->block(), fr::ACK);
    auto b1 = line.readFrame();
    ASSERT_TRUE(b1);  // block 1 still arrives; then the line is gone
    EXPECT_EQ(b1->block(), '1');
    EXPECT_EQ(sim.waitExit(), 3);
    EXPECT_FALSE(line.readFrame(200ms));
    const uint8_t byte = 0x06;
    EXPECT_EQ(::write(line.fd(), &byte, 1), -1);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

// Measured against the time the bytes of the whole exchange take on the line.
TEST(SimTransfer, PacedTransfersKeepToTheLineRate) {
    constexpr int kBaud = 460800;
    const std::string content = testPattern(24 * 512);
    auto lineTime = [](size_t bytes) {
        return std::chrono::nanoseconds(static_cast<int64_t>(bytes) * 10'000'000'000 / kBaud);
    };
    SimProcess sim({"@no-record", "--ht", "5", "--dir", "@dir:a", "--baud", std::to_string(kBaud)});
    RawLine line(sim.path());

    auto start = SteadyClock::now();
    line.sendCommand(5, 'D', sized("P.DAT", content.size()));
    ASSERT_TRUE(line.readFrame());
    sendFile(line, content);
    auto down = SteadyClock::now() - start;
    // The command and its ACK, then per block 524 bytes in and a 13-byte ACK out.
    auto downLine = lineTime(32 + 13 + 24 * (524 + 13));
    EXPECT_GE(down, downLine);
    EXPECT_LT(down, downLine * 1.2 + 20ms);
    ASSERT_TRUE(waitForFile(sim.dir("a") + "/P.DAT", content));

    start = SteadyClock::now();
    line.sendCommand(5, 'S', nameField("P.DAT"));
    EXPECT_EQ(receiveFile(line), content);
    auto up = SteadyClock::now() - start;
    auto upLine = lineTime(25 + 24 * (524 + 13) + 13);
    EXPECT_GE(up, upLine);
    EXPECT_LT(up, upLine * 1.2 + 20ms);
}

}  // namespace
}  // namespace vsk::htsim::testing
