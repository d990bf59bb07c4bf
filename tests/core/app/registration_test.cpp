// What the modules register against the command table and the open-mode
// table: one source of truth, no command or mode left half registered.

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <new>
#include <set>
#include <stdexcept>
#include <string_view>
#include <tuple>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "app/command_table.h"
#include "display/raw_dib.h"
#include "platform/error.h"
#include "platform/error_boundary.h"
#include "platform/format.h"
#include "platform/ui.h"

using namespace tessarin;
using namespace tessarin::app;
using document::ObservationDates;

namespace {

struct Registered {
    ScriptedUi ui;
    std::string link = format("link_data_regtest_%d", static_cast<int>(::getpid()));
    AppCore core{ui, link};
    Registered() { registerModules(core); }
    ~Registered() { LinkBlock::remove(link); }
};

}  // namespace

TEST(Registration, HandlersAndTableAgree) {
    Registered r;
    const AppCore& core = r.core;
    for (int id : core.registeredIds()) {
        const CommandInfo* info = findCommand(id);
        ASSERT_NE(info, nullptr) << id << " is registered but not in the table";
        EXPECT_TRUE(info->hasHandler) << id << " has a handler but the table says it has none";
        EXPECT_EQ(core.registeredArea(id), info->area) << id;
    }
    EXPECT_FALSE(core.completeAreas().empty());
    for (const CommandInfo& info : commandTable()) {
        if (!info.hasHandler || !core.completeAreas().count(info.area)) continue;
        EXPECT_TRUE(core.hasRegisteredHandler(info.id))
            << info.id << " \"" << info.caption << "\" belongs to a complete area but has no handler";
    }
    for (int id : kFrameCommands) {
        const CommandInfo* info = findCommand(id);
        ASSERT_NE(info, nullptr) << id;
        EXPECT_EQ(info->owner, CommandOwner::Framework) << id;
    }
    // An open command exists only for a mode some module knows; each mode
    // with an opener can be reached from its commands.
    std::set<int> reachable;
    for (const CommandInfo& info : commandTable()) {
        if (info.openMode < 0) continue;
        const auto* row = core.openModes().find(info.openMode);
        ASSERT_NE(row, nullptr) << "command " << info.id << " writes OpenMode " << info.openMode << " nobody knows";
        if (core.hasRegisteredHandler(info.id)) reachable.insert(info.openMode);
        if (core.completeAreas().count(info.area)) {
            EXPECT_EQ(core.hasRegisteredHandler(info.id), row->open != nullptr) << info.id;
        }
    }
    for (const auto* row : core.openModes().rows())
        if (row->open) {
            EXPECT_TRUE(reachable.count(row->mode)) << "OpenMode " << row->mode << " has no open command";
        }
}

TEST(Registration, RegisteringOutsideTheTableOrTheAreaIsRefused) {
    Registered r;
    EXPECT_THROW(r.core.registerHandler(CommandArea::Shell, 12345, {[](CommandContext&) {}, {}, {}}), std::logic_error);
    EXPECT_THROW(r.core.registerHandler(CommandArea::Shell, cmd::kCalcPvStatistics, {[](CommandContext&) {}, {}, {}}),
                 std::logic_error);
    document::OpenModeRow again;
    again.mode = 5;
    EXPECT_THROW(r.core.addOpenMode(again), std::logic_error) << "a second row for one mode";
}

// What the view and the reports ask of a mode's row.
TEST(Registration, OpenModeRowsAnswerTheView) {
    Registered r;
    struct Expect {
        int mode;
        bool threeChannels, twoImages, imageName;
        ObservationDates dates;
        bool built;
    };
    using D = ObservationDates;
    const Expect table[] = {
        {0, false, false, false, D::One, true},    {1, false, false, false, D::One, true},
        {2, true, false, false, D::One, true},     {3, true, false, false, D::One, true},
        {4, false, false, false, D::One, true},    {5, false, false, false, D::One, true},
        {6, true, false, false, D::Two, true},      {7, true, false, false, D::Two, true},
        {8, false, true, false, D::Two, true},     {9, true, false, false, D::Two, true},
        {10, false, true, false, D::Two, true},    {11, false, false, false, D::One, true},
        {12, false, false, false, D::None, true}, {16, false, true, true, D::None, true},
        {26, false, false, false, D::None, true}, {28, false, false, false, D::None, true},
        {27, false, false, false, D::None, true}, {29, false, false, false, D::None, true},
        {20, true, false, false, D::None, true}, {30, false, true, false, D::None, true},
        {31, false, false, false, D::None, false}, {33, true, false, false, D::None, true},
        {36, true, false, false, D::None, true}, {50, false, false, false, D::One, true},
        {51, false, false, false, D::One, true},   {52, false, false, false, D::One, true},
        {53, false, false, false, D::One, true},   {200, false, false, false, D::None, true},
        {1000, false, false, false, D::One, true},
    };
    for (const Expect& e : table) {
        const auto* row = r.core.openModes().find(e.mode);
        ASSERT_NE(row, nullptr) << e.mode;
        EXPECT_EQ(row->threeChannelCanvas, e.threeChannels) << e.mode;
        EXPECT_EQ(row->twoImages, e.twoImages) << e.mode;
        EXPECT_EQ(row->showsImageName, e.imageName) << e.mode;
        EXPECT_EQ(row->dates, e.dates) << e.mode;
        EXPECT_EQ(row->open != nullptr, e.built) << e.mode;
    }
    for (int unknown : {13, 14, 32, 37, 999, 1001}) EXPECT_EQ(r.core.openModes().find(unknown), nullptr) << unknown;
    // Where the tie-point table builds the display, and what creating one says.
    const std::tuple<int, bool, std::string_view> tiePoints[] = {
        {6, true, ""}, {8, false, "Close View and select 'Open ALOS2 Infero prj'"}, {9, true, ""},
        {10, false, "Close View and select 'Open ALOS2L1.5 MT Compo'"}, {4, false, ""}};
    for (const auto& [mode, rebuilds, created] : tiePoints) {
        const auto& rules = r.core.openModes().find(mode)->tiePoints;
        EXPECT_EQ(rules.rebuildsFromTable, rebuilds) << mode;
        EXPECT_EQ(rules.createdMessage, created) << mode;
    }
    // The pair commands: which modes each one serves. Every other mode says
    // no to all of them.
    struct PairExpect {
        int mode;
        bool interferometry, inclinationDisplay, colourCombination, redraws;
        std::string_view compositeRefusal;
    };
    const PairExpect pairs[] = {
        {8, true, true, false, false, "Restart Program by selcting Open Alo2 Infero"},
        {9, true, true, true, true, ""},
        {30, false, true, false, true, ""},
        {31, false, false, false, false, ""},
    };
    for (const auto* row : r.core.openModes().rows()) {
        PairExpect e{row->mode, false, false, false, false, ""};
        for (const auto& p : pairs)
            if (p.mode == row->mode) e = p;
        EXPECT_EQ(row->interferometry, e.interferometry) << row->mode;
        EXPECT_EQ(row->inclinationDisplay, e.inclinationDisplay) << row->mode;
        EXPECT_EQ(row->colourCombination, e.colourCombination) << row->mode;
        EXPECT_EQ(row->tiePoints.redrawsPureProducts, e.redraws) << row->mode;
        EXPECT_EQ(row->tiePoints.compositeRefusal, e.compositeRefusal) << row->mode;
    }
}

// The view's inclination keys change a ramp only where "Apply Inclination
// by set Parm" works: the two interferometric pair modes.
TEST(Registration, InclinationKeysChangeTheRampOfThePairModes) {
    Registered r;
    for (const auto* row : r.core.openModes().rows())
        EXPECT_EQ(row->stepInclination != nullptr, row->mode == 8 || row->mode == 9) << row->mode;
}

// Which modes the ortho conversion runs through the incidence profile: the
// single complex products, the complex TileSets and the interferometric
// pairs; the others through the mapping table.
TEST(Registration, ProfileOrthoModes) {
    Registered r;
    for (const auto* row : r.core.openModes().rows()) {
        const bool profile = row->mode == 3 || row->mode == 5 || row->mode == 8 || row->mode == 9;
        EXPECT_EQ(row->profileOrtho, profile) << row->mode;
    }
    for (int id : {cmd::kTileImageToOrtho, cmd::kTileImageToOrthoSlopeCorrection, cmd::kForeshorteningSimulation,
                   cmd::kOrthoDisplay32819, cmd::kOrthoDisplay32820, cmd::kSetSlopeCorrection})
        EXPECT_TRUE(r.core.hasRegisteredHandler(id)) << id;
}

TEST(Registration, ImpliedOpenModeOfARecentFile) {
    Registered r;
    const std::pair<std::string, std::optional<int>> table[] = {
        {"/d/IMG-HH-ALOS2011502960-140724-UBSL1.5GUA", 0},
        {"/d/IMG-HV-ALOS2011502960-140724-UBSL1.1__A", 1},
        {"/w/IMG-HH-ALOS2011502960-140724-UBSL1.5GUAtile", 4},
        {"/w/IMG-HH-ALOS2011502960-140724-UBSL1.1__Atile.cpx", 5},
        {"/d/LED-ALOS2011502960-140724-UBSL1.1__A", std::nullopt},
        {"/d/IMG-HH-ALPSRP011502960-H1.5GUA", 50},
        {"/d/IMG-HV-ALPSRP011502960-H1.1__A", 51},
        {"/w/IMG-HH-ALPSRP011502960-H1.5GUAtile", 52},
        {"/w/IMG-HH-ALPSRP011502960-H1.1__Atile.cpx", 53},
        {"/d/IMG-HH-ALPSRP011502960-H1.0__A", std::nullopt},
        {"/d/notes.txt", std::nullopt},
        {"/w/flood.mlt", 6},
    };
    for (const auto& [path, mode] : table) EXPECT_EQ(r.core.impliedOpenMode(path), mode) << path;
}

// One boundary: whatever a command throws is shown as one message and the
// program goes on.
TEST(ErrorBoundary, EveryKindOfFailureBecomesOneMessage) {
    struct Case {
        std::function<void()> fail;
        std::string expected;
    };
    const Case cases[] = {
        {[] { throw Error("\"x.cnj\" is too short"); }, "\"x.cnj\" is too short"},
        {[] { throw std::bad_alloc(); }, "not enough memory for Pure SLC Tile"},
        {[] { throw std::out_of_range("vector::_M_range_check"); }, "Pure SLC Tile: vector::_M_range_check"},
        {[] { throw 42; }, "unexpected failure of Pure SLC Tile"},
    };
    for (const Case& c : cases) {
        Registered r;
        const auto fail = c.fail;
        r.core.registerHandler(CommandArea::Rasters, cmd::kPureSlcTile, {[fail](CommandContext&) { fail(); }, {}, {}});
        EXPECT_TRUE(r.core.run(*findCommand(cmd::kPureSlcTile), nullptr));
        EXPECT_EQ(r.ui.messages, std::vector<std::string>{c.expected});
    }
}

TEST(ErrorBoundary, SlotLookupsSayWhatIsMissing) {
    display::DisplaySlots slots;
    for (int s : {-1, display::kDisplaySlots}) EXPECT_THROW(slots.slot(s), Error) << s;
    EXPECT_THROW(slots.gain(3, 0), Error);
    EXPECT_THROW(slots.gain(0, display::kGainColumns), Error);
    EXPECT_NO_THROW(slots.slot(display::slot::kExport));
}
