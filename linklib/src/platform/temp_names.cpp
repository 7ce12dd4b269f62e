#include "platform/temp_names.h"

#include <cstdio>

namespace vsk::platform {
namespace {

constexpr size_t kSuffixDigits = 8;

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

}  // namespace

std::string tempFileName(uint32_t pid, uint32_t random) {
    char suffix[kSuffixDigits + 1];
    std::snprintf(suffix, sizeof suffix, "%08x", random);
    return std::string(kTempPrefix) + std::to_string(pid) + "-" + suffix;
}

uint32_t tempFileOwner(std::string_view name) {
    if (name.substr(0, kTempPrefix.size()) != kTempPrefix) return 0;
    name.remove_prefix(kTempPrefix.size());
    uint64_t pid = 0;
    size_t i = 0;
    for (; i < name.size() && i < 10 && name[i] >= '0' && name[i] <= '9'; ++i)
        pid = pid * 10 + static_cast<uint64_t>(name[i] - '0');
    if (i == 0 || i >= name.size() || name[i] != '-' || pid > UINT32_MAX) return 0;
    const std::string_view suffix = name.substr(i + 1);
    if (suffix.size() != kSuffixDigits) return 0;
    for (char c : suffix)
        if (!isHexDigit(c)) return 0;
    return static_cast<uint32_t>(pid);
}

}  // namespace vsk::platform
