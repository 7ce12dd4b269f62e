// Prints veskactl's command table for the checks of the manual page and the
// shell completion (cli/tests/completion_test.sh), one line each:
//   command NAME TARGET OPTION...   TARGET: HT, SELECTION or NONE
//   baud RATE...
#include <iostream>
#include <string>

#include "command_line.h"
#include "commands.h"
#include "line_options.h"

namespace {

const char* targetName(veskactl::Target target) {
    switch (target) {
        case veskactl::Target::kHt:
            return "HT";
        case veskactl::Target::kSelection:
            return "SELECTION";
        case veskactl::Target::kNone:
            break;
    }
    return "NONE";
}

}  // namespace

int main() {
    using namespace veskactl;
    for (const CommandDef& command : commandTable()) {
        // Two-word names travel with a '+' so that every field is one word.
        std::string name(command.name);
        for (char& c : name)
            if (c == ' ') c = '+';
        std::cout << "command " << name << " " << targetName(command.target);
        for (std::string_view option : optionNamesOf(command)) std::cout << " " << option;
        std::cout << "\n";
    }
    std::cout << "baud";
    for (int32_t rate : kBaudRates) std::cout << " " << rate;
    std::cout << "\n";
    return 0;
}
