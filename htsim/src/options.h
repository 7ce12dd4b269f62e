// The simulator's command line.
#pragma once

#include <string>
#include <vector>

#include "line.h"
#include "terminal.h"

namespace vsk::htsim {

struct Options {
    LineOptions line;
    bool trace = false;
    std::string record;
    std::string control;  // the control channel's socket path; empty: none
    std::vector<TerminalConfig> terminals;
    bool help = false;
};

// Parses the arguments after the program name. False with a reason on error.
bool parseOptions(const std::vector<std::string>& args, Options* out, std::string* error);

const char* usageText();

}  // namespace vsk::htsim
