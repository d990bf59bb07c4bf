// Tiling and canvas assembly against the speed of the disk.
//
//   bench_tiling [--size N] [--dir DIR] [--repeat R] [--keep] [--image L11]
//
// --image times the complex tiling of an existing level 1.1 product image
// instead of a generated one (ALOS-2 or first-generation PALSAR, whose
// layout its descriptor gives), e.g. one of `tessarin-cli simulate`.
// --keep leaves the generated images in DIR and reuses them on the next run
// (handy under a profiler, where generating them would dominate).
//
// Writes a level 1.1 image of N x N complex samples (default 8192) and a
// level 1.5 image of N x N amplitudes, then for each: measures the floor
// (reading the image sequentially and writing as many bytes as the tile file
// will hold, plain buffered I/O) and the conversion, R times (default 5),
// and prints the repetition with the median ratio.
// Then the median of complex canvas assemblies (4 tiles read, canvas file
// written), and the peak resident size.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/ui.h"
#include "products/calos.h"
#include "tiles/canvas.h"
#include "tiles/tiling.h"

using namespace tessarin;
using namespace tessarin::tiles;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

long peakRssKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// Speckled samples with a slow amplitude pattern, written line by line.
ImageLayout writeImage(const std::string& path, int n, bool complex, bool reuse) {
    const int prefix = complex ? 544 : 192;
    const int sampleBytes = complex ? 8 : 2;
    const ImageLayout layout{path, n, n, 720, prefix, prefix + sampleBytes * n, true};
    std::error_code ec;
    if (reuse && std::filesystem::file_size(path, ec) ==
                     720u + static_cast<std::uintmax_t>(n) * static_cast<std::uintmax_t>(layout.linebytes))
        return layout;
    File f(path, File::Mode::Write);
    std::vector<std::uint8_t> header(720, ' ');
    f.write(header);
    std::vector<std::uint8_t> rec(static_cast<std::size_t>(prefix + sampleBytes * n));
    std::uint32_t h = 12345;
    for (int y = 0; y < n; ++y) {
        std::memset(rec.data(), 0, static_cast<std::size_t>(prefix));
        for (int x = 0; x < n; ++x) {
            h = h * 1664525u + 1013904223u;
            const double amp = 300.0 + 2000.0 * (0.5 + 0.5 * std::sin(x * 0.01) * std::cos(y * 0.013)) * ((h >> 8) & 0xFFFF) / 65536.0;
            std::uint8_t* p = rec.data() + prefix + static_cast<std::size_t>(x) * static_cast<std::size_t>(sampleBytes);
            if (complex) {
                // A phase of full resolution: quantised phases would sit on
                // code boundaries far more often than real data does.
                const std::uint32_t h2 = h * 2654435761u + 0x9E3779B9u;
                const double ph = h2 * (2 * std::numbers::pi / 4294967296.0);
                store<float>(std::span<std::uint8_t>(p, 8), 0, static_cast<float>(amp * std::cos(ph)), ByteOrder::Big);
                store<float>(std::span<std::uint8_t>(p, 8), 4, static_cast<float>(amp * std::sin(ph)), ByteOrder::Big);
            } else {
                store<std::uint16_t>(std::span<std::uint8_t>(p, 2), 0, static_cast<std::uint16_t>(amp), ByteOrder::Big);
            }
        }
        f.write(rec);
    }
    f.close();
    return layout;
}

// Read the whole image sequentially, write outBytes to a new file.
double floorTime(const std::string& image, std::uint64_t outBytes, const std::string& out) {
    const auto t0 = Clock::now();
    std::FILE* in = std::fopen(image.c_str(), "rb");
    std::FILE* o = std::fopen(out.c_str(), "wb");
    std::vector<char> buf(1 << 20);
    std::uint64_t written = 0;
    std::uint64_t read = 0;
    const std::uint64_t total = std::filesystem::file_size(image);
    std::size_t got;
    while ((got = std::fread(buf.data(), 1, buf.size(), in)) > 0) {
        read += got;
        const std::uint64_t due = outBytes * read / total;
        const std::size_t w = static_cast<std::size_t>(due - written);
        std::fwrite(buf.data(), 1, w, o);
        written += w;
    }
    std::fclose(in);
    std::fclose(o);
    const auto t1 = Clock::now();
    std::filesystem::remove(out);
    return seconds(t0, t1);
}

struct Trial {
    double floor = 0.0;  // s
    double work = 0.0;   // s
    double cpu = 0.0;    // s of CPU, all threads
};

// One repetition: the floor, then the conversion into a fresh tile file.
template <typename Convert>
Trial trial(const ImageLayout& image, std::uint64_t tileBytes, const std::string& dir, const char* tileName,
            Convert&& convert) {
    Trial t;
    const std::string out = dir + tileName;
    std::filesystem::remove(out);
    t.floor = floorTime(image.imagePath, tileBytes, dir + "/floor.bin");
    const double cpu0 = cpuSeconds();
    const auto t0 = Clock::now();
    convert(out);
    t.work = seconds(t0, Clock::now());
    t.cpu = cpuSeconds() - cpu0;
    return t;
}

// The repetition with the median ratio.
template <typename Fn>
Trial medianTrial(int repeats, Fn&& once) {
    std::vector<Trial> trials;
    for (int r = 0; r < repeats; ++r) trials.push_back(once());
    std::sort(trials.begin(), trials.end(),
              [](const Trial& a, const Trial& b) { return a.work / a.floor < b.work / b.floor; });
    return trials[trials.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int n = 8192;
    int repeats = 5;
    bool keep = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--keep") == 0) keep = true;
    std::string dir = std::filesystem::temp_directory_path() / "tessarin-bench";
    std::string image;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--image") == 0) image = argv[i + 1];
        if (std::strcmp(argv[i], "--size") == 0) n = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--dir") == 0) dir = argv[i + 1];
        if (std::strcmp(argv[i], "--repeat") == 0) repeats = std::max(1, std::atoi(argv[i + 1]));
    }
    std::filesystem::create_directories(dir);
    std::printf("bench_tiling: %d x %d samples, %u hardware threads, folder %s\n", n, n,
                std::thread::hardware_concurrency(), dir.c_str());
    ScriptedUi ui;

    // Complex. Each repetition measures the floor and then the conversion
    // into a fresh file; the ratio of the median repetition is reported (a
    // busy machine slows single repetitions, not all of them).
    ImageLayout cpx;
    if (image.empty()) {
        cpx = writeImage(dir + "/IMG-HH-BENCH-1.1__A", n, true, keep);
    } else {
        products::Alos2 reader = products::isFirstGenerationImageName(image) ? products::CAlos() : products::Alos2();
        reader.setImagePath(image);
        if (!reader.DecodeImageFileDescriptor(image)) {
            std::fprintf(stderr, "bench_tiling: cannot open %s\n", image.c_str());
            return 1;
        }
        const auto& p = reader.params();
        cpx = {image, p.pixel, p.line, p.fileheader, p.lineheader, p.linebytes, true};
        n = p.pixel;
        std::printf("complex image %s: %d x %d, line prefix %d bytes%s\n", image.c_str(), p.pixel, p.line,
                    p.lineheader, reader.firstGeneration() ? " (first-generation PALSAR)" : "");
    }
    const TileGrid grid = TileGrid::make(cpx.pixel, cpx.line);
    const long rssBefore = peakRssKiB();
    const Trial c = medianTrial(repeats, [&] {
        return trial(cpx, grid.fileBytes(TileKind::Complex), dir, "/bench.cpx", [&](const std::string& out) {
            convertComplex(cpx, out, dir + "/bench.idx", ui);
        });
    });
    const long rssAfter = peakRssKiB();
    std::printf("complex tiling:   floor %.3f s, tiling %.3f s, ratio %.2f (target <= 1.5); tiling used %.3f s of CPU"
                " (median of %d)\n",
                c.floor, c.work, c.work / c.floor, c.cpu, repeats);
    std::printf("peak resident size during complex tiling: %.1f MiB (before: %.1f MiB)\n",
                static_cast<double>(rssAfter) / 1024.0, static_cast<double>(rssBefore) / 1024.0);

    // Canvas assembly, median over positions spread across the scene.
    Canvas canvas;
    std::vector<double> ms;
    for (int k = 0; k < 21; ++k) {
        const GlobalPoint at{(k * 977) % n, (k * 1531) % n};
        const auto a = Clock::now();
        mergeComplex(at, grid, dir + "/bench.cpx", dir + "/bench.cut", canvas);
        const auto b = Clock::now();
        ms.push_back(seconds(a, b) * 1000.0);
    }
    std::nth_element(ms.begin(), ms.begin() + 10, ms.end());
    std::printf("complex canvas assembly: median %.1f ms over 21 runs (target < 30 ms)\n", ms[10]);
    if (!keep && image.empty()) std::filesystem::remove(cpx.imagePath);

    // Amplitude.
    const ImageLayout amp = writeImage(dir + "/IMG-HH-BENCH-1.5__D", n, false, keep);
    const Trial am = medianTrial(repeats, [&] {
        return trial(amp, TileGrid::make(n, n).fileBytes(TileKind::Amplitude), dir, "/bench.tile", [&](const std::string& out) {
            convertAmplitude(amp, out, dir + "/bench.idx", ui);
        });
    });
    std::printf("amplitude tiling: floor %.3f s, tiling %.3f s, ratio %.2f (target <= 1.3); tiling used %.3f s of CPU"
                " (median of %d)\n",
                am.floor, am.work, am.work / am.floor, am.cpu, repeats);
    if (keep) {
        for (const char* f : {"/bench.cpx", "/bench.idx", "/bench.cut", "/bench.tile"}) std::filesystem::remove(dir + f);
    } else {
        std::filesystem::remove_all(dir);
    }
    return 0;
}
