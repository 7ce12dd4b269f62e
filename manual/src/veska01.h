// The manual tool's link to the library: the library's declarations (veska.h)
// and the tool's own rule for terminal file names, stricter than the
// library's, so that a name the terminals cannot hold is never sent.
#pragma once

#include <QByteArray>
#include <QString>

#include "cp932.h"
#include "veska.h"

namespace vsk::ui {

// Whether `name` can be a terminal file name: at most 8 bytes before the first
// dot and 3 after it, in CP932, only printable single-byte characters other
// than " * + , / : ; < = > ? |. Blanks around the name do not count; other
// white space does and is refused. A name with a character CP932 cannot
// express is refused, and so are "." and "..", which no PC folder can hold.
bool CheckHtFileName(const QString& name);
// The same rule on a name already in CP932; blanks around it do not count.
bool CheckHtFileNameBytes(const QByteArray& name);

// What the user is told about a name CheckHtFileName refuses.
QString invalidHtNameMessage(const QString& name);

}  // namespace vsk::ui
