#include "progress_display.h"

#include <chrono>
#include <system_error>

#include "platform/console.h"
#include "platform/interrupts.h"
#include "progress_line.h"
#include "terminal_text.h"
#include "veska.h"

namespace veskactl {
namespace {

constexpr auto kRefreshInterval = std::chrono::milliseconds(200);
constexpr size_t kDefaultColumns = 80;

size_t terminalColumns() {
    const size_t columns = vsk::platform::statusLineColumns();
    return columns > 0 ? columns : kDefaultColumns;
}

}  // namespace

ProgressDisplay::ProgressDisplay(int32_t handle, KnownSizes sizes, std::string selection)
    : handle_(handle), sizes_(std::move(sizes)), selection_(std::move(selection)) {
    if (!vsk::platform::beginStatusLine()) return;
    // Ctrl-C must reach the thread that sits in the library's wait.
    try {
        thread_ = vsk::platform::threadWithoutInterrupts([this] { sampleUntilStopped(); });
    } catch (const std::system_error&) {
        // The transfer goes on without a display.
        vsk::platform::endStatusLine();
    }
}

ProgressDisplay::~ProgressDisplay() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    vsk::platform::endStatusLine();
}

bool ProgressDisplay::isSelected(const std::string& ht) const {
    if (selection_.empty()) return true;
    int number = 0;
    for (char c : ht) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
    }
    return number >= 1 && static_cast<size_t>(number) <= selection_.size() &&
           selection_[static_cast<size_t>(number) - 1] == '1';
}

void ProgressDisplay::sampleUntilStopped() {
    using Clock = std::chrono::steady_clock;
    std::string currentFile;
    Clock::time_point fileStarted = Clock::now();
    bool shown = false;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, kRefreshInterval, [this] { return stopping_; })) {
        ProgressRecord record{};
        if (Vsk_GetProcess(handle_, &record) != VSK_OK) continue;  // not transferring yet

        std::string ht(fieldText(record.HtNo, sizeof record.HtNo));
        std::string name(fieldText(record.FileName, sizeof record.FileName));
        if (name.empty() && !isSelected(ht)) continue;  // the loop passing over a number
        std::string file = ht;
        file += '/';
        file += name;
        if (file != currentFile) {
            currentFile = file;
            fileStarted = Clock::now();
        }
        ProgressSample sample;
        sample.ht = ht;
        DisplayText shownName = displayFromCp932(name);
        sample.name = shownName.utf8;
        sample.nameColumns = shownName.columns;
        sample.percent = record.Percent;
        if (auto known = sizes_.find(name); known != sizes_.end())
            sample.totalBytes = known->second;
        sample.elapsedSeconds = std::chrono::duration<double>(Clock::now() - fileStarted).count();

        // One column spare: writing the last column makes some terminals wrap.
        std::string line = formatProgressLine(sample, terminalColumns() - 1);
        vsk::platform::writeStatusLine("\r" + line + "\x1b[K");
        shown = true;
    }
    if (shown) vsk::platform::writeStatusLine("\r\x1b[K");
}

}  // namespace veskactl
