#include "veskactl_run.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace veskactl::testing {
namespace {

using vsk::htsim::testing::SimProcess;
using vsk::htsim::testing::TempDir;

pid_t spawnWith(std::vector<std::string> args, posix_spawn_file_actions_t* actions) {
    args.insert(args.begin(), VESKACTL_BINARY);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, VESKACTL_BINARY, actions, nullptr, argv.data(), environ);
    return rc == 0 ? pid : -1;
}

}  // namespace

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

pid_t spawnVeskactl(const TempDir& work, std::vector<std::string> args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, work.file("out").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, work.file("err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = spawnWith(std::move(args), &actions);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

pid_t spawnVeskactlAs(const TempDir& work, uid_t uid, gid_t gid, std::vector<std::string> args) {
    args.insert(args.begin(), VESKACTL_BINARY);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string out = work.file("out");
    const std::string err = work.file("err");
    pid_t pid = fork();
    if (pid != 0) return pid;
    // Only async-signal-safe calls between fork and exec.
    int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (outFd < 0 || errFd < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0) _exit(127);
    if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(127);
    execve(VESKACTL_BINARY, argv.data(), environ);
    _exit(127);
}

pid_t spawnVeskactlOnTty(const TempDir& work, std::vector<std::string> args, int* master) {
    int slave = -1;
    if (openpty(master, &slave, nullptr, nullptr, nullptr) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, work.file("out").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, slave, 2);
    posix_spawn_file_actions_addclose(&actions, *master);
    pid_t pid = spawnWith(std::move(args), &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(slave);
    return pid;
}

std::string drain(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        struct pollfd ready = {fd, POLLIN, 0};
        if (poll(&ready, 1, 10000) <= 0) break;
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO once the last writer has gone
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

Outcome finish(const TempDir& work, pid_t pid) {
    Outcome run;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid) {
        // As a shell reports it: 128 + the signal that ended the process.
        if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) run.status = 128 + WTERMSIG(status);
    }
    run.out = slurp(work.file("out"));
    run.err = slurp(work.file("err"));
    return run;
}

void VeskactlOnLine::startSim(std::vector<std::string> args) {
    sim_ = std::make_unique<SimProcess>(std::move(args));
    setenv("VESKA_COM1", sim_->path().c_str(), 1);
}

void VeskactlOnLine::TearDown() {
    unsetenv("VESKA_COM1");
}

Outcome VeskactlOnLine::veskactl(std::vector<std::string> args) {
    return finish(work_, spawnVeskactl(work_, std::move(args)));
}

}  // namespace veskactl::testing
