#include "imagefiles/png_parallel.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>

#include "platform/error.h"
#include "platform/format.h"

namespace tessarin {

namespace {

constexpr std::size_t kRgba = 4;
constexpr int kRowsPerBand = 64;
constexpr std::size_t kIdatChunk = 1u << 20;

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void putChunk(std::vector<std::uint8_t>& out, const char* type, const std::uint8_t* data, std::size_t size) {
    put32(out, static_cast<std::uint32_t>(size));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    if (size) out.insert(out.end(), data, data + size);
    const uLong crc = crc32(0L, out.data() + typeAt, static_cast<uInt>(size + 4));
    put32(out, static_cast<std::uint32_t>(crc));
}

// A band of rows filtered with the "up" filter (the row above from the
// previous band where there is one) and deflated without a zlib wrapper.
struct Band {
    int first = 0, last = 0;
    std::vector<std::uint8_t> deflated;
    uLong adler = 1;
    std::size_t rawBytes = 0;
    std::string failure;
};

void deflateBand(Band& band, int width, std::span<const std::uint8_t> rgba, int level, bool final) {
    const std::size_t stride = static_cast<std::size_t>(width) * kRgba;
    std::vector<std::uint8_t> row(stride + 1);
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        band.failure = "zlib could not be initialised";
        return;
    }
    const std::size_t raw = (stride + 1) * static_cast<std::size_t>(band.last - band.first);
    band.rawBytes = raw;
    band.deflated.resize(deflateBound(&z, static_cast<uLong>(raw)) + 64);
    z.next_out = band.deflated.data();
    z.avail_out = static_cast<uInt>(band.deflated.size());
    uLong adler = adler32(0L, nullptr, 0);
    for (int y = band.first; y < band.last; ++y) {
        const std::uint8_t* cur = rgba.data() + static_cast<std::size_t>(y) * stride;
        row[0] = 2;  // up
        if (y == 0) {
            std::memcpy(row.data() + 1, cur, stride);
        } else {
            const std::uint8_t* up = cur - stride;
            for (std::size_t k = 0; k < stride; ++k) row[k + 1] = static_cast<std::uint8_t>(cur[k] - up[k]);
        }
        adler = adler32(adler, row.data(), static_cast<uInt>(row.size()));
        z.next_in = row.data();
        z.avail_in = static_cast<uInt>(row.size());
        const bool lastRow = y + 1 == band.last;
        const int flush = lastRow ? (final ? Z_FINISH : Z_SYNC_FLUSH) : Z_NO_FLUSH;
        const int rc = deflate(&z, flush);
        if (rc == Z_STREAM_ERROR || z.avail_in != 0) {
            band.failure = "zlib could not compress the rows";
            deflateEnd(&z);
            return;
        }
    }
    band.deflated.resize(band.deflated.size() - z.avail_out);
    band.adler = adler;
    deflateEnd(&z);
}

}  // namespace

std::vector<std::uint8_t> encodePngRgbaParallel(int width, int height, std::span<const std::uint8_t> rgba,
                                                PngSpeed speed) {
    if (width < 1 || height < 1 || width > (1 << 24) || height > (1 << 24))
        throw Error(format("a PNG of %d x %d pixels cannot be written", width, height));
    const std::size_t stride = static_cast<std::size_t>(width) * kRgba;
    if (rgba.size() < stride * static_cast<std::size_t>(height))
        throw Error(format("%zu bytes of pixels are fewer than the %zu of a %d x %d PNG", rgba.size(),
                           stride * static_cast<std::size_t>(height), width, height));
    const int level = std::clamp(speed.level, 1, 9);
    const int bands = std::clamp(std::min(speed.threads, (height + kRowsPerBand - 1) / kRowsPerBand), 1, 64);

    std::vector<Band> parts(static_cast<std::size_t>(bands));
    for (int b = 0; b < bands; ++b) {
        parts[static_cast<std::size_t>(b)].first = static_cast<int>(static_cast<long long>(height) * b / bands);
        parts[static_cast<std::size_t>(b)].last = static_cast<int>(static_cast<long long>(height) * (b + 1) / bands);
    }
    {
        std::vector<std::thread> workers;
        for (int b = 1; b < bands; ++b)
            workers.emplace_back(
                [&, b] { deflateBand(parts[static_cast<std::size_t>(b)], width, rgba, level, b + 1 == bands); });
        deflateBand(parts[0], width, rgba, level, bands == 1);
        for (auto& w : workers) w.join();
    }
    for (const Band& b : parts)
        if (!b.failure.empty()) throw Error("PNG encoding failed: " + b.failure);

    std::vector<std::uint8_t> stream;
    std::size_t total = 6;
    for (const Band& b : parts) total += b.deflated.size();
    stream.reserve(total);
    stream.push_back(0x78);  // deflate, 32 KB window
    stream.push_back(0x5E);  // FLEVEL 1; (0x78 << 8 | 0x5E) % 31 == 0
    uLong adler = parts[0].adler;
    for (std::size_t b = 0; b < parts.size(); ++b) {
        stream.insert(stream.end(), parts[b].deflated.begin(), parts[b].deflated.end());
        if (b > 0) adler = adler32_combine(adler, parts[b].adler, static_cast<z_off_t>(parts[b].rawBytes));
    }
    put32(stream, static_cast<std::uint32_t>(adler));

    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out.reserve(stream.size() + stream.size() / kIdatChunk * 12 + 64);
    std::uint8_t ihdr[13];
    const auto w = static_cast<std::uint32_t>(width), h = static_cast<std::uint32_t>(height);
    const std::uint8_t head[13] = {static_cast<std::uint8_t>(w >> 24), static_cast<std::uint8_t>(w >> 16),
                                   static_cast<std::uint8_t>(w >> 8),  static_cast<std::uint8_t>(w),
                                   static_cast<std::uint8_t>(h >> 24), static_cast<std::uint8_t>(h >> 16),
                                   static_cast<std::uint8_t>(h >> 8),  static_cast<std::uint8_t>(h),
                                   8, 6, 0, 0, 0};  // 8 bits, RGBA, deflate, adaptive filters, no interlace
    std::memcpy(ihdr, head, sizeof ihdr);
    putChunk(out, "IHDR", ihdr, sizeof ihdr);
    for (std::size_t at = 0; at < stream.size(); at += kIdatChunk)
        putChunk(out, "IDAT", stream.data() + at, std::min(kIdatChunk, stream.size() - at));
    putChunk(out, "IEND", nullptr, 0);
    return out;
}

}  // namespace tessarin
