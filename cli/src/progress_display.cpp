#include "progress_display.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <system_error>

#include "progress_line.h"
#include "terminal_text.h"
#include "veska.h"

namespace veskactl {
namespace {

constexpr auto kRefreshInterval = std::chrono::milliseconds(200);
constexpr size_t kDefaultColumns = 80;

void writeAll(const std::string& text) {
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t written = write(STDERR_FILENO, data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;  // a display only: nothing to recover
        data += written;
        left -= static_cast<size_t>(written);
    }
}

size_t terminalColumns() {
    struct winsize size = {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return kDefaultColumns;
}

// Ctrl-C must reach the thread that sits in the library's wait: the wait ends
// early on EINTR and then sees the abort request.
class InterruptsBlocked {
  public:
    InterruptsBlocked() {
        sigset_t interrupts;
        sigemptyset(&interrupts);
        sigaddset(&interrupts, SIGINT);
        sigaddset(&interrupts, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &interrupts, &previous_);
    }
    ~InterruptsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    InterruptsBlocked(const InterruptsBlocked&) = delete;
    InterruptsBlocked& operator=(const InterruptsBlocked&) = delete;

  private:
    sigset_t previous_;
};

}  // namespace

ProgressDisplay::ProgressDisplay(int32_t handle, KnownSizes sizes, std::string selection)
    : handle_(handle), sizes_(std::move(sizes)), selection_(std::move(selection)) {
    if (isatty(STDERR_FILENO) != 1) return;
    InterruptsBlocked blocked;  // inherited by the new thread only
    try {
        thread_ = std::thread([this] { sampleUntilStopped(); });
    } catch (const std::system_error&) {
        // The transfer goes on without a display.
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
        writeAll("\r" + line + "\x1b[K");
        shown = true;
    }
    if (shown) writeAll("\r\x1b[K");
}

}  // namespace veskactl
