#include "soak_shared_folder.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <set>
#include <thread>

#include "soak_files.h"

namespace vsk::bench {

namespace {

using htsim::testing::readFile;
using htsim::testing::SimProcess;
using namespace std::chrono_literals;

// The receivers' ports; the soak's own runs use port 1.
constexpr int kFirstPort = 7;
constexpr int kReceivers = 2;
const std::string kSharedName = "S.DAT";
// Large enough that a kill often lands in the middle of a file.
constexpr size_t kSharedBase = 6000, kOwnBase = 1500;
// Appended files are started afresh once they pass this size.
constexpr size_t kRestartAppendAt = 200000;
// The lines run at a real rate, so that a receiver is killed in the middle
// of a transfer, not only before or after one: the shared file takes about
// half a second.
const char* const kLineBaud = "115200";
constexpr int kKillWithinMs = 700;
// How long a receiver may take before it counts as hung.
constexpr auto kReceiverDeadline = 60s;

std::string ownName(int ht) {
    return "R" + std::to_string(ht) + ".DAT";
}

pid_t spawn(const std::vector<std::string>& args, const std::string& device, int port) {
    pid_t pid = ::fork();
    if (pid != 0) return pid;
    ::setenv(("VESKA_COM" + std::to_string(port)).c_str(), device.c_str(), 1);
    ::freopen("/dev/null", "w", stdout);
    ::freopen("/dev/null", "w", stderr);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

// The exit status, 128 + signal when killed, or -1 when it did not end in time.
int waitFor(pid_t pid, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (r < 0) return -1;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(5ms);
    }
}

}  // namespace

struct SharedFolderSoak::Receiver {
    int ht = 0;
    std::string command;  // get or get-all
    pid_t pid = -1;
    bool killed = false;
    int status = 0;
    std::vector<std::pair<std::string, std::string>> offered;  // name, contents

    bool ok() const { return !killed && status == 0; }
    const std::string* contentOf(const std::string& name) const {
        for (const auto& [n, c] : offered)
            if (n == name) return &c;
        return nullptr;
    }
};

SharedFolderSoak::SharedFolderSoak(std::mt19937& random, std::string veskactl)
    : random_(random), veskactl_(std::move(veskactl)) {
    pc_ = work_.file("pc");
    std::filesystem::create_directories(pc_);
    // Two receivers creating the same new file are one too many: the second
    // finds a file it must not replace (6008). The files exist from the start.
    writeAtomically(pc_, kSharedName, "old contents\n");
    for (int i = 0; i < kReceivers; ++i) writeAtomically(pc_, ownName(i + 1), "old contents\n");
    startSimulators();
}

SharedFolderSoak::~SharedFolderSoak() = default;

void SharedFolderSoak::startSimulators() {
    sims_.resize(kReceivers);
    for (int i = 0; i < kReceivers; ++i) startSimulator(i);
}

// Receiver i's terminal on a line of its own, as new.
void SharedFolderSoak::startSimulator(int i) {
    const int ht = i + 1;
    const std::string dir = work_.file("ht" + std::to_string(ht));
    std::filesystem::create_directories(dir);
    sims_[static_cast<size_t>(i)].reset();
    sims_[static_cast<size_t>(i)] = std::make_unique<SimProcess>(std::vector<std::string>{
        "@no-record", "--baud", kLineBaud, "--ht", std::to_string(ht), "--dir", dir});
}

void SharedFolderSoak::offerFiles(int version) {
    for (int i = 0; i < kReceivers; ++i) {
        const int ht = i + 1;
        const std::string dir = work_.file("ht" + std::to_string(ht));
        writeAtomically(dir, kSharedName,
                        bench::contentOf(kSharedName + std::to_string(ht), version, kSharedBase));
        writeAtomically(dir, ownName(ht), bench::contentOf(ownName(ht), version, kOwnBase));
    }
}

void SharedFolderSoak::mismatch(const std::string& what) {
    ++mismatches_;
    std::cout << "MISMATCH (shared folder, round " << rounds_ << "): " << what << std::endl;
}

void SharedFolderSoak::round() {
    ++rounds_;
    ++version_;
    offerFiles(version_);
    std::uniform_int_distribution<int> coin(0, 1), third(0, 2), delayMs(0, kKillWithinMs);
    const bool append = coin(random_) == 1;
    if (append) ++appendRounds_;

    std::vector<std::string> names = {kSharedName};
    for (int i = 0; i < kReceivers; ++i) names.push_back(ownName(i + 1));
    std::vector<std::optional<std::string>> before;
    for (const std::string& n : names) {
        const std::string path = pc_ + "/" + n;
        std::optional<std::string> old = readFile(path);
        if (old && append && old->size() > kRestartAppendAt) {
            writeAtomically(pc_, n, "old contents\n");
            old = "old contents\n";
        }
        before.push_back(old);
    }

    std::vector<Receiver> receivers(kReceivers);
    for (int i = 0; i < kReceivers; ++i) {
        Receiver& r = receivers[static_cast<size_t>(i)];
        r.ht = i + 1;
        r.command = coin(random_) ? "get-all" : "get";
        const std::string dir = work_.file("ht" + std::to_string(r.ht));
        for (const std::string& n : {kSharedName, ownName(r.ht)})
            r.offered.emplace_back(n, *readFile(dir + "/" + n));
        const int port = kFirstPort + i;
        std::vector<std::string> args = {veskactl_,   "--port",  std::to_string(port),
                                         "--timeout", "800",     "--retry",
                                         "3",         r.command, std::to_string(r.ht)};
        if (r.command == "get") args.insert(args.end(), {kSharedName, ownName(r.ht)});
        args.insert(args.end(), {"--to", pc_, "--mode", append ? "append" : "overwrite"});
        r.pid = spawn(args, sims_[static_cast<size_t>(i)]->path(), port);
    }
    if (third(random_) == 0) {
        Receiver& victim = receivers[static_cast<size_t>(coin(random_))];
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random_)));
        int status = 0;
        if (::waitpid(victim.pid, &status, WNOHANG) == 0) {
            ::kill(victim.pid, SIGKILL);
            victim.killed = true;
            ++kills_;
        } else {
            victim.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            victim.pid = -1;
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + kReceiverDeadline;
    bool anyKilled = false;
    for (Receiver& r : receivers) {
        if (r.pid > 0) r.status = waitFor(r.pid, deadline);
        anyKilled = anyKilled || r.killed;
        if (r.ok()) received_ += 2;
        if (r.status == -1) mismatch("HT " + std::to_string(r.ht) + " " + r.command + " hung");
        if (!r.killed && r.status != 0) {
            ++failures_;
            mismatch("HT " + std::to_string(r.ht) + " " + r.command + " failed with status " +
                     std::to_string(r.status));
        }
    }
    for (size_t j = 0; j < names.size(); ++j) checkFile(names[j], before[j], append, receivers);
    checkFolder(anyKilled);
    for (int i = 0; i < kReceivers; ++i) {
        if (sims_[static_cast<size_t>(i)]->waitExit(0ms)) mismatch("a simulator ended");
        // A terminal whose PC was killed would still be in that conversation
        // until its own time-out: it starts afresh instead, on a new line
        // (also because a killed program leaves a pseudo-terminal's
        // exclusive flag set).
        if (receivers[static_cast<size_t>(i)].killed ||
            sims_[static_cast<size_t>(i)]->waitExit(0ms))
            startSimulator(i);
    }
}

// What a file may hold now: its old bytes (or none) when nobody finished
// writing it, else one writer's file (overwrite), or its old bytes followed
// by each finished writer's file once, in either order (append). A killed
// writer may or may not have finished.
void SharedFolderSoak::checkFile(const std::string& name, const std::optional<std::string>& before,
                                 bool append, const std::vector<Receiver>& receivers) {
    std::vector<const Receiver*> writers;
    for (const Receiver& r : receivers)
        if (r.contentOf(name) && (r.ok() || r.killed)) writers.push_back(&r);
    std::set<std::optional<std::string>> allowed;
    const bool someOk =
        std::any_of(writers.begin(), writers.end(), [](const Receiver* r) { return r->ok(); });
    if (!append) {
        if (!someOk) allowed.insert(before);
        for (const Receiver* r : writers) allowed.insert(*r->contentOf(name));
    } else {
        // Every order of every subset that holds all the finished writers.
        std::vector<size_t> order(writers.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        for (unsigned mask = 0; mask < (1u << writers.size()); ++mask) {
            bool holdsFinished = true;
            for (size_t i = 0; i < writers.size(); ++i)
                if (writers[i]->ok() && !(mask & (1u << i))) holdsFinished = false;
            if (!holdsFinished) continue;
            if (mask == 0) {
                allowed.insert(before);
                continue;
            }
            std::vector<size_t> perm = order;
            do {
                std::string content = before.value_or("");
                bool first = true;
                for (size_t i : perm) {
                    if (!(mask & (1u << i))) continue;
                    content += *writers[i]->contentOf(name);
                    first = false;
                }
                if (!first) allowed.insert(content);
            } while (std::next_permutation(perm.begin(), perm.end()));
        }
    }
    const std::optional<std::string> now = readFile(pc_ + "/" + name);
    if (!allowed.count(now)) {
        mismatch(name + (append ? " (append)" : " (overwrite)") + " holds " +
                 (now ? std::to_string(now->size()) + " bytes" : std::string("nothing")) +
                 ", none of the " + std::to_string(allowed.size()) + " allowed contents");
    }
}

// Only a killed receiver may leave a file behind; one left by a receiver
// that ended by itself is a leak.
void SharedFolderSoak::checkFolder(bool anyKilled) {
    std::set<std::string> targets = {kSharedName};
    for (int i = 0; i < kReceivers; ++i) targets.insert(ownName(i + 1));
    for (const std::string& n : namesIn(pc_)) {
        if (targets.count(n) || leftBehind_.count(n)) continue;
        if (!anyKilled) mismatch("file left in the folder: " + n);
        leftBehind_.insert(n);
    }
}

void SharedFolderSoak::report(std::ostream& out) const {
    long stillThere = 0;
    for (const std::string& n : namesIn(pc_)) stillThere += leftBehind_.count(n) ? 1 : 0;
    out << "shared folder: " << rounds_ << " rounds (" << appendRounds_ << " appending), "
        << received_ << " files received, " << kills_ << " receivers killed, " << failures_
        << " failed, " << leftBehind_.size() << " temporary files left by killed receivers ("
        << stillThere << " not yet cleared by a later receiver), " << mismatches_
        << " mismatches\n";
}

}  // namespace vsk::bench
