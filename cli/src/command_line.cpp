#include "command_line.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
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

void setPort(LineOptions& line, std::string_view v) {
    line.port = parseInRange("port", v, 1, INT32_MAX);
}
void setBaud(LineOptions& line, std::string_view v) {
    line.baudRate = parseOneOf("baud", v, kBaudRates);
}
void setParity(LineOptions& line, std::string_view v) {
    if (v.size() == 1) {
        char letter = static_cast<char>(v[0] & ~0x20);  // either case
        if (letter == 'N' || letter == 'E' || letter == 'O') {
            line.parity = letter;
            return;
        }
    }
    throw UsageError("--parity expects N, E or O, not " + quoted(v));
}
void setData(LineOptions& line, std::string_view v) {
    static constexpr int32_t kDataBits[] = {7, 8};
    line.dataBits = parseOneOf("data", v, kDataBits);
}
void setStop(LineOptions& line, std::string_view v) {
    static constexpr int32_t kStopBits[] = {1, 2};
    line.stopBits = parseOneOf("stop", v, kStopBits);
}
void setTimeout(LineOptions& line, std::string_view v) {
    line.timeoutMs = parseInRange("timeout", v, kMinTimeoutMs, kMaxTimeoutMs);
}
void setRetry(LineOptions& line, std::string_view v) {
    line.retry = parseInRange("retry", v, kMinRetry, kMaxRetry);
}
void setPolling(LineOptions& line, std::string_view v) {
    line.pollingMs = parseInRange("polling", v, kMinPollingMs, kMaxPollingMs);
}

struct OptionDef {
    std::string_view name;
    void (*apply)(LineOptions&, std::string_view);
};

constexpr OptionDef kOptions[] = {
    {"port", setPort}, {"baud", setBaud},       {"parity", setParity}, {"data", setData},
    {"stop", setStop}, {"timeout", setTimeout}, {"retry", setRetry},   {"polling", setPolling},
};

const OptionDef* findOption(std::string_view name) {
    for (const OptionDef& option : kOptions)
        if (option.name == name) return &option;
    return nullptr;
}

const CommandDef* findCommand(std::span<const CommandDef> commands, std::string_view name) {
    for (const CommandDef& command : commands)
        if (command.name == name) return &command;
    return nullptr;
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

// Applies the option at args[i] (advancing i past a separate value) to `line`.
void applyOption(const std::vector<std::string>& args, size_t& i, LineOptions& line) {
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
    if (!hasValue) {
        if (i + 1 >= args.size()) throw UsageError("--" + std::string(name) + " needs a value");
        value = args[++i];
    }
    option->apply(line, value);
}

void checkOperandCount(const CommandDef& command, size_t count) {
    bool tooFew = count < static_cast<size_t>(command.minOperands);
    bool tooMany =
        command.maxOperands != kUnlimited && count > static_cast<size_t>(command.maxOperands);
    if (!tooFew && !tooMany) return;
    std::string synopsis = std::string(command.name) + " HT";
    if (!command.operands.empty()) synopsis += " " + std::string(command.operands);
    throw UsageError(std::string(tooFew ? "too few" : "too many") + " operands for " +
                     std::string(command.name) + "; usage: veskactl [options] " + synopsis);
}

}  // namespace

std::string normalizeHt(std::string_view text) {
    int64_t value = 0;
    if (text.size() > 3 || !parseDigits(text, value) || value < 1 || value > VSK_MAX_HT) {
        throw UsageError("the terminal number must be 1 to 128 (as 5, 05 or 005), not " +
                         quoted(text));
    }
    std::string digits = std::to_string(value);
    return std::string(3 - digits.size(), '0') + digits;
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args,
                                   std::span<const CommandDef> commands) {
    ParsedCommandLine parsed;
    parsed.action = requestedInformation(args);
    if (parsed.action != ParsedCommandLine::Action::kRun) return parsed;

    Invocation& invocation = parsed.invocation;
    invocation.line = defaultLineOptions();
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            applyOption(args, i, invocation.line);
        } else {
            positional.push_back(arg);
        }
    }

    if (positional.empty()) throw UsageError("no command given");
    parsed.command = findCommand(commands, positional[0]);
    if (parsed.command == nullptr) throw UsageError("unknown command " + quoted(positional[0]));
    invocation.command = positional[0];
    if (positional.size() < 2) throw UsageError(invocation.command + " needs a terminal number");
    invocation.ht = normalizeHt(positional[1]);
    invocation.operands.assign(positional.begin() + 2, positional.end());
    checkOperandCount(*parsed.command, invocation.operands.size());
    return parsed;
}

std::string usageText(std::span<const CommandDef> commands) {
    const LineOptions defaults = defaultLineOptions();
    std::ostringstream out;
    out << "Usage: veskactl [options] COMMAND HT [OPERAND...]\n"
           "\n"
           "Talks to the handheld terminal number HT (1 to 128) on a serial port.\n"
           "\n"
           "Commands:\n";
    for (const CommandDef& command : commands) {
        std::string synopsis = std::string(command.name) + " HT";
        if (!command.operands.empty()) synopsis += " " + std::string(command.operands);
        out << "  " << synopsis << std::string(synopsis.size() < 24 ? 24 - synopsis.size() : 1, ' ')
            << command.summary << "\n";
    }
    out << "\n"
           "Options (may appear anywhere before --):\n"
        << "  --port N          serial port number; port N opens $VESKA_COMN, else\n"
           "                    /dev/ttyS(N-1) (default "
        << defaults.port << ")\n"
        << "  --baud B          1200, 2400, 4800, 9600, 19200, 38400, 57600 or 115200\n"
           "                    (default "
        << defaults.baudRate << ")\n"
        << "  --parity N|E|O    none, even or odd (default " << defaults.parity << ")\n"
        << "  --data 7|8        data bits (default " << defaults.dataBits << ")\n"
        << "  --stop 1|2        stop bits (default " << defaults.stopBits << ")\n"
        << "  --timeout MS      reply time-out, " << kMinTimeoutMs << " to " << kMaxTimeoutMs
        << " ms (default " << defaults.timeoutMs << ")\n"
        << "  --retry N         attempts per exchange, " << kMinRetry << " to " << kMaxRetry
        << " (default " << defaults.retry << ")\n"
        << "  --polling MS      wait for a poll answer, " << kMinPollingMs << " to "
        << kMaxPollingMs << " ms (default " << defaults.pollingMs << ")\n"
        << "  --help            show this help\n"
           "  --version         show the version\n"
           "\n"
           "Terminal file names are at most 12 bytes in the terminal's character set\n"
           "(CP932). Ctrl-C aborts a running operation.\n"
           "Exit status: 0 success, 1 the operation failed or was aborted, 2 usage error.\n";
    return out.str();
}

}  // namespace veskactl
