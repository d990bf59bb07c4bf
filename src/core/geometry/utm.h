#pragma once
// UTM on the GRS80 ellipsoid (geometry/ellipsoid.h): the transverse Mercator
// series forward and a stepwise search for the way back. Used where GeoTIFF
// files in UTM coordinates are read or described.
//
// Angles at this interface are in degrees; radians stay inside.

namespace tessarin {

struct UtmCoordinate {
    double easting_m = 0.0;
    double northing_m = 0.0;
};

// Unscaled transverse Mercator coordinates: x along the central meridian,
// y across it.
struct TransverseMercatorXY {
    double x_m = 0.0;
    double y_m = 0.0;
};

// Result of the inverse search. When the search does not converge (targets
// far outside their zone, nonsense input) converged is false and the
// position holds where the search stopped; callers must not use it.
struct UtmInverseResult {
    double lat_deg = 0.0;
    double lon_deg = 0.0;
    bool converged = false;
    int steps = 0;
};

class CUTM {
public:
    // Meridian-arc series coefficients of GRS80 (metres).
    static constexpr double kArcA = 6367449.145713922;
    static constexpr double kArcB = 32077.01738796219;
    static constexpr double kArcC = 67.33039926427865;
    static constexpr double kArcD = 0.13188597937874771;
    static constexpr double kArcE = 0.0002446294848088663;

    static constexpr double kScaleFactor = 0.9996;
    static constexpr double kFalseEasting_m = 500000.0;
    static constexpr double kFalseNorthingSouth_m = 10000000.0;

    // The inverse search stops when both coordinates are this close.
    static constexpr double kSearchTolerance_m = 1.0;
    // The steps only shrink, so a latitude step that became small early has
    // to creep after a longitude change: points inside their zone take up
    // to about 30,000 steps (near 84 degrees north), most fewer than 100.
    // The limit leaves a wide margin over that and still ends a hopeless
    // search within a fraction of a second.
    static constexpr int kMaxSearchSteps = 1000000;

    // Central meridian of zone z: (z - 31) * 6 + 3 degrees.
    static double centralMeridian_deg(int zone);

    // Length of the meridian from the equator to the latitude (metres;
    // negative south of the equator).
    static double meridianArc_m(double lat_deg);

    // Series projection of a point dlon_deg away from the central meridian.
    static TransverseMercatorXY transverseMercator(double lat_deg, double dlon_deg);

    // Easting and northing in the given zone; the false northing is added
    // when north is false, whatever the sign of the latitude.
    static UtmCoordinate toUtm(double lat_deg, double lon_deg, int zone, bool north);

    // Latitude and longitude of a UTM coordinate by the stepwise search:
    // from +/-35 degrees on the central meridian, steps of 1 and 0.5
    // degrees, each halved when its direction turns, until both coordinates
    // are within kSearchTolerance_m.
    static UtmInverseResult toLatLon(bool north, int zone, double easting_m, double northing_m);
};

}  // namespace tessarin
