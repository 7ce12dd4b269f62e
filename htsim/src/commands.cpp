#include "commands.h"

#include <algorithm>
#include <cstdio>

#include "codec.h"
#include "terminal.h"

namespace vsk::htsim {

namespace fr = vsk::frame;

namespace {

constexpr int64_t kMaxSize = VSK_MAX_FILE_SIZE;  // what 7 digits can carry
constexpr size_t kMaxListed = 999;               // what the 3-digit count can carry

std::string digits(int64_t value, size_t width) {
    std::string s(width, '0');
    vsk::field::digits(s.data(), width, std::clamp<int64_t>(value, 0, kMaxSize));
    return s;
}

std::string blankFilled(const std::string& s, size_t width) {
    std::string out = s.substr(0, width);
    out.resize(width, ' ');
    return out;
}

CommandReply reply(Bytes frame) {
    CommandReply r;
    r.send.push_back(std::move(frame));
    return r;
}

CommandReply ack(const Frame& cmd, CommandContext& ctx) {
    return reply(answerFrame(ctx.config.number, cmd.block, fr::ACK));
}

CommandReply failure(CommandContext& ctx) {
    return reply(resultFrame(ctx.config.number, fr::res::kFailure));
}

// The 12-byte name parameter starting `offset` bytes into the parameters, or
// nothing when the command is too short to hold it.
std::optional<std::string> nameParam(const Frame& cmd, size_t offset) {
    auto p = cmd.params();
    if (p.size() < offset + fr::kNameWidth) return std::nullopt;
    return Store::nameFromField(p.subspan(offset, fr::kNameWidth));
}

// `width` decimal digits starting `offset` bytes into the parameters.
std::optional<int64_t> digitsParam(const Frame& cmd, size_t offset, size_t width) {
    auto p = cmd.params();
    if (p.size() < offset + width) return std::nullopt;
    int64_t v = 0;
    for (uint8_t c : p.subspan(offset, width)) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

TransferContext transferContext(const Frame& cmd, CommandContext& ctx) {
    return {ctx.config.number,
            static_cast<char>(cmd.control()),
            ctx.faults,
            ctx.store,
            ctx.config.maxResends,
            ctx.config.blockSize,
            ctx.stored};
}

CommandReply conversation(std::unique_ptr<Conversation> c) {
    CommandReply r;
    r.conversation = std::move(c);
    return r;
}

CommandReply onPoll(const Frame& cmd, CommandContext& ctx) {
    return ack(cmd, ctx);
}

// The terminal's files as a listing or a batch upload shows them: names that
// try to leave the folder first, then the folder's files, then synthetic ones.
std::vector<StoreEntry> offeredEntries(CommandContext& ctx, char command) {
    std::vector<StoreEntry> files;
    for (const Fault* b : ctx.faults.findAll(FaultKind::kBadName, command))
        files.push_back({b->text, kBadNameSize});
    for (StoreEntry& e : ctx.store.list()) files.push_back(std::move(e));
    if (const Fault* e = ctx.faults.find(FaultKind::kExtra, command))
        for (int i = 1; i <= e->arg; ++i) files.push_back({extraName(i), extraSize(i)});
    return files;
}

// A listing that never sends its end frame: after the real entries, frames of
// synthetic ones keep coming, each once the PC has acknowledged the one before.
class EndlessListing : public Conversation {
  public:
    EndlessListing(int ht, std::vector<Bytes> frames, int perFrame, int maxResends)
        : ht_(ht), frames_(std::move(frames)), perFrame_(perFrame), maxResends_(maxResends) {
        frames_.pop_back();  // the end frame
        current_ = frames_.front();
    }

    Step start() override { return {{current_}}; }

    Step onFrame(const Frame& f) override {
        if (f.type == fr::kEnd && f.control() == fr::CAN) return {{}, true};
        if (f.type != fr::kAnswer) return {};
        if (f.control() == fr::NAK) return {{current_}};
        if (f.control() != fr::ACK || f.block != blockOf(current_)) return {};
        ++index_;
        resends_ = 0;
        current_ = index_ < frames_.size() ? frames_[index_] : synthetic();
        return {{current_}};
    }

    Step onTimeout() override {
        if (resends_ >= maxResends_) return {{}, true};
        ++resends_;
        return {{current_}};
    }

  private:
    Bytes synthetic() const {
        std::string text;
        for (int i = 1; i <= perFrame_; ++i) {
            int n = static_cast<int>(
                (index_ * static_cast<size_t>(perFrame_) + static_cast<size_t>(i)) % 10000);
            text += extraName(n) + digits(extraSize(n), fr::kSizeDigits);
        }
        return dataFrame(ht_, static_cast<char>('0' + index_ % 10), text);
    }

    int ht_;
    std::vector<Bytes> frames_;
    int perFrame_;
    int maxResends_;
    size_t index_ = 0;
    int resends_ = 0;
    Bytes current_;
};

CommandReply onListing(const Frame&, CommandContext& ctx) {
    int perFrame = kEntriesPerFrame;
    if (const Fault* s = ctx.faults.find(FaultKind::kSplit, fr::cmd::kDir)) perFrame = s->arg;
    std::vector<StoreEntry> files = offeredEntries(ctx, fr::cmd::kDir);
    CommandReply r;
    if (ctx.faults.find(FaultKind::kEndless, fr::cmd::kDir)) {
        r.conversation = std::make_unique<EndlessListing>(
            ctx.config.number,
            listingFrames(ctx.config.number, files, ctx.config.freeSize, perFrame), perFrame,
            ctx.config.maxResends);
        return r;
    }
    r.conversation = std::make_unique<AckedSequence>(
        ctx.config.number, fr::cmd::kDir,
        listingFrames(ctx.config.number, files, ctx.config.freeSize, perFrame), false, ctx.faults,
        ctx.config.maxResends);
    return r;
}

CommandReply onFileInfo(const Frame& cmd, CommandContext& ctx) {
    auto name = nameParam(cmd, 0);
    if (!name) return failure(ctx);
    auto info = ctx.store.info(*name);
    if (!info) return failure(ctx);
    return reply(
        dataFrame(ctx.config.number, '0', digits(info->size, 7) + info->date + info->time));
}

CommandReply onStatus(const Frame&, CommandContext& ctx) {
    const StatusFields& s = ctx.config.status;
    std::string text = digits(s.value, 7) + blankFilled(s.text1, 5) + blankFilled(s.text2, 5) +
                       std::string(1, s.flag);
    return reply(dataFrame(ctx.config.number, '0', text));
}

CommandReply onDisplayInit(const Frame&, CommandContext&) {
    return {};
}

CommandReply onDelete(const Frame& cmd, CommandContext& ctx) {
    auto name = nameParam(cmd, 0);
    if (!name || !ctx.store.remove(*name)) return failure(ctx);
    return ack(cmd, ctx);
}

CommandReply onRename(const Frame& cmd, CommandContext& ctx) {
    auto from = nameParam(cmd, 0);
    auto to = nameParam(cmd, fr::kNameWidth);
    if (!from || !to || !ctx.store.rename(*from, *to)) return failure(ctx);
    return ack(cmd, ctx);
}

// The PC answers the acknowledgement of an application end with one of its own.
CommandReply onApplicationEnd(const Frame& cmd, CommandContext& ctx) {
    CommandReply r;
    std::vector<Bytes> frames{answerFrame(ctx.config.number, cmd.block, fr::ACK)};
    r.conversation =
        std::make_unique<AckedSequence>(ctx.config.number, fr::cmd::kApEnd, std::move(frames), true,
                                        ctx.faults, ctx.config.maxResends);
    return r;
}

// "D", "A", "B", "O": name and size, then the file's blocks.
CommandReply onDownload(const Frame& cmd, CommandContext& ctx) {
    auto name = nameParam(cmd, 0);
    auto size = digitsParam(cmd, fr::kNameWidth, fr::kSizeDigits);
    if (!name || !size || !Store::safeName(*name)) return failure(ctx);
    auto file = ctx.store.beginIncoming();
    if (!file) return failure(ctx);
    return conversation(
        makeDownload(transferContext(cmd, ctx), cmd.block, *name, *size, std::move(file)));
}

// "W", "V": the number of files, then per file a header and its blocks.
CommandReply onBatchDownload(const Frame& cmd, CommandContext& ctx) {
    auto count = digitsParam(cmd, 0, 3);
    if (!count || ctx.store.dir().empty()) return failure(ctx);
    return conversation(
        makeBatchDownload(transferContext(cmd, ctx), cmd.block, static_cast<int>(*count)));
}

// A name given by badname= is served from synthetic contents, so that a PC
// taking it from a listing can be seen to refuse it.
std::unique_ptr<FileSource> badNameSource(const std::string& name, CommandContext& ctx,
                                          char command) {
    for (const Fault* b : ctx.faults.findAll(FaultKind::kBadName, command))
        if (b->text == name) return syntheticSource(0, kBadNameSize);
    return nullptr;
}

CommandReply onUpload(const Frame& cmd, CommandContext& ctx) {
    auto name = nameParam(cmd, 0);
    if (!name) return failure(ctx);
    auto source = badNameSource(*name, ctx, fr::cmd::kUpload);
    if (!source) source = ctx.store.openForSending(*name);
    if (!source) return failure(ctx);
    if (const Fault* f = ctx.faults.fire(FaultKind::kOverlong, fr::cmd::kUpload))
        source = lengthened(std::move(source), f->arg);
    int64_t toSend = source->size();
    if (const Fault* f = ctx.faults.fire(FaultKind::kShort, fr::cmd::kUpload))
        toSend = std::max<int64_t>(0, toSend - f->arg);
    return conversation(makeUpload(transferContext(cmd, ctx), std::move(source), toSend));
}

// Offered in the order a listing shows them (see offeredEntries); each file
// is opened only when its turn comes.
CommandReply onBatchUpload(const Frame& cmd, CommandContext& ctx) {
    const char code = fr::cmd::kBatchUpload;
    std::vector<Offer> offers;
    for (const Fault* b : ctx.faults.findAll(FaultKind::kBadName, code))
        offers.push_back({b->text, [] { return syntheticSource(0, kBadNameSize); }});
    const Store& store = ctx.store;
    for (const StoreEntry& e : store.list())
        offers.push_back({e.name, [&store, name = e.name] { return store.openForSending(name); }});
    if (const Fault* e = ctx.faults.find(FaultKind::kExtra, code))
        for (int i = 1; i <= e->arg; ++i)
            offers.push_back({extraName(i), [i] { return syntheticSource(i, extraSize(i)); }});
    return conversation(makeBatchUpload(transferContext(cmd, ctx), std::move(offers)));
}

struct HandlerEntry {
    char code;
    CommandHandler handler;
};

constexpr HandlerEntry kHandlers[] = {
    {fr::cmd::kPolling, onPoll},
    {fr::cmd::kDir, onListing},
    {fr::cmd::kFileInfo, onFileInfo},
    {fr::cmd::kStatus, onStatus},
    {fr::cmd::kDispInit, onDisplayInit},
    {fr::cmd::kDelete, onDelete},
    {fr::cmd::kRename, onRename},
    {fr::cmd::kReboot, ack},
    {fr::cmd::kPowerOff, ack},
    {fr::cmd::kRemoteEnd, ack},
    {fr::cmd::kApEnd, onApplicationEnd},
    {fr::cmd::kDownload, onDownload},
    {fr::cmd::kApInstallA, onDownload},
    {fr::cmd::kApInstallB, onDownload},
    {fr::cmd::kOsInstall, onDownload},
    {fr::cmd::kOsInstall2, onBatchDownload},
    {fr::cmd::kBatchDownload, onBatchDownload},
    {fr::cmd::kUpload, onUpload},
    {fr::cmd::kBatchUpload, onBatchUpload},
};

}  // namespace

CommandHandler findHandler(char code) {
    for (const HandlerEntry& h : kHandlers)
        if (h.code == code) return h.handler;
    return nullptr;
}

std::string extraName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "XTRA%04d.DAT", i);
    return name;
}

int64_t extraSize(int i) {
    return 100 + (i * 37) % 5000;
}

std::vector<Bytes> listingFrames(int ht, const std::vector<StoreEntry>& files, int64_t freeSize,
                                 int entriesPerFrame) {
    size_t count = std::min(files.size(), kMaxListed);
    size_t perFrame = static_cast<size_t>(std::max(entriesPerFrame, 1));
    std::vector<Bytes> frames;
    char block = '0';
    frames.push_back(
        dataFrame(ht, block, digits(static_cast<int64_t>(count), 3) + digits(freeSize, 7)));
    for (size_t i = 0; i < count; i += perFrame) {
        std::string text;
        for (size_t j = i; j < std::min(count, i + perFrame); ++j)
            text += blankFilled(files[j].name, fr::kNameWidth) + digits(files[j].size, 7);
        block = fr::nextBlock(block);
        frames.push_back(dataFrame(ht, block, text));
    }
    frames.push_back(endFrame(ht, fr::EOT));
    return frames;
}

}  // namespace vsk::htsim
