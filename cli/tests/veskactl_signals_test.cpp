// How veskactl ends when it is told to stop (SIGINT, SIGTERM) in the middle of
// a transfer, and when its line goes away: the terminal gets its end frame,
// the result or history file is closed and writable again, the exit status
// says it failed.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "sim_process.h"
#include "veskactl_run.h"

namespace {

using namespace std::chrono_literals;
using veskactl::testing::finish;
using veskactl::testing::Outcome;
using veskactl::testing::slurp;
using veskactl::testing::spawnVeskactl;
using veskactl::testing::VeskactlOnLine;
using vsk::htsim::testing::FramePredicate;
using vsk::htsim::testing::isFrame;
using vsk::htsim::testing::TempDir;
using vsk::htsim::testing::testPattern;
namespace fs = std::filesystem;

// A block takes about half a second at this speed, so a signal finds the
// transfer running.
const std::vector<std::string> kSlowLine = {"--baud", "9600"};

std::string lastResultLine(const std::string& path) {
    std::string text = slurp(path);
    size_t at = text.rfind("F,");
    return at == std::string::npos ? std::string() : text.substr(at);
}

// Closed: writable again (the loops keep their result file read-only while
// they run) and open to a writer.
void expectClosedAndWritable(const std::string& path) {
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0) << path;
    EXPECT_NE(st.st_mode & S_IWUSR, 0u) << path << " is left read-only";
    std::ofstream more(path, std::ios::app);
    EXPECT_TRUE(more.good()) << path;
}

class Signals : public VeskactlOnLine {
  protected:
    void SetUp() override {
        fs::create_directories(config_.file("MORVA"));
        config_.write("MORVA/VESKA2.conf", "[General]\nPort=1\nTimeout=2000\nRetry=2\n");
        setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_CONFIG_HOME");
        VeskactlOnLine::TearDown();
    }

    // Runs veskactl with `args`, sends `signal` once `reached` has seen `n`
    // frames, and checks what every interrupted command must do.
    Outcome interrupt(const std::vector<std::string>& args, int signal, size_t n, bool sentBySim,
                      const std::string& what) {
        auto started = std::chrono::steady_clock::now();
        pid_t pid = spawnVeskactl(work_, args);
        EXPECT_GT(pid, 0);
        FramePredicate data = isFrame('D', "-", 5);
        bool reached = sentBySim ? sim_->waitSent(n, data, 10s) : sim_->waitReceived(n, data, 10s);
        EXPECT_TRUE(reached) << what;
        kill(pid, signal);
        Outcome run = finish(work_, pid);
        // Ended by the signal itself once the abort path has run.
        EXPECT_EQ(run.status, 128 + signal) << what << ": " << run.err;
        EXPECT_TRUE(sim_->waitReceived(1, isFrame('E', "CAN", 5))) << what;
        EXPECT_LT(std::chrono::steady_clock::now() - started, 10s) << what;
        return run;
    }

    std::string writeJob(const std::vector<std::string>& lines) const {
        std::string text;
        for (const std::string& line : lines) text += line + "\r\n";
        jobs_.write("DAY.SIF", text);
        return jobs_.file("DAY.SIF");
    }

    TempDir config_{"veskactl-config"};
    TempDir jobs_{"veskactl-jobs"};
    TempDir pc_{"veskactl-pc"};
};

TEST_F(Signals, ATransferCommandEndsThroughTheAbortPath) {
    for (int signal : {SIGINT, SIGTERM}) {
        const std::string name = signal == SIGINT ? "SIGINT" : "SIGTERM";
        pc_.write("BIG.DAT", testPattern(20000, 1));
        std::vector<std::string> args = kSlowLine;
        args.insert(args.end(), {"--ht", "5", "--dir", files_.path()});
        startSim(args);
        Outcome put = interrupt({"put", "5", pc_.file("BIG.DAT")}, signal, 3, false, "put " + name);
        EXPECT_NE(put.err.find("1003"), std::string::npos) << put.err;
        EXPECT_FALSE(fs::exists(files_.file("BIG.DAT"))) << name;

        files_.write("UP.DAT", testPattern(20000, 2));
        startSim(args);
        Outcome get =
            interrupt({"get", "5", "UP.DAT", "--to", pc_.path()}, signal, 5, true, "get " + name);
        EXPECT_NE(get.err.find("1003"), std::string::npos) << get.err;
        EXPECT_FALSE(fs::exists(pc_.file("UP.DAT"))) << name;
        for (const auto& e : fs::directory_iterator(pc_.path()))  // no temporary file either
            EXPECT_NE(e.path().filename().string().rfind(".~vsk-", 0), 0u) << name;
        fs::remove(files_.file("UP.DAT"));
    }
}

TEST_F(Signals, AServeLoopClosesItsResultFile) {
    pc_.write("BIG.DAT", testPattern(20000, 3));
    const std::string result = pc_.file("result.txt");
    for (int signal : {SIGINT, SIGTERM}) {
        std::vector<std::string> args = kSlowLine;
        args.insert(args.end(), {"--ht", "5", "--dir", files_.path()});
        startSim(args);
        Outcome run = interrupt({"serve-download", "5", pc_.file("BIG.DAT"), "--result", result},
                                signal, 3, false, "serve-download");
        EXPECT_NE(run.err.find("1003"), std::string::npos) << run.err;
        expectClosedAndWritable(result);
        EXPECT_NE(lastResultLine(result).find(",1003,"), std::string::npos) << slurp(result);
    }
}

TEST_F(Signals, AJobRunEndsThroughTheAbortPath) {
    files_.write("A.DAT", testPattern(20000, 4));
    const std::string history = pc_.file("history.txt");
    const std::string job = writeJob({"[UPLOAD]", "HTID=5", "POLLING=50", "UPLOAD=" + pc_.path(),
                                      "SAVE=0", "LOGFILE=" + history, "LOGTYPE=1"});
    std::vector<std::string> args = kSlowLine;
    args.insert(args.end(), {"--ht", "5", "--dir", files_.path()});
    startSim(args);
    Outcome run = interrupt({"job", "run", job}, SIGINT, 4, true, "job run");
    EXPECT_EQ(run.err, "veskactl: job run interrupted\n");
    expectClosedAndWritable(history);
    EXPECT_NE(lastResultLine(history).find(",アップロード,1003,"), std::string::npos)
        << slurp(history);
    EXPECT_FALSE(fs::exists(pc_.file("A.DAT")));
    EXPECT_FALSE(fs::exists(pc_.file("0~A.DAT")));
}

// Noise on the line and nobody answering: a listing waits, the loops poll on
// and on, and a signal still ends each promptly through the abort path.
TEST_F(Signals, ANoisyLineDoesNotKeepASignalOut) {
    pc_.write("A.DAT", testPattern(3000, 6));
    const std::string job =
        writeJob({"[DOWNLOAD]", "HTID=5", "POLLING=50", "001DOWNFILE=" + pc_.file("A.DAT"),
                  "LOGFILE=" + pc_.file("history.txt"), "LOGTYPE=1"});
    const std::vector<std::string> runs[] = {
        {"dir", "5"},
        {"serve-download", "5", pc_.file("A.DAT"), "--result", pc_.file("result.txt")},
        {"job", "run", job},
    };
    for (const std::vector<std::string>& args : runs) {
        const std::string what = args[0];
        startSim({"--ht", "5", "--fault", "babble", "--fault", "silent"});
        pid_t pid = spawnVeskactl(work_, args);
        ASSERT_GT(pid, 0);
        EXPECT_TRUE(sim_->waitReceived(1, isFrame('C', {}, 5), 10s)) << what;
        kill(pid, SIGTERM);
        // A process that does not end within the bound is killed, so that
        // the test fails instead of waiting for ever.
        const int exited = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
        ASSERT_GE(exited, 0);
        pollfd wait = {exited, POLLIN, 0};
        const bool ended = poll(&wait, 1, 5000) == 1;
        close(exited);
        if (!ended) kill(pid, SIGKILL);
        EXPECT_TRUE(ended) << what << " still runs 5 s after SIGTERM";
        Outcome run = finish(work_, pid);
        EXPECT_EQ(run.status, 128 + SIGTERM) << what << ": " << run.err;
        EXPECT_TRUE(sim_->waitReceived(1, isFrame('E', "CAN", 5))) << what;
    }
}

// The line going away ends a run like any failed system call: with the
// tools' closing message and a history line that says so.
TEST_F(Signals, ALineGoingAwayEndsAJobRunAndAServeLoop) {
    pc_.write("A.DAT", testPattern(3000, 5));
    const std::string history = pc_.file("history.txt");
    const std::string job =
        writeJob({"[DOWNLOAD]", "HTID=5", "POLLING=50", "001DOWNFILE=" + pc_.file("A.DAT"),
                  "LOGFILE=" + history, "LOGTYPE=1"});
    startSim({"--ht", "5", "--dir", files_.path(), "--fault", "hangup=2@W"});
    Outcome run = veskactl({"job", "run", job});
    EXPECT_EQ(run.status, 1);
    const bool read = run.err == "veskactl: ダウンロードに失敗しました。ｴﾗｰｺｰﾄﾞ：6006\n";
    const bool write = run.err == "veskactl: ダウンロードに失敗しました。ｴﾗｰｺｰﾄﾞ：6005\n";
    EXPECT_TRUE(read || write) << run.err;
    const std::string line = lastResultLine(history);
    EXPECT_NE(line.find(read ? ",6006," : ",6005,"), std::string::npos) << line;
    EXPECT_EQ(sim_->waitExit(), 3);
    EXPECT_FALSE(fs::exists(files_.file("A.DAT")));

    const std::string result = pc_.file("result.txt");
    startSim({"--ht", "5", "--dir", files_.path(), "--fault", "hangup=2@W"});
    Outcome served = veskactl({"serve-download", "5", pc_.file("A.DAT"), "--result", result});
    EXPECT_EQ(served.status, 1);
    EXPECT_NE(served.err.find("failed: 600"), std::string::npos) << served.err;
    EXPECT_NE(served.err.find("system error"), std::string::npos) << served.err;
    expectClosedAndWritable(result);
    EXPECT_EQ(sim_->waitExit(), 3);
}

}  // namespace
