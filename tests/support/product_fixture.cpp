#include "support/product_fixture.h"

#include "products/calos.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace tessarin::testing {

using products::kMappingPolyTerms;
using products::SceneParameters;

namespace {

// Six significant digits: the shortest text of each value fits its field.
double sixDigits(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.6g", v);
    return std::strtod(buffer, nullptr);
}

// Straight track: vector i = start + i * step, the step taken in one interval.
void straightTrack(SceneParameters& p) {
    const V3 start{-3000000.5, 4000000.25, 4500000.125}, step{1000.0, -2000.0, 500.0};
    for (int i = 0; i < p.orbitPointCount; ++i) {
        products::StateVector& s = p.stateVectors[static_cast<std::size_t>(i)];
        const V3 at = start + static_cast<double>(i) * step;
        s.X = at.x, s.Y = at.y, s.Z = at.z;
        s.VX = step.x / p.orbitInterval, s.VY = step.y / p.orbitInterval, s.VZ = step.z / p.orbitInterval;
    }
}

// pl2lat[5i + j] multiplies P^(4-i) L^(4-j), ll2pix[5i + j] lat^(4-i) lon^(4-j):
// the constant term, and the linear terms in P (lat) and in L (lon).
constexpr std::size_t kConstant = 24, kLinearFirst = 19, kLinearSecond = 23;

void setMapping(SceneParameters& p, Mapping mapping) {
    p.llRefLat = 35.5, p.llRefLon = 139.75;
    switch (mapping) {
        case Mapping::Varied:
            for (std::size_t n = 0; n < kMappingPolyTerms; ++n) {
                const double k = static_cast<double>(n);
                p.pl2lat[n] = sixDigits((k + 1.0) * 1.25e-9);
                p.pl2lon[n] = sixDigits(-(k + 2.0) * 2.5e-10);
                p.ll2pix[n] = (k - 12.0) * 3.75;
                p.ll2lin[n] = (k + 0.5) * -1.5;
            }
            p.pl2lat[kConstant] = p.ctrlat, p.pl2lon[kConstant] = p.ctrlon;
            p.plRefPixel = 2500.5, p.plRefLine = 15000.25;
            break;
        case Mapping::Constant:
            p.plRefPixel = p.pixel / 2.0, p.plRefLine = p.line / 2.0;
            p.pl2lat[kConstant] = p.ctrlat, p.pl2lon[kConstant] = p.ctrlon;
            p.ll2pix[kConstant] = p.plRefPixel, p.ll2lin[kConstant] = p.plRefLine;
            break;
        case Mapping::Linear: {
            p.plRefPixel = 0.0, p.plRefLine = 0.0;
            p.pl2lat[kConstant] = 35.6, p.pl2lat[kLinearFirst] = 2e-5, p.pl2lat[kLinearSecond] = -3e-5;
            p.pl2lon[kConstant] = 139.7, p.pl2lon[kLinearFirst] = -4e-5, p.pl2lon[kLinearSecond] = 1e-5;
            // The inverse of [2 -3; -4 1] 1e-5 is [-1 -3; -4 -2] 1e4.
            p.llRefLat = 35.6, p.llRefLon = 139.7;
            p.ll2pix[kLinearFirst] = -1e4, p.ll2pix[kLinearSecond] = -3e4;
            p.ll2lin[kLinearFirst] = -4e4, p.ll2lin[kLinearSecond] = -2e4;
            // The scene centre where the map puts the image centre, to 1e-4 degrees.
            const double P = p.pixel / 2.0, L = p.line / 2.0;
            p.ctrlat = std::round((35.6 + 2e-5 * P - 3e-5 * L) * 1e4) / 1e4;
            p.ctrlon = std::round((139.7 - 4e-5 * P + 1e-5 * L) * 1e4) / 1e4;
            break;
        }
    }
}

}  // namespace

V3 CircularOrbit::position(double t) const {
    const double u = rate_rad_s * (t - epoch_s);
    return {radius_m * std::cos(u), radius_m * std::sin(u) * std::cos(inclination_rad),
            radius_m * std::sin(u) * std::sin(inclination_rad)};
}

V3 CircularOrbit::velocity(double t) const {
    const double u = rate_rad_s * (t - epoch_s);
    const double v = radius_m * rate_rad_s;
    return {-v * std::sin(u), v * std::cos(u) * std::cos(inclination_rad), v * std::cos(u) * std::sin(inclination_rad)};
}

void sampleOrbit(SceneParameters& p, const CircularOrbit& orbit) {
    const auto mm = [](double v) { return std::round(v * 1000.0) / 1000.0; };
    const auto um = [](double v) { return std::round(v * 1.0e6) / 1.0e6; };
    for (int i = 0; i < p.orbitPointCount; ++i) {
        const double t = p.orbitFirstTime + p.orbitInterval * i;
        const V3 s = orbit.position(t), v = orbit.velocity(t);
        products::StateVector& sv = p.stateVectors[static_cast<std::size_t>(i)];
        sv.X = mm(s.x), sv.Y = mm(s.y), sv.Z = mm(s.z);
        sv.VX = um(v.x), sv.VY = um(v.y), sv.VZ = um(v.z);
    }
}

SceneParameters plausibleScene(const ProductOptions& options) {
    SceneParameters p;
    p.Y = 2014, p.M = 7, p.D = 24, p.H = 3, p.Min = 12, p.Sec = 34.567;
    p.ctrlat = 35.6812, p.ctrlon = 139.7671;
    p.wavelength = 0.2290399, p.prf = 2000.0, p.linsz = 2.13, p.pixsz = 1.43;
    p.inccoef = {0.2, 1.5e-3, -2.25e-6, 3e-9, -4e-12, 5.5e-15};
    p.calib = -83.0;
    p.orbitPointCount = 28;
    p.orbitFirstYear = 2014, p.orbitFirstMonth = 7, p.orbitFirstDay = 24;
    p.orbitFirstTime = 10800.0, p.orbitInterval = 60.0;
    if (options.track == Track::Circular)
        sampleOrbit(p, CircularOrbit{});
    else
        straightTrack(p);
    p.line = options.lines, p.pixel = options.pixels;
    setMapping(p, options.mapping);
    return p;
}

products::ProductSpec plausibleProduct(const std::string& folder, const ProductOptions& options) {
    products::ProductSpec product;
    product.folder = folder;
    product.level = options.level;
    product.look = options.look;
    product.polarisations = options.polarisations;
    product.levelSuffix = options.levelSuffix;
    product.generation = options.generation;
    const bool palsar1 = options.generation == products::ceos::Generation::Palsar1;
    if (palsar1) product.mode = "H";
    if (product.levelSuffix.empty())
        product.levelSuffix = options.level == products::kLevel11 ? "__A" : (palsar1 ? "GUA" : "__D");
    product.params = plausibleScene(options);
    return product;
}

products::SampleSource sampleSource(const Samples& samples) {
    products::SampleSource source;
    if (samples.complex)
        source.complexLine = [at = samples.complex](std::size_t, int n, std::span<std::complex<float>> line) {
            for (std::size_t x = 0; x < line.size(); ++x) line[x] = at(x, n);
        };
    if (samples.amplitude)
        source.amplitudeLine = [at = samples.amplitude](std::size_t, int n, std::span<std::uint16_t> line) {
            for (std::size_t x = 0; x < line.size(); ++x) line[x] = at(x, n);
        };
    return source;
}

products::WrittenProduct writePlausibleProduct(const std::string& folder, const ProductOptions& options,
                                               const Samples& samples) {
    return products::writeCeosProduct(plausibleProduct(folder, options), sampleSource(samples));
}

products::Alos2 decodedProduct(const products::WrittenProduct& w, std::size_t image) {
    products::Alos2 a = w.generation == products::ceos::Generation::Palsar1 ? products::CAlos() : products::Alos2();
    const std::string& path = w.imagePaths.at(image);
    a.setImagePath(path);
    a.setLookDirection(path);
    if (!a.DecodeLeaderFile() || !a.DecodeImageFileDescriptor(path))
        throw std::runtime_error("the written product " + path + " does not decode");
    return a;
}

ProductOptions viewProductOptions() {
    return {.level = products::kLevel15, .pixels = 1100, .lines = 1300, .levelSuffix = "GUD",
            .mapping = Mapping::Linear};
}

void patchField(std::vector<std::uint8_t>& data, std::size_t recordStart, const products::ceos::FieldLayout& f,
                const std::string& text) {
    if (text.size() > f.width)
        throw std::invalid_argument("\"" + text + "\" is wider than the field " + f.name);
    const std::string padded = std::string(f.width - text.size(), ' ') + text;
    for (std::size_t i = 0; i < f.width; ++i)
        data.at(recordStart + f.offset + i) = static_cast<std::uint8_t>(padded[i]);
}

}  // namespace tessarin::testing
