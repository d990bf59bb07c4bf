// Polygons: which pixels a region holds, the statistics against the
// amplitudes written into the product, the two file layouts and their
// refusals, and the table bounds.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "app/command_table.h"
#include "display/poly_mgr.h"
#include "display/view_controller.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "products/alos2.h"
#include "simulator/scene_simulator.h"
#include "support/product_fixture.h"
#include "support/refusal.h"
#include "support/temp_dir.h"

using namespace tessarin;
using namespace tessarin::display;
using ::testing::HasSubstr;
namespace cmd = tessarin::app::cmd;
namespace pr = tessarin::products;

namespace {

std::vector<PolygonVertex> closed(std::vector<PolygonVertex> v) {
    v.push_back(v.front());
    return v;
}

long long countOf(const std::vector<Span>& spans) {
    long long n = 0;
    for (const auto& s : spans) n += s.x1 - s.x0;
    return n;
}

// A reference inclusion, pixel by pixel: the winding number of the pixel
// centre, counting the edges that cross its row (half-open in y) at or left
// of it.
bool centreInside(const std::vector<PolygonVertex>& v, double x, double y) {
    int winding = 0;
    for (std::size_t k = 0; k + 1 < v.size(); ++k) {
        const double ax = v[k].x, ay = v[k].y, bx = v[k + 1].x, by = v[k + 1].y;
        if ((ay <= y && y < by) || (by <= y && y < ay))
            if (ax + (y - ay) * (bx - ax) / (by - ay) <= x) winding += ay < by ? 1 : -1;
    }
    return winding != 0;
}

}  // namespace

TEST(PolygonRegion, PixelCentresByWindingWithHalfOpenEdges) {
    const int W = 2048, H = 2048;
    // A 300 x 100 rectangle holds exactly 30,000 pixels (a transposed axis
    // would still give 30,000 but not these rows).
    const auto rect = closed({{10, 20}, {310, 20}, {310, 120}, {10, 120}});
    const auto spans = insideSpans(rect, 0, 0, W, H);
    EXPECT_EQ(countOf(spans), 30000);
    EXPECT_EQ(spans.front().y, 20);
    EXPECT_EQ(spans.back().y, 119);
    EXPECT_EQ(spans.front().x0, 10);
    EXPECT_EQ(spans.front().x1, 310);
    // Two triangles sharing the diagonal split the square's pixels, none twice.
    const auto a = closed({{0, 0}, {200, 0}, {200, 150}}), b = closed({{0, 0}, {200, 150}, {0, 150}});
    std::vector<int> hits(200 * 150, 0);
    for (const auto* tri : {&a, &b})
        for (const auto& s : insideSpans(*tri, 0, 0, W, H))
            for (int x = s.x0; x < s.x1; ++x) ++hits.at(static_cast<std::size_t>(s.y * 200 + x));
    EXPECT_EQ(std::count(hits.begin(), hits.end(), 1), 200 * 150);
    // A pentagram drawn point to point: its centre has winding 2, inside.
    std::vector<PolygonVertex> star;
    for (int k = 0; k < 5; ++k) {
        const double t = std::numbers::pi / 2 + k * 4 * std::numbers::pi / 5;
        star.push_back({static_cast<std::int32_t>(std::lround(500 + 300 * std::cos(t))),
                        static_cast<std::int32_t>(std::lround(500 - 300 * std::sin(t)))});
    }
    star = closed(star);
    bool centre = false;
    for (const auto& s : insideSpans(star, 0, 0, W, H))
        if (s.y == 500 && s.x0 <= 500 && 500 < s.x1) centre = true;
    EXPECT_TRUE(centre);
    // Against a pixel-by-pixel winding count over a slanted, concave shape.
    const auto shape = closed({{100, 100}, {400, 130}, {250, 250}, {420, 390}, {90, 360}});
    long long reference = 0;
    for (int y = 0; y < 500; ++y)
        for (int x = 0; x < 500; ++x) reference += centreInside(shape, x + 0.5, y + 0.5);
    EXPECT_EQ(countOf(insideSpans(shape, 0, 0, W, H)), reference);
    // The canvas origin shifts global vertices; rows past the canvas are cut.
    EXPECT_EQ(countOf(insideSpans(rect, 10, 20, W, H)), 30000);
    EXPECT_EQ(countOf(insideSpans(closed({{0, 2000}, {100, 2000}, {100, 2100}, {0, 2100}}), 0, 0, W, H)), 100 * 48);
}

TEST(PolygonTable, BoundsFilesAndRefusals) {
    CPolyMgr polygons;
    std::vector<std::string> messages;
    const auto say = [&](const std::string& m) { messages.push_back(m); };
    EXPECT_FALSE(polygons.closePolygon({{0, 0}, {5, 5}}, say));
    EXPECT_EQ(messages.back(), "vertex number is less than 3, invalid !");
    std::vector<PolygonVertex> tooMany(static_cast<std::size_t>(kMaxPicks) + 1, PolygonVertex{1, 2});
    EXPECT_FALSE(polygons.closePolygon(tooMany, say));
    for (int p = 0; p < kMaxPolygons; ++p) ASSERT_TRUE(polygons.closePolygon({{p, 0}, {p + 10, 0}, {p, 10}}, say));
    EXPECT_FALSE(polygons.closePolygon({{0, 0}, {10, 0}, {0, 10}}, say)) << "a 65th polygon";
    EXPECT_THAT(messages.back(), HasSubstr("64 polygons are stored already"));
    EXPECT_EQ(polygons.polygon(3), (std::vector<PolygonVertex>{{3, 0}, {13, 0}, {3, 10}, {3, 0}}));
    polygons.deletePolygon(0);
    EXPECT_EQ(polygons.lastPolygon(), 62);
    EXPECT_EQ(polygons.polygon(0).front(), (PolygonVertex{1, 0})) << "later polygons move down";
    polygons.deletePolygon(99);
    EXPECT_EQ(polygons.lastPolygon(), 62);

    // .ply round trip; .gpy round trip through a mapping and its inverse.
    const auto ply = polygons.plyBytes();
    ASSERT_EQ(ply.size(), kPlyBytes);
    CPolyMgr back;
    back.readPly(ply, "p.ply");
    EXPECT_EQ(back.plyBytes(), ply);
    const auto toGeo = [](double x, double y) { return GeoPoint{35.0 + 1e-4 * y, 139.0 + 2e-4 * x}; };
    const auto toPixelLine = [](double lat, double lon) { return ScenePoint{(lon - 139.0) / 2e-4, (lat - 35.0) / 1e-4}; };
    const auto gpy = polygons.gpyBytes(toGeo);
    ASSERT_EQ(gpy.size(), kGpyBytes);
    CPolyMgr geo;
    geo.readGpy(gpy, "p.gpy", toPixelLine);
    for (int p = 0; p <= polygons.lastPolygon(); ++p) ASSERT_EQ(geo.polygon(p), polygons.polygon(p)) << p;

    // Damaged files are refused whole: the table keeps what it had.
    const auto patched = [&](std::vector<std::uint8_t> bytes, std::size_t at, std::int32_t value) {
        for (int k = 0; k < 4; ++k) bytes[at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(value >> (8 * k));
        return bytes;
    };
    const std::size_t lastVertexAt = 262144, flagAt = 262400, lastPolygonAt = 262656;
    const struct {
        std::vector<std::uint8_t> bytes;
        const char* message;
    } damaged[] = {
        {std::vector<std::uint8_t>(ply.begin(), ply.end() - 1), "holds 262659 bytes"},
        {patched(ply, lastPolygonAt, 64), "the last polygon index 64 is not -1 to 63"},
        {patched(ply, lastVertexAt + 4 * 5, 2), "polygon 5 has the last vertex index 2"},
        {patched(ply, lastVertexAt + 4 * 5, 512), "polygon 5 has the last vertex index 512"},
        {patched(ply, flagAt + 4 * 7, 0), "polygon 7 has the flag 0"},
    };
    for (const auto& d : damaged) {
        EXPECT_THAT(tessarin::testing::refusalOf([&] { back.readPly(d.bytes, "bad.ply"); }), HasSubstr(d.message));
        EXPECT_EQ(back.plyBytes(), ply) << d.message;
    }
    auto nan = gpy;
    const double notANumber = std::nan("");
    std::uint64_t bits;
    std::memcpy(&bits, &notANumber, 8);
    for (int k = 0; k < 8; ++k) nan[16 + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(bits >> (8 * k));
    EXPECT_THAT(tessarin::testing::refusalOf([&] { geo.readGpy(nan, "bad.gpy", toPixelLine); }),
                HasSubstr("vertex 1 of polygon 0 is not a latitude and longitude"));
    EXPECT_EQ(polygonFileName(3, 12, ".ply"), "KX_03.KY_12.ply");
    EXPECT_EQ(polygonFileName(10, 0, ".gpy"), "KX_10.KY_00.gpy");
}

namespace {

std::uint16_t dnAt(long long x, long long y) { return static_cast<std::uint16_t>(300 + (5 * x + 11 * y) % 1700); }
std::complex<float> sampleAt(std::size_t, long long x, long long y) {
    const double a = 2000.0 + (7 * x + 3 * y) % 5000, phase = 0.001 * static_cast<double>(x * y % 6000);
    return {static_cast<float>(a * std::cos(phase)), static_cast<float>(a * std::sin(phase))};
}

class PolygonStats : public tessarin::testing::WorkFolderTest {
protected:
    document::CTessarinDoc* open(int level) {
        const std::string image = tessarin::testing::writePlausibleProduct(
                                      path("product"), {.level = level, .pixels = 1100, .lines = 1300},
                                      {.complex = [](std::size_t x, int n) { return sampleAt(0, static_cast<long long>(x), n); },
                                       .amplitude = [](std::size_t x, int n) { return dnAt(static_cast<long long>(x), n); }})
                                      .imagePaths.at(0);
        core.linkBlock().writeOpenMode(level == pr::kLevel11 ? 1 : 0);
        auto* doc = core.openDocument(image);
        if (!doc) return nullptr;
        doc->setCtrorigin({0, 0});
        doc->assembleCanvas();
        view = std::make_unique<ViewController>(*doc, ui);
        view->paint(1600, 1100);
        return doc;
    }
    // Picks the vertices with T held, closes with Y, runs the statistics
    // and returns the report's rows.
    std::vector<std::string> measure(document::CTessarinDoc& doc, const std::vector<std::vector<Point>>& shapes) {
        for (const auto& shape : shapes) {
            for (const Point& p : shape) view->leftButtonDown(p, {.heldT = true});
            view->keyDown('Y', {});
        }
        core.activeView = view.get();
        EXPECT_TRUE(core.run(*app::findCommand(cmd::kCalcPvStatistics), &doc));
        const std::string csv = joinPath(joinPath(splitPath(doc.canvasPath()).folder, "PolygonFolder"), "KX_00.KY_00.csv");
        const auto bytes = readWholeFile(csv);
        const auto lines = splitString(std::string(bytes.begin(), bytes.end()), '\n');
        EXPECT_EQ(ui.messages.back(), std::string(bytes.begin(), bytes.end()));
        return {lines.begin() + 2, lines.end()};
    }
    ScriptedUi ui;
    app::AppCore core{ui, linkName};
    std::unique_ptr<ViewController> view;
    void SetUp() override {
        WorkFolderTest::SetUp();
        app::registerModules(core);
    }
};

// Mean of A and of A squared over the pixel centres inside a rectangle.
std::pair<double, double> meansOver(int x0, int y0, int x1, int y1, const std::function<double(long long, long long)>& a) {
    double s = 0, s2 = 0;
    long long n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const double v = a(x, y);
            s += v, s2 += v * v, ++n;
        }
    return {s / static_cast<double>(n), s2 / static_cast<double>(n)};
}

}  // namespace

TEST_F(PolygonStats, Level15AndLevel11AgainstTheWrittenSamples) {
    for (int level : {pr::kLevel15, pr::kLevel11}) {
        SCOPED_TRACE(level);
        ui.messages.clear();
        auto* doc = open(level);
        ASSERT_NE(doc, nullptr);
        // A 300 x 100 rectangle and a triangle, picked in the main pane.
        const auto rows = measure(*doc, {{{100, 50}, {400, 50}, {400, 150}, {100, 150}}, {{600, 600}, {700, 600}, {600, 700}}});
        ASSERT_GE(rows.size(), 2u);
        const auto fields = splitString(rows[0], ',');
        ASSERT_GE(fields.size(), 8u) << rows[0];
        EXPECT_EQ(fields[1], "30000");
        const double calib = doc->calib();
        // The amplitude as the canvas holds it: the DN, or the amplitude
        // code of the packed sample (|z| x 0.01, truncated) over 0.01.
        const auto amplitude = [&](long long x, long long y) -> double {
            if (level == pr::kLevel15) return dnAt(x, y);
            const std::complex<float> z = sampleAt(0, x, y);
            const double magnitude = std::sqrt(double(z.real()) * z.real() + double(z.imag()) * z.imag());
            const double code = std::min(32767.0, std::trunc(magnitude * 0.01));
            return static_cast<float>(code / 0.01);
        };
        const auto [mean, power] = meansOver(100, 50, 400, 150, amplitude);
        const double sd = std::sqrt(power - mean * mean);
        EXPECT_NEAR(std::stod(fields[6]), 20 * std::log10(mean) + calib, 0.001);
        EXPECT_NEAR(std::stod(fields[7]), 20 * std::log10(mean + sd) + calib, 0.001);
        const auto powerCsv = readWholeFile(joinPath(joinPath(splitPath(doc->canvasPath()).folder, "PolygonFolder"),
                                                     "KX_00.KY_00.power.csv"));
        const auto powerRows = splitString(std::string(powerCsv.begin(), powerCsv.end()), '\n');
        ASSERT_GE(powerRows.size(), 3u);
        EXPECT_NEAR(std::stod(splitString(powerRows[2], ',')[2]), 10 * std::log10(power) + calib, 0.001);
        core.closeDocument(doc);
        view.reset();
    }
}

// Over the simulated sea, a homogeneous patch of known sigma-naught under
// single-look speckle: the power mean finds the truth, the mean of the
// amplitude lies below it by the speckle bias 10 log10(4 / pi), about
// 1.05 dB, and the equivalent number of looks is one.
TEST_F(PolygonStats, SeaOfTheSimulatedSceneAgainstItsTruth) {
    simulator::SimulatorOptions options;
    options.folder = path("sim");
    options.pixels = 2048;
    options.lines = 2048;
    options.level11 = false;
    options.level15 = true;
    const auto truth = simulator::simulateScene(options);
    double sea_dB = 0.0;
    for (const auto& patch : truth.patches)
        if (patch.name == "sea") sea_dB = patch.sigma0_dB;
    ASSERT_LT(sea_dB, 0.0);
    const std::string image = truth.products.at(0).imagePaths.at(0);
    core.linkBlock().writeOpenMode(0);
    auto* doc = core.openDocument(image);
    ASSERT_NE(doc, nullptr);
    doc->setCtrorigin({0, 0});
    doc->assembleCanvas();
    view = std::make_unique<ViewController>(*doc, ui);
    view->paint(1600, 1100);
    // The sea lies along the first pixels of every line.
    const auto rows = measure(*doc, {{{20, 100}, {260, 100}, {260, 1000}, {20, 1000}}});
    ASSERT_GE(rows.size(), 1u);
    const double amplitudeMean = std::stod(splitString(rows[0], ',')[6]);
    const auto powerCsv = readWholeFile(joinPath(joinPath(splitPath(doc->canvasPath()).folder, "PolygonFolder"),
                                                 "KX_00.KY_00.power.csv"));
    const auto powerFields = splitString(splitString(std::string(powerCsv.begin(), powerCsv.end()), '\n').at(2), ',');
    const double powerMean = std::stod(powerFields[2]), looks = std::stod(powerFields[3]);
    EXPECT_NEAR(powerMean, sea_dB, 0.1);
    EXPECT_NEAR(powerMean - amplitudeMean, 10 * std::log10(4 / std::numbers::pi), 0.1);
    EXPECT_NEAR(looks, 1.0, 0.1);
}
