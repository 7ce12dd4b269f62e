// The settings store keeps the line as the user sees it (parity "N", 8 data
// bits, 1 stop bit); the library takes codes. These conversions are shared by
// every tool that opens a session from the store.
#pragma once

#include <QString>
#include <QVariant>
#include <cstdint>
#include <optional>

#include "veska.h"

namespace vsk::ui {

// A number, or a text that reads wholly as one ("7" and 7 alike).
std::optional<int32_t> numberOf(const QVariant& v);
// "N", "E", "O" as 0, 1, 2; a number passes as it is.
std::optional<int32_t> parityCode(const QVariant& v);
// 7 and 8 data bits as 0 and 1; other numbers pass as they are.
std::optional<int32_t> dataBitsCode(const QVariant& v);
// 1 and 2 stop bits as 0 and 1; other numbers pass as they are.
std::optional<int32_t> stopBitsCode(const QVariant& v);

// The line settings and port number the store holds now. Flow stays 0:
// the tools never raise the modem lines.
LineSettings storedLineSettings();
int32_t storedPort();

}  // namespace vsk::ui
