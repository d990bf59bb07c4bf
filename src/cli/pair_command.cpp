// tessarin-cli pair MASTER_TILE SLAVE_TILE OUT.INF: an interferometric pair
// project without dialogs, for batch use.

#include <cstdio>
#include <filesystem>

#include "insar/pair_project.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "subcommands.h"
#include "tiles/tile_store.h"

namespace tessarin::cli {

namespace {

std::string complexMember(const std::string& path, const char* which) {
    tiles::TileKind kind{};
    if (!tiles::tileKindFromName(path, kind) || kind != tiles::TileKind::Complex)
        throw Error(format("the %s \"%s\" is not a complex tile file (its name must end in \"tile.cpx\")", which,
                           path.c_str()));
    if (!fileExists(path)) throw Error(format("the %s \"%s\" does not exist", which, path.c_str()));
    return std::filesystem::absolute(path).string();
}

int runPair(const Args& args, ConsoleUi&) {
    args.requirePositionals(3, "MASTER_TILE SLAVE_TILE OUT.INF");
    const std::string master = complexMember(args.positionals()[0], "master");
    const std::string slave = complexMember(args.positionals()[1], "slave");
    const std::string project = std::filesystem::absolute(insar::withProjectExtension(args.positionals()[2])).string();
    insar::writePairProject(project, {master, slave});
    insar::readPairProject(project);  // the naming rules hold for what was written
    std::printf("project %s\nmaster %s\nslave %s\n", project.c_str(), master.c_str(), slave.c_str());
    return 0;
}

SubcommandRegistration pairCommand({"pair", "write an interferometric pair project (.INF) naming two complex TileSets",
                                    "MASTER_TILE SLAVE_TILE OUT.INF", {}, runPair});

}  // namespace

}  // namespace tessarin::cli
