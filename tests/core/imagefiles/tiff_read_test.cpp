// The GeoTIFF reader and the header decode report on files from GDAL (both
// byte orders, strips and tiles, UTM, rotation) and on damaged files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <GeographicLib/UTMUPS.hpp>

#include <filesystem>
#include <fstream>
#include <functional>

#include "image_tools.h"
#include "imagefiles/byte_source.h"
#include "imagefiles/tif_gen.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "support/refusal.h"
#include "support/temp_dir.h"

using namespace tessarin;
using namespace tessarin::testing;
using ::testing::HasSubstr;

namespace {

constexpr int kWidth = 64;
constexpr int kLines = 32;

std::uint16_t sample(int x, int y) { return static_cast<std::uint16_t>(x * 300 + y * 7 + 1); }

class TiffReadTest : public TempDirTest {
protected:
    // Our own 16-bit GeoTIFF, the source GDAL translates from.
    std::string source() {
        const std::string p = path("source.tif");
        if (std::filesystem::exists(p)) return p;
        CTIFGen gen;
        gen.setGeoReference({139.5, 35.8, 0.001, 0.001});
        writeTiffFile(p, gen, TiffKind::Geo, kWidth, kLines, 16, [](int y, std::span<std::uint8_t> row) {
            for (int x = 0; x < kWidth; ++x) {
                const std::uint16_t v = sample(x, y);
                row[static_cast<std::size_t>(2 * x)] = static_cast<std::uint8_t>(v & 0xFF);
                row[static_cast<std::size_t>(2 * x + 1)] = static_cast<std::uint8_t>(v >> 8);
            }
        });
        return p;
    }
    std::string translate(const std::string& name, const std::string& options) {
        const std::string out = path(name);
        const ToolRun r = runTool("gdal_translate -q " + options + " " + shellQuote(source()) + " " + shellQuote(out));
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return out;
    }
    static GeoTiffInfo read(const std::string& p) { return readGeoTiffFile(p); }
    static std::vector<std::uint8_t> bytes(const std::string& p) { return readWholeFile(p); }
    static std::string readText(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

// Latitude/longitude of a UTM point by GeographicLib (WGS84).
std::pair<double, double> utmToLatLon(int zone, bool north, double e, double n) {
    double lat = 0, lon = 0;
    GeographicLib::UTMUPS::Reverse(zone, north, e, n, lat, lon);
    return {lat, lon};
}

}  // namespace

TEST_F(TiffReadTest, BigEndianUtmFileIsDecodedByteSwapped) {
    const std::string p = translate(
        "mm.tif", "-co ENDIANNESS=BIG -a_srs EPSG:32654 -a_ullr 300000 4000000 306400 3996800");
    const std::vector<std::uint8_t> raw = bytes(p);
    ASSERT_EQ(raw[0], 'M');
    const GeoTiffInfo info = read(p);
    EXPECT_EQ(info.byteOrder, ByteOrder::Big);
    EXPECT_EQ(info.width, static_cast<std::uint32_t>(kWidth));
    EXPECT_EQ(info.lines, static_cast<std::uint32_t>(kLines));
    EXPECT_EQ(info.bytesPerSample, 2);
    EXPECT_EQ(info.projectedCsCode, 32654);
    EXPECT_TRUE(info.projected);
    EXPECT_TRUE(info.utm);
    EXPECT_TRUE(info.utmNorth);
    EXPECT_EQ(info.utmZone, 54);
    EXPECT_EQ(info.centralMeridian_deg, 141.0);
    EXPECT_TRUE(info.unsupportedProjection.empty());
    ASSERT_EQ(info.pixelScale.size(), 3u);
    EXPECT_EQ(info.pixelScale[0], 100.0);
    // The samples at the data offset are big-endian here.
    ASSERT_FALSE(info.stripOffsets.empty());
    const std::size_t at = info.dataOffset();
    ASSERT_LE(at + 2 * kWidth, raw.size());
    EXPECT_EQ(raw[at] * 256 + raw[at + 1], sample(0, 0));
    EXPECT_EQ(raw[at + 2] * 256 + raw[at + 3], sample(1, 0));

    // Corners: centres of the corner pixels, through CUTM, against
    // GeographicLib's UTM inverse of the same eastings and northings.
    ASSERT_TRUE(info.cornersKnown);
    const double centres[4][2] = {{300050, 3999950}, {306350, 3999950}, {300050, 3996850}, {306350, 3996850}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_DOUBLE_EQ(info.corners[k].x, centres[k][0]) << k;
        EXPECT_DOUBLE_EQ(info.corners[k].y, centres[k][1]) << k;
        ASSERT_TRUE(info.corners[k].latLonKnown);
        const auto [lat, lon] = utmToLatLon(54, true, centres[k][0], centres[k][1]);
        // 1 m search tolerance: about 1e-5 degrees.
        EXPECT_NEAR(info.corners[k].lat_deg, lat, 2e-5) << k;
        EXPECT_NEAR(info.corners[k].lon_deg, lon, 2e-5) << k;
    }
}

TEST_F(TiffReadTest, SouthernUtmAndOtherProjections) {
    const GeoTiffInfo south = read(translate("s.tif", "-a_srs EPSG:32733 -a_ullr 500000 8000000 506400 7996800"));
    EXPECT_TRUE(south.utm);
    EXPECT_FALSE(south.utmNorth);
    EXPECT_EQ(south.utmZone, 33);
    EXPECT_EQ(south.centralMeridian_deg, 15.0);
    ASSERT_TRUE(south.corners[0].latLonKnown);
    const auto [lat, lon] = utmToLatLon(33, false, 500050, 7999950);
    EXPECT_NEAR(south.corners[0].lat_deg, lat, 2e-5);
    EXPECT_NEAR(south.corners[0].lon_deg, lon, 2e-5);

    // NAD27 / UTM 11N is not a WGS 84 UTM code: no zone, no latitude.
    const GeoTiffInfo nad = read(translate("nad.tif", "-a_srs EPSG:26711 -a_ullr 500000 4000000 506400 3996800"));
    EXPECT_EQ(nad.projectedCsCode, 26711);
    EXPECT_TRUE(nad.projected);
    EXPECT_FALSE(nad.utm);
    EXPECT_EQ(nad.utmZone, 0);
    EXPECT_NE(nad.unsupportedProjection.find("26711"), std::string::npos);
    ASSERT_TRUE(nad.cornersKnown);
    EXPECT_EQ(nad.corners[0].x, 500050.0);
    for (const GeoCorner& c : nad.corners) EXPECT_FALSE(c.latLonKnown);
}

TEST_F(TiffReadTest, TiledFilesGiveTileOffsets) {
    const std::string p = translate("tiled.tif", "-co TILED=YES -co BLOCKXSIZE=16 -co BLOCKYSIZE=16");
    const GeoTiffInfo info = read(p);
    EXPECT_TRUE(info.tiled());
    EXPECT_EQ(info.tileWidth, 16u);
    EXPECT_EQ(info.tileLength, 16u);
    EXPECT_EQ(info.stripOffsets.size(), 8u);  // 4 x 2 tiles
    EXPECT_EQ(info.stripByteCounts.size(), 8u);
    EXPECT_EQ(info.stripByteCounts[0], 16u * 16u * 2u);
    const std::vector<std::uint8_t> raw = bytes(p);
    const std::size_t at = info.stripOffsets[1];  // second tile: x from 16
    EXPECT_EQ(raw[at] | (raw[at + 1] << 8), sample(16, 0));
}

// A rotated grid is stored as a model transformation.
TEST_F(TiffReadTest, ModelTransformationCorners) {
    const std::string vrt = path("rot.vrt");
    {
        std::ofstream out(vrt);
        out << "<VRTDataset rasterXSize=\"64\" rasterYSize=\"32\">\n"
               "  <SRS>EPSG:4326</SRS>\n"
               "  <GeoTransform>139.5, 0.001, 0.0002, 35.8, 0.0001, -0.001</GeoTransform>\n"
               "  <VRTRasterBand dataType=\"UInt16\" band=\"1\"><SimpleSource>"
               "<SourceFilename relativeToVRT=\"1\">source.tif</SourceFilename><SourceBand>1</SourceBand>"
               "</SimpleSource></VRTRasterBand>\n"
               "</VRTDataset>\n";
    }
    source();
    const std::string p = path("rot.tif");
    const ToolRun r = runTool("gdal_translate -q " + shellQuote(vrt) + " " + shellQuote(p));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const GeoTiffInfo info = read(p);
    ASSERT_TRUE(info.modelTransformation.has_value());
    EXPECT_EQ(info.rasterType, GeoTiffInfo::kPixelIsArea);
    ASSERT_TRUE(info.cornersKnown);
    // Pixel centres of GDAL's geotransform.
    auto at = [](double i, double j) {
        return std::pair{139.5 + 0.001 * i + 0.0002 * j, 35.8 + 0.0001 * i - 0.001 * j};
    };
    const double pos[4][2] = {{0.5, 0.5}, {63.5, 0.5}, {0.5, 31.5}, {63.5, 31.5}};
    for (int k = 0; k < 4; ++k) {
        const auto [lon, lat] = at(pos[k][0], pos[k][1]);
        EXPECT_NEAR(info.corners[k].lon_deg, lon, 1e-12) << k;
        EXPECT_NEAR(info.corners[k].lat_deg, lat, 1e-12) << k;
    }
    const HeaderReport report = [&] {
        File f(p, File::Mode::Read);
        FileSource s(f);
        return CTIFGen::decodeHeader(s);
    }();
    EXPECT_FALSE(report.failure.has_value());
    EXPECT_NE(report.text.find(",34264,ModelTransMtx,0.001000,0.000200,0.000000,139.500000\n"), std::string::npos)
        << report.text;
    EXPECT_NE(report.text.find(",,ModelTransMtx,0,0.001000\n"), std::string::npos);
    EXPECT_NE(report.text.find(",,ModelTransMtx,15,1.000000\n"), std::string::npos);
}

TEST_F(TiffReadTest, HeaderReportRowsOfOurGeoTiff) {
    const std::string tif = source();
    const std::string csv = CTIFGen::writeHeaderReport(tif);
    EXPECT_EQ(csv, path("source.csv"));
    // Layout: 8 header + 16 resolutions + 2 date + 24 scale + 48 tie point
    // + 56 keys + 16 doubles + 36 text = IFD at 206; 2 + 21 x 12 + 4 more
    // bytes put the data at 464.
    EXPECT_EQ(readText(csv),
              ",,DECODE GeoTif File Contents\n\n"
              "ID,CODE,Name,Value1,Value2,Following values (limit by 10 )\n"
              "0,256,pixel,64\n"
              "1,257,line,32\n"
              "2,258,bytepd,2\n"
              "3,259,icomp,1\n"
              "4,262,PhotoInter,1\n"
              "5,273,StripOffset,count,1,464\n"
              "6,274,Orientation,1\n"
              "7,277,bytepp,1\n"
              "8,278,Rowsperstrip,32\n"
              "9,279,Stripbytecount[0],4096\n"
              "10,282,Xres,72,1\n"
              "11,283,Yres,72,1\n"
              "12,284,PlanarConfig(1=chunky),1\n"
              "16,33550,GeoKey,0.001000,0.001000,0.000000\n"
              "17,33922,Corners(only ndata,1\n"
              "18,34735,34735,28\n"
              "19,34736,rmajor_flat,298.257224,6378137.000000\n"
              "20,34737,ascii,Corrected Satellite Data|WGS84| | |\n");
    // GDAL's description tag, big-endian.
    const std::string mm = translate("desc.tif", "-co ENDIANNESS=BIG -mo TIFFTAG_IMAGEDESCRIPTION=hello");
    const std::string text = readText(CTIFGen::writeHeaderReport(mm));
    EXPECT_NE(text.find(",270,ImageDcp,hello\n"), std::string::npos) << text;
    EXPECT_NE(text.find(",256,pixel,64\n"), std::string::npos);
}

TEST_F(TiffReadTest, FortyThreeIsRejectedAndTheReportKeepsItsFirstLines) {
    std::vector<std::uint8_t> raw = bytes(source());
    raw[2] = 43;  // BigTIFF
    writeWholeFile(path("big.tif"), raw);
    EXPECT_EQ(refusalOf([&] { read(path("big.tif")); }),
              "This is a compressed tiff file, not supported by this program.");
    EXPECT_EQ(refusalOf([&] { CTIFGen::writeHeaderReport(path("big.tif")); }), CTIFGen::kRejectText);
    EXPECT_EQ(readText(path("big.csv")),
              ",,DECODE GeoTif File Contents\n\nID,CODE,Name,Value1,Value2,Following values (limit by 10 )\n");
}

TEST_F(TiffReadTest, DamagedFilesAreRefusedWithAMessage) {
    const std::vector<std::uint8_t> good = bytes(source());
    const GeoTiffInfo ref = read(source());
    const auto put32 = [](std::vector<std::uint8_t>& d, std::size_t at, std::uint32_t v) {
        store<std::uint32_t>(d, at, v, ByteOrder::Little);
    };
    // Entry i of our directory sits at ifd + 2 + 12 i: 5 is StripOffsets,
    // 18 the GeoKey directory, 16 the pixel scale.
    const std::size_t ifd = ref.ifdOffset;
    const auto entry = [&](int i) { return ifd + 2 + 12 * static_cast<std::size_t>(i); };
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> damage;
        const char* message;  // part of the error text
        // The report decodes no GeoKeys, so only damage it reads through must
        // stop it too.
        bool reportRefuses = true;
    };
    const Case cases[] = {
        {"short header", [](auto& d) { d.resize(5); }, "compressed tiff"},
        {"directory beyond the end", [&](auto& d) { put32(d, 4, 0xFFFFFFF0u); }, "directory offset"},
        {"too many entries", [&](auto& d) { store<std::uint16_t>(d, ifd, 40000, ByteOrder::Little); },
         "declares 40000 entries"},
        {"truncated directory", [&](auto& d) { d.resize(ifd + 100); }, "entries"},
        // A count of a billion strip offsets must not be believed.
        {"lying strip count", [&](auto& d) { put32(d, entry(5) + 4, 1000000000u), put32(d, entry(5) + 8, 300u); },
         "StripOffsets"},
        {"pixel scale past the end",
         [&](auto& d) { put32(d, entry(16) + 8, static_cast<std::uint32_t>(good.size() - 8)); }, "past the end"},
        {"short GeoKey directory", [&](auto& d) { put32(d, entry(18) + 4, 8u); },  // 8 values cannot hold 6 keys
         "GeoKey directory declares 6 keys", false},
        {"unknown field type", [&](auto& d) { store<std::uint16_t>(d, entry(16) + 2, 99, ByteOrder::Little); },
         "field type 99"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto data = good;
        c.damage(data);
        MemorySource src(data, "damaged.tif");
        EXPECT_THAT(refusalOf([&] { CTIFGen().read(src); }), HasSubstr(c.message));
        EXPECT_EQ(CTIFGen::decodeHeader(src).failure.has_value(), c.reportRefuses);
    }
}

TEST(TiffPathTest, SplitFullPath) {
    auto split = [](const std::string& p) {
        const TiffPathParts s = CTIFGen::splitFullPath(p);
        EXPECT_EQ(s.drive + s.folder + s.name + s.extension, p);
        return std::vector<std::string>{s.drive, s.folder, s.name, s.extension};
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(split("/data/scene/IMG-HH.tif"), (V{"", "/data/scene/", "IMG-HH", ".tif"}));
    EXPECT_EQ(split("C:/x/y.tiff"), (V{"C:", "/x/", "y", ".tiff"}));
    EXPECT_EQ(split("dem/ASTGTM2_N35E139_dem.tif"), (V{"", "dem/", "ASTGTM2_N35E139_dem", ".tif"}));
    // The dot must lie within the last 6 characters, and in the name.
    EXPECT_EQ(split("a/b.backup"), (V{"", "a/", "b.backup", ""}));
    EXPECT_EQ(split("a.b/c"), (V{"", "a.b/", "c", ""}));
    EXPECT_EQ(split("name"), (V{"", "", "name", ""}));
    EXPECT_EQ(split("x:y.tif"), (V{"", "", "x:y", ".tif"}));

    EXPECT_NO_THROW(CTIFGen::splitFullPath(std::string(259, 'a')));
    EXPECT_EQ(refusalOf([] { CTIFGen::splitFullPath(std::string(260, 'a')); }), "source string in compatible");
    EXPECT_EQ(CTIFGen::reportPathFor("/d/x.tif"), "/d/x.csv");
}

TEST_F(TiffReadTest, ReportNeverReplacesItsOwnInput) {
    std::vector<std::uint8_t> raw = readWholeFile(source());
    writeWholeFile(path("odd.csv"), raw);
    EXPECT_THROW(CTIFGen::writeHeaderReport(path("odd.csv")), Error);
    EXPECT_EQ(readWholeFile(path("odd.csv")), raw);
}
