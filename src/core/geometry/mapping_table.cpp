#include "geometry/mapping_table.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/format.h"
#include "platform/ui.h"

namespace tessarin::geometry {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Time steps per second of span at step factor 1.
constexpr int kStepsPerSecond = 4;
static_assert(kTableTimeStep_s * kStepsPerSecond == 1.0);

struct GroundNode {
    ScenePoint position;
    double incidence_deg = kNaN;
};

GroundNode groundNode(const SceneParameters& scene, Ecef satellite, double satRadius, Ecef planePoint,
                      double offNadir_deg) {
    const RayGround ray = rayToGround(satellite, planePoint, offNadir_deg);
    if (!ray.converged) return {{kNaN, kNaN}, kNaN};
    GroundNode v;
    v.position = products::pixelLineOfLatLon(scene, ray.geodetic());
    const double radius = ellipsoidRadius_m(ray.geocentricLat_deg);
    v.incidence_deg = incidenceAngle_deg(ray.slantRange_m, radius, satRadius);
    return v;
}

}  // namespace

MappingTable::MappingTable()
    : pixel(kPlaneValues),
      line(kPlaneValues),
      pixelSensitivity(kPlaneValues),
      lineSensitivity(kPlaneValues),
      incidence(kPlaneValues),
      orbitRadius(kMaxColumns),
      firstRowLine(kMaxColumns),
      middleColumnPixel(kMaxRows) {}

void buildMappingTable(const SceneParameters& scene, const SceneGeometry& geometry, MappingTable& table, Ui& ui) {
    ui.status("Ortho conv parameter calculation started");
    const int k = std::max(geometry.stepFactor, 1);
    table.timeStep_s = kTableTimeStep_s * k;
    table.offNadirStep_deg = kTableOffNadirStep_deg * k;
    table.startTime_s = scene.scsecofday - geometry.halfSpan_s - kTimeMargin_s;
    table.startOffNadir_deg = geometry.offNadirMin_deg - kTableOffNadirMargin_deg;
    const double lastOffNadir_deg = geometry.offNadirMax_deg + kTableOffNadirMargin_deg;

    // The span, 2 (halfSpan + 5) s, is a whole number of quarter seconds, so
    // the columns before the end time are counted exactly.
    const long long spanSteps = (2LL * std::max(geometry.halfSpan_s, 0) + 2LL * kTimeMargin_s) * kStepsPerSecond;
    const int columns = static_cast<int>(std::min<long long>((spanSteps + k - 1) / k, MappingTable::kMaxColumns));

    int rows = 0;
    for (int c = 0; c < columns; ++c) {
        const double t = table.startTime_s + c * table.timeStep_s;
        const SatellitePosition s = satelliteAt(scene, t);
        int r = 0;
        for (; r < MappingTable::kMaxRows; ++r) {
            const double theta = table.startOffNadir_deg + r * table.offNadirStep_deg;
            if (!(theta <= lastOffNadir_deg)) break;
            const GroundNode at = groundNode(scene, s.position, s.radius_m, geometry.centre.planePoint, theta);
            const GroundNode nearer =
                groundNode(scene, s.position, s.radius_m, geometry.centre.planePoint, theta - kSensitivityStep_deg);
            const std::size_t i = MappingTable::index(r, c);
            table.pixel[i] = at.position.pixel;
            table.line[i] = at.position.line;
            table.pixelSensitivity[i] = nearer.position.pixel - at.position.pixel;
            table.lineSensitivity[i] = nearer.position.line - at.position.line;
            table.incidence[i] = at.incidence_deg;
        }
        // Every node's text would be replaced within microseconds; the one of
        // the column's last node is the one that stays readable.
        ui.status(format("Table gen nsl,nl=%d, %d", r, c));
        ui.progress(c + 1, columns);
        table.orbitRadius[static_cast<std::size_t>(c)] = s.radius_m;
        table.firstRowLine[static_cast<std::size_t>(c)] = r > 0 ? table.line[MappingTable::index(0, c)] : kNaN;
        rows = std::max(rows, r);
    }
    table.rows = rows;
    table.columns = columns;
    if (columns > 0) {
        for (int r = 0; r < rows; ++r)
            table.middleColumnPixel[static_cast<std::size_t>(r)] = table.pixelAt(r, columns / 2);
    }
    ui.status("sat-gnd mapping matrix complete.");
}

}  // namespace tessarin::geometry
