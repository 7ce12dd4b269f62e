// Windows paths: "\" and "/" both separate folders. The ANSI code page may be
// a double-byte one (932 on Japanese systems), so the text is looked at as
// UTF-16.
#include <windows.h>

#include <string>

#include "platform/paths.h"

namespace vsk::platform {
namespace {

std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                            nullptr, nullptr);
    return out;
}

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// The position after the last separator (or after a drive's colon), 0 when none.
size_t afterLastSeparator(const std::wstring& path) {
    for (size_t i = path.size(); i > 0; --i) {
        if (isSeparator(path[i - 1]) || (i == 2 && path[1] == L':')) return i;
    }
    return 0;
}

bool isDeviceName(std::wstring stem) {
    for (wchar_t& c : stem) c = static_cast<wchar_t>(towupper(c));
    static const wchar_t* const kDevices[] = {L"CON", L"PRN",    L"AUX",
                                              L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* d : kDevices)
        if (stem == d) return true;
    return stem.size() == 4 &&
           (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
           stem[3] >= L'0' && stem[3] <= L'9';
}

}  // namespace

std::string lastPathComponent(const std::string& path) {
    const std::wstring w = wide(path);
    return narrow(w.substr(afterLastSeparator(w)));
}

std::string folderOfPath(const std::string& path) {
    const std::wstring w = wide(path);
    const size_t end = afterLastSeparator(w);
    return end == 0 ? std::string(".\\") : narrow(w.substr(0, end));
}

std::string withTrailingSeparator(const std::string& folder) {
    const std::wstring w = wide(folder);
    if (!w.empty() && isSeparator(w.back())) return folder;
    return folder + "\\";
}

bool isPlainFileName(const std::string& name) {
    const std::wstring w = wide(name);
    if (w.empty() || w == L"." || w == L".." || w.back() == L'.' || w.back() == L' ') return false;
    for (wchar_t c : w) {
        if (c < 0x20 || std::wstring(L"\\/:*?\"<>|").find(c) != std::wstring::npos) return false;
    }
    return !isDeviceName(w.substr(0, w.find(L'.')));
}

}  // namespace vsk::platform
