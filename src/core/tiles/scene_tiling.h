#pragma once
// Opening an original product into a TileSet: the copies of the image header
// and the leader, the look direction, the decode of channel slot 0, and the
// conversion of the chosen level.

#include <string>

#include "tiles/tile_store.h"
#include "tiles/tiling.h"

namespace tessarin {
class Ui;
}
namespace tessarin::products {
class Alos2;
}

namespace tessarin::tiles {

struct TiledProduct {
    TileKind kind = TileKind::Complex;
    TileSetNames names;
    ConversionResult conversion;
};

// Level 1.1 (complex) or level 1.5 (amplitude) by the product level of the
// image name; any other level is refused with an Error. `reader` is channel
// slot 0: it is pointed at the image and its leader and decodes them.
// A non-empty leaderForDecode is decoded instead of the leader copy
// (ScanSAR products name their leader differently).
TiledProduct tileOriginalProduct(const std::string& imagePath, const std::string& workFolder,
                                 products::Alos2& reader, Ui& ui, const ConversionOptions& options = {},
                                 const std::string& leaderForDecode = {});

// The layout of the image file as the decoded descriptor gives it.
ImageLayout imageLayoutOf(const std::string& imagePath, const products::Alos2& reader);

// The pixel/line <-> latitude/longitude conversions of a decoded reader.
struct SceneMapping;
SceneMapping sceneMappingOf(const products::Alos2& reader);

}  // namespace tessarin::tiles
