// The history file's lines, the command-line start and the conversions the
// run window's properties make, without a line or a window.
#include "history.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>

#include "auto_run.h"
#include "job_start.h"
#include "sim_process.h"

namespace vsk::ui {
namespace {

using htsim::testing::TempDir;

QDateTime fixedTime() {
    return QDateTime(QDate(2026, 12, 7), QTime(14, 3, 21));
}

QString textOf(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) return QStringLiteral("<missing>");
    return QString::fromUtf8(f.readAll());
}

void setDownload(DownloadEntry& e, const char* path, int32_t outcome) {
    std::memset(e.Path, ' ', sizeof e.Path);
    std::memcpy(e.Path, path, std::strlen(path));
    e.Outcome = outcome;
}

void setUpload(UploadEntry& e, const char* name, int32_t outcome) {
    std::memset(e.Name, ' ', sizeof e.Name);
    std::memcpy(e.Name, name, std::strlen(name));
    e.Outcome = outcome;
}

TEST(HistoryFile, DownloadBlockAppendedLineByLine) {
    TempDir dir("history");
    const std::string path = dir.file("HIS.TXT");
    DownloadList list{};
    setDownload(list.Entries[0], "/pc/out/MASTER.DAT", 1);
    setDownload(list.Entries[1], "/pc/out/PRICE.DAT", 2);
    setDownload(list.Entries[2], "/pc/out/ODD.DAT", 3);
    HistoryFile history(QString::fromStdString(path) + QStringLiteral("   "), 1, fixedTime);
    history.writeDownload(QStringLiteral("005"), 3, list, 0);
    history.writeDownload(QStringLiteral("007"), 1, list, 2001);
    EXPECT_EQ(textOf(path), QStringLiteral("H,26/12/07,14:03:21,005,ダウンロード,0000,処理開始\r\n"
                                           "D,26/12/07,14:03:21,005,MASTER.DAT  ,0001,成功\r\n"
                                           "D,26/12/07,14:03:21,005,PRICE.DAT   ,0002,失敗\r\n"
                                           "D,26/12/07,14:03:21,005,ODD.DAT     ,0003,\r\n"
                                           "F,26/12/07,14:03:21,005,ダウンロード,0000,正常終了\r\n"
                                           "H,26/12/07,14:03:21,007,ダウンロード,0000,処理開始\r\n"
                                           "D,26/12/07,14:03:21,007,MASTER.DAT  ,0001,成功\r\n"
                                           "F,26/12/07,14:03:21,007,ダウンロード,2001,\r\n"));
}

TEST(HistoryFile, UploadNamesOutcomesAndModes) {
    TempDir dir("history");
    const std::string path = dir.file("UP.TXT");
    UploadList list{};
    list.Count = 3;
    setUpload(list.Entries[0], "STOCK.TXT", 1);
    setUpload(list.Entries[1], "\xB1\xB2.DAT", 3);  // half-width katakana, one column each
    // An entry the library cleared ends the lines, whatever Count says.
    HistoryFile rewrite(QString::fromStdString(path), 0, fixedTime);
    rewrite.writeUpload(QStringLiteral("001"), list, -5);
    rewrite.writeUpload(QStringLiteral("002"), list, 1003);
    EXPECT_EQ(textOf(path),
              QStringLiteral("H,26/12/07,14:03:21,002,アップロード,0000,処理開始\r\n"
                             "D,26/12/07,14:03:21,002,STOCK.TXT   ,0001,成功\r\n"
                             "D,26/12/07,14:03:21,002,ｱｲ.DAT      ,0003,同名\r\n"
                             "F,26/12/07,14:03:21,002,アップロード,1003,中断終了（ＰＣ側）\r\n"));
    HistoryFile negative(QString::fromStdString(dir.file("NEG.TXT")), 1, fixedTime);
    negative.writeUpload(QStringLiteral("001"), list, -5);
    EXPECT_TRUE(textOf(dir.file("NEG.TXT")).endsWith(QStringLiteral(",-0005,\r\n")));

    HistoryFile none(QString::fromStdString(dir.file("NONE.TXT")), 2, fixedTime);
    none.writeUpload(QStringLiteral("001"), list, 0);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dir.file("NONE.TXT"))));
    // A folder that is not there: nothing is written, and the caller learns why.
    HistoryFile lost(QString::fromStdString(dir.file("no/such/H.TXT")), 1, fixedTime);
    EXPECT_FALSE(lost.writeUpload(QStringLiteral("001"), list, 0));
    EXPECT_FALSE(lost.error().isEmpty());
}

TEST(HistoryFile, NamesWithControlCharactersStayOnTheirLine) {
    TempDir dir("history");
    const std::string path = dir.file("UP.TXT");
    UploadList list{};
    list.Count = 2;
    setUpload(list.Entries[0], "A\r\nF,X.TXT", 2);
    setUpload(list.Entries[1], "../EVIL.TXT", 2);
    HistoryFile history(QString::fromStdString(path), 1, fixedTime);
    ASSERT_TRUE(history.writeUpload(QStringLiteral("004"), list, 3011));
    EXPECT_EQ(textOf(path),
              QStringLiteral("H,26/12/07,14:03:21,004,アップロード,0000,処理開始\r\n"
                             "D,26/12/07,14:03:21,004,A\\x0D\\x0AF,X.TXT,0002,失敗\r\n"
                             "D,26/12/07,14:03:21,004,../EVIL.TXT ,0002,失敗\r\n"
                             "F,26/12/07,14:03:21,004,アップロード,3011,ＰＣファイル名エラー\r\n"));
}

// A full disk: the block that does not fit leaves the file as it was, in
// either mode, instead of a line cut in mid-field.
TEST(HistoryFile, ABlockThatDoesNotFitLeavesTheFileAsItWas) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    TempDir dir("history-full");
    if (mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=8k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
    } unmount{dir.path()};

    DownloadList list{};
    for (int i = 0; i < VSK_MAX_FILES; ++i)
        setDownload(list.Entries[i],
                    QStringLiteral("/pc/out/FILE%1.DAT")
                        .arg(i, 3, 10, QLatin1Char('0'))
                        .toLatin1()
                        .constData(),
                    1);
    const std::string path = dir.file("HIS.TXT");
    HistoryFile append(QString::fromStdString(path), 1, fixedTime);
    ASSERT_TRUE(append.writeDownload(QStringLiteral("001"), 1, list, 0));
    {
        QFile filler(QString::fromStdString(dir.file("FILLER")));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray page(4096, 'x');
        while (filler.write(page) == page.size()) {
        }
    }
    const QString before = textOf(path);
    EXPECT_FALSE(append.writeDownload(QStringLiteral("002"), VSK_MAX_FILES, list, 0));
    EXPECT_FALSE(append.error().isEmpty());
    EXPECT_EQ(textOf(path), before);

    HistoryFile rewrite(QString::fromStdString(path), 0, fixedTime);
    EXPECT_FALSE(rewrite.writeDownload(QStringLiteral("003"), VSK_MAX_FILES, list, 0));
    EXPECT_EQ(textOf(path), before);
}

TEST(HistoryFile, ResultTextsAreTheToolsOwn) {
    EXPECT_EQ(historyResultText(4002), QStringLiteral("ＨＴファイルＩ/Ｏエラー"));
    EXPECT_EQ(historyResultText(6001), QStringLiteral("システムエラー Createfile"));
    EXPECT_EQ(historyResultText(2004), QStringLiteral("ＨＴモードエラー"));
    for (int32_t code : {1005, 2001, 2006, 3005, 4003, 6008, -1})
        EXPECT_EQ(historyResultText(code), QString()) << code;
    EXPECT_EQ(historyOutcomeText(3, false), QString());
    EXPECT_EQ(historyOutcomeText(3, true), QStringLiteral("同名"));
}

TEST(JobStart, CommandLineAndPathSplit) {
    CommandLineStart quoted = parseCommandLine(QStringLiteral("\"/jobs/my day.SIF\" /ICON"));
    EXPECT_EQ(quoted.path, QStringLiteral("/jobs/my day.SIF"));
    EXPECT_TRUE(quoted.icon);
    CommandLineStart plain = parseCommandLine(QStringLiteral("/jobs/DAY.SIF"));
    EXPECT_EQ(plain.path, QStringLiteral("/jobs/DAY.SIF"));
    EXPECT_FALSE(plain.icon);
    // Only the upper-case word counts.
    EXPECT_FALSE(parseCommandLine(QStringLiteral("/jobs/DAY.SIF /icon")).icon);
    EXPECT_EQ(parseCommandLine(QStringLiteral("/ICON")).path, QString());
    // Inside a path "/ICON" is part of the path (found by fuzz_command_line).
    for (const char* path : {"/home/u/ICONS/DAY.SIF", "/jobs/ICON.SIF", "DAY.SIF/ICON"}) {
        CommandLineStart inPath = parseCommandLine(QString::fromUtf8(path));
        EXPECT_EQ(inPath.path, QString::fromUtf8(path));
        EXPECT_FALSE(inPath.icon) << path;
    }
    CommandLineStart both = parseCommandLine(QStringLiteral("/home/u/ICONS/DAY.SIF /ICON"));
    EXPECT_EQ(both.path, QStringLiteral("/home/u/ICONS/DAY.SIF"));
    EXPECT_TRUE(both.icon);

    EXPECT_EQ(splitJobPath(QStringLiteral("/jobs/DAY.SIF  ")).folder, QStringLiteral("/jobs/"));
    EXPECT_EQ(splitJobPath(QStringLiteral("/jobs/DAY.SIF  ")).name, QStringLiteral("DAY.SIF"));
    EXPECT_EQ(splitJobPath(QStringLiteral("/jobs/")).name, QString());
    EXPECT_EQ(splitJobPath(QStringLiteral("DAY.SIF")).folder, QString());
}

TEST(JobStart, NumberPropertiesTakeTheLeadingNumber) {
    EXPECT_EQ(propertyNumber(QStringLiteral("75ms")), 75);
    EXPECT_EQ(propertyNumber(QStringLiteral(" 300")), 300);
    EXPECT_EQ(propertyNumber(2), 2);
    EXPECT_EQ(propertyNumber(QStringLiteral("ms")), std::nullopt);
    EXPECT_EQ(propertyNumber(QString()), std::nullopt);
    EXPECT_EQ(fixedText(QStringLiteral("/h.txt"), 8), QStringLiteral("/h.txt  "));
    EXPECT_EQ(fixedText(QString(130, u'x'), 128).size(), 128);
}

TEST(JobStart, ReadingAJobFile) {
    TempDir dir("jobs");
    dir.write("DAY.SIF",
              "[DOWNLOAD]\r\nHTID=1,3\r\nPOLLING=75ms\r\nSKIP=1\r\nLOGFILE=/tmp/h.txt\r\n"
              "LOGTYPE=1\r\n001DOWNFILE=/pc/A.DAT\r\n002DOWNFILE=/pc/B.DAT\r\n"
              "[UPLOAD]\r\nHTID=2\r\nPOLLING=50\r\nUPLOAD=/pc/in\r\nSAVE=2\r\nLOGTYPE=2\r\n");
    const QString path = QString::fromStdString(dir.file("DAY.SIF"));
    AutoJob down;
    ClsDatFile files;
    ASSERT_TRUE(readJobFile(path, 1, &down, &files));
    EXPECT_EQ(down.htno.left(4), QStringLiteral("1010"));
    EXPECT_EQ(down.PollingTout, 75);
    EXPECT_EQ(down.SkipMode, 1);
    EXPECT_EQ(down.ResMode, 1);
    EXPECT_EQ(down.ResFileName.size(), 128);
    EXPECT_EQ(down.stopFolder, QString::fromStdString(dir.path()) + QLatin1Char('/'));
    EXPECT_EQ(files.GetDownFileArrange(), 2);

    AutoJob up;
    ASSERT_TRUE(readJobFile(path, 2, &up, nullptr));
    EXPECT_EQ(up.upfolder, QStringLiteral("/pc/in"));
    EXPECT_EQ(up.SaveMode, 2);
    EXPECT_EQ(up.protype, 2);

    dir.write("BAD.SIF", "[UPLOAD]\r\nHTID=2\r\nPOLLING=50\r\nSAVE=5\r\n");
    EXPECT_FALSE(readJobFile(QString::fromStdString(dir.file("BAD.SIF")), 2, &up, nullptr));
    EXPECT_FALSE(readJobFile(QString::fromStdString(dir.file("NONE.SIF")), 1, &down, &files));
    EXPECT_FALSE(readJobFile(QStringLiteral("DAY.SIF"), 1, &down, &files));
}

TEST(JobStart, StopFileFirstLine) {
    TempDir dir("stop");
    const QString folder = QString::fromStdString(dir.path()) + QLatin1Char('/');
    EXPECT_FALSE(AutoRunner::stopFileSays(folder));
    dir.write("ENDPRM.DAT", "1\r\n2\r\n");
    EXPECT_FALSE(AutoRunner::stopFileSays(folder));
    dir.write("ENDPRM.DAT", "");
    EXPECT_FALSE(AutoRunner::stopFileSays(folder));
    dir.write("ENDPRM.DAT", "20261208\r\n");
    EXPECT_TRUE(AutoRunner::stopFileSays(folder));
}

}  // namespace
}  // namespace vsk::ui
