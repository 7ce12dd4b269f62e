// Running the built veskactl as a child process against simulated terminals.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "sim_process.h"

namespace veskactl::testing {

struct Outcome {
    int status = -1;  // exit status, 128 + N when signal N ended it
    std::string out;
    std::string err;
};

std::string slurp(const std::string& path);

// Starts veskactl with stdout and stderr going to the files "out" and "err" in `work`.
pid_t spawnVeskactl(const vsk::htsim::testing::TempDir& work, std::vector<std::string> args);
// The same as another user (the caller must be root).
pid_t spawnVeskactlAs(const vsk::htsim::testing::TempDir& work, uid_t uid, gid_t gid,
                      std::vector<std::string> args);
// The same with stderr on a pseudo-terminal whose master side is returned in
// *master, so that what a person would see there can be read back.
pid_t spawnVeskactlOnTty(const vsk::htsim::testing::TempDir& work, std::vector<std::string> args,
                         int* master);
// Everything readable from `fd` until the writer has closed it.
std::string drain(int fd);

Outcome finish(const vsk::htsim::testing::TempDir& work, pid_t pid);

// A simulator on VESKA_COM1 and a folder for veskactl's output.
class VeskactlOnLine : public ::testing::Test {
  protected:
    void startSim(std::vector<std::string> args);
    void TearDown() override;
    Outcome veskactl(std::vector<std::string> args);

    vsk::htsim::testing::TempDir work_{"veskactl"};
    vsk::htsim::testing::TempDir files_{"veskactl-ht"};
    std::unique_ptr<vsk::htsim::testing::SimProcess> sim_;
};

}  // namespace veskactl::testing
