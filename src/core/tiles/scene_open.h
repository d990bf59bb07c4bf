#pragma once
// The single-scene opens: an original product converted into a new TileSet,
// and a TileSet reopened. The ALOS-2 modes (this module) and the
// first-generation PALSAR modes (the products module) differ only in the
// rules below.

namespace tessarin::document {
class CTessarinDoc;
}

namespace tessarin::tiles {

struct SceneOpenRules {
    // Channel slot 0 reads with CAlos; the open says when the leader cannot
    // be opened, before each descriptor decode, and when the descriptor's
    // pixel count and its record length disagree.
    bool firstGeneration = false;
    // A complex scene's first canvas at the scene centre (pixel/2, line/2)
    // instead of (5000, 5000).
    bool centreOnScene = false;
};

bool openOriginalScene(document::CTessarinDoc& doc, bool complex, const SceneOpenRules& rules = {});
bool openTileSetScene(document::CTessarinDoc& doc, bool complex, const SceneOpenRules& rules = {});

// The single-scene merger with its 2 x 2 block kept inside the grid, so that
// a scene smaller than the canvas (or a centre past the scene's end) still
// shows the scene; the document's ctrorigin stays as it is.
void assembleWithinGrid(document::CTessarinDoc& doc);

}  // namespace tessarin::tiles
