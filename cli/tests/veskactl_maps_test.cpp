// veskactl is a program without a GUI: the library it loads must not bring
// the GUI libraries into it, even though veskactl links Qt Core for its job
// commands. What a running veskactl maps is read from /proc/PID/maps while the
// library waits for a terminal that does not answer.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "sim_process.h"
#include "veskactl_run.h"

namespace {

using namespace std::chrono_literals;
using veskactl::testing::finish;
using veskactl::testing::slurp;
using veskactl::testing::spawnVeskactl;
using veskactl::testing::VeskactlOnLine;
using vsk::htsim::testing::isCommand;
using vsk::htsim::testing::TempDir;
namespace fs = std::filesystem;

// The library's host module for Qt Core programs: once it is mapped, the
// library has looked at the process and chosen what to load.
constexpr const char* kHostModule = "veska-qthost.so";
const std::vector<std::string> kGuiLibraries = {"libQt6Gui", "libQt6Widgets", "veska-qtwindow"};

std::string mapsOf(pid_t pid) {
    return slurp("/proc/" + std::to_string(pid) + "/maps");
}

// The process's maps once the library has loaded its host module, read while
// the process still runs; empty when it ended first or the module never came.
std::string mapsOnceTheHostIsLoaded(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == pid)
            return {};
        std::string maps = mapsOf(pid);
        if (maps.find(kHostModule) != std::string::npos) return maps;
    }
    return {};
}

void expectNoGuiLibrary(const std::string& maps, const std::string& what) {
    ASSERT_FALSE(maps.empty()) << what << ": the library's Qt host was never seen loaded";
    for (const std::string& library : kGuiLibraries)
        EXPECT_EQ(maps.find(library), std::string::npos) << what << " maps " << library;
}

class NoGuiLibraries : public VeskactlOnLine {
  protected:
    void SetUp() override {
        fs::create_directories(config_.file("MORVA"));
        config_.write("MORVA/VESKA2.conf", "[General]\nPort=1\nTimeout=2000\nRetry=1\n");
        setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
        // Terminal 5 is on the line but answers nothing: every call waits.
        startSim({"--ht", "5", "--dir", files_.path(), "--fault", "silent"});
    }
    void TearDown() override {
        unsetenv("XDG_CONFIG_HOME");
        VeskactlOnLine::TearDown();
    }

    TempDir config_{"veskactl-config"};
    TempDir jobs_{"veskactl-jobs"};
};

TEST_F(NoGuiLibraries, PollMapsNoGuiLibrary) {
    pid_t pid = spawnVeskactl(work_, {"--polling", "300", "poll", "5"});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(sim_->waitReceived(1, isCommand('P', 5)));
    expectNoGuiLibrary(mapsOnceTheHostIsLoaded(pid), "veskactl poll");
    finish(work_, pid);
}

TEST_F(NoGuiLibraries, JobRunMapsNoGuiLibrary) {
    jobs_.write("DAY.SIF", "[UPLOAD]\r\nHTID=5\r\nPOLLING=300\r\nUPLOAD=" + jobs_.path() + "\r\n");
    pid_t pid = spawnVeskactl(work_, {"job", "run", jobs_.file("DAY.SIF")});
    ASSERT_GT(pid, 0);
    // A second poll: the job is running, not starting.
    ASSERT_TRUE(sim_->waitReceived(2, isCommand('P', 5))) << slurp(work_.file("err"));
    expectNoGuiLibrary(mapsOnceTheHostIsLoaded(pid), "veskactl job run");
    kill(pid, SIGTERM);
    finish(work_, pid);
}

}  // namespace
