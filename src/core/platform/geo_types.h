#pragma once
// The two points that cross most module boundaries: a place on the ground
// and a fractional position in a scene. They sit at the bottom of the core so
// that products, tiles, geometry and everything above share one type each.

namespace tessarin {

// Geodetic latitude and longitude (degrees).
struct GeoPoint {
    double lat_deg = 0.0;
    double lon_deg = 0.0;
};

// A position in global scene coordinates, possibly between samples: pixel
// counts range samples (columns), line counts azimuth lines (rows).
struct ScenePoint {
    double pixel = 0.0;
    double line = 0.0;
};

}  // namespace tessarin
