// The library against the limits of the line, in one table.
//
// - Paced lines: the simulator emulates 9600, 38400 and 115200 baud 8N1 in
//   both directions and answers at once. A download and an upload at each
//   rate are compared with the protocol's ceiling: every 512-byte block costs
//   its 524-byte frame and the 13-byte acknowledgement, so at most 512/537 of
//   the line's B/10 bytes per second carry file contents.
// - An unpaced pseudo-terminal: a 9,999,999-byte file each way, wall and CPU
//   seconds. The library is limited by the line when CPU stays well under the
//   wall time.
// - Peak resident memory of this process over all of it.
// - CPU per wall second while a call waits on a silent line.
// - One polling cycle over 128 silent terminals at a 50 ms polling time-out,
//   against its floor of 128 x 50 ms.
//
// Each paced row is the median of three transfers, with the lowest and the
// highest beside it: a single transfer of a few seconds moves by up to 1 % with
// what else the machine does.
//
//   bench_line_limits [--quick]     (--quick: smaller paced files, one transfer each)
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_line.h"
#include "measure.h"
#include "options.h"
#include "veska.h"

namespace {

using bench::cpu;
using bench::Line;
using bench::median;
using bench::now;
using bench::peakRssKb;
using bench::Run;

void pacedRows(bool quick) {
    struct Rate {
        long baud, size;
    };
    const Rate rates[] = {{9600, quick ? 4096 : 8192},
                          {38400, quick ? 16384 : 32768},
                          {115200, quick ? 51200 : 102400}};
    const int runs = quick ? 1 : 3;
    std::printf("%-34s %10s %10s %10s %13s %8s\n", "paced line, 8N1", "bytes", "seconds",
                "of ceiling", "lowest-highest", "result");
    for (const Rate& rate : rates) {
        const double ceiling = bench::protocolCeiling(rate.baud);
        Line line({"--baud", std::to_string(rate.baud)});
        for (int up = 0; up < 2; ++up) {
            std::vector<double> walls;
            int32_t result = 0;
            for (int i = 0; i < runs; ++i) {
                Run r = up ? line.upload(rate.size) : line.download(rate.size);
                walls.push_back(r.wall);
                if (r.result != 0) result = r.result;
            }
            const double middle = median(walls);
            const auto [fastest, slowest] = std::minmax_element(walls.begin(), walls.end());
            const auto size = static_cast<double>(rate.size);
            char label[64];
            std::snprintf(label, sizeof label, "%s at %ld baud", up ? "upload" : "download",
                          rate.baud);
            std::printf("%-34s %10ld %10.2f %10.3f  %5.3f-%5.3f %8d\n", label, rate.size, middle,
                        size / middle / ceiling, size / *slowest / ceiling,
                        size / *fastest / ceiling, result);
        }
    }
}

void unpacedRows() {
    const long size = 9999999;
    std::printf("\n%-34s %10s %10s %10s %8s\n", "unpaced pseudo-terminal", "bytes", "seconds",
                "cpu s", "result");
    Line line({});
    for (int up = 0; up < 2; ++up) {
        Run r = up ? line.upload(size) : line.download(size);
        std::printf("%-34s %10ld %10.2f %10.2f %8d\n", up ? "upload" : "download", size, r.wall,
                    r.cpu, r.result);
    }
}

// A status query to a terminal that never answers: one attempt, 2 s.
void idleRow() {
    Line line({"--fault", "silent"}, 2000, 1);
    StatusRecord status{};
    double w = now(), c = cpu();
    int32_t r = Vsk_GetStatus(line.handle(), "001", &status);
    double wall = now() - w, used = cpu() - c;
    std::printf("\n%-34s %10.2f s wall %9.4f%% of a core (result %d)\n", "waiting on a silent line",
                wall, 100.0 * used / wall, r);
}

void pollingRow() {
    Line line({"--fault", "silent"});
    const int terminals = 128;
    const int pollingMs = 50;
    char ht[4];
    double w = now(), c = cpu();
    int answered = 0;
    for (int n = 1; n <= terminals; ++n) {
        std::snprintf(ht, sizeof ht, "%03d", n);
        if (Vsk_Polling(line.handle(), ht, pollingMs) == 0) ++answered;
    }
    double wall = now() - w, used = cpu() - c;
    double floor = terminals * pollingMs / 1000.0;
    std::printf("%-34s %10.3f s (floor %.3f s): %.3f ms over per terminal, cpu %.3f s%s\n",
                "polling 128 silent terminals", wall, floor, (wall - floor) * 1000.0 / terminals,
                used, answered ? " (some answered!)" : "");
}

}  // namespace

int main(int argc, char** argv) {
    const bench::Options options(
        argc, argv,
        "The library against the limits of the line, in one table (about three minutes):\n"
        "paced transfers at 9600, 38400 and 115200 baud, 10 MB each way unpaced, CPU\n"
        "while waiting on a silent line, and a polling cycle over 128 silent terminals.",
        {{"--quick", nullptr, "smaller paced files, one transfer each"}});
    const bool quick = options.has("--quick");
    pacedRows(quick);
    unpacedRows();
    idleRow();
    pollingRow();
    std::printf("%-34s %10ld KiB\n", "peak resident memory", peakRssKb());
    return 0;
}
