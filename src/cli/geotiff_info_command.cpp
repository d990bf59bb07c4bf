// geotiff-info: what the GeoTIFF reader takes from a TIFF header: size,
// samples, where the data starts, the georeference and the corners.

#include <cstdio>

#include "geometry/geo_format.h"
#include "imagefiles/tif_gen.h"
#include "platform/error.h"
#include "platform/format.h"
#include "subcommands.h"

namespace tessarin::cli {

namespace {

void printInfo(const GeoTiffInfo& info) {
    std::printf("byte order %s\n", info.byteOrder == ByteOrder::Big ? "big-endian (MM)" : "little-endian (II)");
    std::printf("size %u x %u\n", info.width, info.lines);
    std::printf("samples per pixel %d, bytes per sample %d, sample format %d\n", info.samplesPerPixel,
                info.bytesPerSample, info.sampleFormat);
    std::printf("compression %d, photometric %d, planar configuration %d\n", info.compression, info.photometric,
                info.planarConfiguration);
    if (info.tiled())
        std::printf("tiles %u x %u, %zu tiles\n", info.tileWidth, info.tileLength, info.stripOffsets.size());
    else
        std::printf("rows per strip %u, %zu strips\n", info.rowsPerStrip, info.stripOffsets.size());
    std::printf("data offset %llu\n", static_cast<unsigned long long>(info.dataOffset()));
    if (!info.description.empty()) std::printf("description %s\n", info.description.c_str());
    if (!info.dateTime.empty()) std::printf("date %s\n", info.dateTime.c_str());
    if (info.pixelScale.size() >= 2) std::printf("pixel scale %.12g, %.12g\n", info.pixelScale[0], info.pixelScale[1]);
    for (const TiePoint& t : info.tiePoints)
        std::printf("tie point (%g, %g) -> (%.12g, %.12g)\n", t.i, t.j, t.x, t.y);
    if (info.modelTransformation) {
        const auto& m = *info.modelTransformation;
        std::printf("model transformation x = %.12g i + %.12g j + %.12g, y = %.12g i + %.12g j + %.12g\n", m[0], m[1],
                    m[3], m[4], m[5], m[7]);
    }
    if (!info.geoKeys.empty()) {
        std::printf("GeoKeys %zu, model type %d, raster type %d (%s)\n", info.geoKeys.size(), info.modelType,
                    info.rasterType, info.rasterType == GeoTiffInfo::kPixelIsPoint ? "pixel is point" : "pixel is area");
        std::printf("ellipsoid %.3f m, inverse flattening %.9f\n", info.semiMajorAxis_m, info.inverseFlattening);
    }
    if (info.utm)
        std::printf("UTM zone %d %s, central meridian %g\n", info.utmZone, info.utmNorth ? "north" : "south",
                    info.centralMeridian_deg);
    if (!info.unsupportedProjection.empty()) std::printf("%s\n", info.unsupportedProjection.c_str());
    if (!info.cornersKnown) return;
    static const char* const names[4] = {"upper left", "upper right", "lower left", "lower right"};
    for (std::size_t k = 0; k < 4; ++k) {
        const GeoCorner& c = info.corners[k];
        if (c.latLonKnown)
            std::printf("%s (%.6f, %.6f) %s\n", names[k], c.x, c.y, latLonDecimalText(c.lat_deg, c.lon_deg).c_str());
        else
            std::printf("%s (%.6f, %.6f)\n", names[k], c.x, c.y);
    }
}

int runGeotiffInfo(const Args& args, ConsoleUi& ui) {
    args.requirePositionals(1, "FILE");
    try {
        printInfo(readGeoTiffFile(args.positionals()[0]));
    } catch (const Error& e) {
        ui.message(e.what());
        return 1;
    }
    return 0;
}

SubcommandRegistration geotiffInfoCommand({"geotiff-info",
                                           "print what the GeoTIFF reader takes from a TIFF header (corners are "
                                           "the centres of the corner pixels)",
                                           "FILE.tif", {}, runGeotiffInfo});

}  // namespace

}  // namespace tessarin::cli
