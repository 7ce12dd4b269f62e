// The question box as the user answers it: by the keyboard, on the box that
// comes up, with no sink installed.
#include "message_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "widget_input.h"

using namespace vsk::ui;
using vsk::testing::press;

namespace {

const QString kTitle = QStringLiteral("確認");
const QString kText = QStringLiteral("変更内容を破棄して閉じますか？");

// Runs `answer` on the question box once it is up and has the focus; what
// the box showed is kept.
class QuestionDriver {
  public:
    explicit QuestionDriver(std::function<void(QMessageBox&)> answer) {
        QObject::connect(&timer_, &QTimer::timeout, [this, answer] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || QApplication::focusWidget() == nullptr) return;
            timer_.stop();
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            for (QAbstractButton* b : box->buttons()) buttons << b->text();
            focused = QApplication::focusWidget()->property("text").toString();
            answer(*box);
        });
        timer_.start(5);
    }

    QString title, text, focused;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;

  private:
    QTimer timer_;
};

TEST(QuestionBoxTest, NoIsTheDefaultAndTheAnswerToEscape) {
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
        QuestionDriver driver([key](QMessageBox&) { press(key); });
        EXPECT_FALSE(askYesNo(kTitle, kText));
        EXPECT_EQ(driver.title, kTitle);
        EXPECT_EQ(driver.text, kText);
        EXPECT_EQ(driver.icon, QMessageBox::Question);
        EXPECT_EQ(driver.focused, QStringLiteral("いいえ"));
        driver.buttons.sort();
        EXPECT_EQ(driver.buttons, (QStringList{QStringLiteral("いいえ"), QStringLiteral("はい")}));
    }
}

TEST(QuestionBoxTest, YesChosenByTheKeyboard) {
    QuestionDriver driver([](QMessageBox&) {
        for (int i = 0; i < 4 && QApplication::focusWidget()->property("text") != "はい"; ++i)
            press(Qt::Key_Tab);
        press(Qt::Key_Space);
    });
    EXPECT_TRUE(askYesNo(kTitle, kText));
}

TEST(QuestionBoxTest, ASinkAnswersInsteadOfTheBox) {
    QStringList asked;
    setQuestionSink([&](const QString& title, const QString& text) {
        asked << title << text;
        return true;
    });
    EXPECT_TRUE(askYesNo(kTitle, kText));
    setQuestionSink(nullptr);
    EXPECT_EQ(asked, (QStringList{kTitle, kText}));
}

}  // namespace
