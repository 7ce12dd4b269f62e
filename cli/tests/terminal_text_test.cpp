#include "terminal_text.h"

#include <gtest/gtest.h>

#include <cstring>

#include "command_line.h"

namespace veskactl {
namespace {

// "データ" in CP932 and in UTF-8.
const std::string kDataCp932 = "\x83\x66\x81\x5B\x83\x5E";
const std::string kDataUtf8 = "データ";
// Half-width "ﾃﾞｰﾀ": one CP932 byte per character.
const std::string kHalfWidthCp932 = "\xC3\xDE\xB0\xC0";
const std::string kHalfWidthUtf8 = "ﾃﾞｰﾀ";

TEST(TerminalName, ConvertsTypedNamesToCp932) {
    EXPECT_EQ(terminalNameFromUtf8("A.DAT"), "A.DAT");
    EXPECT_EQ(terminalNameFromUtf8(kDataUtf8 + ".DAT"), kDataCp932 + ".DAT");
    EXPECT_EQ(terminalNameFromUtf8(kHalfWidthUtf8), kHalfWidthCp932);
    EXPECT_EQ(terminalNameFromUtf8("ABCDEFGH.TXT"), "ABCDEFGH.TXT");
    EXPECT_EQ(terminalNameFromUtf8("漢字漢字漢字").size(), 12u);
}

TEST(TerminalName, RefusesNamesTheTerminalCannotHold) {
    auto refused = [](const std::string& name, const char* fragment) {
        try {
            terminalNameFromUtf8(name);
            ADD_FAILURE() << "accepted '" << name << "'";
        } catch (const UsageError& error) {
            EXPECT_NE(std::strstr(error.what(), fragment), nullptr) << error.what();
        }
    };
    refused("", "empty");
    refused("ABCDEFGHI.TXT", "13 bytes");  // the library would cut it to another name
    refused("漢字漢字漢字A", "13 bytes");
    refused("データ.DAT😀", "CP932");
    refused("\xFF\xFE.DAT", "CP932");  // not UTF-8 at all
    refused("A\tB", "control");
    refused("A\x1B[2J", "control");
}

TEST(TerminalDisplay, ShowsCp932AsUtf8WithItsWidth) {
    DisplayText kanji = displayFromCp932(kDataCp932 + ".DAT");
    EXPECT_EQ(kanji.utf8, kDataUtf8 + ".DAT");
    EXPECT_EQ(kanji.columns, 10u);

    DisplayText halfWidth = displayFromCp932(kHalfWidthCp932);
    EXPECT_EQ(halfWidth.utf8, kHalfWidthUtf8);
    EXPECT_EQ(halfWidth.columns, 4u);

    EXPECT_EQ(displayFromCp932("").utf8, "");
}

TEST(TerminalDisplay, EscapesControlAndUndecodableBytes) {
    // A terminal's name must not be able to drive the user's terminal.
    EXPECT_EQ(displayFromCp932("A\x1B[2J").utf8, "A\\x1B[2J");
    EXPECT_EQ(displayFromCp932(std::string("A\0B", 3)).utf8, "A\\x00B");
    EXPECT_EQ(displayFromCp932("A\x7F").utf8, "A\\x7F");
    // A lead byte at the end, a lead byte with a bad second byte, and bytes CP932 lacks.
    EXPECT_EQ(displayFromCp932("AB\x83").utf8, "AB\\x83");
    EXPECT_EQ(displayFromCp932("\x83\x0A"
                               "C")
                  .utf8,
              "\\x83\\x0AC");
    DisplayText unknown = displayFromCp932(
        "\xFF\x80"
        "D");
    EXPECT_EQ(unknown.utf8, "\\xFF\\x80D");
    EXPECT_EQ(unknown.columns, 9u);
}

TEST(FieldText, TrimsBlankFillAndStopsAtZero) {
    const char name[13] = {'A', '.', 'D', 'A', 'T', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    EXPECT_EQ(fieldText(name, sizeof name), "A.DAT");
    const char zeroed[7] = {'X', 'Y', 0, 'Z', ' ', ' ', ' '};
    EXPECT_EQ(fieldText(zeroed, sizeof zeroed), "XY");
    const char inner[13] = {'A', ' ', 'B', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    EXPECT_EQ(fieldText(inner, sizeof inner), "A B");
}

}  // namespace
}  // namespace veskactl
