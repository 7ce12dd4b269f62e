// The command line of the transfer commands: terminal selections and the
// options only some commands take.
#include <gtest/gtest.h>

#include "command_line.h"
#include "commands.h"

namespace veskactl {
namespace {

Invocation invocationOf(std::vector<std::string> args) {
    return parseCommandLine(args, commandTable()).invocation;
}

void expectUsageError(std::vector<std::string> args, const std::string& fragment) {
    try {
        parseCommandLine(args, commandTable());
        ADD_FAILURE() << "no usage error; expected one mentioning '" << fragment << "'";
    } catch (const UsageError& error) {
        EXPECT_NE(std::string(error.what()).find(fragment), std::string::npos) << error.what();
    }
}

std::string maskWith(std::initializer_list<int> selected) {
    std::string mask(128, '0');
    for (int number : selected) mask[static_cast<size_t>(number - 1)] = '1';
    return mask;
}

TEST(Selection, TakesNumbersAndRangesSeparatedByCommas) {
    EXPECT_EQ(parseSelection("5"), maskWith({5}));
    EXPECT_EQ(parseSelection("1,3,5-7"), maskWith({1, 3, 5, 6, 7}));
    EXPECT_EQ(parseSelection(" 1 , 003,5 - 7 "), maskWith({1, 3, 5, 6, 7}));
    EXPECT_EQ(parseSelection("9-9,2,2"), maskWith({2, 9}));
    EXPECT_EQ(parseSelection("1-128"), std::string(128, '1'));
    EXPECT_EQ(parseSelection("128"), maskWith({128}));
}

TEST(Selection, TakesA128CharacterMaskAsIs) {
    std::string mask = maskWith({1, 64, 128});
    EXPECT_EQ(parseSelection(mask), mask);
    // Short strings of 0s and 1s are numbers of at most three digits, never masks.
    EXPECT_EQ(parseSelection("011"), maskWith({11}));
    EXPECT_THROW(parseSelection("0101"), UsageError);
    EXPECT_THROW(parseSelection(mask + "0"), UsageError);
    EXPECT_THROW(parseSelection(mask.substr(1)), UsageError);
}

TEST(Selection, RefusesWhatSelectsNothingOrIsMistyped) {
    for (const char* bad : {"", " ", "0", "129", "1,,3", "1,", ",1", "7-3", "-5", "5-", "1-2-3",
                            "120-200", "a", "5a", "+5", "1;3", "1 3", "0x5", "1000"}) {
        EXPECT_THROW(parseSelection(bad), UsageError) << "'" << bad << "'";
    }
    EXPECT_THROW(parseSelection(std::string(128, '0')), UsageError);
    std::string wrongCharacter = maskWith({1});
    wrongCharacter[10] = '2';
    EXPECT_THROW(parseSelection(wrongCharacter), UsageError);
}

TEST(TransferCommandLine, ReadsTheOptionsOfEachCommand) {
    Invocation put = invocationOf({"put", "5", "A.DAT", "B.DAT", "--stop-on-error"});
    EXPECT_EQ(put.ht, "005");
    EXPECT_EQ(put.operands, (std::vector<std::string>{"A.DAT", "B.DAT"}));
    EXPECT_TRUE(put.transfer.stopOnError);
    EXPECT_FALSE(invocationOf({"put", "5", "A.DAT"}).transfer.stopOnError);

    Invocation get = invocationOf({"get", "7", "A.DAT", "--to", "/tmp/in"});
    EXPECT_EQ(get.transfer.toDir, "/tmp/in");
    EXPECT_EQ(get.transfer.saveMode, VSK_SAVE_OVERWRITE);
    EXPECT_EQ(invocationOf({"--mode=append", "get", "7", "A", "--to=x"}).transfer.saveMode,
              VSK_SAVE_APPEND);
    EXPECT_EQ(invocationOf({"get-all", "7", "--to", "x", "--mode", "new"}).transfer.saveMode,
              VSK_SAVE_NEW_ONLY);

    EXPECT_EQ(invocationOf({"install", "1", "AP.BIN"}).transfer.installMode, 1);
    EXPECT_EQ(invocationOf({"install", "1", "AP.BIN", "--mode", "0"}).transfer.installMode, 0);
    EXPECT_EQ(invocationOf({"os-install", "1", "OS1.HEX", "EX1.HEX"}).operands.size(), 2u);
}

TEST(TransferCommandLine, RefusesOptionsAndValuesTheCommandDoesNotTake) {
    expectUsageError({"get", "7", "A.DAT"}, "get needs --to DIR");
    expectUsageError({"get-all", "7"}, "--to DIR");
    expectUsageError({"serve-upload", "1-3"}, "--to DIR");
    expectUsageError({"get", "7", "A", "--to", ""}, "non-empty");
    expectUsageError({"put", "7", "A", "--to", "x"}, "--to is not an option of put");
    expectUsageError({"dir", "7", "--stop-on-error"}, "not an option of dir");
    expectUsageError({"put", "7", "A", "--stop-on-error=1"}, "takes no value");
    expectUsageError({"get", "7", "A", "--to", "x", "--mode", "1"}, "overwrite, append or new");
    expectUsageError({"install", "7", "A", "--mode", "append"}, "--mode expects one of 0, 1");
    expectUsageError({"install", "7", "A", "--mode", "2"}, "--mode");
    expectUsageError({"install", "7"}, "too few");
    expectUsageError({"os-install", "7", "A", "B", "C"}, "too many");
    expectUsageError({"serve-download", "1", "A", "--limit", "5"}, "--limit expects 0");
    expectUsageError({"get", "7", "A", "--to", "x", "--limit", "10"}, "not an option of get");
    expectUsageError({"put", "7", "--limit", "10", "A"}, "not an option of put");
}

TEST(TransferCommandLine, ServesASelectionWithTheLoopsLimits) {
    Invocation serve = invocationOf({"serve-download", "1,3,5-10", "A.DAT", "--polling", "500",
                                     "--limit", "3600", "--result", "r.txt"});
    EXPECT_EQ(serve.selection, parseSelection("1,3,5-10"));
    EXPECT_TRUE(serve.ht.empty());
    EXPECT_EQ(serve.operands, (std::vector<std::string>{"A.DAT"}));
    EXPECT_EQ(serve.line.pollingMs, 500);
    EXPECT_EQ(serve.transfer.limitS, 3600);
    EXPECT_EQ(serve.transfer.resultMode, VSK_RESULT_CREATE);

    EXPECT_EQ(invocationOf({"serve-download", "2", "A", "--limit", "0"}).transfer.limitS, 0);
    EXPECT_EQ(invocationOf({"serve-download", "2", "A", "--limit", "10"}).transfer.limitS, 10);
    expectUsageError({"serve-download", "2", "A", "--limit", "3601"}, "--limit");
    expectUsageError({"serve-download", "2", "A", "--polling", "501"}, "50 to 500");
    // A single poll keeps its narrower range.
    expectUsageError({"poll", "2", "--polling", "400"}, "50 to 300");
    expectUsageError({"serve-download"}, "selection such as 1,3,5-10");
    expectUsageError({"serve-download", "A.DAT"}, "not a terminal number");
    expectUsageError({"serve-download", "0,129", "A.DAT"}, "not a terminal number");
    expectUsageError({"serve-download", "1-3"}, "too few");
    expectUsageError({"serve-upload", "1-3", "--to", "x", "extra"}, "too many");
}

TEST(TransferCommandLine, WritesAResultFileExactlyWhenOneIsNamed) {
    EXPECT_EQ(invocationOf({"serve-upload", "4", "--to", "x"}).transfer.resultMode,
              VSK_RESULT_NONE);
    Invocation appending =
        invocationOf({"serve-upload", "4", "--to", "x", "--result", "r", "--result-mode", "1"});
    EXPECT_EQ(appending.transfer.resultMode, VSK_RESULT_APPEND);
    EXPECT_EQ(appending.transfer.resultPath, "r");
    expectUsageError({"serve-upload", "4", "--to", "x", "--result-mode", "0"},
                     "needs --result FILE");
    expectUsageError({"serve-upload", "4", "--to", "x", "--result", "r", "--result-mode", "2"},
                     "writes no result file");
    expectUsageError({"serve-upload", "4", "--to", "x", "--result-mode", "3"}, "--result-mode");
}

}  // namespace
}  // namespace veskactl
