// The conversion through Windows' code-page functions: PC texts are in the
// ANSI code page, terminal names in code page 932. Both go through UTF-16,
// where the shared rules apply; no best-fit mapping is allowed, so that a
// character without a form in the target fails instead of becoming another.
#include <windows.h>

#include <string>

#include "cp932_rules.h"
#include "platform/text.h"

namespace vsk::platform {
namespace {

constexpr UINT kTerminalCodePage = 932;

bool toWide(UINT codePage, std::string_view in, std::wstring* out) {
    out->clear();
    if (in.empty()) return true;
    const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(),
                                      static_cast<int>(in.size()), nullptr, 0);
    if (n <= 0) return false;
    out->resize(static_cast<size_t>(n));
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(),
                               static_cast<int>(in.size()), out->data(), n) == n;
}

bool fromWide(UINT codePage, const std::wstring& in, std::string* out) {
    out->clear();
    if (in.empty()) return true;
    // The flag asks for a failure report; UTF-8 takes neither.
    BOOL usedDefault = FALSE;
    BOOL* used = codePage == CP_UTF8 ? nullptr : &usedDefault;
    const DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    const int n = WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()),
                                      nullptr, 0, nullptr, used);
    if (n <= 0 || usedDefault) return false;
    out->resize(static_cast<size_t>(n));
    return WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()), out->data(),
                               n, nullptr, used) == n &&
           !usedDefault;
}

// The shared rules on UTF-16: every character they touch lies in the BMP.
bool applyRules(std::wstring* text) {
    for (wchar_t& unit : *text) {
        const char32_t table = cp932::tableCharFor(static_cast<char32_t>(unit));
        if (table == cp932::kRefused) return false;
        unit = static_cast<wchar_t>(table);
    }
    return true;
}

}  // namespace

bool pcToCp932(std::string_view pc, std::string* cp932) {
    std::wstring wide;
    if (!toWide(CP_ACP, pc, &wide) || !applyRules(&wide)) {
        cp932->clear();
        return false;
    }
    return fromWide(kTerminalCodePage, wide, cp932);
}

bool cp932ToWide(std::string_view cp932, std::wstring* wide) {
    return toWide(kTerminalCodePage, cp932, wide);
}

bool utf8ToWide(std::string_view utf8, std::wstring* wide) {
    return toWide(CP_UTF8, utf8, wide);
}

bool cp932ToPc(std::string_view cp932, std::string* pc) {
    std::wstring wide;
    return toWide(kTerminalCodePage, cp932, &wide) && fromWide(CP_ACP, wide, pc);
}

std::string pcTextFromUtf8(std::string_view utf8) {
    std::wstring wide;
    if (!toWide(CP_UTF8, utf8, &wide) || wide.empty()) return std::string(utf8);
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, "?", nullptr);
    std::string pc(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), pc.data(), n,
                            "?", nullptr);
    return pc;
}

}  // namespace vsk::platform
