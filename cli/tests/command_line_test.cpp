#include "command_line.h"

#include <gtest/gtest.h>

#include "commands.h"

namespace veskactl {
namespace {

ParsedCommandLine parse(std::vector<std::string> args) {
    return parseCommandLine(args, commandTable());
}

Invocation invocationOf(std::vector<std::string> args) {
    return parse(args).invocation;
}

void expectUsageError(std::vector<std::string> args, const std::string& fragment) {
    try {
        parse(args);
        ADD_FAILURE() << "no usage error; expected one mentioning '" << fragment << "'";
    } catch (const UsageError& error) {
        EXPECT_NE(std::string(error.what()).find(fragment), std::string::npos) << error.what();
    }
}

TEST(HtNumber, AcceptsOneToThreeDigitsFrom1To128) {
    EXPECT_EQ(normalizeHt("5"), "005");
    EXPECT_EQ(normalizeHt("05"), "005");
    EXPECT_EQ(normalizeHt("005"), "005");
    EXPECT_EQ(normalizeHt("1"), "001");
    EXPECT_EQ(normalizeHt("42"), "042");
    EXPECT_EQ(normalizeHt("128"), "128");
}

TEST(HtNumber, RejectsEverythingElse) {
    for (const char* bad :
         {"0", "00", "000", "129", "999", "0005", "", "5a", "+5", " 5", "5 ", "0x5", "1e2"}) {
        EXPECT_THROW(normalizeHt(bad), UsageError) << "'" << bad << "'";
    }
}

TEST(CommandLine, StartsFromTheDefaultLine) {
    Invocation invocation = invocationOf({"dir", "5"});
    EXPECT_EQ(invocation.command, "dir");
    EXPECT_EQ(invocation.ht, "005");
    EXPECT_TRUE(invocation.operands.empty());
    const LineOptions& line = invocation.line;
    EXPECT_EQ(line.port, 1);
    EXPECT_EQ(line.baudRate, 19200);
    EXPECT_EQ(line.parity, 'N');
    EXPECT_EQ(line.dataBits, 8);
    EXPECT_EQ(line.stopBits, 1);
    EXPECT_EQ(line.timeoutMs, 800);
    EXPECT_EQ(line.retry, 7);
    EXPECT_EQ(line.pollingMs, 100);

    LineSettings settings = toLineSettings(line);
    EXPECT_EQ(settings.BaudRate, 19200);
    EXPECT_EQ(settings.Parity, 0);
    EXPECT_EQ(settings.BiteSize, 1);
    EXPECT_EQ(settings.StopBits, 0);
    EXPECT_EQ(settings.Flow, 0);
    EXPECT_EQ(settings.timeout, 800);
    EXPECT_EQ(settings.Retry, 7);
}

TEST(CommandLine, AppliesOptionsInBothFormsAndAnywhere) {
    Invocation invocation =
        invocationOf({"--port", "3", "--baud=9600", "poll", "--parity", "e", "128", "--data=7",
                      "--stop", "2", "--timeout", "5000", "--retry=10", "--polling", "300"});
    EXPECT_EQ(invocation.command, "poll");
    EXPECT_EQ(invocation.ht, "128");
    EXPECT_EQ(invocation.line.port, 3);
    EXPECT_EQ(invocation.line.pollingMs, 300);

    LineSettings settings = toLineSettings(invocation.line);
    EXPECT_EQ(settings.BaudRate, 9600);
    EXPECT_EQ(settings.Parity, 1);
    EXPECT_EQ(settings.BiteSize, 0);
    EXPECT_EQ(settings.StopBits, 1);
    EXPECT_EQ(settings.timeout, 5000);
    EXPECT_EQ(settings.Retry, 10);

    EXPECT_EQ(toLineSettings(invocationOf({"--parity=O", "dir", "1"}).line).Parity, 2);
    EXPECT_EQ(invocationOf({"--timeout", "500", "--retry", "1", "dir", "1"}).line.retry, 1);
}

TEST(CommandLine, RejectsBadOptionValues) {
    expectUsageError({"--timeout", "499", "dir", "1"}, "500 to 5000");
    expectUsageError({"--retry", "11", "dir", "1"}, "--retry");
    expectUsageError({"--polling", "301", "poll", "1"}, "--polling");
    expectUsageError({"--baud", "14400", "dir", "1"}, "--baud");
    expectUsageError({"--parity", "NE", "dir", "1"}, "--parity");
    expectUsageError({"--data", "6", "dir", "1"}, "--data");
    expectUsageError({"--stop", "3", "dir", "1"}, "--stop");
    expectUsageError({"--port", "-1", "dir", "1"}, "--port");
    expectUsageError({"--port", "99999999999", "dir", "1"}, "--port");
    expectUsageError({"--port=", "dir", "1"}, "--port");
    expectUsageError({"dir", "1", "--port"}, "needs a value");
    expectUsageError({"--speed", "9600", "dir", "1"}, "unknown option");
    expectUsageError({"-p", "1", "dir", "1"}, "unknown option");
}

TEST(CommandLine, ChecksCommandsAndTheirOperands) {
    expectUsageError({}, "no command");
    expectUsageError({"list", "1"}, "unknown command");
    expectUsageError({"dir"}, "terminal number");
    expectUsageError({"dir", "129"}, "1 to 128");
    expectUsageError({"dir", "1", "extra"}, "too many");
    expectUsageError({"info", "1"}, "too few");
    expectUsageError({"info", "1", "A", "B"}, "too many");
    expectUsageError({"delete", "1"}, "too few");
    expectUsageError({"rename", "1", "A"}, "rename HT OLD NEW");

    Invocation deleting = invocationOf({"delete", "7", "A.DAT", "B.DAT", "C.DAT"});
    EXPECT_EQ(deleting.operands, (std::vector<std::string>{"A.DAT", "B.DAT", "C.DAT"}));

    // After "--" a terminal file name may begin with a dash.
    Invocation dashed = invocationOf({"--retry", "3", "info", "--", "9", "-X.DAT"});
    EXPECT_EQ(dashed.line.retry, 3);
    EXPECT_EQ(dashed.ht, "009");
    EXPECT_EQ(dashed.operands, (std::vector<std::string>{"-X.DAT"}));
}

TEST(CommandLine, HelpAndVersionWinOverMistakes) {
    EXPECT_EQ(parse({"--help"}).action, ParsedCommandLine::Action::kHelp);
    EXPECT_EQ(parse({"dir", "999", "-h"}).action, ParsedCommandLine::Action::kHelp);
    EXPECT_EQ(parse({"--version", "--bogus"}).action, ParsedCommandLine::Action::kVersion);
    EXPECT_EQ(parse({"--version", "--help"}).action, ParsedCommandLine::Action::kHelp);
    // Behind "--" they are operands, not requests.
    expectUsageError({"info", "1", "--", "--help", "x"}, "too many");
}

}  // namespace
}  // namespace veskactl
