// Building, reading, checking and classifying link frames, and the fixed-width
// text fields that travel in them. Pure functions over byte buffers: nothing
// here touches a port or a file, so it can be tested and fuzzed alone.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame_defs.h"

namespace vsk::frame {

// XOR of the bytes [begin, end).
uint8_t blockCheck(const uint8_t* begin, const uint8_t* end);

// Builds a frame into `out` (kSendBufferSize bytes, cleared first) and returns its
// length n + 12. `ht` contributes exactly three characters (a shorter text is
// right-aligned and zero-filled); the first character of `block` is the block
// number. With no data the control byte alone is the data (even when it is 0);
// with data and a non-zero control byte the control byte is put first. Data
// beyond the staging area are cut so the frame always fits.
size_t build(uint8_t* out, char type, const char* ht, const char* block, uint8_t control,
             const uint8_t* data, size_t count);

// The length field read for fetching: leading digits count, the first non-digit
// ends the number.
size_t lengthLeading(const uint8_t* frame);
// The length field read for checking: 0 when any of its four characters is not a digit.
size_t lengthStrict(const uint8_t* frame);

// 0 when the frame's BCC matches, 2002 otherwise. `frame` holds at least
// 12 + lengthStrict(frame) bytes.
int check(const uint8_t* frame);

// Reply kind of a received frame (see kind::), or 2002 for an unexpected type.
int classify(const uint8_t* frame);

// Copies the data field (lengthStrict bytes) to `out`, at most `cap` bytes; returns the count.
size_t data(const uint8_t* frame, uint8_t* out, size_t cap);

// Incremental reader for one frame: bytes before the STX are dropped, then the
// header, the announced data, the ETX and the BCC are collected. A length field
// announcing more than kMaxReceiveData is rejected before anything past the
// header is stored.
class FrameReader {
  public:
    enum class Status { kNeedMore, kComplete, kBadCheck, kTooLong };

    void reset() {
        size_ = 0;
        need_ = 0;
    }
    Status push(uint8_t byte);
    // How many more bytes the frame begun takes before it can be judged (the
    // rest of the header, then the rest of the frame); 0 while none has begun.
    size_t wanted() const;
    // Takes at most wanted() of `bytes` into the frame begun in one go (the
    // bytes of a frame already read from the port); as that many push calls.
    Status pushSome(const uint8_t* bytes, size_t n);
    const uint8_t* frame() const { return buf_; }
    size_t size() const { return size_; }
    // True once an STX has been seen and the frame is not yet complete.
    bool inFrame() const { return size_ > 0; }

  private:
    uint8_t buf_[kReceiveBufferSize] = {};
    size_t size_ = 0;
    size_t need_ = 0;  // total bytes expected, known after the header
};

// Accessors for a frame in a buffer.
inline char typeOf(const uint8_t* f) {
    return static_cast<char>(f[kOffType]);
}
inline char blockOf(const uint8_t* f) {
    return static_cast<char>(f[kOffBlock]);
}
inline uint8_t controlOf(const uint8_t* f) {
    return f[kOffData];
}
inline size_t frameSize(const uint8_t* f) {
    return lengthStrict(f) + kOverhead;
}
bool sameHt(const uint8_t* f, const char* ht);

// HT number check on a three-character field: digits only, value 1 to 128.
bool htValid(const char* field);

// Next block number: '0'..'9', then '0' again.
inline char nextBlock(char b) {
    return b >= '9' || b < '0' ? '0' : static_cast<char>(b + 1);
}

}  // namespace vsk::frame

namespace vsk::field {

// Blank-filled field of width w: w-1 blanks and an end mark, then at most w-1
// characters of `src` (up to its zero byte) copied over the start. A null
// source leaves the blanks.
void blankFill(char* out, size_t w, const char* src);

// Ends a w-wide field right after its last non-blank character, searching from
// position w-2 back to position `stop`; a field of blanks stays as it is.
void trimTrailingBlanks(char* field, size_t w, size_t stop = 0);

// Upper-cases the first 12 characters of a name (up to its end mark).
void upperName(char* name);

// Reads a decimal number from `n` characters: leading digits count, the first
// non-digit ends it. A blank-only or non-numeric text gives 0.
int32_t decimal(const char* p, size_t n);

// Writes `value` as `width` zero-filled digits (no end mark).
void digits(char* out, size_t width, int64_t value);

}  // namespace vsk::field
