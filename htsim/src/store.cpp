#include "store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "frame_defs.h"

namespace vsk::htsim {

namespace {

// Closes a directory descriptor on every path out.
struct DirFd {
    int fd;
    ~DirFd() {
        if (fd >= 0) ::close(fd);
    }
};

// A terminal file opened for reading.
class StoredFile : public FileSource {
  public:
    StoredFile(int fd, int64_t size) : fd_(fd), size_(size) {}
    ~StoredFile() override { ::close(fd_); }
    int64_t size() const override { return size_; }
    size_t read(uint8_t* out, size_t n) override {
        size_t got = 0;
        while (got < n) {
            ssize_t r = ::read(fd_, out + got, n - got);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) break;
            got += static_cast<size_t>(r);
        }
        return got;
    }

  private:
    int fd_;
    int64_t size_;
};

}  // namespace

IncomingFile::~IncomingFile() {
    discard();
    if (dirFd_ >= 0) ::close(dirFd_);
}

bool IncomingFile::write(std::span<const uint8_t> bytes) {
    if (fd_ < 0) return false;
    const uint8_t* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t w = ::write(fd_, p, left);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        left -= static_cast<size_t>(w);
    }
    written_ += static_cast<int64_t>(bytes.size());
    return true;
}

bool IncomingFile::commit(std::string_view name) {
    if (fd_ < 0 || !Store::safeName(name)) return false;
    bool closed = ::close(fd_) == 0;
    fd_ = -1;
    std::string target(name);
    // Only a regular file is replaced; a folder or symlink of that name stays.
    struct stat st {};
    bool blocked =
        ::fstatat(dirFd_, target.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode);
    if (!closed || blocked || ::renameat(dirFd_, tempName_.c_str(), dirFd_, target.c_str()) != 0) {
        ::unlinkat(dirFd_, tempName_.c_str(), 0);
        tempName_.clear();
        return false;
    }
    tempName_.clear();
    return true;
}

void IncomingFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!tempName_.empty()) ::unlinkat(dirFd_, tempName_.c_str(), 0);
    tempName_.clear();
}

bool Store::prepare(std::string* error) const {
    if (dir_.empty()) return true;
    std::error_code ec;
    std::filesystem::create_directories(dir_, ec);
    if (ec || !std::filesystem::is_directory(dir_)) {
        if (error)
            *error = "cannot use folder " + dir_ + ": " + (ec ? ec.message() : "not a folder");
        return false;
    }
    return true;
}

std::string Store::nameFromField(std::span<const uint8_t> field) {
    size_t n = std::min(field.size(), frame::kNameWidth);
    while (n > 0 && field[n - 1] == ' ') --n;
    return std::string(field.begin(), field.begin() + static_cast<std::ptrdiff_t>(n));
}

bool Store::safeName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

int Store::openDir() const {
    if (dir_.empty()) return -1;
    return ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

bool Store::isRegular(int dirFd, const std::string& name) const {
    struct stat st {};
    return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

std::vector<StoreEntry> Store::list() const {
    std::vector<StoreEntry> out;
    int fd = openDir();
    if (fd < 0) return out;
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return out;
    }
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        // A name longer than the field, or ending in a blank, would come back
        // from the PC as a different name.
        if (!safeName(name) || name.size() > frame::kNameWidth || name.back() == ' ') continue;
        struct stat st {};
        if (::fstatat(::dirfd(d), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode))
            continue;
        out.push_back({name, static_cast<int64_t>(st.st_size)});
    }
    ::closedir(d);
    std::sort(out.begin(), out.end(),
              [](const StoreEntry& a, const StoreEntry& b) { return a.name < b.name; });
    return out;
}

std::optional<StoreInfo> Store::info(std::string_view name) const {
    if (!safeName(name)) return std::nullopt;
    DirFd d{openDir()};
    if (d.fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstatat(d.fd, std::string(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode))
        return std::nullopt;
    std::tm tm{};
    time_t t = st.st_mtime;
    ::localtime_r(&t, &tm);
    char date[32], time[32];
    std::snprintf(date, sizeof date, "%02d%02d%02d", tm.tm_year % 100, tm.tm_mon + 1, tm.tm_mday);
    std::snprintf(time, sizeof time, "%02d%02d%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    return StoreInfo{static_cast<int64_t>(st.st_size), date, time};
}

bool Store::remove(std::string_view name) const {
    if (!safeName(name)) return false;
    DirFd d{openDir()};
    if (d.fd < 0) return false;
    std::string n(name);
    if (!isRegular(d.fd, n)) return false;
    return ::unlinkat(d.fd, n.c_str(), 0) == 0;
}

bool Store::rename(std::string_view from, std::string_view to) const {
    if (!safeName(from) || !safeName(to)) return false;
    DirFd d{openDir()};
    if (d.fd < 0) return false;
    std::string f(from), t(to);
    if (!isRegular(d.fd, f)) return false;
    if (::renameat2(d.fd, f.c_str(), d.fd, t.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without no-replace renames: check, then rename.
    struct stat st {};
    if (::fstatat(d.fd, t.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT) return false;
    return ::renameat(d.fd, f.c_str(), d.fd, t.c_str()) == 0;
}

std::unique_ptr<IncomingFile> Store::beginIncoming() const {
    int dirFd = openDir();
    if (dirFd < 0) return nullptr;
    static unsigned serial = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Longer than a name field can carry, so never listed or addressed.
        std::string temp =
            ".htsim-" + std::to_string(::getpid()) + "-" + std::to_string(++serial) + ".part";
        int fd = ::openat(dirFd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) return std::unique_ptr<IncomingFile>(new IncomingFile(dirFd, fd, temp));
        if (errno != EEXIST) break;
    }
    ::close(dirFd);
    return nullptr;
}

std::unique_ptr<FileSource> Store::openForSending(std::string_view name) const {
    if (!safeName(name)) return nullptr;
    DirFd d{openDir()};
    if (d.fd < 0) return nullptr;
    int fd =
        ::openat(d.fd, std::string(name).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<StoredFile>(fd, static_cast<int64_t>(st.st_size));
}

}  // namespace vsk::htsim
