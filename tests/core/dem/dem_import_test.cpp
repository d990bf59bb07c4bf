// The DEM import end to end: tile names from points, the genuine SRTM-3
// tiles read through the import and compared with GDAL at grid nodes, voids
// kept out of the interpolation, a plane that bilinear sampling must give
// back exactly over any box (a dropped or shifted row shows at once), the
// simulated terrain (truth) through every source, and the refusals.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "dem/dem_import.h"
#include "dem/geoid.h"
#include "platform/error.h"
#include "platform/file.h"
#include "simulator/scene_simulator.h"
#include "simulator/simulated_dem.h"
#include "support/refusal.h"
#include "support/shared_data.h"
#include "support/temp_dir.h"

namespace tessarin::dem {
namespace {

using testing::kAccepted;
using testing::refusalOf;

TEST(DemTileNames, FromPointsAndBack) {
    struct Case {
        double lat, lon;
        const char *aster, *srtm1, *srtm3;
    };
    const Case cases[] = {
        {35.3, 139.7, "ASTGTM2_N35E139_dem.tif", "n35_e139_1arc_v3.bil", "N35E139.hgt"},
        {-0.5, -0.5, "ASTGTM2_S01W001_dem.tif", "s01_w001_1arc_v3.bil", "S01W001.hgt"},
        {0.5, 0.0, "ASTGTM2_N00E000_dem.tif", "n00_e000_1arc_v3.bil", "N00E000.hgt"},
        {0.0, 360.0, "ASTGTM2_N00E000_dem.tif", "n00_e000_1arc_v3.bil", "N00E000.hgt"},
        {-0.0001, -0.0001, "ASTGTM2_S01W001_dem.tif", "s01_w001_1arc_v3.bil", "S01W001.hgt"},
        {12.0, 180.0, "ASTGTM2_N12W180_dem.tif", "n12_w180_1arc_v3.bil", "N12W180.hgt"},
        {12.0, -180.0, "ASTGTM2_N12W180_dem.tif", "n12_w180_1arc_v3.bil", "N12W180.hgt"},
        {12.0, 179.99, "ASTGTM2_N12E179_dem.tif", "n12_e179_1arc_v3.bil", "N12E179.hgt"},
        {-45.02, -65.92, "ASTGTM2_S46W066_dem.tif", "s46_w066_1arc_v3.bil", "S46W066.hgt"},
        {9.5, 99.5, "ASTGTM2_N09E099_dem.tif", "n09_e099_1arc_v3.bil", "N09E099.hgt"},
        {43.9, 350.5, "ASTGTM2_N43W010_dem.tif", "n43_w010_1arc_v3.bil", "N43W010.hgt"},
    };
    for (const Case& c : cases) {
        const std::string where = std::to_string(c.lat) + "," + std::to_string(c.lon);
        const char* names[] = {c.srtm3, c.srtm1, c.aster};
        for (std::size_t s = 0; s < kDemSources.size(); ++s) {
            const DemSource source = kDemSources[s];
            EXPECT_EQ(demTileNameAt(source, c.lat, c.lon), names[s]) << where;
            const auto corner = demTileCorner(source, names[s]);
            ASSERT_TRUE(corner) << names[s];
            EXPECT_EQ(demTileName(source, corner->lat_deg, corner->lon_deg), names[s]);
            EXPECT_EQ(demSourceOfName(names[s]), source) << names[s];
        }
    }
    for (const char* bad : {"N35E139.bil", "ASTGTM2_N35E139.tif", "X35E139.hgt", "N3xE139.hgt", "n35e139_1arc_v3.bil",
                            "ASTGTM2_N35E1390_dem.tif", "N35E139.hgt.gz", ""})
        EXPECT_FALSE(demSourceOfName(bad)) << bad;
}

// The list for a box and the table imported from a folder.
DemTable importBox(DemSource source, const std::string& folder, double south, double north, double west,
                   double east) {
    return importDem(demListForBox(source, south, north, west, east), folder);
}

// Values GDAL reads at points (lon, lat), one line each.
std::vector<std::string> gdalValues(const std::string& file, const std::vector<GeoPoint>& points,
                                    const std::string& scratch) {
    {
        std::ofstream in(scratch);
        in.precision(15);
        for (const GeoPoint& g : points) in << g.lon_deg << ' ' << g.lat_deg << '\n';
    }
    const std::string command = "gdallocationinfo -valonly -geoloc '" + file + "' < '" + scratch + "' 2>/dev/null";
    std::vector<std::string> values;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char line[128];
        while (std::fgets(line, sizeof line, p)) {
            std::string v(line);
            while (!v.empty() && (v.back() == '\n' || v.back() == '\r')) v.pop_back();
            values.push_back(v);
        }
        ::pclose(p);
    }
    return values;
}

bool haveGdal() { return std::system("gdallocationinfo --version > /dev/null 2>&1") == 0; }

class GenuineTiles : public tessarin::testing::TempDirTest {};

TEST_F(GenuineTiles, ImportReadsWhatGdalReadsAtGridNodes) {
    const std::string folder = testing::sharedDataPath("srtm");
    for (const char* name : {"N43E006.hgt", "N43E007.hgt"}) TESSARIN_REQUIRE_SHARED_DATA(folder + "/" + name);
    if (!haveGdal()) {
        if (testing::sharedDataRequired()) FAIL() << "gdallocationinfo is missing (CI=true requires it)";
        GTEST_SKIP() << "gdallocationinfo is missing (GDAL's tools)";
    }
    // A box over both tiles; nodes at the corners, the edges, the shared
    // column and scattered inside, away from the voids.
    const DemTable table = importBox(DemSource::Srtm3, folder, 43.00001, 43.99999, 6.00001, 7.99999);
    std::mt19937 random(7);
    struct Node {
        int row, column;  // of the two tiles side by side: columns 0 .. 2400
    };
    std::vector<Node> nodes = {{0, 0}, {0, 2400}, {1200, 0}, {1200, 2400}, {0, 1200}, {600, 1200}, {1, 1}, {1199, 2399},
                               {45, 993}, {47, 993}, {46, 992}, {46, 994}};
    for (int k = 0; k < 200; ++k) nodes.push_back({int(random() % 1201), int(random() % 2401)});
    for (const char* tile : {"N43E006.hgt", "N43E007.hgt"}) {
        const int west = tile[5] - '0';
        std::vector<GeoPoint> points;
        std::vector<Node> inTile;
        for (const Node& n : nodes) {
            const int l = n.column - (west - 6) * 1200;
            if (l < 0 || l > 1200) continue;
            inTile.push_back(n);
            // Nodes of this tile only: the two releases differ on the shared edge.
            points.push_back({44.0 - n.row / 1200.0, west + l / 1200.0});
        }
        const std::vector<std::string> gdal = gdalValues(folder + "/" + tile, points, path("points.txt"));
        ASSERT_EQ(gdal.size(), points.size()) << tile;
        for (std::size_t k = 0; k < points.size(); ++k) {
            const int expected = std::stoi(gdal[k]);
            if (expected == -32768) continue;
            // On the shared column the eastern tile's release wins or loses
            // by order of import; that edge is not a reference.
            if (inTile[k].column == 1200) continue;
            EXPECT_NEAR(table.heightAboveGeoid(points[k].lat_deg, points[k].lon_deg), expected, 1e-9)
                << tile << " row " << inTile[k].row << ", column " << inTile[k].column;
        }
    }
}

TEST_F(GenuineTiles, VoidsStayOutOfTheInterpolation) {
    const std::string folder = testing::sharedDataPath("srtm");
    TESSARIN_REQUIRE_SHARED_DATA(folder + "/N43E007.hgt");
    const DemTable table = importBox(DemSource::Srtm3, folder, 43.9, 43.99, 7.8, 7.9);
    const DemTile tile = readTileFile(folder + "/N43E007.hgt", DemSource::Srtm3, 43, 7);
    ASSERT_EQ(tile.at(46, 993), -32768) << "the isolated void of the genuine tile";
    // The valid nodes of the cells around the void.
    int lo = 100000, hi = -100000;
    for (int k = 45; k <= 47; ++k)
        for (int l = 992; l <= 994; ++l)
            if (tile.at(k, l) != -32768) lo = std::min<int>(lo, tile.at(k, l)), hi = std::max<int>(hi, tile.at(k, l));
    ASSERT_GT(lo, 400) << "the neighbours lie far above 0";
    // Points around the void, at 1 %, 10 % and 50 % of a step and on it.
    for (const double dk : {-0.5, -0.1, -0.01, 0.0, 0.01, 0.1, 0.5})
        for (const double dl : {-0.5, -0.1, 0.0, 0.01, 0.1, 0.5}) {
            const double lat = 44.0 - (46.0 + dk) / 1200.0, lon = 7.0 + (993.0 + dl) / 1200.0;
            const double h = table.heightAboveGeoid(lat, lon);
            EXPECT_GE(h, lo - 1e-9) << dk << "," << dl;
            EXPECT_LE(h, hi + 1e-9) << dk << "," << dl;
        }
}

// Tiles whose heights are a plane in the global grid indices: bilinear
// sampling gives the plane back exactly, so any lost, shifted or void cell
// inside the box shows as a difference.
class PlaneTiles : public tessarin::testing::TempDirTest {
protected:
    long long latBase = 0, lonBase = 0;

    double plane(int samples, double lat, double lon) const {
        const double cells = samples - 1;
        // Rising to the north three times as fast as to the east, never
        // negative (heights below -100 m read as sea).
        return 3.0 * (lat * cells - static_cast<double>(latBase)) + (lon * cells - static_cast<double>(lonBase));
    }
    void writePlaneTile(DemSource source, int south, int westUnwrapped) {
        const int n = demTileSamples(source);
        DemTile t{source, south, wrapTileLongitude_deg(westUnwrapped), {}};
        t.heights_m.resize(static_cast<std::size_t>(n) * n);
        for (int k = 0; k < n; ++k)
            for (int l = 0; l < n; ++l) {
                const double lat = (south + 1) - double(k) / (n - 1), lon = westUnwrapped + double(l) / (n - 1);
                t.heights_m[static_cast<std::size_t>(k) * n + l] = static_cast<std::int16_t>(std::lround(plane(n, lat, lon)));
            }
        writeDemTile(path(demTileName(source, south, t.westLon_deg)), t);
    }
};

TEST_F(PlaneTiles, EveryBoxGivesThePlaneBack) {
    struct Case {
        const char* what;
        DemSource source;
        int south, west;  // the south-west tile of a 2 x 2 block (west unwrapped)
    };
    for (const Case c : {Case{"north-east", DemSource::Srtm3, 35, 139}, {"across the equator and Greenwich",
                                                                          DemSource::Srtm3, -1, -1},
                         {"across 180 degrees", DemSource::Srtm3, 12, 179}, {"south-west", DemSource::Srtm1, -46, -66}}) {
        std::filesystem::remove_all(dir());
        std::filesystem::create_directories(dir());
        const int n = demTileSamples(c.source);
        latBase = static_cast<long long>(c.south) * (n - 1), lonBase = static_cast<long long>(c.west) * (n - 1);
        for (int a = 0; a < 2; ++a)
            for (int b = 0; b < 2; ++b) writePlaneTile(c.source, c.south + a, c.west + b);
        std::mt19937 random(11);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        const int boxes = c.source == DemSource::Srtm1 ? 20 : 200;
        for (int box = 0; box < boxes; ++box) {
            // Boxes inside the block, some with edges on whole degrees or nodes.
            double s = c.south + 1.99 * unit(random), no = c.south + 1.99 * unit(random);
            double w = c.west + 1.99 * unit(random), e = c.west + 1.99 * unit(random);
            if (s > no) std::swap(s, no);
            if (w > e) std::swap(w, e);
            if (box % 5 == 0) s = c.south + 1, no = std::max(no, s + 0.01);
            if (box % 7 == 0) e = std::floor(e * (n - 1)) / (n - 1);
            const double wrap = c.west >= 179 ? -360.0 : 0.0;  // ask with longitudes as users give them
            const double west = w + (w >= 180.0 ? wrap : 0.0), east = e + (e >= 180.0 ? wrap : 0.0);
            const DemList list = demListForBox(c.source, s, no, west, east);
            const DemTable table = importDem(list, dir());
            const std::string where = std::string(c.what) + " box " + std::to_string(box);
            if (box < 6) {
                // Every cell: the plane's node inside the listed tiles, no
                // height outside them (the spare rows and columns beyond).
                const long long cells = n - 1;
                long long wrong = 0;
                for (int r = 0; r < table.rows(); ++r)
                    for (int col = 0; col < table.columns(); ++col) {
                        const long long li = list.northIndex - r, lo = list.westIndex + col;
                        bool inside = false;  // in a listed tile
                        for (const DemListTile& t : list.tiles)
                            inside = inside || (li >= t.southLat_deg * cells && li <= (t.southLat_deg + 1) * cells &&
                                                lo >= t.westLon_deg * cells && lo <= (t.westLon_deg + 1) * cells);
                        // The plane was written east of 180 degrees; a list west of it names the same cells.
                        const long long unwrapped = lo < lonBase ? lo + 360 * cells : lo;
                        const long long want = inside ? 3 * (li - latBase) + (unwrapped - lonBase) : kNoHeight;
                        if (table.at(r, col) != want && wrong++ < 3)
                            ADD_FAILURE() << where << " row " << r << " of " << table.rows() << ", column " << col
                                          << " of " << table.columns() << ": " << table.at(r, col) << " not " << want;
                    }
                ASSERT_EQ(wrong, 0) << where << ": cells that are not the plane's node or no height";
            }
            for (int p = 0; p < 12; ++p) {
                const double lat = p < 4 ? (p & 1 ? no : s) : s + (no - s) * unit(random);
                const double lon = p < 4 ? (p & 2 ? e : w) : w + (e - w) * unit(random);
                const double asked = lon >= 180.0 ? lon - 360.0 : lon;
                ASSERT_NEAR(table.heightAboveGeoid(lat, asked), plane(n, lat, lon), 1e-6)
                    << where << " at " << lat << "," << lon;
            }
        }
    }
}

// The simulated terrain through the whole import: what the sampler gives
// plus the undulation must be the terrain, on land away from the coast.
class SimulatedTruth : public tessarin::testing::TempDirTest {};

TEST_F(SimulatedTruth, EverySourceReproducesTheTerrain) {
    std::string dac = testing::sharedDataPath("egm96/WW15MGH.DAC");
    TESSARIN_REQUIRE_SHARED_DATA(dac);
    const GeoidGrid genuine = readDacGeoid(dac);
    struct Case {
        const char* what;
        std::optional<GeoPoint> centre;
    };
    for (const Case c : {Case{"default", std::nullopt}, {"negative undulation", GeoPoint{5.3, 78.7}},
                         {"on Greenwich", GeoPoint{45.6, 0.0}}, {"on 180 degrees", GeoPoint{-17.2, 180.0}}}) {
        constexpr int kSize = 3072;
        const simulator::SceneGeometryModel model(kSize, kSize, 'R', c.centre);
        auto toGround = [&](double px, double ln) {
            return simulator::ecefToGeodetic(model.groundEllipsoid(px, ln)).ground;
        };
        const std::string folder = path(c.what);
        simulator::DemRequest request;
        request.folder = folder;
        request.terrain = model.terrain();
        const double last = kSize - 1.0;
        const double at[4][2] = {{0, 0}, {last, 0}, {0, last}, {last, last}};
        for (std::size_t k = 0; k < 4; ++k) request.corners[k] = toGround(at[k][0], at[k][1]);
        simulator::writeSimulatedDem(request, genuine);
        CGeoid geoid;
        geoid.load(folder + "/WW15MGH.DAC", {});
        if (c.centre) {
            const GeoPoint centre = toGround(0.5 * last, 0.5 * last);
            EXPECT_NEAR(centre.lat_deg, c.centre->lat_deg, 1e-3) << c.what;
            EXPECT_NEAR(std::remainder(centre.lon_deg - c.centre->lon_deg, 360.0), 0.0, 1e-3) << c.what;
        }
        for (const DemSource source : kDemSources) {
            const DemList list = buildDemList(source, kSize, kSize, toGround);
            const DemTable table = importDem(list, folder);
            const double step = list.step_deg(), tolerance = source == DemSource::Srtm3 ? 1.0 : 0.6;
            const simulator::Terrain& terrain = model.terrain();
            auto land = [&](GeoPoint g) { return terrain.xi(g) > simulator::coastXi(terrain.eta(g)); };
            int checked = 0;
            double negative = 0;
            for (int ln = 0; ln < kSize; ln += 97)
                for (int px = 0; px < kSize; px += 89) {
                    const GeoPoint g = toGround(px, ln);
                    bool inland = true;
                    for (int dy = -2; dy <= 2 && inland; dy += 4)
                        for (int dx = -2; dx <= 2 && inland; dx += 4)
                            inland = land({g.lat_deg + dy * step, g.lon_deg + dx * step});
                    if (!inland) continue;
                    const double h = ellipsoidHeight(table, geoid, g.lat_deg, g.lon_deg);
                    ASSERT_NEAR(h, terrain.height_m(g), tolerance)
                        << c.what << ", " << demSourceName(source) << " at pixel " << px << ", line " << ln;
                    negative = std::min(negative, geoid.undulation(g.lat_deg, g.lon_deg));
                    ++checked;
                }
            EXPECT_GT(checked, 200) << c.what << ", " << demSourceName(source);
            if (std::string(c.what) == "negative undulation") {
                EXPECT_LT(negative, -50.0);
            }
        }
    }
}

TEST(DemHeights, RoundToTheNearestMetreBothSides) {
    struct Case {
        double h;
        int rounded;
    };
    for (const Case c : {Case{-19.7, -20}, {-19.5, -19}, {-19.4, -19}, {-0.4, 0}, {-0.6, -1}, {0.5, 1}, {19.7, 20},
                         {-106.99, -107}, {40000.0, 32767}, {-40000.0, -32767}})
        EXPECT_EQ(roundHeight(c.h), c.rounded) << c.h;
    // A frame pixel the polynomials cannot place gives no height, not an
    // undefined conversion.
    EXPECT_EQ(roundHeight(std::nan("")), 0);
    const DemTable table(demListForBox(DemSource::Srtm3, 35.2, 35.3, 139.2, 139.3));
    EXPECT_EQ(table.heightAboveGeoid(std::nan(""), 139.25), 0.0);
    EXPECT_EQ(testing::refusalOf([] { demListForBox(DemSource::Srtm3, std::nan(""), 35.3, 139.2, 139.3); })
                  .find("no latitude and longitude") != std::string::npos,
              true);
}

class DemRefusals : public tessarin::testing::TempDirTest {};

TEST_F(DemRefusals, ListsTilesAndHeaders) {
    auto write = [&](const std::string& name, std::size_t bytes, std::uint8_t fill = 0) {
        std::ofstream(path(name), std::ios::binary) << std::string(bytes, static_cast<char>(fill));
        return path(name);
    };
    const std::size_t srtm3 = 1201u * 1201u * 2u, srtm1 = 3601u * 3601u * 2u;
    auto hdr = [&](const std::string& name, const std::string& text) {
        std::ofstream(path(name)) << text;
    };
    struct Case {
        const char* what;
        std::function<void()> call;
        std::string expected;  // a part of the message
    };
    const std::vector<Case> cases = {
        {"nine tiles", [&] { demListForBox(DemSource::Srtm3, 35.5, 37.5, 139.5, 141.5); }, "needs 9 DEM tiles"},
        {"six tiles", [&] { demListForBox(DemSource::Aster, 35.5, 36.5, 139.5, 141.5); }, "needs 6 DEM tiles"},
        {"four tiles across 180", [&] { demListForBox(DemSource::Srtm3, 35.5, 36.5, 179.5, -179.5); }, kAccepted},
        {"short .hgt",
         [&] { readTileFile(write("N35E139.hgt", srtm3 - 2), DemSource::Srtm3, 35, 139); },
         "N35E139.hgt\" holds 2884800 bytes"},
        {"long .hgt", [&] { readTileFile(write("N35E138.hgt", srtm3 + 2), DemSource::Srtm3, 35, 138); }, "N35E138.hgt"},
        {"3601 .hgt", [&] { readTileFile(write("N35E137.hgt", srtm1), DemSource::Srtm3, 35, 137); }, kAccepted},
        {"short .bil", [&] { readTileFile(write("n35_e139_1arc_v3.bil", srtm1 - 2), DemSource::Srtm1, 35, 139); },
         "n35_e139_1arc_v3.bil\" holds"},
        {".bil without .hdr", [&] { readTileFile(write("n35_e140_1arc_v3.bil", srtm1), DemSource::Srtm1, 35, 140); },
         kAccepted},
        {".hdr of another size",
         [&] {
             write("n35_e141_1arc_v3.bil", srtm1);
             hdr("n35_e141_1arc_v3.hdr", "BYTEORDER I\nNROWS 1201\nNCOLS 1201\nNBITS 16\n");
             readTileFile(path("n35_e141_1arc_v3.bil"), DemSource::Srtm1, 35, 141);
         },
         "but its header says 1201 x 1201"},
        {".hdr of a strange byte order",
         [&] {
             write("n35_e142_1arc_v3.bil", srtm1);
             hdr("n35_e142_1arc_v3.hdr", "BYTEORDER X\nNROWS 3601\nNCOLS 3601\n");
             readTileFile(path("n35_e142_1arc_v3.bil"), DemSource::Srtm1, 35, 142);
         },
         "BYTEORDER is \"X\""},
        {".hdr of 8 bits",
         [&] {
             write("n35_e143_1arc_v3.bil", srtm1);
             hdr("n35_e143_1arc_v3.hdr", "NROWS 3601\nNCOLS 3601\nNBITS 8\n");
             readTileFile(path("n35_e143_1arc_v3.bil"), DemSource::Srtm1, 35, 143);
         },
         "16-bit"},
        {"not a tiff", [&] { readTileFile(write("ASTGTM2_N35E139_dem.tif", srtm1), DemSource::Aster, 35, 139); },
         "ASTGTM2_N35E139_dem.tif"},
        {"a coarse tile into a fine table",
         [&] {
             DemTable t(demListForBox(DemSource::Srtm1, 35.2, 35.3, 139.2, 139.3));
             t.place(readTileFile(write("N35E136.hgt", srtm3), DemSource::Srtm3,
                                  35, 136),
                     136);
         },
         "1201 x 1201 samples cannot be read into a table of 3600"},
        {"a missing tile",
         [&] { importDem(demListForBox(DemSource::Srtm3, 10.2, 10.3, 10.2, 10.3), dir()); },
         "N10E010.hgt\" is not in"},
    };
    for (const Case& c : cases) {
        const std::string got = refusalOf(c.call);
        if (c.expected == kAccepted) EXPECT_EQ(got, kAccepted) << c.what;
        else EXPECT_NE(got.find(c.expected), std::string::npos) << c.what << ": " << got;
    }
}

TEST_F(DemRefusals, Srtm1TakesAnHgtWhenTheBilIsAbsentAndHonoursByteOrder) {
    // The same heights as a big-endian ".bil" with its header and as an
    // SRTMGL1 ".hgt" read alike.
    DemTile t{DemSource::Srtm1, 35, 139, {}};
    t.heights_m.resize(3601u * 3601u);
    for (std::size_t k = 0; k < t.heights_m.size(); ++k) t.heights_m[k] = static_cast<std::int16_t>(k % 5003) - 100;
    DemTile asHgt = t;
    asHgt.source = DemSource::Srtm3;
    asHgt.side = 3601;
    const std::string folder = path("srtm1");
    std::filesystem::create_directories(folder);
    writeDemTile(folder + "/N35E139.hgt", asHgt);
    const DemList list = demListForBox(DemSource::Srtm1, 35.2, 35.3, 139.2, 139.3);
    ASSERT_EQ(findTileFile(folder, DemSource::Srtm1, list.tiles.at(0)), folder + "/N35E139.hgt");
    const DemTable fromHgt = importDem(list, folder);

    writeDemTile(folder + "/n35_e139_1arc_v3.bil", asHgt);  // big-endian bytes
    std::ofstream(folder + "/n35_e139_1arc_v3.hdr") << "byteorder M\nnrows 3601\nncols 3601\nnbits 16\n";
    ASSERT_EQ(findTileFile(folder, DemSource::Srtm1, list.tiles.at(0)), folder + "/n35_e139_1arc_v3.bil");
    const DemTable fromBil = importDem(list, folder);
    EXPECT_EQ(fromHgt.cells(), fromBil.cells());
    const int k = static_cast<int>(std::lround((36.0 - 35.25) * 3600)), l = static_cast<int>(std::lround(0.25 * 3600));
    EXPECT_NEAR(fromBil.heightAboveGeoid(36.0 - k / 3600.0, 139.0 + l / 3600.0), t.at(k, l), 1e-6);
}

}  // namespace
}  // namespace tessarin::dem
