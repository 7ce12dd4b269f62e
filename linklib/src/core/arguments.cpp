#include "arguments.h"

#include <cstring>

#include "platform/paths.h"
#include "session.h"

namespace vsk {

std::string NameField::trimmed() const {
    std::string s(text, frame::kNameWidth);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

PathField::PathField(const char* arg, size_t cap, size_t maxLength) {
    if (arg != nullptr) text.assign(arg, strnlen(arg, cap));
    while (!text.empty() && text.back() == ' ') text.pop_back();
    tooLong = text.size() > maxLength;
}

int32_t checkCall(int32_t handle, const HtField& ht) {
    if (!handleValid(handle)) return VSK_E_HANDLE;
    if (!ht.valid()) return VSK_E_PARAM;
    return 0;
}

void prepareCommand(const HtField& ht) {
    clearAbort();
    setCurrentHt(ht.text);
    purgeInput();
}

std::string folderPrefix(const std::string& folder) {
    return platform::withTrailingSeparator(folder);
}

std::string lastComponent(const std::string& path) {
    return platform::lastPathComponent(path);
}

}  // namespace vsk
