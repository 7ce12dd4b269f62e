// Inside the wire trace: the buffer its lines collect in, the file they go
// to, and the lock and errno care around each event (trace_sink.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "codec.h"
#include "platform/trace_file.h"

namespace vsk::trace::detail {

constexpr size_t kBufferSize = size_t{64} * 1024;
constexpr size_t kLineMax = 4096;  // room kept free for the line being written
constexpr uint32_t kFlushEveryMs = 1000;
constexpr size_t kNoiseKept = 16;  // noise bytes shown: the first ones of a run

struct Tracer {
    std::mutex mutex;
    platform::TraceFile file;
    char path[4096] = {};
    bool warned = false;
    int32_t pid = 0;

    char buf[kBufferSize];
    size_t len = 0;
    uint32_t lastFlushMs = 0;

    int64_t stampSecond = -1;  // the second stampText was made for
    char stampText[20] = {};

    // The frame the PC sent last in this call: the same bytes again are a resend.
    uint8_t lastSent[frame::kSendBufferSize];
    size_t lastSentLen = 0;
    uint32_t sendings = 0;  // how often in a row it went out

    // A run of noise bytes, written as one line before the next event.
    uint8_t noise[kNoiseKept];
    size_t noiseCount = 0;

    void writeOut();
    void stop(const char* what, int err);
};

// Only used once a trace has been configured, so the tracer exists.
Tracer& tracer();

// Writes the buffer when the last write is a second ago, so that a long call
// shows its progress to someone watching the file.
void flushIfDue(Tracer& t);

// Holds the lock and keeps errno for one event; noise seen before it comes
// first, and the buffer goes out when it is due.
class Event {
  public:
    Event();
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    Tracer& t() { return t_; }

  private:
    Tracer& t_;
    std::lock_guard<std::mutex> lock_;
    int errno_;
};

}  // namespace vsk::trace::detail
