// Time services: a wrapping 32-bit millisecond tick counter, plain sleeps and
// the local calendar time.
#pragma once

#include <cstdint>
#include <ctime>

namespace vsk::platform {

// Monotonic milliseconds, truncated to 32 bits: differences taken as unsigned
// 32-bit values stay correct across a wrap.
uint32_t tickMs();

inline uint32_t elapsedMs(uint32_t since) {
    return tickMs() - since;
}

// Monotonic microseconds, for waits that must end close to their limit.
uint64_t tickUs();

void sleepMs(uint32_t ms);

// Local date and time of this moment.
std::tm localNow();

}  // namespace vsk::platform
