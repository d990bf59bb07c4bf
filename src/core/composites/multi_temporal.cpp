#include "composites/multi_temporal.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <cmath>
#include <vector>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/set_file.h"
#include "platform/text.h"
#include "tiles/amplitude_window.h"

namespace tessarin::composites {

namespace {

inline void storeLE(std::uint8_t* out, std::uint16_t v) {
    out[0] = static_cast<std::uint8_t>(v & 0xFFu);
    out[1] = static_cast<std::uint8_t>(v >> 8);
}

}  // namespace

// ---- set files

MultiTemporalSet readMultiTemporalSet(const std::string& path) {
    SetFileReader in(path);
    return parseMultiTemporalSet(in);
}

MultiTemporalSet parseMultiTemporalSet(SetFileReader& in) {
    MultiTemporalSet set;
    set.master = in.readPath("master tile file");
    set.second = in.readPath("second date tile file");
    return set;
}

void writeMultiTemporalSet(const std::string& path, const MultiTemporalSet& set) {
    SetFileWriter out;
    out.writeString(set.master);
    out.writeString(set.second);
    out.save(path);
}

ComplexMultiTemporalSet readComplexMultiTemporalSet(const std::string& path) {
    SetFileReader in(path);
    return parseComplexMultiTemporalSet(in);
}

ComplexMultiTemporalSet parseComplexMultiTemporalSet(SetFileReader& in) {
    ComplexMultiTemporalSet set;
    set.count = in.readInt32("number of dates");
    if (set.count != 2 && set.count != 3)
        throw Error(format("\"%s\": the number of dates is %d, not 2 or 3", in.path().c_str(), set.count));
    set.master = in.readPath("master tile file");
    set.slave = in.readPath("slave tile file");
    // Older sets hold two strings only; newer ones an empty third for two dates.
    if (in.offset() < in.size()) set.third = in.readPath("third date tile file", true);
    if (set.count == 3 && set.third.empty())
        throw Error(format("\"%s\" names three dates but holds no third tile file", in.path().c_str()));
    if (set.count == 2) set.third.clear();
    return set;
}

void writeComplexMultiTemporalSet(const std::string& path, const ComplexMultiTemporalSet& set) {
    if (set.count != 2 && set.count != 3) throw Error(format("a multi-temporal set holds 2 or 3 dates, not %d", set.count));
    SetFileWriter out;
    out.writeInt32(set.count);
    out.writeString(set.master);
    out.writeString(set.slave);
    out.writeString(set.count == 3 ? set.third : std::string());
    out.save(path);
}

Member amplitudeMember(const std::string& tilePath, const std::string& setPath) {
    if (!endsWith(tilePath, "tile"))
        throw Error(format("\"%s\" named by the set \"%s\" is not an amplitude tile file (its name must end in \"tile\")",
                           tilePath.c_str(), setPath.c_str()));
    return memberOf(tilePath, tiles::TileKind::Amplitude);
}

// ---- the canvas

MultiTemporalResult buildMultiTemporalCanvas(tiles::GlobalPoint ctrorigin, const MultiTemporalInput& in,
                                             CompositeCanvas& canvas, const std::string& cutPath,
                                             MultiTemporalBuffers* buffers) {
    MultiTemporalBuffers own;
    MultiTemporalBuffers& buf = buffers ? *buffers : own;
    const tiles::TileGrid& mg = in.masterGrid;
    const tiles::TileGrid& sg = in.secondGrid;
    if (canvas.width() != 2 * mg.tpix || canvas.height() != 2 * mg.tlin) canvas = CompositeCanvas(mg.tpix, mg.tlin);
    const int W = canvas.width(), H = canvas.height();
    MultiTemporalResult r;
    r.state = tiles::nearestBoundaryBlock(ctrorigin, mg);
    const long long mx = r.state.origin.x, my = r.state.origin.y;
    const insar::ConjugatePointTable& t = in.table;

    // The displacement at a master position: the corner model, or none.
    const auto displaced = [&](double x, double y) -> ScenePoint {
        const ScenePoint d = in.useCorners ? insar::blendedDisplacement(t, x, y) : ScenePoint{0.0, 0.0};
        return {x + d.pixel + t.adjustX, y + d.line + t.adjustY};
    };
    // The cut starts at the smallest position any of the canvas's four
    // corners maps to, less the margin.
    double minX = 0.0, minY = 0.0;
    bool first = true;
    for (long long cy : {my, my + H})
        for (long long cx : {mx, mx + W}) {
            const ScenePoint s = displaced(static_cast<double>(cx), static_cast<double>(cy));
            if (!std::isfinite(s.pixel) || !std::isfinite(s.line))
                throw Error("Tie point list is not ready: the displacement at a canvas corner is not a number");
            minX = first ? s.pixel : std::min(minX, s.pixel);
            minY = first ? s.line : std::min(minY, s.line);
            first = false;
        }
    const int SW = W + 2 * kSecondDateMargin, SH = H + 2 * kSecondDateMargin;
    const long long sx = static_cast<long long>(std::floor(minX)) - kSecondDateMargin;
    const long long sy = static_cast<long long>(std::floor(minY)) - kSecondDateMargin;
    r.cutOrigin = {sx, sy};
    r.cutWidth = SW;
    r.cutHeight = SH;

    const std::size_t N = static_cast<std::size_t>(W) * static_cast<std::size_t>(H);
    std::vector<std::uint16_t>& master = buf.master;
    std::vector<std::uint16_t>& second = buf.second;
    if (in.masterTile.empty()) {
        master.assign(N, 0);
    } else {
        File file(in.masterTile, File::Mode::Read);
        tiles::readAmplitudeWindowInto(file, mg, mx, my, W, H, master);
    }
    if (in.secondTile.empty()) {
        second.assign(static_cast<std::size_t>(SW) * static_cast<std::size_t>(SH), 0);
    } else {
        File file(in.secondTile, File::Mode::Read);
        tiles::readAmplitudeWindowInto(file, sg, sx, sy, SW, SH, second);
    }

    // What depends on the column alone: its position and the edge
    // parameters of the blend.
    const std::size_t columns = static_cast<std::size_t>(W);
    for (auto* v : {&buf.columns, &buf.yTop, &buf.topX, &buf.topY, &buf.bottomX, &buf.bottomY})
        v->assign(columns, 0.0);
    buf.ySpan.assign(columns, 1.0);
    std::vector<double>& xs = buf.columns;
    std::vector<double>& yTop = buf.yTop;
    std::vector<double>& ySpan = buf.ySpan;
    std::vector<double>& topX = buf.topX;
    std::vector<double>& topY = buf.topY;
    std::vector<double>& botX = buf.bottomX;
    std::vector<double>& botY = buf.bottomY;
    for (std::size_t i = 0; i < columns; ++i) xs[i] = static_cast<double>(mx + static_cast<long long>(i));
    if (in.useCorners) {
        const auto& m = t.master;
        for (int c = 0; c < W; ++c) {
            const double x = static_cast<double>(mx + c);
            const double uTop = (x - m[0].x) / (static_cast<double>(m[1].x) - m[0].x);
            const double uBottom = (x - m[2].x) / (static_cast<double>(m[3].x) - m[2].x);
            const double top = m[0].y * (1.0 - uTop) + m[1].y * uTop;
            const double bottom = m[2].y * (1.0 - uBottom) + m[3].y * uBottom;
            const std::size_t i = static_cast<std::size_t>(c);
            yTop[i] = top;
            ySpan[i] = bottom - top;
            topX[i] = t.dispX[0] * (1.0 - uTop) + t.dispX[1] * uTop;
            topY[i] = t.dispY[0] * (1.0 - uTop) + t.dispY[1] * uTop;
            botX[i] = t.dispX[2] * (1.0 - uBottom) + t.dispX[3] * uBottom;
            botY[i] = t.dispY[2] * (1.0 - uBottom) + t.dispY[3] * uBottom;
        }
    }

    std::uint8_t* out = canvas.bytes().data();
    constexpr std::size_t kStep = kCompositeChannels * 2;
    const bool masterReadable = !in.masterTile.empty(), secondReadable = !in.secondTile.empty();
    using Wide = unsigned __int128;
    // Sums of the registration check over a block of lines.
    struct Sums {
        std::uint64_t n = 0;
        Wide sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    };
    const double cutX = static_cast<double>(sx), cutY = static_cast<double>(sy);
    // Lines [rowFirst, rowEnd): per line the second date's positions in cut
    // coordinates plus one half (loops without branches), then the nearest
    // samples.
    const auto lines = [&](int rowFirst, int rowEnd, Sums& sums) {
        std::vector<double> pxRow(columns), pyRow(columns);
        std::vector<std::int32_t> colRow(columns), lineRow(columns);
        for (int row = rowFirst; row < rowEnd; ++row) {
            const long long Y = my + row;
            const double y = static_cast<double>(Y);
            // Plain arrays and local constants, so that the loop vectorises.
            double* __restrict pxOut = pxRow.data();
            double* __restrict pyOut = pyRow.data();
            const double* __restrict xIn = xs.data();
            const double adjustX = t.adjustX, adjustY = t.adjustY;
            if (in.useCorners) {
                const double* __restrict top = yTop.data();
                const double* __restrict span = ySpan.data();
                const double* __restrict tx = topX.data();
                const double* __restrict ty = topY.data();
                const double* __restrict bx = botX.data();
                const double* __restrict by = botY.data();
                // As insar::blendedDisplacement, term for term.
                for (std::size_t i = 0; i < columns; ++i) {
                    const double v = (y - top[i]) / span[i];
                    pxOut[i] = xIn[i] + (tx[i] * (1.0 - v) + bx[i] * v) + adjustX - cutX + 0.5;
                }
                for (std::size_t i = 0; i < columns; ++i) {
                    const double v = (y - top[i]) / span[i];
                    pyOut[i] = y + (ty[i] * (1.0 - v) + by[i] * v) + adjustY - cutY + 0.5;
                }
            } else {
                for (std::size_t i = 0; i < columns; ++i) {
                    pxOut[i] = xIn[i] + 0.0 + adjustX - cutX + 0.5;
                    pyOut[i] = y + 0.0 + adjustY - cutY + 0.5;
                }
            }
            // The nearest sample, floor(p + 0.5), or -1 before the cut; the
            // positions clamped first so that every conversion is defined.
            {
                std::int32_t* __restrict colOut = colRow.data();
                std::int32_t* __restrict lineOut = lineRow.data();
                const double lastX = SW, lastY = SH;
                for (std::size_t i = 0; i < columns; ++i) {
                    const double px = pxOut[i], py = pyOut[i];
                    const double cx = std::max(-1.0, std::min(px, lastX)), cy = std::max(-1.0, std::min(py, lastY));
                    colOut[i] = px >= 0.0 ? static_cast<std::int32_t>(cx) : -1;
                    lineOut[i] = py >= 0.0 ? static_cast<std::int32_t>(cy) : -1;
                }
            }
            const bool masterRow = masterReadable && Y >= 0 && Y < mg.line;
            std::uint8_t* o = out + static_cast<std::size_t>(row) * static_cast<std::size_t>(W) * kStep;
            const std::uint16_t* a = master.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(W);
            // The master's columns inside its scene on this line.
            const long long masterFirst = masterRow ? std::max(0LL, -mx) : W;
            const long long masterEnd = masterRow ? std::min<long long>(W, mg.pixel - mx) : 0;
            std::uint64_t rn = 0, rsa = 0, rsb = 0, rsaa = 0, rsbb = 0, rsab = 0;
            // The second date's samples that lie in its scene, in cut coordinates.
            const long long validFirstX = std::max(0LL, -sx), validEndX = std::min<long long>(SW, sg.pixel - sx);
            const long long validFirstY = std::max(0LL, -sy), validEndY = std::min<long long>(SH, sg.line - sy);
            const auto within = [](std::int32_t v, long long from, long long end) {
                return static_cast<std::uint64_t>(v - from) < static_cast<std::uint64_t>(std::max(0LL, end - from));
            };
            const std::uint16_t thirdMask = in.thirdChannelCopy ? 0xFFFF : 0;
            for (int c = 0; c < W; ++c, o += kStep) {
                const std::size_t i = static_cast<std::size_t>(c);
                const std::int32_t sc = colRow[i], sr = lineRow[i];
                std::uint16_t b = 0;
                bool secondValid = false;
                if (within(sc, 0, SW) && within(sr, 0, SH)) {
                    b = second[static_cast<std::size_t>(sr) * static_cast<std::size_t>(SW) + static_cast<std::size_t>(sc)];
                    secondValid = secondReadable && within(sc, validFirstX, validEndX) && within(sr, validFirstY, validEndY);
                }
                const std::uint16_t pixel[kCompositeChannels] = {a[c], b, static_cast<std::uint16_t>(b & thirdMask)};
                if constexpr (std::endian::native == std::endian::little) {
                    std::memcpy(o, pixel, kStep);
                } else {
                    for (std::size_t k = 0; k < kCompositeChannels; ++k) storeLE(o + 2 * k, pixel[k]);
                }
                if (secondValid && c >= masterFirst && c < masterEnd) {
                    const std::uint64_t av = a[c], bv = b;
                    ++rn;
                    rsa += av;
                    rsb += bv;
                    rsaa += av * av;
                    rsbb += bv * bv;
                    rsab += av * bv;
                }
            }
            sums.n += rn;
            sums.sa += rsa;
            sums.sb += rsb;
            sums.saa += rsaa;
            sums.sbb += rsbb;
            sums.sab += rsab;
        }
    };
    // One pass over all lines: a second thread gained nothing against the
    // write that follows on a busy machine.
    Sums sums;
    lines(0, H, sums);
    const std::uint64_t n = sums.n;
    const Wide sa = sums.sa, sb = sums.sb, saa = sums.saa, sbb = sums.sbb, sab = sums.sab;
    r.overlap = n;
    if (n > 1) {
        // Exact in 128 bits: N sum(ab) - sum(a) sum(b) and the two variances.
        const Wide wn = n;
        const auto diff = [](Wide p, Wide q) { return p >= q ? static_cast<long double>(p - q) : -static_cast<long double>(q - p); };
        const long double cov = diff(wn * sab, sa * sb);
        const long double va = diff(wn * saa, sa * sa), vb = diff(wn * sbb, sb * sb);
        if (va > 0 && vb > 0) r.ncc = static_cast<double>(cov / std::sqrt(va * vb));
    }
    writeWholeFile(cutPath, canvas.bytes());
    return r;
}

std::string registrationText(const MultiTemporalResult& r) {
    if (!r.ncc) return "registration check: the dates do not overlap on this canvas";
    return format("registration check: NCC=%.2f", *r.ncc);
}

}  // namespace tessarin::composites
