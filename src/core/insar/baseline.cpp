#include "insar/baseline.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "geometry/mapping.h"
#include "geometry/orbit.h"
#include "insar/pair_project.h"
#include "platform/error.h"
#include "platform/format.h"
#include "products/alos2.h"

namespace tessarin::insar {

namespace {

using geometry::Ecef;

Ecef satellite(const products::SceneParameters& p, double t) {
    const auto s = products::orbitPositionAt(p, t);
    return {s.x_m, s.y_m, s.z_m};
}

Ecef cross(Ecef a, Ecef b) {
    return {a.y_m * b.z_m - a.z_m * b.y_m, a.z_m * b.x_m - a.x_m * b.z_m, a.x_m * b.y_m - a.y_m * b.x_m};
}

constexpr long long kRequestedAreaStart = 4096;  // where the working area starts in a large scene

}  // namespace

double heightPerCycle_m(double wavelength_m, double slantRange_m, double incidence_rad, double perpendicular_m) {
    if (perpendicular_m == 0.0) return std::numeric_limits<double>::infinity();
    return wavelength_m * slantRange_m * std::sin(incidence_rad) / (2.0 * std::fabs(perpendicular_m));
}

double topographicCycles(double height_m, double wavelength_m, double slantRange_m, double incidence_rad,
                         double perpendicular_m) {
    const double denominator = wavelength_m * slantRange_m * std::sin(incidence_rad);
    if (denominator == 0.0) return 0.0;
    return 2.0 * height_m * perpendicular_m / denominator;
}

PairBaseline pairBaseline(const products::SceneParameters& master, const products::SceneParameters& slave,
                          const ConjugatePointTable& table, double P, double L) {
    if (!(master.prf > 0.0) || !(slave.prf > 0.0))
        throw Error("The pair's scenes carry no pulse repetition frequency: no baseline can be computed");
    if (!(master.wavelength > 0.0)) throw Error("The master scene carries no wavelength: no baseline can be computed");
    PairBaseline b;
    b.masterTime_s = geometry::lineTime_s(master, L);
    b.slaveLine = slavePosition(table, P, L).line;
    b.slaveTime_s = geometry::lineTime_s(slave, b.slaveLine);
    b.masterSatellite = satellite(master, b.masterTime_s);
    b.slaveSatellite = satellite(slave, b.slaveTime_s);
    // An orbit below the earth's surface is no orbit: the leader had no state vectors.
    constexpr double kLeastOrbitRadius_m = 6.3e6;
    if (!(geometry::norm(b.masterSatellite) > kLeastOrbitRadius_m) || !(geometry::norm(b.slaveSatellite) > kLeastOrbitRadius_m))
        throw Error("The pair's leaders give no satellite positions at these times: no baseline can be computed");
    b.ground = geometry::groundPointToEcef(products::latLonOfPixelLine(master, {P, L}));

    const Ecef look = b.ground - b.masterSatellite;
    b.slantRange_m = geometry::norm(look);
    const Ecef u = (1.0 / b.slantRange_m) * look;
    const Ecef B = b.slaveSatellite - b.masterSatellite;
    b.parallel_m = geometry::dot(B, u);
    // The master's velocity over one second about its time.
    const Ecef v = satellite(master, b.masterTime_s + 0.5) - satellite(master, b.masterTime_s - 0.5);
    Ecef n = cross(v, u);
    const double nn = geometry::norm(n);
    if (nn > 0.0) {
        n = (1.0 / nn) * n;
        if (geometry::dot(n, b.masterSatellite) < 0.0) n = -1.0 * n;
        b.perpendicular_m = geometry::dot(B, n);
    } else {
        // No velocity to orient by: the part of B across the look, unsigned.
        const Ecef across = B - b.parallel_m * u;
        b.perpendicular_m = geometry::norm(across);
    }
    const double r = geometry::norm(b.ground), orbitRadius = geometry::norm(b.masterSatellite);
    b.incidence_deg = geometry::incidenceAngle_deg(b.slantRange_m, r, orbitRadius);
    b.heightPerCycle_m =
        heightPerCycle_m(master.wavelength, b.slantRange_m, b.incidence_deg * geometry::kRadPerDeg, b.perpendicular_m);
    return b;
}

tiles::GlobalPoint baselineOrigin(tiles::GlobalPoint requested, const tiles::TileGrid& grid, int pixels, int lines) {
    const tiles::GlobalPoint topLeft = workingAreaTopLeft(grid);
    const long long x = requested.x - std::max(0LL, kRequestedAreaStart - topLeft.x);
    const long long y = requested.y - std::max(0LL, kRequestedAreaStart - topLeft.y);
    return {std::clamp(x, 0LL, std::max(0LL, static_cast<long long>(pixels) - 1)),
            std::clamp(y, 0LL, std::max(0LL, static_cast<long long>(lines) - 1))};
}

std::string baselineReportText(tiles::GlobalPoint at, const PairBaseline& b) {
    return format("Infero parm at pix=%d, line=%d\n", static_cast<int>(at.x), static_cast<int>(at.y)) +
           format("Bperp=%.2f, Bpara=%.2f\n", std::fabs(b.perpendicular_m), b.parallel_m) +
           format("inc angle=%.2f degrees\n height seisitivity/fringe cycle=%.2f meters", b.incidence_deg,
                  b.heightPerCycle_m);
}

}  // namespace tessarin::insar
