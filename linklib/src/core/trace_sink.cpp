// The wire trace's sink: the buffer, writing it out (at the end of a call,
// when due, at exit), switching the trace on and off, and the events that
// only touch the buffer.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/clock.h"
#include "platform/syserror.h"
#include "trace.h"
#include "trace_format.h"
#include "veska.h"

namespace vsk::trace {

namespace detail {

std::atomic<bool> gOn{false};

namespace {

// Made when a trace is first asked for, and never destroyed: a call made
// while the process exits still finds it. What is buffered goes out at exit.
Tracer* gTracer = nullptr;

void flushAtExit() {
    std::lock_guard<std::mutex> lock(gTracer->mutex);
    gTracer->writeOut();
}

bool makeTracer() {
    if (gTracer != nullptr) return true;
    gTracer = new (std::nothrow) Tracer;
    if (gTracer == nullptr) return false;
    std::atexit(flushAtExit);
    return true;
}

}  // namespace

Tracer& tracer() {
    return *gTracer;
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

Event::Event() : t_(tracer()), lock_(t_.mutex), errno_(errno) {
    putNoise(t_);
}

Event::~Event() {
    flushIfDue(t_);
    errno = errno_;
}

}  // namespace detail

void configure() {
    using namespace detail;
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

void noise(uint8_t b) {
    Tracer& t = tracer();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (t.noiseCount < kNoiseKept) t.noise[t.noiseCount] = b;
    ++t.noiseCount;
}

}  // namespace detail

}  // namespace vsk::trace
