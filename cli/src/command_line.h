// Parsing veskactl's command line: global options, the command, the terminal
// number and the command's operands. Nothing here touches the line, so every
// rule can be checked without a terminal.
#pragma once

#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "line_options.h"

namespace veskactl {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// A mistake in what the user typed; main() prints it with a pointer to --help
// and exits with kExitUsage.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct Invocation {
    LineOptions line;
    std::string command;
    std::string ht;  // always three digits, "001" to "128"
    std::vector<std::string> operands;
};

struct CommandDef {
    std::string_view name;
    std::string_view operands;  // as shown in the help, e.g. "NAME..."
    int minOperands;
    int maxOperands;  // kUnlimited for a list
    std::string_view summary;
    int (*run)(const Invocation&);
};
inline constexpr int kUnlimited = -1;

struct ParsedCommandLine {
    enum class Action { kRun, kHelp, kVersion };
    Action action = Action::kRun;
    const CommandDef* command = nullptr;
    Invocation invocation;
};

// `args` excludes the program name. Throws UsageError.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args,
                                   std::span<const CommandDef> commands);

// "5", "05" or "005" -> "005"; the value must be 1 to 128. Throws UsageError.
std::string normalizeHt(std::string_view text);

std::string usageText(std::span<const CommandDef> commands);

}  // namespace veskactl
