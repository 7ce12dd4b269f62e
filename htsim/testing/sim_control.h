// Client side of the simulator's control channel (veska-htsim --control PATH):
// tells a terminal which faults to commit next and waits until it has them.
//
//   SimProcess sim({"--control", path, "--ht", "5", ...});
//   SimControl control(path);
//   control.setFaults(5, {"blknak=2@W"});  // back once terminal 5 has them
#pragma once

#include <string>
#include <vector>

namespace vsk::htsim::testing {

class SimControl {
  public:
    // Connects to the socket at `path`; throws std::runtime_error when it cannot.
    explicit SimControl(const std::string& path);
    ~SimControl();
    SimControl(const SimControl&) = delete;
    SimControl& operator=(const SimControl&) = delete;

    // The faults given over the channel for terminal `ht` become `faults`
    // (none: cleared). True once the simulator has acknowledged them; false
    // with its reply (or the failure) in *error.
    bool setFaults(int ht, const std::vector<std::string>& faults, std::string* error = nullptr);

    // Sends one command line and returns the reply line ("" when the channel failed).
    std::string command(const std::string& line);

  private:
    int fd_ = -1;
    std::string pending_;
};

}  // namespace vsk::htsim::testing
