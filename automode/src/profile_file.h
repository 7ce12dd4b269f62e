// Keyed text files in the profile layout the job files use: "[SECTION]"
// lines, then "KEY=value" lines up to the next section. Section and key names
// match without regard to letter case; every other line (comments, blank
// lines, unknown keys) is kept as it is. Files are UTF-8 with CR LF line
// ends; LF alone is read too.
#pragma once

#include <QString>

namespace vsk::ui {

// The value of `key` in `section`, without surrounding blanks and cut to at
// most `maxBytes` bytes of UTF-8; empty when the file, section or key is missing.
QString readProfileString(const QString& file, const QString& section, const QString& key,
                          int maxBytes = 127);

// Writes `key`=`value` into `section`: an existing key is replaced where it
// stands, a new key goes to the end of its section, a new section to the end
// of the file, a missing file is created. An empty value deletes the key.
// The file is replaced in one step, so it is never left half written. A value
// holding a line break is refused (false) and nothing is written.
bool writeProfileString(const QString& file, const QString& section, const QString& key,
                        const QString& value);

}  // namespace vsk::ui
