#include "tiles/tiling.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <thread>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/ui.h"

namespace tessarin::tiles {

namespace {

constexpr int kChunkLines = 64;                    // lines read and packed at a time
constexpr std::size_t kComplexSampleBytes = 8;    // big-endian float I, float Q
constexpr std::size_t kAmplitudeSampleBytes = 2;  // big-endian uint16
// Limits that keep a lying descriptor from sizing absurd buffers.
constexpr int kMaxScenePixels = 1 << 17;
constexpr int kMaxSceneLines = 1 << 21;

void checkLayout(const ImageLayout& image, std::size_t sampleBytes, const ConversionOptions& options) {
    const auto bad = [&](const char* what) {
        return Error(format("cannot tile \"%s\": %s (pixel %d, line %d, line record %d bytes with a %d-byte prefix)",
                            image.imagePath.c_str(), what, image.pixel, image.line, image.linebytes, image.lineheader));
    };
    if (image.pixel <= 0 || image.line <= 0) throw bad("the image has no samples");
    if (image.pixel > kMaxScenePixels || image.line > kMaxSceneLines) throw bad("the image size is beyond any product");
    if (image.fileheader < 0 || image.lineheader < 0 || image.linebytes <= 0) throw bad("the record sizes are invalid");
    if (static_cast<long long>(image.lineheader) + static_cast<long long>(image.pixel) * static_cast<long long>(sampleBytes) >
        image.linebytes)
        throw bad("the samples of a line do not fit its record");
    if (options.tpix <= 0 || options.tlin <= 0 || options.tpix > 8192 || options.tlin > 8192)
        throw bad("the tile size is invalid");
}

int threadCount(const ConversionOptions& options) {
    if (options.threads > 0) return std::min(options.threads, 8);
    const unsigned hw = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(hw, 1u, 4u));
}

// Reads `count` bytes at `offset`; zero-fills what the file does not hold.
void readOrZero(int fd, std::uint8_t* out, std::size_t count, std::uint64_t offset) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(fd, out + done, count - done, static_cast<off_t>(offset + done));
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    if (done < count) std::memset(out + done, 0, count - done);
}

// Splits [0, pixel) into `parts` ranges that begin on quick-look bucket
// boundaries, so that every accumulator cell is summed by one thread in scan
// order, exactly as a single pass would.
std::vector<int> columnSplits(int pixel, int bucket, int parts) {
    std::vector<int> cuts{0};
    for (int p = 1; p < parts; ++p) {
        int c = static_cast<int>(static_cast<long long>(pixel) * p / parts);
        c -= c % bucket;
        if (c > cuts.back() && c < pixel) cuts.push_back(c);
    }
    cuts.push_back(pixel);
    return cuts;
}

template <typename Fn>
void runParallel(const std::vector<int>& cuts, Fn&& fn) {
    const std::size_t parts = cuts.size() - 1;
    if (parts == 1) {
        fn(cuts[0], cuts[1]);
        return;
    }
    std::vector<std::thread> workers;
    for (std::size_t p = 1; p < parts; ++p) workers.emplace_back([&, p] { fn(cuts[p], cuts[p + 1]); });
    fn(cuts[0], cuts[1]);
    for (auto& w : workers) w.join();
}

// Column -> quick-look cell column, or -1 past the 256 cells.
std::vector<int> cellColumns(int pixel, int bucket, bool clamp) {
    std::vector<int> cols(static_cast<std::size_t>(pixel));
    for (int x = 0; x < pixel; ++x) {
        int c = x / bucket;
        if (c >= kQuickLookSize) c = clamp ? kQuickLookSize - 1 : -1;
        cols[static_cast<std::size_t>(x)] = c;
    }
    return cols;
}

void writeQuickLook(AtomicFile& out, const std::vector<double>& cells) {
    const auto bytes = quickLookImage(cells);
    out.file().write(bytes);
}

// Checks the layout and fills in what both conversions report.
ConversionResult startConversion(const ImageLayout& image, std::size_t sampleBytes, const std::string& tilePath,
                                 const std::string& quickLookPath, const ConversionOptions& options) {
    checkLayout(image, sampleBytes, options);
    ConversionResult result;
    result.grid = TileGrid::make(image.pixel, image.line, options.tpix, options.tlin);
    result.bucketX = image.pixel / kQuickLookSize;
    result.bucketY = image.line / kQuickLookSize;
    result.tilePath = tilePath;
    result.quickLookPath = quickLookPath;
    return result;
}

// Big-endian (or host-order) floats to host floats; vectorises.
void floatsFrom(const std::uint8_t* src, std::size_t count, bool bigEndian, float* out) {
    if (!bigEndian) {
        std::memcpy(out, src, count * sizeof(float));
        return;
    }
    for (std::size_t k = 0; k < count; ++k) {
        std::uint32_t u;
        std::memcpy(&u, src + 4 * k, sizeof u);
        out[k] = std::bit_cast<float>(__builtin_bswap32(u));
    }
}

// 16-bit samples to host order; vectorises.
void valuesFrom(const std::uint8_t* src, std::size_t count, bool bigEndian, std::uint16_t* out) {
    std::memcpy(out, src, count * sizeof(std::uint16_t));
    if (bigEndian)
        for (std::size_t k = 0; k < count; ++k) out[k] = __builtin_bswap16(out[k]);
}

}  // namespace

int effectiveBucket(int bucket) { return bucket > 0 ? bucket : 1; }

std::vector<std::uint8_t> quickLookImage(const std::vector<double>& cells) {
    std::vector<std::uint8_t> out(cells.size(), 0);
    if (cells.empty()) return out;
    double sum = 0.0;
    double sum2 = 0.0;
    for (double c : cells) {
        sum += c;
        sum2 += c * c;
    }
    const double n = static_cast<double>(cells.size());
    const double m = sum / n;
    if (!(m > 0.0) || !std::isfinite(m)) return out;  // empty scene: nothing to scale by
    const double variance = std::max(0.0, sum2 / n - m * m);
    const double s = std::sqrt(variance);
    const double lo = std::max(0.0, m - 3.0 * s);
    for (std::size_t k = 0; k < cells.size(); ++k) {
        double v = std::trunc((cells[k] - lo) / m * 64.0);
        if (!(v >= 0.0)) v = 0.0;
        if (v > 255.0) v = 255.0;
        out[k] = static_cast<std::uint8_t>(v);
    }
    return out;
}

ConversionResult convertComplex(const ImageLayout& image, const std::string& tilePath, const std::string& quickLookPath,
                                Ui& ui, const ConversionOptions& options) {
    const ConversionResult result = startConversion(image, kComplexSampleBytes, tilePath, quickLookPath, options);
    const TileGrid& g = result.grid;
    const int bx = effectiveBucket(result.bucketX);
    const int by = effectiveBucket(result.bucketY);

    File in(image.imagePath, File::Mode::Read);
    const int fd = ::fileno(in.handle());
    AtomicFile tileOut(tilePath);
    AtomicFile quickOut(quickLookPath);
    BusyScope busy(ui);

    const std::size_t pixel = static_cast<std::size_t>(image.pixel);
    const std::size_t tpix = static_cast<std::size_t>(g.tpix);
    const std::size_t rawLineBytes = pixel * kComplexSampleBytes;
    // Lines are read and packed in chunks: one chunk is read while the
    // previous one is packed. The packed pixels gather in one strip laid out
    // as the tile file holds it; every buffer is allocated once.
    const int chunkLines = std::min(g.tlin, kChunkLines);
    std::vector<std::uint8_t> raw[2];
    for (auto& r : raw) r.resize(rawLineBytes * static_cast<std::size_t>(chunkLines));
    std::vector<std::uint8_t> strip(g.tileBytes(TileKind::Complex) * static_cast<std::size_t>(g.ntx));
    std::vector<double> cells(kQuickLookBytes, 0.0);
    const std::vector<int> cellCol = cellColumns(image.pixel, bx, false);
    const std::vector<int> cuts = columnSplits(image.pixel, bx, threadCount(options));
    struct Scratch {
        std::vector<float> iq;
        std::vector<double> magnitudes;
        std::vector<std::uint8_t> packed;
    };
    std::vector<Scratch> scratch(cuts.size() - 1);
    for (std::size_t part = 0; part + 1 < cuts.size(); ++part) {
        const std::size_t n = static_cast<std::size_t>(cuts[part + 1] - cuts[part]);
        scratch[part] = {std::vector<float>(2 * n), std::vector<double>(n), std::vector<std::uint8_t>(3 * n)};
    }

    // Chunk c holds scene lines c * chunkLines .. + chunkLines - 1 of the
    // strip it falls in (chunks never straddle strips: chunkLines divides tlin
    // or equals it).
    const int chunksPerStrip = (g.tlin + chunkLines - 1) / chunkLines;
    const long long chunkCount = static_cast<long long>(g.nty) * chunksPerStrip;
    const auto firstLine = [&](long long c) {
        return (c / chunksPerStrip) * g.tlin + (c % chunksPerStrip) * chunkLines;
    };
    const auto chunkEnd = [&](long long c) {
        const long long stripEnd = (c / chunksPerStrip + 1) * static_cast<long long>(g.tlin);
        return std::min({firstLine(c) + chunkLines, stripEnd, static_cast<long long>(image.line)});
    };
    const auto readChunk = [&](long long c, std::vector<std::uint8_t>& into) {
        for (long long Y = firstLine(c); Y < chunkEnd(c); ++Y)
            readOrZero(fd, into.data() + static_cast<std::size_t>(Y - firstLine(c)) * rawLineBytes, rawLineBytes,
                       static_cast<std::uint64_t>(image.fileheader) + static_cast<std::uint64_t>(image.lineheader) +
                           static_cast<std::uint64_t>(Y) * static_cast<std::uint64_t>(image.linebytes));
    };
    const auto packChunk = [&](long long c, const std::vector<std::uint8_t>& from) {
        const long long stripTop = (c / chunksPerStrip) * static_cast<long long>(g.tlin);
        runParallel(cuts, [&](int x0, int x1) {
            const std::size_t which = static_cast<std::size_t>(
                std::lower_bound(cuts.begin(), cuts.end(), x0) - cuts.begin());
            Scratch& sc = scratch[which];
            const std::size_t n = static_cast<std::size_t>(x1 - x0);
            for (long long Y = firstLine(c); Y < chunkEnd(c); ++Y) {
                const std::size_t y = static_cast<std::size_t>(Y - stripTop);  // line inside the tile row
                const std::uint8_t* src = from.data() + static_cast<std::size_t>(Y - firstLine(c)) * rawLineBytes +
                                          static_cast<std::size_t>(x0) * kComplexSampleBytes;
                floatsFrom(src, 2 * n, image.bigEndian, sc.iq.data());
                std::fill(sc.magnitudes.begin(), sc.magnitudes.end(), 0.0);
                packComplexLine(sc.iq.data(), n, sc.packed.data(), sc.magnitudes.data(), options.equalizingval,
                                options.phaseSign);
                // Scatter the packed line into its tiles.
                for (std::size_t X = static_cast<std::size_t>(x0); X < static_cast<std::size_t>(x1);) {
                    const std::size_t kx = X / tpix;
                    const std::size_t end = std::min(static_cast<std::size_t>(x1), (kx + 1) * tpix);
                    std::uint8_t* tileRow = strip.data() + kx * g.tileBytes(TileKind::Complex) +
                                            (y * tpix + (X - kx * tpix)) * kComplexPixelBytes;
                    std::memcpy(tileRow, sc.packed.data() + (X - static_cast<std::size_t>(x0)) * kComplexPixelBytes,
                                (end - X) * kComplexPixelBytes);
                    X = end;
                }
                // Quick-look: cells outside the 256 x 256 are skipped.
                const long long row = Y / by;
                if (row < kQuickLookSize) {
                    double* cellRow = cells.data() + static_cast<std::size_t>(row) * kQuickLookSize;
                    for (std::size_t k = 0; k < n; ++k) {
                        const int cell = cellCol[static_cast<std::size_t>(x0) + k];
                        if (cell >= 0) cellRow[cell] += sc.magnitudes[k];
                    }
                }
            }
        });
    };
    // Pixels outside the scene (right of the last column, below the last
    // line) are zero bytes in the tile file.
    const auto prepareStrip = [&](int ky) {
        const bool partialStrip = static_cast<long long>(ky + 1) * g.tlin > image.line;
        if (pixel % tpix != 0 || partialStrip) std::memset(strip.data(), 0, strip.size());
    };

    prepareStrip(0);
    readChunk(0, raw[0]);
    for (long long c = 0; c < chunkCount; ++c) {
        // Pack this chunk while the next one is read.
        std::thread packer([&, c] { packChunk(c, raw[c % 2]); });
        if (c + 1 < chunkCount) readChunk(c + 1, raw[(c + 1) % 2]);
        packer.join();
        if ((c + 1) % chunksPerStrip == 0) {
            const int ky = static_cast<int>(c / chunksPerStrip);
            for (int kx = 0; kx < g.ntx; ++kx) ui.status(format("kpy=%d of %d, kx %d of %d", ky, g.nty, kx, g.ntx));
            tileOut.file().write(strip);
            ui.progress(ky + 1, g.nty);
            if (ky + 1 < g.nty) prepareStrip(ky + 1);
        }
    }

    writeQuickLook(quickOut, cells);
    tileOut.commit();
    quickOut.commit();
    ui.status("End tiling image");
    return result;
}

ConversionResult convertAmplitude(const ImageLayout& image, const std::string& tilePath,
                                  const std::string& quickLookPath, Ui& ui, const ConversionOptions& options) {
    const ConversionResult result = startConversion(image, kAmplitudeSampleBytes, tilePath, quickLookPath, options);
    const TileGrid& g = result.grid;
    const int bx = effectiveBucket(result.bucketX);
    const int by = effectiveBucket(result.bucketY);

    File in(image.imagePath, File::Mode::Read);
    const int fd = ::fileno(in.handle());
    AtomicFile tileOut(tilePath);
    AtomicFile quickOut(quickLookPath);
    BusyScope busy(ui);

    const std::size_t pixel = static_cast<std::size_t>(image.pixel);
    const std::size_t tpix = static_cast<std::size_t>(g.tpix);
    const std::size_t rawLineBytes = pixel * kAmplitudeSampleBytes;
    std::vector<std::uint8_t> raw(rawLineBytes);
    std::vector<std::uint16_t> values(pixel);
    std::vector<std::uint8_t> strip(g.tileBytes(TileKind::Amplitude) * static_cast<std::size_t>(g.ntx));
    std::vector<double> cells(kQuickLookBytes, 0.0);
    // Column ranges of the quick-look cells; columns past the 256 cells are
    // clamped into the last one.
    const std::size_t cellWidth = static_cast<std::size_t>(bx);
    const std::size_t usedCells = std::min<std::size_t>(kQuickLookSize, (pixel + cellWidth - 1) / cellWidth);

    for (int ky = 0; ky < g.nty; ++ky) {
        const bool partialStrip = static_cast<long long>(ky + 1) * g.tlin > image.line;
        if (pixel % tpix != 0 || partialStrip) std::memset(strip.data(), 0, strip.size());
        for (int y = 0; y < g.tlin; ++y) {
            const long long Y = static_cast<long long>(ky) * g.tlin + y;
            if (Y >= image.line) break;
            readOrZero(fd, raw.data(), rawLineBytes,
                       static_cast<std::uint64_t>(image.fileheader) + static_cast<std::uint64_t>(image.lineheader) +
                           static_cast<std::uint64_t>(Y) * static_cast<std::uint64_t>(image.linebytes));
            valuesFrom(raw.data(), pixel, image.bigEndian, values.data());
            // The tile rows of this line, little-endian (the host order here).
            for (std::size_t kx = 0; kx < static_cast<std::size_t>(g.ntx); ++kx) {
                const std::size_t x0 = kx * tpix;
                const std::size_t count = std::min(tpix, pixel - x0);
                std::uint8_t* dst = strip.data() + kx * g.tileBytes(TileKind::Amplitude) +
                                    static_cast<std::size_t>(y) * tpix * kAmplitudePixelBytes;
                if constexpr (std::endian::native == std::endian::little) {
                    std::memcpy(dst, values.data() + x0, count * kAmplitudePixelBytes);
                } else {
                    for (std::size_t x = 0; x < count; ++x) {
                        dst[2 * x] = static_cast<std::uint8_t>(values[x0 + x] & 0xFFu);
                        dst[2 * x + 1] = static_cast<std::uint8_t>(values[x0 + x] >> 8);
                    }
                }
            }
            // Integer sums are exact in a double, so summing a cell's values
            // first gives the same cell as adding them one by one.
            const std::size_t row = static_cast<std::size_t>(std::min<long long>(Y / by, kQuickLookSize - 1));
            double* cellRow = cells.data() + row * kQuickLookSize;
            for (std::size_t c = 0; c < usedCells; ++c) {
                const std::size_t x0 = c * cellWidth;
                const std::size_t x1 = c + 1 == kQuickLookSize ? pixel : std::min(pixel, x0 + cellWidth);
                std::uint64_t sum = 0;
                for (std::size_t x = x0; x < x1; ++x) sum += values[x];
                cellRow[c] += static_cast<double>(sum);
            }
        }
        tileOut.file().write(strip);
        ui.progress(ky + 1, g.nty);
    }

    writeQuickLook(quickOut, cells);
    tileOut.commit();
    quickOut.commit();
    ui.status("End tiling image");
    return result;
}

}  // namespace tessarin::tiles
