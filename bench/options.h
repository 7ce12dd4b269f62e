// The command line of a benchmark program. Each program lists the options it
// takes; --help prints its usage and ends it with 0 before anything runs, and
// an unknown option, a missing or malformed value, or an argument too many
// ends it with 2 and says why: a benchmark that runs for minutes must not
// start on a mistyped command line.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace bench {

struct OptionSpec {
    const char* name;   // "--runs"
    const char* value;  // what its value is called ("N"); nullptr for a switch
    const char* help;
};

class Options {
  public:
    // `about`: one line on what the program measures. `operand`: the name of
    // the positional arguments it takes (at most `maxOperands` of them).
    Options(int argc, char** argv, const char* about, std::initializer_list<OptionSpec> known,
            const char* operand = nullptr, size_t maxOperands = 0)
        : program_(programName(argc > 0 ? argv[0] : "bench")),
          about_(about),
          known_(known),
          operand_(operand),
          maxOperands_(maxOperands) {
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg == "--help" || arg == "-h") {
                usage(stdout);
                std::exit(0);
            }
            if (arg.size() > 1 && arg[0] == '-') {
                const OptionSpec* spec = find(arg);
                if (spec == nullptr) fail("unknown option " + arg);
                if (spec->value == nullptr) {
                    given_[arg] = "";
                } else if (i + 1 >= argc) {
                    fail(arg + " needs a value (" + spec->value + ")");
                } else {
                    given_[arg] = argv[++i];
                }
            } else if (operands_.size() < maxOperands_) {
                operands_.push_back(arg);
            } else {
                fail("unexpected argument " + arg);
            }
        }
    }

    bool has(const char* name) const { return given_.count(name) != 0; }

    // The whole value of option `name` as a number, or `fallback` when the
    // option was not given.
    long number(const char* name, long fallback) const {
        auto it = given_.find(name);
        return it == given_.end() ? fallback : parseNumber(it->second, name);
    }
    double real(const char* name, double fallback) const {
        auto it = given_.find(name);
        if (it == given_.end()) return fallback;
        char* end = nullptr;
        errno = 0;
        double v = std::strtod(it->second.c_str(), &end);
        if (it->second.empty() || *end != '\0' || errno != 0) badValue(name, it->second);
        return v;
    }
    // The value of option `name` as it was given, or `fallback`.
    std::string text(const char* name, const std::string& fallback) const {
        auto it = given_.find(name);
        return it == given_.end() ? fallback : it->second;
    }
    // The positional arguments, checked as numbers.
    long operandNumber(size_t k, long fallback) const {
        return k < operands_.size() ? parseNumber(operands_[k], operand_) : fallback;
    }

  private:
    static const char* programName(const char* path) {
        const char* slash = std::strrchr(path, '/');
        return slash ? slash + 1 : path;
    }

    const OptionSpec* find(const std::string& name) const {
        for (const OptionSpec& s : known_) {
            if (name == s.name) return &s;
        }
        return nullptr;
    }

    long parseNumber(const std::string& text, const char* what) const {
        char* end = nullptr;
        errno = 0;
        long v = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || errno != 0) badValue(what, text);
        return v;
    }

    [[noreturn]] void badValue(const char* what, const std::string& text) const {
        fail(std::string("not a number for ") + what + ": " + text);
    }

    [[noreturn]] void fail(const std::string& why) const {
        std::fprintf(stderr, "%s: %s\n", program_, why.c_str());
        usage(stderr);
        std::exit(2);
    }

    void usage(std::FILE* out) const {
        std::fprintf(out, "usage: %s [--help]", program_);
        for (const OptionSpec& s : known_) {
            std::fprintf(out, s.value ? " [%s %s]" : " [%s]", s.name, s.value);
        }
        if (operand_ != nullptr) std::fprintf(out, " [%s]", operand_);
        std::fprintf(out, "\n\n%s\n\n", about_);
        for (const OptionSpec& s : known_) {
            std::string left = s.name;
            if (s.value) left += std::string(" ") + s.value;
            std::fprintf(out, "  %-20s %s\n", left.c_str(), s.help);
        }
        std::fprintf(out, "  %-20s %s\n", "--help", "print this and exit");
    }

    const char* program_;
    const char* about_;
    std::vector<OptionSpec> known_;
    const char* operand_;
    size_t maxOperands_;
    std::map<std::string, std::string> given_;
    std::vector<std::string> operands_;
};

}  // namespace bench
