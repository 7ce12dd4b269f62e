// Frames as the simulated terminals see them: split into fields for the
// terminal logic, built with the shared codec, and written out as text for the
// trace and the record file.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vsk::htsim {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

// A frame read off the line, fields split out.
struct Frame {
    char type = 0;
    std::string ht;  // the three HT characters as received
    char block = '0';
    std::string length;  // the four length characters as received
    Bytes data;          // the data field, control byte included
    bool checkOk = true;

    uint8_t control() const { return data.empty() ? 0 : data[0]; }
    // The data after the control byte: a command's parameters.
    std::span<const uint8_t> params() const;
};

// Splits `size` bytes starting at the STX. Data announced beyond `size` is cut.
Frame splitFrame(const uint8_t* raw, size_t size, bool checkOk);

// True when the BCC of the `size` bytes at `raw` matches their length field.
bool checkMatches(const uint8_t* raw, size_t size);

// "001".."128".
std::string htField(int number);

// Builds a frame from this terminal (or any HT number) with the shared codec.
Bytes makeFrame(char type, int ht, char block, uint8_t control, std::span<const uint8_t> data = {});
Bytes answerFrame(int ht, char block, uint8_t control);
Bytes resultFrame(int ht, char letter);
Bytes endFrame(int ht, uint8_t control);
// Data frames may carry up to 1012 bytes (what the PC can receive), more than
// the shared codec stages for sending.
Bytes dataFrame(int ht, char block, std::span<const uint8_t> data);
Bytes dataFrame(int ht, char block, const std::string& text);

// The block number before `b` in the cycle "0".."9".
inline char previousBlock(char b) {
    return b <= '0' || b > '9' ? '9' : static_cast<char>(b - 1);
}

// Block number of a built frame.
inline char blockOf(const Bytes& frame) {
    return frame.size() > 5 ? static_cast<char>(frame[5]) : '0';
}

// A stretch of bytes one write puts on the line: a frame, or line noise.
struct Segment {
    Bytes bytes;
    bool isFrame = true;
    // How the trace names bytes that are not a whole frame.
    std::string what = "noise";
};

// What a terminal hands to the line for one frame it sends, shaped by its
// faults: optional noise and foreign frames around the frame, a hold before
// the first byte and a delay after every byte.
struct Emission {
    std::vector<Segment> segments;
    std::chrono::milliseconds delay{0};
    std::chrono::microseconds perByte{0};
    bool hangUp = false;  // the line goes dead once these bytes are out

    std::vector<Bytes> frames() const;
};

// ACK, NAK, EOT, CAN, the letter for printable bytes, else 0xNN.
std::string controlName(uint8_t c);
std::string hex(std::span<const uint8_t> bytes);

// One line of the record file (no newline):
//   DIR TYPE HT BLOCK LENGTH CONTROL DATAHEX MARK MS
std::string recordLine(bool rx, const Frame& f, const char* mark, double ms);
// One readable trace line (no newline).
std::string traceLine(bool rx, const Frame& f, const char* mark, double ms);

}  // namespace vsk::htsim
