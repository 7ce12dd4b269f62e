// One simulated terminal: its number, its file store, its faults and the
// conversation it is in. It is fed the frames addressed to it and the passing
// of time, and answers with what it puts on the line; it never touches the
// line itself, so it can be driven from memory.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "conversation.h"
#include "fault.h"
#include "store.h"
#include "transfer.h"
#include "wire.h"

namespace vsk::htsim {

// The fields of the reply to a status query.
struct StatusFields {
    int64_t value = 1;            // 7 digits
    std::string text1 = "HTSIM";  // 5 characters
    std::string text2 = "01.00";  // 5 characters
    char flag = '0';
};

struct TerminalConfig {
    int number = 1;
    std::string dir;  // empty: a terminal without files
    int64_t freeSize = 1048576;
    StatusFields status;
    std::chrono::milliseconds ackTimeout{3000};
    int maxResends = 3;
    size_t blockSize = 512;  // file bytes per data frame it sends (at most 1012)
    int pollLimit = -1;      // polls answered before it stops answering them; -1: all
    std::vector<Fault> faults;
};

class Terminal {
  public:
    explicit Terminal(TerminalConfig config);
    // Conversations hold on to the terminal's faults, so a terminal stays put.
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    int number() const { return config_.number; }
    const std::string& ht() const { return ht_; }
    // True for frames whose HT field names this terminal.
    bool addressedBy(const Frame& f) const { return f.ht == ht_; }

    // A frame addressed to this terminal arrived at `now`.
    std::vector<Emission> receive(const Frame& f, Clock::time_point now);
    // Time has passed; acts on an expired acknowledgement time-out.
    std::vector<Emission> expire(Clock::time_point now);
    // When the running conversation's time-out expires, if one runs.
    std::optional<Clock::time_point> deadline() const { return deadline_; }
    // The line finished writing this terminal's frames at `now`: the wait for
    // the PC starts from there.
    void sentAt(Clock::time_point now);

    bool inConversation() const { return conversation_ != nullptr; }
    // Files received and kept, oldest first, with the command that brought each.
    const std::vector<StoredRecord>& stored() const { return stored_; }
    // What the terminal noted since the last call (files stored or dropped...).
    std::vector<std::string> takeNotes() { return std::exchange(notes_, {}); }
    const TerminalConfig& config() const { return config_; }
    const Store& store() const { return store_; }
    FaultSet& faults() { return faults_; }

  private:
    std::vector<Emission> command(const Frame& f, Clock::time_point now);
    std::vector<Emission> follow(Step step, Clock::time_point now);
    std::vector<Emission> shapeAll(std::vector<Bytes> frames, char command);
    // Cuts the last emission's frame in two (see Step::cutLast).
    static void cutLast(std::vector<Emission>& out, std::chrono::milliseconds after);

    TerminalConfig config_;
    std::string ht_;
    int pollsAnswered_ = 0;
    Store store_;
    FaultSet faults_;
    std::unique_ptr<Conversation> conversation_;
    char conversationCommand_ = 0;
    std::optional<Clock::time_point> deadline_;
    std::vector<StoredRecord> stored_;
    std::vector<std::string> notes_;
};

}  // namespace vsk::htsim
