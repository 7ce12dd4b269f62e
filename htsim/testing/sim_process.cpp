#include "sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#ifndef VESKA_HTSIM_BINARY
#error "VESKA_HTSIM_BINARY must name the simulator binary"
#endif

extern char** environ;

namespace vsk::htsim::testing {

namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string readAll(const std::string& path) {
    return readFile(path).value_or(std::string());
}

}  // namespace

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string testPattern(size_t size, unsigned seed) {
    std::string s(size, '\0');
    uint32_t x = 2463534242u ^ (seed * 2654435761u);
    for (char& c : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x & 0xFF);
    }
    return s;
}

int RecordedFrame::htNumber() const {
    if (ht.size() != 3) return 0;
    int v = 0;
    for (char c : ht) {
        if (c < '0' || c > '9') return 0;
        v = v * 10 + (c - '0');
    }
    return v;
}

std::string RecordedFrame::text() const {
    size_t skip = type == 'D' || data.empty() ? 0 : 1;
    return std::string(data.begin() + static_cast<std::ptrdiff_t>(skip), data.end());
}

std::optional<RecordedFrame> parseRecordLine(std::string_view line) {
    std::vector<std::string> f;
    std::istringstream in{std::string(line)};
    for (std::string w; in >> w;) f.push_back(w);
    if (f.size() != 9 || (f[0] != "RX" && f[0] != "TX") || f[1].size() != 1 || f[3].size() != 1)
        return std::nullopt;
    RecordedFrame r;
    r.rx = f[0] == "RX";
    r.type = f[1][0];
    r.ht = f[2];
    r.block = f[3][0];
    r.length = f[4];
    r.control = f[5];
    if (f[6] != "-") {
        if (f[6].size() % 2 != 0) return std::nullopt;
        for (size_t i = 0; i < f[6].size(); i += 2) {
            int hi = hexValue(f[6][i]), lo = hexValue(f[6][i + 1]);
            if (hi < 0 || lo < 0) return std::nullopt;
            r.data.push_back(static_cast<uint8_t>(hi * 16 + lo));
        }
    }
    r.mark = f[7];
    r.ms = std::strtod(f[8].c_str(), nullptr);
    return r;
}

FramePredicate isCommand(char code, int ht) {
    return [code, ht](const RecordedFrame& f) {
        return f.type == 'C' && !f.data.empty() && f.data[0] == static_cast<uint8_t>(code) &&
               (ht == 0 || f.htNumber() == ht);
    };
}

FramePredicate isFrame(char type, std::string_view control, int ht) {
    return [type, control = std::string(control), ht](const RecordedFrame& f) {
        return f.type == type && (control.empty() || f.control == control) &&
               (ht == 0 || f.htNumber() == ht);
    };
}

TempDir::TempDir(std::string_view tag) {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl =
        std::string(base && *base ? base : "/tmp") + "/" + std::string(tag) + "-XXXXXX";
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed: " + tmpl);
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::optional<std::string> TempDir::read(std::string_view name) const {
    return readFile(file(name));
}

void TempDir::write(std::string_view name, std::string_view content) const {
    std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + file(name));
}

SimProcess::SimProcess(std::vector<std::string> args, std::chrono::milliseconds startDeadline)
    : work_(std::make_unique<TempDir>("htsim-run")) {
    bool ownRecord = true;
    if (auto it = std::find(args.begin(), args.end(), "@no-record"); it != args.end()) {
        args.erase(it);
        ownRecord = false;
    }
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i].rfind("@dir:", 0) == 0) {
            auto d = std::make_unique<TempDir>("htsim-dir");
            std::string name = args[i].substr(5);
            args[i] = d->path();
            dirs_.emplace_back(name, std::move(d));
        } else if (args[i] == "--record" && i + 1 < args.size()) {
            recordPath_ = args[i + 1];
            ownRecord = false;
        }
    }
    if (ownRecord) {
        recordPath_ = work_->file("record.txt");
        args.push_back("--record");
        args.push_back(recordPath_);
    }
    errPath_ = work_->file("stderr.txt");

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);

    std::vector<std::string> argvStore{VESKA_HTSIM_BINARY};
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argvStore) argv.push_back(a.data());
    argv.push_back(nullptr);

    int rc = ::posix_spawn(&pid_, VESKA_HTSIM_BINARY, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        pid_ = -1;
        throw std::runtime_error(std::string("cannot start " VESKA_HTSIM_BINARY ": ") +
                                 std::strerror(rc));
    }
    path_ = readPathLine(out[0], startDeadline);
    ::close(out[0]);
    if (path_.empty()) {
        int status = stop();
        throw std::runtime_error("simulator did not come up (exit status " +
                                 std::to_string(status) + "): " + errorOutput());
    }
}

SimProcess::~SimProcess() {
    stop();
}

std::string SimProcess::readPathLine(int fd, std::chrono::milliseconds deadline) {
    auto until = SteadyClock::now() + deadline;
    std::string got;
    while (true) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - SteadyClock::now());
        if (left.count() <= 0) return {};
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
        char buf[256];
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) return {};  // the simulator ended before printing its path
        got.append(buf, static_cast<size_t>(n));
        if (auto nl = got.find('\n'); nl != std::string::npos) return got.substr(0, nl);
    }
}

std::string SimProcess::dir(std::string_view name) const {
    for (const auto& [n, d] : dirs_)
        if (n == name) return d->path();
    throw std::runtime_error("no folder @dir:" + std::string(name));
}

std::string SimProcess::errorOutput() const {
    return readAll(errPath_);
}

std::vector<RecordedFrame> SimProcess::frames() const {
    std::vector<RecordedFrame> out;
    if (recordPath_.empty()) return out;
    std::string text = readAll(recordPath_);
    size_t start = 0;
    // Only whole lines: the simulator may be in the middle of writing the last one.
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
        if (auto f = parseRecordLine(std::string_view(text).substr(start, nl - start)))
            out.push_back(*f);
    }
    return out;
}

std::vector<RecordedFrame> SimProcess::received(const FramePredicate& pred) const {
    std::vector<RecordedFrame> out;
    for (RecordedFrame& f : frames())
        if (f.rx && (!pred || pred(f))) out.push_back(std::move(f));
    return out;
}

std::vector<RecordedFrame> SimProcess::sent(const FramePredicate& pred) const {
    std::vector<RecordedFrame> out;
    for (RecordedFrame& f : frames())
        if (!f.rx && (!pred || pred(f))) out.push_back(std::move(f));
    return out;
}

bool SimProcess::waitFrames(bool rx, size_t n, const FramePredicate& pred,
                            std::chrono::milliseconds deadline) const {
    auto until = SteadyClock::now() + deadline;
    while (true) {
        size_t count = rx ? received(pred).size() : sent(pred).size();
        if (count >= n) return true;
        if (SteadyClock::now() >= until) return false;
        std::this_thread::sleep_for(5ms);
    }
}

bool SimProcess::waitReceived(size_t n, const FramePredicate& pred,
                              std::chrono::milliseconds deadline) const {
    return waitFrames(true, n, pred, deadline);
}

bool SimProcess::waitSent(size_t n, const FramePredicate& pred,
                          std::chrono::milliseconds deadline) const {
    return waitFrames(false, n, pred, deadline);
}

bool SimProcess::reap(int options) {
    int status = 0;
    pid_t r = ::waitpid(pid_, &status, options);
    if (r == 0) return false;
    if (r != pid_)
        status_ = -1;
    else
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

int SimProcess::stop() {
    if (status_) return *status_;
    if (pid_ <= 0) return *(status_ = -1);
    ::kill(pid_, SIGTERM);
    auto until = SteadyClock::now() + 2s;
    while (!reap(WNOHANG)) {
        if (SteadyClock::now() >= until) {
            ::kill(pid_, SIGKILL);
            reap(0);
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
    return *status_;
}

std::optional<int> SimProcess::waitExit(std::chrono::milliseconds deadline) {
    if (status_) return status_;
    if (pid_ <= 0) return status_ = -1;
    auto until = SteadyClock::now() + deadline;
    while (!reap(WNOHANG)) {
        if (SteadyClock::now() >= until) return std::nullopt;
        std::this_thread::sleep_for(5ms);
    }
    return status_;
}

}  // namespace vsk::htsim::testing
