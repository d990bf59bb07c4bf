// The scene description printed by `info`.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "products/alos2.h"
#include "products/ceos_writer.h"
#include "products/scene_report.h"
#include "support/product_fixture.h"
#include "support/temp_dir.h"

using namespace tessarin;
using namespace tessarin::products;
using namespace tessarin::testing;

namespace {

using ReportTest = TempDirTest;

const ReportValue& valueOf(const std::vector<ReportEntry>& r, const std::string& name) {
    const auto it = std::find_if(r.begin(), r.end(), [&](const ReportEntry& e) { return e.name == name; });
    if (it == r.end()) throw std::runtime_error("no entry " + name);
    return it->value;
}

}  // namespace

TEST_F(ReportTest, EveryNamedFieldIsReportedWithItsDecodedValue) {
    const WrittenProduct w = writeCeosProduct(plausibleProduct(dir(), {.level = kLevel11, .pixels = 9, .lines = 3}));
    const Alos2 a = decodedProduct(w);
    const auto report = sceneReport(a);

    std::set<std::string> names;
    for (const auto& e : report) EXPECT_TRUE(names.insert(e.name).second) << "twice: " << e.name;
    for (const char* key : {"Y", "M", "D", "H", "Min", "Sec", "scsecofday", "ctrlat", "ctrlon", "wavelength", "prf",
                            "linsz", "pixsz", "inccoef", "calib", "productLevel", "orbitPointCount", "orbitFirstTime",
                            "orbitInterval", "stateVectors", "orbitRefTime", "orbitPolyX", "orbitPolyY", "orbitPolyZ",
                            "pl2lat", "pl2lon", "plRefPixel", "plRefLine", "ll2pix", "ll2lin", "llRefLat", "llRefLon",
                            "line", "linebytes", "lineheader", "fileheader", "pixel", "pointingLeft"})
        EXPECT_TRUE(names.count(key)) << key;

    EXPECT_EQ(std::get<long long>(valueOf(report, "productLevel")), 11);
    EXPECT_EQ(std::get<double>(valueOf(report, "prf")), 2000.0);
    EXPECT_EQ(std::get<long long>(valueOf(report, "pixel")), 9);
    EXPECT_EQ(std::get<std::vector<double>>(valueOf(report, "ll2lin")).size(), 25u);
    const auto& vectors = std::get<std::vector<StateVector>>(valueOf(report, "stateVectors"));
    ASSERT_EQ(vectors.size(), 28u);
    EXPECT_EQ(vectors[27], a.params().stateVectors[27]);

    // Text: one line per field, numbers exact.
    const std::string text = sceneReportText(report);
    EXPECT_NE(text.find("\nprf 2000\n"), std::string::npos);
    EXPECT_NE(text.find("\nSec 34.567\n"), std::string::npos);
    EXPECT_NE(text.find("\ninccoef 0.2 0.0015 -2.25e-06 3e-09 -4e-12 5.5e-15\n"), std::string::npos);
    EXPECT_NE(text.find("\nstateVectors[0] 10800 7000000 "), std::string::npos);
    EXPECT_NE(text.find("\nstateVectors[27] 12420 "), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(report.size() - 1 + 28));
    EXPECT_EQ(exactNumber(0.1 + 0.2), "0.30000000000000004");
}
