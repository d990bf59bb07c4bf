// The fringe tools on a 2048 x 2048 working area: the disc filter against a
// direct sum of the same arithmetic (69 table phasors per pixel in double,
// one atan2), the colour coding (with and without intensity, the composite)
// and the quality mask. Medians over runs; outputs compared byte for byte.
//
//   bench_fringe [--runs N]
//
// Targets: filter at most 0.1 s and at least 10 x the direct sum; colour
// coding and the mask at most 50 ms each.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "insar/fringe_color.h"
#include "insar/fringe_filter.h"

using namespace tessarin;
using namespace tessarin::insar;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }
double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <class F>
double timeMs(int runs, F&& f) {
    std::vector<double> ms;
    for (int r = 0; r < runs; ++r) {
        const auto t = Clock::now();
        f();
        ms.push_back(msSince(t));
    }
    return median(ms);
}

// The direct sum, one thread, the same table and coding.
std::vector<std::uint8_t> directDisc(const std::vector<std::uint8_t>& in, int w, int h) {
    const PhasorTable& t = phasorTable();
    std::vector<std::uint8_t> out(in.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double C = 0.0, S = 0.0;
            for (int d = -kDiscRadius; d <= kDiscRadius; ++d) {
                const int yy = y + d;
                if (yy < 0 || yy >= h) continue;
                const int half = kDiscHalfWidths[d + kDiscRadius];
                const std::uint8_t* row = in.data() + static_cast<std::size_t>(yy) * static_cast<std::size_t>(w);
                for (int xx = std::max(0, x - half); xx <= std::min(w - 1, x + half); ++xx) C += t.c[row[xx]], S += t.s[row[xx]];
            }
            out[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] = phasorCode(C, S);
        }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
    constexpr int W = 2048, H = 2048;
    const std::size_t n = static_cast<std::size_t>(W) * H;
    // A fringe like a real one: a slow field with noise.
    std::mt19937 rng(1);
    std::vector<std::uint8_t> fringe(n);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            fringe[static_cast<std::size_t>(y) * W + static_cast<std::size_t>(x)] =
                static_cast<std::uint8_t>(static_cast<int>(60.0 * std::sin(x / 150.0) + y / 9) + static_cast<int>(rng() % 61) - 30);
    std::vector<std::uint8_t> cut(n * 6);
    std::vector<std::uint16_t> intensity(n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto a = static_cast<std::uint16_t>(rng() % 4000), b = static_cast<std::uint16_t>(rng() % 4000);
        intensity[i] = a;
        cut[6 * i] = static_cast<std::uint8_t>(a), cut[6 * i + 1] = static_cast<std::uint8_t>(a >> 8);
        cut[6 * i + 2] = static_cast<std::uint8_t>(b), cut[6 * i + 3] = static_cast<std::uint8_t>(b >> 8);
    }

    std::vector<std::uint8_t> fast, slow;
    const double filterMs = timeMs(runs, [&] { fast = discFilter(fringe, W, H); });
    const double filterOneMs = timeMs(runs, [&] { fast = discFilter(fringe, W, H, 1); });
    const double directMs = timeMs(std::max(1, runs / 2), [&] { slow = directDisc(fringe, W, H); });
    std::printf("disc filter 2048 x 2048: %.1f ms (all threads), %.1f ms (one thread); direct sum %.1f ms\n", filterMs,
                filterOneMs, directMs);
    std::printf("  ratio direct / filter %.1f x (target >= 10 x), filter %s 100 ms; outputs %s\n", directMs / filterMs,
                filterMs <= 100.0 ? "<=" : ">", fast == slow ? "identical" : "DIFFER");

    const ColorTable table = defaultColorTable();
    std::vector<std::uint8_t> out;
    const double plainMs = timeMs(runs, [&] { out = colourFringe(fringe, table); });
    const double intensityMs = timeMs(runs, [&] { out = colourFringeWithIntensity(fringe, intensity, table); });
    const double compositeMs = timeMs(runs, [&] { out = fringeImageComposite(fringe, intensity, table); });
    const double maskMs = timeMs(runs, [&] { out = qualityMask(cut, W, H); });
    std::printf("colour coding: %.1f ms plain, %.1f ms with intensity, %.1f ms composite (target <= 50 ms each)\n", plainMs,
                intensityMs, compositeMs);
    std::printf("quality mask: %.1f ms (target <= 50 ms)\n", maskMs);
    return fast == slow ? 0 : 1;
}
