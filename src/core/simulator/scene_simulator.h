#pragma once
// A synthetic ALOS-2-like scene of known truth: an earth-fixed orbit, zero-
// Doppler image timing, ground on GRS80 plus a smooth terrain, and a
// reflectivity scene with speckle, written as level 1.1 and/or 1.5 CEOS
// products through the product writer. What was put in (corners, orbit,
// patch sigma-naught, polynomial fit residuals) comes back as a
// SimulationTruth so that tests and the console can compare the system's own
// decoding against it. A pair adds a second acquisition of the same ground
// from a displaced orbit, whose interferogram with the first holds exactly
// the phase the two orbits and the terrain give.
//
// Deterministic for a seed: every random number is a hash of (seed, channel,
// line, pixel), so the result does not depend on the order lines are made in.

#include <array>
#include <complex>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "geometry/ellipsoid.h"
#include "products/alos2.h"
#include "products/scene_parameters.h"

namespace tessarin::simulator {

using geometry::Ecef;

// A second acquisition of the same ground, for interferometry: an orbit
// displaced perpendicular to the line of sight, some days later.
struct PairOptions {
    // Perpendicular baseline at the scene centre (m): the second orbit is
    // displaced perpendicular to the first's line of sight, in the plane
    // across the track; positive away from the earth.
    double perpendicularBaseline_m = 0.0;
    int repeatDays = 14;
    // Expected coherence of the distributed scatterers; point targets stay
    // fully coherent.
    double coherence = 0.9;
    // Where the second scene holds a ground cell minus where the first holds
    // it, in whole samples.
    int offsetPixels = 3;
    int offsetLines = -5;
};

// ScanSAR-like products: observation mode "WBS"/"WBD", the level 1.1 leader
// named by the ScanSAR rule ("LED" + the image name without its first six
// and last seven characters), and bursts: the last burstGapLines of every
// burstPeriodLines are dark.
inline constexpr int kBurstPeriodLines = 256;
inline constexpr int kBurstGapLines = 32;

struct SimulatorOptions {
    std::string folder;                            // products are written here (created when missing)
    std::uint64_t seed = 1;
    int pixels = 4000;                             // range samples per line
    int lines = 6000;                              // azimuth lines
    bool level11 = true;
    bool level15 = false;
    std::vector<std::string> polarisations{"HH"};  // HH, HV, VH, VV
    char look = 'R';                               // 'R' or 'L'
    bool scanSar = false;
    std::optional<PairOptions> pair;
    std::optional<GeoPoint> centre;  // the scene centre on the ground; the default orbit's when empty
};

// The orbit: circular in inertial space, turned into earth-fixed
// coordinates by the earth's rotation about z.
struct CircularOrbit {
    double radius_m = 0.0;
    double rate_rad_s = 0.0;        // mean motion
    double inclination_deg = 0.0;
    double node_deg = 0.0;          // right ascension of the ascending node, in the frame at centreTime_s
    double argumentAtCentre_deg = 0.0;
    double centreTime_s = 0.0;      // s of day; inertial and earth-fixed frames coincide then

    Ecef position(double t_s) const;
    Ecef velocity(double t_s) const;  // earth-fixed velocity (includes the frame's rotation)
    // The time (s of day) at which the satellite passes the point at zero
    // Doppler, searched from a guess within some seconds of it.
    double zeroDopplerTime(Ecef g, double guess_s) const;
};

inline constexpr double kEarthRotation_rad_s = 7.2921151467e-5;
inline constexpr double kEarthGm_m3_s2 = 3.986004418e14;

// The synthetic terrain: heights (m above the ellipsoid) over normalised
// scene coordinates: xi across the scene (-1 at near range, +1 at far
// range) and eta along it (-1 at the first line, +1 at the last), both
// linear in latitude and longitude: with e = (lon - centreLon) cos(centreLat)
// and n = lat - centreLat (degrees), xi = (e rangeEast + n rangeNorth) /
// halfRange_deg and eta = (e azimuthEast + n azimuthNorth) / halfAzimuth_deg.
// Zero on the sea.
struct Terrain {
    double centreLat_deg = 0.0, centreLon_deg = 0.0;
    double rangeEast = 1.0, rangeNorth = 0.0, halfRange_deg = 1.0;
    double azimuthEast = 0.0, azimuthNorth = 1.0, halfAzimuth_deg = 1.0;
    double hillHeight_m = 300.0;   // peak of the Gaussian hill
    double hillXi = 0.55, hillEta = -0.35, hillWidth = 0.35;
    double slopeHeight_m = 120.0;  // rise of the land away from the coast

    double east(GeoPoint g) const {
        double d = g.lon_deg - centreLon_deg;
        d -= 360.0 * std::round(d / 360.0);  // a scene across 180 degrees stays one piece
        return d * std::cos(centreLat_deg * geometry::kRadPerDeg);
    }
    double xi(GeoPoint g) const {
        return (east(g) * rangeEast + (g.lat_deg - centreLat_deg) * rangeNorth) / halfRange_deg;
    }
    double eta(GeoPoint g) const {
        return (east(g) * azimuthEast + (g.lat_deg - centreLat_deg) * azimuthNorth) / halfAzimuth_deg;
    }
    double height_m(GeoPoint g) const;
    // The same over normalised scene coordinates.
    double heightAt(double xiValue, double etaValue) const;
    // The highest the terrain reaches.
    double highest_m() const { return slopeHeight_m + hillHeight_m; }
};

// The coastline in normalised coordinates: sea where xi < coastXi(eta).
double coastXi(double eta);

// Surface classes of the reflectivity scene.
enum class Surface { Sea, River, Town, Field0, Field1, Field2, Field3 };
inline constexpr std::size_t kSurfaceCount = 7;
const char* surfaceName(Surface s);
Surface surfaceAt(double xi, double eta, std::uint64_t seed);
// Sigma-naught (dB) of a class in a polarisation.
double surfaceSigma0_dB(Surface s, const std::string& pol);

// Geodetic latitude, longitude (degrees) and height (m).
struct GeodeticPoint {
    GeoPoint ground;
    double height_m = 0.0;
};

struct PointTarget {
    ScenePoint at;           // whole pixel/line
    GeoPoint ground;         // on the ellipsoid
    GeodeticPoint terrain;   // where the image position meets the terrain
    double sigma0_dB = 0;    // of the one cell
};

struct PatchTruth {
    std::string name;
    std::string pol;
    double sigma0_dB = 0.0;
};

struct ProductTruth {
    int level = products::kLevel11;
    std::vector<std::string> imagePaths;
    std::string leaderPath;
    double calib_dB = 0.0;  // as decoded
};

// The second acquisition of a pair, as written.
struct PairTruth {
    PairOptions options;
    // Baseline between the two satellites at their zero-Doppler times of the
    // ground point of the first scene's centre pixel (on the terrain):
    // parallel along the first satellite's line of sight (positive when the
    // second satellite is nearer the ground), perpendicular to it in the
    // plane across the track (positive away from the earth), and along the
    // first satellite's velocity.
    double perpendicularBaseline_m = 0.0, parallelBaseline_m = 0.0, alongTrackBaseline_m = 0.0;
    ScenePoint baselinePixelLine;  // in the first scene
    GeodeticPoint baselineGround;
    // Largest difference, over the scene, between where the second scene's
    // own geometry images a cell and where the offset puts it (samples).
    double registrationResidualPixels = 0.0, registrationResidualLines = 0.0;
    std::string sceneId, date;     // as in the names: 9 digits, YYMMDD
    double centreTime_s = 0.0;     // s of day of its line centreLine
    double nearRange_m = 0.0;
    CircularOrbit orbit;           // its centreTime_s is the zero-Doppler time of the baseline point
    std::array<GeoPoint, 4> corners{};  // on the ellipsoid, as SimulationTruth::corners
    GeoPoint centre;
    double fitResidualLatLon_m = 0.0, fitResidualPixelLine = 0.0;
    std::vector<ProductTruth> products;
    products::SceneParameters scene;
};

struct SimulationTruth {
    std::uint64_t seed = 0;
    int pixels = 0, lines = 0;
    char look = 'R';
    std::vector<std::string> polarisations;
    double wavelength_m = 0.0, prf_hz = 0.0, pixsz_m = 0.0, linsz_m = 0.0;
    double nearRange_m = 0.0;
    double centreTime_s = 0.0;   // s of day of line centreLine
    int centreLine = 0;          // (lines + 1) / 2
    CircularOrbit orbit;
    double altitude_m = 0.0;     // orbit radius minus the equatorial radius
    Terrain terrain;
    // Image corners (first/last pixel of the first/last line) and centre on
    // the ellipsoid: upper left, upper right, lower left, lower right.
    std::array<ScenePoint, 4> cornerPixels{};
    std::array<GeoPoint, 4> corners{};
    GeoPoint centre;
    // Largest differences of the fitted polynomials from the geometry, on
    // points between the fit samples inside the image.
    double fitResidualLatLon_m = 0.0;
    double fitResidualPixelLine = 0.0;
    std::vector<PatchTruth> patches;
    std::vector<PointTarget> targets;
    std::vector<ProductTruth> products;
    products::SceneParameters scene;  // the level 1.1 description as written (level 1.5 differs in calib)
    std::string sceneId, date;        // as in the names: 9 digits, YYMMDD
    bool scanSar = false;
    std::optional<PairTruth> pair;
};

// The geometry alone: orbit, timing, ground (ellipsoid and terrain).
class SceneGeometryModel {
public:
    // The scene centre is placed at sceneCentre when given (the satellite's
    // track moved so), else where the default orbit puts it.
    SceneGeometryModel(int pixels, int lines, char look, std::optional<GeoPoint> sceneCentre = {});
    // The same ground and sampling seen from another orbit, with its own near
    // range and centre-line time; the terrain stays that of `reference`.
    SceneGeometryModel(const SceneGeometryModel& reference, const CircularOrbit& orbit, double centreTime_s,
                       double nearRange_m);

    double timeOfLine(double line) const;
    double rangeOfPixel(double pixel) const;
    // The image position on the ellipsoid (height 0) or on the terrain.
    Ecef groundEllipsoid(double pixel, double line) const;
    Ecef groundTerrain(double pixel, double line) const;
    // ... or at a height (m) above the ellipsoid.
    Ecef groundAtHeight(double pixel, double line, double height_m) const;
    // Zero-Doppler time and slant range of a ground point, as pixel/line.
    ScenePoint pixelLine(Ecef g) const;

    const CircularOrbit& orbit() const { return orbit_; }
    const Terrain& terrain() const { return terrain_; }
    Terrain& terrain() { return terrain_; }
    int pixels() const { return pixels_; }
    int lines() const { return lines_; }
    int centreLine() const { return (lines_ + 1) / 2; }
    double centreTime_s() const { return centreTime_s_; }
    double nearRange_m() const { return nearRange_m_; }
    double pixsz_m() const { return pixsz_m_; }
    double prf_hz() const { return prf_hz_; }
    bool rightLooking() const { return look_ == 'R'; }

private:
    Ecef groundWhere(double pixel, double line, const std::function<double(Ecef)>& aboveSurface_m) const;

    int pixels_, lines_;
    char look_;
    CircularOrbit orbit_;
    Terrain terrain_;
    double nearRange_m_ = 0.0, pixsz_m_ = 0.0, prf_hz_ = 0.0;
    double centreTime_s_ = 0.0;
};

// Geodetic latitude, longitude (degrees) and height (m) of any ECEF point.
GeodeticPoint ecefToGeodetic(Ecef p);

// Least squares by Householder QR over `columns` unknowns.
std::vector<double> leastSquares(std::vector<double> a, std::vector<double> b, std::size_t columns);

// Fits the four mapping polynomials of p by least squares: pl2lat/pl2lon
// around (plRefPixel, plRefLine) to forward samples, ll2pix/ll2lin around
// (llRefLat, llRefLon) to inverse samples. A sample is (pixel, line, lat_deg,
// lon_deg); the scales condition the forward fit (half the sampled extent).
void fitMappingPolynomials(products::SceneParameters& p, const std::vector<std::array<double, 4>>& forwardSamples,
                           const std::vector<std::array<double, 4>>& inverseSamples, double pixelScale,
                           double lineScale);

inline constexpr double kWavelength_m = 0.2290399;
inline constexpr double kAltitude_m = 628000.0;
inline constexpr double kSunSynchronousInclination_deg = 97.9;

// Progress callback: (done, total) lines over all products.
using Progress = std::function<void(long long done, long long total)>;

// Writes the products and returns the truth. Throws Error for bad options.
SimulationTruth simulateScene(const SimulatorOptions& options, const Progress& progress = {});

}  // namespace tessarin::simulator
