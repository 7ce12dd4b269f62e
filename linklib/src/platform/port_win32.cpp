// The serial port through the Win32 communications API: CreateFileA on the
// COM device (exclusive), GetCommState/SetCommState, SetCommTimeouts,
// ReadFile/WriteFile, EscapeCommFunction, PurgeComm and CloseHandle. Every
// call records GetLastError() where it happens.
//
// The device is opened for overlapped I/O, so that a read can be under way
// while the caller's thread waits for its window messages as well: a
// one-byte read that completes when the next byte comes, whose event is the
// handle a host waits on (MsgWaitForMultipleObjects). What else has arrived
// is then read by the count the driver reports, which completes at once.
// The read time-outs are all zero (a read waits for its whole count); every
// wait is bounded by the caller instead. Waiting never spins.
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
    // The one-byte read under way, if any; its event is the wait handle.
    OVERLAPPED readOv{};
    HANDLE readEvent = nullptr;
    bool readPending = false;
    uint8_t firstByte = 0;
    HANDLE writeEvent = nullptr;

    ~Settings() {
        if (readEvent != nullptr) CloseHandle(readEvent);
        if (writeEvent != nullptr) CloseHandle(writeEvent);
    }
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

// Ends the read under way, if any, and waits until the system is done with
// its buffer; a byte it brought is dropped with it. CancelIoEx reaches a
// read another thread started as well.
void stopRead(HANDLE h, Port::Settings& s) {
    if (!s.readPending) return;
    CancelIoEx(h, &s.readOv);
    DWORD n = 0;
    GetOverlappedResult(h, &s.readOv, &n, TRUE);
    s.readPending = false;
}

}  // namespace

bool baudSupported(int32_t baud) {
    return supported(baud);
}

Port::Port() = default;

Port::~Port() {
    if (handle_ == kNoHandle) return;
    LastErrorKept kept;
    stopRead(toHandle(handle_), *settings_);
    CloseHandle(toHandle(handle_));
    releaseClaim(settings_->claim);
}

bool Port::open(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
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
    // Manual-reset: the read's event stays signalled until the result is taken.
    settings->readEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    settings->writeEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (settings->readEvent == nullptr || settings->writeEvent == nullptr) {
        const DWORD error = GetLastError();
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

// The read time-outs stay zero: a read waits for its whole count, and the
// waits are the caller's.
bool Port::setWriteTimeout(uint32_t msPerByte) {
    writeMsPerByte_ = msPerByte;
    COMMTIMEOUTS t{};
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

// A read that ended without its bytes because the system cancelled it (the
// thread that started it ended, or a line error stopped it): nothing came,
// and the next wait starts a new read.
bool readWasCancelled(HANDLE h) {
    if (GetLastError() != ERROR_OPERATION_ABORTED) return false;
    DWORD errors = 0;
    ClearCommError(h, &errors, nullptr);
    return true;
}

// Reads `n` bytes the driver already holds into `buf`: the count read, or -1.
// They are there, so the read completes at once; the wait is only a bound.
long readHeld(HANDLE h, OVERLAPPED* ov, uint8_t* buf, DWORD n) {
    ResetEvent(ov->hEvent);
    ov->Offset = ov->OffsetHigh = 0;
    DWORD got = 0;
    if (ReadFile(h, buf, n, &got, ov)) {
        recordWin32Error();
        return static_cast<long>(got);
    }
    recordWin32Error();
    if (GetLastError() != ERROR_IO_PENDING) return readWasCancelled(h) ? 0 : -1;
    if (WaitForSingleObject(ov->hEvent, 1000) != WAIT_OBJECT_0) CancelIoEx(h, ov);
    const BOOL ok = GetOverlappedResult(h, ov, &got, TRUE);
    recordWin32Error();
    if (!ok) return readWasCancelled(h) ? 0 : -1;
    return static_cast<long>(got);
}

}  // namespace

intptr_t Port::waitHandle() const {
    return handle_ == kNoHandle ? kNoHandle : fromHandle(settings_->readEvent);
}

int Port::armWait() {
    if (inHead_ != inTail_) return 1;
    if (handle_ == kNoHandle) return -1;
    if (settings_->readPending) return 0;
    return fillBuffer(0);
}

// Waits up to `timeoutMs` for input and reads what is waiting into the
// buffer: 1 bytes arrived, 0 none, -1 failure or the device went away.
// With nothing held by the driver, a one-byte read is started (or the one
// under way is waited on); it stays under way when the time is up, so a
// byte that comes later is never lost.
int Port::fillBuffer(int timeoutMs) {
    if (handle_ == kNoHandle) return -1;
    HANDLE h = toHandle(handle_);
    Settings& s = *settings_;
    if (!s.timeoutsSet && !setWriteTimeout(writeMsPerByte_)) return -1;
    size_t got = 0;
    if (!s.readPending) {
        const long queued = queuedBytes(h);
        if (queued < 0) return -1;
        if (queued == 0) {
            s.readOv = OVERLAPPED{};
            s.readOv.hEvent = s.readEvent;
            DWORD n = 0;
            const BOOL ok = ReadFile(h, &s.firstByte, 1, &n, &s.readOv);
            recordWin32Error();
            if (!ok && GetLastError() == ERROR_IO_PENDING) {
                s.readPending = true;
            } else if (!ok) {
                return readWasCancelled(h) ? 0 : -1;
            } else if (n == 0) {
                return 0;
            } else {
                inBuf_[0] = s.firstByte;
                got = 1;
            }
        }
    }
    if (s.readPending) {
        const DWORD wait =
            WaitForSingleObject(s.readEvent, timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : 0);
        if (wait == WAIT_TIMEOUT) return 0;
        if (wait != WAIT_OBJECT_0) {
            recordWin32Error();
            return -1;
        }
        DWORD n = 0;
        const BOOL ok = GetOverlappedResult(h, &s.readOv, &n, FALSE);
        recordWin32Error();
        if (!ok && GetLastError() == ERROR_IO_INCOMPLETE) return 0;
        s.readPending = false;
        if (!ok) return readWasCancelled(h) ? 0 : -1;
        if (n == 0) return 0;
        inBuf_[0] = s.firstByte;
        got = 1;
    }
    // What the driver holds besides, without waiting for more.
    const long queued = queuedBytes(h);
    const DWORD more = static_cast<DWORD>(
        std::min<long>(std::max<long>(queued, 0), static_cast<long>(sizeof inBuf_ - got)));
    if (more > 0) {
        s.readOv = OVERLAPPED{};
        s.readOv.hEvent = s.readEvent;
        const long n = readHeld(h, &s.readOv, inBuf_ + got, more);
        if (n < 0 && got == 0) return -1;
        if (n > 0) got += static_cast<size_t>(n);
    }
    inHead_ = 0;
    inTail_ = got;
    return got > 0 ? 1 : 0;
}

void Port::discardWaiting() {
    inHead_ = inTail_ = 0;
    if (handle_ == kNoHandle) return;
    HANDLE h = toHandle(handle_);
    stopRead(h, *settings_);
    PurgeComm(h, PURGE_RXCLEAR);
    recordWin32Error();
    while (fillBuffer(0) > 0) inHead_ = inTail_ = 0;
}

// WriteFile under the per-byte write time-out: a short count is a time-out,
// which the caller reports. The driver's time-out ends a write that does not
// get out; the wait here bounds it as well, whatever the driver does.
bool Port::write(const uint8_t* data, size_t n, size_t* written) {
    *written = 0;
    // The speed announcement of open mode 1 writes before the session's
    // time-outs are set: never with the device's own, which may wait for ever.
    if (!settings_->timeoutsSet && !setWriteTimeout(writeMsPerByte_)) return false;
    HANDLE h = toHandle(handle_);
    while (*written < n) {
        const DWORD len = static_cast<DWORD>(std::min<size_t>(n - *written, 1u << 20));
        OVERLAPPED ov{};
        ov.hEvent = settings_->writeEvent;
        ResetEvent(ov.hEvent);
        DWORD w = 0;
        BOOL ok = WriteFile(h, data + *written, len, &w, &ov);
        recordWin32Error();
        if (!ok && GetLastError() == ERROR_IO_PENDING) {
            const uint64_t ms = static_cast<uint64_t>(writeMsPerByte_) * len + 1000;
            const DWORD budget = static_cast<DWORD>(std::min<uint64_t>(ms, INFINITE - 1));
            if (WaitForSingleObject(ov.hEvent, budget) != WAIT_OBJECT_0) CancelIoEx(h, &ov);
            ok = GetOverlappedResult(h, &ov, &w, TRUE);
            recordWin32Error();
            // Cancelled at the bound: what went out counts, the rest timed out.
            if (!ok && GetLastError() == ERROR_OPERATION_ABORTED) ok = TRUE;
        }
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
        stopRead(h, *settings_);
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
