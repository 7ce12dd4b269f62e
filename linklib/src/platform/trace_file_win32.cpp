// The trace's file, clock and stderr through the Win32 API. Nothing here
// changes GetLastError() as the caller left it, nor the last system error.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/trace_file.h"
#include "platform/win32_error.h"

namespace vsk::platform {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// 100-ns intervals from 1601-01-01 to 1970-01-01.
constexpr uint64_t kUnixEpochIn100ns = 116444736000000000ull;

}  // namespace

// FILE_APPEND_DATA alone: every write lands at the end, so lines of several
// processes stay whole.
bool TraceFile::open(const char* path, int* err) {
    LastErrorKept kept;
    close();
    HANDLE h = CreateFileA(path, FILE_APPEND_DATA, kShareAll, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *err = static_cast<int>(GetLastError());
        return false;
    }
    handle_ = fromHandle(h);
    return true;
}

bool TraceFile::write(const char* text, size_t n, int* err) {
    LastErrorKept kept;
    size_t done = 0;
    while (done < n) {
        DWORD w = 0;
        if (!WriteFile(toHandle(handle_), text + done, static_cast<DWORD>(n - done), &w, nullptr) ||
            w == 0) {
            *err = static_cast<int>(GetLastError());
            return false;
        }
        done += w;
    }
    return true;
}

bool TraceFile::isAt(const char* path) const {
    if (handle_ == -1) return false;
    LastErrorKept kept;
    HANDLE named = CreateFileA(path, 0, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    const bool same = GetFileInformationByHandle(named, &a) &&
                      GetFileInformationByHandle(toHandle(handle_), &b) &&
                      a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                      a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(named);
    return same;
}

void TraceFile::close() {
    if (handle_ == -1) return;
    LastErrorKept kept;
    CloseHandle(toHandle(handle_));
    handle_ = -1;
}

WallTime wallNow() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    const uint64_t sinceEpoch = ticks - kUnixEpochIn100ns;
    return WallTime{static_cast<int64_t>(sinceEpoch / 10000000u),
                    static_cast<uint32_t>(sinceEpoch % 10000000u / 10000u)};
}

void localDateTime(int64_t seconds, char out[20]) {
    LastErrorKept kept;
    const auto t = static_cast<time_t>(seconds);
    std::tm local{};
    localtime_s(&local, &t);
    std::strftime(out, 20, "%Y-%m-%d %H:%M:%S", &local);
}

int32_t processId() {
    return static_cast<int32_t>(GetCurrentProcessId());
}

// The program's file name without its folder and ".exe".
const char* programName() {
    static char name[MAX_PATH] = "";
    if (name[0] != '\0') return name;
    LastErrorKept kept;
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return "?";
    const char* base = path;
    for (const char* p = path; *p != '\0'; ++p)
        if (*p == '\\' || *p == '/') base = p + 1;
    std::snprintf(name, sizeof name, "%s", base);
    char* dot = std::strrchr(name, '.');
    if (dot != nullptr && _stricmp(dot, ".exe") == 0) *dot = '\0';
    return name;
}

void writeStderr(const char* text) {
    LastErrorKept kept;
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
    size_t n = std::strlen(text);
    while (n > 0) {
        DWORD w = 0;
        if (!WriteFile(err, text, static_cast<DWORD>(n), &w, nullptr) || w == 0) return;
        text += w;
        n -= w;
    }
}

}  // namespace vsk::platform
