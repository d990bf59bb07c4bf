// Writes a level 1.5 ALOS-2 product for the console tests of the view:
//   make_view_product FOLDER
// 1100 x 1300 pixels (2 x 2 tiles) with amplitude 100 + (7 x + 3 y) mod 900,
// calibration -83 dB and linear position polynomials
// lat = 35.6 + 2e-5 P - 3e-5 L, lon = 139.7 - 4e-5 P + 1e-5 L (P, L from the
// reference pixel 0, line 0).

#include <cstdio>
#include <string>

#include "platform/error.h"
#include "products/ceos_writer.h"

using namespace tessarin;
using namespace tessarin::products;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_view_product FOLDER\n");
        return 2;
    }
    try {
        ProductSpec product;
        product.folder = argv[1];
        product.level = kLevel15;
        product.levelSuffix = "GUD";
        product.look = 'R';
        SceneParameters& p = product.params;
        p.Y = 2014, p.M = 7, p.D = 24, p.H = 3, p.Min = 12, p.Sec = 34.567;
        p.wavelength = 0.2290399, p.prf = 2000.0, p.linsz = 2.13, p.pixsz = 1.43, p.calib = -83.0;
        p.orbitPointCount = 28, p.orbitFirstTime = 10800.0, p.orbitInterval = 60.0;
        p.orbitFirstYear = 2014, p.orbitFirstMonth = 7, p.orbitFirstDay = 24;
        for (std::size_t i = 0; i < 28; ++i) {
            p.stateVectors[i].X = -3000000.5 + 1000.0 * static_cast<double>(i);
            p.stateVectors[i].Y = 4000000.25 - 2000.0 * static_cast<double>(i);
            p.stateVectors[i].Z = 4500000.125 + 500.0 * static_cast<double>(i);
        }
        p.pl2lat[24] = 35.6, p.pl2lat[19] = 2e-5, p.pl2lat[23] = -3e-5;
        p.pl2lon[24] = 139.7, p.pl2lon[19] = -4e-5, p.pl2lon[23] = 1e-5;
        p.line = 1300, p.pixel = 1100;
        SampleSource source;
        source.amplitudeLine = [](std::size_t, int n, std::span<std::uint16_t> s) {
            for (std::size_t x = 0; x < s.size(); ++x)
                s[x] = static_cast<std::uint16_t>(100 + (7 * x + 3 * static_cast<std::size_t>(n)) % 900);
        };
        std::printf("%s\n", writeCeosProduct(product, source).imagePaths.at(0).c_str());
        return 0;
    } catch (const Error& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
}
