// Other programs, started and measured from outside by the benchmark
// programs: wake-ups as the context switches of all a process's threads
// (/proc/PID/task/*/status), CPU as its user and system time (/proc/PID/stat).
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace bench {

// Context switches of every thread and CPU seconds of a running process.
// `cpu` is in clock ticks (10 ms) and counts threads that have ended;
// `running` is to the nanosecond (/proc/PID/task/*/schedstat) but counts
// only the threads still there, for windows in which none ends.
struct Counters {
    long long switches = 0;
    double cpu = 0;
    double running = 0;
};

// The nanoseconds a thread has run, the first field of its schedstat.
inline double runningSecondsOf(const std::string& schedstatPath) {
    std::ifstream in(schedstatPath);
    double ns = 0;
    in >> ns;
    return ns / 1e9;
}

inline long long switchesOf(const std::string& statusPath) {
    std::ifstream in(statusPath);
    long long total = 0;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
            line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
            total += std::atoll(line.substr(line.find(':') + 1).c_str());
    }
    return total;
}

inline Counters countersOf(pid_t pid) {
    Counters c;
    const std::string proc = "/proc/" + std::to_string(pid);
    if (DIR* tasks = opendir((proc + "/task").c_str())) {
        while (dirent* e = readdir(tasks)) {
            if (e->d_name[0] == '.') continue;
            const std::string task = proc + "/task/" + e->d_name;
            c.switches += switchesOf(task + "/status");
            c.running += runningSecondsOf(task + "/schedstat");
        }
        closedir(tasks);
    }
    std::ifstream stat(proc + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    if (text.rfind(')') == std::string::npos) return c;  // already gone
    // Fields after the command's closing parenthesis: state is field 3, utime 14, stime 15.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int n = 3; n <= 15 && fields >> field; ++n) {
        if (n >= 14) ticks += std::atof(field.c_str());
    }
    c.cpu = ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
    return c;
}

// A child program with `env` added to ours, its output into `log`.
inline pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
                   const std::string& log) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    for (const std::string& e : env) putenv(strdup(e.c_str()));
    int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out >= 0) {
        dup2(out, 1);
        dup2(out, 2);
    }
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

// SIGTERM, then SIGKILL after five seconds.
inline void stop(pid_t pid) {
    kill(pid, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// The exit status of a child (128 + signal when killed), killing it once
// `limit` has passed.
inline int finish(pid_t pid, std::chrono::seconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace bench
