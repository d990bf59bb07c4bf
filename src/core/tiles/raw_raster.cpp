#include "tiles/raw_raster.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>

#include "platform/archive_string.h"
#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace tessarin::tiles {

namespace {

constexpr std::size_t kMaxProjectBytes = 1u << 20;
constexpr std::size_t kMaxHeaderBytes = 1u << 20;
constexpr std::size_t kHeaderLineChars = 80;
constexpr std::size_t kCopyChunk = 4u << 20;

float loadFloat(const std::uint8_t* p, bool bigEndian) {
    return detail::decode<float>(p, bigEndian ? ByteOrder::Big : ByteOrder::Little);
}

}  // namespace

std::vector<std::uint8_t> encodeRasterProject(const RasterParameters& p) {
    ByteWriter w;
    writeArchiveString(w, p.rasterPath);
    for (const int v : {p.pixel, p.line, p.linebytes, p.fileheader, p.lineheader, p.byteSwap}) w.le<std::int32_t>(v);
    for (const double v : {p.pixSpace, p.lineSpace, p.minSlantRange, p.equalizingval}) w.le<double>(v);
    return w.take();
}

RasterParameters decodeRasterProject(std::span<const std::uint8_t> bytes, const std::string& name) {
    ByteReader r(bytes, name);
    RasterParameters p;
    const char* field = "the raster path";
    try {
        p.rasterPath = readArchiveString(r);
        const std::pair<const char*, int*> ints[] = {{"Pixel", &p.pixel},
                                                      {"Line", &p.line},
                                                      {"LineBytes", &p.linebytes},
                                                      {"File Header size", &p.fileheader},
                                                      {"Line Header size", &p.lineheader},
                                                      {"the byte swap flag", &p.byteSwap}};
        for (const auto& [label, value] : ints) {
            field = label;
            *value = r.le<std::int32_t>();
        }
        const std::pair<const char*, double*> reals[] = {{"pix space", &p.pixSpace},
                                                          {"line space", &p.lineSpace},
                                                          {"Min slant range", &p.minSlantRange},
                                                          {"the amplitude scale", &p.equalizingval}};
        for (const auto& [label, value] : reals) {
            field = label;
            *value = r.le<double>();
        }
    } catch (const Error&) {
        throw Error(format("\"%s\" is not a raster project: it ends before %s", name.c_str(), field));
    }
    if (p.rasterPath.empty()) throw Error(format("\"%s\" names no raster", name.c_str()));
    if (p.byteSwap != 0 && p.byteSwap != 1)
        throw Error(format("\"%s\": the byte swap flag is %d, not 0 or 1", name.c_str(), p.byteSwap));
    return p;
}

RasterParameters readRasterProject(const std::string& path) {
    return decodeRasterProject(readWholeFile(path, kMaxProjectBytes), path);
}

void writeRasterProject(const std::string& path, const RasterParameters& p) {
    writeWholeFile(path, encodeRasterProject(p));
}

std::uint64_t rasterBytesNeeded(const RasterParameters& p) {
    if (p.pixel <= 0 || p.line <= 0) return 0;
    return static_cast<std::uint64_t>(std::max(p.fileheader, 0)) + static_cast<std::uint64_t>(std::max(p.lineheader, 0)) +
           static_cast<std::uint64_t>(p.line - 1) * static_cast<std::uint64_t>(std::max(p.linebytes, 0)) +
           kRasterSampleBytes * static_cast<std::uint64_t>(p.pixel);
}

void checkRasterParameters(const RasterParameters& p) {
    const auto refuse = [](const std::string& what) { throw Error("Image Parameter: " + what); };
    if (p.pixel <= 0 || p.line <= 0)
        refuse(format("Pixel and Line must be positive (Pixel %d, Line %d)", p.pixel, p.line));
    if (p.pixel > kMaxRasterPixels || p.line > kMaxRasterLines)
        refuse(format("%d x %d samples is beyond any raster this tool tiles (at most %d pixels, %d lines)", p.pixel,
                      p.line, kMaxRasterPixels, kMaxRasterLines));
    if (p.fileheader < 0 || p.lineheader < 0 || p.linebytes < 0)
        refuse(format("header sizes and LineBytes cannot be negative (File Header size %d, Line Header size %d, "
                      "LineBytes %d)",
                      p.fileheader, p.lineheader, p.linebytes));
    const long long record = static_cast<long long>(p.lineheader) + 8LL * p.pixel;
    if (p.linebytes < record)
        refuse(format("LineBytes %d is shorter than Line Header size + 8 x Pixel = %lld: the lines would overlap",
                      p.linebytes, record));
    if (p.byteSwap != 0 && p.byteSwap != 1) refuse(format("the byte order is %d, not 0 or 1", p.byteSwap));
    // 2^50 bytes: a petabyte is no file anyone states by hand.
    if (rasterBytesNeeded(p) > (1ull << 50)) refuse("the raster would be larger than a petabyte");
}

ImageLayout rasterLayout(const RasterParameters& p) {
    return {p.rasterPath, p.pixel, p.line, p.fileheader, p.lineheader, p.linebytes, p.byteSwap == 1};
}

int estimationStride(int pixel, int line) {
    const double n = static_cast<double>(std::max(pixel, 0)) * static_cast<double>(std::max(line, 0)) / 4096.0;
    const double s = std::floor(std::sqrt(n));
    return static_cast<int>(std::clamp(s, 1.0, 128.0));
}

AmplitudeEstimate estimateAmplitude(const RasterParameters& p) {
    checkRasterParameters(p);
    AmplitudeEstimate e;
    e.stride = estimationStride(p.pixel, p.line);
    File in(p.rasterPath, File::Mode::Read);
    const std::uint64_t size = in.size();
    const std::size_t s = static_cast<std::size_t>(e.stride);
    const std::size_t span = (static_cast<std::size_t>(p.pixel) - 1) / s * s + 1;  // samples from 0 to the last on the grid
    std::vector<std::uint8_t> buf(span * kRasterSampleBytes);
    double sum = 0.0;
    bool nonZero = false;
    const bool big = p.byteSwap == 1;
    for (long long n = 0; n < p.line; n += e.stride) {
        const std::uint64_t at = static_cast<std::uint64_t>(p.fileheader) + static_cast<std::uint64_t>(p.lineheader) +
                                 static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(p.linebytes);
        if (at >= size) break;
        const std::size_t avail = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), size - at));
        in.readAt(at, std::span(buf.data(), avail));
        for (std::size_t k = 0; k < span && (k + 1) * kRasterSampleBytes <= avail; k += s) {
            const float i = loadFloat(buf.data() + k * kRasterSampleBytes, big);
            const float q = loadFloat(buf.data() + k * kRasterSampleBytes + 4, big);
            const double mag = std::hypot(static_cast<double>(i), static_cast<double>(q));
            if (!std::isfinite(mag)) {
                ++e.skipped;
                continue;
            }
            sum += mag;
            ++e.samples;
            if (mag > 0.0) nonZero = true;
        }
    }
    if (!nonZero || e.samples == 0)
        throw Error(format("\"%s\": the raster has no non-zero samples on the estimation grid (every %d-th line and "
                           "sample; %lld zero, %lld not finite)",
                           p.rasterPath.c_str(), e.stride, e.samples, e.skipped));
    e.meanMagnitude = sum / static_cast<double>(e.samples);
    e.equalizingval = kRasterAmplitudeTarget / e.meanMagnitude;
    if (!std::isfinite(e.equalizingval) || e.equalizingval <= 0.0)
        throw Error(format("\"%s\": the mean magnitude %g gives no usable amplitude scale", p.rasterPath.c_str(),
                           e.meanMagnitude));
    return e;
}

RasterHeader parseRasterHeader(std::string_view text) {
    RasterHeader h;
    const struct {
        std::string_view key;
        std::size_t equalsFrom;
        int RasterHeader::*value;
    } keys[] = {{"samples", 8, &RasterHeader::pixel}, {"lines", 6, &RasterHeader::line},
                {"byte order", 11, &RasterHeader::byteOrder}};
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, std::min(end - start, kHeaderLineChars));
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        for (const auto& k : keys) {
            if (!startsWith(line, k.key)) continue;
            const std::size_t eq = line.find('=', k.equalsFrom);
            if (eq == std::string_view::npos) break;
            const long v = cStrtol(line.substr(eq + 1));
            h.*k.value = static_cast<int>(std::clamp<long>(v, INT_MIN, INT_MAX));
            break;
        }
    }
    return h;
}

RasterHeader readRasterHeader(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    try {
        bytes = readWholeFile(path, kMaxHeaderBytes);
    } catch (const Error& e) {
        throw Error(format("cannot read the raster header \"%s\": %s", path.c_str(), e.what()));
    }
    const RasterHeader h = parseRasterHeader(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (h.pixel <= 0 || h.line <= 0)
        throw Error(format("the raster header \"%s\" gives no size (samples = %d, lines = %d)", path.c_str(), h.pixel,
                           h.line));
    if (h.pixel > kMaxRasterPixels || h.line > kMaxRasterLines)
        throw Error(format("the raster header \"%s\" gives %d x %d samples, beyond any raster TileSet", path.c_str(),
                           h.pixel, h.line));
    return h;
}

std::string rasterHeaderText(const RasterHeader& h) {
    return format("ENVI\ndescription = {complex raster TileSet}\nsamples = %d\nlines = %d\nbands = 1\n"
                  "header offset = 0\ndata type = 6\ninterleave = bsq\nbyte order = %d\n",
                  h.pixel, h.line, h.byteOrder);
}

std::string rasterHeaderPathOf(const std::string& tilePath) {
    constexpr std::string_view kSuffix = "tile.cpx";
    const std::string base = tilePath.size() >= kSuffix.size() ? tilePath.substr(0, tilePath.size() - kSuffix.size())
                                                               : std::string();
    return base + ".hdr";
}

void cutRasterHeaders(const RasterParameters& p, const std::string& outPath, Ui& ui) {
    checkRasterParameters(p);
    File in(p.rasterPath, File::Mode::Read);
    const std::uint64_t size = in.size();
    const std::uint64_t need = rasterBytesNeeded(p);
    const std::size_t lineBytes = static_cast<std::size_t>(p.pixel) * kRasterSampleBytes;
    long long held = 0;
    if (size >= need) {
        held = p.line;
    } else {
        const std::uint64_t first = static_cast<std::uint64_t>(p.fileheader) + static_cast<std::uint64_t>(p.lineheader);
        if (size >= first + lineBytes)
            held = static_cast<long long>((size - first - lineBytes) / static_cast<std::uint64_t>(p.linebytes)) + 1;
        ui.message(format("\"%s\" holds %lld of %d lines; the cut is zero past them", p.rasterPath.c_str(), held, p.line));
    }
    AtomicFile out(outPath);
    BusyScope busy(ui);
    const std::size_t linesPerChunk = std::max<std::size_t>(1, kCopyChunk / lineBytes);
    std::vector<std::uint8_t> chunk(linesPerChunk * lineBytes);
    const bool contiguous = static_cast<std::size_t>(p.linebytes) == lineBytes;
    for (long long n0 = 0; n0 < p.line; n0 += static_cast<long long>(linesPerChunk)) {
        const long long n1 = std::min<long long>(p.line, n0 + static_cast<long long>(linesPerChunk));
        std::fill(chunk.begin(), chunk.end(), 0);
        const long long readable = std::clamp<long long>(held - n0, 0, n1 - n0);
        const std::uint64_t first = static_cast<std::uint64_t>(p.fileheader) + static_cast<std::uint64_t>(p.lineheader) +
                                    static_cast<std::uint64_t>(n0) * static_cast<std::uint64_t>(p.linebytes);
        if (contiguous && readable > 0) {
            in.readAt(first, std::span(chunk.data(), static_cast<std::size_t>(readable) * lineBytes));
        } else {
            for (long long k = 0; k < readable; ++k)
                in.readAt(first + static_cast<std::uint64_t>(k) * static_cast<std::uint64_t>(p.linebytes),
                          std::span(chunk.data() + static_cast<std::size_t>(k) * lineBytes, lineBytes));
        }
        out.file().write(std::span<const std::uint8_t>(chunk.data(), static_cast<std::size_t>(n1 - n0) * lineBytes));
        ui.progress(n1, p.line);
    }
    out.commit();
}

}  // namespace tessarin::tiles
