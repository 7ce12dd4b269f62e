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
// What made the last call fail: its file was already there (EEXIST), was
// missing (ENOENT), or was locked by someone else (EWOULDBLOCK).
bool failedAsExisting();
bool failedAsMissing();
bool failedAsBusy();

// Clears or sets the write permission bits ("read-only attribute").
bool setReadOnly(const std::string& path, bool readOnly);

// A file opened for reading or for writing, closed with the object.
class File {
  public:
    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }
    ~File() { close(); }

    File& operator=(File&& other) noexcept {
        if (this != &other) {
            close();
            handle_ = other.handle_;
            other.handle_ = -1;
        }
        return *this;
    }

    bool openRead(const std::string& path);
    // Creates `path` for reading and writing; fails (EEXIST, ELOOP) rather
    // than open anything already there, a symbolic link included.
    bool createNew(const std::string& path);
    // Opens an existing regular file for reading (and with `writable` for
    // writing too, so that a read-only file is refused) without following a
    // symbolic link at `path`, nor blocking on a device or pipe there.
    bool openExisting(const std::string& path, bool writable = false);
    // Opens `path` for writing lines to, created if missing, emptied first
    // unless `append`. A named pipe without a reader fails instead of
    // blocking.
    bool openLog(const std::string& path, bool append);
    bool isOpen() const { return handle_ != -1; }

    // Takes the exclusive advisory lock of the file without waiting; false
    // when another open file holds it.
    bool tryLock();
    // Whether `path` still names this very file (not a link, not a file put
    // there since it was opened).
    bool isAt(const std::string& path) const;
    // Gives this file the owner (where allowed) and permission bits of `other`.
    bool takePermissionsOf(const File& other);
    // Back to the first byte, for reading what was written.
    bool rewind();

    // Reads up to `n` bytes (fewer only at the end); -1 on failure.
    long read(uint8_t* buf, size_t n);
    // Writes all `n` bytes.
    bool write(const uint8_t* buf, size_t n);
    bool flush();
    void close();

  private:
    // A descriptor or a handle, by platform; -1 when closed.
    intptr_t handle_ = -1;
    int fd() const { return static_cast<int>(handle_); }
};

// Temporary files of received data, in the folder of the file they become.
// Their names begin with ".~vsk-" and the creating process's id and are
// longer than any terminal file name, so that no file a terminal sends can
// take one; they are created exclusively (never over an existing name, never
// through a symbolic link), opened for reading and writing, and locked for as
// long as they are open, so that a later receiver can tell a live one from
// one left behind by a process that was killed.
//
// Creates a new temporary file in `folder` (ending with "/"); its path in *path.
bool createTemp(const std::string& folder, File* file, std::string* path);
// Removes the temporary files in `folder` whose process has ended and which
// no one holds open; every other file is left alone.
void removeStaleTemps(const std::string& folder);

}  // namespace vsk::platform
