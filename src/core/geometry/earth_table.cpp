#include "geometry/earth_table.h"

#include "geometry/ellipsoid.h"
#include "platform/file.h"
#include "platform/format.h"

namespace tessarin::geometry {

namespace {
constexpr int kTableSteps = 1800;        // 90 .. -90 degrees
constexpr double kStepsPerDegree = 10.0;
constexpr double kFirstLatitude_deg = 90.0;
}  // namespace

std::string earthRadiusTableText() {
    std::string text = "latgd(deg), latgc(deg), re(meter)\n";
    for (int i = 0; i <= kTableSteps; ++i) {
        const double latg_deg = kFirstLatitude_deg - i / kStepsPerDegree;
        const double latc_deg = geocentricLatitude_deg(latg_deg);
        text += format("%.1f,%.12f, %.12f\n", latg_deg, latc_deg, ellipsoidRadius_m(latc_deg));
    }
    return text;
}

void writeEarthRadiusTable(const std::string& path) {
    AtomicFile out(path);
    out.file().write(earthRadiusTableText());
    out.commit();
}

}  // namespace tessarin::geometry
