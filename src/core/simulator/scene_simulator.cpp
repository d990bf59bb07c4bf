#include "simulator/scene_simulator.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>
#include <thread>

#include "platform/arithmetic.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "products/ceos_writer.h"

namespace tessarin::simulator {

namespace {

using geometry::kDegPerRad;
using geometry::kPi;
using geometry::kRadPerDeg;

constexpr double kA = geometry::kSemiMajorAxis_m;
constexpr double kE2 = geometry::kFlattening * (2.0 - geometry::kFlattening);

// Acquisition: 24 July 2014, 03:12:34.567 UTC at the centre line; 28 state
// vectors a minute apart with the centre near the middle.
constexpr int kYear = 2014, kMonth = 7, kDay = 24, kHour = 3, kMinute = 12;
constexpr double kSecond = 34.567;
constexpr int kStateVectors = 28;
constexpr double kStateVectorInterval_s = 60.0;
constexpr int kStateVectorsBeforeCentre = 13;

struct CivilDate {
    int year = 0, month = 0, day = 0;
};
constexpr CivilDate kFirstDate{kYear, kMonth, kDay};

CivilDate daysLater(const CivilDate& d, int count) {
    namespace c = std::chrono;
    const c::sys_days first =
        c::year{d.year} / c::month{static_cast<unsigned>(d.month)} / c::day{static_cast<unsigned>(d.day)};
    const c::year_month_day later{first + c::days{count}};
    return {static_cast<int>(later.year()), static_cast<int>(static_cast<unsigned>(later.month())),
            static_cast<int>(static_cast<unsigned>(later.day()))};
}

// Scene ids are the revolution number and the frame number; the orbit
// repeats its ground track after 207 revolutions in 14 days.
constexpr int kRevolution = 1150, kFrame = 2960;
constexpr int kRepeatRevolutions = 207, kRepeatCycleDays = 14;

std::string sceneIdOf(int revolution) { return format("%05d%04d", revolution, kFrame); }
std::string yymmdd(const CivilDate& d) { return format("%02d%02d%02d", d.year % 100, d.month, d.day); }

// Speckle channels of the second acquisition's own, independent speckle.
constexpr std::uint64_t kDecorrelationChannel = 8;

// Stripmap-like sampling.
constexpr double kPrf_hz = 3050.0;
constexpr double kPixelSpacing_m = 1.43;
constexpr double kCentreRange_m = 740000.0;
// Where the satellite is at the centre time: geocentric latitude and longitude.
constexpr double kSatelliteLat_deg = 35.0;
constexpr double kSatelliteLon_deg = 139.0;

// Calibration: sigma-naught (dB) = 20 log10(amplitude) + calib.
constexpr double kCalibLevel11_dB = -115.0;
constexpr double kCalibLevel15_dB = -83.0;
constexpr double kMaxAmplitudeDn = 65535.0;
constexpr double kPointTargetSigma0_dB = 12.0;

// Polynomial fit: samples per axis, and the areas beyond the image the
// inverse maps must cover (the mapping table reaches a degree of off-nadir
// angle and some seconds beyond the scene).
constexpr int kFitSamples = 17;
constexpr double kFitMarginRange_m = 14000.0;
constexpr double kFitMarginTime_s = 9.0;

// Ground coordinates are interpolated from nodes this many pixels/lines apart.
constexpr int kGridStep = 32;

double dotE(Ecef a, Ecef b) { return geometry::dot(a, b); }
Ecef unitE(Ecef a) { return (1.0 / geometry::norm(a)) * a; }
Ecef crossE(Ecef a, Ecef b) {
    return {a.y_m * b.z_m - a.z_m * b.y_m, a.z_m * b.x_m - a.x_m * b.z_m, a.x_m * b.y_m - a.y_m * b.x_m};
}

std::uint64_t splitmix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::uint64_t cellHash(std::uint64_t seed, std::uint64_t channel, std::uint64_t line, std::uint64_t pixel) {
    return splitmix(splitmix(splitmix(seed ^ (channel << 56)) ^ line) ^ pixel);
}

// A unit-power circular complex Gaussian (Box-Muller): speckle and the
// scattering phase of one resolution cell.
std::complex<double> speckle(std::uint64_t h) {
    constexpr double kScale = 1.0 / 9007199254740992.0;  // 2^-53
    const double u1 = (static_cast<double>(h >> 11) + 0.5) * kScale;
    const double u2 = static_cast<double>(splitmix(h) >> 11) * kScale;
    const double r = std::sqrt(-std::log(u1));
    return {r * std::cos(2.0 * kPi * u2), r * std::sin(2.0 * kPi * u2)};
}

// Speckle channel of a polarisation: HV and VH share theirs (reciprocity).
std::uint64_t speckleChannel(const std::string& pol) {
    if (pol == "HH") return 0;
    if (pol == "HV" || pol == "VH") return 1;
    return 2;
}

double hypot3(Ecef a) { return geometry::norm(a); }

}  // namespace

// --- orbit

Ecef CircularOrbit::position(double t_s) const {
    const double u = argumentAtCentre_deg * kRadPerDeg + rate_rad_s * (t_s - centreTime_s);
    const double node = node_deg * kRadPerDeg, inc = inclination_deg * kRadPerDeg;
    const double x = radius_m * (std::cos(u) * std::cos(node) - std::sin(u) * std::cos(inc) * std::sin(node));
    const double y = radius_m * (std::cos(u) * std::sin(node) + std::sin(u) * std::cos(inc) * std::cos(node));
    const double z = radius_m * std::sin(u) * std::sin(inc);
    const double theta = kEarthRotation_rad_s * (t_s - centreTime_s);
    return {x * std::cos(theta) + y * std::sin(theta), -x * std::sin(theta) + y * std::cos(theta), z};
}

Ecef CircularOrbit::velocity(double t_s) const {
    const double u = argumentAtCentre_deg * kRadPerDeg + rate_rad_s * (t_s - centreTime_s);
    const double node = node_deg * kRadPerDeg, inc = inclination_deg * kRadPerDeg;
    const double v = radius_m * rate_rad_s;
    const double vx = v * (-std::sin(u) * std::cos(node) - std::cos(u) * std::cos(inc) * std::sin(node));
    const double vy = v * (-std::sin(u) * std::sin(node) + std::cos(u) * std::cos(inc) * std::cos(node));
    const double vz = v * std::cos(u) * std::sin(inc);
    const double theta = kEarthRotation_rad_s * (t_s - centreTime_s);
    const Ecef p = position(t_s);
    // The rotating frame adds -omega x p.
    return {vx * std::cos(theta) + vy * std::sin(theta) + kEarthRotation_rad_s * p.y_m,
            -vx * std::sin(theta) + vy * std::cos(theta) - kEarthRotation_rad_s * p.x_m, vz};
}

double CircularOrbit::zeroDopplerTime(Ecef g, double guess_s) const {
    // Newton on the Doppler term; its slope, about minus the squared speed,
    // comes from central differences.
    auto doppler = [&](double t) { return dotE(g - position(t), velocity(t)); };
    constexpr double kStep_s = 1.0e-3;
    double t = guess_s;
    for (int n = 0; n < 40; ++n) {
        const double slope = (doppler(t + kStep_s) - doppler(t - kStep_s)) / (2.0 * kStep_s);
        if (!(slope < 0.0)) break;
        const double dt = doppler(t) / slope;
        t -= dt;
        if (std::fabs(dt) < 1.0e-10) break;
    }
    return t;
}

// --- terrain and surfaces

double coastXi(double eta) { return -0.45 + 0.10 * std::sin(2.6 * eta) + 0.04 * std::sin(7.0 * eta + 1.0); }

double Terrain::height_m(GeoPoint g) const { return heightAt(xi(g), eta(g)); }

double Terrain::heightAt(double x, double e) const {
    const double inland = x - coastXi(e);
    if (inland <= 0.0) return 0.0;
    const double rise = 1.0 - std::exp(-inland / 0.25);
    const double dx = x - hillXi, de = e - hillEta;
    const double hill = hillHeight_m * std::exp(-(dx * dx + de * de) / (hillWidth * hillWidth));
    return rise * (slopeHeight_m + hill);
}

const char* surfaceName(Surface s) {
    switch (s) {
        case Surface::Sea: return "sea";
        case Surface::River: return "river";
        case Surface::Town: return "town";
        case Surface::Field0: return "field0";
        case Surface::Field1: return "field1";
        case Surface::Field2: return "field2";
        case Surface::Field3: return "field3";
    }
    return "?";
}

Surface surfaceAt(double xi, double eta, std::uint64_t seed) {
    if (xi < coastXi(eta)) return Surface::Sea;
    const double riverXi = 0.05 + 0.12 * std::sin(2.2 * eta + 0.5);
    if (std::fabs(xi - riverXi) < 0.02) return Surface::River;
    const double tx = xi - 0.30, te = eta - 0.35;
    if (tx * tx + te * te < 0.14 * 0.14) return Surface::Town;
    // Fields: a grid of parcels 0.12 wide, each of one of four crops.
    constexpr double kParcel = 0.12;
    const auto cx = static_cast<std::int64_t>(std::floor(xi / kParcel));
    const auto ce = static_cast<std::int64_t>(std::floor(eta / kParcel));
    const std::uint64_t h =
        cellHash(seed, 7, static_cast<std::uint64_t>(cx + 1000), static_cast<std::uint64_t>(ce + 1000));
    return static_cast<Surface>(static_cast<int>(Surface::Field0) + static_cast<int>(h % 4));
}

double surfaceSigma0_dB(Surface s, const std::string& pol) {
    static constexpr std::array<double, kSurfaceCount> kCoPol{-24.0, -22.0, 2.0, -13.0, -10.0, -8.0, -6.0};
    static constexpr std::array<double, kSurfaceCount> kCrossPol{-33.0, -31.0, -8.0, -22.0, -18.0, -15.0, -12.0};
    static constexpr std::array<double, kSurfaceCount> kVv{-20.0, -19.0, 0.0, -12.0, -10.0, -9.0, -7.0};
    const auto i = static_cast<std::size_t>(s);
    if (pol == "HV" || pol == "VH") return kCrossPol[i];
    if (pol == "VV") return kVv[i];
    return kCoPol[i];
}

// --- geodesy

GeodeticPoint ecefToGeodetic(Ecef p) {
    const double r = std::hypot(p.x_m, p.y_m);
    double lat = std::atan2(p.z_m, r * (1.0 - kE2));
    double h = 0.0;
    for (int n = 0; n < 6; ++n) {
        const double s = std::sin(lat);
        const double N = kA / std::sqrt(1.0 - kE2 * s * s);
        h = r / std::cos(lat) - N;
        lat = std::atan2(p.z_m, r * (1.0 - kE2 * N / (N + h)));
    }
    return {{lat * kDegPerRad, std::atan2(p.y_m, p.x_m) * kDegPerRad}, h};
}

std::vector<double> leastSquares(std::vector<double> a, std::vector<double> b, std::size_t columns) {
    const std::size_t rows = b.size();
    if (rows < columns) throw Error("a least-squares fit needs at least as many samples as unknowns");
    std::vector<double> v(rows);
    for (std::size_t k = 0; k < columns; ++k) {
        double norm = 0.0;
        for (std::size_t i = k; i < rows; ++i) norm += a[i * columns + k] * a[i * columns + k];
        norm = std::sqrt(norm);
        const double alpha = a[k * columns + k] > 0 ? -norm : norm;
        std::fill(v.begin(), v.end(), 0.0);
        for (std::size_t i = k; i < rows; ++i) v[i] = a[i * columns + k];
        v[k] -= alpha;
        double vv = 0.0;
        for (std::size_t i = k; i < rows; ++i) vv += v[i] * v[i];
        if (vv == 0.0) continue;
        for (std::size_t j = k; j < columns; ++j) {
            double s = 0.0;
            for (std::size_t i = k; i < rows; ++i) s += v[i] * a[i * columns + j];
            s = 2.0 * s / vv;
            for (std::size_t i = k; i < rows; ++i) a[i * columns + j] -= s * v[i];
        }
        double s = 0.0;
        for (std::size_t i = k; i < rows; ++i) s += v[i] * b[i];
        s = 2.0 * s / vv;
        for (std::size_t i = k; i < rows; ++i) b[i] -= s * v[i];
    }
    std::vector<double> x(columns, 0.0);
    for (std::size_t k = columns; k-- > 0;) {
        double s = b[k];
        for (std::size_t j = k + 1; j < columns; ++j) s -= a[k * columns + j] * x[j];
        x[k] = s / a[k * columns + k];
    }
    return x;
}

namespace {

// value ~ sum c[5i + j] (u - uRef)^(4 - i) (v - vRef)^(4 - j), fitted in
// scaled variables for conditioning, returned for the unscaled form.
std::array<double, 25> fitMapping(const std::vector<std::array<double, 3>>& samples, double uRef, double vRef,
                                  double uScale, double vScale) {
    std::vector<double> a;
    std::vector<double> b;
    a.reserve(samples.size() * 25);
    for (const auto& s : samples) {
        const double u = (s[0] - uRef) / uScale, v = (s[1] - vRef) / vScale;
        for (int i = 0; i < 5; ++i)
            for (int j = 0; j < 5; ++j) a.push_back(std::pow(u, 4 - i) * std::pow(v, 4 - j));
        b.push_back(s[2]);
    }
    const std::vector<double> x = leastSquares(std::move(a), std::move(b), 25);
    std::array<double, 25> c{};
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j)
            c[static_cast<std::size_t>(5 * i + j)] =
                x[static_cast<std::size_t>(5 * i + j)] / (std::pow(uScale, 4 - i) * std::pow(vScale, 4 - j));
    return c;
}

}  // namespace

void fitMappingPolynomials(products::SceneParameters& p, const std::vector<std::array<double, 4>>& forwardSamples,
                           const std::vector<std::array<double, 4>>& inverseSamples, double pixelScale,
                           double lineScale) {
    std::vector<std::array<double, 3>> toLat, toLon, toPixel, toLine;
    for (const auto& s : forwardSamples) {
        toLat.push_back({s[0], s[1], s[2]});
        toLon.push_back({s[0], s[1], s[3]});
    }
    double latSpan = 0.0, lonSpan = 0.0;
    for (const auto& s : inverseSamples) {
        toPixel.push_back({s[2], s[3], s[0]});
        toLine.push_back({s[2], s[3], s[1]});
        latSpan = std::max(latSpan, std::fabs(s[2] - p.llRefLat));
        lonSpan = std::max(lonSpan, std::fabs(s[3] - p.llRefLon));
    }
    p.pl2lat = fitMapping(toLat, p.plRefPixel, p.plRefLine, pixelScale, lineScale);
    p.pl2lon = fitMapping(toLon, p.plRefPixel, p.plRefLine, pixelScale, lineScale);
    p.ll2pix = fitMapping(toPixel, p.llRefLat, p.llRefLon, latSpan, lonSpan);
    p.ll2lin = fitMapping(toLine, p.llRefLat, p.llRefLon, latSpan, lonSpan);
}

// --- geometry model

SceneGeometryModel::SceneGeometryModel(int pixels, int lines, char look, std::optional<GeoPoint> sceneCentre)
    : pixels_(pixels), lines_(lines), look_(look) {
    orbit_.radius_m = kA + kAltitude_m;
    orbit_.rate_rad_s = std::sqrt(kEarthGm_m3_s2 / (orbit_.radius_m * orbit_.radius_m * orbit_.radius_m));
    orbit_.inclination_deg = kSunSynchronousInclination_deg;
    const double inc = orbit_.inclination_deg * kRadPerDeg;
    auto placeSatellite = [&](double lat_deg, double lon_deg) {
        // Ascending through the chosen latitude at the centre time.
        const double u = std::asin(std::sin(lat_deg * kRadPerDeg) / std::sin(inc));
        orbit_.argumentAtCentre_deg = u * kDegPerRad;
        orbit_.node_deg = lon_deg - std::atan2(std::sin(u) * std::cos(inc), std::cos(u)) * kDegPerRad;
    };
    placeSatellite(kSatelliteLat_deg, kSatelliteLon_deg);
    orbit_.centreTime_s = kHour * 3600.0 + kMinute * 60.0 + kSecond;
    centreTime_s_ = orbit_.centreTime_s;
    prf_hz_ = kPrf_hz;
    pixsz_m_ = kPixelSpacing_m;
    nearRange_m_ = kCentreRange_m - 0.5 * pixels * pixsz_m_;
    if (sceneCentre) {
        // The scene centre lies a few degrees off the satellite's track
        // point; moving the satellite by the miss converges in a few steps.
        double satLat = kSatelliteLat_deg, satLon = kSatelliteLon_deg;
        for (int k = 0; k < 6; ++k) {
            const GeoPoint got = ecefToGeodetic(groundEllipsoid(0.5 * (pixels - 1.0), 0.5 * (lines - 1.0))).ground;
            double dLon = sceneCentre->lon_deg - got.lon_deg;
            dLon -= 360.0 * std::round(dLon / 360.0);
            satLat += sceneCentre->lat_deg - got.lat_deg, satLon += dLon;
            placeSatellite(satLat, satLon);
        }
    }

    // The terrain's frame: the scene's axes and extent on the ellipsoid.
    const double lastPixel = pixels - 1.0, lastLine = lines - 1.0;
    auto at = [&](double px, double ln) { return ecefToGeodetic(groundEllipsoid(px, ln)).ground; };
    const GeoPoint centre = at(0.5 * lastPixel, 0.5 * lastLine);
    terrain_.centreLat_deg = centre.lat_deg;
    terrain_.centreLon_deg = centre.lon_deg;
    auto axis = [&](GeoPoint from, GeoPoint to, double& east, double& north, double& half) {
        const double e = terrain_.east(to) - terrain_.east(from), n = to.lat_deg - from.lat_deg;
        const double length = std::hypot(e, n);
        east = e / length, north = n / length, half = 0.5 * length;
    };
    axis(at(0.0, 0.5 * lastLine), at(lastPixel, 0.5 * lastLine), terrain_.rangeEast, terrain_.rangeNorth,
         terrain_.halfRange_deg);
    axis(at(0.5 * lastPixel, 0.0), at(0.5 * lastPixel, lastLine), terrain_.azimuthEast, terrain_.azimuthNorth,
         terrain_.halfAzimuth_deg);
}

SceneGeometryModel::SceneGeometryModel(const SceneGeometryModel& reference, const CircularOrbit& orbit,
                                       double centreTime_s, double nearRange_m)
    : SceneGeometryModel(reference) {
    orbit_ = orbit;
    centreTime_s_ = centreTime_s;
    nearRange_m_ = nearRange_m;
}

double SceneGeometryModel::timeOfLine(double line) const { return centreTime_s_ + (line - centreLine()) / prf_hz_; }

double SceneGeometryModel::rangeOfPixel(double pixel) const { return nearRange_m_ + pixel * pixsz_m_; }

Ecef SceneGeometryModel::groundWhere(double pixel, double line,
                                     const std::function<double(Ecef)>& aboveSurface_m) const {
    const double t = timeOfLine(line);
    const Ecef s = orbit_.position(t);
    const Ecef v = unitE(orbit_.velocity(t));
    // The zero-Doppler plane: perpendicular to the earth-fixed velocity.
    const Ecef nadir = unitE(-1.0 * (s - dotE(s, v) * v));
    const Ecef side = (rightLooking() ? 1.0 : -1.0) * unitE(crossE(v, s));
    const double range = rangeOfPixel(pixel);
    auto at = [&](double angle) { return s + range * (std::cos(angle) * nadir + std::sin(angle) * side); };
    double lo = 0.0, hi = 0.5 * kPi;
    for (int n = 0; n < 80; ++n) {
        const double mid = 0.5 * (lo + hi);
        if (mid == lo || mid == hi) break;
        (aboveSurface_m(at(mid)) < 0.0 ? lo : hi) = mid;
    }
    return at(0.5 * (lo + hi));
}

Ecef SceneGeometryModel::groundEllipsoid(double pixel, double line) const {
    return groundWhere(pixel, line, [](Ecef g) { return ecefToGeodetic(g).height_m; });
}

Ecef SceneGeometryModel::groundAtHeight(double pixel, double line, double height_m) const {
    return groundWhere(pixel, line, [height_m](Ecef g) { return ecefToGeodetic(g).height_m - height_m; });
}

Ecef SceneGeometryModel::groundTerrain(double pixel, double line) const {
    return groundWhere(pixel, line, [this](Ecef g) {
        const GeodeticPoint p = ecefToGeodetic(g);
        return p.height_m - terrain_.height_m(p.ground);
    });
}

ScenePoint SceneGeometryModel::pixelLine(Ecef g) const {
    const double tc = centreTime_s_;
    double lo = tc - 100.0, hi = tc + 100.0;
    auto doppler = [&](double t) { return dotE(g - orbit_.position(t), orbit_.velocity(t)); };
    for (int n = 0; n < 200; ++n) {
        const double mid = 0.5 * (lo + hi);
        if (mid == lo || mid == hi) break;
        (doppler(mid) > 0.0 ? lo : hi) = mid;
    }
    const double t = 0.5 * (lo + hi);
    return {(hypot3(g - orbit_.position(t)) - nearRange_m_) / pixsz_m_, (t - tc) * prf_hz_ + centreLine()};
}

// --- the scene description

namespace {

// The description of a scene acquired on `date` whose centre line lies at
// the common time of day; `centre` receives the ground of the polynomials'
// reference point.
products::SceneParameters describeScene(const SceneGeometryModel& model, const CivilDate& date, GeoPoint& centre) {
    products::SceneParameters p;
    p.Y = date.year, p.M = date.month, p.D = date.day, p.H = kHour, p.Min = kMinute, p.Sec = kSecond;
    p.wavelength = kWavelength_m;
    p.prf = model.prf_hz();
    p.pixsz = model.pixsz_m();
    const CircularOrbit& orbit = model.orbit();
    const double tc = model.centreTime_s();
    // Line spacing: the speed of the zero-Doppler point over the ground.
    const Ecef g0 = model.groundEllipsoid(model.pixels() / 2.0, model.centreLine());
    const Ecef g1 = model.groundEllipsoid(model.pixels() / 2.0, model.centreLine() + 100.0);
    p.linsz = geometry::norm(g1 - g0) / 100.0;
    p.calib = kCalibLevel11_dB;
    p.line = model.lines(), p.pixel = model.pixels();

    p.orbitPointCount = kStateVectors;
    p.orbitFirstYear = date.year, p.orbitFirstMonth = date.month, p.orbitFirstDay = date.day;
    p.orbitFirstTime = std::floor(tc / kStateVectorInterval_s) * kStateVectorInterval_s -
                       kStateVectorsBeforeCentre * kStateVectorInterval_s;
    p.orbitInterval = kStateVectorInterval_s;
    // Millimetres and micrometres per second, as products give them.
    auto mm = [](double v) { return std::round(v * 1.0e3) / 1.0e3; };
    auto um = [](double v) { return std::round(v * 1.0e6) / 1.0e6; };
    for (int i = 0; i < kStateVectors; ++i) {
        const double t = p.orbitFirstTime + kStateVectorInterval_s * i;
        const Ecef s = orbit.position(t), v = orbit.velocity(t);
        auto& sv = p.stateVectors[static_cast<std::size_t>(i)];
        sv.t = t;
        sv.X = mm(s.x_m), sv.Y = mm(s.y_m), sv.Z = mm(s.z_m);
        sv.VX = um(v.x_m), sv.VY = um(v.y_m), sv.VZ = um(v.z_m);
        sv.radius = std::sqrt(sv.X * sv.X + sv.Y * sv.Y + sv.Z * sv.Z);
    }

    // Incidence angle (rad) against slant range (km) along the centre line:
    // a quadratic through near, middle and far range.
    {
        const Ecef s = orbit.position(tc);
        std::array<double, 3> rangeKm{}, incidence{};
        for (int k = 0; k < 3; ++k) {
            const double px = (model.pixels() - 1) * 0.5 * k;
            const Ecef g = model.groundEllipsoid(px, model.centreLine());
            const GeoPoint ll = ecefToGeodetic(g).ground;
            const double la = ll.lat_deg * kRadPerDeg, lo = ll.lon_deg * kRadPerDeg;
            const Ecef normal{std::cos(la) * std::cos(lo), std::cos(la) * std::sin(lo), std::sin(la)};
            const Ecef look = unitE(s - g);
            rangeKm[static_cast<std::size_t>(k)] = model.rangeOfPixel(px) / 1000.0;
            incidence[static_cast<std::size_t>(k)] = std::acos(dotE(look, normal));
        }
        // Newton's divided differences around the middle range, expanded.
        const double r0 = rangeKm[0], r1 = rangeKm[1], r2 = rangeKm[2];
        const double d01 = (incidence[1] - incidence[0]) / (r1 - r0);
        const double d12 = (incidence[2] - incidence[1]) / (r2 - r1);
        const double c2 = (d12 - d01) / (r2 - r0);
        const double c1 = d01 + c2 * (r1 - r0);  // slope at r1 of the quadratic through the three
        const double c0 = incidence[1];
        p.inccoef = {c0 - c1 * r1 + c2 * r1 * r1, c1 - 2.0 * c2 * r1, c2, 0.0, 0.0, 0.0};
    }

    // Mapping polynomials on the ellipsoid: forward over the image and the
    // off-nadir extent the scene geometry looks at, inverse also over the
    // margins the mapping table reaches.
    const double W = model.pixels(), L = model.lines();
    auto grid = [&](double p0, double p1, double l0, double l1) {
        std::vector<std::array<double, 4>> out;
        for (int i = 0; i < kFitSamples; ++i)
            for (int j = 0; j < kFitSamples; ++j) {
                const double px = p0 + (p1 - p0) * i / (kFitSamples - 1);
                const double ln = l0 + (l1 - l0) * j / (kFitSamples - 1);
                const GeoPoint g = ecefToGeodetic(model.groundEllipsoid(px, ln)).ground;
                // Near 180 degrees the longitudes stay one piece around the
                // centre, or no polynomial could follow them.
                const double centreLon = model.terrain().centreLon_deg;
                out.push_back({px, ln, g.lat_deg, centreLon + std::remainder(g.lon_deg - centreLon, 360.0)});
            }
        return out;
    };
    const std::array<double, 4> forward{-0.3 * W, 1.3 * W, -0.1 * L, 1.1 * L};
    const double marginPixels = kFitMarginRange_m / model.pixsz_m();
    const double marginLines = kFitMarginTime_s * model.prf_hz();
    const std::array<double, 4> inverse{-marginPixels, W + marginPixels, -marginLines, L + marginLines};
    const auto forwardSamples = grid(forward[0], forward[1], forward[2], forward[3]);
    const auto inverseSamples = grid(inverse[0], inverse[1], inverse[2], inverse[3]);

    p.plRefPixel = std::floor(W / 2), p.plRefLine = model.centreLine();
    centre = ecefToGeodetic(model.groundEllipsoid(p.plRefPixel, p.plRefLine)).ground;
    p.ctrlat = centre.lat_deg, p.ctrlon = centre.lon_deg;
    p.llRefLat = std::round(centre.lat_deg * 1000.0) / 1000.0;
    // On the samples' side of 180 degrees.
    const double centreLon = model.terrain().centreLon_deg;
    p.llRefLon = std::round((centreLon + std::remainder(centre.lon_deg - centreLon, 360.0)) * 1000.0) / 1000.0;
    fitMappingPolynomials(p, forwardSamples, inverseSamples, (forward[1] - forward[0]) / 2,
                          (forward[3] - forward[2]) / 2);
    return p;
}

struct FitResidual {
    double latLon_m = 0.0;
    double pixelLine = 0.0;
};

// Largest differences of the decoded polynomials from the geometry inside
// the image, at points between the fit samples.
FitResidual measureFit(const SceneGeometryModel& model, const products::SceneParameters& decoded) {
    FitResidual residual;
    constexpr int kChecks = 16;
    const double W = model.pixels() - 1.0, L = model.lines() - 1.0;
    for (int i = 0; i <= kChecks; ++i)
        for (int j = 0; j <= kChecks; ++j) {
            const double px = W * (i + 0.37) / (kChecks + 0.74), ln = L * (j + 0.37) / (kChecks + 0.74);
            const Ecef g = model.groundEllipsoid(px, ln);
            const GeoPoint fit = products::latLonOfPixelLine(decoded, {px, ln});
            residual.latLon_m = std::max(residual.latLon_m, geometry::norm(geometry::groundPointToEcef(fit) - g));
            GeoPoint ground = ecefToGeodetic(g).ground;
            ground.lon_deg = decoded.llRefLon + std::remainder(ground.lon_deg - decoded.llRefLon, 360.0);
            const ScenePoint back = products::pixelLineOfLatLon(decoded, ground);
            residual.pixelLine = std::max({residual.pixelLine, std::fabs(back.pixel - px), std::fabs(back.line - ln)});
        }
    return residual;
}

// Grid nodes every kGridStep pixels and lines of the first scene, covering
// its pixels and lines between given bounds (the cells a pair's second
// scene holds reach beyond the first by the offset), with bilinear
// interpolation of node values.
struct GridFrame {
    int firstNodeX = 0, firstNodeY = 0, nodesX = 0, nodesY = 0;

    struct Rows {
        std::size_t top = 0, bottom = 0;
        double fy = 0.0;
    };

    GridFrame(int firstPixel, int lastPixel, int firstLine, int lastLine)
        : firstNodeX(floorDiv(firstPixel, kGridStep)), firstNodeY(floorDiv(firstLine, kGridStep)) {
        nodesX = floorDiv(lastPixel, kGridStep) + 2 - firstNodeX;
        nodesY = floorDiv(lastLine, kGridStep) + 2 - firstNodeY;
    }
    std::size_t size() const { return static_cast<std::size_t>(nodesX) * static_cast<std::size_t>(nodesY); }
    // Calls f(index, pixel, line) for every node.
    template <class F>
    void forEachNode(F&& f) const {
        for (int j = 0; j < nodesY; ++j)
            for (int i = 0; i < nodesX; ++i)
                f(static_cast<std::size_t>(j) * static_cast<std::size_t>(nodesX) + static_cast<std::size_t>(i),
                  double(firstNodeX + i) * kGridStep, double(firstNodeY + j) * kGridStep);
    }
    Rows rows(int line) const {
        const int j = floorDiv(line, kGridStep);
        const auto top = static_cast<std::size_t>(j - firstNodeY) * static_cast<std::size_t>(nodesX);
        return {top, top + static_cast<std::size_t>(nodesX), double(line - j * kGridStep) / kGridStep};
    }
    double at(const std::vector<double>& v, const Rows& r, int pixel) const {
        const int k = floorDiv(pixel, kGridStep);
        const auto i = static_cast<std::size_t>(k - firstNodeX);
        const double fx = double(pixel - k * kGridStep) / kGridStep;
        const double top = v[r.top + i] + fx * (v[r.top + i + 1] - v[r.top + i]);
        const double bottom = v[r.bottom + i] + fx * (v[r.bottom + i + 1] - v[r.bottom + i]);
        return top + r.fy * (bottom - top);
    }
};

// Normalised scene coordinates of the terrain ground at the nodes: the
// surface class of a sample comes from them.
struct GroundGrid {
    GridFrame frame;
    std::vector<double> xi, eta;

    GroundGrid(const SceneGeometryModel& model, const GridFrame& f) : frame(f), xi(f.size()), eta(f.size()) {
        frame.forEachNode([&](std::size_t k, double px, double ln) {
            const GeoPoint g = ecefToGeodetic(model.groundTerrain(px, ln)).ground;
            xi[k] = model.terrain().xi(g);
            eta[k] = model.terrain().eta(g);
        });
    }

    // The surface class of out.size() pixels of one line from firstPixel on.
    void surfaces(int line, int firstPixel, std::uint64_t seed, std::vector<Surface>& out) const {
        const GridFrame::Rows r = frame.rows(line);
        for (std::size_t p = 0; p < out.size(); ++p) {
            const int px = firstPixel + static_cast<int>(p);
            out[p] = surfaceAt(frame.at(xi, r, px), frame.at(eta, r, px), seed);
        }
    }
};

// The second orbit's zero-Doppler range to the first scene's ground cells,
// minus the first's range of the cell's pixel. Terrain height bends ground
// positions where the slope changes (at the coast), so nodes hold ground
// that is smooth in pixel, line and height: at three heights above the
// ellipsoid, the normalised coordinates and the range difference. A cell's
// height is then solved for exactly: the height h at which the terrain
// under the ground of (pixel, line, h) is h.
struct PathGrid {
    static constexpr int kLevels = 3;
    GridFrame frame;
    const Terrain& terrain;
    std::array<double, kLevels> heights{};
    std::array<std::vector<double>, kLevels> xi, eta, range_m;

    PathGrid(const SceneGeometryModel& first, const SceneGeometryModel& second, int secondOffsetLines,
             const GridFrame& f)
        : frame(f), terrain(first.terrain()) {
        constexpr double kHeightMargin_m = 20.0;
        for (int k = 0; k < kLevels; ++k) {
            const auto level = static_cast<std::size_t>(k);
            heights[level] = (terrain.highest_m() + kHeightMargin_m) * k / (kLevels - 1);
            xi[level].resize(f.size()), eta[level].resize(f.size()), range_m[level].resize(f.size());
            frame.forEachNode([&](std::size_t n, double px, double ln) {
                const Ecef g = first.groundAtHeight(px, ln, heights[level]);
                const GeoPoint ground = ecefToGeodetic(g).ground;
                xi[level][n] = terrain.xi(ground);
                eta[level][n] = terrain.eta(ground);
                const double t = second.orbit().zeroDopplerTime(g, second.timeOfLine(ln + secondOffsetLines));
                range_m[level][n] = hypot3(g - second.orbit().position(t)) - first.rangeOfPixel(px);
            });
        }
    }

    // Range differences of out.size() pixels of one line from firstPixel on.
    void rangeDifferences(int line, int firstPixel, std::vector<double>& out) const {
        const GridFrame::Rows r = frame.rows(line);
        const double h0 = heights[0], h1 = heights[1], h2 = heights[2];
        // Quadratic through the three levels.
        auto weights = [&](double h) {
            return std::array<double, kLevels>{(h - h1) * (h - h2) / ((h0 - h1) * (h0 - h2)),
                                               (h - h0) * (h - h2) / ((h1 - h0) * (h1 - h2)),
                                               (h - h0) * (h - h1) / ((h2 - h0) * (h2 - h1))};
        };
        double h = 0.0;  // the neighbour's height starts the search
        for (std::size_t p = 0; p < out.size(); ++p) {
            const int px = firstPixel + static_cast<int>(p);
            std::array<double, kLevels> x{}, e{}, d{};
            for (std::size_t k = 0; k < kLevels; ++k) {
                x[k] = frame.at(xi[k], r, px);
                e[k] = frame.at(eta[k], r, px);
                d[k] = frame.at(range_m[k], r, px);
            }
            // g(h) = h - terrain under the ground at h: negative at 0 and
            // positive above the highest terrain.
            auto g = [&](double height) {
                const auto w = weights(height);
                return height - terrain.heightAt(w[0] * x[0] + w[1] * x[1] + w[2] * x[2],
                                                 w[0] * e[0] + w[1] * e[1] + w[2] * e[2]);
            };
            h = solveHeight(g, h, h2);
            const auto w = weights(h);
            out[p] = w[0] * d[0] + w[1] * d[1] + w[2] * d[2];
        }
    }

    template <class G>
    static double solveHeight(const G& g, double start, double top) {
        constexpr double kTolerance_m = 1.0e-4, kStep_m = 0.5;
        double h = start;
        for (int n = 0; n < 8; ++n) {
            const double value = g(h);
            if (std::fabs(value) < kTolerance_m) return h;
            const double slope = (g(h + kStep_m) - value) / kStep_m;
            // A slope break between h and the step, or ground steeper than
            // the look (layover): bisect instead.
            if (!(slope > 0.05)) break;
            h = std::clamp(h - value / slope, 0.0, top);
        }
        double lo = 0.0, hi = top;
        for (int n = 0; n < 60 && hi - lo > kTolerance_m; ++n) {
            const double mid = 0.5 * (lo + hi);
            (g(mid) < 0.0 ? lo : hi) = mid;
        }
        return 0.5 * (lo + hi);
    }
};

// The second acquisition of a pair: the orbit through the point displaced
// from the first satellite by the perpendicular baseline, at the time the
// second scene's line of the centre ground (shifted by the offset) is
// taken, with its inclination trimmed so that the point is that ground's
// zero Doppler; near range such that the centre ground falls on the
// offset pixel. The scene centre time of day is the first's.
SceneGeometryModel secondGeometry(const SceneGeometryModel& first, const PairOptions& pair) {
    const double pc = std::floor(first.pixels() / 2.0), nc = first.centreLine();
    const Ecef g = first.groundTerrain(pc, nc);
    const double t1 = first.timeOfLine(nc);
    const Ecef s1 = first.orbit().position(t1);
    const Ecef look = unitE(g - s1);
    Ecef across = unitE(crossE(first.orbit().velocity(t1), look));
    if (dotE(across, s1) < 0.0) across = -1.0 * across;
    const Ecef target = s1 + pair.perpendicularBaseline_m * across;
    const double epoch = first.timeOfLine(nc + pair.offsetLines);

    auto orbitThrough = [&](double inclination_deg) {
        CircularOrbit o;
        o.radius_m = hypot3(target);
        o.rate_rad_s = std::sqrt(kEarthGm_m3_s2 / (o.radius_m * o.radius_m * o.radius_m));
        o.inclination_deg = inclination_deg;
        const double inc = inclination_deg * kRadPerDeg;
        // Ascending through the point's geocentric latitude at the epoch,
        // when the earth-fixed and inertial frames coincide.
        const double u = std::asin(std::clamp(target.z_m / o.radius_m / std::sin(inc), -1.0, 1.0));
        o.argumentAtCentre_deg = u * kDegPerRad;
        o.node_deg = (std::atan2(target.y_m, target.x_m) - std::atan2(std::sin(u) * std::cos(inc), std::cos(u))) *
                     kDegPerRad;
        o.centreTime_s = epoch;
        return o;
    };
    auto doppler = [&](double inclination_deg) {
        const CircularOrbit o = orbitThrough(inclination_deg);
        return dotE(g - o.position(epoch), unitE(o.velocity(epoch)));
    };
    // Secant on the inclination: the heading turns the zero-Doppler plane
    // about the point.
    double i0 = first.orbit().inclination_deg, i1 = i0 + 1.0e-3;
    double f0 = doppler(i0), f1 = doppler(i1);
    for (int n = 0; n < 60 && f1 != f0 && std::fabs(f1) > 1.0e-9; ++n) {
        const double i2 = i1 - f1 * (i1 - i0) / (f1 - f0);
        i0 = i1, f0 = f1;
        i1 = i2, f1 = doppler(i2);
    }
    if (!(std::fabs(f1) < 1.0e-6))
        throw Error(format("no orbit gives a perpendicular baseline of %.1f m", pair.perpendicularBaseline_m));
    const CircularOrbit orbit = orbitThrough(i1);
    const double nearRange = hypot3(g - orbit.position(epoch)) - (pc + pair.offsetPixels) * first.pixsz_m();
    return SceneGeometryModel(first, orbit, first.centreTime_s(), nearRange);
}

// The baseline at the first scene's centre ground, from the two orbits, and
// how far the second scene's geometry puts its cells from the offset
// positions.
void measurePair(const SceneGeometryModel& first, const SceneGeometryModel& second, PairTruth& t) {
    const int dx = t.options.offsetPixels, dy = t.options.offsetLines;
    const double pc = std::floor(first.pixels() / 2.0), nc = first.centreLine();
    const Ecef g = first.groundTerrain(pc, nc);
    t.baselinePixelLine = {pc, nc};
    t.baselineGround = ecefToGeodetic(g);
    const double t1 = first.orbit().zeroDopplerTime(g, first.timeOfLine(nc));
    const double t2 = second.orbit().zeroDopplerTime(g, second.timeOfLine(nc + dy));
    const Ecef s1 = first.orbit().position(t1), v1 = unitE(first.orbit().velocity(t1));
    const Ecef b = second.orbit().position(t2) - s1;
    const Ecef look = unitE(g - s1);
    Ecef across = unitE(crossE(v1, look));
    if (dotE(across, s1) < 0.0) across = -1.0 * across;
    t.parallelBaseline_m = dotE(b, look);
    t.perpendicularBaseline_m = dotE(b, across);
    t.alongTrackBaseline_m = dotE(b, v1);

    constexpr int kChecks = 8;
    for (int i = 0; i <= kChecks; ++i)
        for (int j = 0; j <= kChecks; ++j) {
            const double px = std::floor((second.pixels() - 1.0) * i / kChecks);
            const double ln = std::floor((second.lines() - 1.0) * j / kChecks);
            const Ecef cell = first.groundTerrain(px - dx, ln - dy);
            const double when = second.orbit().zeroDopplerTime(cell, second.timeOfLine(ln));
            const double pixel =
                (hypot3(cell - second.orbit().position(when)) - second.nearRange_m()) / second.pixsz_m();
            const double line = (when - second.centreTime_s()) * second.prf_hz() + second.centreLine();
            t.registrationResidualPixels = std::max(t.registrationResidualPixels, std::fabs(pixel - px));
            t.registrationResidualLines = std::max(t.registrationResidualLines, std::fabs(line - ln));
        }
}

// One acquisition of the simulated ground: sample (p, n) of its image holds
// the first scene's ground cell (p - offsetPixels, n - offsetLines). The
// second of a pair mixes speckle of its own into every distributed cell and
// sees each cell from its own orbit.
struct Acquisition {
    const SceneGeometryModel* model = nullptr;
    int offsetPixels = 0, offsetLines = 0;
    double coherence = 1.0;
    bool second = false;
    CivilDate date;
    std::string sceneId;
};

struct WrittenAcquisition {
    std::vector<ProductTruth> products;
    products::SceneParameters scene;  // the level 1.1 description as written, else level 1.5
};

constexpr std::size_t kPolarisationPrefix = 6;  // "IMG-HH"
constexpr std::size_t kScanSarLeaderTail = 7;   // "R1.1__A"

// Lines of one polarisation made ahead of the writer, a block at a time,
// each block's lines shared out between the processor's threads; the writer
// still takes them in order. A line depends only on its number, so the
// result is the same for any number of threads.
template <typename Sample, typename Scratch>
class LinesAhead {
public:
    LinesAhead(std::size_t width, int lines)
        : width_(width), lines_(lines),
          threads_(static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u))),
          scratch_(static_cast<std::size_t>(threads_)) {}

    template <typename MakeLine>
    void serve(std::size_t polIndex, int n, std::span<Sample> out, MakeLine&& make) {
        if (polIndex != polIndex_ || n < first_ || n >= first_ + count_) fill(polIndex, n, make);
        const Sample* from = block_.data() + static_cast<std::size_t>(n - first_) * width_;
        std::copy(from, from + std::min(width_, out.size()), out.begin());
    }

private:
    static constexpr int kBlockLines = 64;

    template <typename MakeLine>
    void fill(std::size_t polIndex, int n, MakeLine& make) {
        polIndex_ = polIndex;
        first_ = n;
        count_ = std::min(kBlockLines, lines_ - n);
        block_.assign(static_cast<std::size_t>(count_) * width_, Sample{});
        std::exception_ptr error;
        std::mutex errorLock;
        auto work = [&](int t) {
            try {
                for (int k = t; k < count_; k += threads_)
                    make(scratch_[static_cast<std::size_t>(t)], polIndex, first_ + k,
                         std::span<Sample>(block_.data() + static_cast<std::size_t>(k) * width_, width_));
            } catch (...) {
                std::lock_guard lock(errorLock);
                if (!error) error = std::current_exception();
            }
        };
        std::vector<std::thread> helpers;
        int started = 1;
        for (int t = 1; t < threads_ && t < count_; ++t) {
            try {
                helpers.emplace_back(work, t);
                ++started;
            } catch (...) {
                break;  // the lines of threads that could not start are made here
            }
        }
        for (int t = 0; t < threads_ && t < count_; ++t)
            if (t == 0 || t >= started) work(t);
        for (auto& h : helpers) h.join();
        if (error) std::rethrow_exception(error);
    }

    std::size_t width_;
    int lines_;
    int threads_;
    std::vector<Scratch> scratch_;
    std::vector<Sample> block_;
    std::size_t polIndex_ = static_cast<std::size_t>(-1);
    int first_ = 0, count_ = 0;
};

bool inBurstGap(int line) { return line % kBurstPeriodLines >= kBurstPeriodLines - kBurstGapLines; }

WrittenAcquisition writeAcquisition(const SimulatorOptions& options, const Acquisition& a,
                                    const products::SceneParameters& scene, const SceneGeometryModel& first,
                                    const GroundGrid& ground, const PathGrid* paths,
                                    const std::vector<PointTarget>& targets, const std::function<void()>& tick) {
    const auto width = static_cast<std::size_t>(options.pixels);
    const int firstCellPixel = -a.offsetPixels;
    const double ownSpeckle = std::sqrt(std::max(0.0, 1.0 - a.coherence * a.coherence));

    // The two-way path phase of each sample. The first scene's is that of
    // its own range and the same on every line; the second's is the range
    // of the cell's pixel in the first plus the grid's range difference.
    std::vector<std::complex<double>> firstPath(width);
    for (std::size_t p = 0; p < width; ++p) {
        const double phase = -4.0 * kPi / kWavelength_m * first.rangeOfPixel(static_cast<double>(p));
        firstPath[p] = {std::cos(phase), std::sin(phase)};
    }
    // What one thread needs to make a line.
    struct Scratch {
        std::vector<Surface> surfaces;
        std::vector<std::complex<double>> cells, path;
        std::vector<double> rangeDifference;
    };
    auto pathOf = [&](Scratch& w, int cellLine) -> const std::vector<std::complex<double>>& {
        if (!a.second) return firstPath;
        w.rangeDifference.resize(width);
        w.path.resize(width);
        paths->rangeDifferences(cellLine, firstCellPixel, w.rangeDifference);
        for (std::size_t p = 0; p < width; ++p) {
            const int cellPixel = firstCellPixel + static_cast<int>(p);
            const double range = first.rangeOfPixel(cellPixel) + w.rangeDifference[p];
            const double phase = -4.0 * kPi / kWavelength_m * range;
            w.path[p] = {std::cos(phase), std::sin(phase)};
        }
        return w.path;
    };
    auto amplitudes = [&](std::size_t polIndex, double calib_dB) {
        const std::string& pol = options.polarisations[polIndex];
        std::array<double, kSurfaceCount> amplitude{};
        for (std::size_t s = 0; s < kSurfaceCount; ++s)
            amplitude[s] = std::pow(10.0, (surfaceSigma0_dB(static_cast<Surface>(s), pol) - calib_dB) / 20.0);
        return amplitude;
    };
    auto targetAt = [&](int cellLine, int cellPixel) {
        for (const PointTarget& t : targets)
            if (static_cast<int>(t.at.line) == cellLine && static_cast<int>(t.at.pixel) == cellPixel) return true;
        return false;
    };
    // The complex reflectivity of every sample of line n: a point target has
    // no scattering phase and keeps its coherence.
    auto fillCells = [&](Scratch& w, std::size_t polIndex, int n, double calib_dB, double targetAmplitude) {
        const auto amplitude = amplitudes(polIndex, calib_dB);
        const std::uint64_t channel = speckleChannel(options.polarisations[polIndex]);
        const int cellLine = n - a.offsetLines;
        const auto hashLine = static_cast<std::uint64_t>(cellLine);
        w.surfaces.resize(width);
        w.cells.resize(width);
        ground.surfaces(cellLine, firstCellPixel, options.seed, w.surfaces);
        for (std::size_t p = 0; p < width; ++p) {
            const int cellPixel = firstCellPixel + static_cast<int>(p);
            if (targetAt(cellLine, cellPixel)) {
                w.cells[p] = {targetAmplitude, 0.0};
                continue;
            }
            const auto hashPixel = static_cast<std::uint64_t>(cellPixel);
            std::complex<double> z = speckle(cellHash(options.seed, channel, hashLine, hashPixel));
            if (a.second)
                z = a.coherence * z +
                    ownSpeckle * speckle(cellHash(options.seed, channel + kDecorrelationChannel, hashLine, hashPixel));
            w.cells[p] = amplitude[static_cast<std::size_t>(w.surfaces[p])] * z;
        }
    };

    products::ProductSpec product;
    product.folder = options.folder;
    product.sceneId = a.sceneId;
    product.date = yymmdd(a.date);
    product.mode = options.scanSar ? (options.polarisations.size() > 1 ? "WBD" : "WBS") : "UBS";
    product.look = options.look;
    product.polarisations = options.polarisations;
    product.params = scene;

    WrittenAcquisition out;
    if (options.level11) {
        product.level = products::kLevel11;
        product.levelSuffix = "__A";
        product.params.calib = kCalibLevel11_dB;
        const double targetAmplitude = std::pow(10.0, (kPointTargetSigma0_dB - kCalibLevel11_dB) / 20.0);
        LinesAhead<std::complex<float>, Scratch> ahead(width, options.lines);
        products::SampleSource source;
        source.complexLine = [&](std::size_t polIndex, int n, std::span<std::complex<float>> samples) {
            ahead.serve(polIndex, n, samples, [&](Scratch& w, std::size_t pol, int line, std::span<std::complex<float>> dst) {
                if (options.scanSar && inBurstGap(line)) return;
                fillCells(w, pol, line, kCalibLevel11_dB, targetAmplitude);
                const auto& phase = pathOf(w, line - a.offsetLines);
                for (std::size_t p = 0; p < dst.size(); ++p) {
                    const std::complex<double> v = w.cells[p] * phase[p];
                    dst[p] = {static_cast<float>(v.real()), static_cast<float>(v.imag())};
                }
            });
            tick();
        };
        products::WrittenProduct written = products::writeCeosProduct(product, source);
        if (options.scanSar) {
            // The ScanSAR leader: "LED" + the image name without its
            // polarisation prefix and its last seven characters.
            const SplitPath split = splitPath(written.imagePaths.at(0));
            const std::string rest = split.name.substr(
                kPolarisationPrefix, split.name.size() - kPolarisationPrefix - kScanSarLeaderTail);
            const std::string leader = joinPath(split.folder, "LED" + rest);
            replaceFile(written.leaderPath, leader);
            written.leaderPath = leader;
        }
        out.products.push_back({products::kLevel11, written.imagePaths, written.leaderPath, written.stored.calib});
        out.scene = written.stored;
    }
    if (options.level15) {
        product.level = products::kLevel15;
        product.levelSuffix = "__D";
        product.params.calib = kCalibLevel15_dB;
        const double targetAmplitude =
            std::min(kMaxAmplitudeDn, std::pow(10.0, (kPointTargetSigma0_dB - kCalibLevel15_dB) / 20.0));
        LinesAhead<std::uint16_t, Scratch> ahead(width, options.lines);
        products::SampleSource source;
        source.amplitudeLine = [&](std::size_t polIndex, int n, std::span<std::uint16_t> samples) {
            ahead.serve(polIndex, n, samples, [&](Scratch& w, std::size_t pol, int line, std::span<std::uint16_t> dst) {
                if (options.scanSar && inBurstGap(line)) return;
                fillCells(w, pol, line, kCalibLevel15_dB, targetAmplitude);
                for (std::size_t p = 0; p < dst.size(); ++p)
                    dst[p] = static_cast<std::uint16_t>(std::min(kMaxAmplitudeDn, std::round(std::abs(w.cells[p]))));
            });
            tick();
        };
        const products::WrittenProduct written = products::writeCeosProduct(product, source);
        out.products.push_back({products::kLevel15, written.imagePaths, written.leaderPath, written.stored.calib});
        if (!options.level11) out.scene = written.stored;
    }
    return out;
}

void checkOptions(const SimulatorOptions& o) {
    constexpr int kMinSize = 16, kMaxSize = 60000;
    if (o.pixels < kMinSize || o.pixels > kMaxSize || o.lines < kMinSize || o.lines > kMaxSize)
        throw Error(format("a simulated scene of %d x %d is outside %d to %d pixels and lines", o.pixels, o.lines,
                           kMinSize, kMaxSize));
    if (!o.level11 && !o.level15) throw Error("no product level was chosen for the simulated scene");
    if (o.look != 'R' && o.look != 'L') throw Error(format("the look direction must be R or L, not %c", o.look));
    if (o.polarisations.empty() || o.polarisations.size() > 4)
        throw Error("the simulated scene needs one to four polarisations");
    for (std::size_t i = 0; i < o.polarisations.size(); ++i) {
        const std::string& pol = o.polarisations[i];
        if (pol != "HH" && pol != "HV" && pol != "VH" && pol != "VV")
            throw Error(format("unknown polarisation \"%s\" (HH, HV, VH or VV)", pol.c_str()));
        for (std::size_t k = 0; k < i; ++k)
            if (o.polarisations[k] == pol) throw Error(format("polarisation %s is given twice", pol.c_str()));
    }
    if (o.pair) {
        const PairOptions& p = *o.pair;
        // Beyond some kilometres the second scene's cells would sit many
        // samples from where its own geometry images them.
        constexpr double kMaxBaseline_m = 3000.0;
        constexpr int kMaxRepeatDays = 3650, kMaxOffset = 100;
        if (!(std::fabs(p.perpendicularBaseline_m) <= kMaxBaseline_m))
            throw Error(format("the perpendicular baseline must lie within %.0f m", kMaxBaseline_m));
        if (p.repeatDays < 1 || p.repeatDays > kMaxRepeatDays)
            throw Error(format("the repeat time must be 1 to %d days", kMaxRepeatDays));
        if (!(p.coherence >= 0.0 && p.coherence <= 1.0)) throw Error("the coherence must lie between 0 and 1");
        if (std::abs(p.offsetPixels) > kMaxOffset || std::abs(p.offsetLines) > kMaxOffset ||
            std::abs(p.offsetPixels) >= o.pixels || std::abs(p.offsetLines) >= o.lines)
            throw Error(format("a co-registration offset of %d, %d samples is too large (at most %d, within the scene)",
                               p.offsetPixels, p.offsetLines, kMaxOffset));
    }
}

}  // namespace

SimulationTruth simulateScene(const SimulatorOptions& options, const Progress& progress) {
    checkOptions(options);
    const SceneGeometryModel model(options.pixels, options.lines, options.look, options.centre);

    SimulationTruth truth;
    truth.seed = options.seed;
    truth.pixels = options.pixels, truth.lines = options.lines;
    truth.look = options.look;
    truth.polarisations = options.polarisations;
    truth.wavelength_m = kWavelength_m;
    truth.prf_hz = model.prf_hz();
    truth.pixsz_m = model.pixsz_m();
    truth.nearRange_m = model.nearRange_m();
    truth.centreTime_s = model.orbit().centreTime_s;
    truth.centreLine = model.centreLine();
    truth.orbit = model.orbit();
    truth.altitude_m = model.orbit().radius_m - kA;
    truth.terrain = model.terrain();
    truth.sceneId = sceneIdOf(kRevolution);
    truth.date = yymmdd(kFirstDate);
    truth.scanSar = options.scanSar;

    const products::SceneParameters scene = describeScene(model, kFirstDate, truth.centre);
    truth.linsz_m = scene.linsz;
    const double lastPixel = options.pixels - 1.0, lastLine = options.lines - 1.0;
    truth.cornerPixels = {ScenePoint{0.0, 0.0}, ScenePoint{lastPixel, 0.0}, ScenePoint{0.0, lastLine},
                          ScenePoint{lastPixel, lastLine}};
    for (std::size_t k = 0; k < 4; ++k)
        truth.corners[k] =
            ecefToGeodetic(model.groundEllipsoid(truth.cornerPixels[k].pixel, truth.cornerPixels[k].line)).ground;

    for (const std::string& pol : options.polarisations)
        for (std::size_t s = 0; s < kSurfaceCount; ++s)
            truth.patches.push_back({surfaceName(static_cast<Surface>(s)), pol,
                                     surfaceSigma0_dB(static_cast<Surface>(s), pol)});
    for (const auto& f : {std::array<double, 2>{0.25, 0.25}, {0.75, 0.25}, {0.5, 0.5}, {0.25, 0.75}, {0.75, 0.75}}) {
        PointTarget t;
        t.at = {std::floor(f[0] * options.pixels), std::floor(f[1] * options.lines)};
        t.ground = ecefToGeodetic(model.groundEllipsoid(t.at.pixel, t.at.line)).ground;
        t.terrain = ecefToGeodetic(model.groundTerrain(t.at.pixel, t.at.line));
        t.sigma0_dB = kPointTargetSigma0_dB;
        truth.targets.push_back(t);
    }

    // A pair's second scene holds cells beyond the first's edges by the
    // offset: the ground grid reaches that far.
    std::optional<SceneGeometryModel> second;
    int dx = 0, dy = 0;
    if (options.pair) {
        second.emplace(secondGeometry(model, *options.pair));
        dx = options.pair->offsetPixels, dy = options.pair->offsetLines;
    }
    const GridFrame frame(std::min(0, -dx), std::max(options.pixels - 1, options.pixels - 1 - dx), std::min(0, -dy),
                          std::max(options.lines - 1, options.lines - 1 - dy));
    const GroundGrid ground(model, frame);
    std::optional<PathGrid> paths;
    if (second) paths.emplace(model, *second, dy, frame);

    const long long total = static_cast<long long>(options.lines) *
                            static_cast<long long>(options.polarisations.size()) *
                            ((options.level11 ? 1 : 0) + (options.level15 ? 1 : 0)) * (options.pair ? 2 : 1);
    long long done = 0;
    const std::function<void()> tick = [&] {
        ++done;
        if (progress && (done % 256 == 0 || done == total)) progress(done, total);
    };

    Acquisition acquisition;
    acquisition.model = &model;
    acquisition.date = kFirstDate;
    acquisition.sceneId = truth.sceneId;
    WrittenAcquisition written =
        writeAcquisition(options, acquisition, scene, model, ground, nullptr, truth.targets, tick);
    truth.products = std::move(written.products);
    truth.scene = written.scene;
    const FitResidual fit = measureFit(model, truth.scene);
    truth.fitResidualLatLon_m = fit.latLon_m;
    truth.fitResidualPixelLine = fit.pixelLine;

    if (second) {
        PairTruth pair;
        pair.options = *options.pair;
        measurePair(model, *second, pair);
        const CivilDate date = daysLater(kFirstDate, options.pair->repeatDays);
        const auto revolutions = static_cast<int>(
            std::lround(static_cast<double>(options.pair->repeatDays) * kRepeatRevolutions / kRepeatCycleDays));
        pair.sceneId = sceneIdOf(kRevolution + revolutions);
        pair.date = yymmdd(date);
        pair.centreTime_s = second->centreTime_s();
        pair.nearRange_m = second->nearRange_m();
        pair.orbit = second->orbit();
        for (std::size_t k = 0; k < 4; ++k)
            pair.corners[k] = ecefToGeodetic(second->groundEllipsoid(truth.cornerPixels[k].pixel,
                                                                     truth.cornerPixels[k].line))
                                  .ground;
        const products::SceneParameters secondScene = describeScene(*second, date, pair.centre);

        acquisition.model = &*second;
        acquisition.offsetPixels = dx, acquisition.offsetLines = dy;
        acquisition.coherence = options.pair->coherence;
        acquisition.second = true;
        acquisition.date = date;
        acquisition.sceneId = pair.sceneId;
        written = writeAcquisition(options, acquisition, secondScene, model, ground, &*paths, truth.targets, tick);
        pair.products = std::move(written.products);
        pair.scene = written.scene;
        const FitResidual secondFit = measureFit(*second, pair.scene);
        pair.fitResidualLatLon_m = secondFit.latLon_m;
        pair.fitResidualPixelLine = secondFit.pixelLine;
        truth.pair = std::move(pair);
    }
    return truth;
}

}  // namespace tessarin::simulator
