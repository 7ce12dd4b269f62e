#include "progress_line.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace veskactl {
namespace {

constexpr size_t kBarCells = 20;
// A rate from less time than this is mostly the first block's latency.
constexpr double kMinSecondsForRate = 0.5;

struct Part {
    std::string text;
    size_t columns;
};

Part ascii(std::string text) {
    size_t columns = text.size();
    return Part{std::move(text), columns};
}

std::string bar(int32_t percent) {
    size_t filled = static_cast<size_t>(percent) * kBarCells / 100;
    return "[" + std::string(filled, '#') + std::string(kBarCells - filled, '.') + "]";
}

std::string joined(const std::vector<const Part*>& parts) {
    std::string line;
    for (const Part* part : parts) {
        if (!line.empty()) line += "  ";
        line += part->text;
    }
    return line;
}

size_t columnsOf(const std::vector<const Part*>& parts) {
    size_t columns = 0;
    for (const Part* part : parts) columns += part->columns;
    return parts.empty() ? 0 : columns + 2 * (parts.size() - 1);
}

}  // namespace

std::string formatRate(double bytesPerSecond) {
    char text[32];
    if (bytesPerSecond < 1000)
        std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
    else if (bytesPerSecond < 1000 * 1000)
        std::snprintf(text, sizeof text, "%.1f kB/s", bytesPerSecond / 1000);
    else
        std::snprintf(text, sizeof text, "%.1f MB/s", bytesPerSecond / (1000 * 1000));
    return text;
}

std::string formatProgressLine(const ProgressSample& sample, size_t width) {
    const Part terminal = ascii("HT " + (sample.ht.empty() ? std::string("---") : sample.ht));
    if (sample.name.empty()) {
        // The polling loops report a terminal without a file while they poll.
        Part polling = ascii("polling");
        std::vector<const Part*> parts{&terminal, &polling};
        return columnsOf(parts) <= width ? joined(parts) : std::string();
    }

    // A terminal may send more than it announced; the display stays within 0-100.
    const int32_t percent = std::clamp<int32_t>(sample.percent, 0, 100);
    const Part name{sample.name, sample.nameColumns};
    const Part share = ascii(std::to_string(percent) + "%");
    const Part meter = ascii(bar(percent));
    // The library reports a percentage only; with the size known, the line
    // shows the total and a rate derived from both, never a byte count it
    // would have to guess.
    std::optional<Part> shareOfTotal;
    std::optional<Part> rate;
    if (sample.totalBytes && *sample.totalBytes >= 0) {
        const int64_t total = *sample.totalBytes;
        shareOfTotal = ascii(share.text + " of " + std::to_string(total) + " bytes");
        if (sample.elapsedSeconds >= kMinSecondsForRate)
            rate = ascii(
                formatRate(static_cast<double>(total) * percent / 100 / sample.elapsedSeconds));
    }

    // From the fullest line to the barest, the first that fits.
    std::vector<std::vector<const Part*>> layouts;
    if (shareOfTotal && rate) layouts.push_back({&terminal, &name, &*shareOfTotal, &meter, &*rate});
    if (shareOfTotal) layouts.push_back({&terminal, &name, &*shareOfTotal, &meter});
    layouts.push_back({&terminal, &name, &share, &meter});
    if (shareOfTotal) layouts.push_back({&terminal, &name, &*shareOfTotal});
    layouts.push_back({&terminal, &name, &share});
    layouts.push_back({&terminal, &share});
    for (const auto& layout : layouts)
        if (columnsOf(layout) <= width) return joined(layout);
    return std::string();
}

}  // namespace veskactl
