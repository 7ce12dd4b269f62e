// How often the programs wake while the library waits on a line, and what a
// paced transfer costs them: the auto-mode download tool (veskad) against
// `veskactl job run` on the same job, and the manual tool (veskam) against its
// own 50 ms timer.
//
// Each program runs as it would for a user (offscreen Qt platform, settings in
// a folder of the benchmark's own) for --seconds after a short warm-up, and is
// measured from outside: wake-ups per second as the voluntary and involuntary
// context switches of all its threads (/proc/PID/task/*/status), CPU as its
// user and system time (/proc/PID/stat).
//   - veskad JOB.SIF and veskactl job run JOB.SIF, the job polling terminals
//     1-128 on a pseudo-terminal nobody answers (the benchmark drains it);
//   - veskam --start on that line (it polls terminal 1 every 50 ms);
//   - a 115200-baud paced download of --transfer-kb KB by each of veskad and
//     job run from the simulator: CPU from the batch command to the end frame;
//   - the same download by this process through the library, first as a plain
//     program, then with a Qt application object: what the library's wait
//     costs in a Qt program, without any tool's own windows.
//
//   bench_idle_wakeups [--seconds N] [--transfer-kb K] [--bin DIR]
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_line.h"
#include "measure.h"
#include "processes.h"
#include "sim_process.h"

namespace {

using bench::Counters;
using bench::countersOf;
using bench::spawn;
using bench::stop;
using vsk::htsim::testing::isCommand;
using vsk::htsim::testing::isFrame;
using vsk::htsim::testing::SimProcess;
using vsk::htsim::testing::TempDir;

struct Options {
    double seconds = 30;
    long transferKb = 100;
    std::string bin = VESKA_BENCH_BIN_DIR;
};

constexpr const char* kUsage =
    "Usage: bench_idle_wakeups [--seconds N] [--transfer-kb K] [--bin DIR]\n"
    "  --seconds N      measure each idle program N seconds (default 30)\n"
    "  --transfer-kb K  size of the paced 115200-baud download (default 100)\n"
    "  --bin DIR        folder with veskad, veskam and veskactl (default: this build's)\n";

bool parseOptions(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (i + 1 >= argc) return false;
        const char* value = argv[++i];
        char* end = nullptr;
        if (arg == "--seconds") {
            o->seconds = std::strtod(value, &end);
            if (*end != '\0' || o->seconds <= 0) return false;
        } else if (arg == "--transfer-kb") {
            o->transferKb = std::strtol(value, &end, 10);
            if (*end != '\0' || o->transferKb <= 0) return false;
        } else if (arg == "--bin") {
            o->bin = value;
        } else {
            return false;
        }
    }
    return true;
}

// A pseudo-terminal nobody answers on; what the programs write is drained.
class SilentLine {
  public:
    SilentLine() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            std::perror("pseudo-terminal");
            std::exit(1);
        }
        path_ = ptsname(master_);
        drain_ = std::thread([this] {
            char sink[4096];
            while (!done_.load()) {
                pollfd p{master_, POLLIN, 0};
                if (poll(&p, 1, 100) > 0 && read(master_, sink, sizeof sink) < 0) break;
            }
        });
    }
    ~SilentLine() {
        done_.store(true);
        drain_.join();
        close(master_);
    }
    const std::string& path() const { return path_; }

  private:
    int master_ = -1;
    std::string path_;
    std::atomic<bool> done_{false};
    std::thread drain_;
};

// What the programs share: stored settings for port 1 and the job file.
struct Setup {
    TempDir config{"bench-config"};
    TempDir jobs{"bench-jobs"};
    TempDir pc{"bench-pc"};

    Setup() {
        std::filesystem::create_directories(config.file("MORVA"));
        config.write("MORVA/VESKA2.conf",
                     "[General]\nPort=1\nBps=115200\nTimeout=2000\nRetry=1\nPolling=100\n");
    }
    std::string job(const std::string& htids, const std::string& file) const {
        jobs.write("DAY.SIF", "[DOWNLOAD]\r\nHTID=" + htids + "\r\nPOLLING=100\r\nSKIP=0\r\n" +
                                  "001DOWNFILE=" + file + "\r\nLOGFILE=" + pc.file("history.txt") +
                                  "\r\nLOGTYPE=1\r\n");
        return jobs.file("DAY.SIF");
    }
    std::vector<std::string> env(const std::string& line) const {
        return {"QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + config.path(),
                "VESKA_COM1=" + line};
    }
};

struct Idle {
    double wakeupsPerS = 0;
    double cpuPercent = 0;
};

Idle measureIdle(const std::vector<std::string>& args, const Setup& setup, const std::string& line,
                 double seconds) {
    pid_t pid = spawn(args, setup.env(line), setup.pc.file("log.txt"));
    std::this_thread::sleep_for(std::chrono::seconds(3));  // started and polling
    Counters before = countersOf(pid);
    const double t0 = bench::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    Counters after = countersOf(pid);
    const double wall = bench::now() - t0;
    stop(pid);
    return {static_cast<double>(after.switches - before.switches) / wall,
            (after.cpu - before.cpu) / wall * 100};
}

// CPU seconds of one paced download of `kb` KB by the program, from the batch
// command to the end frame; negative when it did not get there.
double measureTransfer(const std::vector<std::string>& args, const Options& o) {
    Setup setup;
    TempDir terminal{"bench-terminal"};
    const std::string file = setup.pc.file("BENCH.DAT");
    bench::writePattern(file, o.transferKb * 1024);
    SimProcess sim({"--ht", "5", "--dir", terminal.path(), "--baud", "115200"});
    std::vector<std::string> full = args;
    full.push_back(setup.job("5", file));
    pid_t pid = spawn(full, setup.env(sim.path()), setup.pc.file("log.txt"));
    const auto deadline = std::chrono::seconds(30);
    double cpu = -1;
    if (sim.waitReceived(1, isCommand('W'), deadline)) {
        Counters start = countersOf(pid);
        const auto transferLimit = std::chrono::seconds(10 + o.transferKb / 5);
        if (sim.waitReceived(1, isFrame('E', "EOT"), transferLimit))
            cpu = countersOf(pid).cpu - start.cpu;
    }
    stop(pid);
    return cpu;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parseOptions(argc, argv, &o)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string veskad = o.bin + "/veskad", veskam = o.bin + "/veskam",
                      veskactl = o.bin + "/veskactl";
    std::printf("%-40s %12s %8s\n", "idle, polling a silent line", "wake-ups/s", "CPU %");
    Idle jobRun, auto128, manual;
    {
        Setup setup;
        SilentLine line;
        const std::string job = setup.job("1-128", setup.pc.file("NONE.DAT"));
        jobRun = measureIdle({veskactl, "job", "run", job}, setup, line.path(), o.seconds);
        std::printf("%-40s %12.1f %8.2f\n", "veskactl job run (HT 1-128)", jobRun.wakeupsPerS,
                    jobRun.cpuPercent);
        auto128 = measureIdle({veskad, job}, setup, line.path(), o.seconds);
        std::printf("%-40s %12.1f %8.2f\n", "veskad (HT 1-128)", auto128.wakeupsPerS,
                    auto128.cpuPercent);
        manual = measureIdle({veskam, "--start"}, setup, line.path(), o.seconds);
        std::printf("%-40s %12.1f %8.2f\n", "veskam --start (50 ms timer)", manual.wakeupsPerS,
                    manual.cpuPercent);
    }
    std::fflush(stdout);
    const double jobCpu = measureTransfer({veskactl, "job", "run"}, o);
    const double autoCpu = measureTransfer({veskad}, o);
    std::printf("\npaced 115200-baud download of %ld KB, CPU s: job run %.3f, veskad %.3f\n",
                o.transferKb, jobCpu, autoCpu);
    // The library alone: without, then with a Qt application in this process.
    const long bytes = o.transferKb * 1024;
    const bench::Run plain = bench::Line({"--baud", "115200"}).download(bytes);
    bench::Run inQt;
    {
        int qtArgc = 1;
        QCoreApplication app(qtArgc, argv);
        inQt = bench::Line({"--baud", "115200"}).download(bytes);
    }
    std::printf("the library alone, CPU s: plain program %.3f, Qt program %.3f (results %d, %d)\n",
                plain.cpu, inQt.cpu, plain.result, inQt.result);
    std::printf(
        "\ntargets: veskad/job run wake-ups %.2f (at most 2), veskam %.1f/s (at most 40),"
        " transfer CPU veskad/job run %.2f (at most 1.5)\n",
        auto128.wakeupsPerS / jobRun.wakeupsPerS, manual.wakeupsPerS,
        jobCpu > 0 ? autoCpu / jobCpu : 0.0);
    return 0;
}
