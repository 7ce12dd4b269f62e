#include "options.h"

#include <gtest/gtest.h>

namespace vsk::htsim {
namespace {

Options parsed(const std::vector<std::string>& args) {
    Options o;
    std::string error;
    EXPECT_TRUE(parseOptions(args, &o, &error)) << error;
    return o;
}

std::string rejection(const std::vector<std::string>& args) {
    Options o;
    std::string error;
    EXPECT_FALSE(parseOptions(args, &o, &error));
    return error;
}

TEST(Options, TerminalOptionsFollowTheirHtAndDefaultsComeFirst) {
    Options o = parsed({"--fault", "slow=1", "--ack-timeout", "200", "--ht", "5", "--dir", "/tmp/a",
                        "--fault", "nak=2@E", "--ht", "128", "--free", "42", "--status",
                        "77,AB,CDEFG,Z", "--trace", "--baud", "9600"});
    ASSERT_EQ(o.terminals.size(), 2u);
    const TerminalConfig& a = o.terminals[0];
    const TerminalConfig& b = o.terminals[1];
    EXPECT_EQ(a.number, 5);
    EXPECT_EQ(a.dir, "/tmp/a");
    EXPECT_EQ(a.faults.size(), 2u);
    EXPECT_EQ(a.ackTimeout.count(), 200);
    EXPECT_EQ(b.number, 128);
    EXPECT_EQ(b.dir, "");
    EXPECT_EQ(b.freeSize, 42);
    EXPECT_EQ(b.faults.size(), 1u);
    EXPECT_EQ(b.ackTimeout.count(), 200);
    EXPECT_EQ(b.status.value, 77);
    EXPECT_EQ(b.status.text2, "CDEFG");
    EXPECT_EQ(b.status.flag, 'Z');
    EXPECT_TRUE(o.trace);
    EXPECT_EQ(o.line.baud, 9600);
}

TEST(Options, LineOptions) {
    Options o = parsed({"--device", "/dev/ttyS1", "--baud", "19200", "--parity", "E", "--data", "7",
                        "--stop", "2", "--link", "/tmp/l", "--record", "/tmp/r", "--ht", "1"});
    EXPECT_EQ(o.line.device, "/dev/ttyS1");
    EXPECT_EQ(o.line.baud, 19200);
    EXPECT_EQ(o.line.parity, 'E');
    EXPECT_EQ(o.line.dataBits, 7);
    EXPECT_EQ(o.line.stopBits, 2);
    EXPECT_EQ(o.line.link, "/tmp/l");
    EXPECT_EQ(o.record, "/tmp/r");
}

TEST(Options, BlockSizeAndLineSpeed) {
    Options o = parsed({"--block", "100", "--ht", "1", "--ht", "2", "--block", "1012"});
    EXPECT_EQ(o.terminals[0].blockSize, 100u);
    EXPECT_EQ(o.terminals[1].blockSize, 1012u);
    EXPECT_EQ(parsed({"--ht", "1"}).terminals[0].blockSize, 512u);
    EXPECT_EQ(parsed({"--ht", "1"}).line.baud, 0);  // a pseudo-terminal is not paced by default

    rejection({"--ht", "1", "--block", "0"});
    rejection({"--ht", "1", "--block", "1013"});
    rejection({"--ht", "1", "--baud", "0"});
    EXPECT_NE(rejection({"--ht", "1", "--pace", "9600"}).find("--pace"), std::string::npos);
}

TEST(Options, Rejections) {
    EXPECT_NE(rejection({}).find("--ht"), std::string::npos);
    EXPECT_NE(rejection({"--ht", "5", "--ht", "5"}).find("twice"), std::string::npos);
    rejection({"--ht", "0"});
    rejection({"--ht", "129"});
    rejection({"--ht", "5", "--status", "1,TOOLONG,B,C"});
    rejection({"--ht", "5", "--status", "1,A,B"});
    rejection({"--ht", "5", "--free", "10000000"});
    rejection({"--ht", "5", "--parity", "X"});
    rejection({"--ht", "5", "--dir"});
    EXPECT_NE(rejection({"--ht", "5", "--fault", "bogus"}).find("bogus"), std::string::npos);
    EXPECT_NE(rejection({"--ht", "5", "--frob"}).find("--frob"), std::string::npos);
}

}  // namespace
}  // namespace vsk::htsim
