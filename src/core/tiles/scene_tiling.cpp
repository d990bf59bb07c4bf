#include "tiles/scene_tiling.h"

#include <filesystem>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/ui.h"
#include "products/alos2.h"
#include "tiles/canvas.h"

namespace tessarin::tiles {

ImageLayout imageLayoutOf(const std::string& imagePath, const products::Alos2& reader) {
    const auto& p = reader.params();
    return {imagePath, p.pixel, p.line, p.fileheader, p.lineheader, p.linebytes, true};
}

SceneMapping sceneMappingOf(const products::Alos2& reader) {
    const products::SceneParameters params = reader.params();
    SceneMapping m;
    m.toGeo = [params](double pixel, double line) { return products::latLonOfPixelLine(params, {pixel, line}); };
    m.toPixelLine = [params](double lat, double lon) { return products::pixelLineOfLatLon(params, {lat, lon}); };
    return m;
}

TiledProduct tileOriginalProduct(const std::string& imagePath, const std::string& workFolder, products::Alos2& reader,
                                 Ui& ui, const ConversionOptions& options, const std::string& leaderForDecode) {
    const int level = products::productLevelOf(imagePath);
    if (level != products::kLevel11 && level != products::kLevel15)
        throw Error(format("\"%s\" is neither a level 1.1 nor a level 1.5 image file", imagePath.c_str()));
    std::error_code ec;
    std::filesystem::create_directories(workFolder, ec);
    TiledProduct out;
    out.kind = level == products::kLevel11 ? TileKind::Complex : TileKind::Amplitude;
    out.names = namesForNewTileSet(imagePath, workFolder, out.kind);

    reader.setImagePath(imagePath);
    copyImageHeader(imagePath, out.names.headerCopy);
    // A product without its leader still tiles; its scene parameters stay
    // as they were, as on every quiet leader path. A leader found by another
    // rule (ScanSAR) is copied in its place, so that the TileSet, once saved,
    // reopens with its geometry.
    if (fileExists(reader.leaderPath()))
        copyLeader(reader.leaderPath(), out.names.leaderCopy);
    else if (!leaderForDecode.empty() && fileExists(leaderForDecode))
        copyLeader(leaderForDecode, out.names.leaderCopy);
    reader.setLookDirection(imagePath);
    if (out.kind == TileKind::Complex) ui.status("Sub OpenAlos2L11");
    reader.setLeaderPath(leaderForDecode.empty() ? out.names.leaderCopy : leaderForDecode);
    reader.DecodeLeaderFile();
    if (!reader.DecodeImageFileDescriptor(out.names.headerCopy))
        throw Error(format("cannot read the file descriptor of \"%s\"", imagePath.c_str()));

    const ImageLayout layout = imageLayoutOf(imagePath, reader);
    if (out.kind == TileKind::Complex) {
        ui.status("Tiling process start");
        out.conversion = convertComplex(layout, out.names.tile, out.names.quickLook, ui, options);
    } else {
        out.conversion = convertAmplitude(layout, out.names.tile, out.names.quickLook, ui, options);
    }
    return out;
}

}  // namespace tessarin::tiles
