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
    // Plain byte arithmetic over the whole tile: the compiler vectorises it,
    // and tiles are read whole anyway.
    std::vector<std::int16_t> heights(bytes.size() / kSampleBytes);
    const std::uint8_t* b = bytes.data();
    const std::size_t n = heights.size();
    if (order == ByteOrder::Big) {
        for (std::size_t k = 0; k < n; ++k)
            heights[k] = static_cast<std::int16_t>(static_cast<std::uint16_t>(b[2 * k] << 8 | b[2 * k + 1]));
    } else {
        for (std::size_t k = 0; k < n; ++k)
            heights[k] = static_cast<std::int16_t>(static_cast<std::uint16_t>(b[2 * k] | b[2 * k + 1] << 8));
    }
    return heights;
}

// Reads a whole file into a buffer that may be reused from tile to tile.
void readInto(const std::string& path, std::uint64_t largest, std::vector<std::uint8_t>& bytes) {
    File file(path, File::Mode::Read);
    const std::uint64_t size = file.size();
    if (size > largest)
        throw Error(format("\"%s\" holds %llu bytes, more than a DEM tile", path.c_str(),
                           static_cast<unsigned long long>(size)));
    bytes.resize(static_cast<std::size_t>(size));
    file.readExact(bytes);
}

// A headerless tile: exactly samples x samples int16 values.
void readRawTile(const std::string& path, DemSource source, ByteOrder order, TileBytes& into) {
    const auto samples = static_cast<std::uint64_t>(demTileSamples(source));
    const std::uint64_t expected = samples * samples * kSampleBytes;
    readInto(path, expected + 1, into.bytes);
    if (into.bytes.size() != expected)
        throw Error(format("\"%s\" holds %zu bytes, not the %llu of %llu x %llu %s heights", path.c_str(),
                           into.bytes.size(), static_cast<unsigned long long>(expected),
                           static_cast<unsigned long long>(samples), static_cast<unsigned long long>(samples),
                           demSourceName(source)));
    into.order = order;
    into.side = static_cast<int>(samples);
}

// An uncompressed single-channel signed 16-bit GeoTIFF of samples x samples,
// its strips read in order.
void readAsterTile(const std::string& path, TileBytes& into) {
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
    std::vector<std::uint8_t>& bytes = into.bytes;
    bytes.resize(expected);
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
    into.order = info.byteOrder;
    into.side = kArcSecondSamples;
}


// A raw tile whose side follows from its length: 1201 or 3601 samples.
void readSizedRawTile(const std::string& path, ByteOrder order, TileBytes& into) {
    constexpr std::uint64_t kLargest = std::uint64_t{kArcSecondSamples} * kArcSecondSamples * kSampleBytes;
    readInto(path, kLargest + 1, into.bytes);
    for (const int n : {kSrtm3Samples, kArcSecondSamples})
        if (into.bytes.size() == std::uint64_t{static_cast<unsigned>(n)} * static_cast<unsigned>(n) * kSampleBytes) {
            into.side = n;
            into.order = order;
            return;
        }
    throw Error(format("\"%s\" holds %zu bytes, which is neither 1201 x 1201 nor 3601 x 3601 16-bit heights",
                       path.c_str(), into.bytes.size()));
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
void readBilTile(const std::string& path, TileBytes& into) {
    const std::string header = demHeaderPath(DemSource::Srtm1, path);
    if (!fileExists(header)) return readSizedRawTile(path, ByteOrder::Little, into);
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
    readSizedRawTile(path, order, into);
    if (into.side != rows)
        throw Error(format("\"%s\" holds %d x %d heights, but its header says %lld x %lld", path.c_str(), into.side,
                           into.side, rows, columns));
}

}  // namespace

DemTile readDemTile(const std::string& path, DemSource source, int southLat_deg, int westLon_deg) {
    DemTile tile{source, southLat_deg, westLon_deg, {}};
    TileBytes raw;
    switch (source) {
        case DemSource::Srtm3: readRawTile(path, source, ByteOrder::Big, raw); break;
        case DemSource::Srtm1: readRawTile(path, source, ByteOrder::Little, raw); break;
        case DemSource::Aster: readAsterTile(path, raw); break;
    }
    tile.heights_m = decode(raw.bytes, raw.order);
    return tile;
}

void readTileBytes(const std::string& path, DemSource source, TileBytes& into) {
    const std::string name = splitPath(path).name;
    const bool hgt = name.size() >= 4 && (name.compare(name.size() - 4, 4, ".hgt") == 0 ||
                                          name.compare(name.size() - 4, 4, ".HGT") == 0);
    try {
        // Both SRTM releases are published as ".hgt", told apart by length.
        if (hgt) readSizedRawTile(path, ByteOrder::Big, into);
        else if (source == DemSource::Srtm1) readBilTile(path, into);
        else if (source == DemSource::Aster) readAsterTile(path, into);
        else readRawTile(path, source, ByteOrder::Big, into);
    } catch (const Error& e) {
        // The TIFF reader's own texts do not say which tile it was.
        const std::string text = e.what();
        if (text.find(path) != std::string::npos) throw;
        throw Error(format("\"%s\": %s", path.c_str(), text.c_str()));
    }
}

DemTile readTileFile(const std::string& path, DemSource source, int southLat_deg, int westLon_deg) {
    TileBytes raw;
    readTileBytes(path, source, raw);
    DemTile tile{source, southLat_deg, westLon_deg, decode(raw.bytes, raw.order)};
    if (raw.side != demTileSamples(source)) tile.side = raw.side;
    return tile;
}

}  // namespace tessarin::dem
