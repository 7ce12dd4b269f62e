// CPU spent by the library while it waits on a silent line.
//
// Opens a pseudo-terminal that nobody answers on, asks for a terminal's status
// with a 2-second reply time-out and reports the CPU seconds used per wall
// second of waiting. Without events to dispatch a wait blocks for up to 100 ms
// per poll of the port, so the figure should stay far below 1% of a core.
// With --qt the program is a Qt program: the library then waits inside the
// event dispatcher, which wakes for the port, an event or the time-out.
//
//   bench_idle_wait [--qt] [ROUNDS]
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#ifdef VESKA_BENCH_QT
#include <QCoreApplication>
#endif

#include "options.h"
#include "veska.h"

namespace {

double cpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double wallSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    const bench::Options options(
        argc, argv,
        "CPU spent while a call waits on a silent line: a status query with a 2-second\n"
        "time-out, ROUNDS times (default 3).",
        {{"--qt", nullptr, "run as a Qt program (waits in 1 ms slices between events)"}}, "ROUNDS",
        1);
    const bool qt = options.has("--qt");
    const int rounds = static_cast<int>(options.operandNumber(0, 3));
#ifdef VESKA_BENCH_QT
    std::unique_ptr<QCoreApplication> app;
    if (qt) app = std::make_unique<QCoreApplication>(argc, argv);
#else
    if (qt) {
        std::fprintf(stderr, "built without the Qt host\n");
        return 1;
    }
#endif
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("pseudo-terminal");
        return 1;
    }
    setenv("VESKA_COM1", ptsname(master), 1);

    LineSettings ls{115200, 0, 1, 0, 0, 2000, 1};
    int32_t h = 0;
    if (int32_t r = Vsk_ComOpen(&h, 1, 0, &ls); r != 0) {
        std::fprintf(stderr, "open failed: %d\n", r);
        return 1;
    }
    std::printf("%-8s %10s %10s %14s\n", "round", "wall s", "cpu s", "cpu s / wall s");
    double worst = 0;
    for (int i = 1; i <= rounds; ++i) {
        StatusRecord st{};
        double w0 = wallSeconds(), c0 = cpuSeconds();
        int32_t r = Vsk_GetStatus(h, "001", &st);
        double wall = wallSeconds() - w0, cpu = cpuSeconds() - c0;
        if (r != VSK_E_TIMEOUT) std::fprintf(stderr, "unexpected result %d\n", r);
        double ratio = cpu / wall;
        if (ratio > worst) worst = ratio;
        std::printf("%-8d %10.3f %10.4f %14.5f\n", i, wall, cpu, ratio);
    }
    std::printf("worst: %.5f CPU seconds per wall second (%.2f%% of one core)%s\n", worst,
                worst * 100, qt ? " in a Qt program" : "");
    Vsk_ComClose(h);
    close(master);
    return 0;
}
