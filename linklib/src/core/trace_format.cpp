// The wire trace's lines: the time stamp, frames with their control bytes by
// name and their data as text or hex, the arguments and results of exported
// calls, and one line or a few for each event of the exchange engine.
#include "trace_format.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "platform/port_names.h"
#include "platform/syserror.h"
#include "protocol_names.h"
#include "result_codes.h"
#include "trace.h"
#include "veska.h"

namespace vsk::trace {

namespace detail {

namespace {

// Data longer than kCutAt bytes of text, or kHexHead + kHexTail bytes of hex, is
// shown by its first and last bytes.
constexpr size_t kCutAt = 48;
constexpr size_t kTextHead = 32, kTextTail = 8;
constexpr size_t kHexHead = 16, kHexTail = 8;

}  // namespace

namespace {

void putStamp(Tracer& t, Line& line) {
    platform::WallTime now = platform::wallNow();
    if (now.seconds != t.stampSecond) {
        platform::localDateTime(now.seconds, t.stampText);
        t.stampSecond = now.seconds;
    }
    line.put(t.stampText).put('.');
    line.put(static_cast<char>('0' + now.ms / 100))
        .put(static_cast<char>('0' + now.ms / 10 % 10))
        .put(static_cast<char>('0' + now.ms % 10));
    line.put(" [").num(static_cast<uint64_t>(t.pid)).put("] ");
}

}  // namespace

Line::Line(Tracer& t) : t_(t) {
    if (kBufferSize - t.len < kLineMax) t.writeOut();
    p_ = t.buf + t.len;
    end_ = t.buf + kBufferSize - 1;  // the newline always fits
    putStamp(t, *this);
}

Line::~Line() {
    *p_++ = '\n';
    t_.len = static_cast<size_t>(p_ - t_.buf);
}

void putNoise(Tracer& t) {
    if (t.noiseCount == 0) return;
    Line line(t);
    line.put("HT→PC noise: ").num(t.noiseCount).put(" byte");
    if (t.noiseCount != 1) line.put('s');
    line.put(" before any STX, hex=");
    line.hexBytes(t.noise, t.noiseCount < kNoiseKept ? t.noiseCount : kNoiseKept);
    if (t.noiseCount > kNoiseKept) line.put("...");
    t.noiseCount = 0;
}

namespace {

// The control byte by name; false when the frame type has none (data frames).
bool putControl(Line& line, char type, uint8_t c) {
    using namespace frame;
    switch (type) {
        case kData:
            return false;
        case kAnswer:
        case kEnd:
            if (c == ACK) return line.put("ACK"), true;
            if (c == NAK) return line.put("NAK"), true;
            if (c == EOT) return line.put("EOT"), true;
            if (c == CAN) return line.put("CAN"), true;
            break;
        case kCommand:
        case kResult:
            if (const char* name = type == kCommand ? commandName(c) : resultLetterName(c)) {
                line.put(static_cast<char>(c)).put(" (").put(name).put(')');
                return true;
            }
            break;
        default:
            break;
    }
    line.put("ctl=0x").hex(c);
    return true;
}

size_t printableIn(const uint8_t* d, size_t n) {
    size_t printable = 0;
    for (size_t i = 0; i < n; ++i) printable += d[i] >= 0x20 && d[i] < 0x7F;
    return printable;
}

// A data field: as text where the bytes shown are mostly printable, else as
// hex; a long one by its first and last bytes.
void putData(Line& line, const uint8_t* d, size_t n) {
    if (n == 0) return;
    const bool cut = n > kCutAt;
    const size_t shown = cut ? kTextHead + kTextTail : n;
    const size_t printable =
        cut ? printableIn(d, kTextHead) + printableIn(d + n - kTextTail, kTextTail)
            : printableIn(d, n);
    if (printable * 4 >= shown * 3) {
        line.put(" data=\"");
        if (!cut) {
            line.textBytes(d, n).put('"');
        } else {
            line.textBytes(d, kTextHead).put("\"...\"");
            line.textBytes(d + n - kTextTail, kTextTail).put('"');
        }
        return;
    }
    line.put(" hex=");
    if (n <= kHexHead + kHexTail) {
        line.hexBytes(d, n);
    } else {
        line.hexBytes(d, kHexHead).put("...").hexBytes(d + n - kHexTail, kHexTail);
    }
}

// Type, HT number, block and length field as on the line, then the control
// byte by name and the rest of the data field (`dataLen` bytes in all).
void putFrame(Line& line, const uint8_t* f, size_t dataLen) {
    using namespace frame;
    const char type = typeOf(f);
    line.textByte(static_cast<uint8_t>(type)).put(" ht=").textBytes(f + kOffHt, kHtWidth);
    line.put(" blk=").textByte(static_cast<uint8_t>(blockOf(f)));
    line.put(" len=").textBytes(f + kOffLength, 4).put(' ');
    const uint8_t* d = f + kOffData;
    if (dataLen > 0 && putControl(line, type, controlOf(f))) {
        putData(line, d + 1, dataLen - 1);
    } else {
        line.put('-');
        putData(line, d, dataLen);
    }
}

Line& putResult(Line& line, int32_t result) {
    return line.snum(result).put(' ').put(result == 0 ? "OK" : resultText(result));
}

Line& putErrno(Line& line, int err) {
    char text[256] = {};
    if (!platform::sysErrorText(err, text, sizeof text)) text[0] = '\0';
    return line.put("errno ").snum(err).put(' ').put(text);
}

// --- arguments of exported calls

void putText(Line& line, const char* s, int32_t cap) {
    if (s == nullptr) {
        line.put("null");
        return;
    }
    size_t n = strnlen(s, static_cast<size_t>(cap));
    line.put('"').textBytes(reinterpret_cast<const uint8_t*>(s), n).put('"');
}

// The terminals a mask selects, as "1-3,7".
void putMask(Line& line, const char* mask) {
    if (mask == nullptr) {
        line.put("null");
        return;
    }
    size_t n = strnlen(mask, VSK_MAX_HT);
    bool any = false;
    for (size_t i = 0; i < n; ++i) {
        if (mask[i] != '1') continue;
        size_t last = i;
        while (last + 1 < n && mask[last + 1] == '1') ++last;
        line.put(any ? "," : "").num(i + 1);
        if (last > i) line.put('-').num(last + 1);
        any = true;
        i = last;
    }
    if (!any) line.put("none");
}

void putLine(Line& line, const LineSettings* ls) {
    if (ls == nullptr) {
        line.put("null");
        return;
    }
    line.put("baud=").snum(ls->BaudRate).put(" parity=").snum(ls->Parity);
    line.put(" data=").snum(ls->BiteSize).put(" stop=").snum(ls->StopBits);
    line.put(" flow=").snum(ls->Flow).put(" timeout=").snum(ls->timeout);
    line.put(" retry=").snum(ls->Retry);
}

void putArg(Line& line, const Arg& a) {
    if (a.kind != Arg::Kind::kLine) line.put(a.name).put('=');
    switch (a.kind) {
        case Arg::Kind::kInt:
            line.snum(a.value);
            break;
        case Arg::Kind::kHex:
            line.put("0x").hex32(static_cast<uint32_t>(a.value));
            break;
        case Arg::Kind::kText:
            putText(line, static_cast<const char*>(a.ptr), a.value);
            break;
        case Arg::Kind::kMask:
            putMask(line, static_cast<const char*>(a.ptr));
            break;
        case Arg::Kind::kPort:
            line.snum(a.value);
            if (a.value > 0) {
                try {
                    std::string device = devicePathForPort(a.value);
                    line.put(" (").textBytes(reinterpret_cast<const uint8_t*>(device.data()),
                                             device.size());
                    line.put(')');
                } catch (...) {
                    // Out of memory: the line goes without the device.
                }
            }
            break;
        case Arg::Kind::kLine:
            putLine(line, static_cast<const LineSettings*>(a.ptr));
            break;
        case Arg::Kind::kHandleOut:
            if (a.ptr == nullptr) {
                line.put("null");
            } else {
                line.put("0x").hex32(static_cast<uint32_t>(*static_cast<const int32_t*>(a.ptr)));
            }
            break;
    }
}

bool isSystemError(int32_t result) {
    return result >= VSK_E_SYS_OPEN && result <= VSK_E_SYS_MOVE;
}

// The usual cause of EACCES on a serial device, and its cure.
void putPermissionHint(Tracer& t, std::initializer_list<Arg> args) {
    Line line(t);
    line.put("hint: no permission on the device: see its group with ls -l");
    for (const Arg& a : args) {
        if (a.kind != Arg::Kind::kPort || a.value <= 0) continue;
        try {
            std::string device = devicePathForPort(a.value);
            line.put(' ').textBytes(reinterpret_cast<const uint8_t*>(device.data()), device.size());
        } catch (...) {
            // Out of memory: the hint goes without the device.
        }
    }
    // Which group may help is the device's own business: root's group never
    // does, and a group without read and write permission does not either.
    line.put(
        ": a group other than root with read and write permission can be joined"
        " (sudo usermod -aG GROUP $USER, then log in again); otherwise ask for access,"
        " e.g. a udev rule");
}

}  // namespace

void callEnds(const char* name, std::initializer_list<Arg> args, int32_t result,
              uint64_t startedUs) {
    const uint64_t spent = startedUs != 0 ? platform::tickUs() - startedUs : 0;
    const int32_t err = platform::lastSysError();
    Event e;
    {
        Line line(e.t());
        line.put(name).put('(');
        bool first = true;
        for (const Arg& a : args) {
            if (!first) line.put(", ");
            putArg(line, a);
            first = false;
        }
        line.put(") = ");
        putResult(line, result);
        if (isSystemError(result) && err != 0) putErrno(line.put(" ["), err).put(']');
        line.put(", ").ms(spent);
    }
    if (result == VSK_E_SYS_OPEN && err == EACCES) putPermissionHint(e.t(), args);
    e.t().writeOut();
}

void sent(const uint8_t* f, size_t n, int32_t result, int32_t abortReason) {
    Event e;
    Tracer& t = e.t();
    const bool again = n == t.lastSentLen && std::memcmp(f, t.lastSent, n) == 0;
    t.sendings = again ? t.sendings + 1 : 1;
    if (!again && n <= sizeof t.lastSent) {
        std::memcpy(t.lastSent, f, n);
        t.lastSentLen = n;
    }
    {
        Line line(t);
        line.put("PC→HT ");
        const size_t dataLen = n >= frame::kOverhead ? n - frame::kOverhead : 0;
        putFrame(line, f, dataLen);
        if (again) line.put(" (attempt ").num(t.sendings).put(')');
        if (result != 0) putResult(line.put(" NOT SENT: "), result);
        if (result == VSK_E_TIMEOUT) line.put(" (the line took it only in part)");
    }
    if (result == VSK_E_SYS_WRITE) {
        putErrno(Line(t).put("line failure: write: "), platform::lastSysError());
        t.writeOut();
    }
    if (abortReason != 0) {
        {
            Line line(t);
            line.put("abort: ");
            putResult(line, abortReason);
        }
        t.writeOut();
    }
}

void frameRead(frame::FrameReader::Status status, const uint8_t* f) {
    using Status = frame::FrameReader::Status;
    Event e;
    Line line(e.t());
    line.put("HT→PC ");
    if (status == Status::kTooLong) {
        putFrame(line, f, 0);
        line.put(" TOO LONG: more than ").num(frame::kMaxReceiveData).put(" data bytes, dropped");
        return;
    }
    const size_t announced = frame::lengthLeading(f);
    const size_t dataLen = status == Status::kComplete ? frame::lengthStrict(f) : announced;
    putFrame(line, f, dataLen);
    if (status == Status::kBadCheck) {
        if (frame::lengthStrict(f) != announced) {
            line.put(" BAD LENGTH FIELD");
        } else {
            const uint8_t* bcc = f + frame::kOffData + dataLen + 1;
            line.put(" BAD BCC: received ").hex(*bcc).put(", computed ");
            line.hex(frame::blockCheck(f + 1, bcc));
        }
    }
}

void timedOut(uint32_t timeoutMs, size_t partial) {
    Event e;
    Line line(e.t());
    line.put("time-out: ");
    if (partial > 0) line.num(partial).put(" bytes of a frame, then ");
    line.put("nothing for ").num(timeoutMs).put(" ms");
}

void foreignReply(const char* expectedHt) {
    Event e;
    Line line(e.t());
    line.put("ignored: the reply is not from HT ");
    line.textBytes(reinterpret_cast<const uint8_t*>(expectedHt), frame::kHtWidth);
}

void waitingAgain(int32_t why, uint32_t attempt, uint32_t tries) {
    Event e;
    Line line(e.t());
    line.put("retry ").num(attempt).put(" of ").num(tries).put(": ");
    if (why == frame::kind::kRepeatedBlock) {
        line.put("the terminal repeated its last frame");
    } else if (why == VSK_E_TIMEOUT) {
        line.put("no reply yet");
    } else {
        line.put("the reply was damaged");
    }
    line.put(", waiting for the terminal to send again");
}

void staleAck(char block) {
    Event e;
    Line line(e.t());
    line.put("ignored: a late ACK of block ").put(block);
    line.put(" (answering a copy sent again), waiting for this block's own");
}

void abortByTerminal(bool betweenFrames) {
    Event e;
    {
        Line line(e.t());
        line.put("abort by the terminal");
        if (betweenFrames) line.put(" (its CAN frame came between blocks)");
        line.put(": ");
        putResult(line, VSK_E_ABORT_HT);
    }
    e.t().writeOut();
}

void dropped(const uint8_t* bytes, size_t n) {
    Event e;
    Line line(e.t());
    line.put("HT→PC ").num(n).put(" bytes waiting between blocks dropped, hex=");
    line.hexBytes(bytes, n);
}

void lineFailure(const char* what) {
    const int32_t err = platform::lastSysError();
    Event e;
    {
        Line line(e.t());
        line.put("line failure: ").put(what).put(": ");
        putErrno(line, err);
    }
    e.t().writeOut();
}

}  // namespace detail

}  // namespace vsk::trace
