// The Windows build of the library under Wine beside the Linux build, in the
// same run: paced transfers as a fraction of the protocol's ceiling, and what
// a call waiting on a silent line costs.
//
// The simulator runs natively on a pseudo-terminal paced at --baud (115200);
// COM5 of a Wine prefix of the benchmark's own is pointed at it through a link
// in the prefix's dosdevices folder. The scenario program
// (linklib/tests/scenarios) makes the calls: veska_scenarios.exe of the mingw64
// build under wine64, and the native one. Each times its own call, so Wine's
// start-up is not counted. A download and an upload of --size bytes alternate
// between the two, --runs times; each figure is the median, with the lowest
// and highest beside it.
//
// The silent line: a status query to a terminal that never answers (the
// simulator's fault "silent"), two attempts of 5 s. Over the middle 7 s of
// that wait, the CPU and context switches (wake-ups) of every process of the
// prefix: the program, wineserver and Wine's own services; then of the native
// program the same way.
//
// With --trace DIR, each run writes its wire trace (VESKA_TRACE) into DIR, to
// see where a transfer below the ceiling loses its time.
//
//   bench_wine [--size BYTES] [--runs N] [--baud B] [--trace DIR]
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "measure.h"
#include "options.h"
#include "processes.h"
#include "sim_process.h"

namespace {

using bench::Counters;
using bench::countersOf;
using vsk::htsim::testing::SimProcess;
using vsk::htsim::testing::TempDir;

const std::string kWindowsProgram = VESKA_WINDOWS_BUILD "/bin/veska_scenarios.exe";
constexpr int kSilentAttempts = 2;  // of 5 s each
constexpr double kSilentWindowS = 7;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The Windows name of a Linux path (drive Z: is the root).
std::string windowsPath(const std::string& path) {
    std::string out = "Z:" + path;
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
}

// A Wine prefix of the benchmark's own, its server kept running between the
// programs so that each start takes a fraction of a second, and with it Wine's
// own services, as on a Windows machine. (The Wine test's harness does the
// same; this is the part the benchmark needs.)
class WinePrefix {
  public:
    WinePrefix() {
        env_ = {"WINEPREFIX=" + dir_.path(), "WINEDEBUG=-all",
                "WINEDLLOVERRIDES=mscoree,mshtml=", "DISPLAY="};
        // In the foreground and before anything else starts one, so that the
        // prefix's server is this child for the whole run.
        server_ = bench::spawn({VESKA_WINESERVER, "-f", "-p"}, env_, dir_.file("server.log"));
        const int boot = bench::finish(
            bench::spawn({VESKA_WINE64, "wineboot", "-i"}, env_, dir_.file("boot.log")),
            std::chrono::seconds(300));
        if (boot != 0 || !std::filesystem::exists(dir_.file("dosdevices"))) {
            std::fprintf(stderr, "wineboot failed (%d):\n%s", boot,
                         slurp(dir_.file("boot.log")).c_str());
            std::exit(1);
        }
    }
    ~WinePrefix() {
        bench::finish(bench::spawn({VESKA_WINESERVER, "-k"}, env_, dir_.file("kill.log")),
                      std::chrono::seconds(30));
        bench::finish(server_, std::chrono::seconds(10));
    }
    WinePrefix(const WinePrefix&) = delete;
    WinePrefix& operator=(const WinePrefix&) = delete;

    const std::vector<std::string>& env() const { return env_; }

    // COMn of the prefix names `device` from now on.
    void pointPort(int n, const std::string& device) const {
        const std::string link = dir_.file("dosdevices/com" + std::to_string(n));
        unlink(link.c_str());
        if (symlink(device.c_str(), link.c_str()) != 0) {
            std::perror(link.c_str());
            std::exit(1);
        }
    }

    // Every process running in the prefix: those with its WINEPREFIX.
    std::vector<pid_t> processes() const {
        const std::string mark = "WINEPREFIX=" + dir_.path();
        std::vector<pid_t> found;
        for (const auto& e : std::filesystem::directory_iterator("/proc")) {
            const std::string name = e.path().filename().string();
            if (name.find_first_not_of("0123456789") != std::string::npos) continue;
            const std::string environ = slurp(e.path().string() + "/environ");
            std::istringstream entries(environ);
            for (std::string entry; std::getline(entries, entry, '\0');) {
                if (entry == mark) {
                    found.push_back(static_cast<pid_t>(std::atoi(name.c_str())));
                    break;
                }
            }
        }
        return found;
    }

  private:
    TempDir dir_{"bench-wine-prefix"};
    std::vector<std::string> env_;
    pid_t server_ = -1;
};

// What one system needs to run the scenario program.
struct System {
    const char* name;
    std::vector<std::string> program;  // the command up to the scenario's arguments
    std::vector<std::string> env;
    bool native;

    // The system's name of a Linux path.
    std::string path(const std::string& linuxPath) const {
        return native ? linuxPath : windowsPath(linuxPath);
    }
    // The system's name of a Linux folder, with its separator at the end.
    std::string folder(const std::string& linuxPath) const {
        return path(linuxPath) + (native ? "/" : "\\");
    }
    // The same, with the line pointed at `device` (Wine's COM5 is pointed by the prefix).
    System on(const std::string& device) const {
        System s = *this;
        if (native) s.env.push_back("VESKA_COM5=" + device);
        return s;
    }
};

struct Timed {
    int32_t result = -1;
    double seconds = 0;
};

// Runs a timed scenario and reads the call's result and seconds from its
// "fupload R S" or "fdownload R S" line.
Timed runTimed(const System& sys, const std::vector<std::string>& args, const std::string& log,
               const std::string& trace) {
    std::vector<std::string> argv = sys.program;
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env = sys.env;
    if (!trace.empty()) env.push_back("VESKA_TRACE=" + sys.path(trace));
    const int status = bench::finish(bench::spawn(argv, env, log), std::chrono::seconds(600));
    Timed t;
    std::istringstream out(slurp(log));
    for (std::string line; std::getline(out, line);) {
        char what[16];
        int result = 0;
        double seconds = 0;
        if (std::sscanf(line.c_str(), "%15s %d %lf", what, &result, &seconds) == 3 &&
            (std::strcmp(what, "fupload") == 0 || std::strcmp(what, "fdownload") == 0)) {
            t.result = result;
            t.seconds = seconds;
        }
    }
    if (status != 0 || t.seconds <= 0) {
        std::fprintf(stderr, "%s %s: status %d\n%s", sys.name, args[0].c_str(), status,
                     slurp(log).c_str());
        t.result = t.result == 0 ? -1 : t.result;
    }
    return t;
}

struct Series {
    std::vector<double> seconds;
    int32_t result = 0;
};

void printRow(const char* label, const Series& s, long size, double ceiling) {
    if (s.seconds.empty()) return;
    const double middle = bench::median(s.seconds);
    const auto [fastest, slowest] = std::minmax_element(s.seconds.begin(), s.seconds.end());
    const auto bytes = static_cast<double>(size);
    std::printf("%-26s %10.3f %10.3f  %5.3f-%5.3f %8d\n", label, middle, bytes / middle / ceiling,
                bytes / *slowest / ceiling, bytes / *fastest / ceiling, s.result);
}

// Where a paced transfer's time goes, from its wire trace: per frame, the
// time from the last frame received to the next one sent (the PC's
// turn-around) and from a frame sent to the next one received (the line and
// the terminal). The trace's times are whole milliseconds; the means over a
// few hundred frames are finer.
struct Gaps {
    double turnaroundMs = 0, waitMs = 0;
    int frames = 0;
};

Gaps gapsOf(const std::string& tracePath) {
    std::ifstream in(tracePath);
    Gaps g;
    double last = -1, turnaround = 0, wait = 0;
    bool lastSent = false;
    int turns = 0, waits = 0;
    for (std::string line; std::getline(in, line);) {
        const bool sent = line.find(" PC\u2192HT ") != std::string::npos;
        const bool received = line.find(" HT\u2192PC ") != std::string::npos;
        int h = 0, m = 0;
        double sec = 0;
        if ((!sent && !received) || std::sscanf(line.c_str(), "%*s %d:%d:%lf", &h, &m, &sec) != 3)
            continue;
        const double t = (h * 60 + m) * 60 + sec;
        if (last >= 0 && sent && !lastSent) {
            turnaround += t - last;
            ++turns;
        } else if (last >= 0 && received && lastSent) {
            wait += t - last;
            ++waits;
        }
        last = t;
        lastSent = sent;
        ++g.frames;
    }
    if (turns > 0) g.turnaroundMs = 1000 * turnaround / turns;
    if (waits > 0) g.waitMs = 1000 * wait / waits;
    return g;
}

void printGaps(const std::string& traceDir, const std::vector<System>& systems, int runs,
               long baud) {
    // One block on the line: its 524-byte frame and the 13-byte acknowledgement.
    const double blockMs = 1000.0 / bench::protocolCeiling(baud) * 512.0;
    std::printf(
        "\nfrom the wire traces in %s (means per frame; a block and its\n"
        "acknowledgement take %.2f ms on the line):\n",
        traceDir.c_str(), blockMs);
    std::printf("%-26s %8s %16s %16s\n", "", "frames", "PC turn-around", "frame to reply");
    for (const char* direction : {"download", "upload"}) {
        for (const System& sys : systems) {
            for (int run = 0; run < runs; ++run) {
                const std::string name =
                    std::string(sys.name) + "-" + std::to_string(run) + "-" + direction + ".trace";
                const Gaps g = gapsOf(traceDir + "/" + name);
                const std::string label =
                    std::string(direction) + ", " + sys.name + " #" + std::to_string(run + 1);
                std::printf("%-26s %8d %13.3f ms %13.3f ms\n", label.c_str(), g.frames,
                            g.turnaroundMs, g.waitMs);
            }
        }
    }
}

void pacedRows(const WinePrefix& wine, const std::vector<System>& systems, long size, int runs,
               long baud, const std::string& traceDir) {
    TempDir terminal{"bench-wine-ht"};
    TempDir pc{"bench-wine-pc"};
    TempDir logs{"bench-wine-logs"};
    SimProcess sim(
        {"@no-record", "--ht", "5", "--dir", terminal.path(), "--baud", std::to_string(baud)});
    wine.pointPort(5, sim.path());
    const double ceiling = bench::protocolCeiling(baud);
    std::printf("paced line: %ld baud 8N1, %ld-byte file, ceiling %.0f bytes/s, %d runs\n", baud,
                size, ceiling, runs);
    std::printf("%-26s %10s %10s %13s %8s\n", "", "seconds", "of ceiling", "lowest-highest",
                "result");
    std::map<std::string, Series> series;
    const std::string size_ = std::to_string(size);
    for (int run = 0; run < runs; ++run) {
        for (const System& on : systems) {
            const System sys = on.on(sim.path());
            const std::string folder = sys.folder(pc.path());
            const std::string tag = std::string(sys.name) + "-" + std::to_string(run);
            const std::string trace = traceDir.empty() ? "" : traceDir + "/" + tag;
            // Download: the PC's file to the terminal.
            bench::writePattern(pc.file("BENCH.DAT"), size);
            Timed down = runTimed(sys, {"time-put", "5", folder, "BENCH.DAT", size_},
                                  logs.file(tag + "-put.log"),
                                  trace.empty() ? "" : trace + "-download.trace");
            std::remove(pc.file("BENCH.DAT").c_str());
            std::remove(terminal.file("BENCH.DAT").c_str());
            Series& d = series[std::string("download ") + sys.name];
            d.seconds.push_back(down.seconds);
            if (down.result != 0) d.result = down.result;
            // Upload: the terminal's file to the PC.
            bench::writePattern(terminal.file("BENCH.DAT"), size);
            Timed up =
                runTimed(sys, {"time-get", "5", folder, "BENCH.DAT", size_},
                         logs.file(tag + "-get.log"), trace.empty() ? "" : trace + "-upload.trace");
            std::remove(pc.file("BENCH.DAT").c_str());
            std::remove(terminal.file("BENCH.DAT").c_str());
            Series& u = series[std::string("upload ") + sys.name];
            u.seconds.push_back(up.seconds);
            if (up.result != 0) u.result = up.result;
        }
    }
    for (const char* direction : {"download", "upload"}) {
        for (const System& sys : systems) {
            const std::string label = std::string(direction) + ", " + sys.name;
            printRow(label.c_str(), series[std::string(direction) + " " + sys.name], size, ceiling);
        }
    }
}

// CPU and wake-ups of processes over a window, by process.
struct Share {
    std::string name;
    double cpuPercent = 0;
    double wakeupsPerS = 0;
};

std::string commandOf(pid_t pid) {
    std::string name = slurp("/proc/" + std::to_string(pid) + "/comm");
    while (!name.empty() && name.back() == '\n') name.pop_back();
    return name;
}

std::vector<Share> measureWindow(const std::vector<pid_t>& pids, double seconds) {
    std::map<pid_t, Counters> before;
    for (pid_t p : pids) before[p] = countersOf(p);
    const double t0 = bench::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    std::vector<Share> shares;
    std::map<pid_t, Counters> after;
    for (pid_t p : pids) after[p] = countersOf(p);
    const double wall = bench::now() - t0;
    for (pid_t p : pids) {
        const Counters& a = after[p];
        const Counters& b = before[p];
        if (a.cpu < b.cpu || a.switches < b.switches) continue;  // ended meanwhile
        // To the nanosecond, unless a thread ended in the window.
        const double cpu = a.running >= b.running ? a.running - b.running : a.cpu - b.cpu;
        shares.push_back({commandOf(p) + " (" + std::to_string(p) + ")", 100.0 * cpu / wall,
                          static_cast<double>(a.switches - b.switches) / wall});
    }
    return shares;
}

// Runs the silent scenario and measures `pidsOf(program)` over the middle of its wait.
// One row per process and their sum, labelled `title`.
void printShares(const std::string& title, const std::vector<Share>& shares,
                 const std::string& note) {
    Share total{title + ", all", 0, 0};
    for (const Share& s : shares) {
        std::printf("  %-34s %8.3f %% %10.1f /s\n", s.name.c_str(), s.cpuPercent, s.wakeupsPerS);
        total.cpuPercent += s.cpuPercent;
        total.wakeupsPerS += s.wakeupsPerS;
    }
    std::printf("  %-34s %8.3f %% %10.1f /s   %s\n\n", total.name.c_str(), total.cpuPercent,
                total.wakeupsPerS, note.c_str());
    std::fflush(stdout);
}

// Runs the silent scenario and measures `pidsOf(program)` over the middle of its wait.
template <typename PidsOf>
void silentRows(const System& sys, const std::string& pcFolder, const std::string& log,
                const PidsOf& pidsOf) {
    std::vector<std::string> argv = sys.program;
    argv.insert(argv.end(), {"silent", "5", pcFolder, std::to_string(kSilentAttempts)});
    const pid_t pid = bench::spawn(argv, sys.env, log);
    const double started = bench::now();
    while (slurp(log).find("open ") == std::string::npos && bench::now() - started < 60)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (slurp(log).find("open 0") == std::string::npos) {
        std::fprintf(stderr, "%s silent: did not open the line\n%s", sys.name, slurp(log).c_str());
        bench::stop(pid);
        return;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));  // the query is out, the wait on
    const std::vector<Share> shares = measureWindow(pidsOf(pid), kSilentWindowS);
    const int status = bench::finish(pid, std::chrono::seconds(60));
    std::string answer = slurp(log);
    const size_t at = answer.find("status ");
    answer = at == std::string::npos ? "no status line"
                                     : answer.substr(at, answer.find_first_of("\r\n", at) - at);
    printShares(std::string(sys.name) + ", waiting", shares,
                "(exit " + std::to_string(status) + ", \"" + answer + "\")");
}

void silentLine(const WinePrefix& wine, const std::vector<System>& systems) {
    TempDir terminal{"bench-wine-ht"};
    TempDir pc{"bench-wine-pc"};
    TempDir logs{"bench-wine-logs"};
    SimProcess sim({"@no-record", "--ht", "5", "--dir", terminal.path(), "--fault", "silent"});
    wine.pointPort(5, sim.path());
    std::printf(
        "\nwaiting on a silent line (status query, %d x 5 s), over %.0f s of the wait;\n"
        "first the prefix alone, with no program running:\n",
        kSilentAttempts, kSilentWindowS);
    std::printf("  %-34s %10s %12s\n", "process", "CPU", "wake-ups");
    printShares("Wine, no program", measureWindow(wine.processes(), kSilentWindowS), "");
    for (const System& sys : systems) {
        silentRows(sys.on(sim.path()), sys.folder(pc.path()),
                   logs.file(std::string(sys.name) + "-silent.log"), [&](pid_t program) {
                       return sys.native ? std::vector<pid_t>{program} : wine.processes();
                   });
    }
}

}  // namespace

int main(int argc, char** argv) {
    const bench::Options options(
        argc, argv,
        "The Windows build of the library under Wine beside the Linux build: a paced\n"
        "download and upload as a fraction of the protocol's ceiling, and the CPU and\n"
        "wake-ups of Wine's processes while a call waits on a silent line (about two\n"
        "minutes, after the Wine prefix is made).",
        {{"--size", "BYTES", "file size of each transfer (default 307200)"},
         {"--runs", "N", "transfers each way and system (default 3)"},
         {"--baud", "B", "speed of the paced line (default 115200)"},
         {"--trace", "DIR", "write each run's wire trace (VESKA_TRACE) into DIR"}});
    const long size = options.number("--size", 300 * 1024);
    const int runs = static_cast<int>(options.number("--runs", 3));
    const long baud = options.number("--baud", 115200);
    std::string traceDir;
    if (options.has("--trace")) {
        traceDir = std::filesystem::absolute(options.text("--trace", ".")).string();
        std::filesystem::create_directories(traceDir);
    }
    if (!std::filesystem::exists(kWindowsProgram)) {
        std::fprintf(stderr, "%s is missing: build the mingw64 preset first\n",
                     kWindowsProgram.c_str());
        return 1;
    }
    std::printf("load average: %s", slurp("/proc/loadavg").c_str());
    std::fflush(stdout);
    const WinePrefix wine;
    const std::vector<System> systems = {
        {"Wine", {VESKA_WINE64, kWindowsProgram}, wine.env(), false},
        {"native", {VESKA_SCENARIOS_NATIVE}, {}, true}};
    pacedRows(wine, systems, size, runs, baud, traceDir);
    if (!traceDir.empty()) printGaps(traceDir, systems, runs, baud);
    std::fflush(stdout);
    silentLine(wine, systems);
    std::printf("load average: %s", slurp("/proc/loadavg").c_str());
    return 0;
}
