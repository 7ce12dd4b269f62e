// The small dialogs of the manual tool and its terminal file-name rule.

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "dialog_driver.h"
#include "f_con.h"
#include "f_ren.h"
#include "f_ver.h"
#include "gui_start.h"
#include "veska01.h"

namespace vsk::testing {
namespace {

using ui::CheckHtFileName;
using ui::F_CON;
using ui::F_Ren;
using ui::F_Ver;

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

// How a show ends: a button's index, or one of the ways around the buttons.
constexpr int kCloseBox = -1;
constexpr int kEscape = -2;

void end(QDialog& dialog, int how) {
    if (how == kCloseBox) {
        dialog.close();
    } else if (how == kEscape) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &escape);
    } else {
        // Found by name, as the window tests will find them.
        dialog.findChild<QPushButton*>(QStringLiteral("btn_%1").arg(how))->click();
    }
}

TEST(CheckHtFileName, AcceptsEightDotThreeNamesWithBlanksAround) {
    for (const char* name :
         {"ABCDEFGH.TXT", "A.B.C", ".DAT", "ABC.", "  A.DAT  ", "a~!.#$%", "A\x7f.DAT"}) {
        EXPECT_TRUE(CheckHtFileName(u8(name))) << name;
    }
    // No character maps to 80h, so only bytes can carry it.
    EXPECT_TRUE(ui::CheckHtFileNameBytes("A\x80.DAT"));
    EXPECT_FALSE(ui::CheckHtFileNameBytes("A\x81.DAT"));
}

TEST(CheckHtFileName, RefusesWhatATerminalCannotHold) {
    for (const char* name : {"ABCDEFGHI", "ABCDEFGHI.T", "A.TXTX", "A.B.CD", "A B.DAT", "", "   ",
                             "データ.DAT", "ﾃﾞｰﾀ.DAT", ".", "..",
                             // White space other than blanks is part of the name.
                             "\tA.DAT", "A.DAT\n", "\u3000A.DAT",
                             // SUB is a control code, although Qt's table would make it 7Fh.
                             "A\x1a.DAT", "é.DAT", "A\U0001F600"}) {
        EXPECT_FALSE(CheckHtFileName(u8(name))) << name;
    }
    for (char reserved : std::string_view("\"*+,/:;<=>?|")) {
        EXPECT_FALSE(CheckHtFileName(QStringLiteral("A%1.DAT").arg(QLatin1Char(reserved))))
            << reserved;
    }
    // A lone surrogate: an encoder with state would hold it back and yield "A".
    EXPECT_FALSE(CheckHtFileName(QStringLiteral("A") + QChar(0xD800)));
}

TEST(Cp932, KeepsAsciiAndDoubleByteCharactersWithAsciiTrailBytes) {
    for (int c = 0; c < 0x80; ++c) {
        EXPECT_EQ(ui::toCp932(QString(QChar(c))), QByteArray(1, static_cast<char>(c))) << c;
        EXPECT_EQ(ui::fromCp932(QByteArray(1, static_cast<char>(c))), QString(QChar(c))) << c;
    }
    const QByteArray bytes("\x95\x5c\x83\x5c\x1a.TXT");
    EXPECT_EQ(ui::toCp932(u8("表ソ\x1a.TXT")), bytes);
    EXPECT_EQ(ui::fromCp932(bytes), u8("表ソ\x1a.TXT"));
}

TEST(F_CON, ReportsTheLastAnswerAndCountsClosingAsCancel) {
    F_CON question;
    EXPECT_EQ(question.BtnIndex(), 0);
    const int ends[] = {1, 0, kCloseBox, 0, kEscape, 1, 2};
    const int16_t answers[] = {1, 0, 2, 0, 2, 1, 2};
    int16_t before = 0;
    for (size_t i = 0; i < std::size(ends); ++i) {
        int16_t duringShow = -1;
        DialogDriver<F_CON> answer([&](F_CON& d) {
            duringShow = d.BtnIndex();
            end(d, ends[i]);
        });
        question.exec();
        EXPECT_EQ(answer.shows(), 1);
        EXPECT_EQ(duringShow, before) << "a new show must not reset the answer";
        EXPECT_EQ(question.BtnIndex(), answers[i]) << "show " << i;
        before = answers[i];
    }
}

TEST(F_Ren, ReturnsTheNameUntrimmedAndKeepsItOverACancel) {
    F_Ren rename;
    auto show = [&](const char* typed, int how) {
        DialogDriver<F_Ren> answer([&](F_Ren& d) {
            d.findChild<QLineEdit*>("txtRename")->setText(u8(typed));
            end(d, how);
        });
        rename.exec();
        EXPECT_EQ(answer.shows(), 1);
    };
    show("A.DAT", 1);
    EXPECT_EQ(rename.BtnIndex(), 1);
    EXPECT_EQ(rename.NewFileName(), QString());
    show("  B.DAT  ", 0);
    EXPECT_EQ(rename.BtnIndex(), 0);
    EXPECT_EQ(rename.NewFileName(), u8("  B.DAT  "));
    for (int how : {1, kCloseBox, kEscape}) {
        show("C.DAT", 0);
        show("D.DAT", how);
        EXPECT_EQ(rename.BtnIndex(), 1) << how;
        EXPECT_EQ(rename.NewFileName(), u8("C.DAT")) << how;
    }
}

TEST(F_Ver, ShowsTheVersionRightAfterVerOnEveryShow) {
    F_Ver version;
    QStringList labels;
    DialogDriver<F_Ver> ok([&](F_Ver& d) {
        labels << d.findChild<QLabel*>("Label1")->text();
        d.findChild<QPushButton*>("Command1")->click();
    });
    version.exec();
    version.exec();
    EXPECT_EQ(labels, QStringList({u8("Veskafile Ver.2.03"), u8("Veskafile Ver.2.03")}));
    EXPECT_EQ(version.windowTitle(), u8("ﾊﾞｰｼﾞｮﾝ情報"));
    EXPECT_EQ(version.Command1()->text(), u8("ＯＫ"));
}

TEST(F_Ver, ShowsTheProgramsIcon) {
    F_Ver version;
    const QPixmap shown = version.findChild<QLabel*>("Image1")->pixmap();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.toImage(), ui::programIcon("veskam").pixmap(shown.size()).toImage());
}

template <typename Dialog>
void expectCentredOnEveryShow() {
    Dialog dialog;
    QList<QPoint> offsets;
    DialogDriver<Dialog> measure([&](Dialog& d) {
        offsets << d.frameGeometry().center() - d.screen()->availableGeometry().center();
        d.close();
    });
    dialog.exec();
    dialog.move(0, 0);
    dialog.exec();
    ASSERT_EQ(offsets.size(), 2);
    for (QPoint offset : offsets) EXPECT_LE(offset.manhattanLength(), 2) << typeid(Dialog).name();
}

TEST(Dialogs, CentreThemselvesOnTheScreenWhenShown) {
    expectCentredOnEveryShow<F_CON>();
    expectCentredOnEveryShow<F_Ren>();
    expectCentredOnEveryShow<F_Ver>();
}

}  // namespace
}  // namespace vsk::testing
