#include "line_codes.h"

#include <cmath>

#include "cls_reg.h"

namespace vsk::ui {

std::optional<int32_t> numberOf(const QVariant& v) {
    bool ok = false;
    double d = v.toString().trimmed().toDouble(&ok);
    if (!ok || !(std::fabs(d) < 2e9)) return std::nullopt;
    return static_cast<int32_t>(d);
}

std::optional<int32_t> parityCode(const QVariant& v) {
    const QString text = v.toString().trimmed();
    const QLatin1String letters(VSK_PARITY_LETTERS);
    if (text.size() == 1) {
        const qsizetype code = letters.indexOf(text[0]);
        if (code >= 0) return static_cast<int32_t>(code);
    }
    return numberOf(v);
}

std::optional<int32_t> dataBitsCode(const QVariant& v) {
    auto n = numberOf(v);
    if (n && (*n == 7 || *n == 8)) return *n == 7 ? VSK_DATA_BITS_7 : VSK_DATA_BITS_8;
    return n;
}

std::optional<int32_t> stopBitsCode(const QVariant& v) {
    auto n = numberOf(v);
    if (n && (*n == 1 || *n == 2)) return *n == 1 ? VSK_STOP_BITS_1 : VSK_STOP_BITS_2;
    return n;
}

LineSettings storedLineSettings() {
    const ClsReg store;
    LineSettings line{};
    line.BaudRate = numberOf(store.BaudRate()).value_or(0);
    line.Parity = parityCode(store.Parity()).value_or(0);
    line.BiteSize = dataBitsCode(store.BiteSize()).value_or(0);
    line.StopBits = stopBitsCode(store.StopBits()).value_or(0);
    line.timeout = numberOf(store.timeout()).value_or(0);
    line.Retry = numberOf(store.Retry()).value_or(0);
    return line;
}

int32_t storedPort() {
    return numberOf(ClsReg().Port()).value_or(0);
}

}  // namespace vsk::ui
