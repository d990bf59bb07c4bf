#pragma once
// The satellite-to-ground mapping table: for times t_c = t_start + c dt
// (columns) and off-nadir angles theta_r = theta_start + r dtheta (rows),
// the image pixel and line of the ground point the look ray meets, how they
// move when the angle drops by 0.1 degree, and the incidence angle there.
// The ortho conversion interpolates in it.

#include <cstddef>
#include <vector>

#include "geometry/scene_geometry.h"

namespace tessarin {
class Ui;
}

namespace tessarin::geometry {

inline constexpr double kTableTimeStep_s = 0.25;        // times the step factor
inline constexpr double kTableOffNadirStep_deg = 0.15;  // times the step factor
inline constexpr double kTableOffNadirMargin_deg = 1.0; // beyond the image's extent on both sides
inline constexpr double kSensitivityStep_deg = 0.1;     // the sensitivity planes look this much nearer nadir

class MappingTable {
public:
    static constexpr int kMaxRows = 250;     // off-nadir angles
    static constexpr int kMaxColumns = 150;  // times; also the row stride of every plane
    static constexpr std::size_t kPlaneValues = static_cast<std::size_t>(kMaxRows) * kMaxColumns;

    MappingTable();

    static std::size_t index(int row, int column) {
        return static_cast<std::size_t>(row) * kMaxColumns + static_cast<std::size_t>(column);
    }
    double pixelAt(int row, int column) const { return pixel[index(row, column)]; }
    double lineAt(int row, int column) const { return line[index(row, column)]; }

    int rows = 0;     // filled rows
    int columns = 0;  // filled columns
    double startTime_s = 0.0, timeStep_s = 0.0;
    double startOffNadir_deg = 0.0, offNadirStep_deg = 0.0;

    // Planes of kPlaneValues, row-major with the stride kMaxColumns. A ray
    // that misses the earth leaves NaN in its node.
    std::vector<double> pixel;             // image pixel of the ground point seen at (t_c, theta_r)
    std::vector<double> line;              // image line of that point
    std::vector<double> pixelSensitivity;  // pixel at theta_r - 0.1 minus pixel at theta_r
    std::vector<double> lineSensitivity;   // line at theta_r - 0.1 minus line at theta_r
    std::vector<double> incidence;         // incidence angle at the ground point (deg)
    std::vector<double> orbitRadius;       // per column: satellite distance from the earth's centre (m)
    std::vector<double> firstRowLine;      // per column: the line plane in row 0
    std::vector<double> middleColumnPixel; // per row: the pixel plane in column columns / 2
};

// Fills the table for the scene ("Ortho conv parameter calculation
// started"): columns from geometry.startTime_s every 0.25 k s until the end
// time, rows from offNadirMin - 1 every 0.15 k degrees up to offNadirMax + 1,
// each bounded by the table's capacity. Status texts "Table gen nsl,nl=%d, %d"
// after each column and "sat-gnd mapping matrix complete." at the end.
void buildMappingTable(const SceneParameters& scene, const SceneGeometry& geometry, MappingTable& table, Ui& ui);

}  // namespace tessarin::geometry
