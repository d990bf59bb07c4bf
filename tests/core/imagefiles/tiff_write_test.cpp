// TIFF and GeoTIFF files we write, as libtiff and GDAL read them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "image_tools.h"
#include "imagefiles/tif_gen.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/ui.h"
#include "support/refusal.h"
#include "support/temp_dir.h"

using namespace tessarin;
using namespace tessarin::testing;
using ::testing::HasSubstr;

namespace {

// Every sample is a different function of its position, so a shifted or
// swapped line shows.
std::uint16_t sample16(int x, int y, int c) { return static_cast<std::uint16_t>((x * 7 + y * 131 + c * 4099) & 0xFFFF); }
std::uint8_t sample8(int x, int y, int c) { return static_cast<std::uint8_t>((x * 3 + y * 17 + c * 85) & 0xFF); }

TiffRowSource pattern(int bitsPerPixel) {
    return [bitsPerPixel](int y, std::span<std::uint8_t> row) {
        const int channels = bitsPerPixel == 24 || bitsPerPixel == 48 ? 3 : 1;
        const bool wide = bitsPerPixel == 16 || bitsPerPixel == 48;
        const std::size_t width = row.size() / static_cast<std::size_t>(bitsPerPixel / 8);
        for (std::size_t x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                const std::size_t i = x * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c);
                if (wide) {
                    const std::uint16_t v = sample16(static_cast<int>(x), y, c);
                    row[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
                    row[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
                } else {
                    row[i] = sample8(static_cast<int>(x), y, c);
                }
            }
        }
    };
}

long expected(int bitsPerPixel, int x, int y, int c) {
    return bitsPerPixel == 16 || bitsPerPixel == 48 ? sample16(x, y, c) : sample8(x, y, c);
}

const GeoReference kGeo{139.5, 35.8, 1.0 / 3600.0, 1.0 / 3600.0};

class TiffWriteTest : public TempDirTest {
protected:
    std::string write(const std::string& name, TiffKind kind, int width, int lines, int bits) {
        CTIFGen gen;
        gen.setGeoReference(kGeo);
        const std::string p = path(name);
        writeTiffFile(p, gen, kind, width, lines, bits, pattern(bits));
        return p;
    }
    std::vector<std::string> dump(const std::string& p) {
        const ToolRun r = runTool("tiffdump " + shellQuote(p));
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return tiffdumpEntries(r.output);
    }
    // tiffinfo must read the directory without an error (warnings for the
    // GeoTIFF tags libtiff does not know are fine).
    void expectTiffinfoClean(const std::string& p) {
        const ToolRun r = runTool("tiffinfo " + shellQuote(p));
        EXPECT_EQ(r.exitCode, 0) << r.output;
        EXPECT_EQ(r.output.find("Error"), std::string::npos) << r.output;
    }
    // GDAL must read size, bands, type and the pixels we meant.
    void expectGdalReads(const std::string& p, int width, int lines, int bits) {
        const nlohmann::json info = gdalInfo(p);
        ASSERT_TRUE(info.is_object()) << "gdalinfo failed on " << p;
        EXPECT_EQ(info["size"][0], width);
        EXPECT_EQ(info["size"][1], lines);
        const int channels = bits == 24 || bits == 48 ? 3 : 1;
        ASSERT_EQ(info["bands"].size(), static_cast<std::size_t>(channels));
        for (const auto& band : info["bands"]) EXPECT_EQ(band["type"], bits == 16 || bits == 48 ? "UInt16" : "Byte");
        for (const auto& [x, y] : {std::pair{0, 0}, {width - 1, 0}, {width / 2, lines / 2}, {width - 1, lines - 1}}) {
            const std::vector<long> v = gdalPixel(p, x, y);
            ASSERT_EQ(v.size(), static_cast<std::size_t>(channels)) << x << "," << y;
            for (int c = 0; c < channels; ++c)
                EXPECT_EQ(v[static_cast<std::size_t>(c)], expected(bits, x, y, c)) << x << "," << y << " band " << c;
        }
    }
};

}  // namespace

TEST_F(TiffWriteTest, GeoTiff16Of2048Squared) {
    const std::string p = write("g16.tif", TiffKind::Geo, 2048, 2048, 16);
    const auto entries = dump(p);
    EXPECT_EQ(entries.size(), 21u);
    EXPECT_NE(tiffdumpTag(entries, 279).find("LONG (4) 1<8388608>"), std::string::npos) << tiffdumpTag(entries, 279);
    EXPECT_NE(tiffdumpTag(entries, 278).find("1<2048>"), std::string::npos);
    EXPECT_NE(tiffdumpTag(entries, 34735).find("SHORT (3) 28<1 1 0 6 1024 0 1 2 1025 0 1 2 1026 34737 2 0"),
              std::string::npos)
        << tiffdumpTag(entries, 34735);
    EXPECT_NE(tiffdumpTag(entries, 339).find("1<1>"), std::string::npos);
    expectTiffinfoClean(p);
    expectGdalReads(p, 2048, 2048, 16);

    // Pixel is point: GDAL's outer corners lie half a pixel outside the
    // centre of the first pixel, which is the tie point we gave.
    const nlohmann::json info = gdalInfo(p);
    const double half = kGeo.scaleX_deg / 2;
    const auto& gt = info["geoTransform"];
    EXPECT_NEAR(gt[0].get<double>(), kGeo.lon_deg - half, 1e-12);
    EXPECT_NEAR(gt[1].get<double>(), kGeo.scaleX_deg, 1e-15);
    EXPECT_EQ(gt[2].get<double>(), 0.0);
    EXPECT_NEAR(gt[3].get<double>(), kGeo.lat_deg + half, 1e-12);
    EXPECT_EQ(gt[4].get<double>(), 0.0);
    EXPECT_NEAR(gt[5].get<double>(), -kGeo.scaleY_deg, 1e-15);
    // gdalinfo prints its corners to 7 decimals.
    const auto& cc = info["cornerCoordinates"];
    EXPECT_NEAR(cc["upperLeft"][0].get<double>(), kGeo.lon_deg - half, 5e-8);
    EXPECT_NEAR(cc["upperLeft"][1].get<double>(), kGeo.lat_deg + half, 5e-8);
    EXPECT_NEAR(cc["lowerRight"][0].get<double>(), kGeo.lon_deg - half + 2048 * kGeo.scaleX_deg, 5e-8);
    EXPECT_NEAR(cc["lowerRight"][1].get<double>(), kGeo.lat_deg + half - 2048 * kGeo.scaleY_deg, 5e-8);
    EXPECT_EQ(info["metadata"][""]["AREA_OR_POINT"], "Point");
    EXPECT_NE(info["coordinateSystem"]["wkt"].get<std::string>().find("298.257223563"), std::string::npos);
}

TEST_F(TiffWriteTest, GeoTiff48KeepsBitsOutOfLineAndHasNoSampleFormat) {
    const std::string p = write("g48.tif", TiffKind::Geo, 40, 25, 48);
    const auto entries = dump(p);
    EXPECT_EQ(entries.size(), 20u);
    EXPECT_NE(tiffdumpTag(entries, 258).find("SHORT (3) 3<16 16 16>"), std::string::npos) << tiffdumpTag(entries, 258);
    EXPECT_EQ(tiffdumpTag(entries, 339), "");
    expectTiffinfoClean(p);
    expectGdalReads(p, 40, 25, 48);
}

TEST_F(TiffWriteTest, GeoTiff8And24) {
    const std::string p8 = write("g8.tif", TiffKind::Geo, 33, 17, 8);
    EXPECT_EQ(dump(p8).size(), 21u);
    expectGdalReads(p8, 33, 17, 8);
    const std::string p24 = write("g24.tif", TiffKind::Geo, 33, 17, 24);
    const auto entries = dump(p24);
    EXPECT_EQ(entries.size(), 20u);
    EXPECT_NE(tiffdumpTag(entries, 258).find("3<8 8 8>"), std::string::npos);
    expectGdalReads(p24, 33, 17, 24);
}

TEST_F(TiffWriteTest, Plain24HasOneStripPerLine) {
    const int width = 37, lines = 11;
    const std::string p = write("p24.tif", TiffKind::Plain, width, lines, 24);
    const auto entries = dump(p);
    EXPECT_EQ(entries.size(), 16u);
    const std::string offsets = tiffdumpTag(entries, 273);
    ASSERT_NE(offsets.find("LONG (4) 11<"), std::string::npos) << offsets;
    std::istringstream values(offsets.substr(offsets.find('<') + 1));
    std::vector<long> o;
    long v = 0;
    while (values >> v) o.push_back(v);
    ASSERT_EQ(o.size(), 11u);
    for (std::size_t i = 1; i < o.size(); ++i) EXPECT_EQ(o[i] - o[i - 1], 3 * width);
    EXPECT_EQ(static_cast<std::uint64_t>(o.back() + 3 * width), std::filesystem::file_size(p));
    EXPECT_NE(tiffdumpTag(entries, 279).find("11<111 111"), std::string::npos);
    EXPECT_NE(tiffdumpTag(entries, 306).find("19<TestDate 2009.12.31>"), std::string::npos);
    EXPECT_NE(tiffdumpTag(entries, 339).find("3<1 1 1>"), std::string::npos);
    EXPECT_NE(tiffdumpTag(entries, 284).find("1<1>"), std::string::npos);
    EXPECT_EQ(tiffdumpTag(entries, 296), "");
    expectTiffinfoClean(p);
    expectGdalReads(p, width, lines, 24);
}

TEST_F(TiffWriteTest, Plain8And16And48) {
    const std::string p8 = write("p8.tif", TiffKind::Plain, 20, 9, 8);
    const auto e8 = dump(p8);
    EXPECT_EQ(e8.size(), 16u);
    EXPECT_NE(tiffdumpTag(e8, 296).find("1<2>"), std::string::npos);
    expectGdalReads(p8, 20, 9, 8);

    const std::string p16 = write("p16.tif", TiffKind::Plain, 20, 9, 16);
    expectGdalReads(p16, 20, 9, 16);

    // The 48-bit file's SampleFormat points at three unsigned-integer values.
    const std::string p48 = write("p48.tif", TiffKind::Plain, 20, 9, 48);
    const auto e48 = dump(p48);
    EXPECT_NE(tiffdumpTag(e48, 339).find("SHORT (3) 3<1 1 1>"), std::string::npos) << tiffdumpTag(e48, 339);
    EXPECT_NE(tiffdumpTag(e48, 258).find("3<16 16 16>"), std::string::npos);
    expectTiffinfoClean(p48);
    expectGdalReads(p48, 20, 9, 48);
}

// One line means one strip: its offset and byte count must sit in the entry
// itself, or readers take the array's offset for the data's.
TEST_F(TiffWriteTest, SingleLineTiffKeepsItsStripInline) {
    const std::string p = write("one.tif", TiffKind::Plain, 50, 1, 16);
    const auto entries = dump(p);
    EXPECT_NE(tiffdumpTag(entries, 279).find("1<100>"), std::string::npos) << tiffdumpTag(entries, 279);
    expectGdalReads(p, 50, 1, 16);
}

TEST_F(TiffWriteTest, OurReaderReadsBackWhatWeWrote) {
    const std::string p = write("g16.tif", TiffKind::Geo, 300, 200, 16);
    const GeoTiffInfo info = readGeoTiffFile(p);
    EXPECT_EQ(info.width, 300u);
    EXPECT_EQ(info.lines, 200u);
    EXPECT_EQ(info.bytesPerSample, 2);
    EXPECT_EQ(info.samplesPerPixel, 1);
    EXPECT_EQ(info.entryCount, 21);
    EXPECT_EQ(info.dateTime, " ");
    EXPECT_EQ(info.geoAsciiParams, "Corrected Satellite Data|WGS84| | |");
    EXPECT_EQ(info.geoKeys.size(), 6u);
    EXPECT_EQ(info.rasterType, GeoTiffInfo::kPixelIsPoint);
    EXPECT_FALSE(info.projected);
    EXPECT_EQ(info.semiMajorAxis_m, 6378137.0);
    EXPECT_EQ(info.inverseFlattening, 298.257223563);
    EXPECT_EQ(info.dataOffset() + 300u * 200u * 2u, std::filesystem::file_size(p));
    ASSERT_TRUE(info.cornersKnown);
    // Centres of the corner pixels.
    EXPECT_DOUBLE_EQ(info.corners[0].lon_deg, kGeo.lon_deg);
    EXPECT_DOUBLE_EQ(info.corners[0].lat_deg, kGeo.lat_deg);
    EXPECT_NEAR(info.corners[3].lon_deg, kGeo.lon_deg + 299 * kGeo.scaleX_deg, 1e-12);
    EXPECT_NEAR(info.corners[3].lat_deg, kGeo.lat_deg - 199 * kGeo.scaleY_deg, 1e-12);
    EXPECT_TRUE(info.corners[3].latLonKnown);

    // The first samples at the data offset are the first line.
    File f(p, File::Mode::Read);
    std::vector<std::uint8_t> first(4);
    f.readAt(info.dataOffset(), first);
    EXPECT_EQ(first[0] | (first[1] << 8), sample16(0, 0, 0));
    EXPECT_EQ(first[2] | (first[3] << 8), sample16(1, 0, 0));

    const std::string p24 = write("p24.tif", TiffKind::Plain, 30, 4, 24);
    const GeoTiffInfo plain = readGeoTiffFile(p24);
    EXPECT_EQ(plain.stripOffsets.size(), 4u);
    EXPECT_EQ(plain.samplesPerPixel, 3);
    EXPECT_EQ(plain.dateTime, "TestDate 2009.12.31");
    EXPECT_FALSE(plain.cornersKnown);
}

TEST_F(TiffWriteTest, TwoPassesAndTheirResults) {
    CTIFGen gen;
    File f(path("p.tif"), File::Mode::Write);
    EXPECT_EQ(gen.writeTiff(nullptr, 10, 10, 8, 0), CTIFGen::kNoFile);
    EXPECT_EQ(gen.writeTiff(&f, 0, 10, 8, 0), CTIFGen::kBadSize);
    EXPECT_EQ(gen.writeGeoTiff(&f, 10, -1, 16, 0), CTIFGen::kBadSize);
    EXPECT_EQ(f.size(), 0u);  // nothing written
    EXPECT_THROW(gen.writeTiff(&f, 10, 10, 12, 0), Error);
    EXPECT_THROW(gen.writeTiff(&f, 70000, 10, 8, 0), Error);
    // 65535 x 65535 x 48 bits needs far more than 32-bit offsets reach.
    EXPECT_THROW(gen.writeGeoTiff(&f, 65535, 65535, 48, 0), Error);

    // Pass 1 leaves the position where the data goes; pass 2 with the real
    // offset has the same size and returns there.
    ASSERT_EQ(gen.writeGeoTiff(&f, 10, 10, 16, 0), CTIFGen::kWriteOk);
    const std::uint64_t dataOffset = f.tell();
    EXPECT_EQ(dataOffset, gen.ifdOffset() + 2u + 21u * 12u + 4u);
    ASSERT_EQ(gen.writeGeoTiff(&f, 10, 10, 16, static_cast<std::uint32_t>(dataOffset)), CTIFGen::kWriteOk);
    EXPECT_EQ(f.tell(), dataOffset);

    // A source that fails half way leaves no file, and an older file stays.
    writeWholeFile(path("keep.tif"), std::vector<std::uint8_t>{1, 2, 3});
    EXPECT_THROW(writeTiffFile(path("keep.tif"), gen, TiffKind::Plain, 8, 8, 8,
                               [](int line, std::span<std::uint8_t>) {
                                   if (line == 4) throw Error("source read failed");
                               }),
                 Error);
    EXPECT_EQ(readWholeFile(path("keep.tif")), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), 2);  // p.tif and keep.tif
}

TEST_F(TiffWriteTest, RasterToTiffForms) {
    const int w = 24, h = 10;
    // 1 channel of 2 bytes: a 16-bit GeoTIFF, after the message box.
    {
        std::vector<std::uint8_t> raw(static_cast<std::size_t>(w * h * 2));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::uint16_t v = sample16(x, y, 0);
                raw[static_cast<std::size_t>((y * w + x) * 2)] = static_cast<std::uint8_t>(v & 0xFF);
                raw[static_cast<std::size_t>((y * w + x) * 2 + 1)] = static_cast<std::uint8_t>(v >> 8);
            }
        writeWholeFile(path("short.raw"), raw);
        ScriptedUi ui;
        EXPECT_EQ(rasterToTiff(ui, rasterOfPixelBytes(path("short.raw"), w, h, 2, 2), kGeo), path("short.raw") + ".tif");
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0], "In sub tgifgen Short2tiffilemode\npix,lin=24, 10hdr,linebytes=0, 48");
        expectGdalReads(path("short.raw.tif"), w, h, 16);
        EXPECT_EQ(dump(path("short.raw.tif")).size(), 21u);
    }
    // 3 channels of 2 bytes, interleaved: a 48-bit GeoTIFF.
    {
        std::vector<std::uint8_t> raw(static_cast<std::size_t>(w * h * 6));
        for (int y = 0; y < h; ++y) pattern(48)(y, std::span(raw).subspan(static_cast<std::size_t>(y * w * 6), static_cast<std::size_t>(w * 6)));
        writeWholeFile(path("rgb.raw"), raw);
        ScriptedUi ui;
        rasterToTiff(ui, rasterOfPixelBytes(path("rgb.raw"), w, h, 6, 2), kGeo);
        EXPECT_TRUE(ui.messages.empty());
        expectGdalReads(path("rgb.raw.tif"), w, h, 48);
    }
    // 3 channels of 1 byte: three planes become one 24-bit TIFF.
    {
        std::vector<std::uint8_t> raw(static_cast<std::size_t>(w * h * 3));
        for (int c = 0; c < 3; ++c)
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) raw[static_cast<std::size_t>(c * w * h + y * w + x)] = sample8(x, y, c);
        writeWholeFile(path("planes.raw"), raw);
        ScriptedUi ui;
        rasterToTiff(ui, rasterOfPixelBytes(path("planes.raw"), w, h, 3, 1), kGeo);
        expectGdalReads(path("planes.raw.tif"), w, h, 24);
        EXPECT_EQ(dump(path("planes.raw.tif")).size(), 16u);
    }
    // 1 channel of 1 byte: a plain 8-bit TIFF.
    {
        std::vector<std::uint8_t> raw(static_cast<std::size_t>(w * h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) raw[static_cast<std::size_t>(y * w + x)] = sample8(x, y, 0);
        writeWholeFile(path("grey.raw"), raw);
        ScriptedUi ui;
        rasterToTiff(ui, rasterOfPixelBytes(path("grey.raw"), w, h, 1, 1), kGeo);
        expectGdalReads(path("grey.raw.tif"), w, h, 8);
    }
}

TEST_F(TiffWriteTest, RasterToTiffRefusals) {
    ScriptedUi ui;
    writeWholeFile(path("small.raw"), std::vector<std::uint8_t>(100));
    // Two channels have no TIFF form here; a raster shorter than its size
    // is refused before anything is written.
    struct Case {
        const char* raster;
        int width, lines, bytesPerPixel, bytesPerSample;
        const char* message;  // after the quoted path
    };
    const Case cases[] = {
        {"small.raw", 5, 5, 2, 1, "\": no TIFF form for 2 channels of 1 bytes"},
        {"small.raw", 5, 5, 3, 2, "\": 3 bytes per pixel and 2 bytes per sample do not make a raster"},
        {"small.raw", 20, 20, 1, 1, "\" holds 100 bytes, fewer than the 400 of a 20 x 20 raster of 1 bytes per pixel"},
        {"missing.raw", 5, 5, 1, 1, "\": No such file or directory"},
    };
    for (const Case& c : cases) {
        const std::string message = refusalOf(
            [&] { rasterToTiff(ui, rasterOfPixelBytes(path(c.raster), c.width, c.lines, c.bytesPerPixel, c.bytesPerSample), kGeo); });
        EXPECT_THAT(message, HasSubstr(path(c.raster) + c.message)) << c.width << " x " << c.lines;
    }
    EXPECT_FALSE(std::filesystem::exists(path("small.raw.tif")));
    // A failed write leaves no partial file under the final name.
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir())) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"small.raw"});
}
