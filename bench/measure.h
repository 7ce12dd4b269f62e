// What the benchmark programs measure with: wall and CPU seconds, peak
// memory, and the test file they move.
#pragma once

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

inline double now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// CPU seconds of this process, user and system.
inline double cpu() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

inline long peakRssKb() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

// `size` bytes of a repeating pattern, every byte value included.
inline void writePattern(const std::string& path, long size) {
    std::ofstream out(path, std::ios::binary);
    std::vector<char> chunk(65536);
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 31 + 7);
    for (long left = size; left > 0;) {
        long n = left < static_cast<long>(chunk.size()) ? left : static_cast<long>(chunk.size());
        out.write(chunk.data(), n);
        left -= n;
    }
}

// The middle of `v` (of the two middle ones for an even count).
inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace bench
