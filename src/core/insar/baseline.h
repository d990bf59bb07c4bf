#pragma once
// The baseline of an interferometric pair at one master position: where
// the slave satellite stands when it sees the same ground (its own line time
// through the tie-point table), the perpendicular and parallel baselines,
// the incidence angle and the height change that makes one fringe cycle.
//
// Sign rule, used wherever phase is predicted: the perpendicular baseline
// is B . n with n perpendicular to the master's look and velocity, pointing
// away from the earth; the parallel baseline is B . u with u the unit look
// vector from the master satellite to the ground (positive when the slave
// lies further along the look).

#include <string>

#include "geometry/ellipsoid.h"
#include "insar/conjugate_point_table.h"
#include "products/scene_parameters.h"
#include "tiles/tile_store.h"

namespace tessarin::insar {

struct PairBaseline {
    double perpendicular_m = 0.0;  // signed, see above
    double parallel_m = 0.0;       // signed
    double incidence_deg = 0.0;    // at the ground, from the satellite/earth-centre/ground triangle
    double slantRange_m = 0.0;     // master satellite to ground
    // lambda R sin(theta) / (2 |Bperp|): the height change of one fringe
    // cycle; +inf when the perpendicular baseline is 0.
    double heightPerCycle_m = 0.0;
    double masterTime_s = 0.0, slaveTime_s = 0.0;
    double slaveLine = 0.0;
    geometry::Ecef ground, masterSatellite, slaveSatellite;
};

// The baseline at master pixel P, line L. The ground is the ellipsoid point
// under the master polynomials' latitude and longitude; the master time is
// the master's line time of L, the slave time the slave's own line time of
// the slave line the table gives for (P, L). Throws Error when a scene has
// no pulse repetition frequency or wavelength.
PairBaseline pairBaseline(const products::SceneParameters& master, const products::SceneParameters& slave,
                          const ConjugatePointTable& table, double P, double L);

// lambda R sin(theta) / (2 |Bperp|); +inf for Bperp = 0.
double heightPerCycle_m(double wavelength_m, double slantRange_m, double incidence_rad, double perpendicular_m);

// The topographic phase, in cycles, of a height h above the ellipsoid:
// 2 h Bperp / (lambda R sin(theta)), with the signed perpendicular baseline.
double topographicCycles(double height_m, double wavelength_m, double slantRange_m, double incidence_rad,
                         double perpendicular_m);

// The master position the report is made at: the requested origin moved
// with the working area when the scene is too small for the working area
// to start where it normally does, and kept inside the scene.
tiles::GlobalPoint baselineOrigin(tiles::GlobalPoint requested, const tiles::TileGrid& grid, int pixels, int lines);

// "Infero parm at pix=..." as the report shows it (the baselines unsigned).
std::string baselineReportText(tiles::GlobalPoint at, const PairBaseline& b);

}  // namespace tessarin::insar
