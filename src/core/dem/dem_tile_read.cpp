// DEM tiles read from the layouts of their sources.

#include <cctype>
#include <map>
#include <span>

#include "dem/dem_import.h"

#include "dem/dem_tile.h"
#include "imagefiles/tif_gen.h"
#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"

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


// A raw tile whose side follows from its length: 1201 or 3601 samples.
std::vector<std::int16_t> readSizedRawTile(const std::string& path, ByteOrder order, int& side) {
    constexpr std::uint64_t kLargest = std::uint64_t{kArcSecondSamples} * kArcSecondSamples * kSampleBytes;
    const std::vector<std::uint8_t> bytes = readWholeFile(path, kLargest + 1);
    for (const int n : {kSrtm3Samples, kArcSecondSamples})
        if (bytes.size() == std::uint64_t{static_cast<unsigned>(n)} * static_cast<unsigned>(n) * kSampleBytes) {
            side = n;
            return decode(bytes, order);
        }
    throw Error(format("\"%s\" holds %zu bytes, which is neither 1201 x 1201 nor 3601 x 3601 16-bit heights",
                       path.c_str(), bytes.size()));
}

// The keys of an ESRI ".hdr" in upper case, with their values.
std::map<std::string, std::string> readBilHeader(const std::string& path) {
    std::map<std::string, std::string> keys;
    const std::vector<std::uint8_t> bytes = readWholeFile(path, 1 << 16);
    std::string line;
    auto take = [&] {
        std::size_t k = 0;
        while (k < line.size() && std::isspace(static_cast<unsigned char>(line[k]))) ++k;
        std::size_t e = k;
        while (e < line.size() && !std::isspace(static_cast<unsigned char>(line[e]))) ++e;
        std::string key = line.substr(k, e - k);
        for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        std::string value = line.substr(e);
        const auto first = value.find_first_not_of(" \t\r");
        const auto last = value.find_last_not_of(" \t\r");
        if (!key.empty()) keys[key] = first == std::string::npos ? "" : value.substr(first, last - first + 1);
        line.clear();
    };
    for (std::uint8_t b : bytes) {
        if (b == '\n') take();
        else line.push_back(static_cast<char>(b));
    }
    take();
    return keys;
}

// An SRTM-1 ".bil": its ".hdr", when there, gives the byte order and the
// size, which the file's length must match.
std::vector<std::int16_t> readBilTile(const std::string& path, int& side) {
    const std::string header = demHeaderPath(DemSource::Srtm1, path);
    if (!fileExists(header)) return readSizedRawTile(path, ByteOrder::Little, side);
    const auto keys = readBilHeader(header);
    auto refuse = [&](const std::string& why) {
        return Error(format("\"%s\" does not describe an SRTM-1 tile: %s", header.c_str(), why.c_str()));
    };
    auto number = [&](const char* key, long long fallback) {
        const auto it = keys.find(key);
        if (it == keys.end()) return fallback;
        const auto v = parseInteger(it->second);
        if (!v) throw refuse(format("%s is \"%s\"", key, it->second.c_str()));
        return *v;
    };
    ByteOrder order = ByteOrder::Little;
    if (const auto it = keys.find("BYTEORDER"); it != keys.end()) {
        if (it->second == "M" || it->second == "m") order = ByteOrder::Big;
        else if (it->second != "I" && it->second != "i") throw refuse("BYTEORDER is \"" + it->second + "\"");
    }
    const long long rows = number("NROWS", kArcSecondSamples), columns = number("NCOLS", kArcSecondSamples);
    if (number("NBITS", 16) != 16 || number("NBANDS", 1) != 1) throw refuse("only one band of 16-bit heights is read");
    if (rows != columns || (rows != kSrtm3Samples && rows != kArcSecondSamples))
        throw refuse(format("%lld rows and %lld columns are no one-degree tile of 1201 or 3601 samples", rows, columns));
    const std::vector<std::int16_t> heights = readSizedRawTile(path, order, side);
    if (side != rows)
        throw Error(format("\"%s\" holds %d x %d heights, but its header says %lld x %lld", path.c_str(), side, side,
                           rows, columns));
    return heights;
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

DemTile readTileFile(const std::string& path, DemSource source, int southLat_deg, int westLon_deg) {
    DemTile tile{source, southLat_deg, westLon_deg, {}};
    const std::string name = splitPath(path).name;
    const bool hgt = name.size() >= 4 && (name.compare(name.size() - 4, 4, ".hgt") == 0 ||
                                          name.compare(name.size() - 4, 4, ".HGT") == 0);
    if (hgt) {
        // Both SRTM releases are published as ".hgt", told apart by length.
        tile.heights_m = readSizedRawTile(path, ByteOrder::Big, tile.side);
    } else if (source == DemSource::Srtm1) {
        tile.heights_m = readBilTile(path, tile.side);
    } else {
        try {
            tile = readDemTile(path, source, southLat_deg, westLon_deg);
        } catch (const Error& e) {
            // The TIFF reader's own texts do not say which tile it was.
            const std::string text = e.what();
            if (text.find(path) != std::string::npos) throw;
            throw Error(format("\"%s\": %s", path.c_str(), text.c_str()));
        }
    }
    return tile;
}

}  // namespace tessarin::dem
