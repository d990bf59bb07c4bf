// Writes small ALOS-2 products for the console tests of `info`:
//   make_test_product FOLDER 11|15 [tileset|truncated]
// 9 x 3 pixels on the straight track with the constant mapping, so that the
// printed state vectors and positions are the written ones. Level 1.1 looks
// right, level 1.5 ("GUD") left. "tileset" also writes a TileSet's companion
// files (an empty tile file, the header copy and the leader copy) into
// FOLDER/tiles; "truncated" cuts the leader short.

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/text.h"
#include "support/product_fixture.h"

using namespace tessarin;
using namespace tessarin::products;
namespace ts = tessarin::testing;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_test_product FOLDER 11|15 [tileset|truncated]\n");
        return 2;
    }
    const std::string option = argc > 3 ? argv[3] : "";
    try {
        const bool level11 = std::string(argv[2]) != "15";
        const std::string folder = argv[1];
        const WrittenProduct w = ts::writePlausibleProduct(folder, {.level = level11 ? kLevel11 : kLevel15,
                                                                    .pixels = 9,
                                                                    .lines = 3,
                                                                    .look = level11 ? 'R' : 'L',
                                                                    .levelSuffix = level11 ? "__A" : "GUD",
                                                                    .track = ts::Track::Straight,
                                                                    .mapping = ts::Mapping::Constant});
        if (option == "tileset") {
            const std::string tiles = joinPath(folder, "tiles");
            std::filesystem::create_directories(tiles);
            const std::string image = splitPath(w.imagePaths[0]).name;
            const std::string rest = image.substr(6);
            writeWholeFile(joinPath(tiles, image + (level11 ? "tile.cpx" : "tile")), {});
            auto header = readWholeFile(w.imagePaths[0]);
            header.resize(std::min<std::size_t>(header.size(), 1200));
            writeWholeFile(joinPath(tiles, "FHDR" + rest), header);
            writeWholeFile(joinPath(tiles, "LED" + rest), readWholeFile(w.leaderPath));
        } else if (option == "truncated") {
            auto leader = readWholeFile(w.leaderPath);
            leader.resize(9000);
            writeWholeFile(w.leaderPath, leader);
        }
        std::printf("%s\n", w.imagePaths[0].c_str());
        return 0;
    } catch (const Error& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
}
