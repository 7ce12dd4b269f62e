// The serial port through the Win32 communications API: CreateFileA on the
// COM device (exclusive), GetCommState/SetCommState, SetCommTimeouts,
// ReadFile/WriteFile, EscapeCommFunction, PurgeComm and CloseHandle. Every
// call records GetLastError() where it happens.
//
// Reads wait in the driver: with ReadIntervalTimeout and the multiplier at
// MAXDWORD, ReadFile returns as soon as a byte is there, or after the total
// constant with none; so a wait blocks and never spins.
#include <windows.h>

#include <algorithm>

#include "platform/clock.h"
#include "platform/port.h"
#include "platform/syserror.h"
#include "platform/win32_error.h"

namespace vsk::platform {

struct Port::Settings {
    bool haveSaved = false;
    DCB saved{};  // found at open, restored at close
    COMMTIMEOUTS savedTimeouts{};
    DCB current{};            // read by readSettings, changed by applyLine
    COMMTIMEOUTS timeouts{};  // in force now
    bool timeoutsSet = false;
    HANDLE claim = nullptr;  // the port's named mutex, held while open
};

namespace {

bool failWith(DWORD error) {
    SetLastError(error);
    recordWin32Error();
    return false;
}

// A named mutex per device, held while the port is open. Windows already
// opens a COM port for one program at a time; Wine does not, so the claim
// keeps two users of this library apart there as well. A holder that dies
// releases it with its handles.
HANDLE claimDevice(const std::string& path) {
    std::string name = "Local\\veska-port-";
    for (char c : path) {
        const bool plain =
            (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        name += plain ? static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c) : '_';
    }
    HANDLE mutex = CreateMutexA(nullptr, TRUE, name.c_str());
    if (mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        SetLastError(ERROR_ACCESS_DENIED);  // what Windows answers for a port in use
        return nullptr;
    }
    return mutex;
}

void releaseClaim(HANDLE claim) {
    if (claim == nullptr) return;
    ReleaseMutex(claim);
    CloseHandle(claim);
}

bool supported(int32_t baud) {
    switch (baud) {
        case 1200:
        case 2400:
        case 4800:
        case 9600:
        case 19200:
        case 38400:
        case 57600:
        case 115200:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool baudSupported(int32_t baud) {
    return supported(baud);
}

Port::Port() = default;

Port::~Port() {
    if (handle_ == kNoHandle) return;
    LastErrorKept kept;
    CloseHandle(toHandle(handle_));
    releaseClaim(settings_->claim);
}

bool Port::open(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    recordWin32Error();
    if (h == INVALID_HANDLE_VALUE) return false;
    // Only a communications device has a line state: anything else is refused.
    auto settings = std::make_unique<Settings>();
    settings->saved.DCBlength = sizeof(DCB);
    if (GetFileType(h) != FILE_TYPE_CHAR || !GetCommState(h, &settings->saved)) {
        const DWORD error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_INVALID_HANDLE;
        CloseHandle(h);
        return failWith(error);
    }
    settings->claim = claimDevice(path);
    if (settings->claim == nullptr) {
        const DWORD error = GetLastError();
        CloseHandle(h);
        return failWith(error);
    }
    settings->haveSaved = GetCommTimeouts(h, &settings->savedTimeouts) != FALSE;
    recordWin32Error();
    handle_ = fromHandle(h);
    settings_ = std::move(settings);
    inHead_ = inTail_ = 0;
    return true;
}

bool Port::readSettings() {
    settings_->current = DCB{};
    settings_->current.DCBlength = sizeof(DCB);
    const BOOL ok = GetCommState(toHandle(handle_), &settings_->current);
    recordWin32Error();
    return ok != FALSE;
}

// Binary, no flow control of either kind, DTR and RTS left to setDtr/setRts,
// and no abort of reads on a line error (a bad byte fails its frame's check).
bool Port::applyLine(const LineParams& p) {
    if (!supported(p.baud)) return failWith(ERROR_INVALID_PARAMETER);
    DCB dcb = settings_->current;
    dcb.BaudRate = static_cast<DWORD>(p.baud);
    dcb.ByteSize = static_cast<BYTE>(p.dataBits == 7 ? 7 : 8);
    dcb.Parity = static_cast<BYTE>(p.parity == 1   ? EVENPARITY
                                   : p.parity == 2 ? ODDPARITY
                                                   : NOPARITY);
    dcb.StopBits = static_cast<BYTE>(p.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT);
    dcb.fBinary = TRUE;
    dcb.fParity = p.parity != 0 ? TRUE : FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    const BOOL ok = SetCommState(toHandle(handle_), &dcb);
    recordWin32Error();
    if (!ok) return false;
    settings_->current = dcb;
    return true;
}

bool Port::setWriteTimeout(uint32_t msPerByte) {
    writeMsPerByte_ = msPerByte;
    COMMTIMEOUTS t = settings_->timeouts;
    t.WriteTotalTimeoutMultiplier = msPerByte;
    t.WriteTotalTimeoutConstant = 1;
    const BOOL ok = SetCommTimeouts(toHandle(handle_), &t);
    recordWin32Error();
    if (!ok) return false;
    settings_->timeouts = t;
    settings_->timeoutsSet = true;
    return true;
}

bool Port::setDtr(bool raised) {
    const BOOL ok = EscapeCommFunction(toHandle(handle_), raised ? SETDTR : CLRDTR);
    recordWin32Error();
    return ok != FALSE;
}

bool Port::setRts(bool raised) {
    const BOOL ok = EscapeCommFunction(toHandle(handle_), raised ? SETRTS : CLRRTS);
    recordWin32Error();
    return ok != FALSE;
}

namespace {

// Bytes the driver holds, or -1 when it cannot be asked.
long queuedBytes(HANDLE h) {
    COMSTAT status{};
    DWORD errors = 0;
    const BOOL ok = ClearCommError(h, &errors, &status);
    recordWin32Error();
    return ok ? static_cast<long>(status.cbInQue) : -1;
}

}  // namespace

// Waits up to `timeoutMs` for input and reads what is waiting into the
// buffer: 1 bytes arrived, 0 none, -1 failure or the device went away.
//
// Bytes already queued are read by their count, which returns at once. With
// none, one byte is read under a total time-out: it returns as soon as a
// byte comes. (A larger read with ReadIntervalTimeout at MAXDWORD should
// also return at the first byte, but Wine waits for the whole time-out then,
// a tenth of a second a frame.) The time-out is changed as seldom as
// possible: a wait is cut to 100, 10 or 1 ms and the caller waits again for
// what is left.
int Port::fillBuffer(int timeoutMs) {
    HANDLE h = toHandle(handle_);
    long queued = queuedBytes(h);
    if (queued < 0) return -1;
    DWORD want = static_cast<DWORD>(std::min<long>(queued, static_cast<long>(sizeof inBuf_)));
    if (want == 0) {
        if (timeoutMs <= 0) return 0;
        const DWORD wait = timeoutMs >= 100 ? 100 : timeoutMs >= 10 ? 10 : 1;
        if (!settings_->timeoutsSet || settings_->timeouts.ReadTotalTimeoutConstant != wait ||
            settings_->timeouts.ReadIntervalTimeout != 0 ||
            settings_->timeouts.ReadTotalTimeoutMultiplier != 0) {
            COMMTIMEOUTS wanted = settings_->timeouts;
            wanted.ReadIntervalTimeout = 0;
            wanted.ReadTotalTimeoutMultiplier = 0;
            wanted.ReadTotalTimeoutConstant = wait;
            if (!settings_->timeoutsSet) {
                wanted.WriteTotalTimeoutMultiplier = writeMsPerByte_;
                wanted.WriteTotalTimeoutConstant = 1;
            }
            const BOOL ok = SetCommTimeouts(h, &wanted);
            recordWin32Error();
            if (!ok) return -1;
            settings_->timeouts = wanted;
            settings_->timeoutsSet = true;
        }
        want = 1;
    }
    DWORD n = 0;
    const BOOL ok = ReadFile(h, inBuf_, want, &n, nullptr);
    recordWin32Error();
    if (!ok) {
        // A line error (parity, framing, overrun) stops nothing; clear it and go on.
        DWORD errors = 0;
        if (GetLastError() == ERROR_OPERATION_ABORTED && ClearCommError(h, &errors, nullptr))
            return 0;
        return -1;
    }
    if (n == 0) return 0;
    // What came with the first byte, without waiting.
    if (want == 1) {
        queued = queuedBytes(h);
        const DWORD more =
            static_cast<DWORD>(std::min<long>(std::max<long>(queued, 0), sizeof inBuf_ - 1));
        DWORD got = 0;
        if (more > 0 && ReadFile(h, inBuf_ + 1, more, &got, nullptr)) n += got;
        recordWin32Error();
    }
    inHead_ = 0;
    inTail_ = n;
    return 1;
}

void Port::discardWaiting() {
    inHead_ = inTail_ = 0;
    PurgeComm(toHandle(handle_), PURGE_RXCLEAR);
    recordWin32Error();
    while (fillBuffer(0) > 0) inHead_ = inTail_ = 0;
}

// WriteFile under the per-byte write time-out: a short count is a time-out,
// which the caller reports.
bool Port::write(const uint8_t* data, size_t n, size_t* written) {
    *written = 0;
    // The speed announcement of open mode 1 writes before the session's
    // time-outs are set: never with the device's own, which may wait for ever.
    if (!settings_->timeoutsSet && !setWriteTimeout(writeMsPerByte_)) return false;
    while (*written < n) {
        DWORD w = 0;
        const BOOL ok = WriteFile(toHandle(handle_), data + *written,
                                  static_cast<DWORD>(n - *written), &w, nullptr);
        recordWin32Error();
        if (!ok) return false;
        if (w == 0) return true;
        *written += w;
    }
    return true;
}

bool Port::close() {
    if (handle_ == kNoHandle) return false;
    HANDLE h = toHandle(handle_);
    {
        // Best effort and not recorded: a close on the way out of a failed
        // open must leave that failure's cause in place.
        LastErrorKept kept;
        // Let the last frame reach the terminal, for at most 2 s.
        const uint32_t start = tickMs();
        COMSTAT status{};
        DWORD errors = 0;
        while (ClearCommError(h, &errors, &status) && status.cbOutQue > 0 &&
               elapsedMs(start) < 2000) {
            Sleep(1);
        }
        if (settings_->haveSaved) {
            SetCommState(h, &settings_->saved);
            SetCommTimeouts(h, &settings_->savedTimeouts);
        }
    }
    const BOOL ok = CloseHandle(h);
    recordWin32Error();
    {
        LastErrorKept kept;
        releaseClaim(settings_->claim);
    }
    handle_ = kNoHandle;
    settings_.reset();
    inHead_ = inTail_ = 0;
    return ok != FALSE;
}

}  // namespace vsk::platform
