#include <windows.h>

#include <ctime>

#include "platform/clock.h"

namespace vsk::platform {

uint64_t tickUs() {
    static const uint64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<uint64_t>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const auto counts = static_cast<uint64_t>(now.QuadPart);
    return counts / frequency * 1000000u + counts % frequency * 1000000u / frequency;
}

uint32_t tickMs() {
    return static_cast<uint32_t>(tickUs() / 1000u);
}

void sleepMs(uint32_t ms) {
    Sleep(ms);
}

std::tm localNow() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    std::tm tm{};
    tm.tm_year = st.wYear - 1900;
    tm.tm_mon = st.wMonth - 1;
    tm.tm_mday = st.wDay;
    tm.tm_hour = st.wHour;
    tm.tm_min = st.wMinute;
    tm.tm_sec = st.wSecond;
    tm.tm_wday = st.wDayOfWeek;
    return tm;
}

}  // namespace vsk::platform
