// Shows the library's progress counters on stderr while a transfer runs.
//
// The library is synchronous: the transfer runs on the calling thread and calls
// nothing back. So a second thread samples the counters every 200 ms with
// Vsk_GetProcess, which only reads them and takes no busy flag, and redraws
// one line (platform/console.h). Nothing is shown when stderr is not a
// terminal.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace veskactl {

// File sizes the command knows, by terminal file name (CP932 bytes); with
// them the line shows bytes and a rate, without them only the percentage.
using KnownSizes = std::map<std::string, int64_t>;

class ProgressDisplay {
  public:
    // `selection`, a 128-character mask, keeps the polling loops' passes over
    // unselected terminal numbers off the line; empty for other transfers.
    ProgressDisplay(int32_t handle, KnownSizes sizes, std::string selection = {});
    // Stops the sampling thread and clears the line, so that whatever is
    // printed next starts on a clean line.
    ~ProgressDisplay();
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  private:
    void sampleUntilStopped();
    bool isSelected(const std::string& ht) const;

    int32_t handle_;
    KnownSizes sizes_;
    std::string selection_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace veskactl
