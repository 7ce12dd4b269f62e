// What the wire trace (VESKA_TRACE) costs a transfer.
//
// A 9,999,999-byte file goes each way over an unpaced pseudo-terminal to the
// simulated terminal, alternately with the trace off and on, several times;
// the best and the median wall time of each are compared, and the CPU time of
// this process (the library's share). Unpaced, the line costs nothing, so the
// slowdown is all the trace's: formatting two lines per block and writing
// them out. A single unpaced transfer varies by 10 % from run to run with the
// scheduling of the two processes, hence 15 runs of each by default; compare
// the medians, on a quiet machine.
//
//   bench_trace_overhead [--size BYTES] [--runs N]     (default 15 runs)
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "measure.h"
#include "options.h"
#include "sim_process.h"
#include "veska.h"

using vsk::htsim::testing::SimProcess;
using vsk::htsim::testing::TempDir;

namespace {

using bench::cpu;
using bench::median;
using bench::now;
using bench::writePattern;

long fileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : 0;
}

struct Run {
    double wall = 0, cpu = 0;
    long traceBytes = 0;
};

struct Bench {
    TempDir terminal{"bench-ht"};
    TempDir pc{"bench-pc"};
    TempDir traces{"bench-trace"};
    SimProcess sim{{"--ht", "1", "--dir", terminal.path(), "@no-record"}};
    long size;

    explicit Bench(long bytes) : size(bytes) {
        setenv("VESKA_COM1", sim.path().c_str(), 1);
        writePattern(pc.file("BENCH.DAT"), size);
        writePattern(terminal.file("UP.DAT"), size);
    }

    // One transfer in a session of its own, so that the trace setting is
    // taken up as the session opens.
    Run transfer(bool upload, bool traced) {
        const std::string trace = traces.file("trace.log");
        std::remove(trace.c_str());
        if (traced) {
            setenv("VESKA_TRACE", trace.c_str(), 1);
        } else {
            unsetenv("VESKA_TRACE");
        }
        int32_t handle = 0;
        LineSettings ls{115200, 0, 1, 0, 0, 2000, 3};
        if (int32_t r = Vsk_ComOpen(&handle, 1, 0, &ls)) {
            std::fprintf(stderr, "open failed: %d\n", r);
            std::exit(1);
        }
        Run run;
        const double w = now(), c = cpu();
        int32_t r = upload ? Vsk_FUpload(handle, "001", 0, pc.path().c_str(), "UP.DAT",
                                         static_cast<int32_t>(size), 0)
                           : Vsk_FDownload(handle, "001", pc.file("BENCH.DAT").c_str(),
                                           static_cast<int32_t>(size), 0);
        run.wall = now() - w;
        run.cpu = cpu() - c;
        Vsk_ComClose(handle);
        if (r != 0) {
            std::fprintf(stderr, "%s failed: %d\n", upload ? "upload" : "download", r);
            std::exit(1);
        }
        run.traceBytes = fileSize(trace);
        std::remove(pc.file("UP.DAT").c_str());
        return run;
    }
};

double best(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

}  // namespace

int main(int argc, char** argv) {
    const bench::Options options(
        argc, argv,
        "What the wire trace (VESKA_TRACE) costs a transfer over an unpaced\n"
        "pseudo-terminal, each way: the median of several runs with and without it.",
        {{"--size", "BYTES", "file size (default 9999999)"},
         {"--runs", "N", "transfers each way with and without the trace (default 15)"}});
    const long size = options.number("--size", 9999999);
    const int runs = static_cast<int>(options.number("--runs", 15));
    Bench bench(size);
    std::printf("unpaced pseudo-terminal, %ld-byte file, %d runs each, trace off and on in turn\n",
                size, runs);
    std::printf("%-9s %-6s %9s %9s %9s %12s\n", "direction", "trace", "best s", "median s", "cpu s",
                "trace bytes");
    for (int up = 0; up < 2; ++up) {
        std::vector<double> wall[2], cpuTime[2];
        long traceBytes = 0;
        bench.transfer(up, false);  // warm-up: page cache, simulator
        for (int i = 0; i < runs; ++i) {
            for (int traced = 0; traced < 2; ++traced) {
                Run r = bench.transfer(up, traced);
                wall[traced].push_back(r.wall);
                cpuTime[traced].push_back(r.cpu);
                if (traced) traceBytes = r.traceBytes;
            }
        }
        for (int traced = 0; traced < 2; ++traced) {
            std::printf("%-9s %-6s %9.3f %9.3f %9.3f %12ld\n", up ? "upload" : "download",
                        traced ? "on" : "off", best(wall[traced]), median(wall[traced]),
                        median(cpuTime[traced]), traced ? traceBytes : 0L);
        }
        std::printf(
            "%-9s slowdown with the trace: best %+.1f %%, median %+.1f %%; this process's "
            "CPU %+.1f %%\n",
            up ? "upload" : "download", (best(wall[1]) / best(wall[0]) - 1) * 100,
            (median(wall[1]) / median(wall[0]) - 1) * 100,
            (median(cpuTime[1]) / median(cpuTime[0]) - 1) * 100);
    }
    unsetenv("VESKA_TRACE");
    return 0;
}
