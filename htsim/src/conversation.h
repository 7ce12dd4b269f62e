// What a terminal does after it has answered a command and still expects the
// PC to say something: a conversation. Commands with a one-frame reply need
// none; a listing or the end of an application keeps one until the PC's last
// acknowledgement arrives, the PC cancels, or the terminal gives up.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "fault.h"
#include "wire.h"

namespace vsk::htsim {

// What a conversation wants sent, and whether it is over.
struct Step {
    Step() = default;
    Step(std::vector<Bytes> frames, bool over = false, bool restart = false)
        : send(std::move(frames)), finished(over), wait(restart) {}

    std::vector<Bytes> send;
    bool finished = false;
    // Restart the time-out although nothing is sent: a terminal receiving a
    // file waits for the PC's next frame from the last one it heard.
    bool wait = false;
    // The line goes dead once `send` is out (the conversation is over too).
    bool hangUp = false;
    std::vector<std::string> notes;  // for the trace
    // Held this long before `send` goes out; the line is not read meanwhile,
    // so what the PC sends in the while is answered afterwards.
    std::chrono::milliseconds hold{0};
    // The last frame of `send` is cut in two: its first half goes out in the
    // same write as the frame before it, the rest this much later.
    std::chrono::milliseconds cutLast{0};
};

class Conversation {
  public:
    virtual ~Conversation() = default;
    // The first frames, sent in reply to the command.
    virtual Step start() = 0;
    // A frame from the PC, addressed to this terminal, that is not a command.
    virtual Step onFrame(const Frame& f) = 0;
    // The PC has not answered within the terminal's acknowledgement time-out.
    virtual Step onTimeout() = 0;
    // A frame addressed to this terminal arrived with a wrong check byte. Most
    // conversations leave it to their time-out; a receiving one asks again.
    virtual Step onDamaged(const Frame&) { return {}; }
};

// Frames sent one at a time, each acknowledged by the PC (an answer frame with
// ACK echoing its block number) before the next goes out. The last frame is
// either acknowledged too or ends the conversation when sent (a listing's end
// frame). Unanswered frames are sent again up to `maxResends` times.
//
// Faults aimed at frame K of a sequence: repeat=K (send K once more after its
// ACK) and cancel=K (an end frame with CAN goes out in place of K).
class AckedSequence : public Conversation {
  public:
    AckedSequence(int ht, char command, std::vector<Bytes> frames, bool lastAcknowledged,
                  FaultSet& faults, int maxResends);

    Step start() override;
    Step onFrame(const Frame& f) override;
    Step onTimeout() override;

  private:
    Step sendFrame(size_t index);
    Step resend();

    int ht_;
    char command_;
    std::vector<Bytes> frames_;
    bool lastAcknowledged_;
    FaultSet& faults_;
    int maxResends_;
    size_t index_ = 0;
    int resends_ = 0;
    bool repeated_ = false;  // frame index_ has already been sent again once
};

}  // namespace vsk::htsim
