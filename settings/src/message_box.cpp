#include "message_box.h"

#include <QMessageBox>
#include <cerrno>

#include "platform/port_names.h"
#include "result_codes.h"
#include "veska.h"

namespace vsk::ui {

namespace {

MessageSink& sink() {
    static MessageSink s;
    return s;
}

QuestionSink& questionSink() {
    static QuestionSink s;
    return s;
}

struct SystemError {
    int32_t code = 0;
    QString text;
};

// The library's last recorded system error, in the system's words.
SystemError lastSystemError() {
    char buffer[512] = {};
    SystemError e;
    e.code = Vsk_GetSysErrorMsg(buffer);
    // The text is the system's, in the locale's encoding; no terminating zero.
    e.text = QString::fromLocal8Bit(buffer, static_cast<qsizetype>(qstrnlen(buffer, sizeof buffer)))
                 .trimmed();
    return e;
}

bool isSystemCallFailure(int32_t code) {
    return code > 6000 && code < 7000;
}

// A clerk's words for why a device could not be opened, for the causes a
// clerk can do something about; empty for the rest.
QString openFailureInWords(int32_t systemCode) {
    switch (systemCode) {
        case EBUSY:
            return QStringLiteral("他のプログラムが使用中です");
        case EACCES:
        case EPERM:
            return QStringLiteral("使用する権限がありません");
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return QStringLiteral("デバイスが見つかりません");
        default:
            return {};
    }
}

}  // namespace

void setMessageSink(MessageSink s) {
    sink() = std::move(s);
}

void showFailure(const QString& text, const QString& detail, QWidget* parent) {
    if (sink()) {
        sink()(detail.isEmpty() ? text : text + QLatin1Char('\n') + detail);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QStringLiteral("エラー"), text, QMessageBox::Ok, parent);
    box.setInformativeText(detail);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void showError(const QString& text, QWidget* parent) {
    showFailure(text, QString(), parent);
}

void showError(const QString& text, int32_t code, QWidget* parent) {
    showFailure(withCode(text, code), failureDetail(code), parent);
}

QString lastSystemErrorText() {
    const SystemError e = lastSystemError();
    return e.code != 0 ? e.text : QString();
}

QString failureDetail(int32_t code) {
    QString detail = QString::fromUtf8(resultText(code));
    if (!isSystemCallFailure(code)) return detail;
    const SystemError e = lastSystemError();
    if (e.code != 0 && !e.text.isEmpty())
        detail += QStringLiteral("（") + e.text + QStringLiteral("）");
    return detail;
}

QString deviceOpenDetail(int32_t port, int32_t code) {
    if (code != VSK_E_SYS_OPEN) return failureDetail(code);
    const SystemError e = lastSystemError();
    QString detail = QString::fromStdString(devicePathForPort(port)) + QStringLiteral("：");
    const QString words = openFailureInWords(e.code);
    if (!words.isEmpty()) detail += words;
    if (!e.text.isEmpty())
        detail += words.isEmpty() ? e.text : QStringLiteral("（") + e.text + QStringLiteral("）");
    return detail;
}

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
