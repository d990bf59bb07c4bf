#include "dem/dem_import.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#if defined(__linux__)
#include <sys/mman.h>
#endif
#include <limits>
#include <set>
#include <utility>

#include "dem/geoid.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"

namespace tessarin::dem {

namespace {

// The scene is sampled on this pitch, and this far beyond its edges.
constexpr int kScenePitch = 100;
constexpr int kSceneBeyond = 100;

double nearReference(double lon_deg, double reference_deg) {
    return lon_deg - 360.0 * std::round((lon_deg - reference_deg) / 360.0);
}

int cornerLatitude(double lat_deg) { return std::clamp(static_cast<int>(std::floor(lat_deg)), -90, 89); }

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::optional<int> digits(const std::string& s, std::size_t at, std::size_t count) {
    if (at + count > s.size()) return std::nullopt;
    int v = 0;
    for (std::size_t k = at; k < at + count; ++k) {
        if (s[k] < '0' || s[k] > '9') return std::nullopt;
        v = v * 10 + (s[k] - '0');
    }
    return v;
}

// Fills the box fields from the scene's extent: snapped outward to whole
// steps, with one spare row and column on every side.
void snapBox(DemList& list) {
    const double cells = list.samples - 1;  // steps per degree
    const auto north = static_cast<long long>(std::ceil(list.maxLat_deg * cells)) + 1;
    const auto south = static_cast<long long>(std::floor(list.minLat_deg * cells)) - 1;
    const auto west = static_cast<long long>(std::floor(list.minLon_deg * cells)) - 1;
    const auto east = static_cast<long long>(std::ceil(list.maxLon_deg * cells)) + 1;
    list.northIndex = north;
    list.westIndex = west;
    list.rows = static_cast<int>(north - south + 1);
    list.columns = static_cast<int>(east - west + 1);
}

DemList listFromPoints(DemSource source, int samples, const std::vector<GeoPoint>& points, double referenceLon_deg) {
    DemList list;
    list.source = source;
    list.samples = samples;
    list.minLat_deg = 100.0, list.maxLat_deg = -100.0;
    list.minLon_deg = 1e9, list.maxLon_deg = -1e9;
    std::vector<std::pair<int, int>> corners;
    for (const GeoPoint& g : points) {
        if (!std::isfinite(g.lat_deg) || !std::isfinite(g.lon_deg) || std::fabs(g.lat_deg) > 90.0)
            throw Error(format("The scene's position %g, %g is no latitude and longitude: no DEM tiles can be listed",
                               g.lat_deg, g.lon_deg));
        const double lon = nearReference(g.lon_deg, referenceLon_deg);
        const std::pair<int, int> corner{cornerLatitude(g.lat_deg), static_cast<int>(std::floor(lon))};
        if (std::find(corners.begin(), corners.end(), corner) == corners.end()) corners.push_back(corner);
        list.minLat_deg = std::min(list.minLat_deg, g.lat_deg), list.maxLat_deg = std::max(list.maxLat_deg, g.lat_deg);
        list.minLon_deg = std::min(list.minLon_deg, lon), list.maxLon_deg = std::max(list.maxLon_deg, lon);
    }
    if (corners.size() > static_cast<std::size_t>(kMaxDemTiles))
        throw Error(format("The scene needs %zu DEM tiles; a DEM list holds at most %d (the scene must lie within "
                           "2 x 2 one-degree tiles)",
                           corners.size(), kMaxDemTiles));
    for (const auto& [lat, lon] : corners)
        list.tiles.push_back({demTileName(source, lat, wrapTileLongitude_deg(lon)), lat, lon});
    snapBox(list);
    return list;
}

}  // namespace

std::string demTileNameAt(DemSource source, double lat_deg, double lon_deg) {
    if (!std::isfinite(lat_deg) || !std::isfinite(lon_deg)) throw Error("a DEM tile is named after a finite position");
    // The floor, not truncation: 0.0 is E000 and -0.5 is W001; 180 and 360
    // wrap to W180 and E000.
    const double lon = nearReference(lon_deg, 0.0);  // bounded before it becomes an int
    return demTileName(source, cornerLatitude(lat_deg), wrapTileLongitude_deg(static_cast<int>(std::floor(lon))));
}

std::optional<TileCorner> demTileCorner(DemSource source, const std::string& name) {
    std::size_t latAt = 1, lonAt = 4, latSign = 0, lonSign = 3;
    char south = 'S', west = 'W', north = 'N', east = 'E';
    std::string prefix, suffix = ".hgt";
    if (source == DemSource::Aster) {
        latAt = 9, lonAt = 12, latSign = 8, lonSign = 11, prefix = "ASTGTM2_", suffix = "_dem.tif";
    } else if (source == DemSource::Srtm1) {
        latAt = 1, lonAt = 5, latSign = 0, lonSign = 4, suffix = "_1arc_v3.bil";
        south = 's', west = 'w', north = 'n', east = 'e';
    }
    if (name.compare(0, prefix.size(), prefix) != 0 || !endsWith(name, suffix) ||
        name.size() != lonAt + 3 + suffix.size())
        return std::nullopt;
    const auto lat = digits(name, latAt, 2), lon = digits(name, lonAt, 3);
    const char ls = name[latSign], os = name[lonSign];
    if (!lat || !lon || (ls != south && ls != north) || (os != west && os != east)) return std::nullopt;
    if (source == DemSource::Srtm1 && (name[3] != '_')) return std::nullopt;
    return TileCorner{ls == south ? -*lat : *lat, os == west ? -*lon : *lon};
}

std::optional<DemSource> demSourceOfName(const std::string& fileName) {
    for (DemSource s : kDemSources)
        if (demTileCorner(s, fileName)) return s;
    return std::nullopt;
}

DemList buildDemList(DemSource source, int pixels, int lines, const SceneToGround& toGround) {
    std::vector<GeoPoint> points;
    for (int line = -kSceneBeyond; line < lines + 2 * kSceneBeyond; line += kScenePitch)
        for (int pixel = -kSceneBeyond; pixel < pixels + 2 * kSceneBeyond; pixel += kScenePitch)
            points.push_back(toGround(pixel, line));
    const double reference = toGround(0.5 * pixels, 0.5 * lines).lon_deg;
    return listFromPoints(source, demTileSamples(source), points, reference);
}

DemList demListForBox(DemSource source, double minLat_deg, double maxLat_deg, double minLon_deg,
                      double maxLon_deg, int samples) {
    // West first: a box from 179.5 to -179.5 runs east across 180 degrees.
    const double reference = minLon_deg;
    const double east = nearReference(maxLon_deg, reference);
    // The corners and every whole degree between them name the tiles.
    auto stops = [](double from, double to) {
        std::vector<double> v{from};
        for (double d = std::floor(from) + 1.0; d < to && v.size() < 400; d += 1.0) v.push_back(d);
        v.push_back(to);
        return v;
    };
    std::vector<GeoPoint> points;
    for (const double lat : stops(minLat_deg, maxLat_deg))
        for (const double lon : stops(minLon_deg, std::max(east, minLon_deg))) points.push_back({lat, lon});
    return listFromPoints(source, samples > 0 ? samples : demTileSamples(source), points, reference);
}

std::string demListMessage(const DemList& list) {
    std::string text = format("DEMLIST\n  Number of DEM=%d\n", static_cast<int>(list.tiles.size()));
    for (std::size_t k = 0; k < list.tiles.size(); ++k)
        text += format("ID=%d   ", static_cast<int>(k)) + list.tiles[k].name + "\n";
    return text + "Geoid: WW15MGH.DAC";
}

// ---- the table

template <class T>
T* HugePageAllocator<T>::allocate(std::size_t n) {
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kHugePage) {
        void* p = std::malloc(bytes > 0 ? bytes : 1);
        if (!p) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void* p = std::aligned_alloc(kHugePage, (bytes + kHugePage - 1) / kHugePage * kHugePage);
    if (!p) throw std::bad_alloc();
#if defined(MADV_HUGEPAGE)
    ::madvise(p, bytes, MADV_HUGEPAGE);  // a hint only: without it the table is merely slower to fill
#endif
    return static_cast<T*>(p);
}
template struct HugePageAllocator<std::int16_t>;

DemTable::DemTable(const DemList& list) : DemTable(list, true) {}

DemTable DemTable::unfilled(const DemList& list) { return DemTable(list, false); }

DemTable::DemTable(const DemList& list, bool fill)
    : samples_(list.samples),
      northIndex_(list.northIndex),
      westIndex_(list.westIndex),
      step_(list.step_deg()),
      refLon_(0.5 * (list.minLon_deg + list.maxLon_deg)),
      rows_(list.rows),
      columns_(list.columns) {
    // A scene of a few tiles is a few tens of millions of cells; anything
    // far beyond is a broken list, not a scene.
    constexpr long long kMaxCells = 4LL * kArcSecondSamples * kArcSecondSamples * 4;
    if (rows_ < 2 || columns_ < 2 || static_cast<long long>(rows_) * columns_ > kMaxCells)
        throw Error(format("A DEM table of %d x %d cells is refused", rows_, columns_));
    cells_.resize(static_cast<std::size_t>(rows_) * static_cast<std::size_t>(columns_));
    if (fill) std::fill(cells_.begin(), cells_.end(), kNoHeight);
    else placed_.reserve(kMaxDemTiles);
}

void DemTable::fillUnplaced() {
    std::vector<std::pair<long long, long long>> spans;
    for (long long r = 0; r < rows_; ++r) {
        spans.clear();
        for (const Placed& p : placed_)
            if (r >= p.firstRow && r <= p.lastRow) spans.emplace_back(p.firstColumn, p.lastColumn);
        std::sort(spans.begin(), spans.end());
        std::int16_t* row = cells_.data() + r * columns_;
        long long next = 0;  // the first column not yet known to be written
        for (const auto& [first, last] : spans) {
            if (first > next) std::fill(row + next, row + first, kNoHeight);
            next = std::max(next, last + 1);
        }
        if (next < columns_) std::fill(row + next, row + columns_, kNoHeight);
    }
    placed_.clear();
}

template <class Sample>
void DemTable::placeSamples(int n, int southLat_deg, int westLon_deg, Sample sample) {
    const int cells = samples_ - 1;
    if (n < 2 || (n - 1) % cells != 0)
        throw Error(format("A DEM tile of %d x %d samples cannot be read into a table of %d samples per degree", n,
                           n, cells));
    const int factor = (n - 1) / cells;
    // Tile row k lies at latitude index (south + 1) * cells - k / factor.
    const long long top = static_cast<long long>(southLat_deg + 1) * cells;
    const long long left = static_cast<long long>(westLon_deg) * cells;
    const long long firstRow = std::max(0LL, northIndex_ - top);
    const long long lastRow = std::min<long long>(rows_ - 1, northIndex_ - (top - cells));
    const long long firstColumn = std::max(0LL, left - westIndex_);
    const long long lastColumn = std::min<long long>(columns_ - 1, left + cells - westIndex_);
    if (firstRow <= lastRow && firstColumn <= lastColumn) placed_.push_back({firstRow, lastRow, firstColumn, lastColumn});
    for (long long r = firstRow; r <= lastRow; ++r) {
        const std::size_t from = static_cast<std::size_t>((r - (northIndex_ - top)) * factor * n);
        std::int16_t* to = cells_.data() + r * columns_;
        if (factor == 1) {
            // The common case, kept to a contiguous loop the compiler vectorises.
            const std::size_t first = from + static_cast<std::size_t>(firstColumn + westIndex_ - left);
            const long long count = lastColumn - firstColumn + 1;
            std::int16_t* out = to + firstColumn;
            for (long long k = 0; k < count; ++k) {
                const std::int16_t h = sample(first + static_cast<std::size_t>(k));
                out[k] = isVoid(h) ? kNoHeight : h;
            }
            continue;
        }
        for (long long c = firstColumn; c <= lastColumn; ++c) {
            const std::int16_t h = sample(from + static_cast<std::size_t>((c + westIndex_ - left) * factor));
            to[c] = isVoid(h) ? kNoHeight : h;
        }
    }
}

void DemTable::place(const DemTile& tile, int westLon_deg) {
    const std::int16_t* h = tile.heights_m.data();
    placeSamples(tile.samples(), tile.southLat_deg, westLon_deg, [h](std::size_t k) { return h[k]; });
}

void DemTable::place(const TileBytes& tile, int southLat_deg, int westLon_deg) {
    const std::uint8_t* b = tile.bytes.data();
    if (tile.order == ByteOrder::Big)
        placeSamples(tile.side, southLat_deg, westLon_deg, [b](std::size_t k) {
            return static_cast<std::int16_t>(static_cast<std::uint16_t>(b[2 * k] << 8 | b[2 * k + 1]));
        });
    else
        placeSamples(tile.side, southLat_deg, westLon_deg, [b](std::size_t k) {
            return static_cast<std::int16_t>(static_cast<std::uint16_t>(b[2 * k] | b[2 * k + 1] << 8));
        });
}

double DemTable::heightAboveGeoid(double lat_deg, double lon_deg) const {
    // A position the scene's polynomials cannot give has no height.
    if (cells_.empty() || !std::isfinite(lat_deg) || !std::isfinite(lon_deg)) return 0.0;
    const double lon = nearReference(lon_deg, refLon_);
    const double x = std::clamp((lon - static_cast<double>(westIndex_) * step_) / step_, 0.0, columns_ - 1.0);
    const double y = std::clamp((static_cast<double>(northIndex_) * step_ - lat_deg) / step_, 0.0, rows_ - 1.0);
    const int i = std::min(static_cast<int>(x), columns_ - 2), j = std::min(static_cast<int>(y), rows_ - 2);
    const double u = x - i, v = y - j;
    const double weights[4] = {(1 - u) * (1 - v), u * (1 - v), (1 - u) * v, u * v};
    const std::int16_t values[4] = {at(j, i), at(j, i + 1), at(j + 1, i), at(j + 1, i + 1)};
    double sum = 0.0, weight = 0.0;
    for (int k = 0; k < 4; ++k)
        if (values[k] != kNoHeight) sum += weights[k] * values[k], weight += weights[k];
    if (weight <= 0.0) {
        // Exactly on a valid node's far side the weights of the valid
        // corners may all be zero: take the nearest valid corner then.
        bool any = false;
        double best = 2.0;
        for (int k = 0; k < 4; ++k) {
            if (values[k] == kNoHeight) continue;
            const double d = std::abs((k & 1) - u) + std::abs((k >> 1) - v);
            if (d < best) best = d, sum = values[k], any = true;
        }
        if (!any) return 0.0;
        weight = 1.0;
    }
    const double h = sum / weight;
    return h < kLowestHeight_m ? 0.0 : h;
}

// ---- files

std::string findTileFile(const std::string& folder, DemSource source, const DemListTile& tile) {
    const std::string path = joinPath(folder, tile.name);
    if (fileExists(path)) return path;
    if (source == DemSource::Srtm1) {
        const std::string hgt =
            joinPath(folder, demTileName(DemSource::Srtm3, tile.southLat_deg, wrapTileLongitude_deg(tile.westLon_deg)));
        // Only an SRTMGL1 ".hgt" (3601 x 3601) stands in for the ".bil".
        const auto file = File::tryOpen(hgt, File::Mode::Read);
        constexpr std::uint64_t kArcSecondBytes = std::uint64_t{kArcSecondSamples} * kArcSecondSamples * 2;
        if (file && file->size() == kArcSecondBytes) return hgt;
    }
    return {};
}

DemTable importDem(const DemList& list, const std::string& folder) {
    DemTable table = DemTable::unfilled(list);
    TileBytes buffer;  // one tile at a time, decoded straight into the table
    for (const DemListTile& t : list.tiles) {
        const std::string path = findTileFile(folder, list.source, t);
        if (path.empty()) throw Error(format("The DEM tile \"%s\" is not in \"%s\"", t.name.c_str(), folder.c_str()));
        readTileBytes(path, list.source, buffer);
        table.place(buffer, t.southLat_deg, t.westLon_deg);
    }
    table.fillUnplaced();
    return table;
}

double ellipsoidHeight(const DemTable& table, const CGeoid& geoid, double lat_deg, double lon_deg) {
    return table.heightAboveGeoid(lat_deg, lon_deg) + geoid.undulation(lat_deg, lon_deg);
}

void fillDemTableGrid(const DemTable& table, const CGeoid& geoid, const SceneToGround& toGround, long long left,
                      long long top, int width, int height, std::vector<std::int16_t>& grid,
                      const std::function<void(int row)>& onRow) {
    const std::size_t cells = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (grid.size() != cells) grid.assign(cells, 0);
    for (int r = 0; r < height; ++r) {
        if (onRow) onRow(r);
        std::int16_t* row = grid.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(width);
        for (int c = 0; c < width; ++c) {
            const GeoPoint g = toGround(static_cast<double>(left + c), static_cast<double>(top + r));
            row[c] = roundHeight(ellipsoidHeight(table, geoid, g.lat_deg, g.lon_deg));
        }
    }
}

std::int16_t roundHeight(double h_m) {
    if (!std::isfinite(h_m)) return 0;
    const double r = std::floor(h_m + 0.5);
    return static_cast<std::int16_t>(std::clamp(r, -32767.0, 32767.0));
}

}  // namespace tessarin::dem
