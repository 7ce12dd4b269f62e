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
};

namespace {

bool failWith(DWORD error) {
    SetLastError(error);
    recordWin32Error();
    return false;
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
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = 0;
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

// Waits up to `timeoutMs` for input and reads what is waiting into the
// buffer: 1 bytes arrived, 0 none, -1 failure or the device went away.
int Port::fillBuffer(int timeoutMs) {
    HANDLE h = toHandle(handle_);
    COMMTIMEOUTS wanted = settings_->timeouts;
    wanted.ReadIntervalTimeout = MAXDWORD;
    wanted.ReadTotalTimeoutMultiplier = timeoutMs > 0 ? MAXDWORD : 0;
    wanted.ReadTotalTimeoutConstant = timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : 0;
    if (!settings_->timeoutsSet ||
        wanted.ReadTotalTimeoutMultiplier != settings_->timeouts.ReadTotalTimeoutMultiplier ||
        wanted.ReadTotalTimeoutConstant != settings_->timeouts.ReadTotalTimeoutConstant) {
        if (!SetCommTimeouts(h, &wanted)) {
            recordWin32Error();
            return -1;
        }
        settings_->timeouts = wanted;
        settings_->timeoutsSet = true;
    }
    DWORD n = 0;
    const BOOL ok = ReadFile(h, inBuf_, sizeof inBuf_, &n, nullptr);
    recordWin32Error();
    if (!ok) {
        // A line error (parity, framing, overrun) stops nothing; clear it and go on.
        DWORD errors = 0;
        if (GetLastError() == ERROR_OPERATION_ABORTED && ClearCommError(h, &errors, nullptr))
            return 0;
        return -1;
    }
    if (n == 0) return 0;
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
    handle_ = kNoHandle;
    settings_.reset();
    inHead_ = inTail_ = 0;
    return ok != FALSE;
}

}  // namespace vsk::platform
