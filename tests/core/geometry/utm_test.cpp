// UTM against GeographicLib's transverse Mercator on the same ellipsoid.
#include <gtest/gtest.h>

#include <GeographicLib/Ellipsoid.hpp>
#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/TransverseMercator.hpp>

#include <cmath>

#include "geometry/ellipsoid.h"
#include "geometry/utm.h"

using namespace tessarin;

namespace {

constexpr double kGrs80InverseFlattening = 298.257222101;
constexpr int kZone = 54;  // central meridian 141 E

struct Oracle {
    GeographicLib::TransverseMercator tm{6378137.0, 1.0 / kGrs80InverseFlattening, 0.9996};
    GeographicLib::Geodesic geodesic{6378137.0, 1.0 / kGrs80InverseFlattening};
    double distance_m(double lat1, double lon1, double lat2, double lon2) const {
        double s12 = 0;
        geodesic.Inverse(lat1, lon1, lat2, lon2, s12);
        return s12;
    }
};

}  // namespace

TEST(CUTMTest, ConstantsAreGrs80) {
    EXPECT_DOUBLE_EQ(geometry::kFlattening, 0.003352810681182319);
    const double f = geometry::kFlattening;
    EXPECT_NEAR(geometry::kEccentricitySquared, f * (2 - f), 1e-15);
    EXPECT_NEAR(geometry::kSecondEccentricitySquared,
                geometry::kEccentricitySquared / (1 - geometry::kEccentricitySquared), 1e-15);
    EXPECT_EQ(CUTM::centralMeridian_deg(54), 141.0);
    EXPECT_EQ(CUTM::centralMeridian_deg(1), -177.0);
    EXPECT_EQ(CUTM::centralMeridian_deg(31), 3.0);
}

TEST(CUTMTest, MeridianArcMatchesGeographicLibToAMillimetre) {
    const GeographicLib::Ellipsoid ellipsoid(6378137.0, 1.0 / kGrs80InverseFlattening);
    for (double lat = -89.0; lat <= 89.0; lat += 0.5)
        EXPECT_NEAR(CUTM::meridianArc_m(lat), ellipsoid.MeridianDistance(lat), 1e-3) << lat;
}

// Inside the zone (+/-3 degrees) from 80 S to 84 N the series agrees with
// GeographicLib to 2.1 mm; half a degree beyond the zone edge to 4.5 mm.
TEST(CUTMTest, ForwardAgreesWithGeographicLibToMillimetres) {
    const Oracle oracle;
    const double cm = CUTM::centralMeridian_deg(kZone);
    double worstInZone_m = 0;
    double worstBeyond_m = 0;
    for (double lat = -80.0; lat <= 84.0; lat += 0.5) {
        for (double dlon = -3.5; dlon <= 3.5; dlon += 0.125) {
            const bool north = lat >= 0;
            const UtmCoordinate u = CUTM::toUtm(lat, cm + dlon, kZone, north);
            double x = 0, y = 0;
            oracle.tm.Forward(cm, lat, cm + dlon, x, y);
            const double e = x + CUTM::kFalseEasting_m;
            const double n = y + (north ? 0.0 : CUTM::kFalseNorthingSouth_m);
            const double d = std::hypot(e - u.easting_m, n - u.northing_m);
            double& worst = std::fabs(dlon) <= 3.0 ? worstInZone_m : worstBeyond_m;
            worst = std::max(worst, d);
        }
    }
    EXPECT_LT(worstInZone_m, 2.5e-3);
    EXPECT_LT(worstBeyond_m, 5e-3);
}

// The search stops within 1 m in each coordinate, so the position it finds
// lies within sqrt(2) m of GeographicLib's inverse.
TEST(CUTMTest, InverseAgreesWithGeographicLibWithinTheSearchTolerance) {
    const Oracle oracle;
    const double cm = CUTM::centralMeridian_deg(kZone);
    double worst_m = 0;
    int maxSteps = 0;
    for (double lat = -80.0; lat <= 84.0; lat += 1.3) {
        for (double dlon = -3.0; dlon <= 3.0; dlon += 0.45) {
            const bool north = lat >= 0;
            double x = 0, y = 0;
            oracle.tm.Forward(cm, lat, cm + dlon, x, y);
            const double e = x + CUTM::kFalseEasting_m;
            const double n = y + (north ? 0.0 : CUTM::kFalseNorthingSouth_m);
            const UtmInverseResult r = CUTM::toLatLon(north, kZone, e, n);
            ASSERT_TRUE(r.converged) << lat << " " << dlon;
            maxSteps = std::max(maxSteps, r.steps);
            worst_m = std::max(worst_m, oracle.distance_m(lat, cm + dlon, r.lat_deg, r.lon_deg));
        }
    }
    EXPECT_LT(worst_m, 1.42);
    EXPECT_LT(maxSteps, CUTM::kMaxSearchSteps);
}

TEST(CUTMTest, HemispheresAndTheCentralMeridian) {
    // Easting 500000 is the central meridian; the longitude search has
    // settled on it within the tolerance once the latitude has converged.
    for (double lat : {0.5, 10.0, 35.0, 45.3, 70.0}) {
        const UtmCoordinate u = CUTM::toUtm(lat, 141.0, kZone, true);
        EXPECT_DOUBLE_EQ(u.easting_m, 500000.0);
        const UtmInverseResult r = CUTM::toLatLon(true, kZone, 500000.0, u.northing_m);
        ASSERT_TRUE(r.converged);
        EXPECT_NEAR(r.lon_deg, 141.0, 1e-5) << lat;
        EXPECT_NEAR(r.lat_deg, lat, 1e-5) << lat;
    }
    // The start of the search is itself an answer.
    const UtmCoordinate start = CUTM::toUtm(35.0, 141.0, kZone, true);
    const UtmInverseResult r0 = CUTM::toLatLon(true, kZone, start.easting_m, start.northing_m);
    EXPECT_EQ(r0.steps, 0);
    EXPECT_EQ(r0.lon_deg, 141.0);

    // South: the false northing is added, and the search starts at -35.
    const UtmCoordinate s = CUTM::toUtm(-33.0, 143.0, kZone, false);
    EXPECT_GT(s.northing_m, 6.0e6);
    EXPECT_LT(s.northing_m, 1.0e7);
    EXPECT_GT(s.easting_m, 500000.0);
    const UtmInverseResult rs = CUTM::toLatLon(false, kZone, s.easting_m, s.northing_m);
    ASSERT_TRUE(rs.converged);
    EXPECT_NEAR(rs.lat_deg, -33.0, 2e-5);
    EXPECT_NEAR(rs.lon_deg, 143.0, 2e-5);
}

TEST(CUTMTest, HopelessSearchesEndWithAFailureResult) {
    const UtmInverseResult nan = CUTM::toLatLon(true, kZone, std::nan(""), 4.0e6);
    EXPECT_FALSE(nan.converged);
    // Beyond the pole.
    const UtmInverseResult far = CUTM::toLatLon(true, kZone, 500000.0, 3.0e7);
    EXPECT_FALSE(far.converged);
    EXPECT_LE(far.steps, CUTM::kMaxSearchSteps);
}
