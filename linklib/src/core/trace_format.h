// Inside the wire trace: formatting its lines straight into the sink's
// buffer (trace_format.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "trace_sink.h"

namespace vsk::trace::detail {

// Formats one line straight into the buffer. The constructor writes the time
// stamp and the process id; the destructor ends the line.
class Line {
  public:
    explicit Line(Tracer& t);
    ~Line();
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    Line& put(const char* s) {
        while (*s && p_ < end_) *p_++ = *s++;
        return *this;
    }
    Line& put(char c) {
        if (p_ < end_) *p_++ = c;
        return *this;
    }
    Line& num(uint64_t v) {
        char digits[20];
        size_t n = 0;
        do {
            digits[n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
        while (n > 0) put(digits[--n]);
        return *this;
    }
    Line& snum(int64_t v) {
        if (v < 0) {
            put('-');
            return num(static_cast<uint64_t>(-(v + 1)) + 1);
        }
        return num(static_cast<uint64_t>(v));
    }
    Line& hex(uint8_t b) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        put(kDigits[b >> 4]);
        return put(kDigits[b & 15]);
    }
    Line& hex32(uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) hex(static_cast<uint8_t>(v >> shift));
        return *this;
    }
    // A byte of text: printable ASCII as it is, anything else as \xNN.
    Line& textByte(uint8_t b) {
        if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\') return put(static_cast<char>(b));
        if (b == '"' || b == '\\') return put('\\').put(static_cast<char>(b));
        return put("\\x").hex(b);
    }
    Line& textBytes(const uint8_t* d, size_t n) {
        for (size_t i = 0; i < n; ++i) textByte(d[i]);
        return *this;
    }
    Line& hexBytes(const uint8_t* d, size_t n) {
        for (size_t i = 0; i < n; ++i) hex(d[i]);
        return *this;
    }
    // Milliseconds with three decimals from microseconds.
    Line& ms(uint64_t us) {
        num(us / 1000).put('.');
        put(static_cast<char>('0' + us / 100 % 10)).put(static_cast<char>('0' + us / 10 % 10));
        return put(static_cast<char>('0' + us % 10)).put(" ms");
    }

  private:
    Tracer& t_;
    char* p_;
    char* end_;
};

// The run of noise bytes collected so far, as one line.
void putNoise(Tracer& t);

}  // namespace vsk::trace::detail
