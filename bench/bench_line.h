// One simulated terminal on a line of its own, for the benchmark programs
// that move files: a session open to HT 001, and timed transfers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "measure.h"
#include "sim_process.h"
#include "veska.h"

namespace bench {

using vsk::htsim::testing::SimProcess;
using vsk::htsim::testing::TempDir;

struct Run {
    double wall = 0, cpu = 0;
    int32_t result = -1;
};

// One simulated terminal (HT 001) on a line of its own, with a session open.
class Line {
  public:
    explicit Line(std::vector<std::string> extra, int32_t timeoutMs = 2000, int32_t retry = 3)
        : sim_(arguments(terminal_.path(), std::move(extra))) {
        setenv("VESKA_COM1", sim_.path().c_str(), 1);
        LineSettings ls{115200, 0, 1, 0, 0, timeoutMs, retry};
        if (int32_t r = Vsk_ComOpen(&handle_, 1, 0, &ls)) {
            std::fprintf(stderr, "open failed: %d\n", r);
            std::exit(1);
        }
    }
    ~Line() { Vsk_ComClose(handle_); }
    int32_t handle() const { return handle_; }

    Run download(long size) {
        std::string path = pc_.file("BENCH.DAT");
        writePattern(path, size);
        Run r;
        double w = now(), c = cpu();
        r.result = Vsk_FDownload(handle_, "001", path.c_str(), static_cast<int32_t>(size), 0);
        r.wall = now() - w;
        r.cpu = cpu() - c;
        std::remove(path.c_str());
        std::remove(terminal_.file("BENCH.DAT").c_str());
        return r;
    }

    Run upload(long size) {
        writePattern(terminal_.file("BENCH.DAT"), size);
        Run r;
        double w = now(), c = cpu();
        r.result = Vsk_FUpload(handle_, "001", 0, pc_.path().c_str(), "BENCH.DAT",
                               static_cast<int32_t>(size), 0);
        r.wall = now() - w;
        r.cpu = cpu() - c;
        std::remove(pc_.file("BENCH.DAT").c_str());
        return r;
    }

  private:
    static std::vector<std::string> arguments(const std::string& dir,
                                              std::vector<std::string> extra) {
        std::vector<std::string> args = {"@no-record", "--ht", "1", "--dir", dir};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    TempDir terminal_{"bench-ht"};
    TempDir pc_{"bench-pc"};
    SimProcess sim_;
    int32_t handle_ = 0;
};

}  // namespace bench
