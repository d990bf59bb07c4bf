#include "insar/interferogram.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <mutex>
#include <numbers>
#include <thread>

#include "geometry/ellipsoid.h"
#include "platform/arithmetic.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "products/alos2.h"

namespace tessarin::insar {

namespace {

constexpr int kPhaseCodes = 512;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Below these the area holds no usable flat-earth gradient (cycles per
// pixel) or no phase coherent enough to measure one: the convention stays
// as it was.
constexpr double kMinFlatEarthGradient = 1.0e-4;
constexpr double kMinPhasorCoherence = 0.02;

struct CodeTables {
    std::array<double, kPhaseCodes> cosine{}, sine{};
    CodeTables() {
        for (int c = 0; c < kPhaseCodes; ++c) {
            cosine[static_cast<std::size_t>(c)] = std::cos(kTwoPi * c / kPhaseCodes);
            sine[static_cast<std::size_t>(c)] = std::sin(kTwoPi * c / kPhaseCodes);
        }
        // Exact where the angle is a quarter turn, so equal codes and their
        // quarter-turn neighbours carry no rounding.
        cosine[128] = cosine[384] = 0.0;
        sine[0] = sine[256] = 0.0;
        cosine[256] = -1.0;
    }
};
const CodeTables& codeTables() {
    static const CodeTables t;
    return t;
}

inline std::uint32_t amplitudeOf(std::uint32_t w) { return w >> 9; }
inline std::uint32_t phaseOf(std::uint32_t w) { return w & 0x1FFu; }

// Runs body(first, last) over [0, count) in contiguous blocks, one per thread.
void parallelRows(int count, int threads, const std::function<void(int, int)>& body) {
    if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    threads = std::clamp(threads, 1, count);
    if (threads == 1) {
        body(0, count);
        return;
    }
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        const int first = static_cast<int>(static_cast<long long>(count) * t / threads);
        const int last = static_cast<int>(static_cast<long long>(count) * (t + 1) / threads);
        workers.emplace_back(body, first, last);
    }
    for (auto& w : workers) w.join();
}

// Largest k in 0..255 with k <= 255 sqrt(num2 / den2), decided on the
// squares so that equal sums give 255 exactly.
std::uint8_t ratioByte(double num2, double den2) {
    if (!(den2 > 0.0) || !(num2 > 0.0)) return 0;
    const double r = 255.0 * std::sqrt(num2 / den2);
    int k = static_cast<int>(std::clamp(std::floor(r), 0.0, 255.0));
    while (k < 255 && static_cast<double>((k + 1) * (k + 1)) * den2 <= 65025.0 * num2) ++k;
    while (k > 0 && static_cast<double>(k * k) * den2 > 65025.0 * num2) --k;
    return static_cast<std::uint8_t>(k);
}

std::uint8_t flatByte(double v) {
    // floor of the fractional part in 256 steps (frac of a negative value is
    // taken upwards from its floor, never toward zero).
    const double frac = v - std::floor(v);
    return static_cast<std::uint8_t>(static_cast<int>(std::floor(frac * 256.0)) & 0xFF);
}

// The master's pixel/line -> latitude/longitude polynomials along one line:
// for a fixed line each is a quartic in the pixel, evaluated by Horner.
struct LineMapping {
    std::array<double, 5> lat{}, lon{};
    double refPixel = 0.0;
    LineMapping(const products::SceneParameters& p, double line) : refPixel(p.plRefPixel) {
        const double b = line - p.plRefLine;
        for (std::size_t i = 0; i < 5; ++i) {
            double kl = 0.0, ko = 0.0;
            for (std::size_t j = 0; j < 5; ++j) {  // b^(4 - j), highest power first
                kl = kl * b + p.pl2lat[5 * i + j];
                ko = ko * b + p.pl2lon[5 * i + j];
            }
            lat[i] = kl;
            lon[i] = ko;
        }
    }
    GeoPoint at(double pixel) const {
        const double a = pixel - refPixel;
        double la = 0.0, lo = 0.0;
        for (std::size_t i = 0; i < 5; ++i) {  // a^(4 - i)
            la = la * a + lat[i];
            lo = lo * a + lon[i];
        }
        return {la, lo};
    }
};

// The ellipsoid point below a geodetic latitude and longitude: the same
// point as through the geocentric latitude and the radius there, with one
// square root and two sine/cosine pairs.
inline geometry::Ecef ellipsoidPoint(GeoPoint g) {
    const double lat = g.lat_deg * (std::numbers::pi / 180.0), lon = g.lon_deg * (std::numbers::pi / 180.0);
    const double sl = std::sin(lat), cl = std::cos(lat);
    const double n = geometry::kSemiMajorAxis_m / std::sqrt(1.0 - geometry::kEccentricitySquared * sl * sl);
    return {n * cl * std::cos(lon), n * cl * std::sin(lon), n * (1.0 - geometry::kEccentricitySquared) * sl};
}

}  // namespace

const char* conventionText(PhaseConvention c) {
    switch (c) {
        case PhaseConvention::MinusRange: return "flat earth: samples carry -4 pi R / lambda";
        case PhaseConvention::PlusRange: return "flat earth: samples carry +4 pi R / lambda";
        default: return "flat earth: the phase convention is not known";
    }
}

std::vector<std::uint32_t> readComplexWindow(const std::string& tilePath, const tiles::TileGrid& grid, long long x0,
                                             long long y0, int width, int height) {
    std::vector<std::uint32_t> out(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0u);
    File file(tilePath, File::Mode::Read);
    const std::uint64_t fileSize = file.size();
    const long long gridWidth = static_cast<long long>(grid.ntx) * grid.tpix;
    const long long gridHeight = static_cast<long long>(grid.nty) * grid.tlin;
    const long long xFirst = std::max(x0, 0LL), xEnd = std::min(x0 + width, gridWidth);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(grid.tpix) * 3);
    for (int r = 0; r < height; ++r) {
        const long long y = y0 + r;
        if (y < 0 || y >= gridHeight || xFirst >= xEnd) continue;
        const long long ky = y / grid.tlin, inTile = y % grid.tlin;
        std::uint32_t* row = out.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(width);
        for (long long x = xFirst; x < xEnd;) {
            const long long kx = x / grid.tpix;
            const long long segmentEnd = std::min(xEnd, (kx + 1) * grid.tpix);
            const std::size_t n = static_cast<std::size_t>(segmentEnd - x);
            const std::uint64_t at = grid.tileLineOffset(kx, ky, inTile, tiles::TileKind::Complex) +
                                     static_cast<std::uint64_t>(x - kx * grid.tpix) * 3;
            // A file cut short reads as zeros past its end.
            const std::uint64_t available = at < fileSize ? std::min<std::uint64_t>(n * 3, fileSize - at) : 0;
            std::fill(bytes.begin(), bytes.end(), 0);
            if (available > 0) file.readAt(at, std::span(bytes.data(), static_cast<std::size_t>(available)));
            for (std::size_t i = 0; i < n; ++i) row[static_cast<std::size_t>(x - x0) + i] = tiles::loadPacked(&bytes[3 * i]);
            x = segmentEnd;
        }
    }
    return out;
}

void applyPhaseRamp(std::vector<std::uint8_t>& fringe, const std::vector<std::uint8_t>& valid, int width, int height,
                    tiles::GlobalPoint topLeft, double cyclesAcross, double cyclesDown) {
    // In 1/256 cycle per pixel and per line, continuous in global
    // coordinates so that neighbouring working areas join.
    const double dh = cyclesAcross / width * 256.0, dv = cyclesDown / height * 256.0;
    const double g = static_cast<double>(topLeft.y) * dv + static_cast<double>(topLeft.x) * dh;
    for (int i = 0; i < height; ++i)
        for (int j = 0; j < width; ++j) {
            const std::size_t idx = static_cast<std::size_t>(i) * static_cast<std::size_t>(width) + static_cast<std::size_t>(j);
            if (!valid.empty() && !valid[idx]) continue;
            const double v = j * dh + i * dv + (fringe[idx] + g) + 0.5;
            fringe[idx] = static_cast<std::uint8_t>(static_cast<long long>(std::floor(v)) & 0xFF);
        }
}

CoherenceBytes coherenceBytes(double re, double im, double pm, double ps) {
    CoherenceBytes b;
    const double i2 = re * re + im * im;
    if (pm > 0.0 && ps > 0.0) {
        b.coherence = ratioByte(i2, pm * ps);
        b.weighted = ratioByte(4.0 * i2, (ps + pm) * (ps + pm));
    }
    if (pm > 0.0 || ps > 0.0) b.similarity = ratioByte(4.0 * ps * pm, (ps + pm) * (ps + pm));
    return b;
}

MergerResult mergeInterferogram(const MergerInput& in, const std::function<void(const std::string&)>& status) {
    const auto say = [&](const std::string& text) {
        if (status) status(text);
    };
    if (!in.master) throw Error("The interferogram needs the master scene");
    if (!in.table.ready) throw Error("Tie point list is not ready");
    MergerResult r;
    const int W = 2 * in.masterGrid.tpix, H = 2 * in.masterGrid.tlin;
    r.width = W;
    r.height = H;
    const long long x0 = in.topLeft.x, y0 = in.topLeft.y;
    r.masterTopLeft = in.topLeft;
    say(format("Sub TileMergerPureSLCInterferogram\nctrorigin=(%d, %d)", static_cast<int>(x0), static_cast<int>(y0)));

    // The slave region: the four corners' slave positions and a margin.
    double minX = 0.0, minY = 0.0;
    bool first = true;
    for (long long cy : {y0, y0 + H})
        for (long long cx : {x0, x0 + W}) {
            const ScenePoint s = slavePosition(in.table, static_cast<double>(cx), static_cast<double>(cy));
            if (!std::isfinite(s.pixel) || !std::isfinite(s.line)) throw Error("Tie point list is not ready");
            minX = first ? s.pixel : std::min(minX, s.pixel);
            minY = first ? s.line : std::min(minY, s.line);
            first = false;
        }
    const long long sx0 = static_cast<long long>(std::floor(minX)) - kSlaveMargin;
    const long long sy0 = static_cast<long long>(std::floor(minY)) - kSlaveMargin;
    const int SW = W + 2 * kSlaveMargin, SH = H + 2 * kSlaveMargin;
    r.slaveTopLeft = {sx0, sy0};
    r.slaveWidth = SW;
    r.slaveHeight = SH;
    say(format(" mastertl =%d, %d, area=%d, %d\n slavetl=%d, %d, areasize=%d,%d", static_cast<int>(x0),
               static_cast<int>(y0), W, H, static_cast<int>(sx0), static_cast<int>(sy0), SW, SH));

    say("Master tile read");
    const auto master = readComplexWindow(in.masterTile, in.masterGrid, x0, y0, W, H);
    say("Slave tile read");
    const auto slave = readComplexWindow(in.slaveTile, in.slaveGrid, sx0, sy0, SW, SH);

    const products::SceneParameters& pm = *in.master;
    const products::SceneParameters* ps = in.slave;
    const bool flatEarth = ps != nullptr && pm.wavelength > 0.0 && pm.prf > 0.0 && ps->prf > 0.0;
    const int cm = (pm.line + 1) / 2, cs = ps ? (ps->line + 1) / 2 : 0;

    const std::size_t N = static_cast<std::size_t>(W) * static_cast<std::size_t>(H);
    std::vector<std::uint32_t> slaveAt(N, 0u);  // the co-registered slave word
    std::vector<std::int16_t> delta(N, 0);
    std::vector<std::uint8_t> flatPlus(N, 0), flatMinus(N, 0);
    r.valid.assign(N, 0);
    r.cut = composites::CompositeCanvas(in.masterGrid.tpix, in.masterGrid.tlin);
    r.interferogram.assign(N, {0.0f, 0.0f});
    std::vector<std::uint64_t> sums(static_cast<std::size_t>(H) * 4, 0);     // per line: sum and squares, master and slave
    std::vector<double> gradients(static_cast<std::size_t>(H) * 4, 0.0);     // per line: phasor re, im; flat-earth sum, count
    const auto& tables = codeTables();

    say("Tilemerge process start");
    parallelRows(H, in.threads, [&](int jFirst, int jLast) {
        for (int j = jFirst; j < jLast; ++j) {
            const long long L = y0 + j;
            geometry::Ecef sm{}, ss{};
            if (flatEarth) {
                const double tm = (static_cast<double>(L) - cm) / pm.prf + pm.scsecofday;
                const double slaveLine = slavePosition(in.table, 0.0, static_cast<double>(L)).line;
                const double ts = (slaveLine - cs) / ps->prf + ps->scsecofday;
                const auto a = products::orbitPositionAt(pm, tm), b = products::orbitPositionAt(*ps, ts);
                sm = {a.x_m, a.y_m, a.z_m};
                ss = {b.x_m, b.y_m, b.z_m};
            }
            std::uint64_t sumM = 0, sumM2 = 0, sumS = 0, sumS2 = 0;
            double phRe = 0.0, phIm = 0.0, flatSum = 0.0, flatCount = 0.0;
            bool previous = false;
            int previousDelta = 0;
            double previousV = 0.0;
            const bool lineInside = L >= 0 && L < pm.line;
            const LineMapping toGround(pm, static_cast<double>(L));
            for (int i = 0; i < W; ++i) {
                const long long P = x0 + i;
                const std::size_t idx = static_cast<std::size_t>(j) * static_cast<std::size_t>(W) + static_cast<std::size_t>(i);
                const std::uint32_t wm = master[idx];
                const std::uint32_t am = amplitudeOf(wm);
                sumM += am;
                sumM2 += static_cast<std::uint64_t>(am) * am;
                const std::uint16_t masterValue = static_cast<std::uint16_t>(wm >> 8);
                r.cut.set(i, j, 0, masterValue);
                bool ok = lineInside && P >= 0 && P < pm.pixel;
                std::uint32_t ws = 0;
                if (ok) {
                    const ScenePoint s = slavePosition(in.table, static_cast<double>(P), static_cast<double>(L));
                    const double c = std::floor(s.pixel - static_cast<double>(sx0) + 0.5);
                    const double rr = std::floor(s.line - static_cast<double>(sy0) + 0.5);
                    ok = c >= 0.0 && c < SW && rr >= 0.0 && rr < SH;
                    if (ok) ws = slave[static_cast<std::size_t>(rr) * static_cast<std::size_t>(SW) + static_cast<std::size_t>(c)];
                }
                if (!ok) {
                    previous = false;
                    continue;
                }
                r.valid[idx] = 1;
                slaveAt[idx] = ws;
                const std::uint32_t as = amplitudeOf(ws);
                sumS += as;
                sumS2 += static_cast<std::uint64_t>(as) * as;
                const std::uint16_t slaveValue = static_cast<std::uint16_t>(ws >> 8);
                r.cut.set(i, j, 1, slaveValue);
                if (in.thirdChannelCopy) r.cut.set(i, j, 2, slaveValue);
                const int d = static_cast<int>(phaseOf(ws)) - static_cast<int>(phaseOf(wm));
                delta[idx] = static_cast<std::int16_t>(d);
                const std::size_t code = static_cast<std::size_t>((static_cast<int>(phaseOf(wm)) - static_cast<int>(phaseOf(ws))) & 0x1FF);
                const double product = static_cast<double>(am) * static_cast<double>(as);
                r.interferogram[idx] = {static_cast<float>(product * tables.cosine[code]),
                                        static_cast<float>(product * tables.sine[code])};
                double v = 0.0;
                if (flatEarth) {
                    const geometry::Ecef ground = ellipsoidPoint(toGround.at(static_cast<double>(P)));
                    v = 2.0 * (geometry::norm(ground - ss) - geometry::norm(ground - sm)) / pm.wavelength;
                    flatPlus[idx] = flatByte(v);
                    flatMinus[idx] = flatByte(-v);
                }
                if (previous) {
                    const std::size_t step = static_cast<std::size_t>((d - previousDelta) & 0x1FF);
                    phRe += tables.cosine[step];
                    phIm += tables.sine[step];
                    flatSum += v - previousV;
                    flatCount += 1.0;
                }
                previous = true;
                previousDelta = d;
                previousV = v;
            }
            const std::size_t l = static_cast<std::size_t>(j) * 4;
            sums[l] = sumM, sums[l + 1] = sumM2, sums[l + 2] = sumS, sums[l + 3] = sumS2;
            gradients[l] = phRe, gradients[l + 1] = phIm, gradients[l + 2] = flatSum, gradients[l + 3] = flatCount;
        }
    });

    // Amplitude statistics over the whole area.
    std::uint64_t sM = 0, sM2 = 0, sS = 0, sS2 = 0;
    double phRe = 0.0, phIm = 0.0, flatSum = 0.0, flatCount = 0.0;
    for (int j = 0; j < H; ++j) {
        const std::size_t l = static_cast<std::size_t>(j) * 4;
        sM += sums[l], sM2 += sums[l + 1], sS += sums[l + 2], sS2 += sums[l + 3];
        phRe += gradients[l], phIm += gradients[l + 1], flatSum += gradients[l + 2], flatCount += gradients[l + 3];
    }
    const double n = static_cast<double>(N);
    r.masterMean = static_cast<double>(sM) / n;
    r.masterDeviation = std::sqrt(std::max(0.0, static_cast<double>(sM2) / n - r.masterMean * r.masterMean));
    r.slaveMean = static_cast<double>(sS) / n;
    r.slaveDeviation = std::sqrt(std::max(0.0, static_cast<double>(sS2) / n - r.slaveMean * r.slaveMean));

    // The sense of the flat-earth term: the range gradient of the data's
    // phase against that of the predicted term.
    r.convention = in.convention;
    if (flatEarth && flatCount > 0.0) {
        r.rangeGradientData = std::atan2(phIm, phRe) / kTwoPi;
        r.rangeGradientFlatEarth = flatSum / flatCount;
        const double phasorCoherence = std::hypot(phRe, phIm) / flatCount;
        if (r.convention == PhaseConvention::Unknown && std::fabs(r.rangeGradientFlatEarth) > kMinFlatEarthGradient &&
            phasorCoherence > kMinPhasorCoherence) {
            r.convention = (r.rangeGradientData * r.rangeGradientFlatEarth > 0.0) ? PhaseConvention::PlusRange
                                                                                    : PhaseConvention::MinusRange;
            r.conventionDecided = true;
        }
    }
    const bool minus = r.convention == PhaseConvention::MinusRange;
    const bool reverse = in.table.reversePhase != 0;

    r.fringe.assign(N, 0);
    parallelRows(H, in.threads, [&](int jFirst, int jLast) {
        for (std::size_t idx = static_cast<std::size_t>(jFirst) * static_cast<std::size_t>(W); idx < static_cast<std::size_t>(jLast) * static_cast<std::size_t>(W); ++idx) {
            if (!r.valid[idx]) continue;
            int d = (delta[idx] + 1) >> 1;  // floor(delta / 2 + 0.5)
            int f = flatEarth ? (minus ? flatMinus[idx] : flatPlus[idx]) : 0;
            if (reverse) {
                d = 255 - d;
                f = 255 - f;
            }
            r.fringe[idx] = static_cast<std::uint8_t>((d - f) & 0xFF);
        }
    });
    r.savedFringe = r.fringe;
    if (in.table.phaseIncH != 0.0 || in.table.phaseIncV != 0.0) {
        say(format("In sub FringeModfyByValue Phase inc applied Hva,Vval=%.4f, %.4f", in.table.phaseIncH,
                   in.table.phaseIncV));
        applyPhaseRamp(r.fringe, r.valid, W, H, in.topLeft, in.table.phaseIncH, in.table.phaseIncV);
    }

    // Coherence: 3 x 3 sums clipped to the area, from the codes.
    say("Coherence calc start");
    r.coherence.assign(N, 0);
    r.weightedCoherence.assign(N, 0);
    r.similarity.assign(N, 0);
    const double mean = r.masterMean, upper = r.masterMean + r.masterDeviation;
    std::vector<std::array<std::uint32_t, kHistogramBins * kAmplitudeClasses>> counts;
    std::mutex countsLock;
    parallelRows(H, in.threads, [&](int jFirst, int jLast) {
        std::array<std::uint32_t, kHistogramBins * kAmplitudeClasses> local{};
        std::vector<double> cre(static_cast<std::size_t>(W)), cim(cre.size()), cpm(cre.size()), cps(cre.size());
        for (int j = jFirst; j < jLast; ++j) {
            std::fill(cre.begin(), cre.end(), 0.0);
            std::fill(cim.begin(), cim.end(), 0.0);
            std::fill(cpm.begin(), cpm.end(), 0.0);
            std::fill(cps.begin(), cps.end(), 0.0);
            for (int y = std::max(0, j - 1); y <= std::min(H - 1, j + 1); ++y) {
                const std::size_t rowAt = static_cast<std::size_t>(y) * static_cast<std::size_t>(W);
                for (int i = 0; i < W; ++i) {
                    const std::uint32_t wm = master[rowAt + static_cast<std::size_t>(i)];
                    const std::uint32_t ws = slaveAt[rowAt + static_cast<std::size_t>(i)];
                    const double am = amplitudeOf(wm), as = amplitudeOf(ws);
                    const std::size_t code = static_cast<std::size_t>((static_cast<int>(phaseOf(wm)) - static_cast<int>(phaseOf(ws))) & 0x1FF);
                    const double product = am * as;
                    const std::size_t c = static_cast<std::size_t>(i);
                    cre[c] += product * tables.cosine[code];
                    cim[c] += product * tables.sine[code];
                    cpm[c] += am * am;
                    cps[c] += as * as;
                }
            }
            for (int i = 0; i < W; ++i) {
                const std::size_t idx = static_cast<std::size_t>(j) * static_cast<std::size_t>(W) + static_cast<std::size_t>(i);
                double re = 0.0, im = 0.0, p1 = 0.0, p2 = 0.0;
                for (int x = std::max(0, i - 1); x <= std::min(W - 1, i + 1); ++x) {
                    const std::size_t c = static_cast<std::size_t>(x);
                    re += cre[c], im += cim[c], p1 += cpm[c], p2 += cps[c];
                }
                CoherenceBytes b;
                if (r.valid[idx]) b = coherenceBytes(re, im, p1, p2);
                r.coherence[idx] = b.coherence;
                r.weightedCoherence[idx] = b.weighted;
                r.similarity[idx] = b.similarity;
                const double a = amplitudeOf(master[idx]);
                const int cls = a < mean ? 0 : (a < upper ? 1 : 2);
                ++local[static_cast<std::size_t>(cls * kHistogramBins + b.coherence)];
            }
        }
        std::lock_guard<std::mutex> hold(countsLock);
        counts.push_back(local);
    });
    for (const auto& local : counts)
        for (int c = 0; c < kAmplitudeClasses; ++c)
            for (int b = 0; b < kHistogramBins; ++b)
                r.histograms[static_cast<std::size_t>(c)].counts[static_cast<std::size_t>(b)] +=
                    local[static_cast<std::size_t>(c * kHistogramBins + b)];
    for (auto& h : r.histograms) {
        for (int b = 0; b < kHistogramBins; ++b)
            if (h.counts[static_cast<std::size_t>(b)] > h.maxCount) {
                h.maxCount = h.counts[static_cast<std::size_t>(b)];
                h.maxBin = b;
            }
        for (int b = 0; b < kHistogramBins; ++b)
            h.scaled[static_cast<std::size_t>(b)] =
                h.maxCount == 0 ? 0
                                : static_cast<std::uint32_t>(static_cast<std::uint64_t>(h.counts[static_cast<std::size_t>(b)]) *
                                                             256 / h.maxCount);
    }
    return r;
}

}  // namespace tessarin::insar
