// The one-line progress display of a running transfer, as text. Kept apart
// from the thread that shows it so that its layout can be checked directly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace veskactl {

struct ProgressSample {
    std::string ht;          // three digits, or empty before the first terminal
    std::string name;        // the file name as UTF-8, safe to print; empty while polling
    size_t nameColumns = 0;  // its width on the screen
    int32_t percent = 0;     // as the library reports it
    std::optional<int64_t> totalBytes;  // known for files whose size the command knows
    double elapsedSeconds = 0;          // since this file's transfer was first seen
};

// The line for `sample`, at most `width` columns: the parts that do not fit
// are left out, least useful first (the rate, the bar, the size).
std::string formatProgressLine(const ProgressSample& sample, size_t width);

// "850 B/s", "3.4 kB/s", "1.2 MB/s".
std::string formatRate(double bytesPerSecond);

}  // namespace veskactl
