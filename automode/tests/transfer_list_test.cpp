// The download job's file list: literal names, patterns over a folder, and
// the limits of 128 names and 128 files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>

#include "cls_datfile.h"
#include "sim_process.h"

namespace vsk::ui {
namespace {

using htsim::testing::TempDir;

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

TEST(TransferListTest, AnEmptyNameEndsTheList) {
    ClsDatFile list;
    list.FileTblAdd("  /pc/A.DAT ");
    list.FileTblAdd("");
    list.FileTblAdd("/pc/B.DAT");
    EXPECT_EQ(list.GetDownFileArrange(), 1);
    EXPECT_EQ(list.filename(0), "/pc/A.DAT");
    EXPECT_EQ(list.filename(1), "");
    EXPECT_EQ(list.filename(-1), "");
    EXPECT_EQ(list.filesize(0), 0) << "a missing file has size 0; the library reports it";
}

TEST(TransferListTest, NamesNoTransferCanCarryAreLeftOutAndSaid) {
    TempDir out("veska-out");
    out.write("GOOD.TXT", "g");
    out.write("TWO\nLINES.TXT", "n");
    out.write("\xff\xfe.TXT", "not UTF-8");
    ClsDatFile list;
    list.FileTblAdd(q(out.path()) + "/*.TXT");
    list.FileTblAdd(q(out.path()) + "/TAB\tNAME.DAT");
    ASSERT_EQ(list.GetDownFileArrange(), 1);
    EXPECT_EQ(list.filename(0), q(out.file("GOOD.TXT")));
    QStringList said = list.leftOut();
    said.sort();
    ASSERT_EQ(said.size(), 3) << said.join(u'|').toStdString();
    EXPECT_EQ(said[0], q(out.path()) + "/TAB\\x09NAME.DAT（ファイル名に制御文字があります）");
    EXPECT_EQ(said[1], q(out.path()) + "/TWO\\x0ALINES.TXT（ファイル名に制御文字があります）");
    EXPECT_TRUE(said[2].endsWith(QStringLiteral(".TXT（ファイル名がUTF-8ではありません）")))
        << said[2].toStdString();
}

TEST(TransferListTest, PatternsMatchOrdinaryFilesOnly) {
    TempDir out("veska-out");
    out.write("X.TXT", "xxx");
    out.write("w.txt", "w");
    out.write(".Z.TXT", "hidden");
    out.write("X.DAT", "d");
    ASSERT_EQ(::mkdir(out.file("Y.TXT").c_str(), 0755), 0);
    ClsDatFile list;
    list.FileTblAdd(q(out.path()) + "/*.TXT");
    list.FileTblAdd(q(out.path()) + "/X.?AT");
    ASSERT_EQ(list.GetDownFileArrange(), 3);
    // The first pattern's matches come in the folder's order, then the second's.
    QStringList first = {list.filename(0), list.filename(1)};
    first.sort();
    EXPECT_EQ(first, (QStringList{q(out.file("X.TXT")), q(out.file("w.txt"))}));
    EXPECT_EQ(list.filename(2), q(out.file("X.DAT")));
    int x = list.filename(0) == q(out.file("X.TXT")) ? 0 : 1;
    EXPECT_EQ(list.filesize(x), 3);
    // Sizes are read when asked, not when the list was made.
    ::unlink(out.file("X.TXT").c_str());
    EXPECT_EQ(list.filesize(x), 0);

    // A pattern without a folder looks in the current one; one in a missing
    // folder finds nothing.
    QString here = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(q(out.path())));
    list.FileTblClr();
    list.FileTblAdd("*.DAT");
    list.FileTblAdd("/no/such/folder/*.DAT");
    EXPECT_EQ(list.GetDownFileArrange(), 1);
    EXPECT_EQ(list.filename(0), "X.DAT");
    QDir::setCurrent(here);
}

TEST(TransferListTest, AtMost128NamesAndFiles) {
    TempDir many("veska-many");
    for (int i = 0; i < 200; ++i) many.write("F" + std::to_string(1000 + i) + ".DAT", "f");
    ClsDatFile list;
    list.FileTblAdd(q(many.path()) + "/*.DAT");
    for (int i = 1; i < 128; ++i) EXPECT_EQ(list.FileTblAdd("/pc/MORE.DAT"), 0);
    EXPECT_EQ(list.FileTblAdd("/pc/EXTRA.DAT"), -1);
    EXPECT_EQ(list.GetDownFileArrange(), 128);
    EXPECT_EQ(list.filename(127), q(many.file("F1127.DAT")));
}

}  // namespace
}  // namespace vsk::ui
