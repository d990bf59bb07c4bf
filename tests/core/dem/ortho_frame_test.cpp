// The ortho frame against the simulator's geometry: a scene with terrain
// whose every output pixel's true source is known (the image position of
// the terrain point at the pixel's centre, from the simulator's own orbit and
// timing, not from the product polynomials the conversion uses), and whose
// point targets' ground positions the truth records. The band handed to the
// conversion encodes each sample's own position, so an output pixel tells
// which sample it took.

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/Geodesic.hpp>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>

#include "dem/ortho_frame.h"
#include "dem/slant_correction.h"
#include "geometry/mapping_table.h"
#include "geometry/ortho_matrix.h"
#include "geometry/scene_geometry.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "products/alos2.h"
#include "simulator/scene_simulator.h"

namespace tessarin::dem {
namespace {

constexpr double kA = 6378137.0, kF = 1.0 / 298.257222101;  // GRS80, the simulator's ellipsoid
constexpr int kScene = 1024;

// The level 1.1 product's description as the reader decodes it.
products::SceneParameters decoded(const simulator::ProductTruth& p) {
    products::Alos2 a;
    const std::string& path = p.imagePaths.at(0);
    a.setImagePath(path);
    a.setLookDirection(path);
    if (!a.DecodeLeaderFile() || !a.DecodeImageFileDescriptor(path)) throw Error("the simulated product does not decode");
    return a.params();
}

struct SimulatedScene {
    std::string folder;
    simulator::SimulationTruth truth;
    std::unique_ptr<simulator::SceneGeometryModel> model;
    products::SceneParameters scene;
    geometry::MappingTable table;
};

class OrthoFrameTruth : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_ = new SimulatedScene;
        s_->folder = (std::filesystem::temp_directory_path() / ("tessarin-ortho-" + std::to_string(::getpid()))).string();
        simulator::SimulatorOptions o;
        o.folder = s_->folder;
        o.pixels = kScene;
        o.lines = kScene;
        o.level11 = true;
        s_->truth = simulator::simulateScene(o);
        s_->model = std::make_unique<simulator::SceneGeometryModel>(kScene, kScene, 'R');
        s_->scene = decoded(s_->truth.products.at(0));
        ScriptedUi ui;
        geometry::buildMappingTable(s_->scene, geometry::sceneGeometry(s_->scene), s_->table, ui);
    }
    static void TearDownTestSuite() {
        std::filesystem::remove_all(s_->folder);
        delete s_;
        s_ = nullptr;
    }

    static double terrainAt(double lat, double lon) { return s_->truth.terrain.height_m({lat, lon}); }

    static OrthoInputs inputs(HeightAt height = terrainAt) {
        OrthoInputs in;
        in.scene = &s_->scene;
        in.table = &s_->table;
        in.height = std::move(height);
        return in;
    }

    // A band whose samples name themselves: channel 0 is the global pixel
    // + 1, channel 1 the global line + 1 (both well inside 16 bits here),
    // channel 2 a marker; beyond the scene nothing is present.
    static OrthoSource coordinateBand(const OrthoInputs& in, const OrthoFrameRequest& f) {
        const BandBox b = orthoBand(f, displacesTowardSmallerPixels(in, f));
        OrthoSource band;
        band.originX = b.originX;
        band.originY = b.originY;
        band.width = b.width;
        band.height = b.height;
        band.channels = 3;
        band.values.assign(static_cast<std::size_t>(b.width) * b.height * 3, 0);
        band.present.assign(static_cast<std::size_t>(b.width) * b.height, 0);
        for (int y = 0; y < b.height; ++y)
            for (int x = 0; x < b.width; ++x) {
                const long long gx = b.originX + x, gy = b.originY + y;
                if (gx < 0 || gy < 0 || gx >= kScene || gy >= kScene) continue;
                const std::size_t k = static_cast<std::size_t>(y) * b.width + x;
                band.values[3 * k] = static_cast<std::uint16_t>(gx + 1);
                band.values[3 * k + 1] = static_cast<std::uint16_t>(gy + 1);
                band.values[3 * k + 2] = 7;
                band.present[k] = 1;
            }
        return band;
    }

    static OrthoFrameRequest frameAt(long long x0, long long y0, int size, OrthoVariant v) {
        OrthoFrameRequest f;
        f.x0 = x0;
        f.y0 = y0;
        f.width = f.height = size;
        f.variant = v;
        return f;
    }

    // Where the simulator's own geometry images the terrain point at a place.
    static ScenePoint trueSource(GeoPoint g) {
        static const GeographicLib::Geocentric earth(kA, kF);
        double x, y, z;
        earth.Forward(g.lat_deg, g.lon_deg, terrainAt(g.lat_deg, g.lon_deg), x, y, z);
        return s_->model->pixelLine({x, y, z});
    }

    // The sample an output pixel took (global pixel, line), or none.
    static bool sourceOf(const OrthoImage& im, int j, int i, ScenePoint& p) {
        const std::size_t o = static_cast<std::size_t>(j) * im.grid.columns + i;
        if (!im.alpha[o]) return false;
        EXPECT_EQ(im.rgb[3 * o + 2], 7);
        p = {im.rgb[3 * o] - 1.0, im.rgb[3 * o + 1] - 1.0};
        return true;
    }

    // Largest pixel and line distance, over every k-th output pixel, between
    // the sample taken and the true source; also how many were opaque.
    struct Misfit {
        double pixel = 0, line = 0;
        long long opaque = 0;
    };
    static Misfit misfit(const OrthoImage& im, int k) {
        Misfit m;
        for (int j = 0; j < im.grid.rows; j += k)
            for (int i = 0; i < im.grid.columns; i += k) {
                ScenePoint p;
                if (!sourceOf(im, j, i, p)) continue;
                const ScenePoint t = trueSource(im.grid.pixelCentre(j, i));
                m.pixel = std::max(m.pixel, std::fabs(p.pixel - t.pixel));
                m.line = std::max(m.line, std::fabs(p.line - t.line));
                ++m.opaque;
            }
        return m;
    }

    static SimulatedScene* s_;
};
SimulatedScene* OrthoFrameTruth::s_ = nullptr;

const char* nameOf(OrthoVariant v) { return v == OrthoVariant::TableDriven ? "table" : "profile"; }

// Every sampled output pixel holds the sample its terrain point is imaged
// at, within the half sample of nearest-neighbour resampling and the
// polynomials' fit; in lines also the along-track shift of a raised point's
// zero-Doppler time, which neither variant models (half a line at the hill's
// 420 m). Without the terrain the hill puts samples hundreds of pixels off,
// so the oracle sees a missing or wrongly signed correction.
TEST_F(OrthoFrameTruth, EveryPixelTakesTheSampleItsTerrainPointIsImagedAt) {
    for (const OrthoVariant v : {OrthoVariant::TableDriven, OrthoVariant::ProfileDriven}) {
        // Over the hill.
        const OrthoFrameRequest f = frameAt(512, 0, 512, v);
        const OrthoInputs in = inputs();
        const OrthoSource band = coordinateBand(in, f);
        const OrthoImage im = orthoFrame(in, band, f);
        EXPECT_EQ(im.errorCount, 0) << im.firstError;
        const Misfit m = misfit(im, 11);
        EXPECT_GT(m.opaque, 1500) << nameOf(v);
        EXPECT_LE(m.pixel, 1.0) << nameOf(v);
        EXPECT_LE(m.line, 1.1) << nameOf(v);

        const OrthoImage flat = orthoFrame(inputs([](double, double) { return 0.0; }), band, f);
        EXPECT_GT(misfit(flat, 37).pixel, 100.0) << nameOf(v) << ": the terrain must matter";
        const OrthoImage inverted =
            orthoFrame(inputs([](double lat, double lon) { return -terrainAt(lat, lon); }), band, f);
        EXPECT_GT(misfit(inverted, 37).pixel, 200.0) << nameOf(v) << ": and its sign";
    }
}

// A ground-range product of the same scene: pixel k lies k x 3 m along the
// ground from the first slant pixel's ground point (on the centre line, for
// every line), with polynomials fitted to that geometry and pixsz 3 m. The
// displacement must follow the product's ground spacing, so the same test as
// on slant pixels holds; the slant formula here, or the ground formula on
// slant pixels above, is dozens of pixels off at the hill.
TEST_F(OrthoFrameTruth, GroundRangeProductsAreCorrectedByTheirOwnSpacing) {
    static const GeographicLib::Geodesic geodesic(kA, kF);
    constexpr double kSpacing = 3.0;
    const simulator::SceneGeometryModel& model = *s_->model;
    const double centreLine = model.centreLine();
    // Ground distance of slant pixels -1500 .. 3500 from slant pixel 0.
    constexpr int kFirst = -1500, kLast = 3500;
    std::vector<double> distance;
    const GeoPoint origin = simulator::ecefToGeodetic(model.groundEllipsoid(0.0, centreLine)).ground;
    for (int sp = kFirst; sp <= kLast; ++sp) {
        const GeoPoint g = simulator::ecefToGeodetic(model.groundEllipsoid(sp, centreLine)).ground;
        double d = 0;
        geodesic.Inverse(origin.lat_deg, origin.lon_deg, g.lat_deg, g.lon_deg, d);
        distance.push_back(sp < 0 ? -d : d);
    }
    auto groundPixelOf = [&](double slant) {
        const double x = std::clamp(slant - kFirst, 0.0, kLast - kFirst - 1.0);
        const auto i = static_cast<std::size_t>(x);
        return (distance[i] + (x - i) * (distance[i + 1] - distance[i])) / kSpacing;
    };
    auto slantPixelOf = [&](double k) {
        const double d = k * kSpacing;
        const auto it = std::lower_bound(distance.begin(), distance.end(), d);
        const std::size_t i = std::clamp<std::size_t>(static_cast<std::size_t>(it - distance.begin()), 1, distance.size() - 1);
        return static_cast<double>(kFirst) + static_cast<double>(i - 1) +
               (d - distance[i - 1]) / (distance[i] - distance[i - 1]);
    };
    const int pixels = static_cast<int>(groundPixelOf(kScene - 1.0));
    products::SceneParameters gr = s_->scene;
    gr.pixsz = kSpacing;
    gr.pixel = pixels;
    gr.plRefPixel = std::floor(pixels / 2.0);
    auto samples = [&](double k0, double k1, double l0, double l1) {
        std::vector<std::array<double, 4>> out;
        for (int i = 0; i < 17; ++i)
            for (int j = 0; j < 17; ++j) {
                const double k = k0 + (k1 - k0) * i / 16.0, ln = l0 + (l1 - l0) * j / 16.0;
                const GeoPoint g = simulator::ecefToGeodetic(model.groundEllipsoid(slantPixelOf(k), ln)).ground;
                out.push_back({k, ln, g.lat_deg, g.lon_deg});
            }
        return out;
    };
    simulator::fitMappingPolynomials(gr, samples(-0.3 * pixels, 1.3 * pixels, -0.1 * kScene, 1.1 * kScene),
                                     samples(-0.4 * pixels, 1.4 * pixels, -0.5 * kScene, 1.5 * kScene),
                                     0.8 * pixels, 0.6 * kScene);
    geometry::MappingTable table;
    ScriptedUi ui;
    geometry::buildMappingTable(gr, geometry::sceneGeometry(gr), table, ui);

    OrthoInputs in;
    in.scene = &gr;
    in.table = &table;
    in.height = terrainAt;
    const OrthoFrameRequest f = frameAt(pixels / 2, 0, 384, OrthoVariant::TableDriven);
    const BandBox b = orthoBand(f, displacesTowardSmallerPixels(in, f));
    OrthoSource band;
    band.originX = b.originX, band.originY = b.originY, band.width = b.width, band.height = b.height;
    band.channels = 3;
    band.values.assign(static_cast<std::size_t>(b.width) * b.height * 3, 0);
    band.present.assign(static_cast<std::size_t>(b.width) * b.height, 0);
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x) {
            const long long gx = b.originX + x, gy = b.originY + y;
            if (gx < 0 || gy < 0 || gx >= pixels || gy >= kScene) continue;
            const std::size_t k = static_cast<std::size_t>(y) * b.width + x;
            band.values[3 * k] = static_cast<std::uint16_t>(gx + 1);
            band.values[3 * k + 1] = static_cast<std::uint16_t>(gy + 1);
            band.values[3 * k + 2] = 7;
            band.present[k] = 1;
        }
    const OrthoImage im = orthoFrame(in, band, f);
    EXPECT_EQ(im.errorCount, 0) << im.firstError;
    double pixelMisfit = 0, lineMisfit = 0, raised = 0;
    long long opaque = 0;
    for (int j = 0; j < im.grid.rows; j += 9)
        for (int i = 0; i < im.grid.columns; i += 9) {
            ScenePoint p;
            if (!sourceOf(im, j, i, p)) continue;
            const GeoPoint c = im.grid.pixelCentre(j, i);
            const ScenePoint t = trueSource(c);
            pixelMisfit = std::max(pixelMisfit, std::fabs(p.pixel - groundPixelOf(t.pixel)));
            lineMisfit = std::max(lineMisfit, std::fabs(p.line - t.line));
            raised = std::max(raised, terrainAt(c.lat_deg, c.lon_deg));
            ++opaque;
        }
    EXPECT_GT(opaque, 800);
    EXPECT_GT(raised, 250.0) << "the frame should hold the hill";
    EXPECT_LE(pixelMisfit, 1.0);
    EXPECT_LE(lineMisfit, 1.1);
}

// The truth's point targets, each in a frame of its own: the output pixels
// that took the target's sample lie around the target's ground position
// (truth "point_targets[i].ground"), within one output pixel.
TEST_F(OrthoFrameTruth, PointTargetsLandOnTheirGround) {
    static const GeographicLib::Geodesic geodesic(kA, kF);
    double largest = 0;
    for (const simulator::PointTarget& t : s_->truth.targets)
        for (const OrthoVariant v : {OrthoVariant::TableDriven, OrthoVariant::ProfileDriven}) {
            constexpr int kSize = 512;
            const OrthoFrameRequest f = frameAt(static_cast<long long>(t.at.pixel) - kSize / 2,
                                                static_cast<long long>(t.at.line) - kSize / 2, kSize, v);
            const OrthoInputs in = inputs();
            const OrthoImage im = orthoFrame(in, coordinateBand(in, f), f);
            const GeoPoint g = t.terrain.ground;
            const GeoBox box = im.grid.gridBox();
            const int j0 = static_cast<int>(std::floor((box.north_deg - g.lat_deg) / im.grid.dphi_deg));
            const int i0 = static_cast<int>(std::floor((g.lon_deg - box.west_deg) / im.grid.dphi_deg));
            // Output pixels are about as large as samples, so a target's
            // sample may fall between output centres: the pixel at the
            // ground position holds the target or a neighbour, and where
            // output pixels hold the target itself they lie around it.
            double lat = 0, lon = 0, nearest = 1e9;
            int hits = 0;
            for (int j = j0 - 4; j <= j0 + 4; ++j)
                for (int i = i0 - 4; i <= i0 + 4; ++i) {
                    ScenePoint p;
                    if (j < 0 || i < 0 || j >= im.grid.rows || i >= im.grid.columns || !sourceOf(im, j, i, p)) continue;
                    const double d = std::max(std::fabs(p.pixel - t.at.pixel), std::fabs(p.line - t.at.line));
                    if (std::abs(j - j0) <= 1 && std::abs(i - i0) <= 1) nearest = std::min(nearest, d);
                    if (d != 0) continue;
                    const GeoPoint c = im.grid.pixelCentre(j, i);
                    lat += c.lat_deg, lon += c.lon_deg, ++hits;
                }
            EXPECT_LE(nearest, 1.0) << nameOf(v) << " target at " << t.at.pixel << ", " << t.at.line;
            if (hits == 0) continue;
            double metres = 0;
            geodesic.Inverse(g.lat_deg, g.lon_deg, lat / hits, lon / hits, metres);
            double pixelMetres = 0;
            geodesic.Inverse(g.lat_deg, g.lon_deg, g.lat_deg + im.grid.dphi_deg, g.lon_deg, pixelMetres);
            EXPECT_LE(metres, pixelMetres) << nameOf(v) << " target at " << t.at.pixel << ", " << t.at.line
                                           << ", height " << t.terrain.height_m;
            largest = std::max(largest, metres);
        }
    std::printf("largest point-target error: %.2f m\n", largest);
}

// Height 0 everywhere is the plain map projection: each pixel takes the
// sample nearest to where the polynomials put its centre.
TEST_F(OrthoFrameTruth, FlatGroundIsThePlainMapProjection) {
    for (const OrthoVariant v : {OrthoVariant::TableDriven, OrthoVariant::ProfileDriven}) {
        const OrthoFrameRequest f = frameAt(300, 400, 384, v);
        const OrthoInputs in = inputs([](double, double) { return 0.0; });
        const OrthoImage im = orthoFrame(in, coordinateBand(in, f), f);
        long long checked = 0;
        for (int j = 0; j < im.grid.rows; ++j)
            for (int i = 0; i < im.grid.columns; ++i) {
                const GeoPoint c = im.grid.pixelCentre(j, i);
                const ScenePoint q = products::pixelLineOfLatLon(s_->scene, c);
                const double fx = q.pixel - static_cast<double>(im.grid.p0), fy = q.line - static_cast<double>(im.grid.l0);
                const double reach = v == OrthoVariant::TableDriven ? f.width + 3 : f.width;
                ScenePoint p;
                const bool inside = fx >= 0 && fx <= reach && fy >= 0 && fy <= reach;
                const BandBox b = orthoBand(f, displacesTowardSmallerPixels(in, f));
                const double bx = std::floor(q.pixel + 0.5) - static_cast<double>(b.originX);
                const double by = std::floor(q.line + 0.5) - static_cast<double>(b.originY);
                const bool inBand = bx >= 0 && bx < b.width && by >= 0 && by < b.height;
                ASSERT_EQ(sourceOf(im, j, i, p), inside && inBand) << nameOf(v) << " row " << j << " column " << i;
                if (!inside || !inBand) continue;
                ASSERT_EQ(p.pixel, std::floor(q.pixel + 0.5)) << nameOf(v) << " row " << j << " column " << i;
                ASSERT_EQ(p.line, std::floor(q.line + 0.5)) << nameOf(v) << " row " << j << " column " << i;
                ++checked;
            }
        EXPECT_GT(checked, 60000) << nameOf(v);
    }
}

// The output grid against geodesy: dphi is the top edge's ground length in
// degrees of latitude per frame pixel (so cos of a degree value, 7 times too
// many pixels, fails), rows and columns fill the corner box, and a frame on
// the antimeridian stays one narrow piece.
TEST_F(OrthoFrameTruth, GridFollowsTheTopEdgeOnTheGround) {
    static const GeographicLib::Geodesic geodesic(kA, kF);
    for (const OrthoVariant v : {OrthoVariant::TableDriven, OrthoVariant::ProfileDriven}) {
        const OrthoFrameRequest f = frameAt(0, 0, kScene, v);
        const OrthoGrid g = orthoGrid(s_->scene, f, true);
        const int reach = v == OrthoVariant::TableDriven ? kScene + 3 : kScene;
        EXPECT_EQ(g.p0, -3);
        const GeoPoint c0 = products::latLonOfPixelLine(s_->scene, {-3.0, 0.0});
        const GeoPoint c1 = products::latLonOfPixelLine(s_->scene, {-3.0 + reach, 0.0});
        double edge = 0;
        geodesic.Inverse(c0.lat_deg, c0.lon_deg, c1.lat_deg, c1.lon_deg, edge);
        double degree = 0;  // metres of one degree of latitude there
        geodesic.Inverse(c0.lat_deg - 0.5, c0.lon_deg, c0.lat_deg + 0.5, c0.lon_deg, degree);
        EXPECT_NEAR(g.dphi_deg * degree, edge / kScene, 0.01 * edge / kScene) << nameOf(v);
        const GeoBox b = g.cornerBox;
        EXPECT_EQ(g.rows, static_cast<int>((b.north_deg - b.south_deg) / g.dphi_deg)) << nameOf(v);
        EXPECT_EQ(g.columns, static_cast<int>((b.east_deg - b.west_deg) / g.dphi_deg)) << nameOf(v);
        EXPECT_GT(g.rows, 700);
        EXPECT_LT(g.rows, 2000);
        const GeoBox grid = g.gridBox();
        EXPECT_GT(grid.south_deg, b.south_deg - 1e-12);
        EXPECT_LT(grid.south_deg, b.south_deg + g.dphi_deg);
    }

    simulator::SimulatorOptions o;
    o.folder = s_->folder + "/antimeridian";
    o.pixels = o.lines = 256;
    o.centre = GeoPoint{-17.2, 180.0};
    const simulator::SimulationTruth t = simulator::simulateScene(o);
    const products::SceneParameters scene = decoded(t.products.at(0));
    const OrthoGrid g = orthoGrid(scene, frameAt(0, 0, 256, OrthoVariant::ProfileDriven), false);
    EXPECT_GT(g.cornerBox.east_deg, g.cornerBox.west_deg);
    EXPECT_LT(g.cornerBox.east_deg - g.cornerBox.west_deg, 0.1);
    EXPECT_LT(g.columns, 2000);

    const OrthoFrameRequest huge = frameAt(0, 0, 200000, OrthoVariant::ProfileDriven);
    try {
        orthoGrid(s_->scene, huge, false);
        ADD_FAILURE() << "a grid beyond the cap was made";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("exceeds the limit"), std::string::npos) << e.what();
    }
}

// Table nodes past the limb (NaN) and a vanishing sensitivity leave pixels
// transparent, counted, with one text for the frame; the rest is converted.
constexpr int kFrameTop = 0;

TEST_F(OrthoFrameTruth, GeometryFailuresAreTransparentAndCounted) {
    const OrthoFrameRequest f = frameAt(0, kFrameTop, kScene, OrthoVariant::TableDriven);
    struct Case {
        const char* what;
        void (*spoil)(geometry::MappingTable&);
        const char* text;
        bool someOpaque;
    };
    const Case cases[] = {
        {"rays past the limb on one time",
         [](geometry::MappingTable& t) {
             // The time whose middle line lies half a cell above the frame:
             // the cells on both sides of it reach into the frame's top.
             const int mid = t.rows / 2;
             int best = 1;
             double bestDistance = 1e300;
             for (int c = 1; c + 1 < t.columns; ++c) {
                 const double cell = t.lineAt(mid, c + 1) - t.lineAt(mid, c);
                 const double d = std::fabs(t.lineAt(mid, c) - (kFrameTop - 0.5 * std::fabs(cell)));
                 if (d < bestDistance) bestDistance = d, best = c;
             }
             for (int r = 0; r < t.rows; ++r)
                 t.pixel[geometry::MappingTable::index(r, best)] = std::numeric_limits<double>::quiet_NaN();
         },
         "Address error at pix=", true},
        {"no sensitivity",
         [](geometry::MappingTable& t) {
             std::fill(t.pixelSensitivity.begin(), t.pixelSensitivity.end(), 0.0);
             std::fill(t.lineSensitivity.begin(), t.lineSensitivity.end(), 0.0);
         },
         "no terrain direction at", false},
        {"flat incidence", [](geometry::MappingTable& t) { std::fill(t.incidence.begin(), t.incidence.end(), 0.0); },
         "error at apix=", false},
    };
    const OrthoInputs clean = inputs();
    const OrthoImage reference = orthoFrame(clean, coordinateBand(clean, f), f);
    for (const Case& c : cases) {
        geometry::MappingTable spoilt = s_->table;
        c.spoil(spoilt);
        OrthoInputs in = inputs();
        in.table = &spoilt;
        OrthoImage im;
        ASSERT_NO_THROW(im = orthoFrame(in, coordinateBand(clean, f), f)) << c.what;
        ASSERT_GT(im.errorCount, 0) << c.what;
        EXPECT_EQ(im.firstError.rfind(c.text, 0), 0u) << c.what << ": " << im.firstError;
        const std::string message = im.errorMessage();
        EXPECT_NE(message.find(std::to_string(im.errorCount) + " pixels"), std::string::npos) << message;
        long long opaque = 0, same = 0;
        for (std::size_t k = 0; k < im.alpha.size(); ++k) {
            if (!im.alpha[k]) continue;
            ++opaque;
            same += im.rgb[3 * k] == reference.rgb[3 * k] && im.rgb[3 * k + 1] == reference.rgb[3 * k + 1];
        }
        EXPECT_EQ(opaque > 0, c.someOpaque) << c.what;
        EXPECT_EQ(same, opaque) << c.what << ": pixels that could be placed are placed as before";
    }
}

// Rows are shared among threads; the nearest-cell seeding is per row; the
// frame is the same whatever the threads and the same as with the plain
// search from the table's middle for every pixel.
TEST_F(OrthoFrameTruth, SameFrameForAnyThreadsAndEitherSearch) {
    const OrthoFrameRequest base = frameAt(400, 200, 384, OrthoVariant::TableDriven);
    const OrthoInputs in = inputs();
    const OrthoSource band = coordinateBand(in, base);
    OrthoFrameRequest one = base;
    one.threads = 1;
    const OrthoImage reference = orthoFrame(in, band, one);
    for (const auto& [threads, search] : {std::pair{2, CellSearch::Seeded}, {5, CellSearch::Seeded},
                                          {1, CellSearch::Plain}, {3, CellSearch::Plain}}) {
        OrthoFrameRequest f = base;
        f.threads = threads;
        f.search = search;
        const OrthoImage im = orthoFrame(in, band, f);
        EXPECT_EQ(im.rgb, reference.rgb) << threads << " threads";
        EXPECT_EQ(im.alpha, reference.alpha) << threads << " threads";
    }
}

// Samples go through as stored: level 1.5 numbers above 32767 stay bright,
// and one channel fills all three.
TEST_F(OrthoFrameTruth, SamplesKeepTheirUnsignedValueAndOneChannelFillsThree) {
    const OrthoFrameRequest f = frameAt(300, 300, 128, OrthoVariant::ProfileDriven);
    const OrthoInputs in = inputs();
    const BandBox b = orthoBand(f, displacesTowardSmallerPixels(in, f));
    OrthoSource band;
    band.originX = b.originX, band.originY = b.originY, band.width = b.width, band.height = b.height;
    band.channels = 1;
    band.values.assign(static_cast<std::size_t>(b.width) * b.height, 56234);
    band.present.assign(band.values.size(), 1);
    const OrthoImage im = orthoFrame(in, band, f);
    long long opaque = 0;
    for (std::size_t k = 0; k < im.alpha.size(); ++k) {
        if (!im.alpha[k]) continue;
        ++opaque;
        ASSERT_EQ(im.rgb[3 * k], 56234);
        ASSERT_EQ(im.rgb[3 * k + 1], 56234);
        ASSERT_EQ(im.rgb[3 * k + 2], 56234);
    }
    EXPECT_GT(opaque, 10000);
}

// The correction in radar geometry on a ramp: each output sample is the
// ramp at the pixel where the simulator's geometry images the raised ground
// of that sample, so linear interpolation must give the ramp's value there.
TEST_F(OrthoFrameTruth, RadarGeometryCorrectionOfARampFollowsTheGeometry) {
    constexpr double kHeight = 250.0;
    OrthoInputs in = inputs([](double, double) { return kHeight; });
    SlantCorrectionRequest r;
    r.x0 = 512, r.y0 = 300, r.width = 384, r.height = 64;
    SlantBand band;
    band.originX = slantBandOrigin(in, r);
    ASSERT_EQ(band.originX, r.x0 - r.width) << "terrain moves samples toward near range, to smaller pixels";
    const std::size_t w = 2 * static_cast<std::size_t>(r.width);
    for (int j = 0; j < r.height; ++j)
        for (std::size_t x = 0; x < w; ++x) {
            band.values.push_back(static_cast<std::uint16_t>(1000 + 10 * x));
            band.present.push_back(1);
        }
    const std::vector<std::uint16_t> out = correctSlantFrame(in, r, band);
    static const GeographicLib::Geocentric earth(kA, kF);
    double worst = 0;
    for (int j = 0; j < r.height; j += 9)
        for (int k = 0; k < r.width; k += 7) {
            const double P = static_cast<double>(r.x0 + k), L = static_cast<double>(r.y0 + j);
            const GeoPoint g = simulator::ecefToGeodetic(s_->model->groundEllipsoid(P, L)).ground;
            double x, y, z;
            earth.Forward(g.lat_deg, g.lon_deg, kHeight, x, y, z);
            const double source = s_->model->pixelLine({x, y, z}).pixel;
            const double expected = 1000 + 10 * (source - static_cast<double>(band.originX));
            worst = std::max(worst, std::fabs(out[static_cast<std::size_t>(j) * r.width + k] - expected) / 10.0);
        }
    EXPECT_LT(worst, 0.5) << "pixels between the corrected sample and where the geometry puts it";

    // A band that holds nothing on one side leaves those outputs 0.
    SlantBand half = band;
    for (std::size_t k = 0; k < half.present.size(); ++k) half.present[k] = k % w >= w / 2;
    const std::vector<std::uint16_t> cut = correctSlantFrame(in, r, half);
    EXPECT_EQ(cut[0], 0) << "the source of the first pixel lies in the absent half";
    EXPECT_EQ(cut[r.width - 1], out[r.width - 1]);

    // Slope correction on ground of one height divides by the sine of the
    // incidence: brighter, never darker.
    r.slopeCorrection = true;
    const std::vector<std::uint16_t> sloped = correctSlantFrame(in, r, band);
    for (std::size_t k = 0; k < out.size(); k += 97) {
        EXPECT_GT(sloped[k], out[k] * 1.3);
        EXPECT_LT(sloped[k], out[k] * 2.5);
    }
}

// Flat ground under height noise of a few decimetres: every simulated
// column takes exactly one sample, as rounding the landing column gives
// (truncation doubles some columns and empties their neighbours).
TEST_F(OrthoFrameTruth, ForeshorteningOfNearlyFlatGroundFillsEveryColumnOnce) {
    const OrthoInputs in = inputs([](double lat, double lon) { return 0.3 * std::sin(lat * 4.0e5 + lon * 7.0e5); });
    const std::vector<std::uint16_t> picture = foreshorteningSimulation(in, 40, 8);
    ASSERT_EQ(picture.size(), 80u * 16u);
    for (int r = 0; r < 16; ++r) {
        const std::uint16_t* row = picture.data() + r * 80;
        const auto [lo, hi] = std::minmax_element(row + 1, row + 79);
        EXPECT_GT(*lo, 0) << "row " << r;
        EXPECT_LT(*hi, 1.25 * *lo) << "row " << r;
    }
}

}  // namespace
}  // namespace tessarin::dem
