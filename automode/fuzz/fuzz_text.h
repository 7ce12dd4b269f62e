// Fuzz input as the QString a parser is given: UTF-8 in most inputs, and raw
// UTF-16 (lone surrogates included) when the first byte is 0xFF, which text
// from the clipboard or a widget can also hold.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

namespace vsk::fuzz {

inline QString fuzzText(const uint8_t* data, size_t size) {
    if (size > 0 && data[0] == 0xFF) {
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(data + 1),
                                  static_cast<qsizetype>((size - 1) / 2));
    }
    return QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

}  // namespace vsk::fuzz
