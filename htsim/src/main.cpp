// veska-htsim: terminals on a serial line, for exercising the PC side without hardware.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>

#include "control.h"
#include "line.h"
#include "options.h"

namespace {

// Exit status after a fault had the line go dead.
constexpr int kExitLineDead = 3;

volatile std::sig_atomic_t gStop = 0;
int gStopPipe[2] = {-1, -1};

void onStopSignal(int) {
    gStop = 1;
    const char b = 1;
    [[maybe_unused]] ssize_t n = ::write(gStopPipe[1], &b, 1);
}

bool installStopHandlers() {
    if (::pipe2(gStopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: sleeps and waits end early so a stop is noticed at once.
    sa.sa_flags = 0;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vsk::htsim;
    std::vector<std::string> args(argv + 1, argv + argc);
    Options opts;
    std::string error;
    if (!parseOptions(args, &opts, &error)) {
        std::cerr << "veska-htsim: " << error << "\n" << usageText();
        return 2;
    }
    if (opts.help) {
        std::cout << usageText();
        return 0;
    }

    std::vector<std::unique_ptr<Terminal>> terminals;
    for (const TerminalConfig& c : opts.terminals) {
        Store s(c.dir);
        if (!s.prepare(&error)) {
            std::cerr << "veska-htsim: " << error << "\n";
            return 1;
        }
        terminals.push_back(std::make_unique<Terminal>(c));
    }

    FrameLog log;
    log.setTrace(opts.trace);
    if (!opts.record.empty() && !log.openRecord(opts.record, &error)) {
        std::cerr << "veska-htsim: " << error << "\n";
        return 1;
    }
    if (!installStopHandlers()) {
        std::perror("veska-htsim: pipe");
        return 1;
    }

    // The line object removes its link when main returns, signal or not.
    Line line;
    if (!line.open(opts.line, &error)) {
        std::cerr << "veska-htsim: " << error << "\n";
        return 1;
    }

    ControlChannel control;
    if (!opts.control.empty() && !control.open(opts.control, &error)) {
        std::cerr << "veska-htsim: " << error << "\n";
        return 1;
    }

    // The path goes out only now, when every terminal is ready to answer.
    std::cout << line.path() << std::endl;
    // Only a pseudo-terminal needs its speed emulated; a device keeps its own.
    LinePace pace;
    if (opts.line.device.empty() && opts.line.baud > 0)
        pace = LinePace(opts.line.baud, opts.line.bitsPerByte());
    LineServer server(line.fd(), terminals, log, pace);
    if (!opts.control.empty()) server.setControl(&control);
    if (server.run(gStopPipe[0], &gStop) == LineServer::Ended::kHungUp) {
        line.hangUp();
        return kExitLineDead;
    }
    return 0;
}
