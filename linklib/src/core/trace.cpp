#include "trace.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "platform/clock.h"
#include "platform/syserror.h"
#include "platform/trace_file.h"
#include "port_names.h"
#include "result_codes.h"
#include "veska.h"

namespace vsk::trace {

namespace detail {
std::atomic<bool> gOn{false};
}

namespace {

constexpr size_t kBufferSize = 64 * 1024;
constexpr size_t kLineMax = 4096;  // room kept free for the line being written
constexpr uint32_t kFlushEveryMs = 1000;
constexpr size_t kNoiseKept = 16;  // noise bytes shown: the first ones of a run
// Data longer than kCutAt bytes of text, or kHexHead + kHexTail bytes of hex, is
// shown by its first and last bytes.
constexpr size_t kCutAt = 48;
constexpr size_t kTextHead = 32, kTextTail = 8;
constexpr size_t kHexHead = 16, kHexTail = 8;

struct Tracer {
    std::mutex mutex;
    platform::TraceFile file;
    char path[4096] = {};
    bool warned = false;
    int32_t pid = 0;

    char buf[kBufferSize];
    size_t len = 0;
    uint32_t lastFlushMs = 0;

    int64_t stampSecond = -1;  // the second stampText was made for
    char stampText[20] = {};

    // The frame the PC sent last in this call: the same bytes again are a resend.
    uint8_t lastSent[frame::kSendBufferSize];
    size_t lastSentLen = 0;
    uint32_t sendings = 0;  // how often in a row it went out

    // A run of noise bytes, written as one line before the next event.
    uint8_t noise[kNoiseKept];
    size_t noiseCount = 0;

    void writeOut();
    void stop(const char* what, int err);
};

// Made when a trace is first asked for, and never destroyed: a call made
// while the process exits still finds it. What is buffered goes out at exit.
Tracer* gTracer = nullptr;

void flushAtExit() {
    std::lock_guard<std::mutex> lock(gTracer->mutex);
    gTracer->writeOut();
}

// Only used once a trace has been configured, so the tracer exists.
Tracer& tracer() {
    return *gTracer;
}

bool makeTracer() {
    if (gTracer != nullptr) return true;
    gTracer = new (std::nothrow) Tracer;
    if (gTracer == nullptr) return false;
    std::atexit(flushAtExit);
    return true;
}

// Formats one line straight into the buffer. The constructor writes the time
// stamp and the process id; the destructor ends the line.
class Line {
  public:
    explicit Line(Tracer& t);
    ~Line();
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    Line& put(const char* s) {
        while (*s && p_ < end_) *p_++ = *s++;
        return *this;
    }
    Line& put(char c) {
        if (p_ < end_) *p_++ = c;
        return *this;
    }
    Line& num(uint64_t v) {
        char digits[20];
        size_t n = 0;
        do {
            digits[n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
        while (n > 0) put(digits[--n]);
        return *this;
    }
    Line& snum(int64_t v) {
        if (v < 0) {
            put('-');
            return num(static_cast<uint64_t>(-(v + 1)) + 1);
        }
        return num(static_cast<uint64_t>(v));
    }
    Line& hex(uint8_t b) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        put(kDigits[b >> 4]);
        return put(kDigits[b & 15]);
    }
    Line& hex32(uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) hex(static_cast<uint8_t>(v >> shift));
        return *this;
    }
    // A byte of text: printable ASCII as it is, anything else as \xNN.
    Line& textByte(uint8_t b) {
        if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\') return put(static_cast<char>(b));
        if (b == '"' || b == '\\') return put('\\').put(static_cast<char>(b));
        return put("\\x").hex(b);
    }
    Line& textBytes(const uint8_t* d, size_t n) {
        for (size_t i = 0; i < n; ++i) textByte(d[i]);
        return *this;
    }
    Line& hexBytes(const uint8_t* d, size_t n) {
        for (size_t i = 0; i < n; ++i) hex(d[i]);
        return *this;
    }
    // Milliseconds with three decimals from microseconds.
    Line& ms(uint64_t us) {
        num(us / 1000).put('.');
        put(static_cast<char>('0' + us / 100 % 10)).put(static_cast<char>('0' + us / 10 % 10));
        return put(static_cast<char>('0' + us % 10)).put(" ms");
    }

  private:
    Tracer& t_;
    char* p_;
    char* end_;
};

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

void Tracer::writeOut() {
    lastFlushMs = platform::tickMs();
    if (len == 0 || !file.isOpen()) {
        len = 0;
        return;
    }
    int err = 0;
    bool ok = file.write(buf, len, &err);
    len = 0;
    if (!ok) stop("cannot write the trace to", err);
}

// Switches the trace off until a session opens it again, saying so once per
// process on stderr.
void Tracer::stop(const char* what, int err) {
    detail::gOn.store(false, std::memory_order_relaxed);
    file.close();
    len = 0;
    if (warned) return;
    warned = true;
    char text[256] = {};
    platform::sysErrorText(err, text, sizeof text);
    char message[sizeof path + 512];
    std::snprintf(message, sizeof message, "veska: %s %s: %s; tracing is off\n", what, path, text);
    platform::writeStderr(message);
}

// Writes the buffer when the last write is a second ago, so that a long call
// shows its progress to someone watching the file.
void flushIfDue(Tracer& t) {
    if (platform::tickMs() - t.lastFlushMs >= kFlushEveryMs) t.writeOut();
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

// Holds the lock and keeps errno for one event; noise seen before it comes
// first, and the buffer goes out when it is due.
class Event {
  public:
    Event() : t_(tracer()), lock_(t_.mutex), errno_(errno) { putNoise(t_); }
    ~Event() {
        flushIfDue(t_);
        errno = errno_;
    }
    Tracer& t() { return t_; }

  private:
    Tracer& t_;
    std::lock_guard<std::mutex> lock_;
    int errno_;
};

const char* commandName(uint8_t c) {
    using namespace frame::cmd;
    switch (static_cast<char>(c)) {
        case kDir:
            return "listing";
        case kFileInfo:
            return "file info";
        case kStatus:
            return "status";
        case kDispInit:
            return "display init";
        case kDelete:
            return "delete";
        case kRename:
            return "rename";
        case kReboot:
            return "reboot";
        case kPowerOff:
            return "power off";
        case kRemoteEnd:
            return "remote end";
        case kApEnd:
            return "application end";
        case kDownload:
            return "download";
        case kUpload:
            return "upload";
        case kApInstallA:
            return "install";
        case kApInstallB:
            return "install, mode 0";
        case kOsInstall:
            return "system install";
        case kOsInstall2:
            return "system install, two files";
        case kBatchDownload:
            return "batch download";
        case kBatchUpload:
            return "batch upload";
        case kPolling:
            return "poll";
        default:
            return nullptr;
    }
}

const char* resultLetterName(uint8_t c) {
    using namespace frame::res;
    switch (static_cast<char>(c)) {
        case kSuccess:
            return "success";
        case kFailure:
            return "failure";
        case kMode:
            return "wrong mode";
        case kRandom:
            return "random file";
        default:
            return nullptr;
    }
}

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

void configure() {
    const char* value = std::getenv("VESKA_TRACE");
    const bool wanted = value != nullptr && value[0] != '\0';
    if (!wanted && gTracer == nullptr) return;
    if (!makeTracer()) return;
    Tracer& t = tracer();
    std::lock_guard<std::mutex> lock(t.mutex);
    const int savedErrno = errno;
    if (!wanted) {
        t.writeOut();
        t.file.close();
        t.path[0] = '\0';
        detail::gOn.store(false, std::memory_order_relaxed);
    } else if (!(std::strcmp(t.path, value) == 0 && t.file.isAt(value))) {
        t.writeOut();
        std::snprintf(t.path, sizeof t.path, "%s", value);
        t.pid = platform::processId();
        int err = 0;
        if (!t.file.open(value, &err)) {
            t.stop("cannot open the trace file", err);
        } else {
            detail::gOn.store(true, std::memory_order_relaxed);
            Line(t)
                .put("trace opened by ")
                .put(platform::programName())
                .put(", library ")
                .put(VSK_VERSION_TEXT);
        }
    }
    errno = savedErrno;
}

namespace detail {

uint64_t callStarts() {
    Event e;
    e.t().lastSentLen = 0;
    e.t().sendings = 0;
    e.t().pid = platform::processId();  // a forked child traces as itself
    return platform::tickUs();
}

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

void noise(uint8_t b) {
    Tracer& t = tracer();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (t.noiseCount < kNoiseKept) t.noise[t.noiseCount] = b;
    ++t.noiseCount;
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
