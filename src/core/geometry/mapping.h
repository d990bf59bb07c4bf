#pragma once
// Image-to-ground mapping in radar geometry: the look plane of a ground
// point, the look ray's intersection with the ellipsoid, the time and slant
// range of an image pixel, and the incidence profile along a line.
//
// Pixel/line <-> latitude/longitude by the product's polynomials are the
// scene reader's (products::latLonOfPixelLine, products::pixelLineOfLatLon).

#include <vector>

#include "geometry/ellipsoid.h"
#include "geometry/orbit.h"
#include "products/alos2.h"

namespace tessarin::geometry {

// The look plane of a ground point G seen from the satellite S at one time:
// the look vector V = G - S, the off-nadir angle at S, and the point D of the
// look ray in the plane through the earth's centre perpendicular to S.
struct LookPlane {
    Ecef satellite;            // S
    Ecef planePoint;           // D
    double offNadir_deg = 0.0; // 180 degrees minus the angle between V and S
    double slantRange_m = 0.0; // |V|
};
LookPlane lookPlaneAt(const SceneParameters& scene, double t_s, GeoPoint ground);

// Where a ray leaving the satellite at an off-nadir angle, in the plane of
// S and D, meets the ellipsoid.
struct RayGround {
    double geocentricLat_deg = 0.0;
    double lon_deg = 0.0;
    double slantRange_m = 0.0;
    // False when the ray misses the earth (beyond the limb) or the input is
    // not a number; the fields then hold where the search stopped.
    bool converged = false;

    GeoPoint geodetic() const { return {geodeticLatitude_deg(geocentricLat_deg), lon_deg}; }
};

// Step search along the ray from 600 km in 10 km steps, halved whenever the
// ray crosses the surface, until the step is 0.2 m or less.
RayGround rayToGround(Ecef satellite, Ecef planePoint, double offNadir_deg);

inline constexpr double kRayStartRange_m = 600000.0;
inline constexpr double kRayStartStep_m = 10000.0;
inline constexpr double kRayFinalStep_m = 0.2;
inline constexpr int kRayMaxSteps = 100000;

// The time of closest approach to the ground point of an image pixel/line
// (latitude/longitude from the product's polynomials, height 0), the slant
// range then, and the satellite's position and orbit radius then.
ClosestApproach pixelTimeAndRange(const SceneParameters& scene, ScenePoint p);

// Image line time: scsecofday + (line - (lines + 1) / 2) / prf, the line
// count halved as a whole number.
double lineTime_s(const SceneParameters& scene, double line);

// Incidence angles (degrees) along the middle line of a frame (line +
// height / 2), every `step` pixels from pixel x: (step + width) / step
// samples. The satellite stands at the middle line's time; the slant range
// grows by step * pixsz per sample from that of pixel x. Throws Error when
// step is not positive or the count is unreasonable.
std::vector<double> incidenceProfile(const SceneParameters& scene, int x, int line, int width, int height, int step);

}  // namespace tessarin::geometry
