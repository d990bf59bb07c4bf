#pragma once
// CPolyMgr: the polygons a view keeps (at most 64 of at most 512 vertices,
// in global scene pixel/line), their ".ply" (pixel/line) and ".gpy"
// (latitude/longitude) files, and the sigma-naught statistics of the
// canvas pixels inside each.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/geo_types.h"
#include "tiles/tile_store.h"

namespace tessarin::display {

inline constexpr int kMaxPolygons = 64;
inline constexpr int kMaxVertices = 512;
// A closed polygon repeats its first vertex, so one slot stays for it.
inline constexpr int kMaxPicks = kMaxVertices - 1;
inline constexpr int kVertexWarning = 500;
inline constexpr std::size_t kPlyBytes = 262660;
inline constexpr std::size_t kGpyBytes = 524804;

struct PolygonVertex {
    std::int32_t x = 0;  // global scene pixel
    std::int32_t y = 0;  // global scene line
    bool operator==(const PolygonVertex&) const = default;
};

class CPolyMgr {
public:
    CPolyMgr();

    int lastPolygon() const { return lastPolygon_; }
    int polygonCount() const { return lastPolygon_ + 1; }
    // The vertices of polygon p, the closing repeat of the first included.
    std::vector<PolygonVertex> polygon(int p) const;

    // Stores the picked vertices as a closed polygon; false (with the
    // message shown) when there are too few or the table is full.
    bool closePolygon(const std::vector<PolygonVertex>& picks, const std::function<void(const std::string&)>& message);
    void deletePolygon(int index);
    void deleteAll() { lastPolygon_ = -1; }

    // The file layouts; reading parses into a new table that replaces this
    // one only when the whole file is valid (throws Error naming the field).
    std::vector<std::uint8_t> plyBytes() const;
    void readPly(const std::vector<std::uint8_t>& bytes, const std::string& path);
    std::vector<std::uint8_t> gpyBytes(const std::function<GeoPoint(double pixel, double line)>& toGeo) const;
    void readGpy(const std::vector<std::uint8_t>& bytes, const std::string& path,
                 const std::function<ScenePoint(double lat_deg, double lon_deg)>& toPixelLine);

    // "Polygon Address (...)" and one line per polygon.
    std::string listText() const;

private:
    std::vector<PolygonVertex> vertices_;  // kMaxPolygons x kMaxVertices
    std::array<std::int32_t, kMaxPolygons> lastVertex_{};
    std::array<std::int32_t, kMaxPolygons> flag_{};
    std::int32_t lastPolygon_ = -1;
};

// Pixels of a canvas whose centres lie inside a polygon (nonzero winding,
// half-open edges): for each row, the half-open column spans [x0, x1).
struct Span {
    int y, x0, x1;
};
std::vector<Span> insideSpans(const std::vector<PolygonVertex>& vertices, long long originX, long long originY,
                              int width, int height);

// The statistics of one polygon over the canvas: per channel the mean of
// the linear amplitude in dB and its "std high" (20 log10 of mean + sd),
// and beside them the power mean (10 log10 of the mean of A squared) and
// the equivalent number of looks (mean of A squared squared over its
// variance).
struct PolygonStatistics {
    int index = 0;
    long long pixels = 0;
    PolygonVertex first;
    long long firstLocalX = 0, firstLocalY = 0;
    int channels = 1;
    std::array<double, 3> meanDb{}, stdHighDb{}, powerDb{}, looks{};
};
struct CanvasSamples {
    const std::vector<std::uint16_t>* values = nullptr;  // width x height x channels
    int width = 0, height = 0, channels = 1;
    long long originX = 0, originY = 0;
    bool complex = false;    // values are 2 A + the top bit of the phase code
    double divisor = 1.0;    // amplitude scale (1 for level 1.5)
    double calib_dB = 0.0;
    int reportChannels = 1;  // channels that go into the report (1 to 3)
};
std::vector<PolygonStatistics> polygonStatistics(const CPolyMgr& polygons, const CanvasSamples& canvas);
// The report as the message and its CSV show it, and the power-mean CSV.
std::string statisticsReport(const std::vector<PolygonStatistics>& stats);
std::string powerReport(const std::vector<PolygonStatistics>& stats);

// "KX_03.KY_12" + extension.
std::string polygonFileName(int kx0, int ky0, const char* extension);

}  // namespace tessarin::display
