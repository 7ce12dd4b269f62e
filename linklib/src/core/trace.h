// The wire trace: with VESKA_TRACE=FILE the library appends a readable line
// for every frame on the line, every time-out, retry, abort and line failure,
// and the result of the exported calls to FILE (not of those that may run in
// a signal handler while another call runs: see exports.cpp).
//
// Off, each hook below is one test of a flag that is only set when a session
// opens: nothing is formatted and no system call is made. On, lines collect in
// a buffer that goes out in one write() at the end of each exported call, on an
// abort or a line failure, when it fills, and at least once a second while
// lines keep coming; the file is opened with O_APPEND, so several processes can
// share it. A trace that cannot be opened or written is simply off: it never
// changes a call's result, errno or the last system error.
//
// The buffer and the file are trace_sink.cpp's, the lines trace_format.cpp's.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "codec.h"
#include "veska.h"

namespace vsk::trace {

// One argument of an exported call, as the call's result line shows it.
struct Arg {
    enum class Kind : uint8_t { kInt, kHex, kText, kMask, kPort, kLine, kHandleOut };
    Kind kind;
    const char* name;
    const void* ptr = nullptr;  // kText, kMask: the text; kLine: the LineSettings; kHandleOut
    int32_t value = 0;          // kInt, kHex, kPort: the value; kText: the most bytes to read
};

inline Arg num(const char* name, int32_t v) {
    return {Arg::Kind::kInt, name, nullptr, v};
}
inline Arg handle(int32_t v) {
    return {Arg::Kind::kHex, "handle", nullptr, v};
}
inline Arg text(const char* name, const char* s, int32_t cap = 260) {
    return {Arg::Kind::kText, name, s, cap};
}
// A 128-character terminal mask, shown as the numbers it selects.
inline Arg mask(const char* s) {
    return {Arg::Kind::kMask, "mask", s, 0};
}
// A port number with the device it opens.
inline Arg port(int32_t n) {
    return {Arg::Kind::kPort, "port", nullptr, n};
}
// The LineSettings record (may be null).
inline Arg line(const void* settings) {
    return {Arg::Kind::kLine, "line", settings, 0};
}
// Where Vsk_ComOpen stores the handle: shown as it is after the call.
inline Arg handleOut(const int32_t* h) {
    return {Arg::Kind::kHandleOut, "handle", h, 0};
}

namespace detail {
extern std::atomic<bool> gOn;
uint64_t callStarts();
void callEnds(const char* name, std::initializer_list<Arg> args, int32_t result,
              uint64_t startedUs);
void sent(const uint8_t* f, size_t n, int32_t result, int32_t abortReason);
void noise(uint8_t b);
void frameRead(frame::FrameReader::Status status, const uint8_t* f);
void timedOut(uint32_t timeoutMs, size_t partial);
void foreignReply(const char* expectedHt);
void waitingAgain(int32_t why, uint32_t attempt, uint32_t tries);
void staleAck(char block);
void abortByTerminal(bool betweenFrames);
void dropped(const uint8_t* bytes, size_t n);
void lineFailure(const char* what);
}  // namespace detail

inline bool on() {
    return __builtin_expect(detail::gOn.load(std::memory_order_relaxed), false);
}

// Reads VESKA_TRACE: called as a session opens, before the port is touched.
// The same file stays open from one session to the next; another name
// switches to it; an unset or empty variable switches the trace off.
void configure();

// --- the export layer

// The moment an exported call starts, for its duration (0 when off).
inline uint64_t callStarts() {
    return on() ? detail::callStarts() : 0;
}
// The call's result line: its name, arguments, result, the result's text and
// the time it took. Then the buffer is written.
inline void callEnds(const char* name, std::initializer_list<Arg> args, int32_t result,
                     uint64_t startedUs) {
    if (on()) detail::callEnds(name, args, result, startedUs);
}

// --- the exchange engine

// The PC wrote frame f (n bytes); `result` is what the write gave (0 when the
// whole frame went out).
inline void sent(const uint8_t* f, size_t n, int32_t result) {
    if (on()) detail::sent(f, n, result, 0);
}
// The end frame with CAN that aborts a call for `reason`.
inline void abortSent(const uint8_t* f, size_t n, int32_t result, int32_t reason) {
    if (on()) detail::sent(f, n, result, reason);
}
// A byte the reader took: noted when it was dropped as noise before a frame.
inline void byteTaken(const frame::FrameReader& reader, uint8_t b) {
    if (on() && !reader.inFrame()) detail::noise(b);
}
// A frame the reader finished: complete, with a wrong check byte, or too long.
inline void frameRead(frame::FrameReader::Status status, const frame::FrameReader& reader) {
    if (on()) detail::frameRead(status, reader.frame());
}
// Reading a reply ended with `result` before a frame was complete.
inline void readEnded(int32_t result, const frame::FrameReader& reader, uint32_t timeoutMs) {
    if (on() && result == VSK_E_TIMEOUT) detail::timedOut(timeoutMs, reader.size());
}
// The frame just read came from another HT number than `expectedHt` (3 characters).
inline void foreignReply(const char* expectedHt) {
    if (on()) detail::foreignReply(expectedHt);
}
// The reply did not do (`why`: a time-out, a bad frame or a repeated block):
// the engine waits for the terminal's next one, try `attempt` of `tries`.
inline void waitingAgain(int32_t why, uint32_t attempt, uint32_t tries) {
    if (on()) detail::waitingAgain(why, attempt, tries);
}
// The ACK just read answers a copy of block `block` that went out again after
// a time-out: a late one, passed over while this block's own is awaited.
inline void staleAck(char block) {
    if (on()) detail::staleAck(block);
}
// The terminal's end frame with CAN stopped the call (1002).
inline void abortByTerminal(bool betweenFrames = false) {
    if (on()) detail::abortByTerminal(betweenFrames);
}
// Bytes read while looking for a CAN between blocks and then dropped.
inline void dropped(const uint8_t* bytes, size_t n) {
    if (on() && n > 0) detail::dropped(bytes, n);
}
// A system call on the line failed; its errno is the last system error.
inline void lineFailure(const char* what) {
    if (on()) detail::lineFailure(what);
}

}  // namespace vsk::trace
