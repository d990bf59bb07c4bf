// DEM tiles written in the layouts of their sources.

#include <span>

#include "dem/dem_tile.h"
#include "imagefiles/tif_gen.h"
#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"

namespace tessarin::dem {

namespace {

constexpr std::size_t kSampleBytes = 2;

// A headerless raster of int16 rows in the given byte order.
void writeRawTile(const std::string& path, const DemTile& t, ByteOrder order) {
    const int samples = t.samples();
    AtomicFile out(path);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(samples) * kSampleBytes);
    for (int k = 0; k < samples; ++k) {
        for (int l = 0; l < samples; ++l)
            store<std::int16_t>(row, static_cast<std::size_t>(l) * kSampleBytes, t.at(k, l), order);
        out.file().write(row);
    }
    out.commit();
}

// The ESRI header that lets GIS tools place an SRTM-1 ".bil" tile: the
// centre of the upper-left sample and the spacing.
void writeBilHeader(const std::string& path, int south, int west) {
    const double step = 1.0 / (kArcSecondSamples - 1);
    const std::string text =
        format("BYTEORDER      I\nLAYOUT         BIL\nNROWS          %d\nNCOLS          %d\nNBANDS         1\n"
               "NBITS          16\nBANDROWBYTES   %d\nTOTALROWBYTES  %d\nPIXELTYPE      SIGNEDINT\n"
               "ULXMAP         %d\nULYMAP         %d\nXDIM           %.17g\nYDIM           %.17g\n",
               kArcSecondSamples, kArcSecondSamples, 2 * kArcSecondSamples, 2 * kArcSecondSamples, west, south + 1,
               step, step);
    writeWholeFile(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

// A signed 16-bit GeoTIFF placed with the centre of the first sample on the
// tile's north-west corner (pixel is point).
void writeAsterTile(const std::string& path, const DemTile& t) {
    CTIFGen gen;
    const int samples = t.samples();
    const double step = 1.0 / (samples - 1);
    gen.setGeoReference({static_cast<double>(t.westLon_deg), static_cast<double>(t.southLat_deg + 1), step, step});
    gen.setSignedSamples(true);
    writeTiffFile(path, gen, TiffKind::Geo, samples, samples, 16, [&](int line, std::span<std::uint8_t> row) {
        for (int l = 0; l < samples; ++l)
            store<std::int16_t>(row, static_cast<std::size_t>(l) * kSampleBytes, t.at(line, l), ByteOrder::Little);
    });
}

}  // namespace

void writeDemTile(const std::string& path, const DemTile& tile) {
    const auto samples = static_cast<std::size_t>(tile.samples());
    if (tile.heights_m.size() != samples * samples)
        throw Error(format("%zu heights given where %zu x %zu %s heights make a tile", tile.heights_m.size(), samples,
                           samples, demSourceName(tile.source)));
    switch (tile.source) {
        case DemSource::Srtm3: writeRawTile(path, tile, ByteOrder::Big); break;
        case DemSource::Srtm1:
            writeRawTile(path, tile, ByteOrder::Little);
            writeBilHeader(demHeaderPath(tile.source, path), tile.southLat_deg, tile.westLon_deg);
            break;
        case DemSource::Aster: writeAsterTile(path, tile); break;
    }
}

}  // namespace tessarin::dem
