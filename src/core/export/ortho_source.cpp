#include "export/ortho_source.h"

#include "dem/dem_state.h"
#include "dem/ortho_frame.h"
#include "document/tessarin_doc.h"
#include "export/insar_layers.h"
#include "export/kml_writer.h"
#include "insar/fringe_color.h"
#include "insar/fringe_commands.h"
#include "insar/pair_state.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace tessarin::geoexport {

namespace {

LatLonBox boxOf(const dem::GeoBox& b) { return {b.north_deg, b.south_deg, b.east_deg, b.west_deg}; }

GroundFrame groundFrameOf(dem::OrthoImage& image) {
    GroundFrame g;
    g.width = image.grid.columns;
    g.height = image.grid.rows;
    g.dphi = image.grid.dphi_deg;
    g.gridBox = boxOf(image.grid.gridBox());
    g.rgb = std::move(image.rgb);
    g.alpha = std::move(image.alpha);
    return g;
}

// One channel of a converted frame as bytes.
std::vector<std::uint8_t> channelBytes(const std::vector<std::uint16_t>& rgb, std::size_t channel) {
    std::vector<std::uint8_t> out(rgb.size() / 3);
    for (std::size_t k = 0; k < out.size(); ++k) out[k] = static_cast<std::uint8_t>(rgb[3 * k + channel] & 0xFF);
    return out;
}

void writeLayerKml(const std::string& pngPath, const LatLonBox& box) {
    writeMultiOverlay(overlayNames(pngPath, true).kmlPath, {{pngPath, box}});
}

}  // namespace

bool hasInterferometricLayers(const document::CTessarinDoc& doc) {
    const auto* pair = doc.findModuleState<insar::PairState>();
    return pair && pair->open && !pair->pure && doc.openModeRow().threeChannelCanvas;
}

FrameConverter pairConverter(document::CTessarinDoc& doc, Ui& ui, bool layers) {
    const dem::OrthoVariant variant = dem::orthoVariantFor(doc);
    return [&doc, &ui, variant, layers](FrameIndex f) {
        const auto* pair = doc.findModuleState<insar::PairState>();
        if (!pair || !pair->merged)
            throw Error("The interferogram of the working area is not ready: generate it before exporting the pair");
        const insar::MergerResult& r = pair->last;
        const tiles::GlobalPoint frameTopLeft{static_cast<long long>(f.kx) * doc.tpix(),
                                              static_cast<long long>(f.ky) * doc.tlin()};
        if (frameTopLeft.x != r.masterTopLeft.x || frameTopLeft.y != r.masterTopLeft.y)
            throw Error(format("the pair's interferogram covers the frame of tile %lld, %lld only (its working area)",
                               r.masterTopLeft.x / std::max(1, doc.tpix()), r.masterTopLeft.y / std::max(1, doc.tlin())));
        PairPlanes planes;
        planes.x0 = r.masterTopLeft.x;
        planes.y0 = r.masterTopLeft.y;
        planes.width = r.width;
        planes.height = r.height;
        planes.amplitude.resize(static_cast<std::size_t>(r.width) * static_cast<std::size_t>(r.height));
        for (int y = 0; y < r.height; ++y)
            for (int x = 0; x < r.width; ++x)
                planes.amplitude[static_cast<std::size_t>(y) * static_cast<std::size_t>(r.width) +
                                 static_cast<std::size_t>(x)] = r.cut.at(x, y, 0);
        planes.fringe = r.fringe;
        planes.coherence = r.coherence;
        planes.valid = r.valid;
        const dem::OrthoFrameRequest request =
            dem::OrthoFrameRequest::ofTiles(f.kx, f.ky, doc.tpix(), doc.tlin(), variant);
        dem::OrthoImage image =
            dem::orthoFrameOfDocument(doc, request, ui, [&planes](const dem::BandBox& box) { return pairBand(planes, box); });
        const dem::OrthoGrid grid = image.grid;
        std::vector<std::uint8_t> fringe, coherence;
        if (layers) {
            fringe = channelBytes(image.rgb, 1);
            coherence = channelBytes(image.rgb, 2);
        }
        GroundFrame g = groundFrameOf(image);
        // The frame itself shows the master amplitude.
        for (std::size_t k = 0; k < g.alpha.size(); ++k) g.rgb[3 * k + 1] = g.rgb[3 * k + 2] = g.rgb[3 * k];
        if (!layers) return g;

        g.writeLayers = [&doc, &ui, grid, fringe = std::move(fringe), coherence = std::move(coherence),
                         amplitude = g.rgb, alpha = g.alpha,
                         box = g.gridBox](const std::string& folder, const std::string& name,
                                          const display::ChannelStatistics& stats, const std::array<double, 3>& gains) {
            const LayerFiles files = layerFiles(folder, name);
            for (const char* sub : {kAmpLayerFolder, kFringeLayerFolder, kDifFringeLayerFolder, kCoherenceLayerFolder})
                createFolder(joinPath(folder, sub));
            const int w = grid.columns, h = grid.rows;

            writeFramePng(files.amp, {w, h, amplitude, alpha}, stats, gains);
            writeLayerKml(files.amp, box);

            const insar::LoadedColorTable table = insar::loadColorTable(doc.workFolder());
            if (!table.notice.empty()) ui.status(table.notice);
            const std::array<int, 3> colour = doc.moduleState<insar::FringeState>().outputColour;

            writeLayerPng(files.fringe, w, h, insar::maskedColouring(fringe, alpha, colour[0] == 1, table.table), alpha);
            writeLayerKml(files.fringe, box);

            const auto& tiePoints = doc.moduleState<insar::TiePointState>().table;
            const auto& dem = doc.moduleState<dem::DemState>();
            TopographyInputs in;
            in.master = &doc.reader(0).params();
            in.slave = &doc.reader(1).params();
            in.table = &tiePoints;
            in.height = dem::demHeightSampler(dem.table, dem.geoid);
            in.reversePhase = tiePoints.reversePhase != 0;
            in.fringeSense = doc.moduleState<insar::PairState>().convention == insar::PhaseConvention::PlusRange ? -1 : 1;
            const DifferentialGrid dif = differentialOnGrid(grid, fringe, alpha, in);
            try {
                writeWholeFile(files.simulated, dif.simulated);
            } catch (const Error& e) {
                throw Error(format("cannot write \"%s\": %s", files.simulated.c_str(), e.what()));
            }
            writeLayerPng(files.difFringe, w, h, insar::maskedColouring(dif.difference, alpha, colour[1] == 1, table.table),
                          alpha);
            writeLayerKml(files.difFringe, box);

            writeLayerPng(files.coherence, w, h, insar::maskedColouring(coherence, alpha, colour[2] == 1, table.table),
                          alpha);
            writeLayerKml(files.coherence, box);
        };
        return g;
    };
}

FrameConverter documentConverter(document::CTessarinDoc& doc, Ui& ui) {
    if (hasInterferometricLayers(doc)) return pairConverter(doc, ui, true);
    const dem::OrthoVariant variant = dem::orthoVariantFor(doc);
    return [&doc, &ui, variant](FrameIndex f) {
        const dem::OrthoFrameRequest request = dem::OrthoFrameRequest::ofTiles(f.kx, f.ky, doc.tpix(), doc.tlin(), variant);
        dem::OrthoImage image = dem::orthoFrameOfDocument(doc, request, ui);
        return groundFrameOf(image);
    };
}

}  // namespace tessarin::geoexport
