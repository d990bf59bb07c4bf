#pragma once
// The satellite's position in time (the degree-4 polynomials of the leader),
// the closest-approach search, and the angles of the triangle formed by the
// earth's centre, the satellite and a ground point.

#include "geometry/ellipsoid.h"
#include "products/scene_parameters.h"

namespace tessarin::geometry {

using products::SceneParameters;

// Satellite position at t (s of day) by Horner evaluation of the orbit
// polynomials, and its distance from the earth's centre.
struct SatellitePosition {
    Ecef position;
    double radius_m = 0.0;
};
SatellitePosition satelliteAt(const SceneParameters& scene, double t_s);

// Closest approach of the orbit to a point.
struct ClosestApproach {
    double time_s = 0.0;        // s of day
    double range_m = 0.0;       // satellite-to-point distance at time_s
    double orbitRadius_m = 0.0; // satellite distance from the earth's centre at time_s
    Ecef satellite;             // satellite position at time_s
    // False when the search gave up (an orbit that never turns away from the
    // point, or values that are not numbers); the fields then hold where it
    // stopped and must not be used.
    bool converged = false;
};

// Step search from orbitRefTime: 10 s steps, halved and reversed whenever
// the distance grows, until the step is 1e-4 s or less; the result is the
// nearest time visited, within 1e-4 s of the minimum when it lies within a
// minute or so of orbitRefTime.
ClosestApproach closestApproach(const SceneParameters& scene, Ecef point);

inline constexpr double kClosestApproachStartStep_s = 10.0;
inline constexpr double kClosestApproachFinalStep_s = 1.0e-4;
// A sane orbit turns within a few hundred steps; the limit only ends
// searches that would never stop.
inline constexpr int kClosestApproachMaxSteps = 100000;

// Angles of the triangle with sides satToGround (satellite - ground point),
// centreToGround (earth centre - ground point) and centreToSat (earth centre
// - satellite), by the half-angle formula. Degenerate triangles (rounding
// past a straight line) give 0 rather than a NaN.
//
// The off-nadir angle at the satellite, between satToGround and centreToSat.
double offNadirAngle_deg(double satToGround_m, double centreToGround_m, double centreToSat_m);
// The incidence angle at the ground: 180 degrees minus the angle between
// satToGround and centreToGround.
double incidenceAngle_deg(double satToGround_m, double centreToGround_m, double centreToSat_m);

}  // namespace tessarin::geometry
