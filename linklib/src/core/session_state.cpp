// The module state: the one session, its handle checks, the current HT
// number, the abort flags and the progress counters.
#include <cstring>

#include "host/host.h"
#include "session.h"

namespace vsk {

State& state() {
    static State s;
    return s;
}

bool handleValid(int32_t handle) {
    State& g = state();
    return handle != 0 && g.open.load() && handle == g.handle.load();
}

bool handleRecorded(int32_t handle) {
    return handle != 0 && handle == state().handle.load();
}

void setCurrentHt(const char* ht3) {
    std::memcpy(state().currentHt, ht3, 3);
    state().currentHt[3] = '\0';
}

void clearAbort() {
    State& g = state();
    g.abortReason.store(g.abortRequested.load() ? VSK_E_ABORT_PC : 0);
}

void beginCall() {
    state().abortRequested.store(false);
    host::callStarted();
}

void requestAbort() {
    // Only atomic stores: safe from a signal handler.
    state().abortRequested.store(true);
    state().abortReason.store(VSK_E_ABORT_PC);
    host::wakeForAbort();
}
int32_t abortReason() {
    return state().abortReason.load();
}

void Progress::storeTexts(const char* ht, const char* name) {
    seq_.fetch_add(1);  // odd: being written
    for (size_t i = 0; i < 4; ++i) ht_[i].store(ht[i], std::memory_order_relaxed);
    for (size_t i = 0; i < 13; ++i) name_[i].store(name[i], std::memory_order_relaxed);
    seq_.fetch_add(1);
}

void Progress::start(const char* name, const char* ht, int32_t total) {
    char h[4] = {}, n[13] = {};
    std::memcpy(h, ht, strnlen(ht, 3));
    std::memcpy(n, name, strnlen(name, 12));
    storeTexts(h, n);
    done_.store(0);
    total_.store(total);
}

void Progress::clear() {
    const char zeros[13] = {};
    storeTexts(zeros, zeros);
    done_.store(0);
    total_.store(0);
}

void Progress::texts(char ht[4], char name[13]) const {
    // A reader in a signal handler may have interrupted the writer on its own
    // thread, which cannot finish meanwhile: after a few tries, take what is there.
    for (int tries = 0;; ++tries) {
        uint32_t before = seq_.load();
        for (size_t i = 0; i < 4; ++i) ht[i] = ht_[i].load(std::memory_order_relaxed);
        for (size_t i = 0; i < 13; ++i) name[i] = name_[i].load(std::memory_order_relaxed);
        if ((before % 2 == 0 && seq_.load() == before) || tries >= 1000) return;
    }
}

}  // namespace vsk
