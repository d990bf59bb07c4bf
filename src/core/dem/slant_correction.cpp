#include "dem/slant_correction.h"

#include <algorithm>
#include <cmath>

#include "dem/ground_metric.h"
#include "geometry/mapping.h"
#include "geometry/spline.h"
#include "platform/error.h"
#include "platform/format.h"
#include "platform/ui.h"
#include "products/alos2.h"

namespace tessarin::dem {

namespace {

using geometry::kRadPerDeg;

constexpr int kProfileStep = 128;

// The incidence (degrees) along the pixels from x of the middle line of a
// band of lines.
geometry::CSpline incidenceAlong(const products::SceneParameters& scene, long long x, long long line, int width,
                                 int height, int step) {
    const std::vector<double> profile = geometry::incidenceProfile(scene, static_cast<int>(x), static_cast<int>(line),
                                                                   width, height, step);
    for (double v : profile)
        if (!std::isfinite(v)) throw Error("the incidence along the frame cannot be worked out from the orbit");
    return geometry::CSpline(profile);
}

void checkInputs(const OrthoInputs& in) {
    if (!in.scene) throw Error("the terrain correction needs the scene's description");
    if (!in.height) throw Error("the terrain correction needs the terrain heights");
}

}  // namespace

long long slantBandOrigin(const OrthoInputs& in, const SlantCorrectionRequest& r) {
    OrthoFrameRequest f;
    f.x0 = r.x0, f.y0 = r.y0, f.width = r.width, f.height = r.height;
    f.variant = OrthoVariant::ProfileDriven;
    return displacesTowardSmallerPixels(in, f) ? r.x0 - r.width : r.x0;
}

std::vector<std::uint16_t> correctSlantFrame(const OrthoInputs& in, const SlantCorrectionRequest& r,
                                             const SlantBand& band, Ui* ui) {
    checkInputs(in);
    const products::SceneParameters& scene = *in.scene;
    const int W = r.width, H = r.height;
    if (W < 2 || H < 1) throw Error(format("a frame of %d x %d pixels cannot be corrected", W, H));
    const std::size_t bandWidth = 2 * static_cast<std::size_t>(W);
    if (band.values.size() != bandWidth * static_cast<std::size_t>(H) || band.present.size() != band.values.size())
        throw Error("the samples handed to the terrain correction are not the frame's band");
    const long long origin = slantBandOrigin(in, r);
    if (band.originX != origin) throw Error("the band handed to the terrain correction starts at the wrong pixel");
    const double side = origin < r.x0 ? -1.0 : 1.0;
    const double offset = static_cast<double>(r.x0 - origin);

    // Heights on a grid one sample larger than the frame both ways: the
    // slope needs the next pixel and the next line.
    const auto gw = static_cast<std::size_t>(W) + 1;
    std::vector<double> h(gw * (static_cast<std::size_t>(H) + 1));
    for (int j = 0; j <= H; ++j)
        for (int k = 0; k <= W; ++k) {
            const GeoPoint g =
                products::latLonOfPixelLine(scene, {static_cast<double>(r.x0 + k), static_cast<double>(r.y0 + j)});
            const double v = in.height(g.lat_deg, g.lon_deg);
            h[static_cast<std::size_t>(j) * gw + static_cast<std::size_t>(k)] = std::isfinite(v) ? v : 0.0;
        }
    const geometry::CSpline incidence = incidenceAlong(scene, r.x0, r.y0, W, H, kProfileStep);
    const GroundMetric metric(scene, static_cast<double>(r.x0), static_cast<double>(r.y0), W, H);

    std::vector<std::uint16_t> out(static_cast<std::size_t>(W) * static_cast<std::size_t>(H), 0);
    for (int j = 0; j < H; ++j) {
        if (ui && (j == 0 || j == H - 1)) ui->status(format("j=%d of %d", j, H));
        const double* row = h.data() + static_cast<std::size_t>(j) * gw;
        const double* next = row + gw;
        for (int k = 0; k < W; ++k) {
            const double theta = incidence.value(static_cast<double>(k) / kProfileStep) * kRadPerDeg;
            const double P = static_cast<double>(r.x0 + k), L = static_cast<double>(r.y0 + j);
            const double g = metric.metres(P, L, 1.0, 0.0);
            const double Z = row[k] / (std::tan(theta) * g);
            const double v = k + side * Z + offset;
            if (!std::isfinite(v) || v < 0.0 || v >= static_cast<double>(bandWidth) - 1.0) continue;
            const auto v0 = static_cast<std::size_t>(v);
            const std::size_t at = static_cast<std::size_t>(j) * bandWidth + v0;
            if (!band.present[at] || !band.present[at + 1]) continue;
            const double f = v - static_cast<double>(v0);
            double value = (1.0 - f) * band.values[at] + f * band.values[at + 1];
            if (r.slopeCorrection) {
                // The local incidence from the surface normal: the height step
                // toward far range over the ground metres of a pixel, and to
                // the next line over the line spacing.
                const double gl = metric.metres(P, L, 0.0, 1.0);
                const double toFar = -side * (row[k + 1] - row[k]) / g;
                const double along = (next[k] - row[k]) / (gl > 0.0 ? gl : scene.linsz);
                const double E = std::sqrt(toFar * toFar + along * along + 1.0);
                const double c = std::clamp((std::cos(theta) + std::sin(theta) * toFar) / E, -1.0, 1.0);
                const double G = std::max(0.09, std::sqrt(1.0 - c * c));
                value /= G;
            }
            if (!std::isfinite(value)) continue;
            out[static_cast<std::size_t>(j) * static_cast<std::size_t>(W) + static_cast<std::size_t>(k)] =
                static_cast<std::uint16_t>(std::clamp(std::floor(value + 0.5), 0.0, 65535.0));
        }
    }
    return out;
}

std::vector<std::uint16_t> foreshorteningSimulation(const OrthoInputs& in, int tpix, int tlin, Ui* ui) {
    checkInputs(in);
    const products::SceneParameters& scene = *in.scene;
    constexpr int kPixelStep = 11, kLineStep = 16;
    if (tpix < 1 || tlin < 1) throw Error("the foreshortening simulation needs a tile size");
    const int columns = 2 * tpix, rows = 2 * tlin;
    const auto gw = static_cast<std::size_t>(columns) + 1;
    std::vector<double> h(gw * (static_cast<std::size_t>(rows) + 1));
    for (int r = 0; r <= rows; ++r) {
        if (ui && (r == 0 || r == rows)) ui->status(format("j=%d of %d", r, rows));
        for (int q = 0; q <= columns; ++q) {
            const GeoPoint g = products::latLonOfPixelLine(
                scene, {static_cast<double>(kPixelStep) * q, static_cast<double>(kLineStep) * r});
            const double v = in.height(g.lat_deg, g.lon_deg);
            h[static_cast<std::size_t>(r) * gw + static_cast<std::size_t>(q)] = std::isfinite(v) ? v : 0.0;
        }
    }
    // The incidence along the scene's middle line.
    const int span = kPixelStep * columns;
    const int step = std::max(kProfileStep, (span + 63) / 64);
    const geometry::CSpline incidence = incidenceAlong(scene, 0, 0, span, scene.line, step);
    OrthoInputs sideOf = in;
    OrthoFrameRequest f;
    f.width = std::min(span, std::max(1, scene.pixel));
    f.height = std::max(1, scene.line);
    f.variant = OrthoVariant::ProfileDriven;
    const double side = displacesTowardSmallerPixels(sideOf, f) ? -1.0 : 1.0;
    const GroundMetric metric(scene, 0.0, 0.0, span, kLineStep * rows);

    std::vector<std::uint16_t> out(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows), 0);
    std::vector<std::uint32_t> accumulator(static_cast<std::size_t>(columns));
    for (int r = 0; r < rows; ++r) {
        std::fill(accumulator.begin(), accumulator.end(), 0u);
        const double* row = h.data() + static_cast<std::size_t>(r) * gw;
        const double* next = row + gw;
        // The grid holds columns + 1 heights: every sample but the last has
        // a neighbour toward far range.
        for (int q = 0; q < columns; ++q) {
            const double P = static_cast<double>(kPixelStep) * q, L = static_cast<double>(kLineStep) * r;
            const double theta = incidence.value(P / step) * kRadPerDeg;
            const double g = metric.metres(P, L, 1.0, 0.0);
            const double Z = row[q] / (std::tan(theta) * g);
            const double x = q + side * Z / kPixelStep;
            if (!std::isfinite(x)) continue;
            // Rounded: truncation would double or empty columns on flat
            // ground under the smallest height noise.
            const double landing = std::floor(x + 0.5);
            if (landing < 0.0 || landing >= columns) continue;
            const double gl = metric.metres(P, L, 0.0, 1.0);
            const double toFar = -side * (row[q + 1] - row[q]) / (kPixelStep * g);
            const double along = (next[q] - row[q]) / (kLineStep * (gl > 0.0 ? gl : scene.linsz));
            const double E = std::sqrt(toFar * toFar + along * along + 1.0);
            const double c = (std::cos(theta) + std::sin(theta) * toFar) / E;
            if (!std::isfinite(c)) continue;
            const auto weight = static_cast<std::uint32_t>(std::max(0.0, 1024.0 * (1.0 - c * c)));
            std::uint32_t& a = accumulator[static_cast<std::size_t>(landing)];
            a = std::min<std::uint32_t>(65535u, a + weight);
        }
        std::uint16_t* dst = out.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(columns);
        for (std::size_t q = 0; q < accumulator.size(); ++q) dst[q] = static_cast<std::uint16_t>(accumulator[q]);
    }
    return out;
}

std::string slantCorrectionPath(const std::string& canvasPath, int frameNumber) {
    const std::string stem = canvasPath.size() > 4 ? canvasPath.substr(0, canvasPath.size() - 4) : canvasPath;
    return stem + "ort" + format("ID_%d", frameNumber) + ".img";
}

std::string foreshorteningPath(const std::string& canvasPath, long long x0, long long y0) {
    const std::string stem = canvasPath.size() > 4 ? canvasPath.substr(0, canvasPath.size() - 4) : canvasPath;
    return stem + format("P%lld_L%lld", x0, y0) + "SimFS.img";
}

}  // namespace tessarin::dem
