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

// The protocol's ceiling on a line of `baud` 8N1, in file bytes per second:
// each 512-byte block costs its 524-byte data frame and the terminal's 13-byte
// acknowledgement, one after the other, so at most 512/537 of the line's B/10
// bytes per second carry file contents.
inline double protocolCeiling(long baud) {
    return 512.0 / 537.0 * static_cast<double>(baud) / 10.0;
}

// The middle of `v` (of the two middle ones for an even count).
inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace bench
