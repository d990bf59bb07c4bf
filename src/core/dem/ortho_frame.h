#pragma once
// The ortho frame: one view frame (2 x 2 tiles) resampled onto a north-up
// latitude/longitude grid, every output pixel taking the sample that its
// ground point's terrain height displaced in radar geometry.
//
// Two ways to find the displacement:
//  - table-driven: the satellite-to-ground mapping table gives, at the
//    image position of the output pixel, the direction in which a rise of
//    the ground moves the image (the sensitivity vector) and the incidence;
//  - profile-driven: an incidence profile along the frame's middle line, the
//    displacement along the pixel direction only.
// In both, the displacement in image units is Z = h / (tan(theta) g), with g
// the ground metres of one image step along the displacement direction as
// the product's own latitude/longitude polynomials give it: on a ground-range
// product that is pixsz, on a slant-range one pixsz / sin(theta), so that
// Z = h cos(theta) / pixsz there. The product level is never consulted.
//
// Output pixel (j, i) stands for the cell whose centre lies at latitude
// north - (j + 0.5) dphi, longitude west + (i + 0.5) dphi; it is sampled
// there. Pixels whose source lies outside the frame band, outside the scene,
// or whose geometry cannot be worked out (non-finite table nodes, a zero
// sensitivity, a degenerate cell) are transparent; the failures are counted
// and the first one's text kept, one message per frame.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/geo_types.h"
#include "products/scene_parameters.h"

namespace tessarin {
class Ui;
}
namespace tessarin::document {
class CTessarinDoc;
}
namespace tessarin::geometry {
class MappingTable;
class CellIndex;
}

namespace tessarin::dem {

class DemTable;
class CGeoid;

enum class OrthoVariant {
    TableDriven,    // mapping-table cell, displacement along the sensitivity vector
    ProfileDriven,  // incidence profile, displacement along the pixel direction
};

// How the table cell of an image position is found. Both give the same cell
// on a regular table; Plain is the reference the benchmark compares with.
enum class CellSearch {
    Seeded,  // from the neighbouring pixel's cell (the first of a row: the nearest-cell index)
    Plain,   // the bracket search from the table's middle row and first column for every pixel
};

// Frame sizes of the usual tile size.
inline constexpr int kOrthoFrameSize = 2048;        // 2 x 1024
inline constexpr int kOrthoBandMargin = 100;        // lines read above and below the frame
inline constexpr int kOrthoReferenceShift = 3;      // p0 = x0 - 3 when the band reaches left
inline constexpr int kTableCornerReach = 3;         // table-driven corners at +frame + 3
inline constexpr long long kMaxOrthoCells = 100000000;  // rows x columns

// One frame to convert.
struct OrthoFrameRequest {
    long long x0 = 0, y0 = 0;          // global pixel/line of the frame's top-left sample
    int width = kOrthoFrameSize;       // frame width (2 tile widths)
    int height = kOrthoFrameSize;      // frame height (2 tile heights)
    OrthoVariant variant = OrthoVariant::TableDriven;
    CellSearch search = CellSearch::Seeded;
    int threads = 0;                   // worker threads for the rows; 0: the machine's cores

    // The frame of the 2 x 2 tiles from tile (kx, ky).
    static OrthoFrameRequest ofTiles(int kx, int ky, int tpix, int tlin, OrthoVariant variant) {
        OrthoFrameRequest r;
        r.x0 = static_cast<long long>(kx) * tpix;
        r.y0 = static_cast<long long>(ky) * tlin;
        r.width = 2 * tpix;
        r.height = 2 * tlin;
        r.variant = variant;
        return r;
    }
};

// A latitude/longitude box (degrees). East may exceed 180 when the box runs
// across the antimeridian (east > west always).
struct GeoBox {
    double north_deg = 0.0, south_deg = 0.0, west_deg = 0.0, east_deg = 0.0;
};

// The output grid of a frame.
struct OrthoGrid {
    // Reference position: p0 = x0, or x0 - 3 when the band reaches left of
    // the frame (terrain displaces toward smaller pixels); l0 = y0. The
    // shift only widens the grid; samples are never moved by it.
    long long p0 = 0, l0 = 0;
    // The corners: (p0, l0), (p0 + E, l0), (p0, l0 + E), (p0 + E, l0 + E)
    // with E = width + 3 (table-driven) or width (profile-driven).
    GeoPoint corners[4];
    GeoBox cornerBox;      // north/south/west/east of the four corners
    double dphi_deg = 0.0; // top-edge length (cos of the latitude in radians) / width
    int rows = 0;          // int((north - south) / dphi)
    int columns = 0;       // int((east - west) / dphi)

    // The area the rows x columns pixels cover: north, north - rows dphi,
    // west, west + columns dphi. The image is placed with this box.
    GeoBox gridBox() const {
        return {cornerBox.north_deg, cornerBox.north_deg - rows * dphi_deg, cornerBox.west_deg,
                cornerBox.west_deg + columns * dphi_deg};
    }
    // Centre of output pixel (row j, column i); the longitude may exceed 180.
    GeoPoint pixelCentre(int j, int i) const {
        return {cornerBox.north_deg - (j + 0.5) * dphi_deg, cornerBox.west_deg + (i + 0.5) * dphi_deg};
    }
};

// The converted frame, in memory. Row 0 is the northernmost, rows are
// stored one after the other, columns west to east.
struct OrthoImage {
    OrthoGrid grid;
    // rows x columns x 3 unsigned 16-bit values (channel 0, 1, 2 per pixel):
    // the source samples as stored (an amplitude TileSet's numbers, a complex
    // TileSet's amplitude code word >> 9); one channel gives (v, v, v).
    std::vector<std::uint16_t> rgb;
    // rows x columns: 255 where the pixel holds a source sample, 0 where it
    // is transparent.
    std::vector<std::uint8_t> alpha;
    // Pixels made transparent because their geometry failed (outside the
    // band or the scene is not a failure), and the first failure's text
    // ("Address error at ...", "divide error at ...", "error at ...").
    long long errorCount = 0;
    std::string firstError;
    int channels = 1;  // of the source

    // The one message of a frame with failures; empty without.
    std::string errorMessage() const;
};

// The work files of a converted frame in a document's work folder. The
// names carry the process and the document, so two documents never write
// over each other's; both are deleted when the document closes.
//  "ortho": rows x columns x 3 unsigned 16-bit little-endian values, row 0 north,
//  "alpha": rows x columns bytes, 0 transparent, 255 opaque.
struct OrthoWorkFiles {
    std::string ortho;
    std::string alpha;
    OrthoGrid grid;
};

// ---- the pieces, for tests and for callers with their own sources

// The source samples of a frame band: channels x width x height unsigned
// 16-bit values, channel-interleaved per sample, sample (0, 0) at global
// (originX, originY); `present` marks samples inside the scene (one byte
// per sample, 0 where the band reaches beyond the image).
struct OrthoSource {
    long long originX = 0, originY = 0;
    int width = 0, height = 0, channels = 1;
    std::vector<std::uint16_t> values;
    std::vector<std::uint8_t> present;
};

// The height above the ellipsoid (m) at a point: DEM plus geoid, voids 0.
using HeightAt = std::function<double(double lat_deg, double lon_deg)>;
HeightAt demHeightSampler(const DemTable& table, const CGeoid& geoid);

// What a frame's conversion needs besides its source.
struct OrthoInputs {
    const products::SceneParameters* scene = nullptr;  // polynomials, pixsz, orbit, incidence
    const geometry::MappingTable* table = nullptr;     // table-driven variant only
    const geometry::CellIndex* cellIndex = nullptr;    // seeds the cell search; built when null
    HeightAt height;
};

// Whether terrain displaces this frame's samples toward smaller pixel
// numbers (then the band reaches one frame width left of the frame and
// p0 = x0 - 3).
bool displacesTowardSmallerPixels(const OrthoInputs& in, const OrthoFrameRequest& frame);

// The output grid alone. Throws Error when the grid would exceed
// kMaxOrthoCells or the corners cannot be placed.
OrthoGrid orthoGrid(const products::SceneParameters& scene, const OrthoFrameRequest& frame, bool reachesLeft);

// The global columns and lines of the band a frame reads: width 2 x frame
// width, from x0 - width when it reaches left, else from x0; lines from
// y0 - 100 to y0 + height + 100.
struct BandBox {
    long long originX = 0, originY = 0;
    int width = 0, height = 0;
};
BandBox orthoBand(const OrthoFrameRequest& frame, bool reachesLeft);

// Converts one frame from its band. Row-parallel; the result does not depend
// on the number of threads. Throws Error for a grid beyond the cap, a
// table-driven request without a table, or a source that is not the band.
OrthoImage orthoFrame(const OrthoInputs& in, const OrthoSource& band, const OrthoFrameRequest& frame,
                      Ui* ui = nullptr);

// ---- for a document

// The variant the document's open mode calls for: profile-driven for
// single complex products, complex TileSets and interferometric products,
// table-driven otherwise.
OrthoVariant orthoVariantFor(const document::CTessarinDoc& doc);

// The band of a frame from the document's TileSet: amplitude TileSets give
// their numbers as stored, complex ones the amplitude code (word >> 9).
// Throws Error for documents without a single TileSet.
OrthoSource readOrthoBand(const document::CTessarinDoc& doc, const BandBox& box);

// Converts the frame of a document: checks that the DEM is imported ("ASTER
// dem import is not ready yet" thrown as Error otherwise), builds the
// mapping table once per document when the variant needs it, reads the band
// from the document's TileSet once, converts, and shows the frame's error
// message when pixels failed. Status texts "j=%d of %d" for the first and
// the last row.
OrthoImage orthoFrameOfDocument(document::CTessarinDoc& doc, const OrthoFrameRequest& frame, Ui& ui);

// The same with the band read by the caller: documents whose samples are
// not a single TileSet (a pair's working area with its amplitude, fringe
// and coherence planes) hand their own planes to the same conversion.
// Every plane is sampled at the nearest source position, never blended, so
// codes such as the fringe's phase come through unchanged.
using BandReader = std::function<OrthoSource(const BandBox&)>;
OrthoImage orthoFrameOfDocument(document::CTessarinDoc& doc, const OrthoFrameRequest& frame, Ui& ui,
                                const BandReader& readBand);

// Writes a converted frame as the document's "ortho" and "alpha" work files
// (replacing earlier ones) and records them for deletion on close.
OrthoWorkFiles writeOrthoWorkFiles(document::CTessarinDoc& doc, const OrthoImage& image);

// Writes a converted frame as a GeoTIFF (geographic WGS84, placed on the
// grid box): three 16-bit channels and a 16-bit alpha, 65535 where the
// pixel is opaque. Replaces the file whole; throws Error on failure.
void writeOrthoGeoTiff(const std::string& path, const OrthoImage& image);

}  // namespace tessarin::dem
