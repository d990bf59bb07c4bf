#include <gtest/gtest.h>

#include <cmath>

#include "geometry/geo_format.h"
#include "geometry/vector.h"

using namespace tessarin;

TEST(CVectorTest, OrthogonaliseGivesTheUnitNormalInThePlane) {
    const CVector::Vec3 u{2.0, 0.0, 0.0};
    const CVector::Vec3 v{3.0, 4.0, 0.0};
    const CVector::Orthogonal r = CVector::orthogonalise(u, v);
    // v/|v| = (0.6, 0.8, 0); removing its part along u leaves (0, 0.8, 0).
    EXPECT_NEAR(r.length, 0.8, 1e-15);
    EXPECT_NEAR(r.w[0], 0.0, 1e-15);
    EXPECT_NEAR(r.w[1], 1.0, 1e-15);
    EXPECT_NEAR(r.w[2], 0.0, 1e-15);

    // Arbitrary directions: w is a unit vector normal to u, in the plane of
    // u and v, and its length is the sine of the angle between them.
    const CVector::Vec3 a{1.0, -2.0, 0.5};
    const CVector::Vec3 b{-0.3, 0.7, 2.0};
    const CVector::Orthogonal o = CVector::orthogonalise(a, b);
    EXPECT_NEAR(CVector::norm(o.w), 1.0, 1e-14);
    EXPECT_NEAR(CVector::dot(o.w, a), 0.0, 1e-14);
    const CVector::Vec3 n{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    EXPECT_NEAR(CVector::dot(o.w, n), 0.0, 1e-14);
    EXPECT_NEAR(o.length, CVector::norm(n) / (CVector::norm(a) * CVector::norm(b)), 1e-14);
}

TEST(CVectorTest, ParallelVectorsGiveZeroLength) {
    for (const CVector::Vec3& v : {CVector::Vec3{2.0, 0.0, 0.0}, CVector::Vec3{-7.0, 0.0, 0.0}}) {
        const CVector::Orthogonal r = CVector::orthogonalise({1.0, 0.0, 0.0}, v);
        EXPECT_EQ(r.length, 0.0);
        for (double x : r.w) EXPECT_FALSE(std::isnan(x));
    }
    const CVector::Orthogonal r = CVector::orthogonalise({1.0, 1.0, 1.0}, {3.0, 3.0, 3.0});
    EXPECT_EQ(r.length, 0.0);
}

TEST(GeoFormatTest, DegreesMinutesSecondsText) {
    EXPECT_EQ(geoPositionDmsText(35.5, 139.25), "GeoPosition= N 35:30'0.00'', E 139:15'0.00''");
    EXPECT_EQ(geoPositionDmsText(-0.5, -0.25), "Geo Position= S 0:30'0.00'', W 0:15'0.00''");
    // Truncated, not rounded: 59.9999 minutes stay 59.
    const double lat = 10.0 + 59.0 / 60.0 + 59.999 / 3600.0;
    EXPECT_EQ(geoPositionDmsText(lat, 0.0), "GeoPosition= N 10:59'60.00'', E 0:0'0.00''");
    const DmsParts p = toDms(-12.3456);
    EXPECT_EQ(p.degrees, 12);
    EXPECT_EQ(p.minutes, 20);
    EXPECT_NEAR(p.seconds, 44.16, 1e-9);
}

TEST(GeoFormatTest, ReadoutTexts) {
    EXPECT_EQ(latLonDecimalText(35.5, -139.25), "lat,lon=35.500000, -139.250000");
    EXPECT_EQ(latLonReadoutDmsText(35.5, 139.25), "lat_N:35,30'',0.00;lon_E139,15'',0.00;");
    EXPECT_EQ(latLonReadoutDmsText(-0.5, -0.75), "lat_S:0,30'',0.00;lon_W:0,45'',0.00;");
    // Non-positions do not crash the text.
    EXPECT_FALSE(geoPositionDmsText(std::nan(""), 1e300).empty());
}
