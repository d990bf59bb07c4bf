// Raw complex rasters and the raster conversions against plain copies.
//
//   bench_raster [--size N] [--dir DIR] [--repeat R]
//
// Tiling: an N x N little-endian complex float raster (default 8192) through
// the amplitude estimate and the complex conversion, against the floor of
// reading the raster and writing the tile file's bytes with plain buffered
// I/O (the same floor as bench_tiling); target ratio <= 1.5.
// Conversions: each mode of "Image Format Conversion" on an N/2 x N/2 raster
// against `cp` of its input in the same run; speed ratio = cp time /
// conversion time, target >= 0.7. Tiling: the mean of R runs (default 3);
// conversions: the median.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "imagefiles/image_form_conv.h"
#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/ui.h"
#include "tiles/raw_raster.h"
#include "tiles/tiling.h"

using namespace tessarin;
using Clock = std::chrono::steady_clock;

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

template <typename Fn>
double median(int repeats, Fn&& once) {
    std::vector<double> t;
    for (int r = 0; r < repeats; ++r) t.push_back(once());
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

// Speckled complex floats, or any bytes for the conversions.
void writeComplex(const std::string& path, int px, int ln) {
    File f(path, File::Mode::Write);
    std::vector<std::uint8_t> rec(static_cast<std::size_t>(px) * 8);
    std::uint32_t h = 12345;
    for (int y = 0; y < ln; ++y) {
        for (int x = 0; x < px; ++x) {
            h = h * 1664525u + 1013904223u;
            const double amp = 50.0 * -std::log(((h >> 8) + 0.5) / 16777216.0);
            const double ph = (h * 2654435761u) * (2 * std::numbers::pi / 4294967296.0);
            store<float>(rec, 8u * static_cast<unsigned>(x), static_cast<float>(amp * std::cos(ph)), ByteOrder::Little);
            store<float>(rec, 8u * static_cast<unsigned>(x) + 4, static_cast<float>(amp * std::sin(ph)), ByteOrder::Little);
        }
        f.write(rec);
    }
    f.close();
}

double floorTime(const std::string& image, std::uint64_t outBytes, const std::string& out) {
    const auto t0 = Clock::now();
    std::FILE* in = std::fopen(image.c_str(), "rb");
    std::FILE* o = std::fopen(out.c_str(), "wb");
    std::vector<char> buf(1 << 20);
    std::uint64_t written = 0, read = 0;
    const std::uint64_t total = std::filesystem::file_size(image);
    std::size_t got;
    while ((got = std::fread(buf.data(), 1, buf.size(), in)) > 0) {
        read += got;
        const std::uint64_t due = outBytes * read / total;
        std::fwrite(buf.data(), 1, static_cast<std::size_t>(due - written), o);
        written = due;
    }
    std::fclose(in);
    std::fclose(o);
    const double t = since(t0);
    std::filesystem::remove(out);
    return t;
}

double cpTime(const std::string& from, const std::string& to) {
    const auto t0 = Clock::now();
    const std::string cmd = "cp '" + from + "' '" + to + "'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cp failed\n");
    const double t = since(t0);
    std::filesystem::remove(to);
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    int n = 8192, repeats = 3;
    std::string dir = std::filesystem::temp_directory_path() / "tessarin-bench-raster";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--size") n = std::atoi(argv[i + 1]);
        else if (a == "--dir") dir = argv[i + 1];
        else if (a == "--repeat") repeats = std::max(1, std::atoi(argv[i + 1]));
    }
    std::filesystem::create_directories(dir);
    ScriptedUi ui;

    // ---- tiling
    const std::string raster = dir + "/raster.slc";
    writeComplex(raster, n, n);
    tiles::RasterParameters p;
    p.rasterPath = raster;
    p.pixel = p.line = n;
    p.linebytes = 8 * n;
    const tiles::TileGrid grid = tiles::TileGrid::make(n, n);
    double floorT = 0.0, tileT = 0.0, cpuT = 0.0;
    std::uint64_t saturated = 0;
    for (int r = 0; r < repeats; ++r) {
        const double f = floorTime(raster, grid.fileBytes(tiles::TileKind::Complex), dir + "/floor.bin");
        const double c0 = cpuSeconds();
        const auto t0 = Clock::now();
        const tiles::AmplitudeEstimate e = tiles::estimateAmplitude(p);
        tiles::ConversionOptions o;
        o.equalizingval = e.equalizingval;
        const auto res = tiles::convertComplex(tiles::rasterLayout(p), dir + "/rtile.cpx", dir + "/r.idx", ui, o);
        const double t = since(t0);
        cpuT += cpuSeconds() - c0;
        saturated = res.saturated;
        floorT += f;
        tileT += t;
    }
    floorT /= repeats;
    tileT /= repeats;
    cpuT /= repeats;
    std::printf("raster tiling %d x %d: floor %.3f s, estimate + tiling %.3f s (%.3f s of CPU), ratio %.2f (target <= "
                "1.5); %.4f %% of samples at the top code\n",
                n, n, floorT, tileT, cpuT, tileT / floorT, 100.0 * static_cast<double>(saturated) / (double(n) * n));
    std::filesystem::remove(dir + "/rtile.cpx");
    std::filesystem::remove(dir + "/r.idx");

    // ---- conversions on an m x m raster
    const int m = std::max(256, n / 2);
    const std::string c64 = dir + "/c64.raw";  // complex float, 8 bytes a pixel
    writeComplex(c64, m, m);
    // Shorts and complex shorts: the first half / quarter of the same bytes.
    const auto prefixCopy = [&](const std::string& to, std::uint64_t bytes) {
        File in(c64, File::Mode::Read);
        File out(to, File::Mode::Write);
        std::vector<std::uint8_t> buf(bytes);
        in.readExact(buf);
        out.write(buf);
        out.close();
    };
    const std::string f32 = dir + "/f32.raw", s16 = dir + "/s16.raw";
    prefixCopy(f32, 4ull * static_cast<unsigned>(m) * static_cast<unsigned>(m));
    prefixCopy(s16, 2ull * static_cast<unsigned>(m) * static_cast<unsigned>(m));
    using imagefiles::ConversionMode;
    struct Run {
        const char* name;
        imagefiles::ConversionRequest req;
    };
    const auto req = [&](ConversionMode mode, const std::string& in) {
        imagefiles::ConversionRequest r;
        r.mode = mode;
        r.input = in;
        r.pixels = m;
        r.lines = m;
        return r;
    };
    std::vector<Run> runs = {{"0 Float Byte Swap", req(ConversionMode::FloatSwap, f32)},
                             {"1 Short Byte Swap", req(ConversionMode::ShortSwap, s16)},
                             {"2 Float 2 Short", req(ConversionMode::FloatToShort, f32)},
                             {"3 S-Short 2 Float", req(ConversionMode::ShortToFloat, s16)},
                             {"4 Short 2 Tiff", req(ConversionMode::ShortToTiff, f32)},
                             {"5 Pick Pure Image", req(ConversionMode::PickPure, c64)},
                             {"6 Raster to Tile", req(ConversionMode::RasterToTile, c64)},
                             {"7 Tile 2 Raster", req(ConversionMode::TileToRaster, c64)}};
    runs[5].req.lastLine = m - 1;
    runs[6].req.tilePixels = runs[6].req.tileLines = 1024;
    runs[6].req.bytesPerPixel = 8;
    runs[7].req.tilePixels = runs[7].req.tileLines = 1024;
    runs[7].req.bytesPerPixel = 8;
    runs[7].req.tilesAcross = runs[7].req.tilesDown = 1;
    runs[7].req.tilePixels = m;
    runs[7].req.tileLines = m;
    for (const Run& r : runs) {
        std::vector<double> cps;
        const double t = median(repeats, [&] {
            cps.push_back(cpTime(r.req.input, dir + "/cp.out"));
            const auto t0 = Clock::now();
            const auto rep = imagefiles::CImageFormConv::run(r.req, ui);
            const double s = since(t0);
            std::filesystem::remove(rep.output);
            return s;
        });
        std::sort(cps.begin(), cps.end());
        const double cp = cps[cps.size() / 2];
        std::printf("conversion %-18s %d x %d: cp %.3f s, conversion %.3f s, speed %.2f x cp (target >= 0.7)\n", r.name,
                    m, m, cp, t, cp / t);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
