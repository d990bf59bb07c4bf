// The ortho frame of a document: its DEM, its mapping table (built once, on
// the first table-driven frame), the band read from its TileSet, and the
// "ortho" and "alpha" work files.

#include <unistd.h>

#include <atomic>
#include <memory>

#include "dem/dem_state.h"
#include "dem/ortho_frame.h"
#include "dem/ortho_state.h"
#include "document/tessarin_doc.h"
#include "geometry/mapping_table.h"
#include "geometry/ortho_matrix.h"
#include "geometry/scene_geometry.h"
#include "imagefiles/tif_gen.h"
#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "tiles/tile_store.h"

namespace tessarin::dem {

namespace {

std::atomic<int> documentSerial{0};

}  // namespace

OrthoState::OrthoState() = default;
OrthoState::~OrthoState() = default;

void OrthoState::close() {
    for (const std::string* p : {&orthoPath, &alphaPath})
        if (!p->empty()) removeFile(*p);
}

const std::string& OrthoState::workSuffix() {
    if (suffix.empty()) suffix = format("-%ld-%d", static_cast<long>(::getpid()), ++documentSerial);
    return suffix;
}

void OrthoState::ensureTable(const products::SceneParameters& scene, Ui& ui) {
    if (table) return;
    auto built = std::make_unique<geometry::MappingTable>();
    const geometry::SceneGeometry geometry = geometry::sceneGeometry(scene);
    geometry::buildMappingTable(scene, geometry, *built, ui);
    index = std::make_unique<geometry::CellIndex>(*built);
    table = std::move(built);
}

OrthoVariant orthoVariantFor(const document::CTessarinDoc& doc) {
    return doc.openModeRow().profileOrtho ? OrthoVariant::ProfileDriven : OrthoVariant::TableDriven;
}

OrthoSource readOrthoBand(const document::CTessarinDoc& doc, const BandBox& box) {
    const tiles::TileGrid& grid = doc.grid();
    const tiles::TileKind kind = doc.tileKind();
    const std::string& path = doc.tileNames().tile;
    if (path.empty() || grid.ntx <= 0 || grid.nty <= 0)
        throw Error("The ortho conversion needs the document's TileSet; none is open.");
    if (doc.openModeRow().threeChannelCanvas)
        throw Error("The ortho conversion takes single TileSets; this document's colour canvas cannot be read "
                    "for it.");
    OrthoSource band;
    band.originX = box.originX;
    band.originY = box.originY;
    band.width = box.width;
    band.height = box.height;
    band.channels = 1;
    const std::size_t samples = static_cast<std::size_t>(box.width) * static_cast<std::size_t>(box.height);
    band.values.assign(samples, 0);
    band.present.assign(samples, 0);

    File file(path, File::Mode::Read);
    std::vector<std::uint8_t> tile(grid.tileBytes(kind));
    const long long tx0 = std::max<long long>(0, box.originX / grid.tpix - 1);
    const long long ty0 = std::max<long long>(0, box.originY / grid.tlin - 1);
    for (long long ky = ty0; ky < grid.nty; ++ky) {
        const long long top = ky * grid.tlin;
        if (top >= box.originY + box.height) break;
        if (top + grid.tlin <= box.originY) continue;
        for (long long kx = tx0; kx < grid.ntx; ++kx) {
            const long long left = kx * grid.tpix;
            if (left >= box.originX + box.width) break;
            if (left + grid.tpix <= box.originX) continue;
            readTile(file, grid, static_cast<int>(kx), static_cast<int>(ky), kind, tile);
            const long long y0 = std::max(top, box.originY);
            const long long y1 = std::min({top + grid.tlin, box.originY + box.height, static_cast<long long>(grid.line)});
            const long long x0 = std::max(left, box.originX);
            const long long x1 = std::min({left + grid.tpix, box.originX + box.width, static_cast<long long>(grid.pixel)});
            for (long long y = y0; y < y1; ++y) {
                const std::size_t row = static_cast<std::size_t>(y - box.originY) * static_cast<std::size_t>(box.width);
                const std::size_t inTile = static_cast<std::size_t>(y - top) * static_cast<std::size_t>(grid.tpix);
                for (long long x = x0; x < x1; ++x) {
                    const std::size_t k = row + static_cast<std::size_t>(x - box.originX);
                    const std::size_t t = inTile + static_cast<std::size_t>(x - left);
                    std::uint16_t v;
                    if (kind == tiles::TileKind::Complex) {
                        // The amplitude code of the packed word (word >> 9).
                        const std::uint8_t* p = tile.data() + 3 * t;
                        v = static_cast<std::uint16_t>(tiles::amplitudeCode(tiles::loadPacked(p)));
                    } else {
                        const std::uint8_t* p = tile.data() + 2 * t;
                        v = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
                    }
                    band.values[k] = v;
                    band.present[k] = 1;
                }
            }
        }
    }
    return band;
}

OrthoImage orthoFrameOfDocument(document::CTessarinDoc& doc, const OrthoFrameRequest& frame, Ui& ui) {
    return orthoFrameOfDocument(doc, frame, ui, [&doc](const BandBox& box) { return readOrthoBand(doc, box); });
}

OrthoImage orthoFrameOfDocument(document::CTessarinDoc& doc, const OrthoFrameRequest& frame, Ui& ui,
                                const BandReader& readBand) {
    auto& dem = doc.moduleState<DemState>();
    if (!dem.imported) throw Error("ASTER dem import is not ready yet");
    auto& state = doc.moduleState<OrthoState>();
    const products::SceneParameters& scene = doc.reader(0).params();
    OrthoInputs in;
    in.scene = &scene;
    in.height = demHeightSampler(dem.table, dem.geoid);
    // The table also tells which side terrain moves samples to; the profile
    // variant finds that from the incidence when there is none.
    if (frame.variant == OrthoVariant::TableDriven) state.ensureTable(scene, ui);
    in.table = state.table.get();
    in.cellIndex = state.index.get();
    const bool reachesLeft = displacesTowardSmallerPixels(in, frame);
    const OrthoSource band = readBand(orthoBand(frame, reachesLeft));
    OrthoImage image = orthoFrame(in, band, frame, &ui);
    if (image.errorCount > 0) ui.message(image.errorMessage());
    return image;
}

OrthoWorkFiles writeOrthoWorkFiles(document::CTessarinDoc& doc, const OrthoImage& image) {
    auto& state = doc.moduleState<OrthoState>();
    const std::string& suffix = state.workSuffix();
    OrthoWorkFiles files;
    files.ortho = joinPath(doc.workFolder(), "ortho" + suffix);
    files.alpha = joinPath(doc.workFolder(), "alpha" + suffix);
    files.grid = image.grid;
    std::vector<std::uint8_t> bytes(image.rgb.size() * 2);
    for (std::size_t k = 0; k < image.rgb.size(); ++k) store<std::uint16_t>(bytes, 2 * k, image.rgb[k], ByteOrder::Little);
    writeWholeFile(files.ortho, bytes);
    writeWholeFile(files.alpha, image.alpha);
    if (state.orthoPath.empty()) {
        doc.recordWorkFile(files.ortho);
        doc.recordWorkFile(files.alpha);
    }
    state.orthoPath = files.ortho;
    state.alphaPath = files.alpha;
    return files;
}

void writeOrthoGeoTiff(const std::string& path, const OrthoImage& image) {
    const OrthoGrid& g = image.grid;
    if (g.rows < 1 || g.columns < 1) throw Error(format("\"%s\": the ortho frame holds no pixel", path.c_str()));
    CTIFGen gen;
    // The writer ties the centre of the first pixel.
    const GeoBox box = g.gridBox();
    gen.setGeoReference({box.west_deg + 0.5 * g.dphi_deg, box.north_deg - 0.5 * g.dphi_deg, g.dphi_deg, g.dphi_deg});
    gen.setCitation("ortho frame");
    const auto columns = static_cast<std::size_t>(g.columns);
    writeTiffFile(path, gen, TiffKind::Geo, g.columns, g.rows, 64, [&](int line, std::span<std::uint8_t> row) {
        const std::size_t first = static_cast<std::size_t>(line) * columns;
        for (std::size_t i = 0; i < columns; ++i) {
            const std::uint16_t* v = image.rgb.data() + 3 * (first + i);
            const std::uint16_t a = image.alpha[first + i] ? 65535 : 0;
            store<std::uint16_t>(row, 8 * i, v[0], ByteOrder::Little);
            store<std::uint16_t>(row, 8 * i + 2, v[1], ByteOrder::Little);
            store<std::uint16_t>(row, 8 * i + 4, v[2], ByteOrder::Little);
            store<std::uint16_t>(row, 8 * i + 6, a, ByteOrder::Little);
        }
    });
}

}  // namespace tessarin::dem
