// Test harness around the terminal simulator: starts veska-htsim as a child
// process, waits for the line to be ready, and reads back the frames it
// recorded, so a test can check what the PC side put on the line.
//
//   TempDir dir;
//   SimProcess sim({"--ht", "5", "--dir", dir.path(), "--fault", "nak=2@E"});
//   setenv("VESKA_COM1", sim.path().c_str(), 1);
//   ...
//   EXPECT_EQ(sim.received(isCommand('E', 5)).size(), 3u);
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vsk::htsim::testing {

// One line of the simulator's record file.
struct RecordedFrame {
    bool rx = false;  // true: sent by the PC, received by the simulator
    char type = '?';  // C, D, E, A, R
    std::string ht;   // three characters as on the line
    char block = '?';
    std::string length;   // four characters as on the line
    std::string control;  // "ACK", "NAK", "EOT", "CAN", a letter, "-" for data frames, or "0xNN"
    std::vector<uint8_t> data;  // the whole data field, control byte included
    std::string mark;  // "ok", "badbcc" (check byte wrong), "toolong" (length over the buffer)
    double ms = 0;     // milliseconds since the simulator started

    bool ok() const { return mark == "ok"; }
    int htNumber() const;  // 0 when the field is not three digits
    // The data after the control byte (for data frames: all of it), as text.
    std::string text() const;
};

std::optional<RecordedFrame> parseRecordLine(std::string_view line);

using FramePredicate = std::function<bool(const RecordedFrame&)>;

// Predicates for the common cases; `ht` 0 matches every HT number.
FramePredicate isCommand(char code, int ht = 0);
FramePredicate isFrame(char type, std::string_view control = {}, int ht = 0);

// A temporary folder, removed with everything in it when the object goes.
class TempDir {
  public:
    explicit TempDir(std::string_view tag = "htsim");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }
    // Writes `content` to the file `name` in the folder.
    void write(std::string_view name, std::string_view content) const;
    // The contents of the file `name` in the folder; nothing when it is missing.
    std::optional<std::string> read(std::string_view name) const;

  private:
    std::string path_;
};

// The contents of the file at `path`, or nothing when it cannot be read.
std::optional<std::string> readFile(const std::string& path);

// `size` bytes of file contents, every byte value included, different per
// `seed`: test data for transfers.
std::string testPattern(size_t size, unsigned seed = 0);

class SimProcess {
  public:
    // Starts the simulator with `args` (a --record FILE is added in a folder the
    // object owns) and waits until it prints its line's path. An argument of
    // the form "@dir:NAME" is replaced by a fresh folder, see dir(); the
    // argument "@no-record" leaves the record file out (for long transfers,
    // where recording every frame costs time; frames() is empty then). Throws
    // std::runtime_error, with the simulator's stderr, if it does not come up
    // within `startDeadline`.
    explicit SimProcess(std::vector<std::string> args,
                        std::chrono::milliseconds startDeadline = std::chrono::seconds(10));
    // SIGTERM, then SIGKILL if the simulator has not ended within two seconds.
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& path() const { return path_; }
    pid_t pid() const { return pid_; }
    const std::string& recordPath() const { return recordPath_; }
    // The folder that replaced "@dir:NAME" in the arguments.
    std::string dir(std::string_view name) const;
    // What the simulator has written on stderr so far (the trace, with --trace).
    std::string errorOutput() const;

    // Every frame recorded so far, in order.
    std::vector<RecordedFrame> frames() const;
    std::vector<RecordedFrame> received(const FramePredicate& pred = {}) const;
    std::vector<RecordedFrame> sent(const FramePredicate& pred = {}) const;

    // Waits until at least `n` received (or sent) frames match `pred`; false
    // when the deadline passes first.
    bool waitReceived(size_t n, const FramePredicate& pred,
                      std::chrono::milliseconds deadline = std::chrono::seconds(5)) const;
    bool waitSent(size_t n, const FramePredicate& pred,
                  std::chrono::milliseconds deadline = std::chrono::seconds(5)) const;

    // Stops the simulator now; returns its exit status (128 + signal when
    // killed). Later calls return the same status.
    int stop();
    // Waits for the simulator to end by itself (as after the hangup fault);
    // its exit status, or nothing when it still runs after `deadline`.
    std::optional<int> waitExit(std::chrono::milliseconds deadline = std::chrono::seconds(5));

  private:
    bool reap(int options);
    bool waitFrames(bool rx, size_t n, const FramePredicate& pred,
                    std::chrono::milliseconds deadline) const;
    std::string readPathLine(int fd, std::chrono::milliseconds deadline);

    std::unique_ptr<TempDir> work_;
    std::vector<std::pair<std::string, std::unique_ptr<TempDir>>> dirs_;
    std::string path_;
    std::string recordPath_;
    std::string errPath_;
    pid_t pid_ = -1;
    std::optional<int> status_;
};

}  // namespace vsk::htsim::testing
