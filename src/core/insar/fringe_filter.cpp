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

namespace {

// atan2 in steps of 1/256 turn plus the coding's epsilon, moved up by 512
// steps: an octant reduction and the alternating series of atan to x^13 on
// |x| <= tan(pi/8) (error below 1.2e-7 rad, 5e-6 step). Branch-free, so a
// row of it vectorises; NaN when both sums are 0.
inline double approximateSteps(double C, double S) {
    constexpr double kTanEighth = 0.41421356237309503;
    constexpr double kPi = std::numbers::pi;
    const double ax = std::fabs(C), ay = std::fabs(S);
    const double lo = ax < ay ? ax : ay, hi = ax < ay ? ay : ax;
    // Above tan(pi/8) the angle is pi/4 + atan((r - 1) / (r + 1)), r = lo / hi.
    const double k = lo > kTanEighth * hi ? 1.0 : 0.0;
    const double x = (lo - k * hi) / (hi + k * lo);
    const double x2 = x * x;
    const double series =
        x * (1.0 + x2 * (-1.0 / 3 + x2 * (1.0 / 5 + x2 * (-1.0 / 7 + x2 * (1.0 / 9 + x2 * (-1.0 / 11 + x2 * (1.0 / 13)))))));
    double angle = k * (kPi / 4.0) + series;
    angle = ay > ax ? kPi / 2.0 - angle : angle;
    angle = C < 0.0 ? kPi - angle : angle;
    angle = S < 0.0 ? -angle : angle;
    return angle * kStepsPerRadian + kCodingEpsilon + 512.0;
}

// The code from approximateSteps; a result within kGuard of a whole step
// (or no result) goes to the exact path, so the code is always phasorCode's.
inline std::uint8_t guardedCode(double t, double C, double S) {
    constexpr double kGuard = 1.0e-4;
    if (!(t > 0.0 && t < 1024.0)) return phasorCode(C, S);
    const long long whole = static_cast<long long>(t);
    const double fraction = t - static_cast<double>(whole);
    if (!(fraction >= kGuard && fraction <= 1.0 - kGuard)) return phasorCode(C, S);
    return static_cast<std::uint8_t>(whole & 0xFF);
}

// The row passes of the filter, compiled for AVX2 as well (without FMA, so
// every sum rounds as in the baseline build): the running sum of the middle
// rows, the pairs of rows of equal half width, the three differences of
// prefix sums per pixel inside the borders, and the approximate steps.
#if defined(__x86_64__) && defined(__GNUC__)
#define TESSARIN_ROW_PASS __attribute__((target_clones("avx2", "default")))
#else
#define TESSARIN_ROW_PASS
#endif

TESSARIN_ROW_PASS
void addRows(double* qc, double* qs, const double* ac, const double* as, std::size_t n) {
    for (std::size_t x = 0; x < n; ++x) qc[x] += ac[x], qs[x] += as[x];
}

TESSARIN_ROW_PASS
void slideRows(double* qc, double* qs, const double* ac, const double* as, const double* dc, const double* ds,
               std::size_t n) {
    for (std::size_t x = 0; x < n; ++x) qc[x] += ac[x] - dc[x], qs[x] += as[x] - ds[x];
}

TESSARIN_ROW_PASS
void pairRows(double* gc, double* gs, const double* uc, const double* us, const double* lc, const double* ls,
              std::size_t n) {
    for (std::size_t x = 0; x < n; ++x) gc[x] = uc[x] + lc[x], gs[x] = us[x] + ls[x];
}

TESSARIN_ROW_PASS
void innerSums(const double* q, std::size_t P, std::size_t first, std::size_t last, double* accC, double* accS) {
    const double *c5 = q, *s5 = c5 + P, *c3 = s5 + P, *s3 = c3 + P, *c4 = s3 + P, *s4 = c4 + P;
    for (std::size_t x = first; x < last; ++x) {
        accC[x] = (c5[x + 5] - c5[x - 4]) + (c3[x + 4] - c3[x - 3]) + (c4[x + 3] - c4[x - 2]);
        accS[x] = (s5[x + 5] - s5[x - 4]) + (s3[x + 4] - s3[x - 3]) + (s4[x + 3] - s4[x - 2]);
    }
}

TESSARIN_ROW_PASS
void rowSteps(const double* accC, const double* accS, double* steps, std::size_t n) {
    for (std::size_t x = 0; x < n; ++x) steps[x] = approximateSteps(accC[x], accS[x]);
}

// Prefix sums of a row's phasors (entry x: samples 0..x-1). The row is
// summed in four segments at once, each a chain of its own, and the
// segments are then carried on from the end of the one before: the adds of
// one long chain wait on each other, four chains overlap.
void prefixRow(const std::uint8_t* row, std::size_t W, const PhasorTable& t, double* pc, double* ps) {
    constexpr std::size_t kSegments = 4;
    const std::size_t length = W / kSegments;
    pc[0] = ps[0] = 0.0;
    if (length < 64) {
        double c = 0.0, s = 0.0;
        for (std::size_t x = 0; x < W; ++x) {
            c += t.c[row[x]];
            s += t.s[row[x]];
            pc[x + 1] = c;
            ps[x + 1] = s;
        }
        return;
    }
    // Segment k covers [k length, (k + 1) length), the last one up to W.
    double c[kSegments] = {}, s[kSegments] = {};
    for (std::size_t i = 0; i < length; ++i)
        for (std::size_t k = 0; k < kSegments; ++k) {
            const std::size_t x = k * length + i;
            c[k] += t.c[row[x]];
            s[k] += t.s[row[x]];
            pc[x + 1] = c[k];
            ps[x + 1] = s[k];
        }
    for (std::size_t x = kSegments * length; x < W; ++x) {
        c[kSegments - 1] += t.c[row[x]];
        s[kSegments - 1] += t.s[row[x]];
        pc[x + 1] = c[kSegments - 1];
        ps[x + 1] = s[kSegments - 1];
    }
    for (std::size_t k = 1; k < kSegments; ++k) {
        const double oc = pc[k * length], os = ps[k * length];
        const std::size_t last = k + 1 == kSegments ? W : (k + 1) * length;
        for (std::size_t x = k * length + 1; x <= last; ++x) pc[x] += oc, ps[x] += os;
    }
}

}  // namespace

std::vector<std::uint8_t> discFilter(std::span<const std::uint8_t> fringe, int width, int height, int threads) {
    checkSize(fringe.size(), width, height);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const PhasorTable& t = phasorTable();
    const std::size_t W = static_cast<std::size_t>(width), P = W + 1;
    inBlocks(height, threads, [&](int yFirst, int yLast) {
        // Prefix sums of the rows the disc of the current line reaches, in a
        // ring of 2 r + 1 rows; entry x holds the sum of samples 0..x-1.
        constexpr int kRows = 2 * kDiscRadius + 1;
        std::vector<double> pc(P * kRows), ps(P * kRows), accC(W), accS(W), q(6 * P), zeros(P, 0.0), steps(W);
        const auto prefix = [&](int y) {
            const std::size_t slot = static_cast<std::size_t>(y % kRows) * P;
            const std::uint8_t* row = fringe.data() + static_cast<std::size_t>(y) * W;
            prefixRow(row, W, t, pc.data() + slot, ps.data() + slot);
        };
        for (int y = std::max(0, yFirst - kDiscRadius); y < std::min(height, yFirst + kDiscRadius); ++y) prefix(y);
        for (int y = yFirst; y < yLast; ++y) {
            if (y + kDiscRadius < height) prefix(y + kDiscRadius);
            // Rows of equal half width are summed first (rows outside the
            // area count as zero), so each pixel takes three differences of
            // prefix sums per component; the indices clamp to the area,
            // which clips the disc at the left and right borders. The middle
            // five rows are a running sum, made afresh every 32 lines so
            // that its rounding stays that of a few additions.
            const auto row = [&](int yy, std::vector<double>& prefixes) -> const double* {
                return yy < 0 || yy >= height ? zeros.data()
                                              : prefixes.data() + static_cast<std::size_t>(yy % kRows) * P;
            };
            double* q5c = q.data();
            double* q5s = q5c + P;
            if (y == yFirst || (y - yFirst) % 32 == 0) {
                std::fill(q5c, q5c + 2 * P, 0.0);
                for (int d = -2; d <= 2; ++d) addRows(q5c, q5s, row(y + d, pc), row(y + d, ps), P);
            } else {
                slideRows(q5c, q5s, row(y + 2, pc), row(y + 2, ps), row(y - 3, pc), row(y - 3, ps), P);
            }
            for (int group = 1; group <= 2; ++group) {
                const int d = group == 1 ? 3 : 4;
                double* gc = q.data() + static_cast<std::size_t>(2 * group) * P;
                pairRows(gc, gc + P, row(y - d, pc), row(y - d, ps), row(y + d, pc), row(y + d, ps), P);
            }
            const double *c5 = q.data(), *s5 = c5 + P, *c3 = s5 + P, *s3 = c3 + P, *c4 = s3 + P, *s4 = c4 + P;
            const auto sums = [&](int x, auto clamp) {
                const std::size_t a5 = clamp(x - 4), b5 = clamp(x + 5), a3 = clamp(x - 3), b3 = clamp(x + 4),
                                  a4 = clamp(x - 2), b4 = clamp(x + 3);
                accC[static_cast<std::size_t>(x)] = (c5[b5] - c5[a5]) + (c3[b3] - c3[a3]) + (c4[b4] - c4[a4]);
                accS[static_cast<std::size_t>(x)] = (s5[b5] - s5[a5]) + (s3[b3] - s3[a3]) + (s4[b4] - s4[a4]);
            };
            const auto clampTo = [width](int i) { return static_cast<std::size_t>(std::clamp(i, 0, width)); };
            const int inFirst = std::min(kDiscRadius, width), inLast = std::max(inFirst, width - kDiscRadius - 1);
            for (int x = 0; x < inFirst; ++x) sums(x, clampTo);
            innerSums(q.data(), P, static_cast<std::size_t>(inFirst), static_cast<std::size_t>(inLast), accC.data(),
                      accS.data());
            for (int x = inLast; x < width; ++x) sums(x, clampTo);
            std::uint8_t* o = out.data() + static_cast<std::size_t>(y) * W;
            rowSteps(accC.data(), accS.data(), steps.data(), W);
            for (std::size_t x = 0; x < W; ++x) o[x] = guardedCode(steps[x], accC[x], accS[x]);
        }
    });
    return out;
}

std::uint8_t qualityByte(std::uint32_t a, std::uint32_t b) {
    if (a == 0 && b == 0) return 0;
    const std::uint32_t lo = std::min(a, b), hi = std::max(a, b);
    if (hi <= 0xFFFFu)  // 16-bit amplitudes: the quotient fits 32 bits
        return static_cast<std::uint8_t>(std::min<std::uint32_t>(255, (lo << 8) / hi));
    return static_cast<std::uint8_t>(std::min<std::uint64_t>(255, (static_cast<std::uint64_t>(lo) << 8) / hi));
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
