// Image file descriptor and line reading.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <complex>
#include <filesystem>
#include <functional>

#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/file.h"
#include "products/alos2.h"
#include "products/ceos_fields.h"
#include "products/ceos_writer.h"
#include "support/product_fixture.h"
#include "support/refusal.h"
#include "support/temp_dir.h"

using namespace tessarin;
using namespace tessarin::products;
using namespace tessarin::testing;
namespace ds = tessarin::products::ceos::descriptor;
using ::testing::HasSubstr;

namespace {

using ImageTest = TempDirTest;

// A blank 720-byte descriptor with the given fields.
std::vector<std::uint8_t> descriptor(int line, int linebytes, int bits, int perGroup, int groupBytes, int prefix,
                                     int dataBytes) {
    std::vector<std::uint8_t> d(720, ' ');
    patchField(d, 0, ds::line, std::to_string(line));
    patchField(d, 0, ds::linebytes, std::to_string(linebytes));
    patchField(d, 0, ds::bitsPerSample, std::to_string(bits));
    patchField(d, 0, ds::samplesPerGroup, std::to_string(perGroup));
    patchField(d, 0, ds::bytesPerGroup, std::to_string(groupBytes));
    patchField(d, 0, ds::lineheader, std::to_string(prefix));
    patchField(d, 0, ds::sarDataBytes, std::to_string(dataBytes));
    return d;
}

std::complex<float> complexSample(std::size_t pol, int n, std::size_t x) {
    return {static_cast<float>(n) * 1000.0f + static_cast<float>(x) + 0.25f * static_cast<float>(pol),
            -static_cast<float>(x) - 0.5f};
}

std::uint16_t amplitudeSample(std::size_t pol, int n, std::size_t x) {
    return static_cast<std::uint16_t>(n * 7919 + static_cast<int>(x) * 13 + static_cast<int>(pol) * 40000);
}

SampleSource testSource() {
    SampleSource s;
    s.complexLine = [](std::size_t pol, int n, std::span<std::complex<float>> out) {
        for (std::size_t x = 0; x < out.size(); ++x) out[x] = complexSample(pol, n, x);
    };
    s.amplitudeLine = [](std::size_t pol, int n, std::span<std::uint16_t> out) {
        for (std::size_t x = 0; x < out.size(); ++x) out[x] = amplitudeSample(pol, n, x);
    };
    return s;
}

}  // namespace

TEST(Alos2Descriptor, FieldsOfALevel11Descriptor) {
    Alos2 a;
    a.DecodeImageFileDescriptorBytes(descriptor(30000, 80544, 32, 2, 8, 544, 80000), "IMG");
    const SceneParameters& p = a.params();
    EXPECT_EQ(p.line, 30000);
    EXPECT_EQ(p.linebytes, 80544);
    EXPECT_EQ(p.bytesPerSample, 4);
    EXPECT_EQ(p.samplesPerGroup, 2);
    EXPECT_EQ(p.bytesPerGroup, 8);
    EXPECT_EQ(p.lineheader, 544);
    EXPECT_EQ(p.sarDataBytes, 80000);
    EXPECT_EQ(p.pixel, 10000);
    EXPECT_EQ(p.fileheader, 720);
}

TEST(Alos2Descriptor, RefusedDescriptorsChangeNothing) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        const char* message;
    };
    const Case cases[] = {
        {"zero bytes per group", descriptor(10, 80544, 32, 2, 0, 544, 80000), "bytes per data group"},
        {"blank bytes per group",
         [] {
             auto d = descriptor(10, 80544, 32, 2, 8, 544, 80000);
             patchField(d, 0, ds::bytesPerGroup, "");
             return d;
         }(),
         "0 bytes per pixel"},
        {"negative lines", descriptor(-5, 80544, 32, 2, 8, 544, 80000), "-5 lines"},
        {"samples beyond the record", descriptor(10, 80543, 32, 2, 8, 544, 80000), "cannot hold a 544-byte prefix"},
        {"negative prefix", descriptor(10, 80544, 32, 2, 8, -544, 80000), "lineheader"},
        {"negative data bytes", descriptor(10, 80544, 32, 2, 8, 544, -8), "SAR data bytes per record"},
        {"cut short", std::vector<std::uint8_t>(719, ' '), "cut short at 719 of 720"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Alos2 a;
        a.DecodeImageFileDescriptorBytes(descriptor(3, 100, 32, 2, 8, 12, 80), "good");
        const SceneParameters before = a.params();
        const std::string message = refusalOf([&] { a.DecodeImageFileDescriptorBytes(c.bytes, "IMG-bad"); });
        EXPECT_THAT(message, HasSubstr(c.message));
        EXPECT_THAT(message, HasSubstr("IMG-bad"));
        EXPECT_TRUE(before == a.params());
    }
}

TEST_F(ImageTest, LinesStartWhereTheDescriptorSays) {
    // 10000 pixels of level 1.1 with a 544-byte prefix: records of 80544 bytes.
    const WrittenProduct w =
        writeCeosProduct(plausibleProduct(dir(), {.level = kLevel11, .pixels = 10000, .lines = 2}), testSource());
    Alos2 a = decodedProduct(w, 0);
    ASSERT_EQ(a.params().linebytes, 80544);
    ImageLineReader reader(w.imagePaths[0], a.params());
    EXPECT_EQ(reader.lineOffset(0), 1264u);
    EXPECT_EQ(reader.lineOffset(1), 81808u);
    // The bytes there are the first sample of each line, big-endian.
    const auto data = readWholeFile(w.imagePaths[0]);
    for (int n = 0; n < 2; ++n) {
        const std::size_t at = static_cast<std::size_t>(reader.lineOffset(n));
        EXPECT_EQ(loadBE<std::uint32_t>(data, at), std::bit_cast<std::uint32_t>(complexSample(0, n, 0).real()));
        EXPECT_EQ(loadBE<std::uint32_t>(data, at + 4), std::bit_cast<std::uint32_t>(complexSample(0, n, 0).imag()));
    }
}

TEST_F(ImageTest, ComplexLinesReadBackInBothPolarisations) {
    ProductSpec product = plausibleProduct(dir(), {.level = kLevel11, .pixels = 33, .lines = 7});
    product.polarisations = {"HH", "HV"};
    const WrittenProduct w = writeCeosProduct(product, testSource());
    for (std::size_t pol = 0; pol < 2; ++pol) {
        Alos2 a = decodedProduct(w, pol);
        std::vector<std::complex<float>> line(33);
        for (int n : {0, 3, 6, 1}) {  // the last line too, and out of order
            ASSERT_TRUE(a.readComplexLine(n, line));
            for (std::size_t x = 0; x < line.size(); ++x) ASSERT_EQ(line[x], complexSample(pol, n, x)) << n << " " << x;
        }
        // Lines outside the image are not read; the buffer comes back zero.
        std::fill(line.begin(), line.end(), std::complex<float>(9.0f, 9.0f));
        EXPECT_FALSE(a.readComplexLine(7, line));
        EXPECT_FALSE(a.readComplexLine(-1, line));
        for (const auto& z : line) EXPECT_EQ(z, std::complex<float>(0.0f, 0.0f));
    }
}

TEST_F(ImageTest, AmplitudeLinesReadBack) {
    const WrittenProduct w =
        writeCeosProduct(plausibleProduct(dir(), {.level = kLevel15, .pixels = 1027, .lines = 5}), testSource());
    Alos2 a = decodedProduct(w, 0);
    EXPECT_EQ(a.params().pixel, 1027);
    std::vector<std::uint16_t> line(1100, 0xABCD);  // longer than a line: the rest comes back zero
    for (int n = 0; n < 5; ++n) {
        ASSERT_TRUE(a.readAmplitudeLine(n, line));
        for (std::size_t x = 0; x < 1027; ++x) ASSERT_EQ(line[x], amplitudeSample(0, n, x));
    }
    EXPECT_EQ(line[1099], 0);
    EXPECT_FALSE(a.readAmplitudeLine(5, line));
    std::vector<std::uint16_t> shortBuffer(1026);
    EXPECT_THROW(a.readAmplitudeLine(0, shortBuffer), Error);
    // Complex samples of 8 bytes do not fit a record laid out for 2-byte ones.
    std::vector<std::complex<float>> complexLine(1027);
    EXPECT_THROW(a.readComplexLine(0, complexLine), Error);
}

TEST_F(ImageTest, ByteLevelSamples) {
    // Hand-made file: one line of one complex sample 3F800000 / 00000000 and
    // the same sample little-endian, which the host-order flag reads as stored.
    const std::string path = dir() + "/IMG-HH-hand";
    auto bytes = descriptor(1, 12 + 8, 32, 2, 8, 12, 8);
    bytes.resize(720 + 12, 0);
    for (std::uint8_t b : {0x3F, 0x80, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00}) bytes.push_back(b);
    writeWholeFile(path, bytes);
    Alos2 a;
    a.setImagePath(path);
    ASSERT_TRUE(a.DecodeImageFileDescriptor(path));
    std::vector<std::complex<float>> z(1);
    ASSERT_TRUE(a.readComplexLine(0, z));
    EXPECT_EQ(z[0], std::complex<float>(1.0f, 2.0f));
    ASSERT_TRUE(a.readComplexLine(0, z, ByteOrder::Little));
    EXPECT_EQ(z[0], std::complex<float>(std::bit_cast<float>(0x0000803Fu), std::bit_cast<float>(0x00000040u)));

    const std::string amp = dir() + "/IMG-HH-hand15";
    auto ab = descriptor(1, 12 + 4, 16, 1, 2, 12, 4);
    ab.resize(720 + 12, 0);
    for (std::uint8_t b : {0x01, 0x02, 0xFF, 0xFE}) ab.push_back(b);
    writeWholeFile(amp, ab);
    a.setImagePath(amp);
    ASSERT_TRUE(a.DecodeImageFileDescriptor(amp));
    std::vector<std::uint16_t> v(2);
    ASSERT_TRUE(a.readAmplitudeLine(0, v));
    EXPECT_EQ(v[0], 258);
    EXPECT_EQ(v[1], 65534);
    ASSERT_TRUE(a.readAmplitudeLine(0, v, ByteOrder::Little));
    EXPECT_EQ(v[0], 513);
}

TEST_F(ImageTest, ATruncatedFileReadsZerosWhereItEnds) {
    const WrittenProduct w =
        writeCeosProduct(plausibleProduct(dir(), {.level = kLevel11, .pixels = 20, .lines = 4}), testSource());
    Alos2 a = decodedProduct(w, 0);  // the descriptor comes from the full file
    const std::uint64_t lastSamples = 720 + 3 * static_cast<std::uint64_t>(a.params().linebytes) + 544;
    std::filesystem::resize_file(w.imagePaths[0], lastSamples + 8 * 6 + 4);  // six samples and half of one
    std::vector<std::complex<float>> line(20, {5.0f, 5.0f});
    ASSERT_TRUE(a.readComplexLine(3, line));
    for (std::size_t x = 0; x < 6; ++x) EXPECT_EQ(line[x], complexSample(0, 3, x));
    EXPECT_EQ(line[6], std::complex<float>(complexSample(0, 3, 6).real(), 0.0f));
    for (std::size_t x = 7; x < 20; ++x) EXPECT_EQ(line[x], std::complex<float>(0.0f, 0.0f)) << x;
    ASSERT_TRUE(a.readComplexLine(2, line));  // whole lines before the cut are intact
    EXPECT_EQ(line[19], complexSample(0, 2, 19));
}

TEST_F(ImageTest, TheReaderFollowsChangedGeometryAndImages) {
    const WrittenProduct w11 =
        writeCeosProduct(plausibleProduct(dir() + "/a", {.level = kLevel11, .pixels = 4, .lines = 3}), testSource());
    const WrittenProduct w15 =
        writeCeosProduct(plausibleProduct(dir() + "/b", {.level = kLevel15, .pixels = 4, .lines = 3}), testSource());
    Alos2 a = decodedProduct(w11, 0);
    std::vector<std::complex<float>> z(4);
    ASSERT_TRUE(a.readComplexLine(1, z));
    a.params().line = 1;  // narrowed through params(): line 1 is now outside
    EXPECT_FALSE(a.readComplexLine(1, z));
    a.setImagePath(w15.imagePaths[0]);
    ASSERT_TRUE(a.DecodeImageFileDescriptor(w15.imagePaths[0]));
    std::vector<std::uint16_t> v(4);
    ASSERT_TRUE(a.readAmplitudeLine(2, v));
    EXPECT_EQ(v[3], amplitudeSample(0, 2, 3));
    Alos2 missing;
    missing.setImagePath(dir() + "/IMG-HH-none");
    missing.params().pixel = 4, missing.params().line = 1;
    EXPECT_THROW(missing.readComplexLine(0, z), Error);
}
