#include "tiles/tiling.h"

#include <limits.h>
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <barrier>
#include <cerrno>
#include <exception>
#include <mutex>

#include <algorithm>
#include <cstdlib>
#include <new>
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

constexpr std::size_t kChunkBytes = 4u << 20;     // line records read per chunk, about
constexpr int kMinChunkLines = 16;
constexpr int kMaxChunkLines = 256;
constexpr std::size_t kMaxRecordSlack = 64u << 10;  // record bytes besides the samples still read along
constexpr std::size_t kCells = kQuickLookSize;    // quick-look cells across and down
constexpr std::size_t kComplexSampleBytes = 8;    // big-endian float I, float Q
constexpr std::size_t kAmplitudeSampleBytes = 2;  // big-endian uint16
// Limits that keep a lying descriptor from sizing absurd buffers.
constexpr int kMaxScenePixels = 1 << 17;
constexpr int kMaxSceneLines = 1 << 21;
// A scene is refused when its file holds less than one line in this many of
// those its descriptor claims.
constexpr std::uint64_t kMaxClaimedPerHeldLine = 1000;

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

// A read that failed, as opposed to one that met the end of the file: the
// conversion stops rather than take the rest of the scene for zeros.
[[noreturn]] void readFailed(const std::string& path, std::uint64_t offset, int err) {
    throw Error(format("cannot read \"%s\" at offset %llu: %s", path.c_str(), static_cast<unsigned long long>(offset),
                       std::strerror(err)));
}

// Reads `count` bytes at `offset`; zero-fills what lies past the end of the file.
void readOrZero(int fd, std::uint8_t* out, std::size_t count, std::uint64_t offset, const std::string& path) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(fd, out + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) readFailed(path, offset + done, errno);
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    if (done < count) std::memset(out + done, 0, count - done);
}

void writeAt(int fd, const std::uint8_t* data, std::size_t count, std::uint64_t offset, const std::string& path) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t put = ::pwrite(fd, data + done, count - done, static_cast<off_t>(offset + done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            const int err = put < 0 ? errno : ENOSPC;
            throw Error(format("cannot write \"%s\": %s", path.c_str(), std::strerror(err)));
        }
        done += static_cast<std::size_t>(put);
    }
}

// Splits [0, pixel) into `parts` ranges that begin on quick-look bucket
// boundaries, so that every accumulator cell is summed by one thread in scan
// order, exactly as a single pass would. No cut lies past the start of the
// last cell column, which may gather the columns beyond the 256th bucket.
std::vector<int> columnSplits(int pixel, int bucket, int parts) {
    const long long lastCell = static_cast<long long>(bucket) * (kQuickLookSize - 1);
    std::vector<int> cuts{0};
    for (int p = 1; p < parts; ++p) {
        long long c = static_cast<long long>(pixel) * p / parts;
        c = std::min(c, lastCell);
        c -= c % bucket;
        if (c > cuts.back() && c < pixel) cuts.push_back(static_cast<int>(c));
    }
    cuts.push_back(pixel);
    return cuts;
}

void writeQuickLook(AtomicFile& out, const std::vector<double>& cells) {
    const auto bytes = quickLookImage(cells);
    out.file().write(bytes);
}

// Lines past the end of the image file read as zeros, but a descriptor
// that claims far more than the file holds would make a tile file thousands
// of times larger than its input: that is refused, a shorter file reported.
}  // namespace

void checkLinesHeld(const ImageLayout& image, Ui& ui) {
    const std::uint64_t fileBytes = File(image.imagePath, File::Mode::Read).size();
    const std::uint64_t header = static_cast<std::uint64_t>(image.fileheader);
    if (image.linebytes <= 0 || image.line <= 0 || image.fileheader < 0) return;  // the layout check refuses these
    const std::uint64_t record = static_cast<std::uint64_t>(image.linebytes);
    const std::uint64_t held = fileBytes > header ? (fileBytes - header + record - 1) / record : 0;
    const auto claimed = static_cast<std::uint64_t>(image.line);
    if (held >= claimed) return;
    const std::string what = format("the image file holds %llu of %d lines", static_cast<unsigned long long>(held),
                                    image.line);
    if (held * kMaxClaimedPerHeldLine < claimed)
        throw Error(format("cannot tile \"%s\": %s", image.imagePath.c_str(), what.c_str()));
    ui.message(format("\"%s\": %s; the lines past its end are left zero", image.imagePath.c_str(), what.c_str()));
}

namespace {


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

// A 16-bit sample, swapped when its byte order is not the host's.
template <bool Swap>
[[gnu::always_inline]] inline std::uint16_t sampleAt(const std::uint8_t* src, std::size_t k) {
    std::uint16_t u;
    std::memcpy(&u, src + 2 * k, sizeof u);
    return Swap ? __builtin_bswap16(u) : u;
}

// Adds the magnitudes of columns x0 .. x1 - 1 of one line (x0 on a bucket
// boundary) to their quick-look cells; columns past the 256th cell are
// skipped. Each cell adds its magnitudes one by one in scan order, as a plain
// loop would, but the cells advance side by side: one dependent chain per
// cell instead of one for the whole line.
void addToCells(const double* m, std::size_t x0, std::size_t x1, std::size_t bucket, double* cellRow) {
    const std::size_t first = x0 / bucket;
    if (first >= kCells) return;
    const std::size_t lastEnd = std::min(x1, kCells * bucket);
    const std::size_t whole = (lastEnd - x0) / bucket;  // complete cells
    double* acc = cellRow + first;
    constexpr std::size_t kLanes = 8;
    std::size_t j = 0;
    for (; j + kLanes <= whole; j += kLanes) {
        double sum[kLanes];
        for (std::size_t l = 0; l < kLanes; ++l) sum[l] = acc[j + l];
        const double* from = m + j * bucket;
        for (std::size_t k = 0; k < bucket; ++k)
            for (std::size_t l = 0; l < kLanes; ++l) sum[l] += from[l * bucket + k];
        for (std::size_t l = 0; l < kLanes; ++l) acc[j + l] = sum[l];
    }
    for (; j < whole; ++j)
        for (std::size_t k = 0; k < bucket; ++k) acc[j] += m[j * bucket + k];
    // A last, partial cell at the end of the scene.
    for (std::size_t x = x0 + whole * bucket; x < lastEnd; ++x) acc[whole] += m[x - x0];
}


// One column range of one line, handed to the kind-specific packer: the raw
// samples, and where the line's pixels go in the chunk buffer.
struct LineJob {
    std::size_t part;         // which column range (and thread)
    long long Y;              // scene line
    std::size_t x0, x1;       // scene columns
    const std::uint8_t* raw;  // samples x0 .. x1 - 1 as stored, or null when they were read
                              // straight into their places in the chunk (still in file order)
    std::uint8_t* chunk;      // the chunk buffer: per tile column a block of chunk lines x tpix pixels
    std::size_t blockBytes;   // bytes of one such block
    std::size_t row;          // line inside the chunk
};

// Stores one segment of samples little-endian (swapped first when their byte
// order is not the host's) and returns their sum; vectorises. Segments end
// at tile boundaries, so they hold at most 8192 samples and a 32-bit sum
// cannot overflow.
template <bool Swap>
[[gnu::always_inline]] inline std::uint32_t storeAndSum(const std::uint8_t* src, std::size_t count, std::uint8_t* dst) {
    std::uint32_t sum = 0;
    for (std::size_t k = 0; k < count; ++k) {
        std::uint16_t v = sampleAt<Swap>(src, k);
        sum += v;
        if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap16(v);
        std::memcpy(dst + 2 * k, &v, sizeof v);
    }
    return sum;
}

// The tile rows of one line of amplitudes and the quick-look sums, in one
// pass over segments that end at tile and cell boundaries. Columns past the
// 256 cells are clamped into the last one. Integer sums are exact in a
// double, so summing a cell's values of the line first gives the same cell
// as adding them one by one.
// The same for samples already in their places: swapped there.
template <bool Swap>
[[gnu::always_inline]] inline std::uint32_t swapAndSum(std::uint8_t* p, std::size_t count) {
    std::uint32_t sum = 0;
    for (std::size_t k = 0; k < count; ++k) {
        std::uint16_t v = sampleAt<Swap>(p, k);
        sum += v;
        if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap16(v);
        if constexpr (Swap || std::endian::native == std::endian::big) std::memcpy(p + 2 * k, &v, sizeof v);
    }
    return sum;
}

template <bool Swap>
[[gnu::always_inline]] inline void amplitudeLineBody(const LineJob& job, std::size_t tpix, std::size_t cellWidth,
                                                     double* cellRow) {
    std::size_t cell = std::min(job.x0 / cellWidth, kCells - 1);
    std::uint64_t cellSum = 0;
    for (std::size_t X = job.x0; X < job.x1;) {
        const std::size_t kx = X / tpix;
        const std::size_t cellEnd = cell + 1 == kCells ? job.x1 : std::min(job.x1, (cell + 1) * cellWidth);
        const std::size_t end = std::min({job.x1, (kx + 1) * tpix, cellEnd});
        std::uint8_t* dst = job.chunk + kx * job.blockBytes + (job.row * tpix + (X - kx * tpix)) * kAmplitudePixelBytes;
        cellSum += job.raw ? storeAndSum<Swap>(job.raw + (X - job.x0) * kAmplitudeSampleBytes, end - X, dst)
                           : swapAndSum<Swap>(dst, end - X);
        X = end;
        if (X == cellEnd) {
            cellRow[cell] += static_cast<double>(cellSum);
            cellSum = 0;
            cell = std::min(cell + 1, kCells - 1);
        }
    }
}

// The line for the byte order at hand, compiled for AVX2 as well.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target_clones("arch=x86-64-v3", "default")))
#endif
void packAmplitudeLine(const LineJob& job, bool swap, std::size_t tpix, std::size_t cellWidth, double* cellRow) {
    if (swap)
        amplitudeLineBody<true>(job, tpix, cellWidth, cellRow);
    else
        amplitudeLineBody<false>(job, tpix, cellWidth, cellRow);
}

// A large scratch buffer, uninitialised, on transparent huge pages where the
// system offers them: a conversion touches every byte of it again and again,
// and faulting it in 4 KiB at a time costs more than the packing of a line.
class ScratchBuffer {
public:
    explicit ScratchBuffer(std::size_t bytes) : bytes_(roundUp(bytes)) {
        data_ = static_cast<std::uint8_t*>(std::aligned_alloc(kHugePage, bytes_));
        if (!data_) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
        ::madvise(data_, bytes_, MADV_HUGEPAGE);
#endif
    }
    ~ScratchBuffer() { std::free(data_); }
    ScratchBuffer(const ScratchBuffer&) = delete;
    ScratchBuffer& operator=(const ScratchBuffer&) = delete;
    std::uint8_t* data() { return data_; }

private:
    static constexpr std::size_t kHugePage = std::size_t{2} << 20;
    static std::size_t roundUp(std::size_t n) { return (std::max<std::size_t>(n, 1) + kHugePage - 1) / kHugePage * kHugePage; }
    std::size_t bytes_;
    std::uint8_t* data_ = nullptr;
};

// Reads the records of chunk lines first .. last - 1 (the first at file
// offset `at`) with their samples going straight to their tile rows in the
// chunk, prefixes and suffixes to `discard`. What lies past the end of the
// file reads as zeros.
void scatterRecords(int fd, std::uint64_t at, long long first, long long last, std::uint8_t* chunk,
                    std::size_t blockBytes, const ImageLayout& image, const TileGrid& g, std::size_t pixelBytes,
                    std::vector<std::uint8_t>& discard) {
    const std::size_t tpix = static_cast<std::size_t>(g.tpix);
    const std::size_t pixel = static_cast<std::size_t>(image.pixel);
    const std::size_t prefix = static_cast<std::size_t>(image.lineheader);
    const std::size_t suffix = static_cast<std::size_t>(image.linebytes) - prefix - pixel * pixelBytes;
    const std::size_t perLine = static_cast<std::size_t>(g.ntx) + 2;
    const long long linesPerRead = std::max<long long>(1, static_cast<long long>(IOV_MAX / perLine));
    std::vector<iovec> parts;
    for (long long y0 = first; y0 < last; y0 += linesPerRead) {
        const long long y1 = std::min(last, y0 + linesPerRead);
        parts.clear();
        std::size_t total = 0;
        for (long long y = y0; y < y1; ++y) {
            if (prefix) parts.push_back({discard.data(), prefix});
            for (std::size_t kx = 0; kx < static_cast<std::size_t>(g.ntx); ++kx)
                parts.push_back({chunk + kx * blockBytes + static_cast<std::size_t>(y) * tpix * pixelBytes,
                                 std::min(tpix, pixel - kx * tpix) * pixelBytes});
            if (suffix) parts.push_back({discard.data(), suffix});
        }
        for (const iovec& v : parts) total += v.iov_len;
        std::size_t done = 0;
        std::size_t next = 0;  // first part not completely read
        while (done < total) {
            const ssize_t got = ::preadv(fd, parts.data() + next, static_cast<int>(parts.size() - next),
                                         static_cast<off_t>(at + done));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) readFailed(image.imagePath, at + done, errno);
            if (got == 0) break;
            done += static_cast<std::size_t>(got);
            // Skip the parts now full; shorten the one read into.
            for (std::size_t left = static_cast<std::size_t>(got); left > 0;) {
                if (left >= parts[next].iov_len) {
                    left -= parts[next].iov_len;
                    ++next;
                } else {
                    parts[next].iov_base = static_cast<std::uint8_t*>(parts[next].iov_base) + left;
                    parts[next].iov_len -= left;
                    left = 0;
                }
            }
        }
        for (std::size_t k = next; k < parts.size(); ++k)
            if (parts[k].iov_base != discard.data()) std::memset(parts[k].iov_base, 0, parts[k].iov_len);
        at += static_cast<std::uint64_t>(y1 - y0) * static_cast<std::uint64_t>(image.linebytes);
    }
}

// The conversion engine shared by both kinds. The scene is converted in
// chunks of lines inside one tile row, each in three phases that
// every thread takes part in, separated by barriers:
//   read  - the threads read the chunk's line records, a run of records
//           per read, taking runs as they come free;
//   pack  - each thread packs its column range of every line of the chunk
//           into the chunk buffer (ranges begin on quick-look bucket
//           boundaries, so each accumulator cell is summed by one thread in
//           scan order, exactly as a single pass would);
//   write - one thread writes the chunk's tile blocks (the rows of a tile
//           are contiguous in the file: one write per tile); the threads
//           take turns, as writes into one file serialise in the kernel.
// Two chunk buffers alternate, so the writes of one chunk overlap the reads
// and packing of the next. The main thread is thread 0 and alone talks to the Ui. The
// tile file is sized first; what lies below the scene is never written and
// reads as zero bytes.
template <typename PackLine>
void convertChunked(const ImageLayout& image, const TileGrid& g, std::size_t sampleBytes, std::size_t pixelBytes,
                    const std::vector<int>& cuts, int inFd, AtomicFile& tileOut, Ui& ui, bool tileStatus,
                    bool samplesAsPixels, PackLine&& packLine) {
    const TileKind kind = pixelBytes == kComplexPixelBytes ? TileKind::Complex : TileKind::Amplitude;
    const int outFd = ::fileno(tileOut.file().handle());
    if (::ftruncate(outFd, static_cast<off_t>(g.fileBytes(kind))) != 0)
        throw Error(format("cannot size \"%s\": %s", tileOut.file().path().c_str(), std::strerror(errno)));

    const std::size_t tpix = static_cast<std::size_t>(g.tpix);
    // Chunks of about kChunkBytes of records: fewer chunks mean fewer
    // meetings of the threads, smaller ones keep the buffers in the caches.
    // Records are read whole, a run of them per read, unless a record holds
    // far more than its samples (a descriptor may say anything): then only
    // the samples of each record are read, one read per line.
    const std::size_t sampleRun = static_cast<std::size_t>(image.pixel) * sampleBytes;
    const std::size_t recordBytes = static_cast<std::size_t>(image.linebytes);
    const bool wholeRecords = recordBytes - sampleRun <= kMaxRecordSlack;
    const std::size_t stride = wholeRecords ? recordBytes : sampleRun;  // bytes per line in the read buffer
    const std::size_t samplesAt = wholeRecords ? static_cast<std::size_t>(image.lineheader) : 0;  // in a line
    const int chunkLines = std::min(
        g.tlin, std::clamp(static_cast<int>(kChunkBytes / stride), kMinChunkLines, kMaxChunkLines));
    const int chunksPerStrip = (g.tlin + chunkLines - 1) / chunkLines;
    const long long chunkCount = static_cast<long long>(g.nty) * chunksPerStrip;
    const std::size_t blockBytes = static_cast<std::size_t>(chunkLines) * tpix * pixelBytes;
    const std::size_t chunkBytes = blockBytes * static_cast<std::size_t>(g.ntx);
    // Samples stored as the tile pixels are (2-byte amplitudes) are read
    // straight into their places in the chunk, each record scattered over
    // its tile rows by one vectored read; the packer then works in place.
    const bool scatter = samplesAsPixels && wholeRecords;
    ScratchBuffer raw(scatter ? 0 : stride * static_cast<std::size_t>(chunkLines));
    ScratchBuffer chunks(2 * chunkBytes);
    // Columns right of the scene are never packed: zero them once.
    if (image.pixel % g.tpix != 0) std::memset(chunks.data(), 0, 2 * chunkBytes);

    // Each chunk's records are read in units of unitLines lines; unit
    // numbers run on across chunks.
    const long long unitLines = std::max(1, chunkLines / 8);
    std::vector<long long> firstUnit{0};
    for (long long c = 0; c < chunkCount; ++c) {
        const long long ky = c / chunksPerStrip;
        const long long top = ky * g.tlin + (c % chunksPerStrip) * chunkLines;
        const long long end = std::min({top + chunkLines, (ky + 1) * g.tlin, static_cast<long long>(image.line)});
        firstUnit.push_back(firstUnit.back() + (std::max(0LL, end - top) + unitLines - 1) / unitLines);
    }
    std::atomic<long long> nextUnit{0};

    const std::size_t parts = cuts.size() - 1;
    std::barrier sync(static_cast<std::ptrdiff_t>(parts));
    std::atomic<bool> failed{false};
    std::mutex errorLock;
    std::exception_ptr error;
    const auto fail = [&] {
        std::lock_guard lock(errorLock);
        if (!error) error = std::current_exception();
        failed = true;
    };
    const auto guarded = [&](auto&& step) {
        if (failed) return;
        try {
            step();
        } catch (...) {
            fail();
        }
    };

    const auto worker = [&](std::size_t part) {
        std::vector<std::uint8_t> discard;  // record bytes besides the samples, when scattering
        guarded([&] {
            if (scatter) discard.resize(recordBytes - sampleRun + 1);
        });
        const std::size_t x0 = static_cast<std::size_t>(cuts[part]);
        const std::size_t x1 = static_cast<std::size_t>(cuts[part + 1]);
        for (long long c = 0; c < chunkCount; ++c) {
            const long long ky = c / chunksPerStrip;
            const long long top = ky * g.tlin + (c % chunksPerStrip) * chunkLines;
            const long long end = std::min({top + chunkLines, (ky + 1) * g.tlin, static_cast<long long>(image.line)});
            const long long lines = std::max(0LL, end - top);
            std::uint8_t* chunk = chunks.data() + static_cast<std::size_t>(c % 2) * chunkBytes;
            guarded([&] {
                // Runs of records are claimed one by one, so that the thread
                // that has just written a chunk reads less of the next.
                const long long unitEnd = firstUnit[static_cast<std::size_t>(c) + 1];
                for (long long u = nextUnit.load();;) {
                    if (u >= unitEnd) break;
                    if (!nextUnit.compare_exchange_weak(u, u + 1)) continue;
                    const long long first = (u - firstUnit[static_cast<std::size_t>(c)]) * unitLines;
                    const long long last = std::min(lines, first + unitLines);
                    const std::uint64_t at = static_cast<std::uint64_t>(image.fileheader) +
                                             static_cast<std::uint64_t>(top + first) * recordBytes;
                    if (scatter)
                        scatterRecords(inFd, at, first, last, chunk, blockBytes, image, g, pixelBytes, discard);
                    else if (wholeRecords)
                        readOrZero(inFd, raw.data() + static_cast<std::size_t>(first) * stride,
                                   static_cast<std::size_t>(last - first) * stride, at, image.imagePath);
                    else
                        for (long long y = first; y < last; ++y)
                            readOrZero(inFd, raw.data() + static_cast<std::size_t>(y) * stride, stride,
                                       at + static_cast<std::uint64_t>(y - first) * recordBytes +
                                           static_cast<std::uint64_t>(image.lineheader),
                                       image.imagePath);
                    u = nextUnit.load();
                }
            });
            sync.arrive_and_wait();
            guarded([&] {
                for (long long y = 0; y < lines; ++y)
                    packLine(LineJob{part, top + y, x0, x1,
                                     scatter ? nullptr
                                             : raw.data() + static_cast<std::size_t>(y) * stride + samplesAt +
                                                   x0 * sampleBytes,
                                     chunk, blockBytes, static_cast<std::size_t>(y)});
            });
            sync.arrive_and_wait();
            if (static_cast<std::size_t>(c) % parts == part)
                guarded([&] {
                for (std::size_t kx = 0; kx < static_cast<std::size_t>(g.ntx) && lines > 0; ++kx)
                    writeAt(outFd, chunk + kx * blockBytes, static_cast<std::size_t>(lines) * tpix * pixelBytes,
                            g.tileLineOffset(static_cast<std::int64_t>(kx), ky, top - ky * g.tlin, kind),
                            tileOut.file().path());
            });
            if (part == 0 && (c + 1) % chunksPerStrip == 0)
                guarded([&] {
                    if (tileStatus)
                        for (int kx = 0; kx < g.ntx; ++kx)
                            ui.status(format("kpy=%d of %d, kx %d of %d", static_cast<int>(ky), g.nty, kx, g.ntx));
                    ui.progress(ky + 1, g.nty);
                });
        }
    };

    std::vector<std::thread> helpers;
    for (std::size_t p = 1; p < parts; ++p) {
        try {
            helpers.emplace_back(worker, p);
        } catch (...) {
            // A thread that cannot start leaves its columns unconverted: fail,
            // and stop the barrier from waiting for it and those after it.
            fail();
            for (std::size_t q = p; q < parts; ++q) sync.arrive_and_drop();
            break;
        }
    }
    worker(0);
    for (auto& h : helpers) h.join();
    if (error) std::rethrow_exception(error);
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

namespace {

// What both conversions share: the layout checks, the files under their
// temporary names, the busy cursor, the quick-look accumulator and the
// column ranges; `packerFor(grid, bucketX, bucketY, cuts, cells)` gives the
// kind's line packer. The files take their final names only when complete.
template <typename PackerFor>
ConversionResult convert(const ImageLayout& image, std::size_t sampleBytes, std::size_t pixelBytes,
                         AtomicFile& tileOut, AtomicFile& quickOut, Ui& ui,
                         const ConversionOptions& options, bool tileStatus, PackerFor&& packerFor) {
    const ConversionResult result =
        startConversion(image, sampleBytes, tileOut.finalPath(), quickOut.finalPath(), options);
    const int bx = effectiveBucket(result.bucketX);
    const int by = effectiveBucket(result.bucketY);

    File in(image.imagePath, File::Mode::Read);
    BusyScope busy(ui);

    std::vector<double> cells(kQuickLookBytes, 0.0);
    const std::vector<int> cuts = columnSplits(image.pixel, bx, threadCount(options));
    convertChunked(image, result.grid, sampleBytes, pixelBytes, cuts, ::fileno(in.handle()), tileOut, ui, tileStatus,
                   sampleBytes == pixelBytes, packerFor(result.grid, bx, by, cuts, cells));

    writeQuickLook(quickOut, cells);
    tileOut.file().flush();
    quickOut.file().flush();
    ui.status("End tiling image");
    return result;
}

// The path-named conversions: both files take their names when complete.
template <typename Convert>
ConversionResult convertToPaths(const std::string& tilePath, const std::string& quickLookPath, Convert&& run) {
    AtomicFile tileOut(tilePath);
    AtomicFile quickOut(quickLookPath);
    ConversionResult result = run(tileOut, quickOut);
    tileOut.commit();
    quickOut.commit();
    return result;
}

}  // namespace

ConversionResult convertComplex(const ImageLayout& image, const std::string& tilePath, const std::string& quickLookPath,
                                Ui& ui, const ConversionOptions& options) {
    return convertToPaths(tilePath, quickLookPath, [&](AtomicFile& tileOut, AtomicFile& quickOut) {
        return convertComplex(image, tileOut, quickOut, ui, options);
    });
}

ConversionResult convertAmplitude(const ImageLayout& image, const std::string& tilePath,
                                  const std::string& quickLookPath, Ui& ui, const ConversionOptions& options) {
    return convertToPaths(tilePath, quickLookPath, [&](AtomicFile& tileOut, AtomicFile& quickOut) {
        return convertAmplitude(image, tileOut, quickOut, ui, options);
    });
}

ConversionResult convertComplex(const ImageLayout& image, AtomicFile& tileOut, AtomicFile& quickOut, Ui& ui,
                                const ConversionOptions& options) {
    std::vector<std::vector<double>> magnitudes;
    std::vector<std::uint64_t> saturated;
    // A magnitude at or past this packs at the top amplitude code.
    const double top = static_cast<double>(kMaxAmplitudeCode) / options.equalizingval;
    ConversionResult result = convert(image, kComplexSampleBytes, kComplexPixelBytes, tileOut, quickOut, ui, options, true,
                   [&](const TileGrid& g, int bx, int by, const std::vector<int>& cuts, std::vector<double>& cells) {
                       magnitudes.resize(cuts.size() - 1);
                       saturated.assign(cuts.size() - 1, 0);
                       for (std::size_t part = 0; part + 1 < cuts.size(); ++part)
                           magnitudes[part].resize(static_cast<std::size_t>(cuts[part + 1] - cuts[part]));
                       const std::size_t tpix = static_cast<std::size_t>(g.tpix);
                       return [&, tpix, bx, by](const LineJob& job) {
                           std::vector<double>& m = magnitudes[job.part];
                           // Pack tile by tile, straight into the chunk's tile blocks.
                           for (std::size_t X = job.x0; X < job.x1;) {
                               const std::size_t kx = X / tpix;
                               const std::size_t end = std::min(job.x1, (kx + 1) * tpix);
                               std::uint8_t* dst = job.chunk + kx * job.blockBytes +
                                                   (job.row * tpix + (X - kx * tpix)) * kComplexPixelBytes;
                               packComplexSamples(job.raw + (X - job.x0) * kComplexSampleBytes, image.bigEndian,
                                                  end - X, dst, m.data() + (X - job.x0), options.equalizingval,
                                                  options.phaseSign);
                               X = end;
                           }
                           std::uint64_t atTop = 0;
                           for (std::size_t k = 0; k < job.x1 - job.x0; ++k) atTop += m[k] >= top ? 1u : 0u;
                           saturated[job.part] += atTop;
                           // Quick-look: cells outside the 256 x 256 are skipped.
                           const long long row = job.Y / by;
                           if (row >= kQuickLookSize) return;
                           addToCells(m.data(), job.x0, job.x1, static_cast<std::size_t>(bx),
                                      cells.data() + static_cast<std::size_t>(row) * kQuickLookSize);
                       };
                   });
    for (const std::uint64_t n : saturated) result.saturated += n;
    return result;
}

ConversionResult convertAmplitude(const ImageLayout& image, AtomicFile& tileOut, AtomicFile& quickOut, Ui& ui,
                                  const ConversionOptions& options) {
    const bool swap = image.bigEndian == (std::endian::native == std::endian::little);
    return convert(image, kAmplitudeSampleBytes, kAmplitudePixelBytes, tileOut, quickOut, ui, options, false,
                   [&](const TileGrid& g, int bx, int by, const std::vector<int>&, std::vector<double>& cells) {
                       const std::size_t tpix = static_cast<std::size_t>(g.tpix);
                       const std::size_t cellWidth = static_cast<std::size_t>(bx);
                       return [&, tpix, cellWidth, by](const LineJob& job) {
                           // Lines past the 256 cell rows are clamped into the last one.
                           const std::size_t row =
                               static_cast<std::size_t>(std::min<long long>(job.Y / by, kCells - 1));
                           packAmplitudeLine(job, swap, tpix, cellWidth, cells.data() + row * kQuickLookSize);
                       };
                   });
}

}  // namespace tessarin::tiles
