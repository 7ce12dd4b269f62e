// Faults a simulated terminal can be told to commit, so that the PC side's
// handling of a misbehaving terminal or line can be exercised on demand.
//
// FAULT := KIND [ "=" ARG ] [ "*" COUNT ] [ "@" LETTERS ]
//
// LETTERS limits the fault to commands with those codes (default: every
// command); a fault on a frame the terminal sends in the middle of a
// conversation (a listing) goes by the command that started it. COUNT says how
// many times the fault fires before it is spent. For silent, nak and badbcc
// the ARG itself is the count. Faults aimed at a place in a transfer take a
// position as ARG: [FILE ":"] FRAME, FRAME being a frame index from 0 or "h"
// for a batch header. The README lists every kind.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "wire.h"

namespace vsk::htsim {

enum class FaultKind {
    kSilent,        // silent[=N]       the command goes unanswered (N commands, default all)
    kNak,           // nak[=N]          answer NAK instead of carrying out the command (default 1)
    kBadCheck,      // badbcc[=N]       corrupt the BCC of the next N frames sent (default 1)
    kOtherHt,       // otherht[=HT]     send a copy from another HT number before the frame
    kForeignOnly,   // foreign[=HT]     send only that copy, never the frame itself
    kNoise,         // noise[=BYTES]    line noise before the STX (default 8 bytes)
    kRepeat,        // repeat[=POS]     after the ACK of frame POS, send it again
    kResult,        // result=M|F|R|A|S a result frame instead of the reply
    kCancel,        // cancel           an end frame with CAN instead of the reply
    kCancelAt,      // cancel=POS       an end frame with CAN in place of the frame at POS
    kSplit,         // split=N          N entries per listing data frame
    kExtra,         // extra=N          N synthetic files added to listings and batch uploads
    kLongLength,    // longlen[=LEN]    the frame announces LEN data bytes (default 2000)
    kSlow,          // slow=MS          hold every byte sent for MS milliseconds
    kDelay,         // delay=MS         wait MS milliseconds before sending a frame
    kEndReply,      // eot              an end frame with EOT instead of the reply
    kResultAt,      // result=L,POS     a result frame in place of the terminal's frame at POS
    kBlockNak,      // blknak=POS       NAK instead of the ACK of the PC's data frame POS
    kBlockSilent,   // blksilent=POS    no answer to data frame POS, or frame POS held back
    kPrevAck,       // prevack=POS      the ACK of data frame POS carries the previous number
    kTwice,         // twice=POS        data frame POS goes out twice in a row
    kHangUp,        // hangup=POS       the line goes dead once frame POS has crossed it
    kHangUpNow,     // hangup           the line goes dead instead of the reply to the command
    kRepeatHeader,  // rehead[=FILE]    a batch header sent again after its ACK
    kShort,         // short=N          an upload ends N bytes before the size announced
    kBadName,       // badname[=NAME]   a file named NAME (leaving the folder) is offered
    kOverlong,      // overlong[=N]     an upload sends N bytes more than its size says
    kManyFiles,     // manyfiles=N      a batch upload announces N files and never runs out
    // A misbehaving line or a terminal that does not know when to stop.
    kBabble,   // babble[=RATE]    non-STX bytes on the line, RATE a second (default 1000)
    kEndless,  // endless          a listing that never sends its end frame
    kLateAck,  // lateack=POS,MS   the ACK of data frame POS held MS ms; its resent copy acked too
    kCancelAfter,  // canafter=POS[,MS]  an end frame with CAN right after the ACK of data
                   // frame POS; with MS, its second half MS milliseconds after the first
};

// Positions in a transfer. Frames count from 0 within one file: data frames
// with the file's contents (in listings, every frame of the sequence). Files
// count from 0 in the order a batch carries them.
inline constexpr int kAnyFile = -1;
inline constexpr int kHeaderFrame = -1;

struct Position {
    int file = 0;
    int frame = 0;
};

struct Fault {
    FaultKind kind = FaultKind::kSilent;
    int arg = 0;
    int count = -1;           // firings left; -1: no limit
    std::string letters;      // command codes it applies to; empty: all
    int file = kAnyFile;      // positioned faults: the file of a batch, or any
    int frame = 0;            // positioned faults: the frame, or kHeaderFrame
    std::string text;         // badname: the name offered
    bool controlled = false;  // given over the control channel, not on the command line

    bool appliesTo(char command) const {
        return letters.empty() || letters.find(command) != std::string::npos;
    }
};

// Parses one fault description. On failure returns nothing and says why in `error`.
std::optional<Fault> parseFault(std::string_view text, std::string* error);

// The faults of one terminal, with what is left of their counts.
class FaultSet {
  public:
    FaultSet() = default;
    explicit FaultSet(std::vector<Fault> faults) : faults_(std::move(faults)) {}

    void add(const Fault& f) { faults_.push_back(f); }
    // Puts `faults` in place of those given over the control channel before;
    // the command line's faults stay.
    void replaceControlled(std::vector<Fault> faults);
    bool empty() const { return faults_.empty(); }

    // Takes one firing from the first live fault of `kind` that applies to `command`.
    const Fault* fire(FaultKind kind, char command);
    // As fire, for faults aimed at a position in a sequence or transfer.
    const Fault* fireAt(FaultKind kind, char command, Position at);
    const Fault* fireAt(FaultKind kind, char command, int frame) {
        return fireAt(kind, command, Position{0, frame});
    }
    // The first fault of `kind` for `command`, without using it up (split, extra, slow).
    const Fault* find(FaultKind kind, char command) const;
    // Every fault of `kind` for `command` (badname may be given several times).
    std::vector<const Fault*> findAll(FaultKind kind, char command) const;

    // Shapes a frame this terminal (number `ownHt`) sends while serving `command`.
    Emission shape(Bytes frame, char command, int ownHt);

  private:
    std::vector<Fault> faults_;
};

// The frame as sent by another HT number (BCC recomputed).
Bytes withHt(Bytes frame, int ht);
// The frame with its length field announcing `length` data bytes, the data
// padded with blanks (or cut) to match, and a valid BCC.
Bytes withLength(const Bytes& frame, int length);
// `n` bytes of noise that never contain an STX; `from` continues a run of it
// after that many bytes.
Bytes noiseBytes(int n, uint64_t from = 0);

}  // namespace vsk::htsim
