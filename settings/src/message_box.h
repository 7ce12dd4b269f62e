// Every message box of the desktop tools goes through here: one OK button,
// the critical icon, application-modal, titled "エラー". Tests install a sink
// that records the texts instead of blocking on a box.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>

#include "message_text.h"

class QWidget;

namespace vsk::ui {

// The box for `text`.
void showError(const QString& text, QWidget* parent = nullptr);
// The box for `text` followed by "ｴﾗｰｺｰﾄﾞ：" and the result code in decimal.
void showError(const QString& text, int32_t code, QWidget* parent = nullptr);

// While a sink is set, each message is handed to it instead of being shown.
using MessageSink = std::function<void(const QString& text)>;
void setMessageSink(MessageSink sink);

}  // namespace vsk::ui
