#include "composites/multi_temporal.h"

#include <algorithm>
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
                                             CompositeCanvas& canvas, const std::string& cutPath) {
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
    const std::vector<std::uint16_t> master = in.masterTile.empty()
                                                  ? std::vector<std::uint16_t>(N, 0)
                                                  : tiles::readAmplitudeWindow(in.masterTile, mg, mx, my, W, H);
    const std::vector<std::uint16_t> second =
        in.secondTile.empty() ? std::vector<std::uint16_t>(static_cast<std::size_t>(SW) * static_cast<std::size_t>(SH), 0)
                              : tiles::readAmplitudeWindow(in.secondTile, sg, sx, sy, SW, SH);

    // What depends on the column alone: the edge parameters of the blend.
    std::vector<double> yTop(static_cast<std::size_t>(W), 0.0), ySpan(static_cast<std::size_t>(W), 1.0);
    std::vector<double> topX(static_cast<std::size_t>(W), 0.0), topY(static_cast<std::size_t>(W), 0.0);
    std::vector<double> botX(static_cast<std::size_t>(W), 0.0), botY(static_cast<std::size_t>(W), 0.0);
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
    std::uint64_t n = 0;
    Wide sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (int row = 0; row < H; ++row) {
        const long long Y = my + row;
        const double y = static_cast<double>(Y);
        const bool masterRow = masterReadable && Y >= 0 && Y < mg.line;
        std::uint8_t* o = out + static_cast<std::size_t>(row) * static_cast<std::size_t>(W) * kStep;
        const std::uint16_t* a = master.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(W);
        for (int c = 0; c < W; ++c, o += kStep) {
            const long long X = mx + c;
            const double x = static_cast<double>(X);
            const std::size_t i = static_cast<std::size_t>(c);
            double dx = 0.0, dy = 0.0;
            if (in.useCorners) {
                // As insar::blendedDisplacement, term for term.
                const double v = (y - yTop[i]) / ySpan[i];
                dx = topX[i] * (1.0 - v) + botX[i] * v;
                dy = topY[i] * (1.0 - v) + botY[i] * v;
            }
            const double px = x + dx + t.adjustX - static_cast<double>(sx) + 0.5;
            const double py = y + dy + t.adjustY - static_cast<double>(sy) + 0.5;
            storeLE(o, a[c]);
            std::uint16_t b = 0;
            bool secondValid = false;
            // Inside the cut (nearest sample floor(p + 0.5), p >= 0 here).
            if (px >= 0.0 && py >= 0.0 && px < SW && py < SH) {
                const long long sc = static_cast<long long>(px), sr = static_cast<long long>(py);
                b = second[static_cast<std::size_t>(sr) * static_cast<std::size_t>(SW) + static_cast<std::size_t>(sc)];
                const long long gx = sx + sc, gy = sy + sr;
                secondValid = secondReadable && gx >= 0 && gy >= 0 && gx < sg.pixel && gy < sg.line;
            }
            storeLE(o + 2, b);
            storeLE(o + 4, in.thirdChannelCopy ? b : 0);
            if (secondValid && masterRow && X >= 0 && X < mg.pixel) {
                ++n;
                sa += a[c];
                sb += b;
                saa += static_cast<std::uint64_t>(a[c]) * a[c];
                sbb += static_cast<std::uint64_t>(b) * b;
                sab += static_cast<std::uint64_t>(a[c]) * b;
            }
        }
    }
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
