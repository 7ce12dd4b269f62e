// The clock for the fuzz build: virtual time that moves only when the engine
// waits (a read with nothing on the line, a sleep), so the engine's time-outs
// and retries run as on a real line but take no real time.
#include "fake_line.h"
#include "platform/clock.h"

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
