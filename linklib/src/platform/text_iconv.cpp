#include <iconv.h>

#include <cerrno>

#include "platform/text.h"

namespace vsk::platform {
namespace {

bool convert(const char* to, const char* from, std::string_view in, std::string* out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out->clear();
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buf[256];
    bool ok = true;
    while (srcLeft > 0) {
        char* dst = buf;
        size_t dstLeft = sizeof buf;
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out->append(buf, static_cast<size_t>(dst - buf));
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    return ok;
}

bool isLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

}  // namespace

bool utf8ToCp932(std::string_view utf8, std::string* cp932) {
    return convert("CP932", "UTF-8", utf8, cp932);
}

bool cp932ToUtf8(std::string_view cp932, std::string* utf8) {
    return convert("UTF-8", "CP932", cp932, utf8);
}

std::string_view cp932Prefix(std::string_view s, size_t maxBytes) {
    size_t i = 0;
    while (i < s.size()) {
        size_t width = isLeadByte(static_cast<unsigned char>(s[i])) ? 2 : 1;
        if (i + width > maxBytes || i + width > s.size()) break;
        i += width;
    }
    return s.substr(0, i);
}

}  // namespace vsk::platform
