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
