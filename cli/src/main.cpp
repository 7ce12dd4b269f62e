// veskactl: the terminal link library's operations from the command line.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "session.h"
#include "veska.h"

namespace {

// The library reads the variable through the same C runtime (msvcrt.dll on
// Windows, whose _putenv_s also sets the process's environment).
void setTraceVariable(const std::string& path) {
#ifdef _WIN32
    _putenv_s("VESKA_TRACE", path.c_str());
#else
    setenv("VESKA_TRACE", path.c_str(), 1);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    using namespace veskactl;
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        ParsedCommandLine parsed = parseCommandLine(args, commandTable());
        switch (parsed.action) {
            case ParsedCommandLine::Action::kHelp:
                std::cout << usageText(commandTable());
                return kExitOk;
            case ParsedCommandLine::Action::kVersion:
                std::cout << "veskactl " << VSK_VERSION_TEXT << "\n";
                return kExitOk;
            case ParsedCommandLine::Action::kRun:
                break;
        }
        // The library reads the variable when it opens the line.
        if (parsed.invocation.tracePath) setTraceVariable(*parsed.invocation.tracePath);
        const int status = parsed.command->run(parsed.invocation);
        // A command that a signal stopped ends by that signal; one that
        // finished anyway keeps its own status.
        if (status != kExitOk) endByInterruptSignal();
        return status;
    } catch (const UsageError& error) {
        std::cerr << "veskactl: " << error.what() << "\n"
                  << "Try 'veskactl --help' for more information.\n";
        return kExitUsage;
    } catch (const std::exception& error) {
        std::cerr << "veskactl: " << error.what() << "\n";
        return kExitFailed;
    }
}
