// Bitmap files (CDib), PNG with transparent black, bitmaps as TIFF; read
// back by libpng, pngcheck and GDAL.
#include <gtest/gtest.h>


#include <filesystem>
#include <functional>

#include "image_tools.h"
#include "imagefiles/byte_source.h"
#include "imagefiles/dib.h"
#include "imagefiles/png_output.h"
#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/file.h"
#include "support/png_read.h"
#include "support/refusal.h"
#include "support/temp_dir.h"

using namespace tessarin;
using namespace tessarin::testing;

namespace {

// A 24-bit picture: a black frame one pixel wide around coloured pixels,
// one of them (red 0, green 0, blue 1), nearly black but not black.
TopDownBitmap framedPicture(int w, int h) {
    TopDownBitmap b = TopDownBitmap::bgr24(w, h);
    for (int y = 1; y < h - 1; ++y) {
        auto row = b.row(y);
        for (int x = 1; x < w - 1; ++x) {
            row[static_cast<std::size_t>(3 * x)] = static_cast<std::uint8_t>(10 + x);      // blue
            row[static_cast<std::size_t>(3 * x + 1)] = static_cast<std::uint8_t>(20 + y);  // green
            row[static_cast<std::size_t>(3 * x + 2)] = 200;                                // red
        }
    }
    auto row = b.row(1);
    row[3] = 1;  // pixel (1, 1): blue 1
    row[4] = 0;
    row[5] = 0;
    return b;
}

using tessarin::testing::readPng;
using tessarin::testing::Rgba;

// A bitmap file written byte by byte, independent of CDib.
std::vector<std::uint8_t> handMadeBmp(int bits, std::uint32_t colorsUsed, int tableEntries, int w, int h) {
    const std::uint32_t stride = static_cast<std::uint32_t>(((bits * w - 1) / 32 + 1) * 4);
    const std::uint32_t offset = 54 + 4 * static_cast<std::uint32_t>(tableEntries);
    ByteWriter b;
    b.text("BM");
    b.le<std::uint32_t>(offset + stride * static_cast<std::uint32_t>(h));
    b.le<std::uint32_t>(0);
    b.le<std::uint32_t>(offset);
    b.le<std::uint32_t>(40);
    b.le<std::int32_t>(w);
    b.le<std::int32_t>(h);
    b.le<std::uint16_t>(1);
    b.le<std::uint16_t>(static_cast<std::uint16_t>(bits));
    b.le<std::uint32_t>(0);
    b.le<std::uint32_t>(0);  // image size 0: from the rows
    b.le<std::int32_t>(2835);
    b.le<std::int32_t>(2835);
    b.le<std::uint32_t>(colorsUsed);
    b.le<std::uint32_t>(0);
    for (int i = 0; i < tableEntries; ++i) {
        b.u8(static_cast<std::uint8_t>(255 - i));  // blue
        b.u8(static_cast<std::uint8_t>(i));        // green
        b.u8(static_cast<std::uint8_t>(i / 2));    // red
        b.u8(0);
    }
    for (std::uint32_t i = 0; i < stride * static_cast<std::uint32_t>(h); ++i) b.u8(static_cast<std::uint8_t>(i * 7));
    return b.take();
}

using BmpPngTest = TempDirTest;

}  // namespace

TEST_F(BmpPngTest, BlackIsTransparentAndNearBlackOpaque) {
    const TopDownBitmap picture = framedPicture(12, 9);
    const std::string png = bitmapToPng(path("x.png"), picture);
    EXPECT_EQ(png, path("x.png"));
    EXPECT_TRUE(std::filesystem::exists(path("x.png")));
    EXPECT_FALSE(std::filesystem::exists(path("x.bmp")));

    const ToolRun check = runTool("pngcheck " + shellQuote(png));
    EXPECT_EQ(check.exitCode, 0) << check.output;
    EXPECT_NE(check.output.find("OK"), std::string::npos) << check.output;
    EXPECT_NE(check.output.find("RGB+alpha"), std::string::npos) << check.output;

    const Rgba image = readPng(png);
    ASSERT_EQ(image.width, 12);
    ASSERT_EQ(image.height, 9);
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 12; ++x) {
            const auto p = image.at(x, y);
            const bool frame = x == 0 || y == 0 || x == 11 || y == 8;
            if (frame) {
                EXPECT_EQ(p[3], 0) << x << "," << y;
            } else {
                EXPECT_EQ(p[3], 255) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(image.at(1, 1), (std::array<std::uint8_t, 4>{0, 0, 1, 255}));
    EXPECT_EQ(image.at(5, 3), (std::array<std::uint8_t, 4>{200, 23, 15, 255}));
}

TEST_F(BmpPngTest, PathWithoutExtensionGivesThePngName) {
    const std::string png = bitmapToPng(path("x"), framedPicture(4, 4));
    EXPECT_EQ(png, path("x.png"));
    EXPECT_TRUE(std::filesystem::exists(path("x.png")));
    EXPECT_FALSE(std::filesystem::exists(path("x.bmp")));
    EXPECT_FALSE(std::filesystem::exists(path("x")));
    const PngPaths p = pngPathsFor("/a/b.png");
    EXPECT_EQ(p.base, "/a/b");
    EXPECT_EQ(p.bmp, "/a/b.bmp");
    EXPECT_EQ(p.png, "/a/b.png");
}

TEST_F(BmpPngTest, GreyBitmapIsNotRgbAndKeepsItsBmp) {
    EXPECT_EQ(refusalOf([&] { bitmapToPng(path("g.png"), TopDownBitmap::grey8(5, 5)); }), "File type is not RGB or PNG");
    EXPECT_TRUE(std::filesystem::exists(path("g.bmp")));
    EXPECT_FALSE(std::filesystem::exists(path("g.png")));
}

TEST_F(BmpPngTest, ThirtyTwoBitBitmapsConvertToo) {
    TopDownBitmap b = TopDownBitmap::bgr24(3, 2);
    b.bitsPerPixel = 32;
    b.pixels.assign(b.stride() * 2, 0);
    b.row(0)[5] = 9;  // pixel (1, 0): blue, green 9, red, alpha
    const Rgba image = readPng(bitmapToPng(path("t"), b));
    ASSERT_EQ(image.width, 3);
    EXPECT_EQ(image.at(0, 0)[3], 0);
    EXPECT_EQ(image.at(1, 0), (std::array<std::uint8_t, 4>{0, 9, 0, 255}));
}

TEST_F(BmpPngTest, ColourTableSizes) {
    // 256 colours with colours-used 0: the table is implied.
    const auto eight = handMadeBmp(8, 0, 256, 5, 3);
    MemorySource s8(eight, "eight.bmp");
    const CDib d8 = CDib::read(s8);
    EXPECT_EQ(d8.colorTableEntries(), 256u);
    ASSERT_EQ(d8.palette.size(), 256u);
    EXPECT_EQ(d8.palette[10].red, 5);
    EXPECT_EQ(d8.palette[10].green, 10);
    EXPECT_EQ(d8.palette[10].blue, 245);
    EXPECT_EQ(d8.paletteVersion, 0x300);
    EXPECT_EQ(d8.imageSize(), 8u * 3u);  // rows of 5 bytes padded to 8

    // Colours-used wins when set.
    const auto sixteen = handMadeBmp(8, 16, 16, 5, 3);
    MemorySource s16(sixteen, "sixteen.bmp");
    EXPECT_EQ(CDib::read(s16).palette.size(), 16u);

    // 24 bits: no table.
    const auto rgb = handMadeBmp(24, 0, 0, 5, 3);
    MemorySource s24(rgb, "rgb.bmp");
    const CDib d24 = CDib::read(s24);
    EXPECT_TRUE(d24.palette.empty());
    EXPECT_EQ(d24.imageSize(), 16u * 3u);
    const TopDownBitmap b = d24.toBitmap();
    // The file's bottom row is the bitmap's last.
    EXPECT_EQ(b.row(2)[0], 0);
    EXPECT_EQ(b.row(2)[1], 7);
    EXPECT_EQ(b.row(0)[0], static_cast<std::uint8_t>(32 * 7));
}

TEST_F(BmpPngTest, WrittenBitmapsReadByGdal) {
    const TopDownBitmap picture = framedPicture(7, 5);
    CDib::fromBitmap(picture).writeFile(path("p.bmp"));
    const nlohmann::json info = gdalInfo(path("p.bmp"));
    ASSERT_TRUE(info.is_object());
    EXPECT_EQ(info["driverShortName"], "BMP");
    EXPECT_EQ(info["size"][0], 7);
    EXPECT_EQ(info["size"][1], 5);
    EXPECT_EQ(info["bands"].size(), 3u);
    EXPECT_EQ(gdalPixel(path("p.bmp"), 3, 2), (std::vector<long>{200, 22, 13}));  // red, green, blue
    EXPECT_EQ(gdalPixel(path("p.bmp"), 0, 0), (std::vector<long>{0, 0, 0}));

    TopDownBitmap grey = TopDownBitmap::grey8(6, 4);
    grey.row(1)[2] = 77;
    CDib::fromBitmap(grey).writeFile(path("g.bmp"));
    const nlohmann::json ginfo = gdalInfo(path("g.bmp"));
    ASSERT_TRUE(ginfo.is_object());
    EXPECT_EQ(ginfo["bands"].size(), 1u);
    EXPECT_EQ(gdalPixel(path("g.bmp"), 2, 1), (std::vector<long>{77}));

    // And our reader gives back the same bitmap.
    const TopDownBitmap back = CDib::readFile(path("p.bmp")).toBitmap();
    EXPECT_EQ(back.width, 7);
    EXPECT_EQ(back.pixels, picture.pixels);
    const CDib g = CDib::readFile(path("g.bmp"));
    EXPECT_EQ(g.palette.size(), 256u);
    EXPECT_EQ(g.toBitmap().pixels, grey.pixels);
}

TEST_F(BmpPngTest, BitmapsAsTiff) {
    bitmapToTiff(path("c.tif"), framedPicture(7, 5));
    const nlohmann::json info = gdalInfo(path("c.tif"));
    ASSERT_TRUE(info.is_object());
    EXPECT_EQ(info["bands"].size(), 3u);
    EXPECT_EQ(gdalPixel(path("c.tif"), 3, 2), (std::vector<long>{200, 22, 13}));

    TopDownBitmap grey = TopDownBitmap::grey8(6, 4);
    grey.row(3)[5] = 140;
    bitmapToTiff(path("g.tif"), grey);
    const nlohmann::json ginfo = gdalInfo(path("g.tif"));
    ASSERT_TRUE(ginfo.is_object());
    EXPECT_EQ(ginfo["bands"].size(), 1u);
    EXPECT_EQ(gdalPixel(path("g.tif"), 5, 3), (std::vector<long>{140}));

    // A colour palette is applied.
    TopDownBitmap pal = TopDownBitmap::grey8(2, 1);
    pal.palette[3] = {10, 20, 30, 0};
    pal.row(0)[1] = 3;
    bitmapToTiff(path("p.tif"), pal);
    EXPECT_EQ(gdalPixel(path("p.tif"), 1, 0), (std::vector<long>{10, 20, 30}));
}

TEST_F(BmpPngTest, MalformedBitmapsAreRefused) {
    const auto good = handMadeBmp(8, 0, 256, 5, 3);
    const auto put32 = [](std::vector<std::uint8_t>& d, std::size_t at, std::uint32_t v) {
        store<std::uint32_t>(d, at, v, ByteOrder::Little);
    };
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> damage;
        const char* message;
    };
    const Case cases[] = {
        {"shorter than the file header", [](auto& d) { d = {'B', 'M', 0}; }, "error"},
        {"not BM", [](auto& d) { d[1] = 'X'; }, "error"},
        {"information header of 12 bytes (OS/2)", [&](auto& d) { put32(d, 14, 12); }, "error"},
        {"pixel offset beyond the file", [&](auto& d) { put32(d, 10, 0x7FFFFFF0u); }, "error"},
        {"colour table larger than the header", [&](auto& d) { put32(d, 46, 0xFFFFFFFFu); }, "error"},
        {"image size beyond the file", [&](auto& d) { put32(d, 34, 0x40000000u); }, "Read error"},
        {"one byte short", [](auto& d) { d.pop_back(); }, "Read error"},
        {"negative width", [](auto& d) { store<std::int32_t>(d, 18, -5, ByteOrder::Little); }, "error"},
    };
    for (const Case& c : cases) {
        auto data = good;
        c.damage(data);
        MemorySource s(data, "bad.bmp");
        EXPECT_EQ(refusalOf([&] { CDib::read(s); }), c.message) << c.what;
    }
    // Writing where no file can be made.
    EXPECT_EQ(refusalOf([&] { CDib::fromBitmap(framedPicture(3, 3)).writeFile(path("no/such/folder/x.bmp")); }),
              "write error");
}

TEST_F(BmpPngTest, TopDownBitmapFileRowsStayInOrder) {
    auto d = handMadeBmp(24, 0, 0, 2, 2);
    store<std::int32_t>(d, 22, -2, ByteOrder::Little);
    MemorySource s(d, "topdown.bmp");
    const TopDownBitmap b = CDib::read(s).toBitmap();
    EXPECT_EQ(b.height, 2);
    EXPECT_EQ(b.row(0)[1], 7);  // the file's first row stays on top
}
