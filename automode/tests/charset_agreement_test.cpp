// Every part of the system writes a terminal file name with the same bytes:
// the library on the line, veskactl and the desktop tools. A name one of them
// wrote differently would name another file in its checks, listings and
// history lines than the one the library sent or received.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>

#include "command_line.h"
#include "cp932.h"
#include "cp932_rules.h"
#include "link_fixture.h"
#include "platform/text.h"
#include "terminal_text.h"

namespace vsk::testing {
namespace {

struct Encoding {
    const char* utf8;
    std::optional<std::string> cp932;  // none: no caller may send the name
};

const Encoding kEncodings[] = {
    {"〜.DAT", "\x81\x60.DAT"},  // wave dash, as input methods here type it
    {"～.DAT", "\x81\x60.DAT"},  // the code page's own character for it
    {"‖.DAT", "\x81\x61.DAT"},
    {"−1.DAT",
     "\x81\x7C"
     "1.DAT"},
    {"¢.DAT", "\x81\x91.DAT"},
    {"£.DAT", "\x81\x92.DAT"},
    {"¬.DAT", "\x81\xCA.DAT"},
    {"—.DAT", "\x81\x5C.DAT"},
    {"ⅰ.DAT", "\xFA\x40.DAT"},  // of two codes for it, the one Windows writes
    {"ｱｲｳｴｵ.DAT", "\xB1\xB2\xB3\xB4\xB5.DAT"},
    {"表.DAT", "\x95\x5C.DAT"},  // a trail byte that reads as a backslash alone
    {"棚卸ﾃﾞｰﾀ.DAT", "\x92\x49\x89\xB5\xC3\xDE\xB0\xC0.DAT"},
    {"¥100.DAT", std::nullopt},  // some tables write it as a backslash
    {"‾.DAT", std::nullopt},     // and this as a tilde
    {"\xF0\x9F\x98\x80.DAT", std::nullopt},
};

std::string padded(const std::string& name) {
    return name + std::string(VSK_NAME_WIDTH - name.size(), ' ');
}

class CharsetAgreementTest : public LinkTest {
  protected:
    TempDir pc_{"veska-pc"};
};

TEST_F(CharsetAgreementTest, EveryCallerWritesANameWithTheSameBytes) {
    startTerminal();
    size_t sent = 0;
    for (const Encoding& e : kEncodings) {
        SCOPED_TRACE(e.utf8);
        std::string library;
        const bool encoded = platform::pcToCp932(e.utf8, &library);
        EXPECT_EQ(encoded, e.cp932.has_value());
        EXPECT_EQ(veskactl::utf8ToCp932(e.utf8), e.cp932);
        const ui::Encoded tools = ui::encodeCp932(QString::fromUtf8(e.utf8));
        EXPECT_EQ(tools.complete, e.cp932.has_value());
        if (!e.cp932) {
            pc_.write(e.utf8, "abc");
            EXPECT_EQ(Vsk_FDownload(h_, "005", pc_.file(e.utf8).c_str(), 3, 0), VSK_E_PARAM);
            continue;
        }
        EXPECT_EQ(library, *e.cp932);
        EXPECT_EQ(tools.bytes.toStdString(), *e.cp932);
        // What the library puts on the line for a PC file of that name.
        pc_.write(e.utf8, "abc");
        ASSERT_EQ(Vsk_FDownload(h_, "005", pc_.file(e.utf8).c_str(), 3, 0), 0);
        auto commands = sim().received(isCommand('D'));
        ASSERT_EQ(commands.size(), ++sent);
        EXPECT_EQ(commands.back().text().substr(0, VSK_NAME_WIDTH), padded(*e.cp932));
    }
}

TEST_F(CharsetAgreementTest, ANameLongerThanTheFieldIsCutOnAWholeCharacter) {
    // Eleven bytes, then a double-byte character that would end on its lead byte.
    const std::string utf8 = "ABCDEFGHIJK表";
    EXPECT_EQ(cp932::wholeCharPrefix("ABCDEFGHIJK\x95\x5C", VSK_NAME_WIDTH), "ABCDEFGHIJK");
    // veskactl refuses what it would have to cut; the library sends the whole characters.
    EXPECT_EQ(veskactl::utf8ToCp932(utf8)->size(), 13u);
    EXPECT_THROW(veskactl::terminalNameFromUtf8(utf8), veskactl::UsageError);
    startTerminal();
    pc_.write(utf8, "abc");
    ASSERT_EQ(Vsk_FDownload(h_, "005", pc_.file(utf8).c_str(), 3, 0), 0);
    auto commands = sim().received(isCommand('D'));
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].text().substr(0, VSK_NAME_WIDTH), "ABCDEFGHIJK ");
}

TEST_F(CharsetAgreementTest, EveryCallerReadsATerminalNameAlike) {
    struct Decoding {
        std::string cp932;
        const char* utf8;
    };
    const Decoding decodings[] = {
        {"\x81\x60.DAT", "～.DAT"}, {"\xFA\x40.DAT", "ⅰ.DAT"},
        {"\xEE\xEF.DAT", "ⅰ.DAT"},  // the other code for it reads the same
        {"\xB1\xDE.DAT", "ｱﾞ.DAT"}, {"\x95\x5C.DAT", "表.DAT"},
    };
    startTerminal();
    for (const Decoding& d : decodings) {
        SCOPED_TRACE(d.utf8);
        std::string library;
        ASSERT_TRUE(platform::cp932ToPc(d.cp932, &library));
        EXPECT_EQ(library, d.utf8);
        EXPECT_EQ(veskactl::displayFromCp932(d.cp932).utf8, d.utf8);
        EXPECT_EQ(ui::decodeCp932(QByteArray::fromStdString(d.cp932)).toStdString(), d.utf8);
        // The PC file an upload of that terminal file makes.
        store_.write(d.cp932, "data");
        ASSERT_EQ(Vsk_FUpload(h_, "005", 0, pc_.path().c_str(), d.cp932.c_str(), 4, 0), 0);
        EXPECT_EQ(readFile(pc_.file(d.utf8)), "data");
    }
}

}  // namespace
}  // namespace vsk::testing
