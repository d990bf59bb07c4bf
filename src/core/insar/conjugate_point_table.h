#pragma once
// The ConjugatePointTable: four tie points near the corners of the master
// scene, each with the displacement from its master position to the
// conjugate slave position, and one global correction. Bilinear blending of
// the four corner displacements gives the slave position of any master
// position. Kept on disk as "<document path>.cnj" in one of two raw
// little-endian layouts, told apart by their size.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/geo_types.h"
#include "products/scene_parameters.h"

namespace tessarin::insar {

inline constexpr std::size_t kTiePoints = 4;  // 0 top left, 1 top right, 2 bottom left, 3 bottom right
inline constexpr std::size_t kShortCnjBytes = 176;
inline constexpr std::size_t kFullCnjBytes = 196;

enum class CnjLayout { Short, Full };

struct MasterPoint {
    std::int32_t x = 0;  // pixel
    std::int32_t y = 0;  // line
};

struct ConjugatePointTable {
    std::array<MasterPoint, kTiePoints> master{};
    std::array<double, kTiePoints> slaveX{}, slaveY{};
    std::array<double, kTiePoints> dispX{}, dispY{};
    // The last point measured for the displacement adjust (memory only).
    double point4SlaveX = 0.0, point4SlaveY = 0.0, point4DispX = 0.0, point4DispY = 0.0;
    double adjustX = 0.0, adjustY = 0.0;        // added to every blended slave position
    double phaseIncH = 0.0, phaseIncV = 0.0;    // phase ramp, cycles per tile
    std::int32_t reversePhase = 0;
    bool ready = false;
    std::array<bool, kTiePoints> cornerSet{};

    // Sets tie point k and keeps its slave position consistent with it.
    void setPoint(std::size_t k, MasterPoint m, double dx, double dy);
};

// The raw bytes of a layout.
std::vector<std::uint8_t> encodeCnj(const ConjugatePointTable& table, CnjLayout layout);
// Reads either layout by its size (176 short, 196 full). Anything else, or
// non-finite or absurd values, throws Error naming the file; `into` is
// changed only when everything was accepted. The fields the layout does not
// hold keep their values. Returns the layout read.
CnjLayout decodeCnj(std::span<const std::uint8_t> bytes, const std::string& name, ConjugatePointTable& into);

// Why the corner layout cannot be blended over master columns xFirst..xLast
// (the widest range any working area evaluates), or nothing when it can:
// x1 - x0 >= 1, x3 - x2 >= 1 and the bottom edge at least one line below
// the top edge. The text names the offending corners.
std::optional<std::string> layoutProblem(const ConjugatePointTable& table, double xFirst, double xLast);

// Displacement (DX, DY) of master position (x, y) by blending the corners:
// along the top and bottom edges by the column, then between the two edge
// points by the line. The table's layout must have been checked.
ScenePoint blendedDisplacement(const ConjugatePointTable& table, double x, double y);
// The slave position of (x, y): blended displacement plus the adjust.
ScenePoint slavePosition(const ConjugatePointTable& table, double x, double y);

// The table from the two scenes' geometry: each master corner (first and
// last pixel and line) to the ground with the master polynomials and back
// into the slave scene with the slave's. Ready, adjust 0.
ConjugatePointTable geometricTable(const products::SceneParameters& master, const products::SceneParameters& slave);

// "Display Current Tie-Point Table".
std::string tableText(const ConjugatePointTable& table);
// What a load shows, by layout.
std::string loadedText(const ConjugatePointTable& table, CnjLayout layout);

}  // namespace tessarin::insar
