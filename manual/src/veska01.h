// The manual tool's link to the library: the library's declarations (veska.h)
// and the tool's own rule for terminal file names, stricter than the
// library's, so that a name the terminals cannot hold is never sent.
#pragma once

#include <QByteArray>
#include <QString>

#include "veska.h"

namespace vsk::ui {

// Whether `name` can be a terminal file name: at most 8 bytes before the first
// dot and 3 after it, in CP932, only printable single-byte characters other
// than " * + , / : ; < = > ? |. Blanks around the name do not count.
bool CheckHtFileName(const QString& name);

// Texts between the tool (Unicode) and the terminals (CP932 bytes).
QByteArray toCp932(const QString& text);
QString fromCp932(const QByteArray& bytes);

}  // namespace vsk::ui
