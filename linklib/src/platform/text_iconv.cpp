#include <iconv.h>

#include <cerrno>

#include "cp932_rules.h"
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

}  // namespace

// glibc's CP932 is Windows' code page 932, the terminals' PC side: the same
// table both ways, plus a few one-way mappings the rules take care of.
bool pcToCp932(std::string_view pc, std::string* cp932) {
    std::string prepared;
    if (!cp932::prepareForTable(pc, &prepared)) {
        cp932->clear();
        return false;
    }
    return convert("CP932", "UTF-8", prepared, cp932);
}

bool cp932ToPc(std::string_view cp932, std::string* pc) {
    return convert("UTF-8", "CP932", cp932, pc);
}

std::string pcTextFromUtf8(std::string_view utf8) {
    return std::string(utf8);
}

}  // namespace vsk::platform
