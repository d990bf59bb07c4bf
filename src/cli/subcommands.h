#pragma once
// The console's subcommands. Each one parses its own options, runs the same
// core code as the desktop, and returns the exit code: 0 success, 1 when the
// system reported a failure. Bad usage throws UsageError (exit 2).

#include <string>
#include <vector>

#include "args.h"
#include "console_ui.h"

namespace tessarin::cli {

struct Subcommand {
    const char* name;
    const char* summary;
    const char* usage;  // the argument synopsis after the name
    std::vector<OptionSpec> options;
    int (*run)(const Args& args, ConsoleUi& ui);
};

// Options every subcommand accepts.
std::vector<OptionSpec> commonOptions();

// Every subcommand, sorted by name. Each lives in its own file and registers
// itself with a static SubcommandRegistration.
const std::vector<Subcommand>& allSubcommands();

struct SubcommandRegistration {
    explicit SubcommandRegistration(Subcommand command);
};

}  // namespace tessarin::cli
