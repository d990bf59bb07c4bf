// 16-bit channels as a 48-bit three-channel TIFF: read back by GDAL and by
// our reader, samples and sizes checked.
#include <gtest/gtest.h>

#include <filesystem>

#include "image_tools.h"
#include "imagefiles/channel_tiff.h"
#include "imagefiles/tif_gen.h"
#include "platform/error.h"
#include "platform/file.h"
#include "support/temp_dir.h"

using namespace tessarin;
using namespace tessarin::testing;

namespace {

using ChannelTiffTest = TempDirTest;

// The sample of channel c at (x, y) of a little-endian 48-bit TIFF with one
// strip per line, found through the strip offsets our reader gives.
std::uint16_t storedSample(const std::vector<std::uint8_t>& file, const GeoTiffInfo& info, int x, int y, int c) {
    const std::size_t at = info.stripOffsets.at(static_cast<std::size_t>(y)) + static_cast<std::size_t>(x * 6 + c * 2);
    return static_cast<std::uint16_t>(file.at(at) | (file.at(at + 1) << 8));
}

}  // namespace

TEST_F(ChannelTiffTest, ThreeChannelsKeepTheirFullSixteenBits) {
    const int w = 5, h = 3;
    std::vector<std::uint16_t> samples;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) samples.push_back(static_cast<std::uint16_t>(1000 * c + 256 * x + 17 * y));
    samples[0] = 65535;  // the largest sample survives too
    writeChannelTiff48(path("rgb.tif"), w, h, 3, samples);

    const nlohmann::json info = gdalInfo(path("rgb.tif"));
    ASSERT_TRUE(info.is_object());
    EXPECT_EQ(info["size"][0], w);
    EXPECT_EQ(info["size"][1], h);
    ASSERT_EQ(info["bands"].size(), 3u);
    for (const auto& band : info["bands"]) EXPECT_EQ(band["type"], "UInt16");
    EXPECT_EQ(gdalPixel(path("rgb.tif"), 4, 2), (std::vector<long>{1024 + 34, 2024 + 34, 3024 + 34}));
    EXPECT_EQ(gdalPixel(path("rgb.tif"), 0, 0), (std::vector<long>{65535, 1000, 2000}));

    const GeoTiffInfo read = readGeoTiffFile(path("rgb.tif"));
    EXPECT_EQ(read.samplesPerPixel, 3);
    EXPECT_EQ(read.bitsPerSample, (std::vector<std::uint32_t>{16, 16, 16}));
    ASSERT_EQ(read.stripOffsets.size(), static_cast<std::size_t>(h));
    const auto file = readWholeFile(path("rgb.tif"));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(storedSample(file, read, x, y, c), samples[static_cast<std::size_t>((y * w + x) * 3 + c)])
                    << x << "," << y << "," << c;
}

TEST_F(ChannelTiffTest, RefusesWhatItCannotWrite) {
    const std::vector<std::uint16_t> samples(12, 5);
    EXPECT_THROW(writeChannelTiff48(path("two.tif"), 2, 3, 2, samples), Error) << "two channels";
    EXPECT_THROW(writeChannelTiff48(path("short.tif"), 3, 3, 3, samples), Error) << "fewer samples than 3 x 3 x 3";
    EXPECT_THROW(writeChannelTiff48(path("empty.tif"), 0, 3, 1, samples), Error);
    EXPECT_THROW(writeChannelTiff48(path("no/such/folder/x.tif"), 2, 2, 3, samples), Error);
    for (const char* name : {"two.tif", "short.tif", "empty.tif"})
        EXPECT_FALSE(std::filesystem::exists(path(name))) << name;
}
