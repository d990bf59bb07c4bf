// Writes small ALOS-2 products for the console tests of `info`:
//   make_test_product FOLDER 11|15 [tileset|truncated]
// "tileset" also writes a TileSet's companion files (an empty tile file, the
// header copy and the leader copy) into FOLDER/tiles; "truncated" cuts the
// leader short.

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/text.h"
#include "products/ceos_writer.h"

using namespace tessarin;
using namespace tessarin::products;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_test_product FOLDER 11|15 [tileset|truncated]\n");
        return 2;
    }
    const std::string option = argc > 3 ? argv[3] : "";
    try {
        ProductSpec product;
        product.folder = argv[1];
        product.level = std::string(argv[2]) == "15" ? kLevel15 : kLevel11;
        product.levelSuffix = product.level == kLevel11 ? "__A" : "GUD";
        product.look = product.level == kLevel11 ? 'R' : 'L';
        SceneParameters& p = product.params;
        p.Y = 2014, p.M = 7, p.D = 24, p.H = 3, p.Min = 12, p.Sec = 34.567;
        p.ctrlat = 35.6812, p.ctrlon = 139.7671, p.wavelength = 0.2290399, p.prf = 2000.0;
        p.linsz = 2.13, p.pixsz = 1.43, p.calib = -83.0;
        p.orbitPointCount = 28, p.orbitFirstTime = 10800.0, p.orbitInterval = 60.0;
        p.orbitFirstYear = 2014, p.orbitFirstMonth = 7, p.orbitFirstDay = 24;
        for (std::size_t i = 0; i < 28; ++i) {
            p.stateVectors[i].X = -3000000.5 + 1000.0 * static_cast<double>(i);
            p.stateVectors[i].Y = 4000000.25 - 2000.0 * static_cast<double>(i);
            p.stateVectors[i].Z = 4500000.125 + 500.0 * static_cast<double>(i);
            p.stateVectors[i].VX = 1000.0 / 60.0;
        }
        p.plRefPixel = 4.5, p.plRefLine = 1.5, p.llRefLat = 35.5, p.llRefLon = 139.75;
        p.pl2lat[24] = 35.6812, p.pl2lon[24] = 139.7671, p.ll2pix[24] = 4.5, p.ll2lin[24] = 1.5;
        p.line = 3, p.pixel = 9;
        const WrittenProduct w = writeCeosProduct(product);

        if (option == "tileset") {
            const std::string tiles = joinPath(product.folder, "tiles");
            std::filesystem::create_directories(tiles);
            const std::string image = splitPath(w.imagePaths[0]).name;
            const std::string rest = image.substr(6);
            writeWholeFile(joinPath(tiles, image + (product.level == kLevel11 ? "tile.cpx" : "tile")), {});
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
