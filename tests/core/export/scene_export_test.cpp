// A simulated scene with terrain, exported as the window does it under a
// table-driven mode (1, a level 1.1 image) and a profile-driven one (5, its
// complex TileSet), checked with the tools a user opens the results with
// and against the simulator's own geometry: every PNG placed on its grid
// box, neighbouring frames alike where they overlap, no hole inside a frame,
// the point targets at their terrain ground positions.

#include <gtest/gtest.h>
#include <unistd.h>

#include <GeographicLib/Geodesic.hpp>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "app/app_core.h"
#include "app/command_table.h"
#include "core/imagefiles/image_tools.h"
#include "dem/geoid_grid.h"
#include "document/tessarin_doc.h"
#include "export/export_commands.h"
#include "export/ortho_source.h"
#include "platform/format.h"
#include "platform/ui.h"
#include "products/alos2.h"
#include "simulator/scene_simulator.h"
#include "simulator/simulated_dem.h"
#include "support/png_read.h"
#include "tiles/scene_tiling.h"

namespace tessarin::geoexport {
namespace {

namespace fs = std::filesystem;
using tessarin::testing::runTool;
using tessarin::testing::shellQuote;

constexpr int kPixels = 3072, kLines = 2048;

double metresBetween(GeoPoint a, GeoPoint b) {
    double s = 0;
    GeographicLib::Geodesic::WGS84().Inverse(a.lat_deg, a.lon_deg, b.lat_deg, b.lon_deg, s);
    return s;
}

// The grid a frame's PNG must cover, from the product's polynomials: the
// corners at E = width + 3 (table-driven) or width (profile-driven) from
// the reference pixel p0 (x0 or x0 - 3), dphi the top edge over the width.
struct ExpectedGrid {
    double north, west, dphi;
    int rows, columns;
};
ExpectedGrid expectedGrid(const products::SceneParameters& p, long long p0, long long l0, int reach) {
    GeoPoint c[4];
    const double e = 2048 + reach;
    const ScenePoint at[4] = {{double(p0), double(l0)}, {p0 + e, double(l0)}, {double(p0), l0 + e}, {p0 + e, l0 + e}};
    for (int k = 0; k < 4; ++k) c[k] = products::latLonOfPixelLine(p, at[k]);
    ExpectedGrid g;
    double south = 90, east = -360;
    g.north = -90, g.west = 360;
    for (const GeoPoint& q : c) {
        g.north = std::max(g.north, q.lat_deg), south = std::min(south, q.lat_deg);
        g.west = std::min(g.west, q.lon_deg), east = std::max(east, q.lon_deg);
    }
    const double dx = std::cos(c[0].lat_deg * M_PI / 180) * (c[0].lon_deg - c[1].lon_deg), dy = c[1].lat_deg - c[0].lat_deg;
    g.dphi = std::sqrt(dx * dx + dy * dy) / 2048;
    g.rows = static_cast<int>((g.north - south) / g.dphi);
    g.columns = static_cast<int>((east - g.west) / g.dphi);
    return g;
}

// A frame as GDAL places it: the pixel holding a lon/lat comes from the
// geotransform gdalinfo reads from the KML; the values from libpng.
struct PlacedPng {
    tessarin::testing::Rgba png;
    double originLon = 0, originLat = 0, sizeLon = 1, sizeLat = -1;

    explicit PlacedPng(const FrameOutcome& f) : png(tessarin::testing::readPng(f.pngPath)) {
        const auto info = tessarin::testing::gdalInfo(f.kmlPath);
        if (!info.is_object()) return;
        const auto gt = info["geoTransform"];
        originLon = gt[0].get<double>(), sizeLon = gt[1].get<double>();
        originLat = gt[3].get<double>(), sizeLat = gt[5].get<double>();
    }
    // Red and alpha of the pixel (column, row), or {-1, 0} outside.
    std::array<int, 2> at(int i, int j) const {
        if (i < 0 || j < 0 || i >= png.width || j >= png.height) return {-1, 0};
        const auto v = png.at(i, j);
        return {v[0], v[3]};
    }
    std::array<int, 2> pixelOf(GeoPoint g) const {
        return {static_cast<int>(std::floor((g.lon_deg - originLon) / sizeLon)),
                static_cast<int>(std::floor((g.lat_deg - originLat) / sizeLat))};
    }
    std::array<int, 2> valueAt(GeoPoint g) const {
        const auto p = pixelOf(g);
        return at(p[0], p[1]);
    }
};

class SceneExport : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!fs::exists(dem::kProjDataEgm96Gtx)) return;
        root_ = (fs::temp_directory_path() / ("tessarin-export-" + std::to_string(::getpid()))).string();
        fs::remove_all(root_);
        simulator::SimulatorOptions o;
        o.folder = root_ + "/product";
        o.pixels = kPixels;
        o.lines = kLines;
        truth_ = new simulator::SimulationTruth(simulator::simulateScene(o));
        const dem::GeoidGrid geoid = dem::readGtxGeoid(dem::kProjDataEgm96Gtx);
        dem_ = new simulator::WrittenDem(simulator::writeSimulatedDem({o.folder, truth_->terrain, truth_->corners}, geoid));
        model_ = new simulator::SceneGeometryModel(kPixels, kLines, 'R');
    }
    static void TearDownTestSuite() {
        if (!root_.empty()) fs::remove_all(root_);
        delete truth_;
        delete dem_;
        delete model_;
    }
    void SetUp() override {
        if (!truth_) {
            if (tessarin::testing::runTool("test \"$CI\" = true").exitCode == 0)
                FAIL() << dem::kProjDataEgm96Gtx << " (proj-data) is missing";
            GTEST_SKIP() << dem::kProjDataEgm96Gtx << " (proj-data) is absent";
        }
        work_ = root_ + "/work";
        fs::create_directories(work_);
        ::setenv("TESSARIN_WORKDIR", work_.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("TESSARIN_WORKDIR");
        LinkBlock::remove(link_);
    }

    // Opens path under mode with the SRTM-3 DEM imported.
    document::CTessarinDoc* openWithDem(app::AppCore& core, ScriptedUi& ui, int mode, const std::string& path) {
        app::registerModules(core);
        core.linkBlock().writeOpenMode(mode);
        document::CTessarinDoc* doc = core.openDocument(path);
        if (!doc) return nullptr;
        std::string hgt;
        for (const auto& t : dem_->tiles)
            if (t.source == dem::DemSource::Srtm3) hgt = t.path;
        ui.addAnswer(hgt);
        ui.addAnswer(dem_->geoidPath);
        core.run(*app::findCommand("SRTM old List"), doc);
        core.run(*app::findCommand("DEM Import"), doc);
        return doc;
    }

    // The frames exported, with the ground frames they came from.
    struct Exported {
        ExportRun run;
        std::map<std::pair<int, int>, GroundFrame> frames;
    };
    Exported exportCapturing(document::CTessarinDoc& doc, ScriptedUi& ui, const std::vector<FrameIndex>& frames) {
        Exported e;
        const FrameConverter convert = documentConverter(doc, ui);
        e.run = runFrameExport(doc, frames, [&](FrameIndex f) {
            GroundFrame g = convert(f);
            e.frames[{f.kx, f.ky}] = g;
            return g;
        }, ui);
        return e;
    }

    // Checks a frame's files with xmllint, pngcheck and gdalinfo; the PNG
    // must sit on the grid the product's polynomials give.
    void expectPlaced(const FrameOutcome& f, const products::SceneParameters& scene, int reach) {
        SCOPED_TRACE(f.kmlPath);
        ASSERT_TRUE(f.written()) << f.failure;
        EXPECT_EQ(runTool("xmllint --noout " + shellQuote(f.kmlPath)).exitCode, 0);
        const auto check = runTool("pngcheck " + shellQuote(f.pngPath));
        EXPECT_NE(check.output.find("32-bit RGB+alpha"), std::string::npos) << check.output;
        const auto info = tessarin::testing::gdalInfo(f.kmlPath);
        ASSERT_TRUE(info.is_object());
        const int columns = info["size"][0].get<int>(), rows = info["size"][1].get<int>();
        const auto png = tessarin::testing::readPng(f.pngPath);
        EXPECT_EQ(columns, png.width);
        EXPECT_EQ(rows, png.height);
        const long long x0 = 1024LL * f.index.kx, y0 = 1024LL * f.index.ky;
        // The reference pixel moves 3 left when terrain displaces toward
        // smaller pixels; the grid of the size written is the one to match.
        bool matched = false;
        const double west = info["geoTransform"][0].get<double>();
        ExpectedGrid shifted = expectedGrid(scene, x0 - 3, y0, reach), plain = expectedGrid(scene, x0, y0, reach);
        for (const ExpectedGrid& g : {std::abs(shifted.west - west) < std::abs(plain.west - west) ? shifted : plain}) {
            if (g.columns != columns || g.rows != rows) continue;
            matched = true;
            const auto gt = info["geoTransform"];
            EXPECT_NEAR(gt[0].get<double>(), g.west, 1e-10);
            EXPECT_NEAR(gt[3].get<double>(), g.north, 1e-10);
            EXPECT_NEAR(gt[1].get<double>(), g.dphi, g.dphi * 1e-9);
            EXPECT_NEAR(-gt[5].get<double>(), g.dphi, g.dphi * 1e-9);
        }
        EXPECT_TRUE(matched) << columns << " x " << rows << " is no frame grid of the product";
    }

    // Point targets: the brightest raw sample near the expected place.
    GeoPoint targetIn(const GroundFrame& g, GeoPoint expected, int window) {
        const int ci = static_cast<int>((expected.lon_deg - g.gridBox.west) / g.dphi);
        const int cj = static_cast<int>((g.gridBox.north - expected.lat_deg) / g.dphi);
        int bi = -1, bj = -1;
        int best = -1;
        for (int j = std::max(0, cj - window); j <= std::min(g.height - 1, cj + window); ++j)
            for (int i = std::max(0, ci - window); i <= std::min(g.width - 1, ci + window); ++i) {
                const std::size_t k = static_cast<std::size_t>(j) * g.width + i;
                if (g.alpha[k] && g.rgb[3 * k] > best) best = g.rgb[3 * k], bi = i, bj = j;
            }
        return {g.gridBox.north - (bj + 0.5) * g.dphi, g.gridBox.west + (bi + 0.5) * g.dphi};
    }

    static std::string root_;
    static simulator::SimulationTruth* truth_;
    static simulator::WrittenDem* dem_;
    static simulator::SceneGeometryModel* model_;
    std::string work_;
    const std::string link_ = format("link_data_export_%d", static_cast<int>(::getpid()));
};

std::string SceneExport::root_;
simulator::SimulationTruth* SceneExport::truth_ = nullptr;
simulator::WrittenDem* SceneExport::dem_ = nullptr;
simulator::SceneGeometryModel* SceneExport::model_ = nullptr;

TEST_F(SceneExport, FramesSitOnTheGroundUnderBothVariants) {
    const std::string image = truth_->products.at(0).imagePaths.at(0);
    std::map<int, std::vector<GeoPoint>> targetsFound;  // per target, mode 1 then mode 5
    std::string tileFile;

    {  // mode 1, table-driven: two overlapping frames
        ScriptedUi ui;
        app::AppCore core(ui, link_);
        document::CTessarinDoc* doc = openWithDem(core, ui, 1, image);
        ASSERT_NE(doc, nullptr);
        tileFile = doc->tileNames().tile;
        const Exported e = exportCapturing(*doc, ui, {{0, 0}, {1, 0}});
        ASSERT_EQ(e.run.written(), 2) << e.run.summary("", "");
        const products::SceneParameters& scene = doc->reader(0).params();
        for (const FrameOutcome& f : e.run.frames) expectPlaced(f, scene, 3);

        // No hole inside a frame: points 5 pixels inside its source
        // rectangle (and inside the scene) are opaque.
        for (const FrameOutcome& f : e.run.frames) {
            std::vector<GeoPoint> inside;
            const double x0 = 1024.0 * f.index.kx;
            for (double l = 5; l <= 2046; l += 97)
                for (double p = std::max(0.0, x0 - 3) + 5; p <= std::min(x0 + 2048, kPixels - 1.0) - 5; p += 101)
                    inside.push_back(products::latLonOfPixelLine(scene, {p, l}));
            const PlacedPng placed(f);
            int holes = 0;
            for (const GeoPoint& g : inside) holes += placed.valueAt(g)[1] != 255;
            EXPECT_EQ(holes, 0) << "of " << inside.size() << " points in " << f.kmlPath;
        }

        // Where the frames overlap (tile 1) both show the same samples: the
        // value of the second frame at a point is one of the first frame's
        // at that point or next to it. The two grids differ by under a
        // pixel, so a point near a sample's edge may find its sample two
        // pixels off; a frame shifted by a source sample matches far fewer.
        const PlacedPng a(e.run.frames[0]), b(e.run.frames[1]);
        int both = 0, same = 0, points = 0;
        for (double l = 40; l <= 2000; l += 31)
            for (double p = 1100; p <= 2000; p += 57) {
                ++points;
                const GeoPoint g = products::latLonOfPixelLine(scene, {p, l});
                const auto vb = b.valueAt(g);
                const auto pa = a.pixelOf(g);
                if (vb[1] != 255 || a.at(pa[0], pa[1])[1] != 255) continue;
                ++both;
                bool found = false;
                for (int dj = -1; dj <= 1; ++dj)
                    for (int di = -1; di <= 1; ++di) found |= a.at(pa[0] + di, pa[1] + dj)[0] == vb[0];
                same += found;
            }
        EXPECT_GE(both, points * 9 / 10);
        EXPECT_GE(same, both * 85 / 100) << "of " << both << " shared points";

        for (std::size_t t = 0; t < truth_->targets.size(); ++t) {
            const auto& target = truth_->targets[t];
            const GeoPoint ground = simulator::ecefToGeodetic(model_->groundTerrain(target.at.pixel, target.at.line)).ground;
            const GroundFrame& g = e.frames.at({target.at.pixel < 1500 ? 0 : 1, 0});
            targetsFound[static_cast<int>(t)].push_back(targetIn(g, ground, 40));
        }
        core.closeDocument(doc);
    }
    {  // mode 5, profile-driven, on the TileSet mode 1 made
        ScriptedUi ui;
        app::AppCore core(ui, link_);
        document::CTessarinDoc* doc = openWithDem(core, ui, 5, tileFile);
        ASSERT_NE(doc, nullptr);
        const Exported e = exportCapturing(*doc, ui, {{0, 0}});
        ASSERT_EQ(e.run.written(), 1) << e.run.summary("", "");
        expectPlaced(e.run.frames[0], doc->reader(0).params(), 0);
        for (std::size_t t = 0; t < truth_->targets.size(); ++t) {
            const auto& target = truth_->targets[t];
            if (target.at.pixel > 2000) continue;
            const GeoPoint ground = simulator::ecefToGeodetic(model_->groundTerrain(target.at.pixel, target.at.line)).ground;
            targetsFound[static_cast<int>(t)].push_back(targetIn(e.frames.at({0, 0}), ground, 40));
        }
        core.closeDocument(doc);
    }

    int compared = 0;
    for (const auto& [t, found] : targetsFound) {
        const auto& target = truth_->targets[static_cast<std::size_t>(t)];
        const simulator::GeodeticPoint ground = simulator::ecefToGeodetic(model_->groundTerrain(target.at.pixel, target.at.line));
        SCOPED_TRACE(::testing::Message() << "target at pixel " << target.at.pixel << ", line " << target.at.line
                                          << ", " << ground.height_m << " m high");
        for (const GeoPoint& g : found) EXPECT_LT(metresBetween(g, ground.ground), 15.0);
        if (found.size() == 2) {
            EXPECT_LT(metresBetween(found[0], found[1]), 10.0) << "modes 1 and 5 agree";
            ++compared;
        }
    }
    EXPECT_GE(compared, 2);
}

}  // namespace
}  // namespace tessarin::geoexport
