#include "geometry/scene_geometry.h"

#include <array>
#include <cmath>
#include <cstdlib>

#include "geometry/mapping_table.h"
#include "geometry/ortho_matrix.h"

namespace tessarin::geometry {

namespace {

double offNadirOfPixel(const SceneParameters& scene, const LookPlane& centre, double pixel) {
    const GeoPoint g = products::latLonOfPixelLine(scene, {pixel, 0.5 * scene.line});
    const double satRadius = norm(centre.satellite);
    const double slant = norm(groundPointToEcef(g) - centre.satellite);
    const double radius = ellipsoidRadius_m(geocentricLatitude_deg(g.lat_deg));
    return offNadirAngle_deg(slant, radius, satRadius);
}

// Seconds from scsecofday to the earliest time whose look-plane point maps
// to a line of the image: the point at the centre's slant range along the
// segment from the satellite towards D, tried every second; the smallest
// line above -100 wins, the first of equal ones. 0 when none is smaller than
// the line at scsecofday itself.
int halfSpan_s(const SceneParameters& scene, const LookPlane& centre) {
    constexpr int kTimes = 2 * kHalfSpanSearch_s + 1;
    std::array<double, kTimes> lines{};
    for (int i = 0; i < kTimes; ++i) {
        const Ecef s = satelliteAt(scene, scene.scsecofday + (i - kHalfSpanSearch_s)).position;
        const double fraction = centre.slantRange_m / norm(s - centre.planePoint);
        const Ecef p = s + fraction * (centre.planePoint - s);
        lines[static_cast<std::size_t>(i)] = products::pixelLineOfLatLon(scene, ecefToLatLon(p)).line;
    }
    double best = lines[kHalfSpanSearch_s];
    int bestIndex = kHalfSpanSearch_s;
    for (int i = 0; i < kTimes; ++i) {
        const double line = lines[static_cast<std::size_t>(i)];
        if (line > kHalfSpanLineFloor && line < best) {
            best = line;
            bestIndex = i;
        }
    }
    return std::abs(bestIndex - kHalfSpanSearch_s);
}

}  // namespace

SceneGeometry sceneGeometry(const SceneParameters& scene) {
    SceneGeometry g;
    g.centre = lookPlaneAt(scene, scene.scsecofday, {scene.ctrlat, scene.ctrlon});

    const double nearAngle = offNadirOfPixel(scene, g.centre, kOffNadirExtentNear * scene.pixel);
    const double farAngle = offNadirOfPixel(scene, g.centre, kOffNadirExtentFar * scene.pixel);
    g.offNadirMin_deg = nearAngle < farAngle ? nearAngle : farAngle;
    g.offNadirMax_deg = nearAngle < farAngle ? farAngle : nearAngle;

    g.halfSpan_s = halfSpan_s(scene, g.centre);
    g.startTime_s = scene.scsecofday - g.halfSpan_s - kTimeMargin_s;
    g.endTime_s = scene.scsecofday + g.halfSpan_s + kTimeMargin_s;
    g.stepFactor = g.halfSpan_s > kCoarseHalfSpan_s ? 2 : 1;

    g.imageCentre = products::latLonOfPixelLine(scene, {static_cast<double>(scene.pixel / 2),
                                                        static_cast<double>((scene.line + 1) / 2)});
    return g;
}

SceneGeometry openSceneGeometry(SceneParameters& scene, bool withTables, MappingTable& table, OrthoMatrix& ortho,
                                Ui& ui) {
    const SceneGeometry g = sceneGeometry(scene);
    if (withTables) {
        buildMappingTable(scene, g, table, ui);
        buildOrthoMatrix(table, scene.pixel, scene.line, ortho, ui);
    }
    scene.ctrlat = g.imageCentre.lat_deg;
    scene.ctrlon = g.imageCentre.lon_deg;
    return g;
}

}  // namespace tessarin::geometry
