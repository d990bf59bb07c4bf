// The DEM tiles of the simulated terrain, read back independently: the SRTM
// tiles with plain byte reads in their documented byte orders, the ASTER
// tile through the GeoTIFF reader. Every height checked must be the
// terrain's ellipsoid height minus the geoid undulation, within the half
// metre of rounding, at the latitude and longitude of its row and column.
// (GDAL places the same files in the console tests.)

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "imagefiles/tif_gen.h"
#include "simulator/dem_writer.h"
#include "simulator/geoid_grid.h"
#include "simulator/scene_simulator.h"

namespace tessarin::simulator {
namespace {

const std::string kGenuineHgt = TESSARIN_SOURCE_DIR "/../shared/data/srtm/N43E006.hgt";

// A geoid that is a plane in latitude and eastern longitude, so that the
// test knows it without the grid: N = 30 m + 3 cm per row + 5 cm per column.
double testUndulation_m(double lat, double lon) {
    const double east = std::fmod(lon + 360.0, 360.0);
    return (3000.0 + 3.0 * (90.0 - lat) * 4.0 + 5.0 * east * 4.0) / 100.0;
}

GeoidGrid testGeoid() {
    std::vector<std::int16_t> cm(static_cast<std::size_t>(kGeoidRows) * kGeoidColumns);
    for (int r = 0; r < kGeoidRows; ++r)
        for (int c = 0; c < kGeoidColumns; ++c)
            cm[static_cast<std::size_t>(r) * kGeoidColumns + static_cast<std::size_t>(c)] =
                static_cast<std::int16_t>(3000 + 3 * r + 5 * c);
    return GeoidGrid(std::move(cm), "test plane");
}

std::vector<std::uint8_t> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int int16At(const std::vector<std::uint8_t>& b, std::size_t offset, bool bigEndian) {
    const unsigned hi = bigEndian ? b[offset] : b[offset + 1], lo = bigEndian ? b[offset + 1] : b[offset];
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(hi << 8 | lo));
}

// One tile on disk as the test reads it: samples x samples int16 from an
// offset, row 0 on the north edge.
struct TileSamples {
    std::vector<std::uint8_t> bytes;
    std::size_t offset = 0;
    int samples = 0;
    bool bigEndian = false;

    int at(int row, int column) const {
        return int16At(bytes, offset + 2 * (static_cast<std::size_t>(row) * samples + static_cast<std::size_t>(column)),
                       bigEndian);
    }
};

class SimulatedDem : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = (std::filesystem::temp_directory_path() / ("tessarin-dem-" + std::to_string(::getpid()))).string();
        std::filesystem::remove_all(folder_);
        model_ = std::make_unique<SceneGeometryModel>(200, 300, 'R');
        DemRequest request;
        request.folder = folder_;
        request.terrain = model_->terrain();
        const double lastPixel = model_->pixels() - 1.0, lastLine = model_->lines() - 1.0;
        const double at[4][2] = {{0, 0}, {lastPixel, 0}, {0, lastLine}, {lastPixel, lastLine}};
        for (std::size_t k = 0; k < 4; ++k)
            request.corners[k] = ecefToGeodetic(model_->groundEllipsoid(at[k][0], at[k][1])).ground;
        corners_ = request.corners;
        written_ = std::make_unique<WrittenDem>(writeSimulatedDem(request, testGeoid()));
    }
    static void TearDownTestSuite() {
        std::filesystem::remove_all(folder_);
        model_.reset();
        written_.reset();
    }

    static const DemTileFile& tile(DemSource source) {
        for (const auto& t : written_->tiles)
            if (t.source == source) return t;
        throw std::runtime_error("no tile of that source");
    }

    static double expected_m(double lat, double lon) {
        return model_->terrain().height_m({lat, lon}) - testUndulation_m(lat, lon);
    }

    // Compares a tile against the terrain on a coarse scan of the whole tile
    // (edges included) and densely over the scene; returns the largest
    // height met in the scene.
    static double checkTile(const TileSamples& t, int south, int west) {
        const double step = 1.0 / (t.samples - 1);
        double sceneMin = 90, sceneMax = -90, sceneWest = 360, sceneEast = -360;
        for (const auto& c : corners_) {
            sceneMin = std::min(sceneMin, c.lat_deg), sceneMax = std::max(sceneMax, c.lat_deg);
            sceneWest = std::min(sceneWest, c.lon_deg), sceneEast = std::max(sceneEast, c.lon_deg);
        }
        double highest = -1e9;
        int checked = 0;
        const int every = t.samples / 50;
        for (int k = 0; k < t.samples; ++k) {
            const double lat = (south + 1) - k * step;
            const bool sceneRow = lat >= sceneMin && lat <= sceneMax;
            for (int l = 0; l < t.samples; ++l) {
                const double lon = west + l * step;
                const bool inScene = sceneRow && lon >= sceneWest && lon <= sceneEast;
                const bool scan = (k % every == 0 || k == t.samples - 1) && (l % (every + 1) == 0 || l == t.samples - 1);
                if (!inScene && !scan) continue;
                const int v = t.at(k, l);
                EXPECT_NEAR(v, expected_m(lat, lon), 0.5 + 1e-6) << "row " << k << ", column " << l;
                if (inScene) highest = std::max(highest, double(v));
                if (::testing::Test::HasFailure()) return highest;
                ++checked;
            }
        }
        EXPECT_GT(checked, 1000);
        return highest;
    }

    static std::string folder_;
    static std::unique_ptr<SceneGeometryModel> model_;
    static std::array<GeoPoint, 4> corners_;
    static std::unique_ptr<WrittenDem> written_;
};
std::string SimulatedDem::folder_;
std::unique_ptr<SceneGeometryModel> SimulatedDem::model_;
std::array<GeoPoint, 4> SimulatedDem::corners_;
std::unique_ptr<WrittenDem> SimulatedDem::written_;

TEST_F(SimulatedDem, OneTileOfEachSourceAndTheGeoidBesideThem) {
    const DemTileRange& r = written_->range;
    ASSERT_EQ(r.south, r.north);
    ASSERT_EQ(r.west, r.east);
    EXPECT_EQ(r.south, static_cast<int>(std::floor(corners_[0].lat_deg)));
    EXPECT_EQ(r.west, static_cast<int>(std::floor(corners_[0].lon_deg)));
    ASSERT_EQ(written_->tiles.size(), 3u);
    for (const auto& t : written_->tiles) {
        EXPECT_EQ(std::filesystem::path(t.path).filename().string(), demTileName(t.source, r.south, r.west));
        EXPECT_EQ(std::filesystem::path(t.path).parent_path().string(), folder_);
    }
    EXPECT_EQ(std::filesystem::file_size(tile(DemSource::Srtm3).path), 1201u * 1201u * 2u);
    EXPECT_EQ(std::filesystem::file_size(tile(DemSource::Srtm1).path), 3601u * 3601u * 2u);
    EXPECT_EQ(written_->geoidPath, folder_ + "/WW15MGH.DAC");
    EXPECT_EQ(readDacGeoid(written_->geoidPath).values(), testGeoid().values());
    EXPECT_EQ(written_->geoidSource, "test plane");
    // The sea lies on the ellipsoid, below the geoid; the hill is a few
    // hundred metres high.
    EXPECT_LT(written_->minHeight_m, -30);
    EXPECT_GT(written_->maxHeight_m, 250);
}

TEST_F(SimulatedDem, Srtm3IsBigEndianAndHoldsTerrainAboveGeoid) {
    const DemTileFile& t = tile(DemSource::Srtm3);
    const double highest = checkTile({bytesOf(t.path), 0, 1201, true}, t.southLat_deg, t.westLon_deg);
    EXPECT_GT(highest, 200.0);
}

TEST_F(SimulatedDem, Srtm1IsLittleEndianWithItsHeader) {
    const DemTileFile& t = tile(DemSource::Srtm1);
    const double highest = checkTile({bytesOf(t.path), 0, 3601, false}, t.southLat_deg, t.westLon_deg);
    EXPECT_GT(highest, 200.0);
    const auto header = bytesOf(t.headerPath);
    const std::string text(header.begin(), header.end());
    EXPECT_NE(text.find("BYTEORDER      I\n"), std::string::npos);
    EXPECT_NE(text.find("PIXELTYPE      SIGNEDINT\n"), std::string::npos);
    EXPECT_NE(text.find("ULXMAP         " + std::to_string(t.westLon_deg) + "\n"), std::string::npos);
    EXPECT_NE(text.find("ULYMAP         " + std::to_string(t.southLat_deg + 1) + "\n"), std::string::npos);
}

TEST_F(SimulatedDem, AsterGeoTiffIsPlacedAndSigned) {
    const DemTileFile& t = tile(DemSource::Aster);
    const GeoTiffInfo info = readGeoTiffFile(t.path);
    EXPECT_EQ(info.width, 3601u);
    EXPECT_EQ(info.lines, 3601u);
    EXPECT_EQ(info.bytesPerSample, 2);
    EXPECT_EQ(info.samplesPerPixel, 1);
    EXPECT_EQ(info.sampleFormat, 2);  // signed
    EXPECT_EQ(info.rasterType, GeoTiffInfo::kPixelIsPoint);
    EXPECT_EQ(info.modelType, GeoTiffInfo::kModelGeographic);
    ASSERT_TRUE(info.cornersKnown);
    EXPECT_NEAR(info.corners[0].lon_deg, t.westLon_deg, 1e-12);      // upper left
    EXPECT_NEAR(info.corners[0].lat_deg, t.southLat_deg + 1, 1e-12);
    EXPECT_NEAR(info.corners[3].lon_deg, t.westLon_deg + 1, 1e-9);   // lower right
    EXPECT_NEAR(info.corners[3].lat_deg, t.southLat_deg, 1e-9);
    const double highest = checkTile({bytesOf(t.path), info.dataOffset(), 3601, false}, t.southLat_deg, t.westLon_deg);
    EXPECT_GT(highest, 200.0);
}

TEST(DemTileFiles, GenuineSrtm3TileHasTheLayoutWeWrite) {
    if (!std::filesystem::exists(kGenuineHgt)) GTEST_SKIP() << kGenuineHgt << " absent (no ../shared/data)";
    EXPECT_EQ(std::filesystem::path(kGenuineHgt).filename().string(), demTileName(DemSource::Srtm3, 43, 6));
    const TileSamples t{bytesOf(kGenuineHgt), 0, 1201, true};
    ASSERT_EQ(t.bytes.size(), 1201u * 1201u * 2u);
    int lo = 100000, hi = -100000;
    double roughness = 0.0;
    for (int k = 0; k < 1201; ++k)
        for (int l = 0; l < 1201; ++l) {
            lo = std::min(lo, t.at(k, l)), hi = std::max(hi, t.at(k, l));
            if (l > 0) roughness += std::abs(t.at(k, l) - t.at(k, l - 1));
        }
    // Big-endian gives the tile's known range and neighbours a few metres
    // apart; read little-endian the same bytes would jump by thousands.
    EXPECT_EQ(lo, -12);
    EXPECT_EQ(hi, 1923);
    EXPECT_LT(roughness / (1201.0 * 1200.0), 30.0);
}

TEST(DemTileFiles, NamesFollowTheThreeConventions) {
    EXPECT_EQ(demTileName(DemSource::Aster, 35, 139), "ASTGTM2_N35E139_dem.tif");
    EXPECT_EQ(demTileName(DemSource::Srtm1, 35, 139), "n35_e139_1arc_v3.bil");
    EXPECT_EQ(demTileName(DemSource::Srtm3, 35, 139), "N35E139.hgt");
    EXPECT_EQ(demTileName(DemSource::Aster, -1, -1), "ASTGTM2_S01W001_dem.tif");
    EXPECT_EQ(demTileName(DemSource::Srtm1, -1, -1), "s01_w001_1arc_v3.bil");
    EXPECT_EQ(demTileName(DemSource::Srtm3, 0, 0), "N00E000.hgt");
    EXPECT_EQ(demTileName(DemSource::Srtm3, 5, 7), "N05E007.hgt");
    EXPECT_EQ(demTileName(DemSource::Srtm3, -45, -120), "S45W120.hgt");
    EXPECT_EQ(demTileName(DemSource::Srtm1, 9, 99), "n09_e099_1arc_v3.bil");
}

TEST(DemTileFiles, CoveringRangeHonoursMarginsEdgesAndTheEquator) {
    auto box = [](double south, double north, double west, double east) {
        return std::array<GeoPoint, 4>{GeoPoint{south, west}, {south, east}, {north, west}, {north, east}};
    };
    DemTileRange r = demTilesCovering(box(35.2, 35.4, 139.2, 139.5), 0.02);
    EXPECT_EQ(r.south, 35);
    EXPECT_EQ(r.north, 35);
    EXPECT_EQ(r.west, 139);
    EXPECT_EQ(r.east, 139);
    // The margin reaches over a degree line.
    r = demTilesCovering(box(35.2, 35.99, 139.01, 139.5), 0.02);
    EXPECT_EQ(r.north, 36);
    EXPECT_EQ(r.west, 138);
    // A box ending on a degree line needs no tile beyond it.
    r = demTilesCovering(box(35.2, 35.5, 139.2, 139.5), 0.5);
    EXPECT_EQ(r.north, 35);
    EXPECT_EQ(r.east, 139);
    // Across the equator: S01 and N00.
    r = demTilesCovering(box(-0.3, 0.2, 10.2, 10.4), 0.0);
    EXPECT_EQ(r.south, -1);
    EXPECT_EQ(r.north, 0);
    // Across the antimeridian the range is contiguous: 179°E and 180°W.
    r = demTilesCovering({GeoPoint{10.2, 179.9}, {10.2, -179.9}, {10.4, 179.9}, {10.4, -179.9}}, 0.0);
    EXPECT_EQ(r.west, 179);
    EXPECT_EQ(r.east, 180);
}

}  // namespace
}  // namespace tessarin::simulator
