#include "insar/fringe_filter.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <thread>

#include "platform/error.h"

namespace tessarin::insar {

namespace {

constexpr double kStepsPerRadian = 256.0 / (2.0 * std::numbers::pi);

void checkSize(std::size_t bytes, int width, int height) {
    if (width <= 0 || height <= 0 || bytes < static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        throw Error("The fringe holds fewer samples than its area");
}

// Runs body(first, last) over [0, count) in contiguous blocks, one per thread.
void inBlocks(int count, int threads, const std::function<void(int, int)>& body) {
    if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    threads = std::clamp(threads, 1, std::max(1, count));
    if (threads == 1) {
        body(0, count);
        return;
    }
    std::vector<std::thread> workers;
    for (int t = 1; t < threads; ++t)
        workers.emplace_back(body, static_cast<int>(static_cast<long long>(count) * t / threads),
                             static_cast<int>(static_cast<long long>(count) * (t + 1) / threads));
    body(0, static_cast<int>(static_cast<long long>(count) / threads));
    for (auto& w : workers) w.join();
}

}  // namespace

PhasorTable::PhasorTable() {
    for (int k = 0; k < 256; ++k) {
        c[k] = std::cos(k * (2.0 * std::numbers::pi / 256.0));
        s[k] = std::sin(k * (2.0 * std::numbers::pi / 256.0));
    }
    c[64] = c[192] = 0.0;
    s[0] = s[128] = 0.0;
    c[128] = -1.0;
    s[64] = 1.0;
    s[192] = -1.0;
}

const PhasorTable& phasorTable() {
    static const PhasorTable table;
    return table;
}

std::uint8_t phasorCode(double C, double S) {
    const double steps = std::floor(std::atan2(S, C) * kStepsPerRadian + kCodingEpsilon);
    return static_cast<std::uint8_t>(static_cast<long long>(steps) & 0xFF);
}

std::vector<std::uint8_t> discFilter(std::span<const std::uint8_t> fringe, int width, int height, int threads) {
    checkSize(fringe.size(), width, height);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const PhasorTable& t = phasorTable();
    const std::size_t W = static_cast<std::size_t>(width), P = W + 1;
    inBlocks(height, threads, [&](int yFirst, int yLast) {
        // Prefix sums of the rows the disc of the current line reaches, in a
        // ring of 2 r + 1 rows; entry x holds the sum of samples 0..x-1.
        constexpr int kRows = 2 * kDiscRadius + 1;
        std::vector<double> pc(P * kRows), ps(P * kRows);
        const auto prefix = [&](int y) {
            const std::size_t slot = static_cast<std::size_t>(y % kRows) * P;
            const std::uint8_t* row = fringe.data() + static_cast<std::size_t>(y) * W;
            double c = 0.0, s = 0.0;
            pc[slot] = ps[slot] = 0.0;
            for (std::size_t x = 0; x < W; ++x) {
                c += t.c[row[x]];
                s += t.s[row[x]];
                pc[slot + x + 1] = c;
                ps[slot + x + 1] = s;
            }
        };
        for (int y = std::max(0, yFirst - kDiscRadius); y < std::min(height, yFirst + kDiscRadius); ++y) prefix(y);
        for (int y = yFirst; y < yLast; ++y) {
            if (y + kDiscRadius < height) prefix(y + kDiscRadius);
            const int dFirst = std::max(-kDiscRadius, -y), dLast = std::min(kDiscRadius, height - 1 - y);
            std::uint8_t* o = out.data() + static_cast<std::size_t>(y) * W;
            // Interior columns: every disc row lies whole inside the area.
            const int xIn0 = std::min(width, kDiscRadius), xIn1 = std::max(xIn0, width - kDiscRadius);
            const auto sumAt = [&](int x, bool clip) {
                double C = 0.0, S = 0.0;
                for (int d = dFirst; d <= dLast; ++d) {
                    const std::size_t slot = static_cast<std::size_t>((y + d) % kRows) * P;
                    const int h = kDiscHalfWidths[d + kDiscRadius];
                    int a = x - h, b = x + h + 1;
                    if (clip) a = std::max(a, 0), b = std::min(b, width);
                    C += pc[slot + static_cast<std::size_t>(b)] - pc[slot + static_cast<std::size_t>(a)];
                    S += ps[slot + static_cast<std::size_t>(b)] - ps[slot + static_cast<std::size_t>(a)];
                }
                o[x] = phasorCode(C, S);
            };
            for (int x = 0; x < xIn0; ++x) sumAt(x, true);
            for (int x = xIn0; x < xIn1; ++x) sumAt(x, false);
            for (int x = xIn1; x < width; ++x) sumAt(x, true);
        }
    });
    return out;
}

std::uint8_t qualityByte(std::uint32_t a, std::uint32_t b) {
    if (a == 0 && b == 0) return 0;
    const std::uint64_t lo = std::min(a, b), hi = std::max(a, b);
    return static_cast<std::uint8_t>(std::min<std::uint64_t>(255, (lo << 8) / hi));
}

std::vector<std::uint8_t> qualityMask(std::span<const std::uint8_t> cutBytes, int width, int height) {
    const std::size_t n = static_cast<std::size_t>(std::max(0, width)) * static_cast<std::size_t>(std::max(0, height));
    if (width <= 0 || height <= 0 || cutBytes.size() < n * 6) throw Error("The cut file holds fewer pixels than its area");
    std::vector<std::uint8_t> mask(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t* p = cutBytes.data() + 6 * i;
        mask[i] = qualityByte(static_cast<std::uint32_t>(p[0] | p[1] << 8), static_cast<std::uint32_t>(p[2] | p[3] << 8));
    }
    return mask;
}

std::vector<std::uint8_t> interpolateByMask(std::span<const std::uint8_t> fringe, std::span<const std::uint8_t> mask,
                                            int width, int height) {
    checkSize(fringe.size(), width, height);
    checkSize(mask.size(), width, height);
    constexpr int kRays = 16, kSteps = 19;
    constexpr double kRadius = 20.0;
    // The pixel offsets of each ray's steps.
    struct Step {
        int dx, dy;
        double weight;
    };
    std::vector<std::vector<Step>> rays(kRays);
    for (int r = 0; r < kRays; ++r) {
        const double angle = r * (std::numbers::pi / 8.0);
        for (int k = 1; k <= kSteps; ++k) {
            const int dx = static_cast<int>(std::lround(k * std::cos(angle)));
            const int dy = static_cast<int>(std::lround(k * std::sin(angle)));
            const double distance = std::hypot(dx, dy);
            if (distance > 0.0 && distance <= kRadius) rays[static_cast<std::size_t>(r)].push_back({dx, dy, 1.0 / distance});
        }
    }
    const PhasorTable& t = phasorTable();
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<std::uint8_t> out(fringe.begin(), fringe.begin() + static_cast<std::ptrdiff_t>(n));
    const auto idx = [width](int x, int y) { return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x); };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (mask[idx(x, y)] == 255) continue;
            double C = 0.0, S = 0.0;
            bool found = false;
            for (const auto& ray : rays)
                for (const Step& s : ray) {
                    const int xx = x + s.dx, yy = y + s.dy;
                    if (xx < 0 || yy < 0 || xx >= width || yy >= height) break;
                    if (mask[idx(xx, yy)] != 255) continue;
                    C += s.weight * t.c[fringe[idx(xx, yy)]];
                    S += s.weight * t.s[fringe[idx(xx, yy)]];
                    found = true;
                    break;
                }
            if (found)
                out[idx(x, y)] = static_cast<std::uint8_t>(
                    static_cast<long long>(std::floor(std::atan2(S, C) * kStepsPerRadian + 0.5)) & 0xFF);
        }
    return out;
}

}  // namespace tessarin::insar
