// Two receivers into one PC folder: two veskactl processes, each on a line
// of its own, fetch files of the same names into one folder at the same
// time, overwriting or appending, and now and then one of them is killed
// with SIGKILL. After each round every file in the folder must hold its old
// bytes, or whole received files (after its old bytes when appending), never
// a mixture or a part, and nothing but the files and the temporary files of
// killed receivers may be left there.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "sim_process.h"

namespace vsk::bench {

class SharedFolderSoak {
  public:
    // `veskactl`: the program to run as the receivers.
    SharedFolderSoak(std::mt19937& random, std::string veskactl);
    ~SharedFolderSoak();

    // One round: both receivers fetch, the results are checked.
    void round();
    long mismatches() const { return mismatches_; }
    void report(std::ostream& out) const;

  private:
    struct Receiver;
    void startSimulators();
    void startSimulator(int i);
    void offerFiles(int version);
    void checkFile(const std::string& name, const std::optional<std::string>& before, bool append,
                   const std::vector<Receiver>& receivers);
    void checkFolder(bool anyKilled);
    void mismatch(const std::string& what);

    std::mt19937& random_;
    std::string veskactl_;
    htsim::testing::TempDir work_{"veska-soak-shared"};
    std::string pc_;
    std::vector<std::unique_ptr<htsim::testing::SimProcess>> sims_;
    int version_ = 0;
    long rounds_ = 0, received_ = 0, kills_ = 0, failures_ = 0, mismatches_ = 0;
    long appendRounds_ = 0;
    std::set<std::string> leftBehind_;  // files killed receivers left in the folder
};

}  // namespace vsk::bench
