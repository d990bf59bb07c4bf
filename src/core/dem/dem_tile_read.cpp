// DEM tiles read from the layouts of their sources.

#include <span>

#include "dem/dem_tile.h"
#include "imagefiles/tif_gen.h"
#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"

namespace tessarin::dem {

namespace {

constexpr std::size_t kSampleBytes = 2;
constexpr int kUncompressed = 1;
constexpr int kSignedIntegers = 2;  // SampleFormat
constexpr int kChunky = 1;          // PlanarConfiguration

std::vector<std::int16_t> decode(std::span<const std::uint8_t> bytes, ByteOrder order) {
    std::vector<std::int16_t> heights(bytes.size() / kSampleBytes);
    for (std::size_t k = 0; k < heights.size(); ++k) heights[k] = load<std::int16_t>(bytes, kSampleBytes * k, order);
    return heights;
}

// A headerless tile: exactly samples x samples int16 values.
std::vector<std::int16_t> readRawTile(const std::string& path, DemSource source, ByteOrder order) {
    const auto samples = static_cast<std::uint64_t>(demTileSamples(source));
    const std::uint64_t expected = samples * samples * kSampleBytes;
    const std::vector<std::uint8_t> bytes = readWholeFile(path, expected + 1);
    if (bytes.size() != expected)
        throw Error(format("\"%s\" holds %zu bytes, not the %llu of %llu x %llu %s heights", path.c_str(),
                           bytes.size(), static_cast<unsigned long long>(expected),
                           static_cast<unsigned long long>(samples), static_cast<unsigned long long>(samples),
                           demSourceName(source)));
    return decode(bytes, order);
}

// An uncompressed single-channel signed 16-bit GeoTIFF of samples x samples,
// its strips read in order.
std::vector<std::int16_t> readAsterTile(const std::string& path) {
    const GeoTiffInfo info = readGeoTiffFile(path);
    const auto samples = static_cast<std::uint32_t>(kArcSecondSamples);
    auto refuse = [&](const std::string& why) {
        return Error(format("\"%s\" is not an ASTER GDEM tile: %s", path.c_str(), why.c_str()));
    };
    if (info.width != samples || info.lines != samples)
        throw refuse(format("it has %u x %u samples, not %u x %u", info.width, info.lines, samples, samples));
    if (info.compression != kUncompressed || info.tiled() || info.planarConfiguration != kChunky)
        throw refuse("only uncompressed strips are read");
    if (info.bytesPerSample != static_cast<int>(kSampleBytes) || info.samplesPerPixel != 1 ||
        info.sampleFormat != kSignedIntegers)
        throw refuse("its samples are not single signed 16-bit integers");
    if (info.stripOffsets.size() != info.stripByteCounts.size())
        throw refuse("its strip offsets and byte counts differ in number");

    const std::uint64_t expected = std::uint64_t{samples} * samples * kSampleBytes;
    File file(path, File::Mode::Read);
    const std::uint64_t fileSize = file.size();
    std::vector<std::uint8_t> bytes(expected);
    std::uint64_t filled = 0;
    for (std::size_t s = 0; s < info.stripOffsets.size(); ++s) {
        const std::uint64_t at = info.stripOffsets[s], count = info.stripByteCounts[s];
        if (count > expected - filled) throw refuse("its strips hold more than the image");
        if (at > fileSize || count > fileSize - at) throw refuse(format("strip %zu lies beyond the end of the file", s));
        file.readAt(at, std::span(bytes).subspan(static_cast<std::size_t>(filled), static_cast<std::size_t>(count)));
        filled += count;
    }
    if (filled != expected)
        throw refuse(format("its strips hold %llu bytes instead of %llu", static_cast<unsigned long long>(filled),
                            static_cast<unsigned long long>(expected)));
    return decode(bytes, info.byteOrder);
}

}  // namespace

DemTile readDemTile(const std::string& path, DemSource source, int southLat_deg, int westLon_deg) {
    DemTile tile{source, southLat_deg, westLon_deg, {}};
    switch (source) {
        case DemSource::Srtm3: tile.heights_m = readRawTile(path, source, ByteOrder::Big); break;
        case DemSource::Srtm1: tile.heights_m = readRawTile(path, source, ByteOrder::Little); break;
        case DemSource::Aster: tile.heights_m = readAsterTile(path); break;
    }
    return tile;
}

}  // namespace tessarin::dem
