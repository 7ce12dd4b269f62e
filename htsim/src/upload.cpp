// Files the terminal sends to the PC: "S" for one file, "U" for all it offers.
#include <algorithm>
#include <cstdio>
#include <optional>

#include "codec.h"
#include "transfer.h"

namespace vsk::htsim {

namespace fr = vsk::frame;

namespace {

Step over(std::string note, std::vector<Bytes> send = {}) {
    Step s;
    s.send = std::move(send);
    s.finished = true;
    s.notes.push_back(std::move(note));
    return s;
}

// Appends what `next` sends and says to `s`.
void append(Step& s, Step next) {
    for (Bytes& b : next.send) s.send.push_back(std::move(b));
    for (std::string& n : next.notes) s.notes.push_back(std::move(n));
    s.finished = s.finished || next.finished;
    s.hangUp = s.hangUp || next.hangUp;
    s.wait = s.wait || next.wait;
}

uint8_t syntheticByte(int seed, int64_t offset) {
    if (offset % 64 == 63) return '\n';
    return static_cast<uint8_t>('A' + (seed + offset) % 26);
}

class SyntheticFile : public FileSource {
  public:
    SyntheticFile(int seed, int64_t size) : seed_(seed), size_(size) {}
    int64_t size() const override { return size_; }
    size_t read(uint8_t* out, size_t n) override {
        size_t count =
            static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), size_ - pos_));
        for (size_t i = 0; i < count; ++i)
            out[i] = syntheticByte(seed_, pos_ + static_cast<int64_t>(i));
        pos_ += static_cast<int64_t>(count);
        return count;
    }

  private:
    int seed_;
    int64_t size_;
    int64_t pos_ = 0;
};

class LengthenedFile : public FileSource {
  public:
    LengthenedFile(std::unique_ptr<FileSource> inner, int64_t extra)
        : inner_(std::move(inner)), extra_(extra) {}
    int64_t size() const override { return inner_->size() + extra_; }
    size_t read(uint8_t* out, size_t n) override {
        size_t got = inner_->read(out, n);
        for (; got < n && pos_ < extra_; ++got, ++pos_) out[got] = syntheticByte(7, pos_);
        return got;
    }

  private:
    std::unique_ptr<FileSource> inner_;
    int64_t extra_;
    int64_t pos_ = 0;
};

// One file's data frames, read from the source as they are needed. Each waits
// for the PC's acknowledgement carrying its block number; it is sent again on
// a NAK and after each time-out, until the terminal gives up.
class BlockSender {
  public:
    BlockSender(const TransferContext& tc, std::unique_ptr<FileSource> source, int64_t toSend,
                int fileIndex)
        : tc_(tc), source_(std::move(source)), left_(toSend), fileIndex_(fileIndex) {}

    Step start() { return next(); }

    Step onAnswer(const Frame& f) {
        if (f.control() == fr::NAK) return {{current_}};
        // An acknowledgement of another block is a late one; it moves nothing.
        if (f.control() != fr::ACK || f.block != block_) return {};
        if (!repeated_ && tc_.faults.fireAt(FaultKind::kRepeat, tc_.command, here())) {
            repeated_ = true;
            resends_ = 0;
            return {{current_}};
        }
        return next();
    }

    Step onTimeout() {
        if (resends_ >= tc_.maxResends) return over("no acknowledgement; upload given up");
        ++resends_;
        return transmit();
    }

    // Every block sent and acknowledged.
    bool done() const { return done_; }

  private:
    Position here() const { return {fileIndex_, frame_}; }

    Step next() {
        if (left_ == 0) {
            done_ = true;
            return {};
        }
        size_t n =
            static_cast<size_t>(std::min<int64_t>(left_, static_cast<int64_t>(tc_.blockSize)));
        buffer_.resize(n);
        if (source_->read(buffer_.data(), n) != n)
            return over("cannot read the file", {endFrame(tc_.ht, fr::CAN)});
        left_ -= static_cast<int64_t>(n);
        ++frame_;
        block_ = fr::nextBlock(block_);
        current_ = dataFrame(tc_.ht, block_, buffer_);
        resends_ = 0;
        repeated_ = false;

        FaultSet& faults = tc_.faults;
        if (faults.fireAt(FaultKind::kCancelAt, tc_.command, here()))
            return over("upload cancelled", {endFrame(tc_.ht, fr::CAN)});
        if (const Fault* r = faults.fireAt(FaultKind::kResultAt, tc_.command, here()))
            return over("upload refused", {resultFrame(tc_.ht, static_cast<char>(r->arg))});
        Step s = transmit();
        if (!s.send.empty() && faults.fireAt(FaultKind::kTwice, tc_.command, here()))
            s.send.push_back(current_);
        if (faults.fireAt(FaultKind::kHangUp, tc_.command, here())) {
            s.hangUp = s.finished = true;
            s.notes.push_back("line goes dead");
        }
        return s;
    }

    // The current frame, unless a fault has this copy lost on the way.
    Step transmit() {
        if (tc_.faults.fireAt(FaultKind::kBlockSilent, tc_.command, here())) {
            Step s;
            s.wait = true;
            return s;
        }
        return {{current_}};
    }

    TransferContext tc_;
    std::unique_ptr<FileSource> source_;
    int64_t left_;
    int fileIndex_;
    int frame_ = -1;
    char block_ = '9';  // the first block is "0"
    Bytes current_;
    std::vector<uint8_t> buffer_;
    int resends_ = 0;
    bool repeated_ = false;
    bool done_ = false;
};

class Upload : public Conversation {
  public:
    Upload(const TransferContext& tc, std::unique_ptr<FileSource> source, int64_t toSend)
        : tc_(tc), sender_(tc, std::move(source), toSend, 0) {}

    Step start() override { return afterSender(sender_.start()); }

    Step onFrame(const Frame& f) override {
        if (f.type == fr::kEnd && f.control() == fr::CAN) return over("cancelled by the PC");
        if (f.type == fr::kAnswer) return afterSender(sender_.onAnswer(f));
        return {};
    }

    Step onTimeout() override { return afterSender(sender_.onTimeout()); }

  private:
    // After the last block's acknowledgement the end frame closes the file.
    Step afterSender(Step s) {
        if (!s.finished && sender_.done()) {
            s.send.push_back(endFrame(tc_.ht, fr::EOT));
            s.finished = true;
        }
        return s;
    }

    TransferContext tc_;
    BlockSender sender_;
};

std::string sizeField(int64_t size) {
    std::string d = std::to_string(size);
    if (d.size() < fr::kSizeDigits) d.insert(0, fr::kSizeDigits - d.size(), '0');
    return d;
}

std::string nameField(const std::string& name) {
    std::string s = name.substr(0, fr::kNameWidth);
    s.resize(fr::kNameWidth, ' ');
    return s;
}

// The count of files, then per file a header (name and size), acknowledged
// by the PC or skipped with its result "S"; the file's blocks; an end frame,
// also acknowledged. A one-byte data frame ends the batch.
class BatchUpload : public Conversation {
  public:
    BatchUpload(const TransferContext& tc, std::vector<Offer> offers)
        : tc_(tc), offers_(std::move(offers)) {}

    Step start() override {
        int64_t count = static_cast<int64_t>(offers_.size());
        if (const Fault* m = tc_.faults.find(FaultKind::kManyFiles, tc_.command)) {
            count = m->arg;
            endless_ = true;
        }
        Step s{{dataFrame(tc_.ht, '0', std::to_string(count))}};
        if (count == 0) {
            s.finished = true;
            return s;
        }
        append(s, beginFile(0));
        return s;
    }

    Step onFrame(const Frame& f) override {
        if (f.type == fr::kEnd && f.control() == fr::CAN) return over("cancelled by the PC");
        switch (phase_) {
            case Phase::kHeader:
                return onHeaderReply(f);
            case Phase::kFile:
                if (f.type == fr::kResult) return over("the PC could not store " + name());
                if (f.type == fr::kAnswer) return afterSender(sender_->onAnswer(f));
                return {};
            case Phase::kFileEnd:
                if (f.type == fr::kResult) return over("the PC could not store " + name());
                if (f.type != fr::kAnswer) return {};
                if (f.control() == fr::NAK) return {{endFrame(tc_.ht, fr::EOT)}};
                if (f.control() == fr::ACK && f.block == '0') return beginFile(file_ + 1);
                return {};
        }
        return {};
    }

    Step onTimeout() override {
        if (phase_ == Phase::kFile) return afterSender(sender_->onTimeout());
        if (resends_ >= tc_.maxResends) return over("no acknowledgement; batch given up");
        ++resends_;
        if (phase_ == Phase::kFileEnd) return {{endFrame(tc_.ht, fr::EOT)}};
        return sendHeader();
    }

  private:
    enum class Phase { kHeader, kFile, kFileEnd };

    const std::string& name() const { return name_; }

    // File j of the batch; past the real offers an endless batch (manyfiles)
    // goes on with small synthetic files.
    std::optional<Offer> offerAt(int j) const {
        if (j < static_cast<int>(offers_.size())) return offers_[static_cast<size_t>(j)];
        if (!endless_) return std::nullopt;
        char name[16];
        std::snprintf(name, sizeof name, "MANY%04d.DAT", j % 10000);
        return Offer{name, [j] { return syntheticSource(j, 10); }};
    }
    Position headerPosition() const { return {file_, kHeaderFrame}; }

    Step beginFile(int j) {
        Step s;
        std::optional<Offer> offer;
        for (; (offer = offerAt(j)); ++j) {
            source_ = offer->open();
            if (source_) break;
            s.notes.push_back("cannot open " + offer->name + "; passed over");
        }
        if (!offer) {
            s.send.push_back(dataFrame(tc_.ht, '0', Bytes{fr::EOT}));
            s.finished = true;
            s.notes.push_back("batch end");
            return s;
        }
        file_ = j;
        name_ = offer->name;
        phase_ = Phase::kHeader;
        resends_ = 0;
        reheaded_ = false;
        int64_t announced = source_->size();
        if (const Fault* f = tc_.faults.fire(FaultKind::kShort, tc_.command)) announced += f->arg;
        if (const Fault* f = tc_.faults.fire(FaultKind::kOverlong, tc_.command))
            source_ = lengthened(std::move(source_), f->arg);
        toSend_ = source_->size();
        header_ = dataFrame(tc_.ht, '0', nameField(name()) + sizeField(announced));

        FaultSet& faults = tc_.faults;
        if (faults.fireAt(FaultKind::kCancelAt, tc_.command, headerPosition())) {
            append(s, over("batch cancelled", {endFrame(tc_.ht, fr::CAN)}));
            return s;
        }
        if (const Fault* r = faults.fireAt(FaultKind::kResultAt, tc_.command, headerPosition())) {
            append(s, over("batch refused", {resultFrame(tc_.ht, static_cast<char>(r->arg))}));
            return s;
        }
        append(s, sendHeader());
        if (faults.fireAt(FaultKind::kHangUp, tc_.command, headerPosition())) {
            s.hangUp = s.finished = true;
            s.notes.push_back("line goes dead");
        }
        return s;
    }

    Step sendHeader() {
        if (tc_.faults.fireAt(FaultKind::kBlockSilent, tc_.command, headerPosition())) {
            Step s;
            s.wait = true;
            return s;
        }
        return {{header_}};
    }

    Step onHeaderReply(const Frame& f) {
        if (f.type == fr::kResult) {
            if (f.control() != fr::res::kSuccess) return over("the PC refused " + name());
            Step s = beginFile(file_ + 1);
            s.notes.insert(s.notes.begin(), "the PC skipped " + name());
            return s;
        }
        if (f.type != fr::kAnswer) return {};
        if (f.control() == fr::NAK) return {{header_}};
        if (f.control() != fr::ACK || f.block != blockOf(header_)) return {};
        if (!reheaded_ &&
            tc_.faults.fireAt(FaultKind::kRepeatHeader, tc_.command, headerPosition())) {
            reheaded_ = true;
            resends_ = 0;
            return {{header_}};
        }
        sender_ = std::make_unique<BlockSender>(tc_, std::move(source_), toSend_, file_);
        phase_ = Phase::kFile;
        return afterSender(sender_->start());
    }

    Step afterSender(Step s) {
        if (!s.finished && sender_->done()) {
            s.send.push_back(endFrame(tc_.ht, fr::EOT));
            phase_ = Phase::kFileEnd;
            resends_ = 0;
        }
        return s;
    }

    TransferContext tc_;
    std::vector<Offer> offers_;
    bool endless_ = false;
    std::string name_;
    Phase phase_ = Phase::kHeader;
    int file_ = 0;
    std::unique_ptr<FileSource> source_;
    std::unique_ptr<BlockSender> sender_;
    int64_t toSend_ = 0;
    Bytes header_;
    int resends_ = 0;
    bool reheaded_ = false;
};

}  // namespace

std::unique_ptr<Conversation> makeUpload(const TransferContext& tc,
                                         std::unique_ptr<FileSource> source, int64_t bytesToSend) {
    return std::make_unique<Upload>(tc, std::move(source), bytesToSend);
}

std::unique_ptr<Conversation> makeBatchUpload(const TransferContext& tc,
                                              std::vector<Offer> offers) {
    return std::make_unique<BatchUpload>(tc, std::move(offers));
}

std::unique_ptr<FileSource> syntheticSource(int seed, int64_t size) {
    return std::make_unique<SyntheticFile>(seed, size);
}

std::unique_ptr<FileSource> lengthened(std::unique_ptr<FileSource> source, int64_t extra) {
    return std::make_unique<LengthenedFile>(std::move(source), extra);
}

std::string syntheticContent(int seed, int64_t size) {
    std::string s(static_cast<size_t>(size), '\0');
    for (int64_t i = 0; i < size; ++i)
        s[static_cast<size_t>(i)] = static_cast<char>(syntheticByte(seed, i));
    return s;
}

}  // namespace vsk::htsim
