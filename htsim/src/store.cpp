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

}  // namespace

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

}  // namespace vsk::htsim
