// Opening and closing the port: the line settings, the DTR/RTS lines and the
// open modes that announce the speed by line signalling.
#include <iterator>

#include "host/host.h"
#include "platform/clock.h"
#include "platform/port_names.h"
#include "session.h"

namespace vsk {

namespace {

struct BaudInfo {
    int32_t baud;      // as given in the line settings
    int32_t portBaud;  // the speed the port runs at
    int speedCode;     // announced by the line-signalling open modes
};

constexpr BaudInfo kBauds[] = {
    {0, 9600, 0},      {1200, 1200, 8},   {2400, 2400, 6},   {4800, 4800, 8},     {9600, 9600, 5},
    {19200, 19200, 4}, {38400, 38400, 3}, {57600, 57600, 2}, {115200, 115200, 1},
};

// Every rate callers may name has its speed code here, and nothing else.
constexpr bool baudTableMatchesRates() {
    constexpr int32_t rates[] = {VSK_BAUD_RATES};
    if (std::size(kBauds) != std::size(rates) + 1 || kBauds[0].baud != 0) return false;
    for (size_t i = 0; i < std::size(rates); ++i) {
        if (kBauds[i + 1].baud != rates[i]) return false;
    }
    return true;
}
static_assert(baudTableMatchesRates());

const BaudInfo* findBaud(int32_t baud) {
    for (const BaudInfo& b : kBauds) {
        if (b.baud == baud) return &b;
    }
    return nullptr;
}

int32_t nextHandle() {
    static int32_t counter = 0;
    counter = counter >= 0x7FFF ? 1 : counter + 1;
    return 0x56530000 | counter;  // never 0
}

// Raises or drops both lines for open mode 0; a line that cannot be changed
// (pseudo-terminals have none) is no error there.
void applyFlowLines(platform::Port& port, bool raised) {
    port.setDtr(raised);
    port.setRts(raised);
}

int32_t lineChange(platform::Port& port, bool dtr, bool raised) {
    bool ok = dtr ? port.setDtr(raised) : port.setRts(raised);
    return ok ? 0 : VSK_E_SYS_MODEM_LINES;
}

// Mode 1: announce the speed with one code byte framed by line changes.
int32_t announceByByte(platform::Port& port, int speedCode) {
    uint8_t code;
    if (speedCode == 0) {
        code = 4;
    } else if (speedCode == 6) {
        code = 8;
    } else if (speedCode >= 1 && speedCode <= 5) {
        code = static_cast<uint8_t>(speedCode - 1);
    } else {
        return VSK_E_PARAM;
    }
    struct Step {
        bool dtr;
        bool raised;
        uint32_t waitMs;
    };
    constexpr Step kBefore[] = {{false, false, 0},
                                {true, false, 100},
                                {false, true, 50},
                                {true, true, 50},
                                {false, false, 50}};
    for (const Step& s : kBefore) {
        if (int32_t r = lineChange(port, s.dtr, s.raised)) return r;
        if (s.waitMs) platform::sleepMs(s.waitMs);
    }
    size_t written = 0;
    port.write(&code, 1, &written);  // not checked: the line changes carry the protocol
    platform::sleepMs(50);
    return lineChange(port, false, true);
}

// Mode 2: announce the speed on the DTR and RTS levels.
int32_t announceByLines(platform::Port& port, int speedCode) {
    if (int32_t r = lineChange(port, false, false)) return r;
    platform::sleepMs(2);
    if (int32_t r = lineChange(port, true, false)) return r;
    platform::sleepMs(500);
    bool dtr, rts;
    switch (speedCode) {
        case 0:
            dtr = false;
            rts = false;
            break;
        case 1:
            dtr = true;
            rts = true;
            break;
        case 4:
            dtr = true;
            rts = false;
            break;
        case 5:
            dtr = false;
            rts = true;
            break;
        default:
            return VSK_E_PARAM;
    }
    if (int32_t r = lineChange(port, true, dtr)) return r;
    platform::sleepMs(2);
    return lineChange(port, false, rts);
}

int32_t setLine(platform::Port& port, int32_t portBaud, int parity, int dataBits, int stopBits) {
    platform::LineParams p{};
    if (!platform::baudSupported(portBaud)) return VSK_E_PARAM;
    p.baud = portBaud;
    p.parity = parity;
    p.dataBits = dataBits;
    p.stopBits = stopBits;
    if (!port.readSettings()) return VSK_E_SYS_GET_STATE;
    if (!port.applyLine(p)) return VSK_E_SYS_SET_STATE;
    return 0;
}

// Reads, changes and writes the line settings from the caller's record.
int32_t configureLine(platform::Port& port, const BaudInfo* baud, const LineSettings& ls) {
    if (!port.readSettings()) return VSK_E_SYS_GET_STATE;
    if (baud == nullptr || ls.Parity < 0 || ls.Parity > 2 || ls.BiteSize < 0 || ls.BiteSize > 1 ||
        ls.StopBits < 0 || ls.StopBits > 1) {
        return VSK_E_PARAM;
    }
    return setLine(port, baud->portBaud, ls.Parity, ls.BiteSize == 0 ? 7 : 8,
                   ls.StopBits == 0 ? 1 : 2);
}

}  // namespace

int32_t comOpen(int32_t* handleOut, int32_t portNo, int32_t mode, const LineSettings* ls) {
    State& g = state();
    if (g.open.load()) return VSK_E_ALREADY_OPEN;
    if (handleOut == nullptr || ls == nullptr) return VSK_E_PARAM;
    uint32_t timeout = static_cast<uint32_t>(ls->timeout);
    uint32_t retry = static_cast<uint32_t>(ls->Retry);
    uint32_t flow = static_cast<uint32_t>(ls->Flow);
    if (timeout < VSK_MIN_TIMEOUT_MS || timeout > VSK_MAX_TIMEOUT_MS || retry < VSK_MIN_RETRY ||
        retry > VSK_MAX_RETRY || flow > 1)
        return VSK_E_PARAM;
    if (portNo <= 0) return VSK_E_PARAM;

    if (g.port.isOpen()) {
        // A port left open by an earlier failed open that was never closed.
        g.port.close();
    }
    if (!g.port.open(devicePathForPort(portNo))) return VSK_E_SYS_OPEN;
    int32_t h = nextHandle();
    *handleOut = h;
    g.handle.store(h);

    bool signalling = mode == 1 || mode == 2;
    const BaudInfo* baud = findBaud(ls->BaudRate);
    if (mode == 1) {
        if (int32_t r = setLine(g.port, 9600, 0, 8, 1)) return r;
        if (baud == nullptr) return VSK_E_PARAM;
        if (int32_t r = announceByByte(g.port, baud->speedCode)) return r;
    }

    if (int32_t r = configureLine(g.port, baud, *ls)) {
        g.port.close();
        return r;
    }
    if (!signalling) applyFlowLines(g.port, flow == 1);
    g.timeoutMs = timeout;
    g.retry = retry;
    if (!g.port.setWriteTimeout(timeout)) {
        g.port.close();
        return VSK_E_SYS_SET_TIMEOUTS;
    }
    if (mode == 2) {
        if (int32_t r = announceByLines(g.port, baud->speedCode)) return r;
    }
    g.open.store(true);
    return 0;
}

int32_t comClose(int32_t handle) {
    State& g = state();
    if (!handleRecorded(handle)) return VSK_E_HANDLE;
    // A failing close still releases the descriptor here, so the session ends
    // either way; the failure is reported. The host stops watching it first.
    host::forgetPort(g.port.waitHandle());
    bool closed = g.port.close();
    g.open.store(false);
    g.handle.store(0);
    return closed ? 0 : VSK_E_HANDLE;
}

}  // namespace vsk
