// What the wire trace needs from the system: a file that several processes
// append whole lines to, the wall clock, and a word on stderr. None of these
// touch the last system error or errno, so a trace can never change what a
// call reports.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vsk::platform {

class TraceFile {
  public:
    TraceFile() = default;
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;
    ~TraceFile() { close(); }

    // Opens `path` for appending (created when missing). False with the
    // cause in *err.
    bool open(const char* path, int* err);
    bool isOpen() const { return handle_ != -1; }
    // True while `path` still names the open file (not after it was moved
    // away or removed, as log rotation does).
    bool isAt(const char* path) const;
    // One write() of all `n` bytes where the system allows (O_APPEND keeps
    // lines of several processes whole); false with the cause in *err.
    bool write(const char* text, size_t n, int* err);
    void close();

  private:
    // A descriptor or a handle, by platform; -1 when closed.
    intptr_t handle_ = -1;
    int fd() const { return static_cast<int>(handle_); }
};

// Wall-clock time: seconds since the epoch and the milliseconds within.
struct WallTime {
    int64_t seconds;
    uint32_t ms;
};
WallTime wallNow();

// "YYYY-MM-DD hh:mm:ss" of `seconds` in local time, into out[20].
void localDateTime(int64_t seconds, char out[20]);

// The calling process's id and short name.
int32_t processId();
const char* programName();

// Writes `text` to stderr as it is.
void writeStderr(const char* text);

}  // namespace vsk::platform
