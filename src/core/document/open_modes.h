#pragma once
// The table of OpenModes: one row per mode with what the document records
// when it opens under it, what the view and the reports ask of it, and the
// opener that does the mode's own steps. Each module adds the rows of the
// modes it owns; nothing else names an OpenMode number.

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tessarin::document {

class CTessarinDoc;

inline constexpr int kLevelCodeAmplitude = 15;
inline constexpr int kLevelCodeComplex = 11;

// How many observation dates the "Observation Date Time" report shows.
enum class ObservationDates { None, One, Two };

// The mode's own open steps, after the common ones and after the row's
// state has been recorded. False when the open fails (the failure has been
// shown); a failure that throws tessarin::Error is shown by the caller.
using Opener = bool (*)(CTessarinDoc& doc);
// Builds the document's canvas at its ctrorigin and writes the canvas file
// (opening, re-centring, tile selection).
using Assembler = void (*)(CTessarinDoc& doc);
// Whether a file is one this mode opens, judged by its name (and, where the
// name cannot tell, its contents). Used to reopen a recent file that was
// stored without its OpenMode.
using Claim = bool (*)(const std::string& path);
// Changes the document's phase ramp by (deltaH, deltaV) cycles per working
// area and applies it, as the view's inclination keys ask.
using InclinationStep = void (*)(CTessarinDoc& doc, double deltaH, double deltaV);
// Whether the document shows a second image apart from the first right now
// (its overview, main and magnifier displays in slots 6, 7 and 8).
using SecondImageShown = bool (*)(const CTessarinDoc& doc);

// What the tie-point tools do under a mode.
struct TiePointRules {
    bool fullLayoutOnCreate = false;  // a new table carries the phase ramp and the reverse flag
    bool fullLayoutOnCalc = false;    // so does one calculated from the geometry table
    bool fullLayoutOnSave = false;    // saved tables take the full layout
    bool cornerMatchReport = false;   // corner measurement shows the matcher's report
    bool singleMatchReport = false;   // single point matching shows it
    bool adjustParameter = false;     // "Calc Tie point adjust parameter" applies
    bool adjustMatchReport = false;   // and shows the matcher's report
    bool pureProducts = false;        // "Pure SLC Infero Generation" applies
    // The display is built through the table: confirming "Adjust Tie-Point
    // displacement" and "Display Mt/Infero Composite" rebuild it.
    bool rebuildsFromTable = false;
    // What "Create New Tie-point Table" says once the table is saved, "" for nothing.
    std::string_view createdMessage = {};
    // What "Display Mt/Infero Composite" says instead of building the
    // composite of an open pair, "" for nothing.
    std::string_view compositeRefusal = {};
    // "Pure Interferogram Display" redraws the canvas after the generation.
    bool redrawsPureProducts = false;
};

struct OpenModeRow {
    int mode = -1;
    // ---- recorded on open (only when the mode has an opener)
    std::string_view label;    // data kind label, "" for none
    std::string_view message;  // the message box the open shows first, "" for none
    int levelCode = 0;         // kLevelCodeAmplitude, kLevelCodeComplex or 0
    int channelCount = 0;
    int displayType = 0;
    bool complexFlag = false;
    bool amplitudeFlag = false;
    bool existingTiles = false;
    bool interferometry = false;
    bool scanSar = false;
    // ---- what the view and the reports ask, built or not
    bool threeChannelCanvas = false;  // the canvas holds three 16-bit channels per pixel
    bool twoImages = false;           // two images that pan together with Shift (pairs, dates)
    bool showsImageName = false;      // the overview names the current image of an overlay
    ObservationDates dates = ObservationDates::None;
    // The ortho conversion moves samples along the pixel direction by an
    // incidence profile instead of through the mapping table.
    bool profileOrtho = false;
    TiePointRules tiePoints;
    // "Inclination Control On" shows the pair's fringe under its ramp.
    bool inclinationDisplay = false;
    // "Infero Output Color Combination" writes the colour layers of the pair.
    bool colourCombination = false;
    // Null: the mode is known but its processing is not built; the document
    // opens empty.
    Opener open = nullptr;
    // Null: the single-scene merger of the document's tiles.
    Assembler assemble = nullptr;
    Claim claims = nullptr;
    // Null: the view's inclination keys only count; the mode has no ramp
    // they could change.
    InclinationStep stepInclination = nullptr;
    // Null: twoImages says whether the V key switches between two images;
    // else this says it, for a mode that shows one or two images by state.
    SecondImageShown secondImageShown = nullptr;
};

class OpenModeTable {
public:
    // Adds a row; a second row for the same mode is a programming error and
    // throws std::logic_error.
    void add(const OpenModeRow& row);
    // The row of a mode; null when no module knows the mode.
    const OpenModeRow* find(int mode) const;
    std::vector<const OpenModeRow*> rows() const;

private:
    std::map<int, OpenModeRow> rows_;
};

// The row of a mode nobody knows: records nothing, opens empty.
const OpenModeRow& unknownOpenMode();

}  // namespace tessarin::document
