#include "f_setrs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <memory>
#include <stdexcept>

#include "message_box.h"
#include "test_env.h"
#include "test_store.h"
#include "widget_input.h"

using namespace vsk::ui;
using vsk::testing::press;
using vsk::testing::RecordedMessages;
using vsk::testing::showActive;
using vsk::testing::tabs;

namespace {

const QString kTimeOutRange = QStringLiteral("通信タイムアウト値が範囲外です。");
const QString kRetryRange = QStringLiteral("通信リトライ回数が範囲外です。");

// Controls are found by their names, as the forms know them.
class SetRSTest : public ::testing::Test {
  protected:
    void SetUp() override { clearStore(); }

    void open() {
        dialog = std::make_unique<F_SetRS>();
        dialog->show();
    }
    template <class W>
    W* control(const char* name) {
        W* w = dialog->findChild<W*>(name);
        if (w == nullptr) throw std::runtime_error(std::string("no control ") + name);
        return w;
    }
    QComboBox* port() { return control<QComboBox>("cmbPort"); }
    QString checked(const char* group) {
        QAbstractButton* button = control<QButtonGroup>(group)->checkedButton();
        return button != nullptr ? button->text() : QString();
    }
    // Port, the four option groups' captions, time-out, retry.
    QStringList shown() {
        return {port()->currentText(),
                checked("optBaudRate"),
                checked("optParity"),
                checked("optBytSize"),
                checked("optStopBit"),
                control<QLineEdit>("txtTimeOut")->text(),
                control<QLineEdit>("txtRetry")->text()};
    }
    void click(const char* name) { control<QAbstractButton>(name)->click(); }
    void type(const char* box, const QString& text) { control<QLineEdit>(box)->setText(text); }
    void changeEverything() {
        port()->setEditText("9");
        for (const char* b : {"optBaudRate_1", "optParity_1", "optBytSize_0", "optStopBit_1"}) {
            click(b);
        }
        type("txtTimeOut", "900");
        type("txtRetry", "2");
    }

    std::unique_ptr<F_SetRS> dialog;
    QStringList messages;
    RecordedMessages recording{messages};
};

TEST_F(SetRSTest, LoadShowsTheStoredValues) {
    open();
    EXPECT_EQ(dialog->windowTitle(), "通信条件の設定");
    EXPECT_EQ(port()->count(), 128);
    EXPECT_EQ(port()->itemText(127), "128");
    EXPECT_EQ(shown(), (QStringList{"001", "19200", "NONE", "8ﾋﾞｯﾄ", "1ﾋﾞｯﾄ", "800", "7"}));

    putRaw({{"Port", "12"}, {"Bps", "115200"}, {"Pari", "E"}, {"Data", "7"}, {"Stop", "2"}});
    open();
    EXPECT_EQ(shown(), (QStringList{"012", "115.2K", "EVEN", "7ﾋﾞｯﾄ", "2ﾋﾞｯﾄ", "800", "7"}));
}

TEST_F(SetRSTest, ValuesWithoutAButtonSelectNoneAndSurviveOk) {
    const QVariantMap odd{
        {"Port", "abc"}, {"Bps", "57600"}, {"Pari", "X"}, {"Data", "9"}, {"Stop", "3"}};
    putRaw(odd);
    open();
    EXPECT_EQ(shown(), (QStringList{"000", "", "", "", "", "800", "7"}));
    click("OKButton");
    const QVariantMap stored = storeContents();
    EXPECT_EQ(stored.value("Port"), "000") << "the port box's text as it shows";
    for (const char* key : {"Bps", "Pari", "Data", "Stop"}) {
        EXPECT_EQ(stored.value(key), odd.value(key)) << key;
    }
}

TEST_F(SetRSTest, OkChecksTheTimeOutFirstThenTheRetryCount) {
    struct Case {
        const char* timeout;
        const char* retry;
        QString refusal;
    };
    const Case cases[] = {{"500", "1", ""},
                          {"5000", "10", ""},
                          {"499", "7", kTimeOutRange},
                          {"5001", "7", kTimeOutRange},
                          {"", "7", kTimeOutRange},
                          {"800", "0", kRetryRange},
                          {"800", "11", kRetryRange},
                          {"499", "0", kTimeOutRange}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.timeout) + " / " + c.retry);
        clearStore();
        messages.clear();
        open();
        type("txtTimeOut", c.timeout);
        type("txtRetry", c.retry);
        click("OKButton");
        const bool accepted = c.refusal.isEmpty();
        EXPECT_EQ(messages, accepted ? QStringList() : QStringList{c.refusal});
        EXPECT_EQ(dialog->isVisible(), !accepted);
        EXPECT_EQ(storeContents().value("Timeout"), accepted ? QVariant(c.timeout) : QVariant());
    }
}

TEST_F(SetRSTest, OkStoresTheControlsAsTheyShow) {
    open();
    port()->setEditText("5");
    for (const char* b : {"optBaudRate_5", "optParity_2", "optBytSize_0", "optStopBit_1"}) {
        click(b);
    }
    type("txtTimeOut", "800x");
    type("txtRetry", "3");
    click("OKButton");
    const QVariantMap want{{"Port", "5"}, {"Bps", "38400"},    {"Pari", "O"}, {"Data", "7"},
                           {"Stop", "2"}, {"Timeout", "800x"}, {"Retry", "3"}};
    EXPECT_EQ(storeContents(), want);
    open();
    EXPECT_EQ(shown(), (QStringList{"005", "38400", "ODD", "7ﾋﾞｯﾄ", "2ﾋﾞｯﾄ", "800", "3"}));
}

TEST_F(SetRSTest, ATypedPortIsNotCompleted) {
    open();
    // Completion acts only in a focused box, as it would for the user.
    QApplication::setActiveWindow(dialog.get());
    port()->setFocus();
    port()->lineEdit()->clear();
    QTest::keyClicks(port()->lineEdit(), "12");
    click("OKButton");
    EXPECT_EQ(storeContents().value("Port"), "12");
}

TEST_F(SetRSTest, LeavingWithoutOkStoresNothingAndTheNextShowRereads) {
    const QVariantMap before{{"Bps", "19200"}, {"Timeout", "1500"}};
    const std::function<void()> leaves[] = {
        [this] { click("CancelButton"); }, [this] { dialog->close(); },
        [this] { QTest::keyClick(dialog.get(), Qt::Key_Escape); }};
    for (const auto& leave : leaves) {
        putRaw(before);
        open();
        changeEverything();
        leave();
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(storeContents(), before);
        // The same dialog shown again starts from the store, not from the
        // cancelled edits, and can show an unknown speed after a known one.
        putRaw({{"Bps", "57600"}});
        dialog->show();
        EXPECT_EQ(shown(), (QStringList{"001", "", "NONE", "8ﾋﾞｯﾄ", "1ﾋﾞｯﾄ", "1500", "7"}));
    }
}

TEST_F(SetRSTest, TheDeviceLabelFollowsThePortText) {
    qputenv("VESKA_COM7", "/dev/ttyUSB3");
    open();
    auto* label = control<QLabel>("lblDevice");
    EXPECT_EQ(label->text(), "/dev/ttyS0");
    port()->setEditText("5");
    EXPECT_EQ(label->text(), "/dev/ttyS4");
    port()->setCurrentIndex(6);
    EXPECT_EQ(label->text(), "/dev/ttyUSB3");
    for (const char* text : {"abc", "0", "129", "5.5", ""}) {
        port()->setEditText(text);
        EXPECT_EQ(label->text(), "") << text;
    }
    qunsetenv("VESKA_COM7");
}

// The keyboard as it arrives: every key goes to the focused control.
class SetRSKeyboardTest : public SetRSTest {
  protected:
    void openActive() {
        dialog = std::make_unique<F_SetRS>();
        ASSERT_TRUE(showActive(*dialog));
    }
};

TEST_F(SetRSKeyboardTest, TabEntersEachOptionGroupAtItsSelectedButton) {
    putRaw({{"Bps", "38400"}, {"Pari", "O"}, {"Data", "7"}, {"Stop", "2"}});
    openActive();
    port()->setFocus();
    EXPECT_EQ(tabs(6), (QStringList{"optBaudRate_5", "optParity_2", "optBytSize_0", "optStopBit_1",
                                    "txtTimeOut", "txtRetry"}));
    // Back again, and arrows within a group select as they move.
    EXPECT_EQ(press(Qt::Key_Tab, Qt::ShiftModifier), "txtTimeOut");
    EXPECT_EQ(press(Qt::Key_Tab, Qt::ShiftModifier), "optStopBit_1");
    EXPECT_EQ(press(Qt::Key_Up), "optStopBit_0");
    EXPECT_EQ(checked("optStopBit"), "1ﾋﾞｯﾄ");
    EXPECT_EQ(press(Qt::Key_Tab, Qt::ShiftModifier), "optBytSize_0");
    EXPECT_EQ(press(Qt::Key_Tab, Qt::ShiftModifier), "optParity_2");
    EXPECT_EQ(press(Qt::Key_Tab, Qt::ShiftModifier), "optBaudRate_5");
    EXPECT_EQ(press(Qt::Key_Down), "optBaudRate_6");
    EXPECT_EQ(checked("optBaudRate"), "115.2K");
    EXPECT_EQ(tabs(3), (QStringList{"optParity_2", "optBytSize_0", "optStopBit_0"}));
}

TEST_F(SetRSKeyboardTest, TabFollowsTheSelectionOfTheNextOpening) {
    putRaw({{"Bps", "9600"}, {"Pari", "N"}});
    openActive();
    port()->setFocus();
    EXPECT_EQ(tabs(2), (QStringList{"optBaudRate_3", "optParity_0"}));
    click("CancelButton");

    // Reopened over other values, and over a speed no button shows: the
    // group is still a stop, at its first button.
    putRaw({{"Bps", "2400"}, {"Pari", "E"}});
    ASSERT_TRUE(showActive(*dialog));
    port()->setFocus();
    EXPECT_EQ(tabs(2), (QStringList{"optBaudRate_1", "optParity_1"}));
    click("CancelButton");

    putRaw({{"Bps", "57600"}});
    ASSERT_TRUE(showActive(*dialog));
    port()->setFocus();
    EXPECT_EQ(tabs(2), (QStringList{"optBaudRate_1", "optParity_1"}));
}

}  // namespace
