// Every message box of the desktop tools goes through here. An error box has
// one OK button, the critical icon, is application-modal and titled "エラー".
// Tests install sinks that record the texts (and answer the questions)
// instead of blocking on a box.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>

#include "message_text.h"

class QWidget;

namespace vsk::ui {

// The box for `text`.
void showError(const QString& text, QWidget* parent = nullptr);
// The box for `text` followed by "ｴﾗｰｺｰﾄﾞ：" and the result code in decimal,
// with failureDetail(code) on a second line.
void showError(const QString& text, int32_t code, QWidget* parent = nullptr);
// The box for `text`, with `detail` (when not empty) on a second line: what a
// clerk can act on, below the text the tools have always shown.
void showFailure(const QString& text, const QString& detail, QWidget* parent = nullptr);

// What a result code means, for a second line under a failure's text: the
// library's own text for it and, for a failed system call, the system's text
// for the failure. Read right after the failing call: the system's part is
// the library's last recorded system error.
QString failureDetail(int32_t code);
// The system's text for the library's last failed system call; empty when
// there was none.
QString lastSystemErrorText();
// Why port `port` could not be opened (`code`: what opening it returned):
// which device it is and, in words, whether it is missing, in use or not
// permitted.
QString deviceOpenDetail(int32_t port, int32_t code);

// While a sink is set, each message is handed to it instead of being shown:
// the text, then "\n" and the detail when there is one.
using MessageSink = std::function<void(const QString& text)>;
void setMessageSink(MessageSink sink);

// The question box: "はい" and "いいえ", the question icon, application-modal.
// "いいえ" is the default and the answer to Escape and the close box, so a
// stray key keeps what the question is about. True for "はい".
bool askYesNo(const QString& title, const QString& text, QWidget* parent = nullptr);

// While a sink is set, each question is handed to it and its answer taken
// instead of showing a box.
using QuestionSink = std::function<bool(const QString& title, const QString& text)>;
void setQuestionSink(QuestionSink sink);

}  // namespace vsk::ui
