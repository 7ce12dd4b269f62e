// File transfers as the terminal sees them. Downloads (PC to terminal) arrive
// as numbered data frames that the terminal acknowledges one by one and stores
// under a temporary name until the file is complete; uploads (terminal to PC)
// go out the same way, each data frame waiting for the PC's acknowledgement.
// Batches wrap several files in headers and end with a one-byte marker.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "conversation.h"
#include "fault.h"
#include "store.h"
#include "synthetic_files.h"

namespace vsk::htsim {

// A file a terminal received and kept, and the command that brought it.
struct StoredRecord {
    char command = 0;
    std::string name;
    int64_t size = 0;
};

// What a transfer needs from its terminal.
struct TransferContext {
    int ht;
    char command;  // the command that started the transfer; faults go by it
    FaultSet& faults;
    const Store& store;
    int maxResends;
    size_t blockSize;  // data bytes per frame the terminal sends
    std::vector<StoredRecord>& stored;
};

// One file sent with "D", "A", "B" or "O": `size` bytes to be stored as `name`.
std::unique_ptr<Conversation> makeDownload(const TransferContext& tc, char commandBlock,
                                           std::string name, int64_t size,
                                           std::unique_ptr<IncomingFile> file);
// Several files sent with "W" or "V", at most `count`.
std::unique_ptr<Conversation> makeBatchDownload(const TransferContext& tc, char commandBlock,
                                                int count);

// One file asked for with "S"; `bytesToSend` may fall short of the file's size.
std::unique_ptr<Conversation> makeUpload(const TransferContext& tc,
                                         std::unique_ptr<FileSource> source, int64_t bytesToSend);

// A file a batch upload offers: its name and how to open it when its turn comes.
struct Offer {
    std::string name;
    std::function<std::unique_ptr<FileSource>()> open;
};
// Every offered file, for "U".
std::unique_ptr<Conversation> makeBatchUpload(const TransferContext& tc, std::vector<Offer> offers);

// Contents of the synthetic files some faults add, read as a file.
std::unique_ptr<FileSource> syntheticSource(int seed, int64_t size);
// `source` followed by `extra` synthetic bytes (a terminal sending more than
// the file it announced).
std::unique_ptr<FileSource> lengthened(std::unique_ptr<FileSource> source, int64_t extra);

}  // namespace vsk::htsim
