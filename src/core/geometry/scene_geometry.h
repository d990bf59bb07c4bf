#pragma once
// The scene geometry worked out when a scene is opened: the look plane of
// the scene centre, the off-nadir extent of the image, the time span that
// covers it, and the image centre. With the table flag the satellite-to-
// ground mapping table and the ortho matrix are built from it.

#include "geometry/mapping.h"

namespace tessarin {
class Ui;
}

namespace tessarin::geometry {

class MappingTable;
struct OrthoMatrix;

inline constexpr double kOffNadirExtentNear = -0.2;  // of the image width, before pixel 0
inline constexpr double kOffNadirExtentFar = 1.2;    // beyond the last pixel
inline constexpr int kHalfSpanSearch_s = 50;         // times scsecofday -50 .. +50 s are tried
inline constexpr double kHalfSpanLineFloor = -100.0; // lines at or below this are not the image's start
inline constexpr int kTimeMargin_s = 5;              // added on both sides of the half span
inline constexpr int kCoarseHalfSpan_s = 15;         // above this the table steps twice as wide

struct SceneGeometry {
    LookPlane centre;                // at scsecofday for the scene centre (ctrlat, ctrlon)
    double offNadirMin_deg = 0.0;    // of the ground points of pixels -0.2 and 1.2 image widths
    double offNadirMax_deg = 0.0;
    int halfSpan_s = 0;              // seconds from scsecofday to the image's earliest line
    double startTime_s = 0.0;        // scsecofday - halfSpan - 5
    double endTime_s = 0.0;          // scsecofday + halfSpan + 5
    int stepFactor = 1;              // 2 when the half span exceeds 15 s
    GeoPoint imageCentre;            // of pixel pixels / 2, line (lines + 1) / 2
};

// Steps 2 to 5 and the image centre; nothing is changed.
SceneGeometry sceneGeometry(const SceneParameters& scene);

// The whole step at open: the geometry, with the table flag also the mapping
// table and the ortho matrix (progress on ui), and the image centre replaces
// the scene centre latitude and longitude of `scene`.
SceneGeometry openSceneGeometry(SceneParameters& scene, bool withTables, MappingTable& table, OrthoMatrix& ortho,
                                Ui& ui);

}  // namespace tessarin::geometry
