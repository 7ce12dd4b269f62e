// PC files through the Win32 file API, with the guarantees the POSIX side
// gives: new files are created exclusively and never through a link, a file
// is put in place by one rename (replacing or not), and temporary files are
// locked while open so that a live one is told from one left behind.
#include <windows.h>

#include <cstdio>
#include <string_view>

#include "platform/files.h"
#include "platform/syserror.h"
#include "platform/temp_names.h"
#include "platform/win32_error.h"

namespace vsk::platform {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool attributesOf(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA* data) {
    const BOOL ok = GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, data);
    recordWin32Error();
    return ok != FALSE;
}

bool lastErrorIs(std::initializer_list<DWORD> codes) {
    const auto last = static_cast<DWORD>(lastSysError());
    for (DWORD code : codes)
        if (last == code) return true;
    return false;
}

// Opens without following a link at `path` (a reparse point is opened as
// itself) and refuses anything that is not a plain file.
HANDLE openPlain(const std::string& path, DWORD access) {
    HANDLE h = CreateFileA(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    recordWin32Error();
    if (h == INVALID_HANDLE_VALUE) return h;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool plain =
        GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
    if (!plain) {
        CloseHandle(h);
        SetLastError(ERROR_INVALID_PARAMETER);
        recordWin32Error();
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

bool sameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

}  // namespace

bool pathExists(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    return attributesOf(path, &data);
}

bool folderExists(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!attributesOf(path, &data)) return false;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return true;
    SetLastError(ERROR_DIRECTORY);
    recordWin32Error();
    return false;
}

bool fileSize(const std::string& path, int64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!attributesOf(path, &data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    *size =
        static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    return true;
}

bool freeSpace(const std::string& folder, uint64_t* bytes) {
    ULARGE_INTEGER available{};
    const BOOL ok = GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr);
    recordWin32Error();
    if (!ok) return false;
    *bytes = available.QuadPart;
    return true;
}

bool removeFile(const std::string& path) {
    const BOOL ok = DeleteFileA(path.c_str());
    recordWin32Error();
    return ok != FALSE;
}

bool renameFile(const std::string& from, const std::string& to) {
    const BOOL ok =
        MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    recordWin32Error();
    return ok != FALSE;
}

bool renameNoReplace(const std::string& from, const std::string& to) {
    const BOOL ok = MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
    recordWin32Error();
    return ok != FALSE;
}

bool failedAsExisting() {
    return lastErrorIs({ERROR_FILE_EXISTS, ERROR_ALREADY_EXISTS});
}
bool failedAsMissing() {
    return lastErrorIs({ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND});
}
bool failedAsBusy() {
    return lastErrorIs({ERROR_LOCK_VIOLATION, ERROR_SHARING_VIOLATION});
}

bool setReadOnly(const std::string& path, bool readOnly) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    recordWin32Error();
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    const DWORD wanted = readOnly ? (attributes | FILE_ATTRIBUTE_READONLY)
                                  : (attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    const BOOL ok = SetFileAttributesA(path.c_str(), wanted);
    recordWin32Error();
    return ok != FALSE;
}

bool File::openRead(const std::string& path) {
    close();
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    recordWin32Error();
    handle_ = fromHandle(h);
    return h != INVALID_HANDLE_VALUE;
}

// CREATE_NEW fails on any existing name, a link included. Others may read
// and delete (the file is renamed into place while open) but not write.
bool File::createNew(const std::string& path) {
    close();
    HANDLE h =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    recordWin32Error();
    handle_ = fromHandle(h);
    return h != INVALID_HANDLE_VALUE;
}

bool File::openLog(const std::string& path, bool append) {
    close();
    const DWORD access = append ? FILE_APPEND_DATA : GENERIC_WRITE;
    HANDLE h = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                           append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    recordWin32Error();
    handle_ = fromHandle(h);
    return h != INVALID_HANDLE_VALUE;
}

bool File::openExisting(const std::string& path, bool writable) {
    close();
    HANDLE h = openPlain(path, GENERIC_READ | (writable ? GENERIC_WRITE : 0));
    handle_ = fromHandle(h);
    return h != INVALID_HANDLE_VALUE;
}

bool File::tryLock() {
    OVERLAPPED whole{};
    const BOOL ok =
        LockFileEx(toHandle(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                   MAXDWORD, MAXDWORD, &whole);
    recordWin32Error();
    return ok != FALSE;
}

bool File::isAt(const std::string& path) const {
    HANDLE there = CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    recordWin32Error();
    if (there == INVALID_HANDLE_VALUE) return false;
    const bool same = sameFile(toHandle(handle_), there);
    CloseHandle(there);
    return same;
}

// A new file takes its folder's permissions here, as the one it replaces did.
bool File::takePermissionsOf(const File&) {
    return true;
}

bool File::rewind() {
    LARGE_INTEGER zero{};
    const BOOL ok = SetFilePointerEx(toHandle(handle_), zero, nullptr, FILE_BEGIN);
    recordWin32Error();
    return ok != FALSE;
}

long File::read(uint8_t* buf, size_t n) {
    size_t got = 0;
    while (got < n) {
        const DWORD want = static_cast<DWORD>(std::min<size_t>(n - got, 1u << 20));
        DWORD r = 0;
        const BOOL ok = ReadFile(toHandle(handle_), buf + got, want, &r, nullptr);
        recordWin32Error();
        if (!ok) return -1;
        if (r == 0) break;
        got += r;
    }
    return static_cast<long>(got);
}

bool File::write(const uint8_t* buf, size_t n) {
    size_t done = 0;
    while (done < n) {
        const DWORD want = static_cast<DWORD>(std::min<size_t>(n - done, 1u << 20));
        DWORD w = 0;
        const BOOL ok = WriteFile(toHandle(handle_), buf + done, want, &w, nullptr);
        recordWin32Error();
        if (!ok || w == 0) return false;
        done += w;
    }
    return true;
}

bool File::flush() {
    const BOOL ok = FlushFileBuffers(toHandle(handle_));
    recordWin32Error();
    return ok != FALSE;
}

void File::close() {
    if (handle_ != -1) {
        CloseHandle(toHandle(handle_));
        recordWin32Error();
        handle_ = -1;
    }
}

namespace {

// Differs from call to call and from process to process; CREATE_NEW settles
// any clash.
uint32_t randomPart() {
    static uint32_t counter = 0;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<uint32_t>(now.QuadPart) ^ (GetCurrentProcessId() * 2654435761u) ^
           (++counter * 40503u);
}

bool processRuns(DWORD pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

}  // namespace

bool createTemp(const std::string& folder, File* file, std::string* path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = folder + tempFileName(GetCurrentProcessId(), randomPart());
        if (!file->createNew(candidate)) {
            if (failedAsExisting()) continue;
            return false;
        }
        file->tryLock();
        *path = std::move(candidate);
        return true;
    }
    return false;
}

void removeStaleTemps(const std::string& folder) {
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((folder + std::string(kTempPrefix) + "*").c_str(), &found);
    recordWin32Error();
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const DWORD owner = tempFileOwner(found.cFileName);
        if (owner == 0 || processRuns(owner)) continue;
        const std::string path = folder + found.cFileName;
        File stale;
        if (!stale.openExisting(path) || !stale.tryLock() || !stale.isAt(path)) continue;
        DeleteFileA(path.c_str());
        recordWin32Error();
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

}  // namespace vsk::platform
