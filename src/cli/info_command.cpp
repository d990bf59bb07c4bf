// info: decodes the leader and the image file descriptor of a product (or of
// a TileSet's header and leader copies) and prints the scene description.

#include <cstdio>
#include <string>
#include <type_traits>
#include <variant>

#include <nlohmann/json.hpp>

#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "products/alos2.h"
#include "products/calos.h"
#include "products/scene_report.h"
#include "subcommands.h"

namespace tessarin::cli {

namespace {

using products::ReportEntry;
using products::StateVector;

constexpr std::string_view kComplexTileSuffix = "tile.cpx";
constexpr std::string_view kAmplitudeTileSuffix = "tile";
constexpr std::size_t kPolarisationPrefixLength = 6;  // "IMG-HH"

nlohmann::ordered_json toJson(const std::vector<ReportEntry>& report) {
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    for (const auto& e : report) {
        std::visit(
            [&](const auto& v) {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, std::vector<StateVector>>) {
                    nlohmann::ordered_json list = nlohmann::ordered_json::array();
                    for (const StateVector& s : v)
                        list.push_back({{"t", s.t}, {"X", s.X}, {"Y", s.Y}, {"Z", s.Z}, {"VX", s.VX}, {"VY", s.VY},
                                        {"VZ", s.VZ}, {"radius", s.radius}});
                    j[e.name] = std::move(list);
                } else {
                    j[e.name] = v;
                }
            },
            e.value);
    }
    return j;
}

int runInfo(const Args& args, ConsoleUi& ui) {
    args.requirePositionals(1, "IMAGE");
    const std::string path = args.positionals()[0];

    // A TileSet names its header and leader copies after the image name
    // without its polarisation prefix; an original product is read itself.
    products::Alos2 reader = products::readerFor(path);
    std::string descriptorPath = path;
    const bool complexTiles = endsWith(path, kComplexTileSuffix);
    if (complexTiles || endsWith(path, kAmplitudeTileSuffix)) {
        const std::string image =
            path.substr(0, path.size() - (complexTiles ? kComplexTileSuffix : kAmplitudeTileSuffix).size());
        const SplitPath split = splitPath(image);
        if (split.name.size() <= kPolarisationPrefixLength) {
            ui.message(format("\"%s\" is not named as a TileSet of a product", path.c_str()));
            return 1;
        }
        const std::string rest = split.name.substr(kPolarisationPrefixLength);
        reader.setImagePath(image);
        reader.setLeaderPath(joinPath(split.folder, "LED" + rest));
        descriptorPath = joinPath(split.folder, "FHDR" + rest);
    } else {
        reader.setImagePath(path);
    }
    reader.setLookDirection(reader.imagePath());

    if (!reader.DecodeLeaderFile()) {
        ui.message(format("cannot open the leader file \"%s\"", reader.leaderPath().c_str()));
        return 1;
    }
    if (!reader.DecodeImageFileDescriptor(descriptorPath)) {
        ui.message(format("cannot open the image file \"%s\"", descriptorPath.c_str()));
        return 1;
    }

    const std::vector<ReportEntry> report = products::sceneReport(reader);
    if (args.has("json"))
        std::printf("%s\n", toJson(report).dump(2).c_str());
    else
        std::fputs(products::sceneReportText(report).c_str(), stdout);
    return 0;
}

SubcommandRegistration infoCommand({"info", "print the scene description decoded from a product or a TileSet",
                                    "[--json] IMAGE",
                                    {{"json", false, "print JSON instead of \"name value\" lines"}}, runInfo});

}  // namespace

}  // namespace tessarin::cli
