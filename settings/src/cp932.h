// Texts between the tools (Unicode) and the terminals' names (CP932 bytes).
#pragma once

#include <QByteArray>
#include <QString>

namespace vsk::ui {

struct Encoded {
    QByteArray bytes;
    bool complete = true;  // false when a character had no CP932 form
};

// A character CP932 cannot express becomes a replacement byte sequence and
// clears `complete`.
Encoded encodeCp932(const QString& text);
QString decodeCp932(const QByteArray& bytes);

inline QByteArray toCp932(const QString& text) {
    return encodeCp932(text).bytes;
}
inline QString fromCp932(const QByteArray& bytes) {
    return decodeCp932(bytes);
}

}  // namespace vsk::ui
