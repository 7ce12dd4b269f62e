#include "cls_reg.h"

#include <gtest/gtest.h>

#include <QFile>
#include <utility>

#include "test_store.h"

using vsk::ui::ClsReg;
using vsk::ui::leadingNumber;

namespace {

class ClsRegTest : public ::testing::Test {
  protected:
    void SetUp() override { clearStore(); }
    ClsReg reg;
};

TEST(LeadingNumber, ReadsOnlyTheNumberATextStartsWith) {
    const std::pair<const char*, double> cases[] = {
        {"001", 1}, {"19200", 19200}, {" \t42", 42}, {"800x", 800}, {"-3", -3},
        {"+7", 7},  {"1.5", 1.5},     {"5.", 5},     {".5", 0.5},   {"1e3", 1},
        {"abc", 0}, {"", 0},          {"x5", 0},     {".", 0},      {"- 5", 0}};
    for (auto [text, value] : cases) EXPECT_EQ(leadingNumber(text), value) << text;
    EXPECT_EQ(leadingNumber(QString(400, u'9')), 0) << "a number no double holds";
}

TEST_F(ClsRegTest, AnEmptyStoreGivesTheDefaultsAndStaysEmpty) {
    const std::pair<QVariant, QVariant> cases[] = {
        {reg.Port(), 1.0},   {reg.BaudRate(), 19200.0},  {reg.BiteSize(), 8.0},
        {reg.Parity(), "N"}, {reg.StopBits(), 1.0},      {reg.timeout(), 800.0},
        {reg.Retry(), 7.0},  {reg.PollingTout(), 100.0}, {reg.DefFolder(), ""}};
    for (const auto& [got, want] : cases) {
        EXPECT_EQ(got.typeId(), want.typeId()) << qPrintable(got.toString());
        EXPECT_EQ(got.toString(), want.toString());
    }
    EXPECT_TRUE(storeContents().isEmpty());
}

TEST_F(ClsRegTest, StoredTextsReadByTheLeadingNumberRule) {
    putRaw({{"Port", "003"}});
    EXPECT_EQ(reg.Port(), 3.0);
    putRaw({{"Port", "abc"}});
    EXPECT_EQ(reg.Port(), 0.0);
    putRaw({{"Timeout", ""}});
    EXPECT_EQ(reg.timeout(), 0.0) << "present but empty is not the default";
    putRaw({{"Bps", "57600"}});
    EXPECT_EQ(reg.BaudRate(), 57600.0);
    putRaw({{"Pari", " e "}});
    EXPECT_EQ(reg.Parity(), " e ");
}

// What the store says on stderr while `read` runs.
template <typename Read>
QStringList warningsDuring(Read read) {
    static QStringList* seen = nullptr;
    QStringList warnings;
    seen = &warnings;
    QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { seen->append(text); });
    read();
    qInstallMessageHandler(previous);
    seen = nullptr;
    return warnings;
}

TEST_F(ClsRegTest, APortThatIsNoPortNumberReadsAsZeroAndIsNamed) {
    const std::pair<const char*, double> cases[] = {
        {"99999999999", 0}, {"2147483648", 0}, {"-3", 0},    {"1.5", 0},
        {"0", 0},           {"abc", 0},        {"128", 128}, {"2147483647", 2147483647}};
    for (auto [text, value] : cases) {
        putRaw({{"Port", text}});
        QVariant port;
        const QStringList warnings = warningsDuring([&] { port = reg.Port(); });
        EXPECT_EQ(port, value) << text;
        if (value != 0) {
            EXPECT_TRUE(warnings.isEmpty()) << text;
            continue;
        }
        ASSERT_EQ(warnings.size(), 1) << text;
        EXPECT_TRUE(warnings[0].startsWith(QStringLiteral("settings: Port=") + text + " in " +
                                           storeFileName() + " is not a port number"))
            << qPrintable(warnings[0]);
    }
    clearStore();
    EXPECT_TRUE(warningsDuring([&] { EXPECT_EQ(reg.Port(), 1.0); }).isEmpty());
}

TEST_F(ClsRegTest, ValuesAreStoredAsPlainTextThatReadsBack) {
    reg.setBaudRate(115200.0);
    reg.setParity("E");
    reg.setPort("005");
    reg.setRetry(3);
    reg.setPollingTout(1e20);
    const QString folder = QStringLiteral("/home/user/データ, 2024/gone");
    reg.setDefFolder(folder);

    QFile file(storeFileName());
    EXPECT_TRUE(file.fileName().endsWith("/MORVA/VESKA2.conf")) << qPrintable(file.fileName());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    for (const char* line : {"Bps=115200\n", "Pari=E\n", "Port=005\n", "Retry=3\n"}) {
        EXPECT_TRUE(text.contains(line)) << line << " in\n" << text.constData();
    }
    EXPECT_EQ(reg.PollingTout(), 1e20);
    EXPECT_EQ(reg.DefFolder(), folder);
}

TEST_F(ClsRegTest, EveryReadSeesTheLatestWrite) {
    ClsReg other;
    reg.setRetry(3);
    EXPECT_EQ(other.Retry(), 3.0);
    // Another tool rewrites the file while this one is running.
    QFile file(storeFileName());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[General]\nRetry=10\n");
    file.close();
    EXPECT_EQ(reg.Retry(), 10.0);
}

}  // namespace
