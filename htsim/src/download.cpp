// Files the PC sends to the terminal: "D", the installs "A", "B", "O", and the
// batches "W" and "V".
#include <algorithm>

#include "codec.h"
#include "transfer.h"

namespace vsk::htsim {

namespace fr = vsk::frame;

namespace {

Step waiting() {
    Step s;
    s.wait = true;
    return s;
}

Step over(std::string note, std::vector<Bytes> send = {}) {
    Step s;
    s.send = std::move(send);
    s.finished = true;
    s.notes.push_back(std::move(note));
    return s;
}

// The data frames of one file. Each new block is written and acknowledged
// with its own number; a block sent again because the PC missed the
// acknowledgement is acknowledged again but not written twice.
class BlockReceiver {
  public:
    BlockReceiver(const TransferContext& tc, std::unique_ptr<IncomingFile> file, int64_t size,
                  int fileIndex)
        : tc_(tc), file_(std::move(file)), size_(size), fileIndex_(fileIndex) {}

    Step onData(const Frame& f) {
        if (f.block == expected_) return answer(f, blocks_, true);
        if (isRepeat(f)) return answer(f, blocks_ - 1, false);
        Step s = waiting();
        s.send.push_back(answerFrame(tc_.ht, f.block, fr::NAK));
        return s;
    }

    // True for the next block when it fits in the size announced, and for the
    // last block sent again.
    bool fits(const Frame& f) const {
        if (f.block == expected_)
            return file_->written() + static_cast<int64_t>(f.data.size()) <= size_;
        return isRepeat(f);
    }

    bool started() const { return blocks_ > 0; }
    int64_t received() const { return file_->written(); }
    int64_t size() const { return size_; }
    bool complete() const { return file_->written() == size_; }
    bool commit(const std::string& name) { return file_->commit(name); }

  private:
    bool isRepeat(const Frame& f) const {
        return blocks_ > 0 && f.block == previousBlock(expected_) && f.data == last_;
    }

    Step answer(const Frame& f, int frame, bool fresh) {
        Position at{fileIndex_, frame};
        FaultSet& faults = tc_.faults;
        char cmd = tc_.command;
        Step s = waiting();
        // Not heard, or heard damaged: the block is not taken.
        if (faults.fireAt(FaultKind::kBlockSilent, cmd, at)) return s;
        if (faults.fireAt(FaultKind::kBlockNak, cmd, at)) {
            s.send.push_back(answerFrame(tc_.ht, f.block, fr::NAK));
            return s;
        }
        if (fresh) {
            if (faults.fireAt(FaultKind::kCancelAt, cmd, at))
                return over("transfer cancelled", {endFrame(tc_.ht, fr::CAN)});
            if (const Fault* r = faults.fireAt(FaultKind::kResultAt, cmd, at))
                return over("transfer refused", {resultFrame(tc_.ht, static_cast<char>(r->arg))});
            if (file_->written() + static_cast<int64_t>(f.data.size()) > size_)
                return over("more data than the " + std::to_string(size_) + " bytes announced",
                            {resultFrame(tc_.ht, fr::res::kFailure)});
            if (!file_->write(f.data))
                return over("cannot write the file", {resultFrame(tc_.ht, fr::res::kFailure)});
            ++blocks_;
            expected_ = fr::nextBlock(f.block);
            last_ = f.data;
        }
        // A terminal busy for a while after taking the block: the PC sends
        // it again meanwhile, and that copy is answered too, late.
        if (fresh) {
            if (const Fault* l = faults.fireAt(FaultKind::kLateAck, cmd, at))
                s.hold = std::chrono::milliseconds(l->arg);
        }
        char number =
            faults.fireAt(FaultKind::kPrevAck, cmd, at) ? previousBlock(f.block) : f.block;
        s.send.push_back(answerFrame(tc_.ht, number, fr::ACK));
        // Its user cancels between two blocks: the PC hears of it while it
        // sends the next one, or before.
        if (const Fault* c = fresh ? faults.fireAt(FaultKind::kCancelAfter, cmd, at) : nullptr) {
            s.send.push_back(endFrame(tc_.ht, fr::CAN));
            s.cutLast = std::chrono::milliseconds(c->arg);
            s.finished = true;
            s.notes.push_back("transfer cancelled after the block");
            return s;
        }
        if (fresh && faults.fireAt(FaultKind::kHangUp, cmd, at)) {
            s.hangUp = true;
            s.finished = true;
            s.notes.push_back("line goes dead");
        }
        return s;
    }

    TransferContext tc_;
    std::unique_ptr<IncomingFile> file_;
    int64_t size_;
    int fileIndex_;
    int blocks_ = 0;  // blocks written
    char expected_ = '0';
    Bytes last_;  // the data of the last block written
};

// Keeps a complete file under its name; an incomplete one is dropped with
// its receiver. The PC does not wait for an answer to its end frame, so the
// outcome shows only in the folder and the trace.
std::string storeFile(const TransferContext& tc, BlockReceiver& r, const std::string& name) {
    std::string what =
        name + " (" + std::to_string(r.received()) + " of " + std::to_string(r.size()) + " bytes)";
    if (!r.complete()) return "discarded incomplete " + what;
    if (!r.commit(name)) return "cannot store " + what;
    tc.stored.push_back({tc.command, name, r.size()});
    return std::string("stored ") + what + " for " + tc.command;
}

class Download : public Conversation {
  public:
    Download(const TransferContext& tc, char commandBlock, std::string name, int64_t size,
             std::unique_ptr<IncomingFile> file)
        : tc_(tc),
          commandBlock_(commandBlock),
          name_(std::move(name)),
          receiver_(tc, std::move(file), size, 0) {}

    Step start() override { return {{answerFrame(tc_.ht, commandBlock_, fr::ACK)}}; }

    Step onFrame(const Frame& f) override {
        idle_ = 0;
        if (f.type == fr::kData) return receiver_.onData(f);
        if (f.type == fr::kEnd && f.control() == fr::EOT)
            return over(storeFile(tc_, receiver_, name_));
        if (f.type == fr::kEnd && f.control() == fr::CAN) return over("cancelled by the PC");
        return waiting();
    }

    Step onTimeout() override {
        if (++idle_ > tc_.maxResends)
            return over("no more data from the PC; " + name_ + " dropped");
        return waiting();
    }

    Step onDamaged(const Frame& f) override {
        idle_ = 0;
        Step s = waiting();
        s.send.push_back(answerFrame(tc_.ht, f.block, fr::NAK));
        return s;
    }

  private:
    TransferContext tc_;
    char commandBlock_;
    std::string name_;
    BlockReceiver receiver_;
    int idle_ = 0;
};

// Header: the 12-byte name, then the size in decimal digits.
bool parseHeader(const Bytes& data, std::string* name, int64_t* size) {
    if (data.size() <= fr::kNameWidth || data.size() > fr::kNameWidth + fr::kSizeDigits)
        return false;
    *name = Store::nameFromField(std::span<const uint8_t>(data).first(fr::kNameWidth));
    int64_t v = 0;
    for (size_t i = fr::kNameWidth; i < data.size(); ++i) {
        if (data[i] < '0' || data[i] > '9') return false;
        v = v * 10 + (data[i] - '0');
    }
    *size = v;
    return true;
}

bool isBatchEnd(const Frame& f) {
    return f.block == '0' && f.data.size() == 1 && f.data[0] == fr::EOT;
}

bool isHeader(const Frame& f) {
    std::string name;
    int64_t size = 0;
    return f.block == '0' && parseHeader(f.data, &name, &size);
}

// Per file: a header frame, acknowledged; the file's blocks; an end frame.
// The batch ends with a one-byte data frame that is not acknowledged.
class BatchDownload : public Conversation {
  public:
    BatchDownload(const TransferContext& tc, char commandBlock, int count)
        : tc_(tc), commandBlock_(commandBlock), count_(count) {}

    Step start() override { return {{answerFrame(tc_.ht, commandBlock_, fr::ACK)}}; }

    Step onFrame(const Frame& f) override {
        idle_ = 0;
        if (f.type == fr::kEnd && f.control() == fr::CAN) return over("cancelled by the PC");
        if (!receiver_) return f.type == fr::kData ? onHeader(f) : waiting();
        if (f.type == fr::kData) {
            // The PC sends a header again when it missed its acknowledgement.
            if (!receiver_->started() && f.data == header_)
                return {{answerFrame(tc_.ht, f.block, fr::ACK)}, false, true};
            // A PC that gives up on a file goes on with the next header (or
            // the batch end) without an end frame: what cannot be this file's
            // data is taken for that.
            if (!receiver_->fits(f) && (isBatchEnd(f) || isHeader(f))) {
                std::string dropped = "abandoned by the PC: " + name_;
                receiver_.reset();
                Step s = onHeader(f);
                s.notes.insert(s.notes.begin(), dropped);
                return s;
            }
            return receiver_->onData(f);
        }
        if (f.type == fr::kEnd && f.control() == fr::EOT) {
            Step s = waiting();
            s.notes.push_back(storeFile(tc_, *receiver_, name_));
            receiver_.reset();
            return s;
        }
        return waiting();
    }

    Step onTimeout() override {
        if (++idle_ > tc_.maxResends) return over("no more data from the PC; batch dropped");
        return waiting();
    }

    Step onDamaged(const Frame& f) override {
        idle_ = 0;
        Step s = waiting();
        s.send.push_back(answerFrame(tc_.ht, f.block, fr::NAK));
        return s;
    }

  private:
    Step onHeader(const Frame& f) {
        if (isBatchEnd(f)) return over("batch end");
        Position at{files_, kHeaderFrame};
        FaultSet& faults = tc_.faults;
        char cmd = tc_.command;
        if (faults.fireAt(FaultKind::kBlockSilent, cmd, at)) return waiting();
        if (faults.fireAt(FaultKind::kBlockNak, cmd, at))
            return {{answerFrame(tc_.ht, f.block, fr::NAK)}, false, true};
        if (faults.fireAt(FaultKind::kCancelAt, cmd, at))
            return over("batch cancelled", {endFrame(tc_.ht, fr::CAN)});
        if (const Fault* r = faults.fireAt(FaultKind::kResultAt, cmd, at))
            return over("header refused", {resultFrame(tc_.ht, static_cast<char>(r->arg))});

        std::string name;
        int64_t size = 0;
        const Bytes failure = resultFrame(tc_.ht, fr::res::kFailure);
        if (!parseHeader(f.data, &name, &size)) return over("malformed header", {failure});
        if (files_ >= count_)
            return over("more files than the " + std::to_string(count_) + " announced", {failure});
        if (!Store::safeName(name)) return over("unsafe name refused", {failure});
        auto file = tc_.store.beginIncoming();
        if (!file) return over("no folder to store " + name, {failure});

        receiver_ = std::make_unique<BlockReceiver>(tc_, std::move(file), size, files_);
        name_ = name;
        header_ = f.data;
        ++files_;
        Step s{{answerFrame(tc_.ht, f.block, fr::ACK)}, false, true};
        if (faults.fireAt(FaultKind::kHangUp, cmd, at)) {
            s.hangUp = s.finished = true;
            s.notes.push_back("line goes dead");
        }
        return s;
    }

    TransferContext tc_;
    char commandBlock_;
    int count_;
    int files_ = 0;  // headers taken
    std::unique_ptr<BlockReceiver> receiver_;
    std::string name_;
    Bytes header_;
    int idle_ = 0;
};

}  // namespace

std::unique_ptr<Conversation> makeDownload(const TransferContext& tc, char commandBlock,
                                           std::string name, int64_t size,
                                           std::unique_ptr<IncomingFile> file) {
    return std::make_unique<Download>(tc, commandBlock, std::move(name), size, std::move(file));
}

std::unique_ptr<Conversation> makeBatchDownload(const TransferContext& tc, char commandBlock,
                                                int count) {
    return std::make_unique<BatchDownload>(tc, commandBlock, count);
}

}  // namespace vsk::htsim
