#include "subcommands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>


namespace tessarin::cli {

namespace {

std::vector<Subcommand>& registry() {
    static std::vector<Subcommand> commands;
    return commands;
}

}  // namespace

SubcommandRegistration::SubcommandRegistration(Subcommand command) {
    auto& r = registry();
    const auto at = std::lower_bound(r.begin(), r.end(), command,
                                     [](const Subcommand& a, const Subcommand& b) { return std::strcmp(a.name, b.name) < 0; });
    r.insert(at, std::move(command));
}

const std::vector<Subcommand>& allSubcommands() { return registry(); }

std::vector<OptionSpec> commonOptions() {
    return {
        {"answer", true,
         "answer the next dialog: a path, key=value,... for a form (a field by name or label), or cancel "
         "(repeatable)"},
        {"workdir", true, "work folder for new TileSets and scratch files"},
        {"help", false, "show this help"},
    };
}

}  // namespace tessarin::cli
