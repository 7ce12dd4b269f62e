// PC files and folders as the transfers need them. Every system call records
// the last system error where it happens; callers map a false return to
// their result code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vsk::platform {

bool pathExists(const std::string& path);
// A folder that exists and can be entered.
bool folderExists(const std::string& path);
// The length of a regular file.
bool fileSize(const std::string& path, int64_t* size);
// Bytes available to the caller on the file system holding `folder`.
bool freeSpace(const std::string& folder, uint64_t* bytes);

bool removeFile(const std::string& path);
bool renameFile(const std::string& from, const std::string& to);
// As renameFile, but fails (EEXIST) rather than replace an existing `to`.
bool renameNoReplace(const std::string& from, const std::string& to);
// Appends the whole of `from` to `to` in pieces; false when either cannot be
// opened or a read or write fails.
bool appendFile(const std::string& from, const std::string& to);

// Clears or sets the write permission bits ("read-only attribute").
bool setReadOnly(const std::string& path, bool readOnly);

// A file opened for reading or for writing, closed with the object.
class File {
  public:
    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    ~File() { close(); }

    bool openRead(const std::string& path);
    // Creates or truncates; `append` opens for appending instead.
    bool openWrite(const std::string& path, bool append = false);
    bool isOpen() const { return fd_ >= 0; }

    // Reads up to `n` bytes (fewer only at the end); -1 on failure.
    long read(uint8_t* buf, size_t n);
    // Writes all `n` bytes.
    bool write(const uint8_t* buf, size_t n);
    bool flush();
    void close();

  private:
    int fd_ = -1;
};

}  // namespace vsk::platform
