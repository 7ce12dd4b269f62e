#include "commands.h"

#include <algorithm>
#include <cstdio>

#include "codec.h"
#include "terminal.h"

namespace vsk::htsim {

namespace fr = vsk::frame;

namespace {

constexpr int64_t kMaxSize = 9999999;  // what 7 digits can carry
constexpr size_t kMaxListed = 999;     // what the 3-digit count can carry

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

CommandReply onPoll(const Frame& cmd, CommandContext& ctx) {
    return ack(cmd, ctx);
}

std::vector<StoreEntry> withSyntheticEntries(std::vector<StoreEntry> files, int extra) {
    for (int i = 1; i <= extra; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "XTRA%04d.DAT", i);
        files.push_back({name, 100 + (i * 37) % 5000});
    }
    return files;
}

CommandReply onListing(const Frame&, CommandContext& ctx) {
    int perFrame = kEntriesPerFrame;
    if (const Fault* s = ctx.faults.find(FaultKind::kSplit, fr::cmd::kDir)) perFrame = s->arg;
    std::vector<StoreEntry> files = ctx.store.list();
    if (const Fault* e = ctx.faults.find(FaultKind::kExtra, fr::cmd::kDir))
        files = withSyntheticEntries(std::move(files), e->arg);
    CommandReply r;
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

struct HandlerEntry {
    char code;
    CommandHandler handler;
};

constexpr HandlerEntry kHandlers[] = {
    {fr::cmd::kPolling, onPoll},         {fr::cmd::kDir, onListing},
    {fr::cmd::kFileInfo, onFileInfo},    {fr::cmd::kStatus, onStatus},
    {fr::cmd::kDispInit, onDisplayInit}, {fr::cmd::kDelete, onDelete},
    {fr::cmd::kRename, onRename},        {fr::cmd::kReboot, ack},
    {fr::cmd::kPowerOff, ack},           {fr::cmd::kRemoteEnd, ack},
    {fr::cmd::kApEnd, onApplicationEnd},
};

}  // namespace

CommandHandler findHandler(char code) {
    for (const HandlerEntry& h : kHandlers)
        if (h.code == code) return h.handler;
    return nullptr;
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
