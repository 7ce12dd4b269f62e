// How the terminal's answers are shown to a person.
#pragma once

#include <string>

#include "veska.h"

namespace veskactl {

// A table of names and sizes, then the file count and the free space.
std::string formatListing(const DirRecord& dir);
// `name` is the name as the user typed it.
std::string formatFileInfo(const std::string& name, const FileInfoRecord& info);
std::string formatStatus(const StatusRecord& status);

}  // namespace veskactl
