// Keyed text files in the profile layout the job files use: "[SECTION]"
// lines, then "KEY=value" lines up to the next section. Section and key names
// match without regard to letter case; every other line (comments, blank
// lines, unknown keys) is kept as it is. Files are UTF-8 with CR LF line
// ends; LF alone is read too. A file that is not UTF-8 throughout was written
// in CP932, as job files of the tools' older versions were: it is read as
// CP932, and a line written into it is written in CP932 too.
#pragma once

#include <QString>
#include <QtGlobal>

#include "veska.h"

namespace vsk::ui {

// A job file is a few kilobytes. A larger file is no job file: it is neither
// read (every value reads as missing) nor rewritten, so that a huge file
// cannot keep a run busy for minutes at every read.
inline constexpr qint64 kMaxProfileBytes = 1024 * 1024;

// True when `file` is larger than kMaxProfileBytes.
bool profileTooLarge(const QString& file);

// The value of `key` in `section`, without surrounding blanks and cut to at
// most `maxBytes` bytes of UTF-8; empty when the file, section or key is missing.
QString readProfileString(const QString& file, const QString& section, const QString& key,
                          int maxBytes = VSK_MAX_PATH);

// Writes `key`=`value` into `section`: an existing key is replaced where it
// stands, a new key goes to the end of its section, a new section to the end
// of the file, a missing file is created. An empty value deletes the key.
// The file is replaced in one step, so it is never left half written. A value
// holding a line break, or one that CP932 cannot express for a CP932 file,
// is refused (false) and nothing is written; so is a file over the limit.
bool writeProfileString(const QString& file, const QString& section, const QString& key,
                        const QString& value);

}  // namespace vsk::ui
