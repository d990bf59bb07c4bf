#include "insar/pair_project.h"

#include <algorithm>

#include "platform/error.h"
#include "platform/format.h"
#include "platform/set_file.h"
#include "platform/text.h"

namespace tessarin::insar {

namespace {

constexpr std::size_t kComplexSuffixLength = 8;  // "tile.cpx"
constexpr long long kWorkingAreaStart = 4096;

void requireMemberName(const std::string& member, const std::string& project, const char* which) {
    // The header copy drops the polarisation prefix of the image name and
    // the base drops "tile.cpx": a shorter name leaves no image name at all.
    const std::string name = splitPath(member).name;
    if (name.size() < composites::kPolarisationPrefix + kComplexSuffixLength + 1)
        throw Error(format("The %s \"%s\" named by the pair project \"%s\" is too short to be a complex tile file name",
                           which, member.c_str(), project.c_str()));
}

}  // namespace

PairProject readPairProject(const std::string& path) {
    SetFileReader in(path);
    PairProject p;
    p.master = in.readPath("master tile file");
    p.slave = in.readPath("slave tile file");
    requireMemberName(p.master, path, "master tile file");
    requireMemberName(p.slave, path, "slave tile file");
    return p;
}

void writePairProject(const std::string& path, const PairProject& project) {
    SetFileWriter out;
    out.writeString(project.master);
    out.writeString(project.slave);
    out.save(path);
}

std::string withProjectExtension(const std::string& chosen) {
    return endsWith(chosen, kProjectExtension) ? chosen : chosen + kProjectExtension;
}

PairNames pairNamesOf(const std::string& projectPath, const PairProject& project) {
    PairNames n;
    n.project = projectPath;
    n.master = composites::memberOf(project.master, tiles::TileKind::Complex);
    n.slave = composites::memberOf(project.slave, tiles::TileKind::Complex);
    n.overviewComposite = n.master.index + "FBDCompo";
    n.cut = n.overviewComposite.substr(0, n.overviewComposite.size() - 3) + "cut";
    n.masterCanvas = n.cut + "master";
    n.slaveCanvas = n.cut + "slave";
    n.interferogram = projectPath + "frg.img";
    n.savedFringe = n.interferogram + "ORG";
    n.coherence = projectPath + "coho.img";
    n.tiePoints = projectPath + ".cnj";
    return n;
}

tiles::GlobalPoint workingAreaTopLeft(const tiles::TileGrid& grid) {
    const auto axis = [](int tiles, int size) {
        return std::min(kWorkingAreaStart, static_cast<long long>(size) * std::max(0, tiles - 2));
    };
    return {axis(grid.ntx, grid.tpix), axis(grid.nty, grid.tlin)};
}

}  // namespace tessarin::insar
