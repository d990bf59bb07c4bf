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

#include "dem/dem_tile.h"
#include "dem/geoid_grid.h"
#include "imagefiles/tif_gen.h"
#include "simulator/simulated_dem.h"
#include "simulator/scene_simulator.h"

namespace tessarin::simulator {
namespace {

using dem::demTileName;
using dem::DemSource;
using dem::DemTileRange;
using dem::GeoidGrid;
using dem::kGeoidColumns;
using dem::kGeoidRows;
using dem::readDacGeoid;

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

}  // namespace
}  // namespace tessarin::simulator
