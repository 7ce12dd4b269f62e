#include "command_line.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <sstream>

namespace veskactl {
namespace {

std::string quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

// Digits only: no sign, no blanks, no trailing text.
bool parseDigits(std::string_view text, int64_t& value) {
    if (text.empty() || text.size() > 10) return false;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

int32_t parseInRange(std::string_view option, std::string_view text, int64_t min, int64_t max) {
    int64_t value = 0;
    if (!parseDigits(text, value) || value < min || value > max) {
        throw UsageError("--" + std::string(option) + " expects a number from " +
                         std::to_string(min) + " to " + std::to_string(max) + ", not " +
                         quoted(text));
    }
    return static_cast<int32_t>(value);
}

int32_t parseOneOf(std::string_view option, std::string_view text,
                   std::span<const int32_t> accepted) {
    int64_t value = 0;
    if (parseDigits(text, value) &&
        std::find(accepted.begin(), accepted.end(), value) != accepted.end())
        return static_cast<int32_t>(value);
    std::string list;
    for (int32_t candidate : accepted) {
        if (!list.empty()) list += ", ";
        list += std::to_string(candidate);
    }
    throw UsageError("--" + std::string(option) + " expects one of " + list + ", not " +
                     quoted(text));
}

// What the option appliers work on while one command line is parsed.
struct ParseState {
    Invocation& invocation;
    const CommandDef& command;
    unsigned given = 0;  // CommandOption bits seen
    std::optional<int32_t> resultMode;
};

void setPort(ParseState& state, std::string_view v) {
    state.invocation.line.port = parseInRange("port", v, 1, INT32_MAX);
}
void setBaud(ParseState& state, std::string_view v) {
    state.invocation.line.baudRate = parseOneOf("baud", v, kBaudRates);
}
void setParity(ParseState& state, std::string_view v) {
    if (v.size() == 1) {
        char letter = static_cast<char>(v[0] & ~0x20);  // either case
        if (letter != '\0' && std::strchr(VSK_PARITY_LETTERS, letter) != nullptr) {
            state.invocation.line.parity = letter;
            return;
        }
    }
    throw UsageError("--parity expects N, E or O, not " + quoted(v));
}
void setData(ParseState& state, std::string_view v) {
    static constexpr int32_t kDataBits[] = {7, 8};
    state.invocation.line.dataBits = parseOneOf("data", v, kDataBits);
}
void setStop(ParseState& state, std::string_view v) {
    static constexpr int32_t kStopBits[] = {1, 2};
    state.invocation.line.stopBits = parseOneOf("stop", v, kStopBits);
}
void setTimeout(ParseState& state, std::string_view v) {
    state.invocation.line.timeoutMs =
        parseInRange("timeout", v, VSK_MIN_TIMEOUT_MS, VSK_MAX_TIMEOUT_MS);
}
void setRetry(ParseState& state, std::string_view v) {
    state.invocation.line.retry = parseInRange("retry", v, VSK_MIN_RETRY, VSK_MAX_RETRY);
}
void setPolling(ParseState& state, std::string_view v) {
    // The polling loops may wait for each terminal's answer longer than a single poll may.
    const bool loop = (state.command.options & kOptLoopPolling) != 0;
    state.invocation.line.pollingMs = parseInRange(
        "polling", v, VSK_MIN_POLLING_MS, loop ? VSK_MAX_LOOP_POLLING_MS : VSK_MAX_POLLING_MS);
}

std::string nonEmpty(std::string_view option, std::string_view v) {
    if (v.empty()) throw UsageError("--" + std::string(option) + " needs a non-empty value");
    return std::string(v);
}

void setTo(ParseState& state, std::string_view v) {
    state.invocation.transfer.toDir = nonEmpty("to", v);
}
void setSaveMode(ParseState& state, std::string_view v) {
    static constexpr std::pair<std::string_view, int32_t> kModes[] = {
        {"overwrite", VSK_SAVE_OVERWRITE}, {"append", VSK_SAVE_APPEND}, {"new", VSK_SAVE_NEW_ONLY}};
    for (const auto& [word, mode] : kModes) {
        if (v == word) {
            state.invocation.transfer.saveMode = mode;
            return;
        }
    }
    throw UsageError("--mode expects overwrite, append or new, not " + quoted(v));
}
void setInstallMode(ParseState& state, std::string_view v) {
    static constexpr int32_t kInstallModes[] = {0, 1};
    state.invocation.transfer.installMode = parseOneOf("mode", v, kInstallModes);
}
void setStopOnError(ParseState& state, std::string_view) {
    state.invocation.transfer.stopOnError = true;
}
void setLimit(ParseState& state, std::string_view v) {
    int64_t value = 0;
    if (!parseDigits(v, value) ||
        (value != 0 && (value < VSK_MIN_LIMIT_S || value > VSK_MAX_LIMIT_S))) {
        throw UsageError("--limit expects 0 (no limit) or " + std::to_string(VSK_MIN_LIMIT_S) +
                         " to " + std::to_string(VSK_MAX_LIMIT_S) + " seconds, not " + quoted(v));
    }
    state.invocation.transfer.limitS = static_cast<int32_t>(value);
}
void setResult(ParseState& state, std::string_view v) {
    state.invocation.transfer.resultPath = nonEmpty("result", v);
}
void setResultMode(ParseState& state, std::string_view v) {
    static constexpr int32_t kResultModes[] = {VSK_RESULT_CREATE, VSK_RESULT_APPEND,
                                               VSK_RESULT_NONE};
    state.resultMode = parseOneOf("result-mode", v, kResultModes);
}

void setTrace(ParseState& state, std::string_view v) {
    state.invocation.tracePath = nonEmpty("trace", v);
}

void setDirection(ParseState& state, JobDirection direction) {
    JobDirection& chosen = state.invocation.direction;
    if (chosen != JobDirection::kEither && chosen != direction)
        throw UsageError("--download and --upload cannot be used together");
    chosen = direction;
}
void setDownload(ParseState& state, std::string_view) {
    setDirection(state, JobDirection::kDownload);
}
void setUpload(ParseState& state, std::string_view) {
    setDirection(state, JobDirection::kUpload);
}

struct OptionDef {
    std::string_view name;
    unsigned commandBit;  // 0: a line option, taken by every command
    unsigned lineBit;     // the LineOption a line option sets, else 0
    bool takesValue;
    void (*apply)(ParseState&, std::string_view);
};

// "--mode" appears twice: its values depend on the command.
constexpr OptionDef kOptions[] = {
    {"port", 0, kLinePort, true, setPort},
    {"baud", 0, kLineBaud, true, setBaud},
    {"parity", 0, kLineParity, true, setParity},
    {"data", 0, kLineData, true, setData},
    {"stop", 0, kLineStop, true, setStop},
    {"timeout", 0, kLineTimeout, true, setTimeout},
    {"retry", 0, kLineRetry, true, setRetry},
    {"polling", 0, kLinePolling, true, setPolling},
    {"trace", 0, 0, true, setTrace},
    {"to", kOptTo, 0, true, setTo},
    {"mode", kOptSaveMode, 0, true, setSaveMode},
    {"mode", kOptInstallMode, 0, true, setInstallMode},
    {"stop-on-error", kOptStopOnError, 0, false, setStopOnError},
    {"limit", kOptLimit, 0, true, setLimit},
    {"result", kOptResult, 0, true, setResult},
    {"result-mode", kOptResultMode, 0, true, setResultMode},
    {"download", kOptDirection, 0, false, setDownload},
    {"upload", kOptDirection, 0, false, setUpload},
};

const OptionDef* findOption(std::string_view name) {
    for (const OptionDef& option : kOptions)
        if (option.name == name) return &option;
    return nullptr;
}

// The definition of `name` that `command` takes, if any.
const OptionDef* findOptionFor(std::string_view name, const CommandDef& command) {
    for (const OptionDef& option : kOptions)
        if (option.name == name &&
            (option.commandBit == 0 || (option.commandBit & command.options)))
            return &option;
    return nullptr;
}

std::string_view firstWord(std::string_view name) {
    return name.substr(0, name.find(' '));
}

size_t wordCount(std::string_view name) {
    return name.find(' ') == std::string_view::npos ? 1 : 2;
}

// The command the first positional arguments name; a two-word name takes
// both. Throws UsageError for a name no command has.
const CommandDef& findCommand(std::span<const CommandDef> commands,
                              const std::vector<std::string>& positional) {
    std::string subCommands;
    for (const CommandDef& command : commands) {
        if (command.name == positional[0]) return command;
        if (wordCount(command.name) == 1 || firstWord(command.name) != positional[0]) continue;
        if (positional.size() > 1 && command.name == positional[0] + " " + positional[1])
            return command;
        std::string_view second = command.name.substr(command.name.find(' ') + 1);
        subCommands += (subCommands.empty() ? "" : " or ") + std::string(second);
    }
    if (!subCommands.empty()) {
        if (positional.size() < 2) throw UsageError(positional[0] + " needs " + subCommands);
        throw UsageError("unknown command " + quoted(positional[0] + " " + positional[1]) + "; " +
                         positional[0] + " takes " + subCommands);
    }
    throw UsageError("unknown command " + quoted(positional[0]));
}

bool isHelp(std::string_view arg) {
    return arg == "--help" || arg == "-h";
}

// --help and --version win over everything else on the line, so that they work
// even next to a mistake.
ParsedCommandLine::Action requestedInformation(const std::vector<std::string>& args) {
    bool version = false;
    for (const std::string& arg : args) {
        if (arg == "--") break;
        if (isHelp(arg)) return ParsedCommandLine::Action::kHelp;
        if (arg == "--version") version = true;
    }
    return version ? ParsedCommandLine::Action::kVersion : ParsedCommandLine::Action::kRun;
}

struct GivenOption {
    const OptionDef* definition;  // the first of that name; the command picks its own later
    std::string value;
};

struct SplitArguments {
    std::vector<GivenOption> options;
    std::vector<std::string> positional;
};

// Reads the option at args[i], advancing i past a separate value. Options can
// come before the command, so only the name is checked here.
GivenOption readOption(const std::vector<std::string>& args, size_t& i) {
    std::string_view arg = args[i];
    if (arg.size() < 3 || arg.substr(0, 2) != "--")
        throw UsageError("unknown option " + quoted(arg));
    std::string_view name = arg.substr(2);
    std::string_view value;
    bool hasValue = false;
    if (size_t equals = name.find('='); equals != std::string_view::npos) {
        value = name.substr(equals + 1);
        name = name.substr(0, equals);
        hasValue = true;
    }
    const OptionDef* option = findOption(name);
    if (option == nullptr) throw UsageError("unknown option " + quoted(arg));
    if (!option->takesValue) {
        if (hasValue) throw UsageError("--" + std::string(name) + " takes no value");
    } else if (!hasValue) {
        if (i + 1 >= args.size()) throw UsageError("--" + std::string(name) + " needs a value");
        value = args[++i];
    }
    return GivenOption{option, std::string(value)};
}

SplitArguments splitArguments(const std::vector<std::string>& args) {
    SplitArguments split;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            split.options.push_back(readOption(args, i));
        } else {
            split.positional.push_back(arg);
        }
    }
    return split;
}

void applyOptions(const std::vector<GivenOption>& options, ParseState& state) {
    for (const GivenOption& given : options) {
        const OptionDef* option = findOptionFor(given.definition->name, state.command);
        if (option == nullptr)
            throw UsageError("--" + std::string(given.definition->name) + " is not an option of " +
                             std::string(state.command.name));
        option->apply(state, given.value);
        state.given |= option->commandBit;
        state.invocation.lineGiven |= option->lineBit;
    }
}

constexpr std::pair<unsigned, std::string_view> kRequiredOptionNames[] = {
    {kOptTo, "--to DIR"},
};

void checkRequiredOptions(const ParseState& state) {
    for (const auto& [bit, synopsis] : kRequiredOptionNames) {
        if ((state.command.required & bit) && !(state.given & bit))
            throw UsageError(std::string(state.command.name) + " needs " + std::string(synopsis));
    }
}

// Without --result-mode a result file is written exactly when one is named.
void settleResultMode(ParseState& state) {
    TransferOptions& transfer = state.invocation.transfer;
    if (!state.resultMode) {
        transfer.resultMode = transfer.resultPath ? VSK_RESULT_CREATE : VSK_RESULT_NONE;
        return;
    }
    transfer.resultMode = *state.resultMode;
    if (transfer.resultMode != VSK_RESULT_NONE && !transfer.resultPath)
        throw UsageError("--result-mode " + std::to_string(transfer.resultMode) +
                         " needs --result FILE");
    if (transfer.resultMode == VSK_RESULT_NONE && transfer.resultPath)
        throw UsageError(
            "--result-mode 2 writes no result file, so --result cannot be used with it");
}

std::string_view targetWord(const CommandDef& command) {
    switch (command.target) {
        case Target::kHt:
            return "HT";
        case Target::kSelection:
            return "SELECTION";
        case Target::kNone:
            break;
    }
    return {};
}

std::string synopsisOf(const CommandDef& command) {
    std::string synopsis(command.name);
    if (!targetWord(command).empty()) synopsis += " " + std::string(targetWord(command));
    if (!command.operands.empty()) synopsis += " " + std::string(command.operands);
    if (!command.optionSynopsis.empty()) synopsis += " " + std::string(command.optionSynopsis);
    return synopsis;
}

// Returns how many positional arguments the command's name and target took.
size_t setTarget(Invocation& invocation, const CommandDef& command,
                 const std::vector<std::string>& positional) {
    const size_t words = wordCount(command.name);
    if (command.target == Target::kNone) return words;
    if (positional.size() < words + 1) {
        throw UsageError(invocation.command +
                         (command.target == Target::kHt
                              ? " needs a terminal number"
                              : " needs a terminal selection such as 1,3,5-10"));
    }
    if (command.target == Target::kHt)
        invocation.ht = normalizeHt(positional[words]);
    else
        invocation.selection = parseSelection(positional[words]);
    return words + 1;
}

void checkOperandCount(const CommandDef& command, size_t count) {
    bool tooFew = count < static_cast<size_t>(command.minOperands);
    bool tooMany =
        command.maxOperands != kUnlimited && count > static_cast<size_t>(command.maxOperands);
    if (!tooFew && !tooMany) return;
    throw UsageError(std::string(tooFew ? "too few" : "too many") + " operands for " +
                     std::string(command.name) + "; usage: veskactl [options] " +
                     synopsisOf(command));
}

}  // namespace

std::vector<std::string_view> optionNamesOf(const CommandDef& command) {
    std::vector<std::string_view> names;
    for (const OptionDef& option : kOptions) {
        if (option.commandBit != 0 && !(option.commandBit & command.options)) continue;
        if (std::find(names.begin(), names.end(), option.name) == names.end())
            names.push_back(option.name);
    }
    return names;
}

std::string normalizeHt(std::string_view text) {
    int64_t value = 0;
    if (text.size() > 3 || !parseDigits(text, value) || value < 1 || value > VSK_MAX_HT) {
        throw UsageError("the terminal number must be 1 to 128 (as 5, 05 or 005), not " +
                         quoted(text));
    }
    std::string digits = std::to_string(value);
    return std::string(3 - digits.size(), '0') + digits;
}

namespace {

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

bool isMask(std::string_view text) {
    return text.size() == VSK_MAX_HT &&
           std::all_of(text.begin(), text.end(), [](char c) { return c == '0' || c == '1'; });
}

// One terminal number of a selection, 1 to 128 in at most three digits, so
// that a short string of 0s and 1s is not taken for a mask or the reverse.
int terminalNumber(std::string_view text, std::string_view piece) {
    int64_t value = 0;
    if (text.size() > 3 || !parseDigits(text, value) || value < 1 || value > VSK_MAX_HT) {
        throw UsageError("the selection part " + quoted(piece) +
                         " is not a terminal number 1 to 128 or a range such as 5-10");
    }
    return static_cast<int>(value);
}

void selectPiece(std::string_view piece, std::string& mask) {
    std::string_view trimmed = trimBlanks(piece);
    if (trimmed.empty()) throw UsageError("the selection has an empty part between commas");
    size_t dash = trimmed.find('-');
    int first = 0;
    int last = 0;
    if (dash == std::string_view::npos) {
        first = last = terminalNumber(trimmed, trimmed);
    } else {
        first = terminalNumber(trimBlanks(trimmed.substr(0, dash)), trimmed);
        last = terminalNumber(trimBlanks(trimmed.substr(dash + 1)), trimmed);
        if (last < first)
            throw UsageError("the selection range " + quoted(trimmed) + " runs backwards");
    }
    for (int number = first; number <= last; ++number) mask[static_cast<size_t>(number - 1)] = '1';
}

}  // namespace

std::string parseSelection(std::string_view text) {
    std::string mask;
    if (isMask(text)) {
        mask = text;
    } else {
        mask.assign(VSK_MAX_HT, '0');
        size_t start = 0;
        while (true) {
            size_t comma = text.find(',', start);
            selectPiece(text.substr(start, comma == std::string_view::npos ? comma : comma - start),
                        mask);
            if (comma == std::string_view::npos) break;
            start = comma + 1;
        }
    }
    if (mask.find('1') == std::string::npos)
        throw UsageError("the selection " + quoted(text) + " selects no terminal");
    return mask;
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args,
                                   std::span<const CommandDef> commands) {
    ParsedCommandLine parsed;
    parsed.action = requestedInformation(args);
    if (parsed.action != ParsedCommandLine::Action::kRun) return parsed;

    Invocation& invocation = parsed.invocation;
    invocation.line = defaultLineOptions();
    const SplitArguments split = splitArguments(args);
    const std::vector<std::string>& positional = split.positional;

    if (positional.empty()) throw UsageError("no command given");
    parsed.command = &findCommand(commands, positional);
    invocation.command = parsed.command->name;

    ParseState state{invocation, *parsed.command, 0, std::nullopt};
    applyOptions(split.options, state);
    const size_t taken = setTarget(invocation, *parsed.command, positional);
    invocation.operands.assign(positional.begin() + static_cast<ptrdiff_t>(taken),
                               positional.end());
    checkOperandCount(*parsed.command, invocation.operands.size());
    checkRequiredOptions(state);
    settleResultMode(state);
    return parsed;
}

namespace {

// Builds without the desktop tools have no job commands.
bool hasJobCommands(std::span<const CommandDef> commands) {
    return std::any_of(commands.begin(), commands.end(),
                       [](const CommandDef& command) { return command.target == Target::kNone; });
}

constexpr std::string_view kJobHelp =
    "\n"
    "Auto-mode jobs:\n"
    "  FILE is a job file of the desktop auto tools, holding a download job, an\n"
    "  upload job or both. --download or --upload picks one; without either,\n"
    "  job show shows each job the file holds and job run runs the only one\n"
    "  (a file holding both needs the option).\n"
    "  job run polls the job's terminals in turn, serves each one that answers,\n"
    "  writes the job's history file and prints a line per terminal served. It\n"
    "  runs until the stop file ENDPRM.DAT beside FILE has a first line starting\n"
    "  with 2, until a result that ends a run (2004, a failed system call), or\n"
    "  until Ctrl-C or SIGTERM, which aborts a running transfer.\n"
    "  The port and line come from the desktop tools' stored settings\n"
    "  ($XDG_CONFIG_HOME/MORVA/VESKA2.conf, else ~/.config/...), not the defaults\n"
    "  above; the line options given override them one by one, and --polling\n"
    "  overrides the job's polling time-out.\n";

constexpr std::string_view kJobExitStatus =
    "job run: 0 when the stop file ended it, 1 when the job could not be read or\n"
    "started or a result ended it, 2 usage error.\n";

// "1200, 2400, ... or 115200", from the table the parser checks against.
std::string baudRateList() {
    std::string list;
    for (size_t i = 0; i < std::size(kBaudRates); ++i) {
        if (i > 0) list += i + 1 == std::size(kBaudRates) ? " or " : ", ";
        list += std::to_string(kBaudRates[i]);
    }
    return list;
}

// The system's own device for port N (platform/port_names.h), and how a stop
// request ends the program (platform/interrupts.h).
#ifdef _WIN32
constexpr char kSystemPortName[] = "\\\\.\\COMN";
constexpr char kInterruptHelp[] =
    "Ctrl-C or Ctrl-Break aborts the running call; veskactl then ends as Ctrl-C\n"
    "ends a program (exit code 0xC000013A).\n";
#else
constexpr char kSystemPortName[] = "/dev/ttyS(N-1)";
constexpr char kInterruptHelp[] =
    "Ctrl-C or SIGTERM aborts the running call; veskactl then ends by that\n"
    "signal (a shell shows 130 or 143).\n";
#endif

}  // namespace

std::string usageText(std::span<const CommandDef> commands) {
    const LineOptions defaults = defaultLineOptions();
    const bool jobs = hasJobCommands(commands);
    constexpr size_t kSummaryColumn = 26;
    std::ostringstream out;
    out << "Usage: veskactl [options] COMMAND HT [OPERAND...]\n"
           "       veskactl [options] serve-download|serve-upload SELECTION [OPERAND...]\n";
    if (jobs) out << "       veskactl [options] job show|run FILE [--download|--upload]\n";
    out << "\n"
           "Talks to the handheld terminal number HT (1 to 128) on a serial port.\n"
           "\n"
           "Commands:\n";
    for (const CommandDef& command : commands) {
        std::string synopsis = synopsisOf(command);
        out << "  " << synopsis;
        if (synopsis.size() + 2 < kSummaryColumn)
            out << std::string(kSummaryColumn - 2 - synopsis.size(), ' ');
        else
            out << "\n" << std::string(kSummaryColumn, ' ');
        out << command.summary << "\n";
    }
    out << "\n"
           "Options (may appear anywhere before --):\n"
        << "  --port N          serial port number; port N opens $VESKA_COMN, else\n"
           "                    "
        << kSystemPortName << " (default " << defaults.port << ")\n"
        << "  --baud B          " << baudRateList()
        << "\n"
           "                    (default "
        << defaults.baudRate << ")\n"
        << "  --parity N|E|O    none, even or odd (default " << defaults.parity << ")\n"
        << "  --data 7|8        data bits (default " << defaults.dataBits << ")\n"
        << "  --stop 1|2        stop bits (default " << defaults.stopBits << ")\n"
        << "  --timeout MS      reply time-out, " << VSK_MIN_TIMEOUT_MS << " to "
        << VSK_MAX_TIMEOUT_MS << " ms (default " << defaults.timeoutMs << ")\n"
        << "  --retry N         attempts per exchange, " << VSK_MIN_RETRY << " to " << VSK_MAX_RETRY
        << " (default " << defaults.retry << ")\n"
        << "  --polling MS      wait for a poll answer, " << VSK_MIN_POLLING_MS << " to "
        << VSK_MAX_POLLING_MS << " ms; for serve-*\n"
        << "                    " << VSK_MIN_POLLING_MS << " to " << VSK_MAX_LOOP_POLLING_MS
        << " ms"
        << " (default " << defaults.pollingMs << ")\n"
        << "  --trace FILE      append a trace of every frame on the line and of each\n"
           "                    library call to FILE (the same as VESKA_TRACE=FILE)\n"
        << "  --help            show this help\n"
           "  --version         show the version\n"
           "\n"
           "Transfer options:\n"
           "  --to DIR          the PC folder that receives the files\n"
           "  --mode M          for get, get-all and serve-upload, when the PC file exists:\n"
           "                    overwrite it, append to it, or new (keep it and skip the\n"
           "                    terminal's file); default overwrite\n"
           "  --mode 0|1        for install: the terminal's install mode (default 1)\n"
           "  --stop-on-error   put and serve-download: stop at the first file that\n"
           "                    cannot be sent instead of going on with the next\n"
           "  --limit S         serve-*: stop after S seconds without a transfer,\n"
           "                    "
        << VSK_MIN_LIMIT_S << " to " << VSK_MAX_LIMIT_S
        << ", or 0 to serve until interrupted (default 0)\n"
           "  --result FILE     serve-*: write a line per transfer and file to FILE\n"
           "  --result-mode R   0 start the result file anew, 1 append to it, 2 write\n"
           "                    none (default 0 with --result, else 2)\n"
           "\n"
           "SELECTION is a list of terminal numbers and ranges such as 1,3,5-10, or a\n"
           "mask of 128 characters 0 or 1, the first for terminal 1.\n"
           "A PC file sent keeps its name on the terminal; a file received gets the\n"
           "terminal's name. Terminal file names are at most "
        << VSK_NAME_WIDTH
        << " bytes in the terminal's\n"
           "character set (CP932); PC paths given to transfers are at most "
        << VSK_MAX_PATH
        << " bytes\n"
           "once made absolute, and files at most "
        << VSK_MAX_FILE_SIZE
        << " bytes.\n"
           "While a transfer runs and stderr is a terminal, a progress line is shown.\n";
    if (jobs) out << kJobHelp << "\n";
    out << "Exit status: 0 success, 1 the operation failed or was aborted, 2 usage error.\n"
        << kInterruptHelp;
    if (jobs) out << kJobExitStatus;
    return out.str();
}

}  // namespace veskactl
