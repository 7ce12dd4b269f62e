// Transfer throughput against the simulated terminal.
//
// Paced: the simulator emulates a 115200 baud 8N1 line in both directions;
// a 200 KB file is downloaded and uploaded and the rate is compared with the
// protocol's ceiling (each 512-byte block costs its 524-byte frame and the
// 13-byte acknowledgement: 512/537 of B/10 bytes per second).
// Unpaced: a 9,999,999-byte file each way over a plain pseudo-terminal, with
// wall time, CPU time and the peak resident memory of this process.
//
//   bench_transfer [--paced-size BYTES] [--unpaced-size BYTES] [--baud B]
#include <cstdio>
#include <string>

#include "bench_line.h"
#include "measure.h"
#include "options.h"

using bench::Line;
using bench::peakRssKb;
using bench::Run;

int main(int argc, char** argv) {
    const bench::Options options(
        argc, argv,
        "Download and upload over a paced line against the protocol's ceiling, then a\n"
        "9,999,999-byte file each way over an unpaced pseudo-terminal.",
        {{"--paced-size", "BYTES", "file size on the paced line (default 204800)"},
         {"--unpaced-size", "BYTES", "file size on the unpaced line (default 9999999)"},
         {"--baud", "B", "speed of the paced line (default 115200)"}});
    const long pacedSize = options.number("--paced-size", 200 * 1024);
    const long unpacedSize = options.number("--unpaced-size", 9999999);
    const long baud = options.number("--baud", 115200);
    const double ceiling = bench::protocolCeiling(baud);

    std::printf("paced line: %ld baud 8N1, %ld-byte file, ceiling %.0f bytes/s\n", baud, pacedSize,
                ceiling);
    std::printf("%-10s %10s %12s %10s %8s\n", "direction", "seconds", "bytes/s", "of ceiling",
                "result");
    {
        Line line({"--baud", std::to_string(baud)});
        for (int up = 0; up < 2; ++up) {
            Run r = up ? line.upload(pacedSize) : line.download(pacedSize);
            double rate = static_cast<double>(pacedSize) / r.wall;
            std::printf("%-10s %10.2f %12.0f %10.3f %8d\n", up ? "upload" : "download", r.wall,
                        rate, rate / ceiling, r.result);
        }
    }

    std::printf("\nunpaced pseudo-terminal, %ld-byte file\n", unpacedSize);
    std::printf("%-10s %10s %10s %12s %8s\n", "direction", "seconds", "cpu s", "MB/s", "result");
    {
        Line line({});
        for (int up = 0; up < 2; ++up) {
            Run r = up ? line.upload(unpacedSize) : line.download(unpacedSize);
            std::printf("%-10s %10.2f %10.2f %12.2f %8d\n", up ? "upload" : "download", r.wall,
                        r.cpu, static_cast<double>(unpacedSize) / r.wall / 1e6, r.result);
        }
    }
    std::printf("\npeak resident memory of this process: %ld KiB\n", peakRssKb());
    return 0;
}
