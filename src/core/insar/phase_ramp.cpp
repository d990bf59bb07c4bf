#include "insar/phase_ramp.h"

#include <algorithm>

#include "insar/fringe_filter.h"

namespace tessarin::insar {

void applyFringeBias(std::span<std::uint8_t> fringe, long long bias) {
    const int b = static_cast<int>(((bias % 256) + 256) % 256);
    for (auto& v : fringe) v = static_cast<std::uint8_t>((v + b) & 0xFF);
}

std::array<std::array<int, 256>, 2> inclinationPattern(std::span<const std::uint8_t> fringe, int width, int height) {
    std::array<std::array<int, 256>, 2> curves{};
    if (width <= 0 || height <= 0 || fringe.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        return curves;
    const PhasorTable& t = phasorTable();
    constexpr int kBand = 8;
    const auto at = [&](int y, int x) {
        return fringe[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
    };
    // Block k of an axis of n samples: [k n / 256, (k + 1) n / 256), at least one sample.
    const auto block = [](int k, int n) {
        const int first = static_cast<int>(static_cast<long long>(k) * n / 256);
        const int last = std::max(first + 1, static_cast<int>(static_cast<long long>(k + 1) * n / 256));
        return std::pair{std::min(first, n - 1), std::min(last, n)};
    };
    const int y0 = std::max(0, height / 2 - kBand / 2), y1 = std::min(height, y0 + kBand);
    const int x0 = std::max(0, width / 2 - kBand / 2), x1 = std::min(width, x0 + kBand);
    for (int k = 0; k < 256; ++k) {
        double c = 0.0, s = 0.0;
        const auto [first, last] = block(k, width);
        for (int y = y0; y < y1; ++y)
            for (int x = first; x < last; ++x) c += t.c[at(y, x)], s += t.s[at(y, x)];
        curves[0][static_cast<std::size_t>(k)] = phasorCode(c, s);
        c = s = 0.0;
        const auto [top, bottom] = block(k, height);
        for (int y = top; y < bottom; ++y)
            for (int x = x0; x < x1; ++x) c += t.c[at(y, x)], s += t.s[at(y, x)];
        curves[1][static_cast<std::size_t>(k)] = phasorCode(c, s);
    }
    return curves;
}

}  // namespace tessarin::insar
