#pragma once
// The document's tie-point table as other modules use it: its file beside
// the document, its checks against the document's scene, its load, and the
// table from the two scenes' geometry ("Create New Tie-point Table").

#include <optional>
#include <string>

#include "insar/conjugate_point_table.h"

namespace tessarin::document {
class CTessarinDoc;
}

namespace tessarin::insar {

// "<document path>.cnj".
std::string tiePointFilePath(const document::CTessarinDoc& doc);
// Why the table cannot be blended over any canvas of the document's scene.
std::optional<std::string> tiePointTableProblem(const document::CTessarinDoc& doc, const ConjugatePointTable& table);
// Loads and checks the table (either layout, by its size); on any refusal
// the table is unchanged and an Error names the file.
CnjLayout loadTiePointTable(document::CTessarinDoc& doc, ConjugatePointTable& table);
// The table from the geometry of channel slots 0 and 1, saved in the
// layout of the document's mode and reloaded; says the mode's closing text.
void createTiePointTableFromGeometry(document::CTessarinDoc& doc);

}  // namespace tessarin::insar
