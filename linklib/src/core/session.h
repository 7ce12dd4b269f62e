// The library's module state and the exchange engine every operation uses:
// the session, the byte reader, reading a reply, sending a frame and waiting
// for the matching reply, purging, the cancel check and the abort frame.
// The state lives in session_state.cpp, opening and closing the port in
// session_port.cpp, the engine in exchange.cpp.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "codec.h"
#include "platform/port.h"
#include "veska.h"

namespace vsk {

// The progress counters. The running transfer writes them while callers read
// them at any moment (from an event handler, a signal handler or another
// thread), so every field is atomic and the texts are published under a
// sequence count: a reader never sees half of one name and half of another.
class Progress {
  public:
    // A new file: its name (zero-terminated, at most 12 bytes), HT number, total.
    void start(const char* name, const char* ht, int32_t total);
    void add(int32_t bytes) { done_.fetch_add(bytes); }
    void clear();
    int32_t done() const { return done_.load(); }
    int32_t total() const { return total_.load(); }
    // The texts as zero-padded copies.
    void texts(char ht[4], char name[13]) const;

  private:
    void storeTexts(const char* ht, const char* name);
    std::atomic<uint32_t> seq_{0};
    std::atomic<char> ht_[4] = {};
    std::atomic<char> name_[13] = {};
    std::atomic<int32_t> done_{0};
    std::atomic<int32_t> total_{0};
};

// Within a frame, what one byte may take on average: twice its time on the
// slowest line the settings allow (1200 baud, 12 bit times a byte).
inline constexpr uint64_t kFrameByteAllowanceMs = 20;

struct State {
    platform::Port port;
    std::atomic<int32_t> handle{0};  // what callers pass back; 0 = none recorded
    std::atomic<bool> open{false};   // set once Vsk_ComOpen has completed
    uint32_t timeoutMs = 0;          // reply time-out per byte
    uint32_t retry = 0;              // attempts per block or command
    uint8_t send[frame::kSendBufferSize] = {};
    size_t sendLen = 0;
    uint8_t recv[frame::kReceiveBufferSize] = {};
    std::atomic<int32_t> abortReason{0};  // 0, 1002 or 1003; set from signal handlers too
    // An abort requested during the running call: survives the clearing of the
    // abort reason at the start of each step of a compound operation.
    std::atomic<bool> abortRequested{false};
    char currentHt[4] = {};  // three characters and an end mark
    bool busy = false;
    std::atomic<bool> inTransfer{false};
    Progress progress;
};

State& state();

// Handle check for operations: the handle of the open session, not 0.
bool handleValid(int32_t handle);
// Handle check for closing: the handle recorded by the last open.
bool handleRecorded(int32_t handle);

int32_t comOpen(int32_t* handleOut, int32_t port, int32_t mode, const LineSettings* ls);
int32_t comClose(int32_t handle);

void setCurrentHt(const char* ht3);
// Clears the abort reason, except for an abort requested during the running call.
void clearAbort();
// A new exported call begins: earlier abort requests no longer count.
void beginCall();
// Asks the running call to stop with 1003 (Vsk_Suspend, the abort button).
void requestAbort();
int32_t abortReason();

void purgeInput();
// Reads at most 13 bytes already waiting; an end frame with CAN among them sets
// the abort reason to 1002. Returns 0 or 6006.
int32_t cancelCheck();
// The cancel check between the blocks of a transfer, over the bytes already
// read from the port with the last reply and nothing else: no system call.
// Both sides wait for each other's frame there, so a terminal that cancels
// does so in place of its reply; an end frame with CAN still on its way is
// the reply the next read gets, and classifying it gives 1002 as well.
int32_t cancelCheckBuffered();

// Builds a frame into the send buffer for `ht` (three characters).
size_t buildFrame(char type, const char* ht, char block, uint8_t control, const uint8_t* data,
                  size_t count);
// Builds a command frame with block "0" for the current HT number.
size_t buildCommand(char code, const uint8_t* params = nullptr, size_t count = 0);

// Writes the send buffer: 0, 6005 (system error) or 2005 (short write).
int32_t writeFrame();
// Writes an end frame with CAN for the current HT number: 0 or 6005.
int32_t writeAbortFrame();

// How long one reply may take in all before it ends with 2005, however many
// bytes keep coming: the time-out for its first byte, then the longest frame
// the PC can receive at kFrameByteAllowanceMs a byte.
uint64_t replyLimitUs(uint32_t timeoutMs);

// One byte by `endUs` (platform::tickUs time): 0, 2005, 6006 or (when honouring
// the abort) the abort reason, after writing the abort frame.
int32_t readByteBy(uint8_t* out, uint64_t endUs, bool honourAbort);
// One verified frame into the receive buffer by `endUs`: 0, 2002, or what the
// byte reader returned. Noise before an STX does not restart the time-out, and
// while no frame has begun an abort is honoured whatever `honourAbort` says;
// within a frame each byte gets the whole time-out, up to `endUs`.
int32_t readReplyBy(bool honourAbort, uint64_t endUs);
// As readReplyBy, within the reply limit from now.
int32_t readReply(bool honourAbort);

// Writes the send buffer and waits for the reply from the HT number it carries.
// Returns 0 (reply in the receive buffer), a result code, or -15 for a repeated
// block when `repeatTest` is on and the reply carries `prevBlock`.
int32_t exchange(uint32_t tries, bool repeatTest = false, char prevBlock = 0);
// Waits once more for a reply to the frame in the send buffer, without
// writing it again (the reply just read answered an earlier copy of it).
int32_t awaitAnotherReply();

// Reply kind of the frame in the receive buffer; an end frame with CAN also
// records abort reason 1002.
int classifyReply();

// The received frame's data field.
inline const char* replyData() {
    return reinterpret_cast<const char*>(state().recv + frame::kOffData);
}
inline size_t replyLength() {
    return frame::lengthStrict(state().recv);
}

// Keeps the reply time-out changed for the lifetime of the object.
class TimeoutOverride {
  public:
    explicit TimeoutOverride(uint32_t ms) : saved_(state().timeoutMs) { state().timeoutMs = ms; }
    ~TimeoutOverride() { state().timeoutMs = saved_; }
    TimeoutOverride(const TimeoutOverride&) = delete;
    TimeoutOverride& operator=(const TimeoutOverride&) = delete;

  private:
    uint32_t saved_;
};

}  // namespace vsk
