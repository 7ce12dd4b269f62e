#include "formatting.h"

#include <algorithm>
#include <sstream>

#include "terminal_text.h"

namespace veskactl {
namespace {

constexpr size_t kNameColumns = 12;
constexpr int kSizeColumns = 7;

std::string padded(const DisplayText& text, size_t columns) {
    return text.utf8 + std::string(text.columns < columns ? columns - text.columns : 0, ' ');
}

std::string displayField(const char* field, size_t width) {
    return displayFromCp932(fieldText(field, width)).utf8;
}

std::string plural(int32_t count, const char* singular, const char* pluralForm) {
    return std::to_string(count) + " " + (count == 1 ? singular : pluralForm);
}

}  // namespace

std::string formatListing(const DirRecord& dir) {
    // The terminal announces its count in three digits, but the record holds
    // at most VSK_MAX_FILES entries.
    const int32_t listed = std::clamp<int32_t>(dir.FileCount, 0, VSK_MAX_FILES);
    std::ostringstream out;
    out << padded(DisplayText{"Name", 4}, kNameColumns) << "  ";
    out.width(kSizeColumns);
    out << "Size"
        << "\n";
    for (int32_t i = 0; i < listed; ++i) {
        const DirEntry& entry = dir.Entries[i];
        DisplayText name = displayFromCp932(fieldText(entry.Name, sizeof entry.Name));
        out << padded(name, kNameColumns) << "  ";
        out.width(kSizeColumns);
        out << entry.Size << "\n";
    }
    out << plural(dir.FileCount, "file", "files") << ", " << dir.FreeSize << " bytes free\n";
    if (dir.FileCount > listed) out << "(only the first " << listed << " files can be listed)\n";
    return out.str();
}

std::string formatFileInfo(const std::string& name, const FileInfoRecord& info) {
    std::ostringstream out;
    out << "Name:    " << name << "\n"
        << "Size:    " << info.Size << "\n"
        << "Info 1:  " << displayField(info.Info1, sizeof info.Info1) << "\n"
        << "Info 2:  " << displayField(info.Info2, sizeof info.Info2) << "\n";
    return out.str();
}

std::string formatStatus(const StatusRecord& status) {
    std::ostringstream out;
    out << "Status value:   " << status.StatusValue << "\n"
        << "Status text 1:  " << displayField(status.StatusText1, sizeof status.StatusText1) << "\n"
        << "Status text 2:  " << displayField(status.StatusText2, sizeof status.StatusText2) << "\n"
        << "Status flag:    " << displayField(&status.StatusFlag, 1) << "\n";
    return out.str();
}

}  // namespace veskactl
