// The pieces every file transfer is built from: the progress counters, the
// block sender for PC files, and for received files the transfer slots,
// upload preparation, the block receiver and finalisation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/host.h"
#include "platform/files.h"

namespace vsk::xfer {

// --- Progress counters

// A new file: name (terminal bytes), HT number, 0 of `total` bytes.
void startFile(const char* name, const char* ht, int32_t total);
void addDone(int32_t bytes);
int32_t bytesDone();

// Sets the in-transfer flag for the lifetime of the object.
class InTransfer {
  public:
    InTransfer();
    ~InTransfer();
    InTransfer(const InTransfer&) = delete;
    InTransfer& operator=(const InTransfer&) = delete;
};

// Opens the progress window when asked to and closes it with the object
// (unless the window belongs to someone else, as in the polling loops).
class Window {
  public:
    Window(int32_t show, host::WindowType type, bool owned = true);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    void open(const char* name);
    // A new file of `total` bytes in the open window: its name (blanks
    // trimmed), none of it done yet.
    void show(const char* name, int32_t total);
    void progress(int32_t done, int32_t total);

  private:
    int32_t show_;
    host::WindowType type_;
    bool owned_;
};

// The terminal's refusals during a transfer: result "F" (4002, its file I/O
// failed), result "M" (2004, wrong mode), an end frame with CAN (1002).
// 0 for every other reply kind.
int32_t refusal(int kind);

// Tells the terminal that the file whose frame carried `block` is not taken
// (a result frame "F", written once): the terminal ends its batch.
void refuseFile(char block);

// How much of a PC file a transfer reads or writes in one system call: many
// blocks, so that the line, not the file, sets the pace of the system calls.
inline constexpr size_t kFileChunk = size_t{64} * 1024;

// --- Sending PC files

// Acknowledgements the terminal may still send for copies of the last block
// that went out again after a time-out: each copy it heard, it answers, and
// those answers come late. Counted so that each is taken for what it is, not
// for a terminal asking for the next block again (which would make every later
// block go out twice, each copy answered, to the end of the file).
struct OwedAcks {
    char block = 0;
    uint32_t count = 0;
    // True for an ACK carrying `block` while one is still owed.
    bool stale(const uint8_t* reply) const;
};

// Sends the frame in the send buffer until the terminal acknowledges its
// block. With `owed` (the previous block's late answers), such an answer is
// passed over without sending again; on success `owed` then describes this block.
int32_t sendAcknowledged(uint32_t retry, OwedAcks* owed = nullptr);

// Sends the PC file at `path` (`size` bytes) to the current HT number as
// numbered blocks, each acknowledged, then an end frame with EOT.
int32_t sendFile(const std::string& path, int32_t size, uint32_t retry, Window* window);

// The terminal name a PC path is sent under: its last component in CP932,
// blanks removed, cut to 12 bytes on a character boundary. False when the
// name holds a control character or cannot be expressed in CP932.
bool terminalNameFor(const std::string& path, bool removeBlanks, std::string* name);

// A terminal name upper-cased, as the system-install name tests judge it.
std::string upperCased(const std::string& name);

// Checks the PC file to send: 0, 3003 (cannot be opened), 1001 (size differs
// or cannot be carried in seven digits).
int32_t checkFileToSend(const std::string& path, int32_t size);

// --- Receiving PC files

enum class Disposition : int32_t { kReplace = 0, kAppend = 1, kDiscard = 2, kLeave = 3 };

struct Slot {
    int32_t index = 0;
    std::string target;
    std::string temp;
    int32_t expected = 0;
    bool created = false;  // the target did not exist when the upload began
    Disposition disposition = Disposition::kDiscard;
    int32_t outcome = VSK_OUTCOME_NOT_PROCESSED;
    // The temporary file, held open (and so locked) until finalisation.
    platform::File file;
};

inline constexpr int kSlots = 128;
Slot& slot(int k);

// Prepares slot k to receive a file for `target`: checks the free space and
// the save mode, and creates the slot's temporary file beside the target.
int32_t prepareUpload(int k, int32_t saveMode, const std::string& target, int32_t size);

// Receives blocks into `file` (left open); the first data frame is in the
// receive buffer. More bytes than `expected` are refused as a bad frame. In a
// batch a block that cannot be taken is answered with result "F", after
// which the terminal ends the batch: *ended says so.
int32_t receiveFile(platform::File& file, int32_t expected, bool batch, bool* ended = nullptr);

// Puts slots 0..n-1 in place, or removes what they left; the last slot's result.
int32_t finalise(int n);

// A terminal's file name as the PC file name it is stored under; false when
// it is not a name a file in the folder may have (it would leave the folder).
// Such a name gets VSK_E_PC_FILE_NAME.
bool pcNameFor(const std::string& terminalName, std::string* pcName);

}  // namespace vsk::xfer
