#include "dem/aster_dem.h"

#include <algorithm>
#include <cmath>

#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/file.h"

namespace tessarin::dem {

namespace {

constexpr std::int16_t kVoid = -9999;
constexpr std::int16_t kLowestValid = -999;
constexpr double kMetresPerDegree = 111317.09969219835;
constexpr double kDegToRad = 3.14159265358979323846 / 180.0;
constexpr std::size_t kSampleBytes = 2;

std::uint8_t byteOf(double v) { return static_cast<std::uint8_t>(std::clamp(static_cast<int>(v), 0, 255)); }

}  // namespace

void repairVoids(std::vector<std::int16_t>& heights, int side, const std::function<void(int row)>& onRow) {
    if (heights.size() != static_cast<std::size_t>(side) * static_cast<std::size_t>(side))
        throw Error("the heights do not make a square tile");
    const std::vector<std::int16_t> original = heights;  // neighbours count by their unrepaired value
    auto at = [&](int k, int l) { return original[static_cast<std::size_t>(k) * static_cast<std::size_t>(side) + static_cast<std::size_t>(l)]; };
    for (int k = 0; k < side; ++k) {
        if (onRow) onRow(k);
        for (int l = 0; l < side; ++l) {
            if (at(k, l) != kVoid) continue;
            int sum = 0, count = 0;
            const int neighbours[4][2] = {{k, l + 1}, {k + 1, l}, {k, l - 1}, {k - 1, l}};
            for (const auto& n : neighbours) {
                if (n[0] < 0 || n[1] < 0 || n[0] >= side || n[1] >= side) continue;  // nothing outside the tile
                const int v = at(n[0], n[1]);
                if (v >= kLowestValid) sum += v, ++count;
            }
            heights[static_cast<std::size_t>(k) * static_cast<std::size_t>(side) + static_cast<std::size_t>(l)] =
                count == 0 ? 0 : static_cast<std::int16_t>(std::floor(static_cast<double>(sum) / count + 0.5));
        }
    }
}

HeightRange heightRange(const std::vector<std::int16_t>& heights) {
    HeightRange r;
    for (const std::int16_t h : heights) r.min = std::min<int>(r.min, h), r.max = std::max<int>(r.max, h);
    return r;
}

Rgb reliefColour(double x) {
    x = std::clamp(x, 0.0, 1.0);
    constexpr double a = 2.0 / 7.0, b = 4.0 / 7.0;
    if (x < a) return {byteOf(70.0 - x / 3.5 * 20.0), byteOf(200.0 + 27.0 * x * 7.0), byteOf(90.0 * x * 7.0)};
    if (x < b) {
        const double s = (x - a) * 7.0;
        return {byteOf(50.0 + 100.0 * s), 255, byteOf(180.0 - 90.0 * s)};
    }
    const double s = (x - b) * 7.0;
    return {byteOf(255.0 - 20.0 * s), byteOf(255.0 - 20.0 * (x - b)), 0};
}

std::vector<std::uint8_t> shadedRelief(const std::vector<std::int16_t>& heights, int side, double tileLat_deg,
                                       HeightRange range) {
    if (side < 1 || heights.size() != static_cast<std::size_t>(side) * static_cast<std::size_t>(side))
        throw Error("the heights do not make a square tile");
    const double northSouth_m = side > 1 ? kMetresPerDegree / (side - 1) : 1.0;
    const double eastWest_m = northSouth_m * std::cos(tileLat_deg * kDegToRad);
    const double span = range.max - range.min;
    const double sin135 = std::sin(135.0 * kDegToRad), cos135 = std::cos(135.0 * kDegToRad);
    const double cos30 = std::cos(30.0 * kDegToRad), sin30 = std::sin(30.0 * kDegToRad);
    auto h = [&](int k, int l) {
        return static_cast<double>(heights[static_cast<std::size_t>(k) * static_cast<std::size_t>(side) + static_cast<std::size_t>(l)]);
    };
    std::vector<std::uint8_t> rgb(heights.size() * 3);
    for (int k = 0; k < side; ++k)
        for (int l = 0; l < side; ++l) {
            std::uint8_t* out = rgb.data() + (static_cast<std::size_t>(k) * static_cast<std::size_t>(side) + static_cast<std::size_t>(l)) * 3;
            const double v = h(k, l);
            if (v == 0.0) {
                out[0] = 0, out[1] = 255, out[2] = 255;
                continue;
            }
            const Rgb c = reliefColour(span > 0.0 ? (v - range.min) / span : 0.0);
            double shade = 1.0;
            if (k > 0 && l > 0 && k < side - 1 && l < side - 1) {
                const double gx = (h(k, l + 1) - h(k, l - 1)) / (2.0 * eastWest_m);
                const double gy = (h(k + 1, l) - h(k - 1, l)) / (2.0 * northSouth_m);
                const double f = std::sqrt(gx * gx + gy * gy + 1.0);
                shade = std::clamp((gy / f * sin135 * cos30 + gx / f * cos135 * cos30 + sin30 / f + 0.5) / 1.5, 0.0, 1.0);
            }
            out[0] = static_cast<std::uint8_t>(c.r * shade);
            out[1] = static_cast<std::uint8_t>(c.g * shade);
            out[2] = static_cast<std::uint8_t>(c.b * shade);
        }
    return rgb;
}

std::vector<std::uint8_t> cutIntoTiles(const std::vector<std::uint8_t>& rgb, int side) {
    const int n = (side + kAsterDisplayTile - 1) / kAsterDisplayTile;
    const std::size_t tileBytes = std::size_t{kAsterDisplayTile} * kAsterDisplayTile * 3;
    std::vector<std::uint8_t> tiles(tileBytes * static_cast<std::size_t>(n) * static_cast<std::size_t>(n), 0);
    for (int k = 0; k < side; ++k) {
        const int ky = k / kAsterDisplayTile, row = k % kAsterDisplayTile;
        for (int kx = 0; kx < n; ++kx) {
            const int first = kx * kAsterDisplayTile, count = std::min(kAsterDisplayTile, side - first);
            if (count <= 0) continue;
            const std::size_t to = (static_cast<std::size_t>(kx) + static_cast<std::size_t>(ky) * static_cast<std::size_t>(n)) * tileBytes +
                                   static_cast<std::size_t>(row) * std::size_t{kAsterDisplayTile} * 3;
            const std::size_t from = (static_cast<std::size_t>(k) * static_cast<std::size_t>(side) + static_cast<std::size_t>(first)) * 3;
            std::copy_n(rgb.begin() + static_cast<std::ptrdiff_t>(from), static_cast<std::size_t>(count) * 3,
                        tiles.begin() + static_cast<std::ptrdiff_t>(to));
        }
    }
    return tiles;
}

std::vector<std::int16_t> repairedHeights(std::vector<std::int16_t> heights, int side, const std::string& cachePath,
                                          const std::function<void(int row)>& onRow) {
    const std::size_t bytes = static_cast<std::size_t>(side) * static_cast<std::size_t>(side) * kSampleBytes;
    if (const auto file = File::tryOpen(cachePath, File::Mode::Read); file && file->size() == bytes) {
        // A cache of another size is from another tile or damaged: repair anew.
        const std::vector<std::uint8_t> b = readWholeFile(cachePath, bytes + 1);
        if (b.size() == bytes) {
            for (std::size_t k = 0; k < heights.size(); ++k)
                heights[k] = load<std::int16_t>(b, kSampleBytes * k, ByteOrder::Little);
            return heights;
        }
    }
    repairVoids(heights, side, onRow);
    std::vector<std::uint8_t> b(bytes);
    for (std::size_t k = 0; k < heights.size(); ++k) store<std::int16_t>(b, kSampleBytes * k, heights[k], ByteOrder::Little);
    writeWholeFile(cachePath, b);
    return heights;
}

}  // namespace tessarin::dem
