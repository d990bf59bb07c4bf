// First-generation PALSAR products read with CAlos: what the product writer
// puts at the positions of the first-generation record map decodes back, and
// the leaders and descriptors CAlos must refuse say why.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/file.h"
#include "products/calos.h"
#include "products/ceos_writer.h"
#include "support/product_fixture.h"
#include "support/refusal.h"
#include "support/temp_dir.h"

using namespace tessarin;
using namespace tessarin::products;
using namespace tessarin::testing;

namespace {

using ceos::Generation;

// Record starts of first-generation leaders as the product documentation
// gives them (level 1.1, level 1.5).
struct MapRow {
    const char* record;
    std::uint32_t length;
    std::uint64_t start11, start15;
};
constexpr MapRow kPublishedMap[] = {
    {"data set summary", 4096, 720, 720},        {"platform position", 4680, 4816, 6436},
    {"attitude", 8192, 9496, 11116},             {"radiometric", 9860, 17688, 19308},
    {"data quality", 1620, 27548, 29168},        {"conversion", 5000, 12505240, 12506860},
};
// The conversion polynomials are read 1024 bytes into their record.
constexpr std::uint64_t kPolynomialRead11 = 12506264, kPolynomialRead15 = 12507884;

std::string textAt(const std::vector<std::uint8_t>& bytes, std::uint64_t at, std::size_t width) {
    return std::string(reinterpret_cast<const char*>(bytes.data() + at), width);
}

// sum c[5i + j] a^(4-i) b^(4-j), written out term by term.
double polynomial(const std::array<double, kMappingPolyTerms>& c, double a, double b) {
    double sum = 0.0;
    for (int i = 0; i <= 4; ++i)
        for (int j = 0; j <= 4; ++j) sum += c[static_cast<std::size_t>(5 * i + j)] * std::pow(a, 4 - i) * std::pow(b, 4 - j);
    return sum;
}

ProductOptions palsarOptions(int level, char look = 'R') {
    return {.level = level, .pixels = 40, .lines = 30, .look = look, .generation = Generation::Palsar1};
}

class CAlosTest : public TempDirTest {};

}  // namespace

TEST_F(CAlosTest, WrittenProductsDecodeToWhatWasWrittenAtThePublishedPositions) {
    const struct {
        int level;
        char look;
        const char* name;
        double calibField;  // what the radiometric record holds for -83 dB
    } cases[] = {
        {kLevel11, 'R', "IMG-HH-ALPSRP011502960-H1.1__A", -51.0},
        {kLevel15, 'L', "IMG-HH-ALPSRP011502960-H1.5GUA", -83.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = path(c.name + 20);
        const ProductOptions options = palsarOptions(c.level, c.look);
        const WrittenProduct w = writePlausibleProduct(folder, options);
        ASSERT_EQ(std::filesystem::path(w.imagePaths.at(0)).filename(), c.name);
        EXPECT_EQ(std::filesystem::path(w.leaderPath).filename(), "LED" + std::string(c.name + 6));
        const std::vector<std::uint8_t> leader = readWholeFile(w.leaderPath);
        const bool l11 = c.level == kLevel11;

        // The record map: each header at its published start gives its length.
        for (const MapRow& r : kPublishedMap) {
            SCOPED_TRACE(r.record);
            const std::uint64_t start = l11 ? r.start11 : r.start15;
            EXPECT_EQ(load<std::uint32_t>(leader, start + 8, ByteOrder::Big), r.length);
        }
        EXPECT_EQ(leader.size(), (l11 ? 12505240u : 12506860u) + 5000u);
        // The long facility record is a hole in the file, not 12 MB of zeros.
        struct stat st{};
        ASSERT_EQ(::stat(w.leaderPath.c_str(), &st), 0);
        EXPECT_LT(static_cast<std::uint64_t>(st.st_blocks) * 512u, leader.size() / 4);

        const SceneParameters in = plausibleScene(options);
        CAlos reader;
        reader.setImagePath(w.imagePaths[0]);
        ASSERT_TRUE(reader.DecodeLeaderFile());
        ASSERT_TRUE(reader.DecodeImageFileDescriptor(w.imagePaths[0]));
        const SceneParameters& p = reader.params();
        EXPECT_EQ(textAt(leader, 720 + 68, 17), "20140724031234567") << "the scene centre time as the summary holds it";
        EXPECT_EQ((std::vector<int>{p.Y, p.M, p.D, p.H, p.Min}), (std::vector<int>{2014, 7, 24, 3, 12}));
        EXPECT_DOUBLE_EQ(p.scsecofday, 3 * 3600 + 12 * 60 + 34.567);
        EXPECT_EQ(p.ctrlat, in.ctrlat);
        EXPECT_EQ(p.ctrlon, in.ctrlon);
        EXPECT_EQ(p.wavelength, in.wavelength);
        EXPECT_EQ(p.prf, std::strtod(textAt(leader, 720 + 934, 16).c_str(), nullptr) / 1000.0);
        EXPECT_EQ(p.prf, in.prf);
        EXPECT_EQ(p.linsz, in.linsz);
        EXPECT_EQ(p.pixsz, in.pixsz);
        EXPECT_EQ(p.inccoef, in.inccoef);
        // calib as decoded: the level 1.1 field holds it plus 32 dB.
        const std::uint64_t radiometric = l11 ? 17688 : 19308;
        EXPECT_EQ(std::strtod(textAt(leader, radiometric + 20, 16).c_str(), nullptr), c.calibField);
        EXPECT_EQ(p.calib, -83.0);
        ASSERT_EQ(p.orbitPointCount, 28);
        for (std::size_t i = 0; i < 28; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(p.stateVectors[i].X, in.stateVectors[i].X);
            EXPECT_EQ(p.stateVectors[i].Y, in.stateVectors[i].Y);
            EXPECT_EQ(p.stateVectors[i].Z, in.stateVectors[i].Z);
            EXPECT_EQ(p.stateVectors[i].VZ, in.stateVectors[i].VZ);
            EXPECT_EQ(p.stateVectors[i].t, 10800.0 + 60.0 * static_cast<double>(i));
        }
        // The polynomials where a 0-based read at the published position finds them.
        const std::uint64_t read = l11 ? kPolynomialRead11 : kPolynomialRead15;
        EXPECT_EQ(std::strtod(textAt(leader, read + 20 * 24, 20).c_str(), nullptr), in.pl2lat[24]);
        EXPECT_EQ(std::strtod(textAt(leader, read + 2060, 20).c_str(), nullptr), in.llRefLon);
        for (const ScenePoint at : {ScenePoint{600, 1000}, ScenePoint{0, 0}, ScenePoint{39, 29}}) {
            const GeoPoint g = reader.latLonOfPixelLine(at);
            EXPECT_NEAR(g.lat_deg, polynomial(in.pl2lat, at.pixel - in.plRefPixel, at.line - in.plRefLine), 1e-9);
            EXPECT_NEAR(g.lon_deg, polynomial(in.pl2lon, at.pixel - in.plRefPixel, at.line - in.plRefLine), 1e-9);
        }
        // The look from the sensor clock angle, not from the name's mode letter.
        EXPECT_EQ(p.pointingLeft, c.look == 'L' ? 1 : 0);
        EXPECT_EQ(std::strtod(textAt(leader, 720 + 476, 8).c_str(), nullptr), c.look == 'L' ? -90.0 : 90.0);
        // The image: 412-byte prefix at level 1.1, the pixel count in the descriptor.
        EXPECT_EQ(p.lineheader, l11 ? 412 : 192);
        EXPECT_EQ(p.pixel, 40);
        EXPECT_EQ(p.line, 30);
        EXPECT_EQ(p.linebytes, p.lineheader + 40 * (l11 ? 8 : 2));
        EXPECT_TRUE(reader.descriptorNotice().empty());
    }
}

// Leaders CAlos refuses or accepts, each made from a valid first-generation
// leader (or an ALOS-2 one) by one change.
TEST_F(CAlosTest, LeaderRefusalsNameTheRecordAndAcceptedVariantsDecodeAlike) {
    const std::string image11 = "IMG-HH-ALPSRP011502960-H1.1__A";
    ProductSpec product = plausibleProduct("", palsarOptions(kLevel11));
    const std::vector<std::uint8_t> valid = encodeLeader(product);
    const std::uint64_t conversion = 12505240, facility = 29168;
    auto resized = [&](std::uint64_t size) { return std::vector<std::uint8_t>(valid.begin(), valid.begin() + size); };
    auto patched = [&](std::uint64_t at, const std::string& text) {
        std::vector<std::uint8_t> b = valid;
        std::copy(text.begin(), text.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
        return b;
    };
    auto withHeader = [&](std::vector<std::uint8_t> b, std::uint64_t at, ceos::RecordHeader h) {
        ceos::writeRecordHeader(std::span(b).subspan(at, 12), h);
        return b;
    };
    // Three facility records instead of one, as some products carry them.
    std::vector<std::uint8_t> split = valid;
    for (const auto& [at, length] : {std::pair<std::uint64_t, std::uint32_t>{facility, 1000000},
                                     {facility + 1000000, 476072}, {facility + 1476072, 11000000}})
        split = withHeader(split, at, {9, {18, 200, 18, 70}, length});

    const std::vector<std::uint8_t> alos2 = encodeLeader(plausibleProduct("", {.level = kLevel11}));
    std::vector<std::uint8_t> ersSummary = withHeader(valid, 720, {2, {10, 10, 31, 20}, 1886});

    const struct {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::string image;
        std::string expected;  // a part of the message, or kAccepted
    } cases[] = {
        {"valid", valid, image11, kAccepted},
        {"split facility records", split, image11, kAccepted},
        {"conversion record cut after the bytes read", resized(conversion + 3500), image11, kAccepted},
        {"conversion record cut inside the bytes read", resized(conversion + 2000), image11,
         "the conversion polynomial record at offset 12505240 holds 2000 bytes, too few for the 3104 bytes"},
        {"an ALOS-2 leader", alos2, image11, "the attitude data record at offset 9496 is 16384 bytes long, not 8192"},
        {"another mission's summary", ersSummary, image11, "type codes 10 10 31 20 where the data set summary"},
        {"truncated in the radiometric record", resized(20000), image11,
         "the radiometric data record at offset 17688 gives the length 9860, but the file ends at byte 20000"},
        {"truncated before the facility record", resized(facility), image11,
         "ends at byte 29168, before the facility related data record"},
        {"ERSDAC processing", patched(720 + 1062, "SKY     "), image11, "(ERSDAC): that layout"},
        {"ALOS-2 mission name", patched(720 + 396, "ALOS2           "), image11, "an ALOS-2 PALSAR-2 leader"},
        {"level 1.0", valid, "IMG-HH-ALPSRP011502960-H1.0__A", "is a level 1.0 product (raw 8-bit samples)"},
    };
    SceneParameters decodedValid;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CAlos reader;
        reader.setImagePath(c.image);
        const SceneParameters before = reader.params();
        const std::string got = refusalOf([&] { reader.DecodeLeaderBytes(c.bytes, "LED"); });
        if (std::string(c.expected) == kAccepted) {
            EXPECT_EQ(got, kAccepted);
            if (std::string(c.what) == "valid") decodedValid = reader.params();
            else EXPECT_EQ(reader.params(), decodedValid);
        } else {
            EXPECT_NE(got.find(c.expected), std::string::npos) << got;
            EXPECT_EQ(reader.params(), before) << "a refused leader changes nothing";
        }
    }
    // The first-generation leader under the ALOS-2 reader is no ALOS-2 leader either.
    Alos2 alos2Reader;
    alos2Reader.setImagePath("IMG-HH-ALOS2011502960-140724-UBSR1.1__A");
    EXPECT_NE(refusalOf([&] { alos2Reader.DecodeLeaderBytes(valid, "LED"); }), kAccepted);
}

// The pixels of a line: the descriptor's count where it fits the record,
// else the record length after the prefix; both shown when they differ.
TEST_F(CAlosTest, PixelsOfALineFromTheDescriptorCountOrTheRecordLength) {
    const struct {
        const char* what;
        long long countField;      // -1: the pixels written
        long long linebytesField;  // -1: as written
        int expected;
        bool notice;
    } cases[] = {
        {"count and record agree", -1, -1, 40, false},
        {"no count: the record length", 0, -1, 40, false},
        {"a smaller count", 37, -1, 37, true},
        {"a count beyond the record", 41, -1, 40, true},
        {"record of 10000 bytes, no count", 0, 10000, 1198, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ProductSpec product = plausibleProduct("", palsarOptions(kLevel11));
        product.pixelsPerLineField = c.countField;
        std::vector<std::uint8_t> d = encodeImageFileDescriptor(product);
        if (c.linebytesField >= 0) patchField(d, 0, ceos::descriptor::linebytes, std::to_string(c.linebytesField));
        CAlos reader;
        reader.setImagePath("IMG-HH-ALPSRP011502960-H1.1__A");
        reader.DecodeImageFileDescriptorBytes(d, "IMG");
        EXPECT_EQ(reader.params().pixel, c.expected);
        EXPECT_EQ(!reader.descriptorNotice().empty(), c.notice) << reader.descriptorNotice();
        if (c.notice) {
            EXPECT_NE(reader.descriptorNotice().find(std::to_string(c.countField) + " pixels per line"), std::string::npos);
            EXPECT_NE(reader.descriptorNotice().find("hold 40 pixels"), std::string::npos) << reader.descriptorNotice();
        }
    }
    // A file that does not start with an image file descriptor.
    std::vector<std::uint8_t> hdf5(720, 0);
    const std::uint8_t signature[] = {0x89, 0x48, 0x44, 0x46, 0x0D, 0x0A, 0x1A, 0x0A};
    std::copy(std::begin(signature), std::end(signature), hdf5.begin());
    EXPECT_TRUE(isHdf5Signature(hdf5));
    EXPECT_FALSE(isCeosImageDescriptor(hdf5));
    EXPECT_TRUE(isCeosImageDescriptor(encodeImageFileDescriptor(plausibleProduct("", {}))));
    CAlos reader;
    reader.setImagePath("IMG-HH-ALPSRP011502960-H1.1__A");
    EXPECT_NE(refusalOf([&] { reader.DecodeImageFileDescriptorBytes(hdf5, "slc.h5"); }).find("not a CEOS image file descriptor"),
              std::string::npos);
}
