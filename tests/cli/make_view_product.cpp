// Writes the level 1.5 product of the view tests (testing::viewProductOptions:
// 1100 x 1300 pixels, amplitude 100 + (7 x + 3 y) mod 900, calibration -83 dB,
// lat = 35.6 + 2e-5 P - 3e-5 L, lon = 139.7 - 4e-5 P + 1e-5 L from pixel 0,
// line 0) for the console tests of the view:
//   make_view_product FOLDER

#include <cstdio>

#include "platform/error.h"
#include "support/product_fixture.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_view_product FOLDER\n");
        return 2;
    }
    namespace ts = tessarin::testing;
    try {
        const auto w = ts::writePlausibleProduct(argv[1], ts::viewProductOptions(), ts::viewSamples());
        std::printf("%s\n", w.imagePaths.at(0).c_str());
        return 0;
    } catch (const tessarin::Error& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
}
