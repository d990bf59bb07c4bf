// The KML documents read by the tools users open them with: libxml2 for
// well-formedness and the text it decodes, GDAL for the placement of a
// ground overlay, OGR for the scene frame's vertices.

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>

#include "core/imagefiles/image_tools.h"
#include "export/kml_text.h"
#include "export/kml_writer.h"
#include "imagefiles/png_parallel.h"
#include "platform/error.h"
#include "platform/file.h"
#include "support/temp_dir.h"

using namespace tessarin;
using namespace tessarin::geoexport;
using tessarin::testing::runTool;
using tessarin::testing::shellQuote;

namespace {

using KmlTest = tessarin::testing::TempDirTest;

std::string xpath(const std::string& file, const std::string& expression) {
    std::string out = runTool("xmllint --xpath " + shellQuote(expression) + " " + shellQuote(file), false).output;
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

bool wellFormed(const std::string& file, std::string* why) {
    const auto r = runTool("xmllint --noout " + shellQuote(file));
    *why = r.output;
    return r.exitCode == 0;
}

std::string el(const char* name) { return std::string("*[local-name()='") + name + "']"; }

struct RestoreCLocale {
    ~RestoreCLocale() { std::setlocale(LC_ALL, "C"); }
};

bool ciRun() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

}  // namespace

// Names as file systems hand them over: the documents stay well-formed
// UTF-8 and libxml2 decodes the name back to the characters it stands for.
TEST_F(KmlTest, NamesOfEveryKindGiveWellFormedDocumentsThatDecodeBack) {
    struct Case {
        const char* what;
        std::string name;
        std::string decoded;  // what the XML parser must read back
    };
    const Case cases[] = {
        {"plain", "AmpTilex0_y0", "AmpTilex0_y0"},
        {"XML specials", "R&D <scene> 'a' \"b\"", "R&D <scene> 'a' \"b\""},
        {"Japanese", "\xE6\x9D\xB1\xE4\xBA\xAC\xE6\xB9\xBE", "\xE6\x9D\xB1\xE4\xBA\xAC\xE6\xB9\xBE"},
        {"Latin-1 byte", "caf\xE9", "caf\xC3\xA9"},
        {"stray continuation byte", "a\x80z", "a\xC2\x80z"},
        {"control character", "a\x01z", "a\xEF\xBF\xBDz"},
        {"overlong slash", "a\xC0\xAFz", "a\xC3\x80\xC2\xAFz"},
    };
    const LatLonBox box{35.5, 35.25, 140.75, 140.25};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(toUtf8(c.name), c.decoded);
        const std::string folder = path(std::string("f_") + std::to_string(&c - cases));
        std::filesystem::create_directories(folder);

        const std::string overlay = writeGroundOverlay(folder + "/" + c.name + ".png", true, box);
        const std::string multi = folder + "/" + c.name + "TileBlock0.kml";
        writeMultiOverlay(multi, {{folder + "/" + c.name + "x0_y0.png", box}, {folder + "/" + c.name, box}});
        const std::string frame = folder + "/" + c.name + ".frame.kml";
        writeImageFrame(frame, {GeoPoint{35, 139}, {35, 140}, {34, 140}, {34, 139}});

        std::string why;
        for (const std::string& file : {overlay, multi, frame}) EXPECT_TRUE(wellFormed(file, &why)) << file << "\n" << why;
        EXPECT_EQ(overlay, folder + "/" + c.name + ".kml");
        EXPECT_EQ(xpath(overlay, "string(//" + el("GroundOverlay") + "/" + el("Icon") + "/" + el("href") + ")"),
                  c.decoded + ".png");
        EXPECT_EQ(xpath(overlay, "string(/" + el("kml") + "/" + el("Document") + "/" + el("Folder") + "/" + el("name") + ")"),
                  c.decoded + ".kml");
        EXPECT_EQ(xpath(multi, "string((//" + el("href") + ")[last()-1])"), c.decoded + "x0_y0.png");
        EXPECT_EQ(xpath(multi, "string((//" + el("href") + ")[last()])"), c.decoded + ".png") << "gains .png";
        EXPECT_EQ(xpath(frame, "string(//" + el("Document") + "/" + el("name") + ")"), c.decoded + ".frame.kml");
    }
}

TEST_F(KmlTest, OverlayNamesFollowTheImagePath) {
    struct Case {
        std::string image;
        bool png;
        std::string kml, href;
    };
    const Case cases[] = {
        {"x.png", true, "x.kml", "x.png"},   {"x", true, "x.kml", "x.png"},
        {"x.PNG", true, "x.kml", "x.png"},   {"x.tif", false, "x.kml", "x.tif"},
        {"x.bmp", true, "x.kml", "x.png"},   {"a.b.c", true, "a.b.c.kml", "a.b.c.png"},
    };
    for (const Case& c : cases) {
        const OverlayNames n = overlayNames(path(c.image), c.png);
        EXPECT_EQ(n.kmlPath, path(c.kml)) << c.image;
        EXPECT_EQ(n.imageName, c.href) << c.image;
    }
}

// GDAL places the PNG of a ground overlay by its LatLonBox: the grid box
// of rows x columns of dphi must come back as origin and pixel size, and
// the numbers keep their decimal point under a decimal-comma locale.
TEST_F(KmlTest, GdalPlacesTheOverlayOnItsGridBoxInAnyLocale) {
    const RestoreCLocale restore;
    const bool comma = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    if (!comma && ciRun()) FAIL() << "the de_DE.UTF-8 locale is missing; scripts/setup generates it";
    struct Case {
        int columns, rows;
        double north, west, dphi;
    };
    const Case cases[] = {
        {289, 210, 35.9876543210123, 142.123456789, 2.36938e-4},
        {64, 64, 1.0, -0.5, 1.0 / 64},     // whole numbers and a west longitude
        {100, 50, -44.9, -66.1, 3.1e-4},   // southern hemisphere
        {120, 80, 10.0, 179.98, 5e-4},     // across the antimeridian: east past 180
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.north);
        std::vector<std::uint8_t> rgba(static_cast<std::size_t>(c.columns) * c.rows * 4, 200);
        const std::string png = path("overlay.png");
        writeWholeFile(png, encodePngRgbaParallel(c.columns, c.rows, rgba));
        const LatLonBox box{c.north, c.north - c.rows * c.dphi, c.west + c.columns * c.dphi, c.west};
        const std::string kml = writeGroundOverlay(png, true, box);

        const std::regex number(R"(^-?\d+\.\d{13}$)");
        for (const char* side : {"north", "south", "east", "west"}) {
            const std::string v = xpath(kml, "string(//" + el("LatLonBox") + "/" + el(side) + ")");
            EXPECT_TRUE(std::regex_match(v, number)) << side << " = \"" << v << "\"";
        }
        const auto info = tessarin::testing::gdalInfo(kml);
        ASSERT_TRUE(info.is_object()) << runTool("gdalinfo " + shellQuote(kml)).output;
        EXPECT_EQ(info["size"][0].get<int>(), c.columns);
        EXPECT_EQ(info["size"][1].get<int>(), c.rows);
        const auto gt = info["geoTransform"];
        EXPECT_NEAR(gt[0].get<double>(), c.west, 1e-10);
        EXPECT_NEAR(gt[3].get<double>(), c.north, 1e-10);
        EXPECT_NEAR(gt[1].get<double>(), c.dphi, c.dphi * 1e-9);
        EXPECT_NEAR(gt[5].get<double>(), -c.dphi, c.dphi * 1e-9);
        EXPECT_EQ(info["bands"].size(), 4u) << "RGB and the alpha mask";
    }
    if (!comma) GTEST_SKIP() << "placement checked; de_DE.UTF-8 is not installed for the locale part";
}

// OGR reads the frame as a line string: the four corners, the first again,
// the centre and the middle of the first edge, as (lon, lat).
TEST_F(KmlTest, OgrReadsTheSceneFrameRingThenTheFirstLineMark) {
    const std::array<GeoPoint, 4> corners = {GeoPoint{35.98765432, 142.01234567}, {35.80000001, 142.9},
                                             {35.1, 142.7}, {35.3, 141.8}};
    const std::string kml = path("IMG-HH-scene.kml");
    writeImageFrame(kml, corners);
    const std::string text = [&] {
        const auto bytes = readWholeFile(kml);
        return std::string(bytes.begin(), bytes.end());
    }();
    EXPECT_NE(text.find("<coordinates>\r\n\n"), std::string::npos) << "the first coordinate on its own line";
    EXPECT_NE(text.find(",0 \r\n\t\t</coordinates>\r\n"), std::string::npos);

    const auto r = runTool("ogrinfo -ro -al -q " + shellQuote(kml));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::regex ls(R"(LINESTRING Z \(([^)]*)\))");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.output, m, ls)) << r.output;
    std::vector<std::array<double, 2>> v;
    std::stringstream items(m[1].str());
    std::string item;
    while (std::getline(items, item, ',')) {
        double lon = 0, lat = 0, h = 1;
        std::istringstream(item) >> lon >> lat >> h;
        v.push_back({lon, lat});
        EXPECT_EQ(h, 0.0);
    }
    ASSERT_EQ(v.size(), 7u);
    const auto expectAt = [&](std::size_t k, double lat, double lon) {
        EXPECT_NEAR(v[k][0], lon, 1e-8) << k;
        EXPECT_NEAR(v[k][1], lat, 1e-8) << k;
    };
    for (std::size_t k = 0; k < 4; ++k) expectAt(k, corners[k].lat_deg, corners[k].lon_deg);
    expectAt(4, corners[0].lat_deg, corners[0].lon_deg);
    double lat = 0, lon = 0;
    for (const auto& c : corners) lat += c.lat_deg / 4, lon += c.lon_deg / 4;
    expectAt(5, lat, lon);
    expectAt(6, (corners[0].lat_deg + corners[1].lat_deg) / 2, (corners[0].lon_deg + corners[1].lon_deg) / 2);
}

TEST_F(KmlTest, AnUnwritableTargetNamesThePathAndLeavesNothing) {
    // A folder where the KML should go: the write cannot replace it.
    const std::string blocked = path("x.kml");
    std::filesystem::create_directories(blocked);
    try {
        writeGroundOverlay(path("x.png"), true, LatLonBox{1, 0, 1, 0});
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("cannot write \"" + blocked + "\""), std::string::npos) << e.what();
    }
    EXPECT_THROW(writeImageFrame(path("no-such-folder/f.kml"), {}), Error);
    EXPECT_FALSE(std::filesystem::exists(path("no-such-folder")));
}
