#include "options.h"

#include <charconv>
#include <set>

#include "frame_defs.h"

namespace vsk::htsim {

namespace {

bool toInt(const std::string& s, long long lo, long long hi, long long* out) {
    long long v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size() || v < lo || v > hi) return false;
    *out = v;
    return true;
}

// VALUE,TEXT1,TEXT2,FLAG
bool parseStatus(const std::string& s, StatusFields* out) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t comma; (comma = s.find(',', start)) != std::string::npos; start = comma + 1)
        parts.push_back(s.substr(start, comma - start));
    parts.push_back(s.substr(start));
    long long value = 0;
    if (parts.size() != 4 || !toInt(parts[0], 0, VSK_MAX_FILE_SIZE, &value) ||
        parts[1].size() > 5 || parts[2].size() > 5 || parts[3].size() != 1)
        return false;
    *out = {value, parts[1], parts[2], parts[3][0]};
    return true;
}

class ArgReader {
  public:
    explicit ArgReader(const std::vector<std::string>& args) : args_(args) {}
    bool more() const { return i_ < args_.size(); }
    const std::string& next() { return args_[i_++]; }
    bool value(const std::string& option, std::string* out, std::string* error) {
        if (!more()) {
            *error = option + " needs a value";
            return false;
        }
        *out = next();
        return true;
    }

  private:
    const std::vector<std::string>& args_;
    size_t i_ = 0;
};

bool bad(std::string* error, const std::string& option, const std::string& value) {
    *error = "bad value for " + option + ": \"" + value + "\"";
    return false;
}

// Options that describe a terminal. Before the first --ht they set what every
// terminal starts from.
bool terminalOption(const std::string& opt, const std::string& v, TerminalConfig* t,
                    std::string* error) {
    long long n = 0;
    if (opt == "--dir") {
        t->dir = v;
    } else if (opt == "--free") {
        if (!toInt(v, 0, VSK_MAX_FILE_SIZE, &n)) return bad(error, opt, v);
        t->freeSize = n;
    } else if (opt == "--status") {
        if (!parseStatus(v, &t->status)) return bad(error, opt, v);
    } else if (opt == "--ack-timeout") {
        if (!toInt(v, 1, 600000, &n)) return bad(error, opt, v);
        t->ackTimeout = std::chrono::milliseconds(n);
    } else if (opt == "--polls") {
        if (!toInt(v, 0, 1000000, &n)) return bad(error, opt, v);
        t->pollLimit = static_cast<int>(n);
    } else if (opt == "--block") {
        if (!toInt(v, 1, static_cast<long long>(vsk::frame::kMaxReceiveData), &n))
            return bad(error, opt, v);
        t->blockSize = static_cast<size_t>(n);
    } else if (opt == "--fault") {
        auto f = parseFault(v, error);
        if (!f) return false;
        t->faults.push_back(*f);
    }
    return true;
}

bool isTerminalOption(const std::string& opt) {
    return opt == "--dir" || opt == "--free" || opt == "--status" || opt == "--ack-timeout" ||
           opt == "--block" || opt == "--polls" || opt == "--fault";
}

bool lineOption(const std::string& opt, const std::string& v, Options* o, std::string* error) {
    long long n = 0;
    if (opt == "--link") {
        o->line.link = v;
    } else if (opt == "--device") {
        o->line.device = v;
    } else if (opt == "--record") {
        o->record = v;
    } else if (opt == "--control") {
        o->control = v;
    } else if (opt == "--baud") {
        if (!toInt(v, 50, 4000000, &n)) return bad(error, opt, v);
        o->line.baud = static_cast<int>(n);
    } else if (opt == "--parity") {
        if (v != "N" && v != "E" && v != "O") return bad(error, opt, v);
        o->line.parity = v[0];
    } else if (opt == "--data") {
        if (v != "7" && v != "8") return bad(error, opt, v);
        o->line.dataBits = v[0] - '0';
    } else if (opt == "--stop") {
        if (v != "1" && v != "2") return bad(error, opt, v);
        o->line.stopBits = v[0] - '0';
    } else {
        *error = "unknown option " + opt;
        return false;
    }
    return true;
}

}  // namespace

bool parseOptions(const std::vector<std::string>& args, Options* out, std::string* error) {
    Options o;
    TerminalConfig defaults;
    std::set<int> numbers;
    ArgReader in(args);
    while (in.more()) {
        const std::string opt = in.next();
        std::string v;
        if (opt == "--help" || opt == "-h") {
            o.help = true;
            continue;
        }
        if (opt == "--trace") {
            o.trace = true;
            continue;
        }
        if (!in.value(opt, &v, error)) return false;
        if (opt == "--ht") {
            long long n = 0;
            if (!toInt(v, 1, 128, &n)) return bad(error, opt, v);
            if (!numbers.insert(static_cast<int>(n)).second) {
                *error = "terminal " + v + " given twice";
                return false;
            }
            o.terminals.push_back(defaults);
            o.terminals.back().number = static_cast<int>(n);
        } else if (isTerminalOption(opt)) {
            TerminalConfig* current = o.terminals.empty() ? &defaults : &o.terminals.back();
            if (!terminalOption(opt, v, current, error)) return false;
        } else if (!lineOption(opt, v, &o, error)) {
            return false;
        }
    }
    if (!o.help && o.terminals.empty()) {
        *error = "no terminal given (--ht N)";
        return false;
    }
    *out = std::move(o);
    return true;
}

const char* usageText() {
    return R"(usage: veska-htsim [LINE OPTIONS] --ht N [TERMINAL OPTIONS] [--ht N ...]

Simulates handheld terminals on one serial line. Prints the line's path on
stdout once it answers, then serves until SIGTERM or SIGINT.

Line options:
  --link PATH          also reach the line through the symlink PATH
  --device DEV         serve the serial device DEV instead of a pseudo-terminal
  --baud N             line speed: of the device (1200 ... 115200, default
                       9600), or emulated on a pseudo-terminal (default: none)
  --parity N|E|O       parity (default N)
  --data 7|8           data bits (default 8)
  --stop 1|2           stop bits (default 1)
  --trace              one readable line per frame on stderr
  --record FILE        append one line per frame to FILE
  --control PATH       take fault commands on the Unix socket PATH (see README)

Terminal options (after --ht N they apply to that terminal; before the
first --ht they apply to every terminal):
  --ht N               a terminal with HT number N (1-128)
  --dir DIR            its file folder (created if missing)
  --free N             free size it announces (default 1048576)
  --status V,T1,T2,F   status reply: value, two 5-character texts, flag
  --ack-timeout MS     wait this long for the PC's ACK (default 3000)
  --polls N            answer only the first N polls, then ignore polls
  --block N            file bytes per data frame it sends (1-1012, default 512)
  --fault FAULT        misbehave: KIND[=ARG][*COUNT][@LETTERS] (see README)
)";
}

}  // namespace vsk::htsim
