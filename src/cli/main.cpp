// tessarin-cli: the document code of the desktop without a window.

#include <cstdio>
#include <string>
#include <vector>

#include "app/application.h"
#include "platform/error.h"
#include "platform/work_folder.h"
#include "subcommands.h"

using namespace tessarin;
using namespace tessarin::cli;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void printOverview(std::FILE* out) {
    std::fprintf(out,
                 "usage: tessarin-cli [--version] [--help] SUBCOMMAND [ARGS] [--answer VALUE]... [--workdir DIR]\n\n"
                 "Subcommands:\n");
    for (const auto& c : allSubcommands()) std::fprintf(out, "  %-15s %s\n", c.name, c.summary);
    std::fprintf(out, "\nRun 'tessarin-cli SUBCOMMAND --help' for the options of one subcommand.\n");
}

void printUsage(const Subcommand& c, std::FILE* out) {
    std::fprintf(out, "usage: tessarin-cli %s %s\n\n%s\n\nOptions:\n", c.name, c.usage, c.summary);
    auto print = [&](const OptionSpec& o) {
        const std::string left = "--" + o.name + (o.takesValue ? " VALUE" : "");
        std::fprintf(out, "  %-22s %s\n", left.c_str(), o.help.c_str());
    };
    for (const auto& o : c.options) print(o);
    for (const auto& o : commonOptions()) print(o);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> tokens(argv + 1, argv + argc);
    if (tokens.empty()) {
        printOverview(stderr);
        return kExitUsage;
    }
    if (tokens[0] == "--version") {
        std::printf("tessarin-cli %s\n", app::kVersion);
        return kExitOk;
    }
    if (tokens[0] == "--help" || tokens[0] == "help") {
        printOverview(stdout);
        return kExitOk;
    }
    const Subcommand* command = nullptr;
    for (const auto& c : allSubcommands())
        if (tokens[0] == c.name) command = &c;
    if (!command) {
        std::fprintf(stderr, "tessarin-cli: unknown subcommand \"%s\"\n\n", tokens[0].c_str());
        printOverview(stderr);
        return kExitUsage;
    }
    tokens.erase(tokens.begin());
    std::vector<OptionSpec> specs = command->options;
    for (auto& o : commonOptions()) specs.push_back(o);
    try {
        const Args args(tokens, specs);
        if (args.has("help")) {
            printUsage(*command, stdout);
            return kExitOk;
        }
        if (const auto dir = args.value("workdir")) setWorkFolderOverride(*dir);
        ConsoleUi ui(args.values("answer"));
        return command->run(args, ui);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "tessarin-cli %s: %s\n\n", command->name, e.what());
        printUsage(*command, stderr);
        return kExitUsage;
    } catch (const Error& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return kExitFailure;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return kExitFailure;
    }
}
