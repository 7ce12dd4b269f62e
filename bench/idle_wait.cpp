// CPU spent by the library while it waits on a silent line.
//
// Opens a pseudo-terminal that nobody answers on, asks for a terminal's status
// with a 2-second reply time-out and reports the CPU seconds used per wall
// second of waiting. The wait polls the port with a 1 ms time-out per read,
// so the figure should stay far below 1% of a core.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

#include "veska.h"

namespace {

double cpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec +
           (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double wallSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? atoi(argv[1]) : 3;
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
    std::printf("worst: %.5f CPU seconds per wall second (%.2f%% of one core)\n", worst,
                worst * 100);
    Vsk_ComClose(h);
    close(master);
    return 0;
}
