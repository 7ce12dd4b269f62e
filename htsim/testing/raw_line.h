// The PC end of a simulated line for tests that speak frames directly: opens
// the path raw, writes frames built with the shared codec, reads frames back
// under a deadline.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vsk::htsim::testing {

struct RawFrame {
    enum class Status { kOk, kBadCheck, kTooLong };
    Status status = Status::kOk;
    std::vector<uint8_t> bytes;  // from the STX (for kTooLong: the 10 header bytes)

    char type() const { return bytes.size() > 1 ? static_cast<char>(bytes[1]) : 0; }
    std::string ht() const;
    char block() const { return bytes.size() > 5 ? static_cast<char>(bytes[5]) : 0; }
    uint8_t control() const { return bytes.size() > 10 ? bytes[10] : 0; }
    // The data field, control byte included.
    std::string data() const;
};

class RawLine {
  public:
    explicit RawLine(const std::string& path);  // throws std::runtime_error
    ~RawLine();
    RawLine(const RawLine&) = delete;
    RawLine& operator=(const RawLine&) = delete;

    int fd() const { return fd_; }
    void write(const std::vector<uint8_t>& bytes);
    // A command frame "C" with block "0": code followed by the parameters.
    void sendCommand(int ht, char code, std::string_view params = {});
    void sendAnswer(int ht, char block, uint8_t control);
    // A data frame of at most 550 bytes, as the PC sends them.
    void sendData(int ht, char block, std::string_view data);
    void sendEnd(int ht, uint8_t control);
    // A result frame as the PC sends it: the letter is all its data.
    void sendResult(int ht, char block, char letter);
    // The next frame, bytes before its STX dropped; nothing when `timeout`
    // passes between two bytes or the line fails. The line is read in chunks;
    // bytes after the frame wait for the next read.
    std::optional<RawFrame> readFrame(std::chrono::milliseconds timeout = std::chrono::seconds(2));
    // Bytes arriving until the line stays quiet for `quiet`.
    std::vector<uint8_t> drain(std::chrono::milliseconds quiet);

  private:
    // Reads what has arrived into `pending_`; false when nothing comes within `timeout`.
    bool fill(std::chrono::milliseconds timeout);

    int fd_ = -1;
    std::vector<uint8_t> pending_;  // read from the line, not yet taken
    size_t pendingAt_ = 0;
};

// A name blank-filled to the 12 bytes it travels as.
std::string nameField(std::string_view name);

}  // namespace vsk::htsim::testing
