#include "imagefiles/tiff_directory.h"

#include <algorithm>
#include <cmath>

#include "platform/error.h"
#include "platform/format.h"

namespace tessarin::tiff {

const char* tagName(std::uint16_t tag) {
    switch (tag) {
        case kNewSubfileType: return "NewSubfileType";
        case kImageWidth: return "ImageWidth";
        case kImageLength: return "ImageLength";
        case kBitsPerSample: return "BitsPerSample";
        case kCompression: return "Compression";
        case kPhotometric: return "PhotometricInterpretation";
        case kImageDescription: return "ImageDescription";
        case kStripOffsets: return "StripOffsets";
        case kOrientation: return "Orientation";
        case kSamplesPerPixel: return "SamplesPerPixel";
        case kRowsPerStrip: return "RowsPerStrip";
        case kStripByteCounts: return "StripByteCounts";
        case kXResolution: return "XResolution";
        case kYResolution: return "YResolution";
        case kPlanarConfiguration: return "PlanarConfiguration";
        case kResolutionUnit: return "ResolutionUnit";
        case kDateTime: return "DateTime";
        case kTileWidth: return "TileWidth";
        case kTileLength: return "TileLength";
        case kTileOffsets: return "TileOffsets";
        case kTileByteCounts: return "TileByteCounts";
        case kSampleFormat: return "SampleFormat";
        case kModelPixelScale: return "ModelPixelScaleTag";
        case kModelTiepoint: return "ModelTiepointTag";
        case kModelTransformation: return "ModelTransformationTag";
        case kGeoKeyDirectory: return "GeoKeyDirectoryTag";
        case kGeoDoubleParams: return "GeoDoubleParamsTag";
        case kGeoAsciiParams: return "GeoAsciiParamsTag";
        default: return "unknown";
    }
}

Directory::Directory(ByteSource& in) : in_(in) {
    if (in.size() < kHeaderBytes) throw Error(CTIFGen::kRejectText);
    std::array<std::uint8_t, kHeaderBytes> header{};
    in.readAt(0, header, "the TIFF header");
    // "MM" is big-endian; anything else is taken as little-endian and must
    // then still show 42.
    order_ = header[0] == kBigEndianMark ? ByteOrder::Big : ByteOrder::Little;
    if (load<std::uint16_t>(header, 2, order_) != kClassicMagic) throw Error(CTIFGen::kRejectText);
    offset_ = load<std::uint32_t>(header, 4, order_);

    if (!in.fits(offset_, 2))
        throw Error(format("\"%s\": the image file directory offset %u lies beyond the end of the file (%llu bytes)",
                           in.name().c_str(), offset_, static_cast<unsigned long long>(in.size())));
    const std::uint64_t available = std::min<std::uint64_t>(kMaxDirectoryBytes, in.size() - offset_);
    std::vector<std::uint8_t> ifd(static_cast<std::size_t>(available));
    in.readAt(offset_, ifd, "the image file directory");
    const std::uint16_t count = load<std::uint16_t>(ifd, 0, order_);
    const std::uint64_t needed = 2 + std::uint64_t{count} * kEntryBytes;
    if (needed > available)
        throw Error(format("\"%s\": the image file directory at offset %u declares %u entries (%llu bytes), but only "
                           "%llu bytes follow it",
                           in.name().c_str(), offset_, count, static_cast<unsigned long long>(needed),
                           static_cast<unsigned long long>(available)));
    if (count == 0)
        throw Error(format("\"%s\": the image file directory at offset %u holds no entries", in.name().c_str(), offset_));
    entries_.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t p = 2 + i * kEntryBytes;
        Entry e;
        e.tag = load<std::uint16_t>(ifd, p, order_);
        e.type = load<std::uint16_t>(ifd, p + 2, order_);
        e.count = load<std::uint32_t>(ifd, p + 4, order_);
        std::copy_n(ifd.begin() + static_cast<std::ptrdiff_t>(p + 8), 4, e.field.begin());
        e.at = offset_ + p;
        entries_.push_back(e);
    }
}

std::uint32_t Directory::typeSize(std::uint16_t type) {
    switch (type) {
        case kByte: case kAscii: case kSByte: case kUndefined: return 1;
        case kShort: case kSShort: return 2;
        case kLong: case kSLong: case kFloat: return 4;
        case kRational: case kSRational: case kDouble: return 8;
        default: return 0;
    }
}

std::string Directory::describe(const Entry& e) const {
    return format("tag %u (%s) at offset %llu", e.tag, tagName(e.tag), static_cast<unsigned long long>(e.at));
}

void Directory::fail(const Entry& e, const std::string& why) const {
    throw Error(format("\"%s\": %s: %s", in_.name().c_str(), describe(e).c_str(), why.c_str()));
}

std::vector<std::uint8_t> Directory::bytes(const Entry& e) const {
    const std::uint32_t size = typeSize(e.type);
    if (size == 0) fail(e, format("unknown field type %u", e.type));
    const std::uint64_t total = std::uint64_t{e.count} * size;
    if (total <= 4) return std::vector<std::uint8_t>(e.field.begin(), e.field.begin() + static_cast<std::ptrdiff_t>(total));
    const std::uint32_t at = load<std::uint32_t>(e.field, 0, order_);
    if (total > kMaxValueBytes)
        fail(e, format("%u values (%llu bytes) are more than this reader accepts", e.count,
                       static_cast<unsigned long long>(total)));
    if (!in_.fits(at, total))
        fail(e, format("%u values (%llu bytes) at offset %u run past the end of the file (%llu bytes)", e.count,
                       static_cast<unsigned long long>(total), at, static_cast<unsigned long long>(in_.size())));
    std::vector<std::uint8_t> data(static_cast<std::size_t>(total));
    in_.readAt(at, data, tagName(e.tag));
    return data;
}

std::vector<std::uint32_t> Directory::integers(const Entry& e) const {
    if (e.type != kByte && e.type != kShort && e.type != kLong)
        fail(e, format("field type %u where an unsigned integer belongs", e.type));
    const std::vector<std::uint8_t> raw = bytes(e);
    std::vector<std::uint32_t> values(e.count);
    for (std::size_t i = 0; i < values.size(); ++i) {
        switch (e.type) {
            case kByte: values[i] = raw[i]; break;
            case kShort: values[i] = load<std::uint16_t>(raw, i * 2, order_); break;
            default: values[i] = load<std::uint32_t>(raw, i * 4, order_); break;
        }
    }
    return values;
}

std::uint32_t Directory::firstInteger(const Entry& e) const {
    if (e.count == 0) fail(e, "no value");
    if (e.type != kByte && e.type != kShort && e.type != kLong)
        fail(e, format("field type %u where an unsigned integer belongs", e.type));
    // The first value always sits at the start of the field or of the block.
    Entry first = e;
    first.count = 1;
    if (std::uint64_t{e.count} * typeSize(e.type) > 4) {
        const std::uint32_t at = load<std::uint32_t>(e.field, 0, order_);
        std::array<std::uint8_t, 4> v{};
        const std::uint32_t size = typeSize(e.type);
        if (!in_.fits(at, size)) fail(e, format("the value at offset %u lies beyond the end of the file", at));
        in_.readAt(at, std::span<std::uint8_t>(v.data(), size), tagName(e.tag));
        first.field = v;
    }
    return integers(first).front();
}

std::vector<double> Directory::numbers(const Entry& e) const {
    const std::vector<std::uint8_t> raw = bytes(e);
    std::vector<double> values(e.count);
    for (std::size_t i = 0; i < values.size(); ++i) {
        switch (e.type) {
            case kByte: case kUndefined: values[i] = raw[i]; break;
            case kSByte: values[i] = static_cast<std::int8_t>(raw[i]); break;
            case kShort: values[i] = load<std::uint16_t>(raw, i * 2, order_); break;
            case kSShort: values[i] = load<std::int16_t>(raw, i * 2, order_); break;
            case kLong: values[i] = load<std::uint32_t>(raw, i * 4, order_); break;
            case kSLong: values[i] = load<std::int32_t>(raw, i * 4, order_); break;
            case kFloat: values[i] = load<float>(raw, i * 4, order_); break;
            case kDouble: values[i] = load<double>(raw, i * 8, order_); break;
            case kRational: {
                const double n = load<std::uint32_t>(raw, i * 8, order_);
                const double d = load<std::uint32_t>(raw, i * 8 + 4, order_);
                values[i] = d != 0.0 ? n / d : 0.0;
                break;
            }
            case kSRational: {
                const double n = load<std::int32_t>(raw, i * 8, order_);
                const double d = load<std::int32_t>(raw, i * 8 + 4, order_);
                values[i] = d != 0.0 ? n / d : 0.0;
                break;
            }
            default: fail(e, format("field type %u where a number belongs", e.type));
        }
    }
    return values;
}

std::string Directory::text(const Entry& e) const {
    if (e.type != kAscii && e.type != kByte && e.type != kUndefined)
        fail(e, format("field type %u where text belongs", e.type));
    const std::vector<std::uint8_t> raw = bytes(e);
    const auto end = std::find(raw.begin(), raw.end(), std::uint8_t{0});
    return std::string(raw.begin(), end);
}

TiffRational Directory::rational(const Entry& e) const {
    if (e.count == 0) fail(e, "no value");
    if (e.type == kRational) {
        Entry first = e;
        first.count = 1;
        const std::vector<std::uint8_t> raw = bytes(first);
        return {load<std::uint32_t>(raw, 0, order_), load<std::uint32_t>(raw, 4, order_)};
    }
    return {firstInteger(e), 1};
}

}  // namespace tessarin::tiff
