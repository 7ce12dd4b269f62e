// The terminal's command handlers, one per command code. A handler carries out
// the command against the terminal's store and returns the reply frames, or a
// conversation that produces them and goes on with the PC.
#pragma once

#include <memory>
#include <vector>

#include "conversation.h"
#include "fault.h"
#include "store.h"
#include "synthetic_files.h"
#include "transfer.h"
#include "wire.h"

namespace vsk::htsim {

struct TerminalConfig;

struct CommandContext {
    const TerminalConfig& config;
    const Store& store;
    FaultSet& faults;
    std::vector<StoredRecord>& stored;
};

struct CommandReply {
    std::vector<Bytes> send;                     // frames to send at once
    std::unique_ptr<Conversation> conversation;  // or a conversation to start
};

using CommandHandler = CommandReply (*)(const Frame& command, CommandContext& ctx);

// The handler for a command code, or null for codes the terminal does not know.
CommandHandler findHandler(char code);

// The frames of a listing: the count frame, the entry frames and the end frame.
std::vector<Bytes> listingFrames(int ht, const std::vector<StoreEntry>& files, int64_t freeSize,
                                 int entriesPerFrame);

// A file offered under a name from badname=NAME has this size.
inline constexpr int64_t kBadNameSize = 64;

// Default entries per listing data frame.
inline constexpr int kEntriesPerFrame = 20;

}  // namespace vsk::htsim
