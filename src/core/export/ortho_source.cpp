#include "export/ortho_source.h"

#include "dem/ortho_frame.h"
#include "document/tessarin_doc.h"

namespace tessarin::geoexport {

namespace {

LatLonBox boxOf(const dem::GeoBox& b) { return {b.north_deg, b.south_deg, b.east_deg, b.west_deg}; }

}  // namespace

FrameConverter documentConverter(document::CTessarinDoc& doc, Ui& ui) {
    const dem::OrthoVariant variant = dem::orthoVariantFor(doc);
    return [&doc, &ui, variant](FrameIndex f) {
        const dem::OrthoFrameRequest request = dem::OrthoFrameRequest::ofTiles(f.kx, f.ky, doc.tpix(), doc.tlin(), variant);
        dem::OrthoImage image = dem::orthoFrameOfDocument(doc, request, ui);
        GroundFrame g;
        g.width = image.grid.columns;
        g.height = image.grid.rows;
        g.dphi = image.grid.dphi_deg;
        g.gridBox = boxOf(image.grid.gridBox());
        g.rgb = std::move(image.rgb);
        g.alpha = std::move(image.alpha);
        return g;
    };
}

}  // namespace tessarin::geoexport
