#include <time.h>

#include <cstring>

#include "platform/clock.h"
#include "platform/syserror.h"

namespace vsk::platform {

namespace {
int32_t gLastSysError = 0;
}

int32_t lastSysError() {
    return gLastSysError;
}
void setLastSysError(int32_t value) {
    gLastSysError = value;
}

bool sysErrorText(int32_t code, char* out, size_t cap) {
    if (cap == 0) return false;
    char local[256];
    const char* text = strerror_r(code, local, sizeof local);
    if (text == nullptr || text[0] == '\0') return false;
    std::strncpy(out, text, cap - 1);
    out[cap - 1] = '\0';
    return true;
}

uint64_t tickUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

uint32_t tickMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

void sleepMs(uint32_t ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

std::tm localNow() {
    time_t now = time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return tm;
}

}  // namespace vsk::platform
