#include "geometry/reports.h"

#include <climits>

#include "geometry/geo_format.h"
#include "geometry/mapping.h"
#include "platform/error.h"
#include "platform/format.h"
#include "platform/ui.h"

namespace tessarin::geometry {

namespace {

constexpr int kTilesPerCanvasSide = 2;

GeoPoint positionOf(const SceneParameters& scene, long long pixel, long long line) {
    return products::latLonOfPixelLine(scene, {static_cast<double>(pixel), static_cast<double>(line)});
}

int toInt(long long v, const char* what) {
    if (v < INT_MIN || v > INT_MAX) throw Error(format("the %s %lld is not a scene position", what, v));
    return static_cast<int>(v);
}

}  // namespace

SceneDate sceneDateOf(const SceneParameters& scene) { return {scene.Y, scene.M, scene.D, scene.H, scene.Min}; }

std::optional<std::string> observationDateTimeText(int dates, const SceneDate& a, const SceneDate& b) {
    if (dates == 1)
        return format("Observation Date Time\n Year:%d\nMonth:%d\nDay:%d\nHour:%d\nMin:%d", a.year, a.month, a.day,
                      a.hour, a.minute);
    if (dates == 2)
        return "Observation Date Time\n" +
               format("date1:Y=%d,M=%d,D=%d,H=%d,min=%d\n", a.year, a.month, a.day, a.hour, a.minute) +
               format("Date2:Y=%d,M=%d,D=%d,H=%d,min=%d", b.year, b.month, b.day, b.hour, b.minute);
    return std::nullopt;
}

void showObservationDateTime(Ui& ui, int dates, const SceneDate& first, const SceneDate& second) {
    if (const auto text = observationDateTimeText(dates, first, second)) ui.message(*text);
}

std::string sceneFrameParameterText(const SceneParameters& scene, int productLevel, bool channelLoaded) {
    const long long pixels = scene.pixel, lines = scene.line;
    std::string text = productLevel == products::kLevel11 ? "L1.1 SLC image\n" : "L1.5 Ampitude image\n";
    text += format("Pixel=%d, Line=%d\n", scene.pixel, scene.line);
    text += format("pixspace=%.2fm, linespace=%.2fm\n", scene.pixsz, scene.linsz);
    struct Place {
        const char* label;
        long long pixel, line;
    };
    const Place places[] = {{"Scene Center ", pixels / 2, lines / 2},
                            {"TL corner ", 0, 0},
                            {"TR corner ", pixels, 0},
                            {"BL corner ", 0, lines},
                            {"BR corner ", pixels, lines}};
    for (const Place& p : places) {
        const GeoPoint g = channelLoaded ? positionOf(scene, p.pixel, p.line) : GeoPoint{};
        text += p.label + format("lat=%.6fdeg,lon=%.6fdeg\n", g.lat_deg, g.lon_deg);
    }
    return text;
}

void showSceneFrameParameter(Ui& ui, const SceneParameters& scene, int productLevel, bool channelLoaded) {
    ui.message(sceneFrameParameterText(scene, productLevel, channelLoaded));
}

std::string currentTileIdText(const tiles::CanvasState& canvas, const tiles::TileGrid& grid,
                              const SceneParameters& scene) {
    const long long x = static_cast<long long>(canvas.kx0) * grid.tpix;
    const long long y = static_cast<long long>(canvas.ky0) * grid.tlin;
    const long long right = x + kTilesPerCanvasSide * static_cast<long long>(grid.tpix) - 1;
    const long long bottom = y + kTilesPerCanvasSide * static_cast<long long>(grid.tlin) - 1;
    std::string text = format("Current tile address X=%d, Y=%d (at top left corner)\n", canvas.kx0, canvas.ky0);
    auto corner = [&](const char* label, long long pixel, long long line) {
        const GeoPoint g = positionOf(scene, pixel, line);
        text += label + geoPositionDmsText(g.lat_deg, g.lon_deg) + "\n";
    };
    corner("TL corner ", x, y);
    corner("TR corner ", right, y);
    corner("BL corner ", x, bottom);
    corner("BR corner ", right, bottom);
    return text;
}

void showCurrentTileId(Ui& ui, const tiles::CanvasState& canvas, const tiles::TileGrid& grid,
                       const SceneParameters& scene) {
    ui.message(currentTileIdText(canvas, grid, scene));
}

Form CScPosDlog::form() const {
    Form f(kTitle);
    f.addInt("pixel", "pixel", pixel);
    f.addInt("line", "line", line);
    return f;
}

bool CScPosDlog::ask(Ui& ui) {
    Form f = form();
    if (!ui.form(f)) return false;
    toInt(f.intValue("pixel"), "pixel");
    toInt(f.intValue("line"), "line");
    pixel = f.intValue("pixel");
    line = f.intValue("line");
    return true;
}

std::string checkOrbitText(int pixel, int line, const ClosestApproach& a) {
    return format("P,L=(%d,%d\n", pixel, line) + format("orbtime=%.6f,slant=%lf\n", a.time_s, a.range_m) +
           format("rorb=%lf,(x,y,z)=(%lf,%lf,%lf", a.orbitRadius_m, a.satellite.x_m, a.satellite.y_m,
                  a.satellite.z_m);
}

bool checkOrbitByImageAddress(Ui& ui, const SceneParameters& scene, CScPosDlog& dialog) {
    if (!dialog.ask(ui)) return false;
    const int pixel = toInt(dialog.pixel, "pixel");
    const int line = toInt(dialog.line, "line");
    const ClosestApproach a = pixelTimeAndRange(scene, {static_cast<double>(pixel), static_cast<double>(line)});
    ui.message(checkOrbitText(pixel, line, a));
    return true;
}

}  // namespace tessarin::geometry
