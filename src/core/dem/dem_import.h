#pragma once
// The DEM over a scene: which one-degree tiles lie under it (the DEM list),
// the tiles of one source copied into one table over the scene's box, and
// the height above the ellipsoid sampled from that table plus the geoid.
//
// The table is addressed by whole grid indices (latitude index = lat / step),
// so a tile sample finds its cell by integer arithmetic and never drops a
// row to rounding. Longitudes are unwrapped near the scene's centre, so a
// scene across the antimeridian keeps a table a few tiles wide.

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dem/dem_tile.h"
#include "platform/bytes.h"
#include "platform/geo_types.h"

namespace tessarin::dem {

class CGeoid;

// A scene lies within a 2 x 2 block of one-degree tiles.
inline constexpr int kMaxDemTiles = 4;
// Marks a table cell that holds no height (a void, or no tile covers it).
inline constexpr std::int16_t kNoHeight = -32768;
inline constexpr std::int16_t kAsterVoid = -9999;
// Sampled heights below this are taken as sea or fill and read as 0.
inline constexpr double kLowestHeight_m = -100.0;

inline bool isVoid(std::int16_t h) { return h == kNoHeight || h == kAsterVoid; }

// The name of the tile holding a point: its corner is the floor of the
// coordinate, the longitude reduced into -180 .. 180 (0.0 is E000, -180 and
// 180 are W180).
std::string demTileNameAt(DemSource source, double lat_deg, double lon_deg);
// The south-west corner of a tile from its name, by the character positions
// of the source's convention; empty when the name does not follow it.
struct TileCorner {
    int lat_deg = 0, lon_deg = 0;
};
std::optional<TileCorner> demTileCorner(DemSource source, const std::string& name);
// The source a file name follows, recognised by its pattern; empty for
// other names.
std::optional<DemSource> demSourceOfName(const std::string& fileName);

struct DemListTile {
    std::string name;
    int southLat_deg = 0;
    int westLon_deg = 0;  // unwrapped near the scene centre (may be 180 or -181)
};

// The tiles under a scene and the box the table spans, in whole grid steps.
struct DemList {
    DemSource source = DemSource::Srtm3;
    int samples = kSrtm3Samples;  // per tile side
    std::vector<DemListTile> tiles;
    double minLat_deg = 0, maxLat_deg = 0, minLon_deg = 0, maxLon_deg = 0;  // of the scene samples
    // Table row 0 lies at northIndex steps, column 0 at westIndex steps.
    long long northIndex = 0, westIndex = 0;
    int rows = 0, columns = 0;

    double step_deg() const { return 1.0 / (samples - 1); }
    double north_deg() const { return static_cast<double>(northIndex) * step_deg(); }
    double west_deg() const { return static_cast<double>(westIndex) * step_deg(); }
};

// The position of a scene pixel/line on the ground.
using SceneToGround = std::function<GeoPoint(double pixel, double line)>;

// Samples the scene every 100 pixels and lines, 100 beyond each edge, names
// the tiles and snaps the box outward with one spare row and column. Throws
// Error when the scene needs more than four tiles.
DemList buildDemList(DemSource source, int pixels, int lines, const SceneToGround& toGround);
// The same for a box (the console's points, tests); samples 0 takes the
// source's tile size.
DemList demListForBox(DemSource source, double minLat_deg, double maxLat_deg, double minLon_deg,
                      double maxLon_deg, int samples = 0);

// "DEMLIST\n  Number of DEM=..." as the list is shown.
std::string demListMessage(const DemList& list);

// A tile's bytes as stored: side x side int16 in a byte order. The buffer
// is reused from tile to tile.
struct TileBytes {
    std::vector<std::uint8_t> bytes;
    ByteOrder order = ByteOrder::Big;
    int side = 0;
};

// Large tables are allocated on 2 MB boundaries and offered to the kernel
// as huge pages: a table of four arc-second tiles is 100 MB, and touching it
// page by page costs more than reading the tiles.
template <class T>
struct HugePageAllocator {
    using value_type = T;
    HugePageAllocator() = default;
    template <class U>
    HugePageAllocator(const HugePageAllocator<U>&) {}
    T* allocate(std::size_t n);
    void deallocate(T* p, std::size_t) { std::free(p); }
    // Cells are left as they come: the import writes or fills every one.
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    friend bool operator==(const HugePageAllocator&, const HugePageAllocator&) { return true; }
};

// The heights of the list's box, row 0 at the north edge.
class DemTable {
public:
    DemTable() = default;
    // Every cell starts as kNoHeight.
    explicit DemTable(const DemList& list);
    // Cells start undefined; after the tiles are placed, fillUnplaced()
    // marks the rest kNoHeight (the import's way: no cell written twice).
    static DemTable unfilled(const DemList& list);
    void fillUnplaced();

    int rows() const { return rows_; }
    int columns() const { return columns_; }
    std::int16_t at(int row, int column) const {
        return cells_[static_cast<std::size_t>(row) * static_cast<std::size_t>(columns_) +
                      static_cast<std::size_t>(column)];
    }
    using Cells = std::vector<std::int16_t, HugePageAllocator<std::int16_t>>;
    const Cells& cells() const { return cells_; }

    // Copies the samples of a tile that fall in the box. A tile finer than
    // the list by a whole factor (a 3601-sample ".hgt" under SRTM-3) gives
    // every factor-th sample; any other size is refused.
    void place(const DemTile& tile, int westLon_deg);
    void place(const TileBytes& tile, int southLat_deg, int westLon_deg);

    // Bilinear height above the geoid (m) over the valid corners only,
    // renormalised; 0 when all four are voids or the result is below -100 m.
    // Outside the table the edge value.
    double heightAboveGeoid(double lat_deg, double lon_deg) const;

private:
    template <class Sample>
    void placeSamples(int n, int southLat_deg, int westLon_deg, Sample sample);
    DemTable(const DemList& list, bool fill);

    struct Placed {
        long long firstRow, lastRow, firstColumn, lastColumn;
    };
    std::vector<Placed> placed_;
    int samples_ = 0;
    long long northIndex_ = 0, westIndex_ = 0;
    double step_ = 1.0;
    double refLon_ = 0.0;  // longitudes are unwrapped within half a turn of it
    int rows_ = 0, columns_ = 0;
    Cells cells_;
};

// The file of a listed tile in the DEM folder. Under SRTM-1 a ".hgt" of
// the same tile is taken when the ".bil" is absent. Empty when neither is
// there.
std::string findTileFile(const std::string& folder, DemSource source, const DemListTile& tile);

void readTileBytes(const std::string& path, DemSource source, TileBytes& into);

// Reads a tile file as the import does: by its name's convention and its
// size (an ".hgt" is sized by its length; a ".bil" follows its ".hdr").
DemTile readTileFile(const std::string& path, DemSource source, int southLat_deg, int westLon_deg);

// Reads every listed tile from the folder into a table.
DemTable importDem(const DemList& list, const std::string& folder);

// DEM height plus undulation: the height above the ellipsoid (m).
double ellipsoidHeight(const DemTable& table, const CGeoid& geoid, double lat_deg, double lon_deg);

// The "DemTable" heights of a frame: width x height heights above the
// ellipsoid, rounded to whole metres, of the global pixels from (left, top);
// onRow is told each row before it is made.
void fillDemTableGrid(const DemTable& table, const CGeoid& geoid, const SceneToGround& toGround, long long left,
                      long long top, int width, int height, std::vector<std::int16_t>& grid,
                      const std::function<void(int row)>& onRow = {});

// Rounds a height to whole metres, negative ones too (-19.7 gives -20).
std::int16_t roundHeight(double h_m);

}  // namespace tessarin::dem
