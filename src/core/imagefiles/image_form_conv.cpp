#include "imagefiles/image_form_conv.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "imagefiles/tif_gen.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/ui.h"

namespace tessarin::imagefiles {

namespace {

constexpr int kBlockLines = 128;
constexpr int kMaxSide = 1 << 20;
constexpr std::size_t kTileDropChars = 8;
constexpr bool kHostLittle = std::endian::native == std::endian::little;

std::uint32_t swap32(std::uint32_t v) { return __builtin_bswap32(v); }
std::uint16_t swap16(std::uint16_t v) { return __builtin_bswap16(v); }

void swapInPlace4(std::uint8_t* p, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
        std::uint32_t v;
        std::memcpy(&v, p + 4 * k, 4);
        v = swap32(v);
        std::memcpy(p + 4 * k, &v, 4);
    }
}
void swapInPlace2(std::uint8_t* p, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
        std::uint16_t v;
        std::memcpy(&v, p + 2 * k, 2);
        v = swap16(v);
        std::memcpy(p + 2 * k, &v, 2);
    }
}

// The samples of the file are stored big-endian when `big`; these bring them
// to host order (and back).
bool needsSwap(bool big) { return big == kHostLittle; }

void checkSide(const char* what, long long v) {
    if (v <= 0 || v > kMaxSide) throw Error(format("%s must be between 1 and %d (it is %lld)", what, kMaxSide, v));
}

// The input must hold at least the bytes its geometry states.
File openChecked(const std::string& path, std::uint64_t needed) {
    File in(path, File::Mode::Read);
    const std::uint64_t size = in.size();
    if (size < needed)
        throw Error(format("\"%s\" holds %llu bytes; the stated raster needs %llu: nothing was converted", path.c_str(),
                           static_cast<unsigned long long>(size), static_cast<unsigned long long>(needed)));
    return in;
}

std::uint64_t bytesOf(long long a, long long b, long long c, long long d = 1) {
    return static_cast<std::uint64_t>(a) * static_cast<std::uint64_t>(b) * static_cast<std::uint64_t>(c) *
           static_cast<std::uint64_t>(d);
}

void blockStatus(Ui& ui, int block, int blocks, int lineEnd) {
    ui.status(format("blk=%d of %d, ls=%d, le=%d", block, blocks - 1, lineEnd, lineEnd));
}

// Streams the raster in blocks of 128 lines through `transform(in, n, out)`,
// n the samples of the block; `inBytes`/`outBytes` per sample.
template <typename Transform>
void streamBlocks(const ConversionRequest& r, std::size_t inBytes, std::size_t outBytes, const std::string& output,
                  Ui& ui, Transform&& transform) {
    File in = openChecked(r.input, bytesOf(r.pixels, r.lines, static_cast<long long>(inBytes)));
    AtomicFile out(output);
    BusyScope busy(ui);
    const std::size_t P = static_cast<std::size_t>(r.pixels);
    std::vector<std::uint8_t> src(P * kBlockLines * inBytes), dst(P * kBlockLines * outBytes);
    const int blocks = (r.lines + kBlockLines - 1) / kBlockLines;
    for (int b = 0; b < blocks; ++b) {
        const int l0 = b * kBlockLines, l1 = std::min(r.lines, l0 + kBlockLines);
        const std::size_t n = P * static_cast<std::size_t>(l1 - l0);
        in.readExact(std::span(src.data(), n * inBytes));
        transform(src.data(), n, dst.data());
        out.file().write(std::span<const std::uint8_t>(dst.data(), n * outBytes));
        blockStatus(ui, b, blocks, l1);
        ui.progress(l1, r.lines);
    }
    out.commit();
}

template <bool Swap>
std::uint32_t word32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return Swap ? swap32(v) : v;
}
template <bool Swap>
std::uint16_t word16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return Swap ? swap16(v) : v;
}

// Float to short over n samples, branch-free so that it vectorises; counts
// the clamped and the non-finite samples.
template <bool Swap>
void floatsToShorts(const std::uint8_t* in, std::size_t n, std::uint8_t* out, long long& clamped,
                    long long& nonFinite, std::vector<float>& values) {
    values.resize(n);
    float* __restrict f = values.data();
    std::memcpy(f, in, 4 * n);
    if constexpr (Swap) swapInPlace4(reinterpret_cast<std::uint8_t*>(f), n);
    std::int32_t c = 0, nf = 0;  // a block holds fewer than 2^31 samples
    for (std::size_t k = 0; k < n; ++k) {
        const float a = std::fabs(f[k]);
        const std::int32_t finite = a <= std::numeric_limits<float>::max();
        nf += 1 - finite;
        c += finite & (a >= 32768.0f);
    }
    clamped += c;
    nonFinite += nf;
    std::uint8_t* __restrict o = out;
    for (std::size_t k = 0; k < n; ++k) {
        const float v = f[k];
        float limited = v > 32767.0f ? 32767.0f : v;
        limited = limited < -32767.0f ? -32767.0f : limited;
        limited = v == v ? limited : 0.0f;  // NaN gives 0
        std::int16_t s = static_cast<std::int16_t>(static_cast<std::int32_t>(limited));
        if constexpr (Swap) s = static_cast<std::int16_t>(swap16(static_cast<std::uint16_t>(s)));
        std::memcpy(o + 2 * k, &s, 2);
    }
}

template <bool Swap>
void shortsToFloats(const std::uint8_t* in, std::size_t n, std::uint8_t* out) {
    for (std::size_t k = 0; k < n; ++k) {
        const auto v = static_cast<std::int16_t>(word16<Swap>(in + 2 * k));
        std::uint32_t u = std::bit_cast<std::uint32_t>(static_cast<float>(v));
        if constexpr (Swap) u = swap32(u);
        std::memcpy(out + 4 * k, &u, 4);
    }
}

// 8-bit amplitude / mean x 64 of n complex 16-bit samples. I^2 + Q^2 is
// exact in 32 bits (at most 2^31, for I = Q = -32768), kept offset by -2^31
// so that it fits a signed word, and taken to double for the root.
template <bool Swap>
void amplitudeBytes(const std::uint8_t* in, std::size_t n, double scale, std::uint8_t* out,
                    std::vector<std::int32_t>& power) {
    power.resize(n);
    for (std::size_t x = 0; x < n; ++x) {
        const std::int32_t I = static_cast<std::int16_t>(word16<Swap>(in + 4 * x));
        const std::int32_t Q = static_cast<std::int16_t>(word16<Swap>(in + 4 * x + 2));
        power[x] = static_cast<std::int32_t>(static_cast<std::uint32_t>(I * I) + static_cast<std::uint32_t>(Q * Q) -
                                             0x80000000u);
    }
    const std::int32_t* __restrict p = power.data();
    std::uint8_t* __restrict o = out;
    for (std::size_t x = 0; x < n; ++x) {
        const double v = __builtin_sqrt(static_cast<double>(p[x]) + 2147483648.0) * scale;
        o[x] = static_cast<std::uint8_t>(static_cast<std::int32_t>(v < 255.0 ? v : 255.0));
    }
}

// Amplitude of a complex 16-bit sample in double: I = Q = -32768 stays exact.
double amplitudeAt(const std::uint8_t* p, bool swap) {
    std::uint16_t i, q;
    std::memcpy(&i, p, 2);
    std::memcpy(&q, p + 2, 2);
    if (swap) {
        i = swap16(i);
        q = swap16(q);
    }
    const double I = static_cast<std::int16_t>(i), Q = static_cast<std::int16_t>(q);
    return std::sqrt(I * I + Q * Q);
}

ConversionReport shortToTiff(const ConversionRequest& r, const std::string& output, Ui& ui) {
    const bool swap = needsSwap(r.byteOrder == 1);
    const std::size_t P = static_cast<std::size_t>(r.pixels);
    const std::size_t lineBytes = P * 4;
    File in = openChecked(r.input, bytesOf(r.pixels, r.lines, 4));
    ConversionReport rep;
    rep.output = output;
    // Pass 1: the mean amplitude over every 32nd (or 64th) line and every
    // 64th pixel.
    const int lineStep = r.byteOrder == 1 ? 64 : 32;
    std::vector<std::uint8_t> line(lineBytes);
    double sum = 0.0;
    long long n = 0;
    for (int y = 0; y < r.lines; y += lineStep) {
        in.readAt(static_cast<std::uint64_t>(y) * lineBytes, line);
        for (std::size_t x = 0; x < P; x += 64) {
            sum += amplitudeAt(line.data() + 4 * x, swap);
            ++n;
        }
    }
    const double mean = n > 0 ? sum / static_cast<double>(n) : 0.0;
    rep.meanAmplitude = mean;
    rep.zeroMean = !(mean > 0.0);
    const double scale = rep.zeroMean ? 0.0 : 64.0 / mean;
    // Pass 2: 8-bit amplitude, block by block, into a grey TIFF.
    std::vector<std::uint8_t> block(lineBytes * kBlockLines);
    int blockStart = -1;
    std::vector<std::int32_t> power;
    const int blocks = (r.lines + kBlockLines - 1) / kBlockLines;
    BusyScope busy(ui);
    CTIFGen gen;
    writeTiffFile(output, gen, TiffKind::Plain, r.pixels, r.lines, 8, [&](int y, std::span<std::uint8_t> row) {
        const int b = y / kBlockLines;
        if (b * kBlockLines != blockStart) {
            blockStart = b * kBlockLines;
            const int l1 = std::min(r.lines, blockStart + kBlockLines);
            in.readAt(static_cast<std::uint64_t>(blockStart) * lineBytes,
                      std::span(block.data(), static_cast<std::size_t>(l1 - blockStart) * lineBytes));
            blockStatus(ui, b, blocks, l1);
            ui.progress(l1, r.lines);
        }
        const std::uint8_t* src = block.data() + static_cast<std::size_t>(y - blockStart) * lineBytes;
        if (swap)
            amplitudeBytes<true>(src, P, scale, row.data(), power);
        else
            amplitudeBytes<false>(src, P, scale, row.data(), power);
    });
    if (rep.zeroMean)
        ui.message(format("\"%s\": the mean amplitude is 0; the 8-bit image is all zeros", r.input.c_str()));
    return rep;
}

ConversionReport pickPure(const ConversionRequest& r, const std::string& output, Ui& ui) {
    if (r.firstLine < 0 || r.lastLine < r.firstLine || r.lastLine >= r.lines)
        throw Error(format("the line range %d..%d is not within the raster's lines 0..%d", r.firstLine, r.lastLine,
                           r.lines - 1));
    const std::size_t lineBytes = static_cast<std::size_t>(r.pixels) * 8;
    File in = openChecked(r.input, bytesOf(r.pixels, r.lines, 8));
    AtomicFile out(output);
    BusyScope busy(ui);
    // The lines are one contiguous range: copied inside the kernel where it
    // can, else through a buffer.
    std::uint64_t from = static_cast<std::uint64_t>(r.firstLine) * lineBytes;
    const std::uint64_t total = static_cast<std::uint64_t>(r.lastLine + 1 - r.firstLine) * lineBytes;
    std::uint64_t copied = 0;
    out.file().flush();
    const int inFd = ::fileno(in.handle()), outFd = ::fileno(out.file().handle());
    while (copied < total) {
        loff_t src = static_cast<loff_t>(from + copied);
        const ssize_t n = ::copy_file_range(inFd, &src, outFd, nullptr,
                                            static_cast<std::size_t>(std::min<std::uint64_t>(total - copied, 1u << 30)), 0);
        if (n <= 0) break;  // not supported here (or the input ended): the buffered copy does the rest
        copied += static_cast<std::uint64_t>(n);
        ui.progress(static_cast<long long>(copied / lineBytes), r.lastLine + 1 - r.firstLine);
    }
    // Whole lines from here on (a partial line is written again).
    const int done = static_cast<int>(copied / lineBytes);
    if (copied > 0) out.file().seek(static_cast<std::uint64_t>(done) * lineBytes);
    const int linesPerRead = static_cast<int>(std::max<std::size_t>(1, (4u << 20) / lineBytes));
    std::vector<std::uint8_t> buf(lineBytes * static_cast<std::size_t>(linesPerRead));
    for (int y = r.firstLine + done; y <= r.lastLine; y += linesPerRead) {
        const int count = std::min(linesPerRead, r.lastLine + 1 - y);
        const std::span<std::uint8_t> part(buf.data(), lineBytes * static_cast<std::size_t>(count));
        in.readAt(static_cast<std::uint64_t>(y) * lineBytes, part);
        out.file().write(part);
        ui.progress(y + count - r.firstLine, r.lastLine + 1 - r.firstLine);
    }
    out.commit();
    ui.message("pure cut complete");
    return {output};
}

ConversionReport rasterToTile(const ConversionRequest& r, const std::string& output, Ui& ui) {
    checkSide("Pt", r.tilePixels);
    checkSide("Lt", r.tileLines);
    const std::size_t B = static_cast<std::size_t>(r.bytesPerPixel);
    const std::size_t Pr = static_cast<std::size_t>(r.pixels), Pt = static_cast<std::size_t>(r.tilePixels);
    const std::size_t Lt = static_cast<std::size_t>(r.tileLines);
    const std::size_t nx = (Pr + Pt - 1) / Pt;
    const int ny = (r.lines + r.tileLines - 1) / r.tileLines;
    if (bytesOf(static_cast<long long>(nx), static_cast<long long>(Pt), static_cast<long long>(Lt),
                static_cast<long long>(B)) > (1ull << 31))
        throw Error("a row of tiles of more than 2 GiB is beyond this conversion");
    File in = openChecked(r.input, bytesOf(r.pixels, r.lines, static_cast<long long>(B)));
    AtomicFile out(output);
    BusyScope busy(ui);
    const std::size_t lineBytes = Pr * B;
    const std::size_t chunkLines = std::clamp<std::size_t>((4u << 20) / lineBytes, 1, Lt);
    std::vector<std::uint8_t> lines(chunkLines * lineBytes), tileRow(nx * Pt * Lt * B, 0);
    for (int ty = 0; ty < ny; ++ty) {
        const std::size_t y0 = static_cast<std::size_t>(ty) * Lt;
        const std::size_t held = std::min(Lt, static_cast<std::size_t>(r.lines) - y0);
        // Bytes right of the raster are never written and stay zero; the
        // lines below it, in the last tile row, are cleared.
        if (held < Lt) std::fill(tileRow.begin(), tileRow.end(), 0);
        for (std::size_t j0 = 0; j0 < held; j0 += chunkLines) {
            const std::size_t count = std::min(chunkLines, held - j0);
            in.readAt(static_cast<std::uint64_t>(y0 + j0) * lineBytes, std::span(lines.data(), count * lineBytes));
            for (std::size_t j = 0; j < count; ++j)
                for (std::size_t i = 0; i < nx; ++i) {
                    const std::size_t from = i * Pt * B;
                    std::memcpy(tileRow.data() + (i * Lt + j0 + j) * Pt * B, lines.data() + j * lineBytes + from,
                                std::min(Pt * B, lineBytes - from));
                }
        }
        out.file().write(tileRow);
        ui.progress(ty + 1, ny);
    }
    out.commit();
    return {output};
}

ConversionReport tileToRaster(const ConversionRequest& r, const std::string& output, Ui& ui) {
    checkSide("Pt", r.tilePixels);
    checkSide("Lt", r.tileLines);
    checkSide("Nx", r.tilesAcross);
    checkSide("Ny", r.tilesDown);
    const std::size_t B = static_cast<std::size_t>(r.bytesPerPixel);
    const std::size_t Pt = static_cast<std::size_t>(r.tilePixels), Lt = static_cast<std::size_t>(r.tileLines);
    const std::size_t nx = static_cast<std::size_t>(r.tilesAcross);
    const std::size_t tileLineBytes = Pt * B;
    const std::size_t tileBytes = tileLineBytes * Lt;
    File in = openChecked(r.input, bytesOf(r.tilesAcross, r.tilesDown, r.tilePixels, r.tileLines) * B);
    AtomicFile out(output);
    BusyScope busy(ui);
    // Bands of raster lines of about 4 MiB: each tile's share of a band is
    // one contiguous read.
    const std::size_t rasterLineBytes = nx * tileLineBytes;
    const std::size_t bandLines = std::clamp<std::size_t>((4u << 20) / rasterLineBytes, 1, Lt);
    std::vector<std::uint8_t> part(bandLines * tileLineBytes), band(bandLines * rasterLineBytes);
    for (int ty = 0; ty < r.tilesDown; ++ty) {
        for (std::size_t j0 = 0; j0 < Lt; j0 += bandLines) {
            const std::size_t lines = std::min(bandLines, Lt - j0);
            for (std::size_t i = 0; i < nx; ++i) {
                const std::uint64_t at =
                    (static_cast<std::uint64_t>(ty) * nx + i) * tileBytes + j0 * tileLineBytes;
                in.readAt(at, std::span(part.data(), lines * tileLineBytes));
                for (std::size_t j = 0; j < lines; ++j)
                    std::memcpy(band.data() + j * rasterLineBytes + i * tileLineBytes, part.data() + j * tileLineBytes,
                                tileLineBytes);
            }
            out.file().write(std::span<const std::uint8_t>(band.data(), lines * rasterLineBytes));
        }
        ui.progress(ty + 1, r.tilesDown);
    }
    out.commit();
    return {output};
}

}  // namespace

std::int16_t floatToSignedShort(float v) {
    if (std::isnan(v)) return 0;
    if (v >= 32767.0f) return 32767;
    if (v <= -32767.0f) return -32767;
    return static_cast<std::int16_t>(std::trunc(v));
}

std::string conversionOutputPath(ConversionMode mode, const std::string& input) {
    switch (mode) {
        case ConversionMode::FloatSwap:
        case ConversionMode::ShortSwap: return input + "Swap";
        case ConversionMode::FloatToShort: return input + "Fl2SSH";
        case ConversionMode::ShortToFloat: return input + "sh2fl.flt";
        case ConversionMode::ShortToTiff: return input + ".tif";
        case ConversionMode::PickPure: return input + "PureRaster";
        case ConversionMode::RasterToTile: return input + "Tile.dat";
        case ConversionMode::TileToRaster:
            if (input.size() < kTileDropChars)
                throw Error(format("\"%s\": a tile file name needs at least 8 characters", input.c_str()));
            return input.substr(0, input.size() - kTileDropChars) + "raster.dat" + "pureraster.dat";
    }
    throw Error("unknown conversion mode");
}

ConversionReport CImageFormConv::run(const ConversionRequest& r, Ui& ui) {
    const std::string output = conversionOutputPath(r.mode, r.input);
    if (r.mode != ConversionMode::TileToRaster) {
        checkSide("the pixel count", r.pixels);
        checkSide("the line count", r.lines);
    }
    if (r.mode == ConversionMode::RasterToTile || r.mode == ConversionMode::TileToRaster) {
        const int B = r.bytesPerPixel;
        if (B != 1 && B != 2 && B != 4 && B != 8)
            throw Error(format("%d bytes per pixel: choose 1, 2, 4 or 8", B));
    }
    const bool big = r.byteOrder == 1;
    switch (r.mode) {
        case ConversionMode::FloatSwap:
            streamBlocks(r, 4, 4, output, ui, [](const std::uint8_t* in, std::size_t n, std::uint8_t* out) {
                std::memcpy(out, in, n * 4);
                swapInPlace4(out, n);
            });
            return {output};
        case ConversionMode::ShortSwap:
            streamBlocks(r, 2, 2, output, ui, [](const std::uint8_t* in, std::size_t n, std::uint8_t* out) {
                std::memcpy(out, in, n * 2);
                swapInPlace2(out, n);
            });
            return {output};
        case ConversionMode::FloatToShort: {
            ConversionReport rep{output};
            const bool swap = needsSwap(big);
            std::vector<float> values;
            streamBlocks(r, 4, 2, output, ui, [&](const std::uint8_t* in, std::size_t n, std::uint8_t* out) {
                if (swap)
                    floatsToShorts<true>(in, n, out, rep.clamped, rep.nonFinite, values);
                else
                    floatsToShorts<false>(in, n, out, rep.clamped, rep.nonFinite, values);
            });
            std::string text = "Float to sigbed short conversion complete";
            if (rep.clamped || rep.nonFinite)
                text += format("\n%lld samples clamped to -32767..32767, %lld not finite (NaN written as 0)",
                               rep.clamped, rep.nonFinite);
            ui.message(text);
            return rep;
        }
        case ConversionMode::ShortToFloat: {
            const bool swap = needsSwap(big);
            streamBlocks(r, 2, 4, output, ui, [&](const std::uint8_t* in, std::size_t n, std::uint8_t* out) {
                if (swap)
                    shortsToFloats<true>(in, n, out);
                else
                    shortsToFloats<false>(in, n, out);
            });
            ui.message("Signed short to float conversion complete");
            return {output};
        }
        case ConversionMode::ShortToTiff: return shortToTiff(r, output, ui);
        case ConversionMode::PickPure: return pickPure(r, output, ui);
        case ConversionMode::RasterToTile: return rasterToTile(r, output, ui);
        case ConversionMode::TileToRaster: return tileToRaster(r, output, ui);
    }
    throw Error("unknown conversion mode");
}

}  // namespace tessarin::imagefiles
