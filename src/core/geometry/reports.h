#pragma once
// The scene information reports: "Observation Date Time", "Scene Frame
// Parameter", "Current Tile ID" and "Check Orbit by image address(test)".
// Each has a text builder and a command that shows it in a message box; the
// document hands them what they need.

#include <optional>
#include <string>

#include "geometry/orbit.h"
#include "platform/form.h"
#include "tiles/canvas.h"

namespace tessarin {
class Ui;
}

namespace tessarin::geometry {

// ---- Observation Date Time

// The scene centre date of one scene, to the minute.
struct SceneDate {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
};
SceneDate sceneDateOf(const SceneParameters& scene);

// One date for a single-scene document, both for a two-scene one (dates 1
// or 2); nothing (empty) for any other count.
std::optional<std::string> observationDateTimeText(int dates, const SceneDate& first, const SceneDate& second);
void showObservationDateTime(Ui& ui, int dates, const SceneDate& first, const SceneDate& second);

// ---- Scene Frame Parameter

// Image size, spacings and the positions of the centre and the four
// corners; with no scene channel loaded the positions print as 0.
std::string sceneFrameParameterText(const SceneParameters& scene, int productLevel, bool channelLoaded);
void showSceneFrameParameter(Ui& ui, const SceneParameters& scene, int productLevel, bool channelLoaded);

// ---- Current Tile ID

// The canvas's top-left tile and the positions (degrees, minutes, seconds)
// of the corners of its 2 x 2 tiles.
std::string currentTileIdText(const tiles::CanvasState& canvas, const tiles::TileGrid& grid,
                              const SceneParameters& scene);
void showCurrentTileId(Ui& ui, const tiles::CanvasState& canvas, const tiles::TileGrid& grid,
                       const SceneParameters& scene);

// ---- Check Orbit by image address(test)

// The scene-position dialog: a pixel and a line of the scene.
struct CScPosDlog {
    static constexpr const char* kTitle = "Scene Position";
    long long pixel = 0;
    long long line = 0;

    Form form() const;
    // Shows the dialog; false when the user cancels. Throws Error when a
    // value is not a scene position an int can hold.
    bool ask(Ui& ui);
};

std::string checkOrbitText(int pixel, int line, const ClosestApproach& approach);
// Asks for the position (starting from the given one), works out the pixel's
// time and slant range and the satellite then, and shows them. False when
// the dialog was cancelled.
bool checkOrbitByImageAddress(Ui& ui, const SceneParameters& scene, CScPosDlog& dialog);

}  // namespace tessarin::geometry
