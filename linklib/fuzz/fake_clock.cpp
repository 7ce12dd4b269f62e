// The clock for the fuzz build: virtual time that moves only when the engine
// waits (a read with nothing on the line, a sleep), so the engine's time-outs
// and retries run as on a real line but take no real time. Also the last
// system error, which the real build keeps beside its clock.
#include <cstring>

#include "fake_line.h"
#include "platform/clock.h"
#include "platform/syserror.h"

namespace vsk::fuzz {
namespace {
uint64_t gNowUs = 0;
}

uint64_t nowUs() {
    return gNowUs;
}
void advanceUs(uint64_t us) {
    gNowUs += us;
}
void resetClock() {
    // Not 0: the engine's differences must survive any start value.
    gNowUs = 0xFFFF0000ull * 1000u;
}

}  // namespace vsk::fuzz

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
    return fuzz::nowUs();
}

uint32_t tickMs() {
    return static_cast<uint32_t>(fuzz::nowUs() / 1000u);
}

void sleepMs(uint32_t ms) {
    fuzz::advanceUs(static_cast<uint64_t>(ms) * 1000u);
}

std::tm localNow() {
    std::tm tm{};
    tm.tm_year = 124;
    tm.tm_mon = 4;
    tm.tm_mday = 17;
    tm.tm_hour = 9;
    tm.tm_min = 30;
    tm.tm_sec = static_cast<int>(fuzz::nowUs() / 1000000u % 60);
    return tm;
}

}  // namespace vsk::platform
