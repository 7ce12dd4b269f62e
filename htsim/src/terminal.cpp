#include "terminal.h"

#include "commands.h"
#include "frame_defs.h"

namespace vsk::htsim {

namespace fr = vsk::frame;

Terminal::Terminal(TerminalConfig config)
    : config_(std::move(config)),
      ht_(htField(config_.number)),
      store_(config_.dir),
      faults_(config_.faults) {}

std::vector<Emission> Terminal::receive(const Frame& f, Clock::time_point now) {
    if (!f.checkOk) {
        // A command that arrived damaged is asked for again. Damage in the middle
        // of a conversation is the conversation's: one sending frames leaves it
        // to its time-out, one receiving a file asks for the frame again.
        if (conversation_) return follow(conversation_->onDamaged(f), now);
        char code = f.type == fr::kCommand ? static_cast<char>(f.control()) : 0;
        return shapeAll({answerFrame(config_.number, f.block, fr::NAK)}, code);
    }
    if (f.type == fr::kCommand) return command(f, now);
    if (!conversation_) return {};
    return follow(conversation_->onFrame(f), now);
}

std::vector<Emission> Terminal::command(const Frame& f, Clock::time_point now) {
    if (f.data.empty()) return shapeAll({answerFrame(config_.number, f.block, fr::NAK)}, 0);
    char code = static_cast<char>(f.control());

    // Faults that stand for a command the terminal never properly heard leave
    // whatever it was doing untouched.
    if (faults_.fire(FaultKind::kSilent, code)) return {};
    // A terminal whose job is done stops answering polls (it has left remote mode).
    if (code == fr::cmd::kPolling && config_.pollLimit >= 0 &&
        pollsAnswered_++ >= config_.pollLimit) {
        return {};
    }
    if (faults_.fire(FaultKind::kNak, code))
        return shapeAll({answerFrame(config_.number, f.block, fr::NAK)}, code);

    // Any command starts afresh, so a PC that gave up half-way can always begin again.
    conversation_.reset();
    deadline_.reset();

    if (faults_.fire(FaultKind::kHangUpNow, code)) {
        // Pulled just as the command came in: it is never carried out.
        notes_.push_back("line goes dead at the command");
        Emission dead;
        dead.hangUp = true;
        return {dead};
    }
    if (faults_.fire(FaultKind::kCancel, code))
        return shapeAll({endFrame(config_.number, fr::CAN)}, code);
    if (faults_.fire(FaultKind::kEndReply, code))
        return shapeAll({endFrame(config_.number, fr::EOT)}, code);
    if (const Fault* r = faults_.fire(FaultKind::kResult, code))
        return shapeAll({resultFrame(config_.number, static_cast<char>(r->arg))}, code);

    CommandHandler handler = findHandler(code);
    // A command this terminal cannot carry out in its present mode.
    if (!handler) return shapeAll({resultFrame(config_.number, fr::res::kMode)}, code);

    CommandContext ctx{config_, store_, faults_, stored_};
    CommandReply reply = handler(f, ctx);
    if (reply.conversation) {
        conversation_ = std::move(reply.conversation);
        conversationCommand_ = code;
        return follow(conversation_->start(), now);
    }
    return shapeAll(std::move(reply.send), code);
}

std::vector<Emission> Terminal::follow(Step step, Clock::time_point now) {
    std::vector<Emission> out = shapeAll(std::move(step.send), conversationCommand_);
    if (step.hold.count() > 0 && !out.empty()) out.front().delay += step.hold;
    if (step.cutLast.count() > 0) cutLast(out, step.cutLast);
    for (std::string& n : step.notes) notes_.push_back(std::move(n));
    if (step.hangUp) {
        if (out.empty()) out.emplace_back();
        out.back().hangUp = true;
    }
    if (step.finished || step.hangUp) {
        conversation_.reset();
        deadline_.reset();
    } else if (!out.empty() || step.wait) {
        deadline_ = now + config_.ackTimeout;
    }
    return out;
}

void Terminal::cutLast(std::vector<Emission>& out, std::chrono::milliseconds after) {
    if (out.size() < 2 || out.back().segments.empty()) return;
    Segment& whole = out.back().segments.back();
    const auto middle = whole.bytes.begin() + static_cast<std::ptrdiff_t>(whole.bytes.size() / 2);
    out[out.size() - 2].segments.push_back(
        {Bytes(whole.bytes.begin(), middle), false, "first half of a frame"});
    whole = {Bytes(middle, whole.bytes.end()), false, "rest of the frame"};
    out.back().delay += after;
}

std::vector<Emission> Terminal::expire(Clock::time_point now) {
    if (!conversation_ || !deadline_ || now < *deadline_) return {};
    return follow(conversation_->onTimeout(), now);
}

void Terminal::sentAt(Clock::time_point now) {
    if (deadline_) deadline_ = now + config_.ackTimeout;
}

std::vector<Emission> Terminal::shapeAll(std::vector<Bytes> frames, char command) {
    std::vector<Emission> out;
    out.reserve(frames.size());
    for (Bytes& f : frames) out.push_back(faults_.shape(std::move(f), command, config_.number));
    return out;
}

}  // namespace vsk::htsim
