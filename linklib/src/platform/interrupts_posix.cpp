#include <pthread.h>

#include <csignal>

#include "platform/interrupts.h"

namespace vsk::platform {

void installInterruptHandler(InterruptHandler handler) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void endByInterrupt(int request) {
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(request, &action, nullptr);
    sigset_t unblocked;
    sigemptyset(&unblocked);
    sigaddset(&unblocked, request);
    sigprocmask(SIG_UNBLOCK, &unblocked, nullptr);
    std::raise(request);
}

std::thread threadWithoutInterrupts(std::function<void()> body) {
    sigset_t interrupts;
    sigset_t previous;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    // The new thread inherits the mask; this one gets its own back.
    pthread_sigmask(SIG_BLOCK, &interrupts, &previous);
    try {
        std::thread thread(std::move(body));
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        return thread;
    } catch (...) {
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        throw;
    }
}

}  // namespace vsk::platform
