#include "insar/conjugate_point_table.h"

#include <cmath>

#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/format.h"
#include "products/alos2.h"

namespace tessarin::insar {

namespace {

// Beyond any scene a product can describe: a value past these came from a
// damaged file, not from a measurement.
constexpr double kMaxMasterCoordinate = 1.0e6;
constexpr double kMaxDisplacement = 1.0e5;
constexpr double kMaxAdjust = 1.0e5;
constexpr double kMaxPhaseIncrement = 1.0e6;

bool finiteWithin(double v, double bound) { return std::isfinite(v) && std::fabs(v) <= bound; }

}  // namespace

void ConjugatePointTable::setPoint(std::size_t k, MasterPoint m, double dx, double dy) {
    master.at(k) = m;
    dispX.at(k) = dx;
    dispY.at(k) = dy;
    slaveX.at(k) = m.x + dx;
    slaveY.at(k) = m.y + dy;
}

std::vector<std::uint8_t> encodeCnj(const ConjugatePointTable& t, CnjLayout layout) {
    ByteWriter out;
    for (const MasterPoint& m : t.master) {
        out.le<std::int32_t>(m.x);
        out.le<std::int32_t>(m.y);
    }
    for (const auto* column : {&t.slaveX, &t.slaveY, &t.dispX, &t.dispY})
        for (double v : *column) out.le<double>(v);
    if (layout == CnjLayout::Full) {
        out.le<double>(t.phaseIncH);
        out.le<double>(t.phaseIncV);
    }
    out.le<double>(t.adjustX);
    out.le<double>(t.adjustY);
    if (layout == CnjLayout::Full) out.le<std::int32_t>(t.reversePhase);
    return out.buffer();
}

CnjLayout decodeCnj(std::span<const std::uint8_t> bytes, const std::string& name, ConjugatePointTable& into) {
    CnjLayout layout;
    if (bytes.size() == kShortCnjBytes) layout = CnjLayout::Short;
    else if (bytes.size() == kFullCnjBytes) layout = CnjLayout::Full;
    else
        throw Error(format("The tie point file \"%s\" holds %d bytes: a table holds %d or %d", name.c_str(),
                           static_cast<int>(bytes.size()), static_cast<int>(kShortCnjBytes),
                           static_cast<int>(kFullCnjBytes)));
    ByteReader in(bytes);
    ConjugatePointTable t = into;
    for (MasterPoint& m : t.master) {
        m.x = in.le<std::int32_t>();
        m.y = in.le<std::int32_t>();
    }
    for (auto* column : {&t.slaveX, &t.slaveY, &t.dispX, &t.dispY})
        for (double& v : *column) v = in.le<double>();
    if (layout == CnjLayout::Full) {
        t.phaseIncH = in.le<double>();
        t.phaseIncV = in.le<double>();
    }
    t.adjustX = in.le<double>();
    t.adjustY = in.le<double>();
    if (layout == CnjLayout::Full) t.reversePhase = in.le<std::int32_t>();

    const auto refuse = [&](const char* what) {
        throw Error(format("The tie point file \"%s\" holds an unusable %s", name.c_str(), what));
    };
    for (std::size_t k = 0; k < kTiePoints; ++k) {
        if (std::fabs(static_cast<double>(t.master[k].x)) > kMaxMasterCoordinate ||
            std::fabs(static_cast<double>(t.master[k].y)) > kMaxMasterCoordinate)
            refuse("master point");
        if (!finiteWithin(t.dispX[k], kMaxDisplacement) || !finiteWithin(t.dispY[k], kMaxDisplacement))
            refuse("displacement");
        if (!finiteWithin(t.slaveX[k], kMaxMasterCoordinate + kMaxDisplacement) ||
            !finiteWithin(t.slaveY[k], kMaxMasterCoordinate + kMaxDisplacement))
            refuse("slave point");
    }
    if (!finiteWithin(t.adjustX, kMaxAdjust) || !finiteWithin(t.adjustY, kMaxAdjust)) refuse("displacement adjust");
    if (!finiteWithin(t.phaseIncH, kMaxPhaseIncrement) || !finiteWithin(t.phaseIncV, kMaxPhaseIncrement))
        refuse("phase increment");
    if (t.reversePhase != 0 && t.reversePhase != 1) refuse("reverse phase flag");
    into = t;
    return layout;
}

std::optional<std::string> layoutProblem(const ConjugatePointTable& t, double xFirst, double xLast) {
    const auto& m = t.master;
    const auto corner = [&](std::size_t k) { return format("%d (%d, %d)", static_cast<int>(k), m[k].x, m[k].y); };
    // Differences in double: int32 differences of damaged values can overflow.
    if (static_cast<double>(m[1].x) - m[0].x < 1.0)
        return "corner " + corner(1) + " is not right of corner " + corner(0);
    if (static_cast<double>(m[3].x) - m[2].x < 1.0)
        return "corner " + corner(3) + " is not right of corner " + corner(2);
    // The bottom edge minus the top edge is linear in x: its ends bound it.
    for (double x : {xFirst, xLast}) {
        const double uTop = (x - m[0].x) / (static_cast<double>(m[1].x) - m[0].x);
        const double uBottom = (x - m[2].x) / (static_cast<double>(m[3].x) - m[2].x);
        const double yTop = m[0].y * (1.0 - uTop) + m[1].y * uTop;
        const double yBottom = m[2].y * (1.0 - uBottom) + m[3].y * uBottom;
        if (!(yBottom - yTop >= 1.0))
            return "the bottom edge (corners " + corner(2) + ", " + corner(3) + ") is not below the top edge (corners " +
                   corner(0) + ", " + corner(1) + ")";
    }
    return std::nullopt;
}

ScenePoint blendedDisplacement(const ConjugatePointTable& t, double x, double y) {
    const auto& m = t.master;
    const double uTop = (x - m[0].x) / (static_cast<double>(m[1].x) - m[0].x);
    const double uBottom = (x - m[2].x) / (static_cast<double>(m[3].x) - m[2].x);
    const double yTop = m[0].y * (1.0 - uTop) + m[1].y * uTop;
    const double yBottom = m[2].y * (1.0 - uBottom) + m[3].y * uBottom;
    const double v = (y - yTop) / (yBottom - yTop);
    const auto blend = [&](const std::array<double, kTiePoints>& d) {
        return (d[0] * (1.0 - uTop) + d[1] * uTop) * (1.0 - v) + (d[2] * (1.0 - uBottom) + d[3] * uBottom) * v;
    };
    return {blend(t.dispX), blend(t.dispY)};
}

ScenePoint slavePosition(const ConjugatePointTable& t, double x, double y) {
    const ScenePoint d = blendedDisplacement(t, x, y);
    return {x + d.pixel + t.adjustX, y + d.line + t.adjustY};
}

ConjugatePointTable geometricTable(const products::SceneParameters& master, const products::SceneParameters& slave) {
    ConjugatePointTable t;
    const std::int32_t lastPixel = master.pixel - 1, lastLine = master.line - 1;
    const std::array<MasterPoint, kTiePoints> corners{
        {{0, 0}, {lastPixel, 0}, {0, lastLine}, {lastPixel, lastLine}}};
    for (std::size_t k = 0; k < kTiePoints; ++k) {
        const MasterPoint m = corners[k];
        const GeoPoint g = products::latLonOfPixelLine(master, {static_cast<double>(m.x), static_cast<double>(m.y)});
        const ScenePoint s = products::pixelLineOfLatLon(slave, g);
        t.setPoint(k, m, s.pixel - m.x, s.line - m.y);
    }
    t.ready = true;
    return t;
}

std::string tableText(const ConjugatePointTable& t) {
    std::string text = "Conjugate Point Table \n";
    for (std::size_t k = 0; k < kTiePoints; ++k)
        text += format(" K=%d, Px, Py=%d, %d, displace x,y=%.2f, %.2f\n", static_cast<int>(k), t.master[k].x,
                       t.master[k].y, t.dispX[k], t.dispY[k]);
    text += format("displace adjust x,y=%.3f, %.3f\n", t.adjustX, t.adjustY);
    return text;
}

std::string loadedText(const ConjugatePointTable& t, CnjLayout layout) {
    std::string text;
    for (std::size_t k = 0; k < kTiePoints; ++k)
        text += format(" K=%d, MPx, MPy=%d, %d, displace x,y=%.2f, %.2f\n", static_cast<int>(k), t.master[k].x,
                       t.master[k].y, t.dispX[k], t.dispY[k]);
    if (layout == CnjLayout::Full)
        text += format("PhincH=%.6f, PhincV=%.6f\nPrecision slave pixel adjust(x=%.3f, y=%.3f)", t.phaseIncH,
                       t.phaseIncV, t.adjustX, t.adjustY);
    else
        text += format("slavedisplace(x,y)=%.3f,%.3f\n", t.adjustX, t.adjustY);
    return text;
}

}  // namespace tessarin::insar
