#pragma once
// The first image file directory of a TIFF, entry by entry, with bounded
// access to each entry's values. Shared by the GeoTIFF reader and the header
// decode report; nothing here trusts a count before checking it against the
// file.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "imagefiles/byte_source.h"
#include "imagefiles/geo_keys.h"
#include "imagefiles/tif_gen.h"
#include "platform/bytes.h"

namespace tessarin::tiff {

// Field types.
inline constexpr std::uint16_t kByte = 1;
inline constexpr std::uint16_t kAscii = 2;
inline constexpr std::uint16_t kShort = 3;
inline constexpr std::uint16_t kLong = 4;
inline constexpr std::uint16_t kRational = 5;
inline constexpr std::uint16_t kSByte = 6;
inline constexpr std::uint16_t kUndefined = 7;
inline constexpr std::uint16_t kSShort = 8;
inline constexpr std::uint16_t kSLong = 9;
inline constexpr std::uint16_t kSRational = 10;
inline constexpr std::uint16_t kFloat = 11;
inline constexpr std::uint16_t kDouble = 12;

// Tags.
inline constexpr std::uint16_t kNewSubfileType = 254;
inline constexpr std::uint16_t kImageWidth = 256;
inline constexpr std::uint16_t kImageLength = 257;
inline constexpr std::uint16_t kBitsPerSample = 258;
inline constexpr std::uint16_t kCompression = 259;
inline constexpr std::uint16_t kPhotometric = 262;
inline constexpr std::uint16_t kImageDescription = 270;
inline constexpr std::uint16_t kStripOffsets = 273;
inline constexpr std::uint16_t kOrientation = 274;
inline constexpr std::uint16_t kSamplesPerPixel = 277;
inline constexpr std::uint16_t kRowsPerStrip = 278;
inline constexpr std::uint16_t kStripByteCounts = 279;
inline constexpr std::uint16_t kXResolution = 282;
inline constexpr std::uint16_t kYResolution = 283;
inline constexpr std::uint16_t kPlanarConfiguration = 284;
inline constexpr std::uint16_t kResolutionUnit = 296;
inline constexpr std::uint16_t kDateTime = 306;
inline constexpr std::uint16_t kTileWidth = 322;
inline constexpr std::uint16_t kTileLength = 323;
inline constexpr std::uint16_t kTileOffsets = 324;
inline constexpr std::uint16_t kTileByteCounts = 325;
inline constexpr std::uint16_t kExtraSamples = 338;
inline constexpr std::uint16_t kSampleFormat = 339;
inline constexpr std::uint16_t kModelPixelScale = 33550;
inline constexpr std::uint16_t kModelTiepoint = 33922;
inline constexpr std::uint16_t kModelTransformation = 34264;
inline constexpr std::uint16_t kGeoKeyDirectory = 34735;
inline constexpr std::uint16_t kGeoDoubleParams = 34736;
inline constexpr std::uint16_t kGeoAsciiParams = 34737;

inline constexpr std::uint16_t kClassicMagic = 42;
inline constexpr std::uint8_t kBigEndianMark = 77;  // 'M'
inline constexpr std::size_t kHeaderBytes = 8;
inline constexpr std::size_t kEntryBytes = 12;
// The directory is read in one piece of at most this many bytes.
inline constexpr std::uint64_t kMaxDirectoryBytes = 200000;
// No value block of a tag we interpret is larger in a sane file.
inline constexpr std::uint64_t kMaxValueBytes = 16ull << 20;

struct Entry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::array<std::uint8_t, 4> field{};  // the value, or the offset of the values
    std::uint64_t at = 0;                 // file offset of the entry, for messages
};

class Directory {
public:
    // Reads the 8-byte header and the first directory. Throws
    // Error(CTIFGen::kRejectText) for anything but a classic TIFF header, and
    // an Error naming the offset when the directory does not fit the file.
    explicit Directory(ByteSource& in);

    ByteOrder order() const { return order_; }
    std::uint32_t offset() const { return offset_; }
    const std::vector<Entry>& entries() const { return entries_; }

    // Bytes per value of a field type; 0 for a type this reader does not know.
    static std::uint32_t typeSize(std::uint16_t type);

    // The raw bytes of an entry's values, from the field itself when they
    // fit in 4 bytes, else from their offset after checking it.
    std::vector<std::uint8_t> bytes(const Entry& e) const;

    // Unsigned integers (BYTE, SHORT or LONG).
    std::vector<std::uint32_t> integers(const Entry& e) const;
    std::uint32_t firstInteger(const Entry& e) const;
    // Any numeric type as doubles.
    std::vector<double> numbers(const Entry& e) const;
    // ASCII text up to the first zero byte.
    std::string text(const Entry& e) const;
    TiffRational rational(const Entry& e) const;

    // "tag 273 (StripOffsets) at offset 1234" for messages.
    std::string describe(const Entry& e) const;
    // Throws an Error naming the file, the entry and why it is refused.
    [[noreturn]] void fail(const Entry& e, const std::string& why) const;

private:
    ByteSource& in_;
    ByteOrder order_ = ByteOrder::Little;
    std::uint32_t offset_ = 0;
    std::vector<Entry> entries_;
};

const char* tagName(std::uint16_t tag);

}  // namespace tessarin::tiff
