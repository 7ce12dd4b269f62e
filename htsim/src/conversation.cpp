#include "conversation.h"

#include "frame_defs.h"

namespace vsk::htsim {

namespace fr = vsk::frame;

AckedSequence::AckedSequence(int ht, char command, std::vector<Bytes> frames, bool lastAcknowledged,
                             FaultSet& faults, int maxResends)
    : ht_(ht),
      command_(command),
      frames_(std::move(frames)),
      lastAcknowledged_(lastAcknowledged),
      faults_(faults),
      maxResends_(maxResends) {}

Step AckedSequence::start() {
    return sendFrame(0);
}

Step AckedSequence::sendFrame(size_t index) {
    index_ = index;
    resends_ = 0;
    repeated_ = false;
    if (index_ >= frames_.size()) return {{}, true};
    if (faults_.fireAt(FaultKind::kCancelAt, command_, static_cast<int>(index_)))
        return {{endFrame(ht_, fr::CAN)}, true};
    bool last = index_ + 1 == frames_.size();
    Step s{{frames_[index_]}, last && !lastAcknowledged_};
    if (faults_.fireAt(FaultKind::kHangUp, command_, static_cast<int>(index_))) {
        s.hangUp = true;
        s.notes.push_back("line goes dead");
    }
    return s;
}

Step AckedSequence::resend() {
    return {{frames_[index_]}, false};
}

Step AckedSequence::onFrame(const Frame& f) {
    if (f.type == fr::kEnd && f.control() == fr::CAN) return {{}, true};
    if (f.type != fr::kAnswer) return {};
    if (f.control() == fr::NAK) return resend();
    // An acknowledgement of some other block is a late one for a frame already
    // passed (the PC answering a resend); it moves nothing.
    if (f.control() != fr::ACK || f.block != blockOf(frames_[index_])) return {};
    if (!repeated_ && faults_.fireAt(FaultKind::kRepeat, command_, static_cast<int>(index_))) {
        repeated_ = true;
        resends_ = 0;
        return resend();
    }
    return sendFrame(index_ + 1);
}

Step AckedSequence::onTimeout() {
    if (resends_ >= maxResends_) return {{}, true};
    ++resends_;
    return resend();
}

}  // namespace vsk::htsim
