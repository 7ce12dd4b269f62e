// Faults given while the simulator runs (the control channel), and the line
// going dead at a command or in the middle of a listing.
#include "control.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "frames.h"
#include "raw_line.h"
#include "sim_control.h"
#include "sim_process.h"

namespace vsk::htsim {
namespace {

namespace fr = vsk::frame;
using testing::nameField;
using testing::RawLine;
using testing::SimControl;
using testing::SimProcess;
using testing::TempDir;
using namespace std::chrono_literals;
using namespace test;

std::unique_ptr<Terminal> terminalWith(std::vector<std::string> faults, int number = 5) {
    TerminalConfig c;
    c.number = number;
    for (const std::string& s : faults) {
        std::string error;
        auto f = parseFault(s, &error);
        EXPECT_TRUE(f) << error;
        if (f) c.faults.push_back(*f);
    }
    return std::make_unique<Terminal>(c);
}

bool hangsUp(const std::vector<Emission>& out) {
    return !out.empty() && out.back().hangUp;
}

TEST(ControlChannel, FaultsGivenOverTheChannelReplaceOnlyTheirOwn) {
    std::vector<std::unique_ptr<Terminal>> terminals;
    terminals.push_back(terminalWith({"result=M@G"}));
    Terminal& t = *terminals[0];
    auto now = Clock::now();

    EXPECT_EQ(ControlChannel::run("fault 5 nak=2@E result=F@H", terminals), "ok");
    EXPECT_EQ(framesOf(t.receive(command(5, 'E', "A.DAT       "), now)).at(0).control(), fr::NAK);
    EXPECT_EQ(ControlChannel::run("fault 5 cancel@H", terminals), "ok");
    // The nak given before is gone, the command line's fault stays.
    EXPECT_EQ(framesOf(t.receive(command(5, 'E', "A.DAT       "), now)).at(0).type, 'R');
    EXPECT_EQ(framesOf(t.receive(command(5, 'H', "A.DAT       "), now)).at(0).control(), fr::CAN);
    EXPECT_EQ(text(framesOf(t.receive(command(5, 'G'), now)).at(0)), "M");
    EXPECT_EQ(ControlChannel::run("fault 5", terminals), "ok");
    EXPECT_EQ(framesOf(t.receive(command(5, 'H', "A.DAT       "), now)).at(0).type, 'R');

    EXPECT_EQ(ControlChannel::run("fault 6 nak", terminals).rfind("error no terminal", 0), 0u);
    EXPECT_EQ(ControlChannel::run("fault 5 blknak", terminals).rfind("error fault", 0), 0u);
    EXPECT_EQ(ControlChannel::run("hangup 5", terminals).rfind("error unknown command", 0), 0u);
}

TEST(ControlChannel, ARunningSimulatorTakesFaultsBeforeTheNextCommand) {
    TempDir work("htsim-control");
    const std::string socket = work.file("control");
    SimProcess sim({"--control", socket, "--ht", "5", "--dir", "@dir:a", "--ht", "7"});
    SimControl control(socket);
    RawLine line(sim.path());

    ASSERT_TRUE(control.setFaults(5, {"nak@P"}));
    line.sendCommand(5, 'P');
    EXPECT_EQ(line.readFrame()->control(), fr::NAK);
    line.sendCommand(5, 'P');
    EXPECT_EQ(line.readFrame()->control(), fr::ACK);

    std::string error;
    EXPECT_FALSE(control.setFaults(9, {}, &error));
    EXPECT_EQ(error, "error no terminal \"9\"");
    ASSERT_TRUE(control.setFaults(7, {"hangup@G"}));
    line.sendCommand(7, 'G');
    EXPECT_FALSE(line.readFrame(300ms));
    EXPECT_EQ(sim.waitExit(), 3);
    EXPECT_FALSE(std::filesystem::exists(socket));
}

TEST(HangUp, AtTheCommandNothingIsCarriedOut) {
    TempDir dir("htsim-hangup");
    dir.write("A.DAT", "a");
    TerminalConfig c;
    c.number = 5;
    c.dir = dir.path();
    std::string error;
    c.faults.push_back(*parseFault("hangup@E", &error));
    Terminal t(c);
    auto out = t.receive(command(5, 'E', "A.DAT       "), Clock::now());
    EXPECT_TRUE(hangsUp(out));
    EXPECT_TRUE(framesOf(out).empty());
    EXPECT_TRUE(dir.read("A.DAT"));
}

TEST(HangUp, InAListingAfterTheFrameNamed) {
    auto t = terminalWith({"hangup=1@F", "extra=30"});
    auto now = Clock::now();
    auto first = t->receive(command(5, 'F'), now);
    EXPECT_FALSE(hangsUp(first));
    auto second = t->receive(answer(5, framesOf(first).at(0).block, fr::ACK), now);
    ASSERT_EQ(framesOf(second).size(), 1u);
    EXPECT_EQ(framesOf(second)[0].type, 'D');
    EXPECT_TRUE(hangsUp(second));
    EXPECT_FALSE(t->inConversation());
}

}  // namespace
}  // namespace vsk::htsim
