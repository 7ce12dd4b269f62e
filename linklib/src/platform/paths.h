// PC paths as each system spells them: which characters separate folders,
// and which names may be given to a received file without naming some other
// file or folder. On Windows the paths are in the ANSI code page, where the
// second byte of a double-byte character may be the backslash's code, so
// these are never plain byte searches there.
#pragma once

#include <string>

namespace vsk::platform {

// The last component of a PC path ("" for a path ending in a separator).
std::string lastPathComponent(const std::string& path);
// The folder of a PC path with its separator ("./" or ".\" when none).
std::string folderOfPath(const std::string& path);
// The folder with a separator added unless it ends with one.
std::string withTrailingSeparator(const std::string& folder);
// A name that names one file in the folder it is joined to, and nothing
// else: not empty, "." or "..", no separator, and on Windows none of the
// characters the system reserves, no device name and no trailing dot or
// blank (which the system would drop).
bool isPlainFileName(const std::string& name);

}  // namespace vsk::platform
