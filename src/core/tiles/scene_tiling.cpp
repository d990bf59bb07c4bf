#include "tiles/scene_tiling.h"

#include <filesystem>
#include <optional>
#include <vector>

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

    // Everything is read and decoded before anything is written, and the
    // four files take their names only once all of them are complete: a
    // damaged product of the same name leaves the TileSet there as it was.
    reader.setImagePath(imagePath);
    const std::vector<std::uint8_t> header = imageHeaderBytes(imagePath);
    // A product without its leader still tiles; its scene parameters stay
    // as they were, as on every quiet leader path. A leader found by another
    // rule (ScanSAR) is copied in its place, so that the TileSet, once saved,
    // reopens with its geometry.
    std::string leaderSource;
    if (fileExists(reader.leaderPath()))
        leaderSource = reader.leaderPath();
    else if (!leaderForDecode.empty() && fileExists(leaderForDecode))
        leaderSource = leaderForDecode;
    const std::vector<std::uint8_t> leader =
        leaderSource.empty() ? std::vector<std::uint8_t>{} : readWholeFile(leaderSource, products::kMaxLeaderBytes);

    reader.setLookDirection(imagePath);
    if (out.kind == TileKind::Complex) ui.status(reader.layout().tilingStatus);
    products::Alos2 decoded = reader;
    if (!leaderForDecode.empty()) {
        decoded.setLeaderPath(leaderForDecode);
        decoded.DecodeLeaderFile();
    } else if (!leaderSource.empty()) {
        decoded.DecodeLeaderBytes(leader, leaderSource);
    } else {
        decoded.setLeaderPath(out.names.leaderCopy);
        decoded.DecodeLeaderFile();
    }
    decoded.DecodeImageFileDescriptorBytes(header, out.names.headerCopy);
    const ImageLayout layout = imageLayoutOf(imagePath, decoded);
    checkLinesHeld(layout, ui);

    AtomicFile headerOut(out.names.headerCopy);
    headerOut.file().write(header);
    std::optional<AtomicFile> leaderOut;
    if (!leaderSource.empty()) {
        leaderOut.emplace(out.names.leaderCopy);
        leaderOut->file().write(leader);
    }
    AtomicFile tileOut(out.names.tile);
    AtomicFile quickOut(out.names.quickLook);
    if (out.kind == TileKind::Complex) {
        ui.status("Tiling process start");
        out.conversion = convertComplex(layout, tileOut, quickOut, ui, options);
    } else {
        out.conversion = convertAmplitude(layout, tileOut, quickOut, ui, options);
    }
    headerOut.commit();
    if (leaderOut) leaderOut->commit();
    tileOut.commit();
    quickOut.commit();
    decoded.setLeaderPath(leaderForDecode.empty() ? out.names.leaderCopy : leaderForDecode);
    reader = std::move(decoded);
    return out;
}

}  // namespace tessarin::tiles
