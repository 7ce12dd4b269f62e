#include "message_box.h"

#include <QMessageBox>

namespace vsk::ui {

namespace {

MessageSink& sink() {
    static MessageSink s;
    return s;
}

}  // namespace

void setMessageSink(MessageSink s) {
    sink() = std::move(s);
}

void showError(const QString& text, QWidget* parent) {
    if (sink()) {
        sink()(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QStringLiteral("エラー"), text, QMessageBox::Ok, parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void showError(const QString& text, int32_t code, QWidget* parent) {
    showError(withCode(text, code), parent);
}

}  // namespace vsk::ui

namespace vsk::ui {

namespace {

QuestionSink& questionSink() {
    static QuestionSink s;
    return s;
}

}  // namespace

void setQuestionSink(QuestionSink s) {
    questionSink() = std::move(s);
}

bool askYesNo(const QString& title, const QString& text, QWidget* parent) {
    if (questionSink()) return questionSink()(title, text);
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    box.addButton(QStringLiteral("はい"), QMessageBox::YesRole);
    // The one button of the No role is also the one Escape and the close box press.
    box.setDefaultButton(box.addButton(QStringLiteral("いいえ"), QMessageBox::NoRole));
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    return box.buttonRole(box.clickedButton()) == QMessageBox::YesRole;
}

}  // namespace vsk::ui
