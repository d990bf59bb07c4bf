// Polarimetric and multi-temporal composites: the open modes, the open
// commands with their checks and pair projects, and the ThirdChannelCopy
// toggle. The multi-temporal modes live in multi_temporal_module.cpp.

#include "app/modules.h"

#include <cmath>
#include <filesystem>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "composites/composite_state.h"
#include "composites/multi_temporal_module.h"
#include "geometry/mapping.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/form.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace tessarin::composites {

namespace {

using app::CommandContext;
using document::CTessarinDoc;
using document::ObservationDates;
using document::OpenModeRow;
using tiles::TileKind;

// ---- building and showing

std::string cutPathOf(const std::string& overviewPath) {
    // The overview composite's name with its last 3 characters replaced by "cut".
    return (overviewPath.size() > 3 ? overviewPath.substr(0, overviewPath.size() - 3) : std::string()) + "cut";
}

void writeOverview(CompositeState& state) {
    writeWholeFile(state.overviewPath, overviewComposite(state.readable(), state.plan()));
}

void assembleComposite(CTessarinDoc& doc) {
    auto& state = doc.moduleState<CompositeState>();
    doc.setCanvasState(buildCompositeCanvas(doc.ctrorigin(), doc.grid(), state.readable(), state.plan(),
                                            state.cutPath, state.canvas));
}

// The scene of member 1 (all members share it): leader and header copy.
void decodeScene(CTessarinDoc& doc, const Member& first) {
    auto& reader = doc.reader(0);
    reader.setImagePath(joinPath(splitPath(first.base).folder, first.imageName));
    reader.setLookDirection(first.imageName);
    reader.setLeaderPath(first.leaderCopy);
    reader.DecodeLeaderFile();
    reader.DecodeImageFileDescriptor(first.headerCopy);
    doc.markSlotDecoded(0);
    doc.takeOverCalibration();
    const auto& p = reader.params();
    if (p.pixel <= 0 || p.line <= 0)
        throw Error(format("The header copy \"%s\" of this TileSet is missing or empty", first.headerCopy.c_str()));
}

// Amplitude composites take the look side from the incidence angle: it
// grows along the line for a right-looking scene. An angle that is not
// finite leaves the flag the name gave.
void lookSideFromIncidence(CTessarinDoc& doc) {
    auto& params = doc.reader(0).params();
    const int last = params.pixel - 1;
    if (last < 1) return;
    try {
        const auto angles = geometry::incidenceProfile(params, 0, 0, last, params.line, last);
        if (angles.size() >= 2 && std::isfinite(angles.front()) && std::isfinite(angles.back()))
            params.pointingLeft = angles.back() > angles.front() ? 0 : 1;
    } catch (const Error&) {
        // No usable geometry: keep the flag from the name.
    }
}

// The common open of every polarimetric composite, once its members are known.
bool openComposite(CTessarinDoc& doc, std::vector<Member> members, bool averagedCross) {
    decodeScene(doc, members.front());
    if (members.front().kind == TileKind::Amplitude) lookSideFromIncidence(doc);
    else doc.openState().amplitudeFlag = false;  // complex members are shown, whatever the name said
    const auto& p = doc.reader(0).params();
    auto& ts = doc.tileSet();
    doc.setGridFrom(p);
    ts.overviewReduction = document::kOverviewReduction;
    ts.kind = members.front().kind;
    ts.names = tiles::namesForExistingTileSet(members.front().tile);

    auto& state = doc.moduleState<CompositeState>();
    state.members = std::move(members);
    state.averagedCross = averagedCross;
    state.usable.assign(state.members.size(), true);
    for (std::size_t m = 1; m < state.members.size(); ++m) {
        if (state.members[m].tile.empty()) {
            state.usable[m] = false;  // an absent partner, announced already
        } else if (const auto reason = unusableReason(state.members[m], ts.grid)) {
            state.usable[m] = false;
            doc.ui().message("The partner TileSet cannot be used: " + *reason + "; its channel stays zero");
        }
    }
    state.overviewPath = state.members.front().index + "FBDCompo";
    state.cutPath = cutPathOf(state.overviewPath);
    writeOverview(state);
    ts.overviewPath = state.overviewPath;
    if (averagedCross) {
        ts.channelLabels = {"HH", "(HV+VH)/2", "VV"};
    } else {
        ts.channelLabels.clear();
        for (const auto& m : state.members) ts.channelLabels.push_back(document::polarisationOf(m.tile));
    }
    ts.canvasPath = state.cutPath;
    ts.displayChannels = static_cast<int>(kCompositeChannels);
    doc.renderOverview();
    doc.setCtrorigin({document::kDefaultCentre, document::kDefaultCentre});
    doc.assembleCanvas();
    doc.renderCanvasDisplays();
    doc.openState().hasData = true;
    return true;
}

TileKind requireKind(const CTessarinDoc& doc, TileKind wanted) {
    TileKind kind{};
    if (!tiles::tileKindFromName(doc.path(), kind) || kind != wanted)
        throw Error(format("\"%s\" is not %s tile file (its name must end in \"%s\")", doc.fileName().c_str(),
                           wanted == TileKind::Complex ? "a complex" : "an amplitude",
                           wanted == TileKind::Complex ? "tile.cpx" : "tile"));
    return kind;
}

// Dual polarisation: the selected TileSet and its partner by the partner rule.
bool openDual(CTessarinDoc& doc, TileKind kind) {
    requireKind(doc, kind);
    std::vector<Member> members{memberOf(doc.path(), kind)};
    const std::string partner = partnerOf(doc.path());
    if (partner.empty()) {
        // No partner: member 2 is absent and its channels stay zero.
        doc.ui().status("\"" + doc.fileName() + "\" has no partner polarisation: channels 1 and 2 stay zero");
        members.push_back(Member{});
    } else {
        members.push_back(memberOf(partner, kind));
    }
    return openComposite(doc, std::move(members), false);
}

bool openDualAmplitude(CTessarinDoc& doc) { return openDual(doc, TileKind::Amplitude); }
bool openDualComplex(CTessarinDoc& doc) { return openDual(doc, TileKind::Complex); }

// Quad polarisation: the members from the pair project; an RGB assignment
// number picks the channels by its label.
bool openQuad(CTessarinDoc& doc) {
    const PolProject project = readPolProject(doc.path());
    const auto member = [](const std::string& path) { return memberOf(path, TileKind::Complex); };
    if (!project.rgb) return openComposite(doc, {member(project.member1), member(project.member2)}, false);
    const std::string& any = project.member1;
    const auto pol = [&](const char* p) { return member(quadChannelPath(any, p)); };
    switch (*project.rgb) {
        case 1: return openComposite(doc, {pol("HH"), pol("VV")}, false);
        case 2: return openComposite(doc, {pol("VV"), pol("VH")}, false);
        case 3: {
            std::vector<Member> four{pol("HH"), pol("HV"), pol("VH"), pol("VV")};
            bool all = true;
            for (const auto& m : four) all = all && fileExists(m.tile);
            if (all) return openComposite(doc, std::move(four), true);
            doc.ui().status("HH-(HV+VH)/2-VV needs the HH, HV, VH and VV TileSets: showing HH-HV");
            return openComposite(doc, {pol("HH"), pol("HV")}, false);
        }
        default: return openComposite(doc, {pol("HH"), pol("HV")}, false);
    }
}

OpenModeRow compositeRow(int mode, std::string_view label, std::string_view message) {
    OpenModeRow row;
    row.mode = mode;
    row.label = label;
    row.message = message;
    row.threeChannelCanvas = true;
    return row;
}

void addOpenModes(app::AppCore& app) {
    OpenModeRow fbd15 = compositeRow(2, "AmpFBD", "Open ALOS2 L1.5FBD Tile image Open");
    fbd15.levelCode = document::kLevelCodeAmplitude;
    fbd15.channelCount = 2;
    fbd15.displayType = 1;
    fbd15.amplitudeFlag = true;
    fbd15.existingTiles = true;
    fbd15.dates = ObservationDates::One;
    fbd15.open = openDualAmplitude;
    fbd15.assemble = assembleComposite;
    app.addOpenMode(fbd15);

    OpenModeRow fbd11 = compositeRow(3, "CpxFBD", "Open ALOS2 L1.1FBD Tile image Open");
    fbd11.levelCode = document::kLevelCodeComplex;
    fbd11.channelCount = 2;
    fbd11.displayType = 1;
    fbd11.complexFlag = true;
    fbd11.existingTiles = true;
    fbd11.dates = ObservationDates::One;
    fbd11.open = openDualComplex;
    fbd11.assemble = assembleComposite;
    fbd11.profileOrtho = true;
    app.addOpenMode(fbd11);

    addMultiTemporalModes(app);

    for (int mode : {33, 34, 35, 36}) {
        OpenModeRow quad = compositeRow(mode, "CpxQBD", "Open ALOS2 L1.1QBD Tile image Open");
        quad.levelCode = document::kLevelCodeComplex;
        quad.channelCount = 2;
        quad.displayType = 1;
        quad.complexFlag = true;
        quad.existingTiles = true;
        quad.open = openQuad;
        quad.assemble = assembleComposite;
        app.addOpenMode(quad);
    }
}

// ---- commands

std::optional<std::string> chooseFile(CommandContext& ctx, const app::CommandInfo& info) {
    FileDialog dialog;
    dialog.title = std::string(info.dialogTitle);
    dialog.filter = std::string(info.filter);
    return ctx.ui.openFile(dialog);
}

void openUnder(CommandContext& ctx, const app::CommandInfo& info, const std::string& path) {
    ctx.app.linkBlock().writeOpenMode(info.openMode);
    ctx.app.openDocument(path);
}

// "Pol Compo Dialog": the RGB assignment, 0 to 3; empty when cancelled.
std::optional<int> askRgbAssignment(Ui& ui) {
    Form form("Pol Compo Dialog");
    form.addRadio("mode", "Display Composite (RGB)", {"HH-HV-null", "HH-VV-null", "VV-VH-null", "HH-(HV+VH)/2-VV"}, 0);
    if (!ui.form(form)) return std::nullopt;
    return form.choice("mode");
}

struct QuadCommand {
    int id;
    const char* first;
    const char* second;
    bool asksRgb;
    bool writesRgb;
};

void registerQuadCommand(app::AppCore& app, const QuadCommand& q) {
    const app::CommandInfo* info = app::findCommand(q.id);
    app.registerHandler(app::CommandArea::Composites, q.id,
                        {[q, info](CommandContext& ctx) {
                             const auto chosen = chooseFile(ctx, *info);
                             if (!chosen) return;
                             PolProject project;
                             if (q.asksRgb) {
                                 const auto rgb = askRgbAssignment(ctx.ui);
                                 if (!rgb) return;
                                 if (q.writesRgb) project.rgb = *rgb;
                             }
                             // Absolute member paths, so that the project opens from anywhere.
                             const std::string selected = std::filesystem::absolute(*chosen).string();
                             project.member1 = quadChannelPath(selected, q.first);
                             project.member2 = quadChannelPath(selected, q.second);
                             const std::string prj = polProjectPath(selected);
                             writePolProject(prj, project);  // a failed write stops here
                             openUnder(ctx, *info, prj);
                         },
                         {},
                         {}});
}

}  // namespace

void registerModule(app::AppCore& app) {
    namespace cmd = app::cmd;
    constexpr auto area = app::CommandArea::Composites;
    addOpenModes(app);

    // The level 1.5 FBD composite needs the partner before anything opens.
    const app::CommandInfo* fbd15 = app::findCommand(cmd::kAlos2L15FbdComposite);
    app.registerHandler(area, cmd::kAlos2L15FbdComposite,
                        {[fbd15](CommandContext& ctx) {
                             const auto chosen = chooseFile(ctx, *fbd15);
                             if (!chosen) return;
                             const std::string partner = partnerOf(*chosen);
                             if (partner.empty() || !File::tryOpen(partner, File::Mode::Read)) {
                                 ctx.ui.message("Combination Image does not exist");
                                 return;
                             }
                             openUnder(ctx, *fbd15, *chosen);
                         },
                         {},
                         {}});
    for (const QuadCommand& q : {QuadCommand{cmd::kHhHvComposite, "HH", "HV", false, false},
                                 QuadCommand{cmd::kQuadComposite, "HH", "HV", false, false},
                                 QuadCommand{cmd::kHhVvComposite, "HH", "VV", false, false},
                                 QuadCommand{cmd::kVvHvComposite, "VV", "VH", true, false},
                                 QuadCommand{cmd::kHhVhComposite, "HH", "VH", true, true}})
        registerQuadCommand(app, q);
    registerMultiTemporalCommands(app);
    app.registerOpenCommands(area);

    // "Color Data mode (2 color/3 color=checked)": flips ThirdChannelCopy
    // and rebuilds the composite at once, so the picture matches the mark.
    app.registerHandler(
        area, cmd::kColorDataMode,
        {[](CommandContext& ctx) {
             CTessarinDoc& doc = *ctx.doc;
             auto& state = doc.moduleState<CompositeState>();
             state.thirdChannelCopy = !state.thirdChannelCopy;
             if (state.members.empty()) return;
             BusyScope busy(ctx.ui);
             writeOverview(state);
             doc.renderOverview();
             doc.assembleCanvas();
             doc.renderCanvasDisplays();
         },
         [](const CommandContext& ctx) { return ctx.doc != nullptr; },
         [](const CommandContext& ctx) {
             const auto* state = ctx.doc ? ctx.doc->findModuleState<CompositeState>() : nullptr;
             return state && state->thirdChannelCopy;
         }});
}

}  // namespace tessarin::composites
