// Parsing veskactl's command line: global options, the command, the terminal
// number and the command's operands. Nothing here touches the line, so every
// rule can be checked without a terminal.
#pragma once

#include <cstdint>
#include <optional>
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

// Options that only some commands take; see CommandDef::options.
struct TransferOptions {
    std::optional<std::string> toDir;
    int32_t saveMode = VSK_SAVE_OVERWRITE;
    int32_t installMode = 1;
    bool stopOnError = false;
    int32_t limitS = 0;  // 0: no limit
    std::optional<std::string> resultPath;
    int32_t resultMode = VSK_RESULT_NONE;  // settled after parsing, see parseCommandLine
};

// Which job of a job file a job command takes; kEither lets the file decide.
enum class JobDirection { kEither, kDownload, kUpload };

struct Invocation {
    LineOptions line;
    unsigned lineGiven = 0;  // the LineOption bits typed on the command line
    std::string command;
    std::string ht;         // three digits, "001" to "128"; for commands on one terminal
    std::string selection;  // 128 characters "0"/"1"; for commands on a selection
    std::vector<std::string> operands;
    TransferOptions transfer;
    JobDirection direction = JobDirection::kEither;
    // --trace FILE: the library's wire trace goes there (main() sets VESKA_TRACE).
    std::optional<std::string> tracePath;
};

// What a command's first operand names; kNone: the operands follow the
// command's name directly (the job commands, which name a PC file).
enum class Target { kHt, kSelection, kNone };

// Bits of CommandDef::options and CommandDef::required.
enum CommandOption : unsigned {
    kOptTo = 1u << 0,
    kOptSaveMode = 1u << 1,
    kOptInstallMode = 1u << 2,
    kOptStopOnError = 1u << 3,
    kOptLimit = 1u << 4,
    kOptResult = 1u << 5,
    kOptResultMode = 1u << 6,
    // Not an option of its own: --polling takes the polling loops' wider range.
    kOptLoopPolling = 1u << 7,
    kOptDirection = 1u << 8,  // --download and --upload
};

struct CommandDef {
    std::string_view name;      // one word, or two for a command with sub-commands ("job run")
    std::string_view operands;  // as shown in the help, e.g. "NAME..."
    int minOperands;
    int maxOperands;  // kUnlimited for a list
    std::string_view summary;
    int (*run)(const Invocation&);
    Target target = Target::kHt;
    unsigned options = 0;                  // the CommandOption bits the command accepts
    unsigned required = 0;                 // those it cannot do without
    std::string_view optionSynopsis = {};  // as shown in the help, e.g. "--to DIR"
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

// A terminal selection: a list of terminal numbers and ranges such as
// "1,3,5-10" (blanks allowed around the parts), or a mask of 128 characters
// "0"/"1", the first for terminal 1. Returns the 128-character mask. Throws
// UsageError for anything else, including a selection of no terminal.
std::string parseSelection(std::string_view text);

std::string usageText(std::span<const CommandDef> commands);

// The long options `command` takes, by name without "--", each once, the line
// options first; --help and --version are not among them. The manual page and
// the shell completion are checked against this list.
std::vector<std::string_view> optionNamesOf(const CommandDef& command);

}  // namespace veskactl
