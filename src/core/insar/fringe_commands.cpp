#include "insar/fringe_commands.h"

#include <algorithm>
#include <cmath>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "display/view_controller.h"
#include "document/tessarin_doc.h"
#include "imagefiles/tif_gen.h"
#include "insar/baseline.h"
#include "insar/fringe_color.h"
#include "insar/fringe_filter.h"
#include "insar/pair_state.h"
#include "insar/phase_ramp.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/form.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace tessarin::insar {

namespace {

using app::CommandContext;
using document::CTessarinDoc;

constexpr const char* kNotInterferometry = "This menu works only on interferometry data";
constexpr const char* kTableNotReady = "Tie point list is not ready";
constexpr const char* kProcComplete = "Proc complete";

bool showsInterferometricPair(const CTessarinDoc& doc) { return doc.openModeRow().interferometry; }

PairState* openPair(CTessarinDoc& doc) {
    auto* pair = doc.findModuleState<PairState>();
    return pair && pair->open ? pair : nullptr;
}

struct Area {
    int width = 0, height = 0;
    tiles::GlobalPoint topLeft;
    std::size_t pixels() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }
};

Area areaOf(CTessarinDoc& doc, const PairState& pair) {
    Area a;
    a.width = 2 * pair.masterGrid.tpix;
    a.height = 2 * pair.masterGrid.tlin;
    a.topLeft = pair.merged ? pair.last.masterTopLeft : doc.canvasState().origin;
    return a;
}

// A raw file of exactly `bytes` bytes, or a message saying what is wrong and nothing.
std::optional<std::vector<std::uint8_t>> readAreaFile(CTessarinDoc& doc, const std::string& path, std::size_t bytes,
                                                      const char* what) {
    if (!fileExists(path)) {
        doc.ui().message(format("The %s \"%s\" does not exist: form the interferogram of the working area first "
                                "(\"Display Mt/Infero Composite\"); nothing was written",
                                what, path.c_str()));
        return std::nullopt;
    }
    auto data = readWholeFile(path, bytes + 1);
    if (data.size() != bytes) {
        doc.ui().message(format("The %s \"%s\" holds %zu bytes instead of %zu: nothing was written", what, path.c_str(),
                                data.size(), bytes));
        return std::nullopt;
    }
    return data;
}

void saveFullTable(CTessarinDoc& doc, const ConjugatePointTable& t) {
    writeWholeFile(doc.path() + ".cnj", encodeCnj(t, CnjLayout::Full));
}

// The Fringe changed on disk: the fringe displays and the document's copy follow.
void showFringe(CTessarinDoc& doc, PairState& pair, const Area& a, const std::vector<std::uint8_t>& fringe) {
    if (pair.merged && pair.last.fringe.size() == fringe.size()) pair.last.fringe = fringe;
    const RasterFile raster{pair.names.interferogram, a.width, a.height, 1, 1};
    auto& slots = doc.displaySlots();
    for (int s : {display::slot::kMain, display::slot::kMagnifier, display::slot::kAlternativeMain})
        slots.RenderDisplaySlotRaw(s, raster, doc.workFolder(), doc.ui());
}

// SavedFringe + the table's ramp + bias, written to the interferogram file and shown.
void rampFromSaved(CTessarinDoc& doc, PairState& pair, const std::vector<std::uint8_t>& saved, long long bias) {
    const Area a = areaOf(doc, pair);
    const ConjugatePointTable& t = doc.moduleState<TiePointState>().table;
    std::vector<std::uint8_t> fringe = saved;
    if (t.phaseIncH != 0.0 || t.phaseIncV != 0.0) applyPhaseRamp(fringe, {}, a.width, a.height, a.topLeft, t.phaseIncH, t.phaseIncV);
    applyFringeBias(fringe, bias);
    writeWholeFile(pair.names.interferogram, fringe);
    showFringe(doc, pair, a, fringe);
}

// The checks every ramp command makes, without a command: the pair when it may go on.
PairState* rampPair(CTessarinDoc& doc) {
    PairState* pair = openPair(doc);
    if (!showsInterferometricPair(doc) || !pair) {
        doc.ui().message(kNotInterferometry);
        return nullptr;
    }
    if (!doc.moduleState<TiePointState>().table.ready) {
        doc.ui().message(kTableNotReady);
        return nullptr;
    }
    return pair;
}

PairState* rampPair(CommandContext& ctx) { return rampPair(*ctx.doc); }

// Stores H and V in the table and its file, then ramps the saved fringe
// into the interferogram file and shows it. Interactive steps report in the
// status bar instead of message boxes.
void storeAndApplyRamp(CTessarinDoc& doc, PairState& pair, const std::vector<std::uint8_t>& saved,
                       ConjugatePointTable changed, bool interactive) {
    ConjugatePointTable& table = doc.moduleState<TiePointState>().table;
    saveFullTable(doc, changed);
    table = changed;
    const std::string values = format("HincVal=%.2f, VinvVal=%.2f", table.phaseIncH, table.phaseIncV);
    if (interactive) doc.ui().status(values);
    else doc.ui().message(values);
    rampFromSaved(doc, pair, saved, 0);
}

// "Apply Inclination by set Parm" (ask) and "Reset Inclination Parameter".
void setInclination(CommandContext& ctx, bool ask) {
    PairState* pair = rampPair(ctx);
    if (!pair) return;
    CTessarinDoc& doc = *ctx.doc;
    const Area a = areaOf(doc, *pair);
    const auto saved = readAreaFile(doc, pair->names.savedFringe, a.pixels(), "saved fringe file");
    if (!saved) return;
    const ConjugatePointTable& table = doc.moduleState<TiePointState>().table;
    ConjugatePointTable changed = table;
    if (ask) {
        Form form("Fringe Inc Parm Set");
        form.addReal("hinc", "H inc Cycle / tile width", table.phaseIncH);
        form.addReal("vinc", "V inc Cycle /tile height", table.phaseIncV);
        if (!ctx.ui.form(form)) return;
        changed.phaseIncH = form.realValue("hinc");
        changed.phaseIncV = form.realValue("vinc");
        // Through the codec's own checks, as a loaded table would be.
        ConjugatePointTable checked = changed;
        decodeCnj(encodeCnj(changed, CnjLayout::Full), doc.path() + ".cnj", checked);
        ctx.ui.message(format("phase(V,H)=%.6f, %.6f", changed.phaseIncV, changed.phaseIncH));
    } else {
        changed.phaseIncH = changed.phaseIncV = 0.0;
    }
    storeAndApplyRamp(doc, *pair, *saved, changed, false);
    ctx.ui.message(kProcComplete);
}

} // namespace

void stepInclination(CTessarinDoc& doc, double deltaH, double deltaV) {
    PairState* pair = rampPair(doc);
    if (!pair) return;
    const Area a = areaOf(doc, *pair);
    const auto saved = readAreaFile(doc, pair->names.savedFringe, a.pixels(), "saved fringe file");
    if (!saved) return;
    ConjugatePointTable changed = doc.moduleState<TiePointState>().table;
    changed.phaseIncH += deltaH;
    changed.phaseIncV += deltaV;
    ConjugatePointTable checked = changed;
    decodeCnj(encodeCnj(changed, CnjLayout::Full), doc.path() + ".cnj", checked);
    storeAndApplyRamp(doc, *pair, *saved, changed, true);
}

namespace {

void fringeBias(CommandContext& ctx) {
    PairState* pair = rampPair(ctx);
    if (!pair) return;
    CTessarinDoc& doc = *ctx.doc;
    const Area a = areaOf(doc, *pair);
    const auto saved = readAreaFile(doc, pair->names.savedFringe, a.pixels(), "saved fringe file");
    if (!saved) return;
    Form form("Put Fringe Bias Value");
    form.addInt("bias", "Bias Value (-255_255)", 0);
    if (!ctx.ui.form(form)) return;
    rampFromSaved(doc, *pair, *saved, form.intValue("bias"));
    ctx.ui.message(kProcComplete);
}

void returnToOriginal(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    ctx.ui.message("OnFringemodifyReturntooriginalfringe");
    PairState* pair = openPair(doc);
    if (!showsInterferometricPair(doc) || !pair) return;
    const Area a = areaOf(doc, *pair);
    const auto saved = readAreaFile(doc, pair->names.savedFringe, a.pixels(), "saved fringe file");
    if (!saved) return;
    writeWholeFile(pair->names.interferogram, *saved);
    showFringe(doc, *pair, a, *saved);
    auto& state = doc.moduleState<FringeState>();
    if (state.inclinationControl) {
        state.inclinationControl = false;
        if (auto* view = ctx.view()) view->inclination().active = false;
        doc.renderCanvasDisplays();
    }
}

void inclinationControlOn(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    PairState* pair = openPair(doc);
    if (!pair || !doc.openModeRow().inclinationDisplay || !doc.moduleState<TiePointState>().table.ready) {
        ctx.ui.message("display condition is wrong");
        return;
    }
    const Area a = areaOf(doc, *pair);
    // From the interferogram file; once "Pure SLC Infero Generation" has
    // turned it into its TIFF, from the working area's Fringe in memory.
    std::string source = pair->names.interferogram;
    if (!fileExists(source) && pair->merged && pair->last.fringe.size() == a.pixels()) {
        source = joinPath(doc.workFolder(), "InclinationFringe.img");
        writeWholeFile(source, pair->last.fringe);
        doc.moduleState<FringeState>().scratchFringe = source;
    } else if (!readAreaFile(doc, source, a.pixels(), "interferogram file")) {
        ctx.ui.message("display condition is wrong");
        return;
    }
    doc.displaySlots().RenderDisplaySlotRaw(display::slot::kMain, {source, a.width, a.height, 1, 1}, doc.workFolder(),
                                            doc.ui());
    doc.moduleState<FringeState>().inclinationControl = true;
    if (auto* view = ctx.view()) view->inclination().active = true;
}

void resetInclinationControl(CommandContext& ctx) {
    ctx.ui.message("OnFringemodifyResteinclinationcontrol");
    ctx.doc->moduleState<FringeState>().inclinationControl = false;
    if (auto* view = ctx.view()) view->inclination().active = false;
}

void reversePhase(CommandContext& ctx) {
    PairState* pair = rampPair(ctx);
    if (!pair) return;
    CTessarinDoc& doc = *ctx.doc;
    ConjugatePointTable changed = doc.moduleState<TiePointState>().table;
    changed.reversePhase = changed.reversePhase ? 0 : 1;
    changed.phaseIncH = -changed.phaseIncH;
    changed.phaseIncV = -changed.phaseIncV;
    saveFullTable(doc, changed);
    doc.moduleState<TiePointState>().table = changed;
    ctx.ui.message(changed.reversePhase ? "Phase reverse is changed to ON" : "Phase reverse is changed to OFF");
}

void incPattern(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    PairState* pair = openPair(doc);
    if (!showsInterferometricPair(doc) || !pair) {
        ctx.ui.message(kNotInterferometry);
        return;
    }
    const Area a = areaOf(doc, *pair);
    const auto fringe = readAreaFile(doc, pair->names.interferogram, a.pixels(), "interferogram file");
    if (!fringe) return;
    display::InclinationOverlay overlay;
    overlay.curves = inclinationPattern(*fringe, a.width, a.height);
    doc.setInclinationOverlay(overlay);
    if (auto* view = ctx.view()) view->state().inclinationShown = true;
}

// ---- filtering and mask

void discAverage(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    PairState* pair = openPair(doc);
    if (!showsInterferometricPair(doc) || !pair) {
        ctx.ui.message("Open infero pair in advance");
        return;
    }
    const Area a = areaOf(doc, *pair);
    const auto fringe = readAreaFile(doc, pair->names.interferogram, a.pixels(), "interferogram file");
    if (!fringe) return;
    BusyScope busy(doc.ui());
    const auto filtered = discFilter(*fringe, a.width, a.height);
    writeWholeFile(pair->names.interferogram, filtered);
    if (pair->merged && pair->last.fringe.size() == filtered.size()) pair->last.fringe = filtered;
    doc.displaySlots().RenderDisplaySlotRaw(display::slot::kAlternativeMain,
                                            {pair->names.interferogram, a.width, a.height, 1, 1}, doc.workFolder(),
                                            doc.ui());
    ctx.ui.message("filtering fringe complete");
}

std::string qualityMaskPath(const PairState& pair) { return joinPath(splitPath(pair.names.cut).folder, "QualityMask.img"); }

void qualityMaskCommand(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    PairState* pair = openPair(doc);
    if (!showsInterferometricPair(doc) || !pair) {
        ctx.ui.message("Open infero pair in advance");
        return;
    }
    const Area a = areaOf(doc, *pair);
    const auto cut = readAreaFile(doc, pair->names.cut, a.pixels() * 6, "cut file");
    if (!cut) return;
    writeWholeFile(qualityMaskPath(*pair), qualityMask(*cut, a.width, a.height));
}

void interpolationByMask(CommandContext& ctx) {
    // No command of this system makes a fringe mask yet, so there is none to
    // interpolate by.
    ctx.ui.status("No fringe mask is set for this document: nothing to interpolate");
}

// ---- colour

struct ColourInputs {
    PairState* pair = nullptr;
    Area area;
    std::vector<std::uint8_t> fringe;
    ColorTable table{};
};

std::optional<ColourInputs> colourInputs(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    ColourInputs in;
    in.pair = openPair(doc);
    if (!showsInterferometricPair(doc) || !in.pair) {
        ctx.ui.message("Open infero pair in advance");
        return std::nullopt;
    }
    in.area = areaOf(doc, *in.pair);
    auto fringe = readAreaFile(doc, in.pair->names.interferogram, in.area.pixels(), "interferogram file");
    if (!fringe) return std::nullopt;
    in.fringe = std::move(*fringe);
    const LoadedColorTable loaded = loadColorTable(doc.workFolder());
    if (!loaded.notice.empty()) ctx.ui.status(loaded.notice);
    in.table = loaded.table;
    return in;
}

std::optional<std::vector<std::uint16_t>> intensityOf(CommandContext& ctx, const ColourInputs& in) {
    const auto cut = readAreaFile(*ctx.doc, in.pair->names.cut, in.area.pixels() * 6, "cut file");
    if (!cut) return std::nullopt;
    return masterIntensity(*cut, in.area.pixels());
}

void colourFringeCommand(CommandContext& ctx, bool withIntensity) {
    auto in = colourInputs(ctx);
    if (!in) return;
    std::vector<std::uint8_t> rgb;
    if (withIntensity) {
        const auto intensity = intensityOf(ctx, *in);
        if (!intensity) return;
        rgb = colourFringeWithIntensity(in->fringe, *intensity, in->table);
    } else {
        rgb = colourFringe(in->fringe, in->table);
    }
    CTessarinDoc& doc = *ctx.doc;
    const std::string path = in->pair->names.interferogram + ".clr";
    writeWholeFile(path, rgb);
    for (int s : {display::slot::kMain, display::slot::kMagnifier})
        doc.displaySlots().RenderDisplaySlotRaw(s, {path, in->area.width, in->area.height, 3, 1}, doc.workFolder(),
                                                doc.ui());
}

void writeRgbTiff(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb) {
    CTIFGen gen;
    writeTiffFile(path, gen, TiffKind::Plain, width, height, 24, [&](int line, std::span<std::uint8_t> row) {
        const std::size_t at = static_cast<std::size_t>(line) * static_cast<std::size_t>(width) * 3;
        std::copy(rgb.begin() + static_cast<std::ptrdiff_t>(at), rgb.begin() + static_cast<std::ptrdiff_t>(at + row.size()),
                  row.begin());
    });
}

void colourComposite(CommandContext& ctx) {
    ctx.ui.message("OnFringemodifyFringe");
    auto in = colourInputs(ctx);
    if (!in) return;
    const auto intensity = intensityOf(ctx, *in);
    if (!intensity) return;
    const auto rgb = fringeImageComposite(in->fringe, *intensity, in->table);
    ctx.ui.status("end of color coding");
    writeRgbTiff(in->pair->names.cut + "CFringe.tif", in->area.width, in->area.height, rgb);
    ctx.ui.status("end of tif write");
    ctx.ui.message("Color composite complete");
}

void saveTemporalInclination(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    ctx.ui.status("Create tiffs of current tile");
    PairState* pair = openPair(doc);
    if (!showsInterferometricPair(doc) || !pair) {
        ctx.ui.message("This is not a interferometry process");
        return;
    }
    const auto& slot = doc.displaySlots().slot(display::slot::kMagnifier);
    const auto& bitmap = slot.dib.bitmap;
    if (!slot.hasBitmap || bitmap.empty()) {
        ctx.ui.message("The magnifier shows no image: nothing was written");
        return;
    }
    // The slot's bitmap rows as a top-down TIFF: grey as 8 bits, colour as
    // 24 bits in red, green, blue order.
    CTIFGen gen;
    const int bpp = bitmap.bytesPerPixel;
    writeTiffFile(temporalAmplitudeTiffPath(pair->names.interferogram), gen, TiffKind::Plain, bitmap.width,
                  bitmap.height, 8 * bpp, [&](int line, std::span<std::uint8_t> row) {
                      const std::uint8_t* from = bitmap.topRow(line);
                      for (int x = 0; x < bitmap.width; ++x) {
                          if (bpp == 1) {
                              row[static_cast<std::size_t>(x)] = from[x];
                          } else {
                              for (int c = 0; c < 3; ++c)
                                  row[static_cast<std::size_t>(3 * x + c)] = from[3 * x + 2 - c];
                          }
                      }
                  });
    const Area a = areaOf(doc, *pair);
    const auto fringe = readAreaFile(doc, pair->names.interferogram, a.pixels(), "interferogram file");
    if (!fringe) return;
    writeTiffFile(pair->names.interferogram + ".tif", gen, TiffKind::Plain, a.width, a.height, 8,
                  [&](int line, std::span<std::uint8_t> row) {
                      const std::size_t at = static_cast<std::size_t>(line) * static_cast<std::size_t>(a.width);
                      std::copy(fringe->begin() + static_cast<std::ptrdiff_t>(at),
                                fringe->begin() + static_cast<std::ptrdiff_t>(at + row.size()), row.begin());
                  });
}

void outputColourCombination(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    if (!doc.openModeRow().colourCombination) {
        ctx.ui.message("This is not a interferometry process");
        return;
    }
    auto& state = doc.moduleState<FringeState>();
    Form form("InferoColorDlog");
    const std::vector<std::string> choices{"Gray", "Color"};
    form.addRadio("interferogram", "Interferogram", choices, state.outputColour[0]);
    form.addRadio("difinfero", "DifInfero", choices, state.outputColour[1]);
    form.addRadio("coherence", "Coherence", choices, state.outputColour[2]);
    if (!ctx.ui.form(form)) return;
    state.outputColour = {form.choice("interferogram"), form.choice("difinfero"), form.choice("coherence")};
}

// ---- reports

void phaseIncReport(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    if (!showsInterferometricPair(doc) || !openPair(doc)) {
        ctx.ui.message(kNotInterferometry);
        return;
    }
    const ConjugatePointTable& t = doc.moduleState<TiePointState>().table;
    ctx.ui.message(format("Phase inclination value \n Horizontal inc=%.4f cycle/tile\n\n Vertical inc=%.4f cycle/tile",
                          t.phaseIncH, t.phaseIncV));
}

void baselineReport(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    PairState* pair = openPair(doc);
    if (!showsInterferometricPair(doc) || !pair || !doc.slotDecoded(0) || !doc.slotDecoded(1)) {
        ctx.ui.message("This is not an infero pair");
        return;
    }
    const ConjugatePointTable& t = doc.moduleState<TiePointState>().table;
    if (!t.ready) {
        ctx.ui.message("Tie point table is not ready");
        return;
    }
    const auto& master = doc.reader(0).params();
    const auto& slave = doc.reader(1).params();
    const tiles::GlobalPoint at = baselineOrigin(pair->requestedOrigin, pair->masterGrid, master.pixel, master.line);
    const PairBaseline b =
        pairBaseline(master, slave, t, static_cast<double>(at.x), static_cast<double>(at.y));
    ctx.ui.message(baselineReportText(at, b));
}

bool hasDoc(const CommandContext& ctx) { return ctx.doc != nullptr; }

}  // namespace

void FringeState::close() {
    if (!scratchFringe.empty()) removeFile(scratchFringe);
}

void registerFringeCommands(app::AppCore& app) {
    namespace cmd = app::cmd;
    constexpr auto area = app::CommandArea::Insar;
    const auto add = [&](int id, void (*run)(CommandContext&)) { app.registerHandler(area, id, {run, hasDoc, {}}); };
    add(cmd::kApplyInclinationBySetParm, [](CommandContext& ctx) { setInclination(ctx, true); });
    add(cmd::kResetInclinationParameter, [](CommandContext& ctx) { setInclination(ctx, false); });
    add(cmd::kReturnToOriginalFringe, returnToOriginal);
    add(cmd::kInclinationControlOn, inclinationControlOn);
    add(cmd::kResetInclinationControl, resetInclinationControl);
    add(cmd::kFringeBiasModify, fringeBias);
    add(cmd::kCheckReversePhaseStatus, [](CommandContext& ctx) {
        ctx.ui.message(ctx.doc->moduleState<TiePointState>().table.reversePhase ? "Currently phase reverse is applyed"
                                                                                  : "Currently phase reverse is not applyed");
    });
    add(cmd::kSetResetReversePhase, reversePhase);
    add(cmd::kInferoInclination, [](CommandContext& ctx) {
        // Asks for a TIFF and does nothing with it.
        FileDialog dialog;
        dialog.filter = "*.tif";
        (void)ctx.ui.openFile(dialog);
    });
    add(cmd::kCalcFringeIncPattern, incPattern);
    add(cmd::kEraseIncPatternDraw, [](CommandContext& ctx) {
        if (auto* view = ctx.view()) view->state().inclinationShown = false;
    });
    add(cmd::kInferoPhaseIncParameter, phaseIncReport);
    add(cmd::kInferoOrbitDistanceParameter, baselineReport);
    add(cmd::kAverage3x3, discAverage);
    add(cmd::kNewQualityMaskGen, qualityMaskCommand);
    add(cmd::kFringeInterpolationByMask, interpolationByMask);
    add(cmd::kFringeColorWithoutIntensity, [](CommandContext& ctx) { colourFringeCommand(ctx, false); });
    add(cmd::kFringeColorWithIntensity, [](CommandContext& ctx) { colourFringeCommand(ctx, true); });
    add(cmd::kFringeImageColorComposite, colourComposite);
    add(cmd::kSaveTemporalInclinationFringe, saveTemporalInclination);
    add(cmd::kInferoOutputColorCombination, outputColourCombination);
}

}  // namespace tessarin::insar
