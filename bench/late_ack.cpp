// What one late acknowledgement costs a download: a 120-block file over a
// paced 38400 baud 8N1 line, time-out 1000 ms, retry 5, with the ACK of one
// block held back by the terminal (lateack=POS,MS) while the PC sends that
// block again after each time-out. Reports the wall time, the frames on the
// line and the data frames the PC sent, for no freeze and for freezes of
// 1.2 s and 4 s (medians of three runs; the frame counts do not vary).
//
//   bench_late_ack [--runs N] [--block K]
#include <cstdio>
#include <string>
#include <vector>

#include "measure.h"
#include "options.h"
#include "sim_process.h"
#include "veska.h"

using vsk::htsim::testing::isFrame;
using vsk::htsim::testing::SimProcess;
using vsk::htsim::testing::TempDir;

namespace {

constexpr long kBlocks = 120;
constexpr long kSize = kBlocks * 512;

struct Outcome {
    double seconds = 0;
    size_t frames = 0;
    size_t dataFrames = 0;
    int32_t result = -1;
};

Outcome downloadOnce(const std::vector<std::string>& faults) {
    TempDir terminal{"bench-ht"}, pc{"bench-pc"};
    std::vector<std::string> args = {"--ht", "1", "--dir", terminal.path(), "--baud", "38400"};
    args.insert(args.end(), faults.begin(), faults.end());
    SimProcess sim(args);
    setenv("VESKA_COM1", sim.path().c_str(), 1);
    LineSettings ls{38400, 0, 1, 0, 0, 1000, 5};
    int32_t h = 0;
    Outcome o;
    if ((o.result = Vsk_ComOpen(&h, 1, 0, &ls)) != 0) return o;
    const std::string path = pc.file("BENCH.DAT");
    bench::writePattern(path, kSize);
    double t0 = bench::now();
    o.result = Vsk_FDownload(h, "001", path.c_str(), static_cast<int32_t>(kSize), 0);
    o.seconds = bench::now() - t0;
    Vsk_ComClose(h);
    // The end frame is the last one; wait for it to be recorded.
    sim.waitReceived(1, isFrame('E', "EOT"));
    o.frames = sim.frames().size();
    o.dataFrames = sim.received(isFrame('D')).size();
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const bench::Options options(
        argc, argv,
        "A download over a paced 38400 baud line while the terminal holds back the ACK\n"
        "of one block: seconds and frames on the line for each freeze.",
        {{"--runs", "N", "transfers per freeze, the median shown (default 3)"},
         {"--block", "K", "the block whose ACK is held back (default 10)"}});
    const long runs = options.number("--runs", 3);
    const long block = options.number("--block", 10);
    std::printf(
        "download of %ld blocks at 38400 baud, time-out 1000 ms, retry 5; "
        "ACK of block %ld late\n",
        kBlocks, block);
    std::printf("%-10s %10s %8s %12s %8s\n", "freeze", "seconds", "frames", "data frames",
                "result");
    for (long freezeMs : {0L, 1200L, 4000L}) {
        std::vector<std::string> faults;
        if (freezeMs > 0)
            faults = {"--fault",
                      "lateack=" + std::to_string(block) + "," + std::to_string(freezeMs) + "@D"};
        std::vector<double> seconds;
        Outcome last;
        for (long i = 0; i < runs; ++i) {
            last = downloadOnce(faults);
            seconds.push_back(last.seconds);
        }
        std::printf("%-10s %10.2f %8zu %12zu %8d\n",
                    freezeMs ? (std::to_string(freezeMs) + " ms").c_str() : "none",
                    bench::median(seconds), last.frames, last.dataFrames, last.result);
    }
    return 0;
}
