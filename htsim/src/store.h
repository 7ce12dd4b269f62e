// A terminal's file store: one flat folder on the PC standing in for the
// terminal's memory. Only regular files directly in the folder are terminal
// files; names come off the line as raw bytes and are checked so that nothing
// outside the folder is ever touched.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vsk::htsim {

struct StoreEntry {
    std::string name;  // the file's name as bytes, at most 12
    int64_t size = 0;
};

struct StoreInfo {
    int64_t size = 0;
    std::string date;  // modification date, yymmdd (local time)
    std::string time;  // modification time, hhmmss
};

// A file being received: its bytes go to a temporary file in the folder, whose
// name is too long to be a terminal file, and it takes its own name only when
// committed. Dropped without a commit, it leaves nothing behind.
class IncomingFile {
  public:
    ~IncomingFile();
    IncomingFile(const IncomingFile&) = delete;
    IncomingFile& operator=(const IncomingFile&) = delete;

    bool write(std::span<const uint8_t> bytes);
    int64_t written() const { return written_; }
    // Puts the file in place under `name`, replacing a regular file of that name.
    bool commit(std::string_view name);

  private:
    friend class Store;
    IncomingFile(int dirFd, int fd, std::string tempName)
        : dirFd_(dirFd), fd_(fd), tempName_(std::move(tempName)) {}
    void discard();

    int dirFd_;
    int fd_;
    std::string tempName_;
    int64_t written_ = 0;
};

// A file being sent, read front to back.
class FileSource {
  public:
    virtual ~FileSource() = default;
    virtual int64_t size() const = 0;
    // Up to `n` bytes; fewer only at the end of the file or on a read error.
    virtual size_t read(uint8_t* out, size_t n) = 0;
};

class Store {
  public:
    // An empty `dir` gives a terminal without files that refuses every change.
    explicit Store(std::string dir = {}) : dir_(std::move(dir)) {}

    // Creates the folder (and its parents) when missing. False with a reason on failure.
    bool prepare(std::string* error) const;

    // A 12-byte name field from a command, trailing blanks removed.
    static std::string nameFromField(std::span<const uint8_t> field);
    // True for names that address a file inside the folder and nothing else.
    static bool safeName(std::string_view name);

    // The terminal files, sorted by name. Files whose names cannot travel in a
    // 12-byte field are left out.
    std::vector<StoreEntry> list() const;
    std::optional<StoreInfo> info(std::string_view name) const;
    bool remove(std::string_view name) const;
    // Fails when `from` is missing or `to` exists.
    bool rename(std::string_view from, std::string_view to) const;
    // A new temporary file in the folder, or null when there is none to write.
    std::unique_ptr<IncomingFile> beginIncoming() const;
    // The regular file `name`, opened for sending; null when missing.
    std::unique_ptr<FileSource> openForSending(std::string_view name) const;

    const std::string& dir() const { return dir_; }

  private:
    int openDir() const;
    bool isRegular(int dirFd, const std::string& name) const;

    std::string dir_;
};

}  // namespace vsk::htsim
