// The text of a failure with a library result code, as every tool shows it,
// in its box or on a terminal.
#pragma once

#include <QString>
#include <cstdint>

namespace vsk::ui {

inline QString withCode(const QString& text, int32_t code) {
    return text + QStringLiteral("ｴﾗｰｺｰﾄﾞ：") + QString::number(code);
}

}  // namespace vsk::ui
