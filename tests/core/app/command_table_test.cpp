#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/command_table.h"

using namespace tessarin::app;

namespace {

std::multiset<int> idsOf(const std::vector<const CommandInfo*>& entries) {
    std::multiset<int> ids;
    for (const CommandInfo* c : entries) ids.insert(c->id);
    return ids;
}

std::string topPopup(const CommandInfo& c) {
    const auto levels = popupLevels(c.popup);
    return levels.empty() ? std::string() : std::string(levels.front());
}

const CommandInfo& entryIn(int menu, int id) {
    for (const CommandInfo* c : menuEntries(menu)) {
        if (c->id == id) return *c;
    }
    throw std::runtime_error("no entry " + std::to_string(id) + " in menu " + std::to_string(menu));
}

// The document menu by popup, as the document-window table lists it, with
// the entries that have no handler placed where their captions belong.
// The polygon popup is checked on its own below.
const std::map<std::string, std::multiset<int>> kDocumentMenu = {
    {"File", {32958, 32792, 32816, 32830, 32927, 32791, 57607, 57609, 57606, 32954}},
    {"View", {32784, 32785, 32894, 32895}},
    {"Scene Info", {32897, 32898, 32943, 32908, 32918, 32968, 32969, 32972}},
    {"MT posiotion adjust",
     {32959, 32907, 32849, 32846, 32944, 32941, 32942, 32890, 32889, 32960, 32886, 32945}},
    {"Dem", {32788, 32862, 32863, 32789, 32790}},
    {"Tile (export/selction)", {32915, 32964, 32965, 32963, 32896, 32905}},
    {"Destripe Fringe",
     {32961, 32962, 32885, 32909, 32910, 32882, 32884, 32883, 32913, 32919, 32920, 32901, 32902, 32903}},
    {"Fringe Filter", {32892, 32946}},
    {"Disabled", {32779, 32823, 32859, 32952, 32951, 32848, 32847, 32851, 32854, 32857, 32858, 32869, 32881,
                  32800, 32815, 32819, 32820, 32852, 32916, 32917, 32957, 32831, 32842, 32843, 32844, 32845,
                  32947, 32948, 32949, 32950, 32893, 32956, 32824, 32853}},
    {"Select", {32817, 32822, 32839, 32873, 32874, 32875, 32875, 32876, 32825, 32827, 32826}},
};

// The id found for a query, -1 when nothing is found.
int foundId(std::string_view query) {
    const CommandInfo* c = findCommand(query);
    return c ? c->id : -1;
}

}  // namespace

TEST(CommandTable, NoDocumentMenuHoldsTheApplicationCommands) {
    // Open commands with a menu entry, the other application commands, the
    // entries without a handler, and About.
    const std::multiset<int> application = {
        32771, 32780, 32966, 32787, 32794, 32795, 32781, 32786, 32973, 32974, 32975, 32976, 32782,
        32958, 32887, 32802, 32801, 32832, 32867, 32868, 32797, 32798, 32821, 32828, 32836, 32870,
        32871, 32814, 32955, 32970, 32971, 32877, 32878, 32891, 32921, 32924, 32879, 32880, 32834, 57664};
    std::multiset<int> got;
    std::set<int> framework;
    for (const CommandInfo* c : menuEntries(kMenuNoDocument)) {
        if (c->owner == CommandOwner::Framework) {
            framework.insert(c->id);
            EXPECT_EQ(c->area, CommandArea::Framework) << c->id;
        } else {
            got.insert(c->id);
            EXPECT_EQ(c->owner, CommandOwner::Application) << c->id;
        }
    }
    EXPECT_EQ(got, application);
    for (int id : {57602, 57606, 57616, 57665, 59393, kDefaultApplicationLook}) {
        EXPECT_TRUE(framework.count(id)) << id;
    }
    EXPECT_EQ(topPopup(entryIn(kMenuNoDocument, 59393)), "View");
    EXPECT_EQ(topPopup(entryIn(kMenuNoDocument, kDefaultApplicationLook)), "View");
    EXPECT_EQ(topPopup(entryIn(kMenuNoDocument, 57664)), "Help");
    EXPECT_EQ(entryIn(kMenuNoDocument, 57664).caption, "&About Tessarin...");
    EXPECT_EQ(entryIn(kMenuNoDocument, 57665).caption, "E&xit");
    EXPECT_EQ(entryIn(kMenuNoDocument, 57616).caption, "Recent File");

    // Open commands first, in the order of their table, then the tools, then
    // the framework's file entries.
    std::vector<int> order;
    for (const CommandInfo* c : menuEntries(kMenuNoDocument)) {
        if (c->openMode >= 0) order.push_back(c->id);
    }
    const std::vector<int> tableOrder = {32771, 32780, 32966, 32787, 32794, 32795, 32781, 32786, 32973, 32974, 32975,
                                         32976, 32782, 32958, 32887, 32802, 32801, 32832, 32867, 32868, 32797, 32798,
                                         32821, 32828, 32836, 32870, 32871, 32955, 32970, 32971, 32814};
    EXPECT_EQ(order, tableOrder);
    const auto entries = menuEntries(kMenuNoDocument);
    auto position = [&](int id) {
        return std::find_if(entries.begin(), entries.end(), [id](const CommandInfo* c) { return c->id == id; }) -
               entries.begin();
    };
    EXPECT_LT(position(32814), position(32877));
    EXPECT_LT(position(32921), position(57602));
    EXPECT_LT(position(57602), position(57606));
    EXPECT_LT(position(57616), position(57665));
}

TEST(CommandTable, DocumentMenuPopupsAndTheirCommands) {
    std::map<std::string, std::multiset<int>> got;
    std::vector<std::string> popupOrder;
    for (const CommandInfo* c : menuEntries(kMenuDocument)) {
        const std::string top = topPopup(*c);
        if (popupOrder.empty() || popupOrder.back() != top) popupOrder.push_back(top);
        if (top != "Polygon ") got[top].insert(c->id);
    }
    // Each popup once, in the listed order: the entries of a popup are contiguous.
    const std::vector<std::string> expectedOrder = {"File",   "View",     "Scene Info",    "MT posiotion adjust",
                                                    "Polygon ", "Dem",    "Tile (export/selction)",
                                                    "Destripe Fringe", "Fringe Filter", "Disabled", "Select"};
    EXPECT_EQ(popupOrder, expectedOrder);
    EXPECT_EQ(got, kDocumentMenu);

    // Sub-popups named by the table.
    EXPECT_EQ(entryIn(kMenuDocument, 32792).popup, "File/Save Tile image");
    EXPECT_EQ(entryIn(kMenuDocument, 32954).popup, "File/Test");
    EXPECT_EQ(entryIn(kMenuDocument, 32784).popup, "View/Display Phase Image");
    EXPECT_EQ(entryIn(kMenuDocument, 32862).popup, "Dem/Select Dem Source");
    EXPECT_EQ(entryIn(kMenuDocument, 32852).popup, "Disabled/Ortho Conversion");
    EXPECT_EQ(entryIn(kMenuDocument, 57609).popup, "File");
}

TEST(CommandTable, PolygonPopupHoldsTheDrawingCommandsInOrder) {
    std::vector<const CommandInfo*> polygon;
    for (const CommandInfo* c : menuEntries(kMenuDocument)) {
        if (c->popup == "Polygon ") polygon.push_back(c);
    }
    const std::vector<std::string_view> captions = {
        "Draw Polygon On/Off",  "Draw Poly ID number",   "Delete All Poly",       "Delete a Poly",
        "Save Polygon in Lat/lon", "Import Lat/lon Polygon", "Save Poly (pix/lin)", "Import Poly (pix/lin)",
        "Reset Poly Start Flag", "Display Polygon List", "Calc PV Statistics"};
    ASSERT_EQ(polygon.size(), captions.size());
    std::set<int> ids;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        EXPECT_EQ(polygon[i]->caption, captions[i]);
        EXPECT_GE(polygon[i]->id, 32805);
        EXPECT_LE(polygon[i]->id, 32914);
        EXPECT_EQ(polygon[i]->owner, CommandOwner::View);
        ids.insert(polygon[i]->id);
    }
    EXPECT_EQ(polygon.front()->id, 32805);
    EXPECT_EQ(polygon.back()->id, 32914);
    EXPECT_EQ(ids.size(), polygon.size());
    EXPECT_TRUE(polygon[0]->checkable);
    EXPECT_TRUE(polygon[1]->checkable);
}

TEST(CommandTable, IdentifiersAreUniqueExceptTheSharedConversionId) {
    std::set<int> everywhere;
    for (const CommandInfo& c : commandTable()) everywhere.insert(c.id);
    for (int menu : {kMenuNoDocument, kMenuDocument, kMenuSceneCentre, kMenuEditContext, kNoMenu}) {
        const auto ids = idsOf(menuEntries(menu));
        for (int id : std::set<int>(ids.begin(), ids.end())) {
            EXPECT_EQ(ids.count(id), id == 32875 ? 2u : 1u) << "menu " << menu << " id " << id;
        }
    }
    // An id placed in more than one menu is the same command: same caption,
    // owner and open mode (only the open commands and Print Setup repeat).
    for (const CommandInfo& a : commandTable()) {
        for (const CommandInfo& b : commandTable()) {
            if (&a == &b || a.id != b.id || a.id == 32875) continue;
            EXPECT_EQ(a.caption, b.caption) << a.id;
            EXPECT_EQ(a.owner, b.owner) << a.id;
            EXPECT_EQ(a.openMode, b.openMode) << a.id;
        }
    }
    // The two captions of 32875, both in "Select".
    std::vector<std::string_view> shared;
    for (const CommandInfo* c : menuEntries(kMenuDocument)) {
        if (c->id == 32875) {
            shared.push_back(c->caption);
            EXPECT_EQ(c->popup, "Select");
            EXPECT_TRUE(c->hasHandler);
        }
    }
    EXPECT_EQ(shared, (std::vector<std::string_view>{"Convert Float ByteOrder", "Convert Signed Short 2 Tiff"}));
}

TEST(CommandTable, SmallMenusAndIdentifierOnlyCommands) {
    const auto centre = menuEntries(kMenuSceneCentre);
    ASSERT_EQ(centre.size(), 2u);
    EXPECT_EQ(centre[0]->id, 32777);
    EXPECT_EQ(centre[0]->caption, "Input Scene Center Pos.");
    EXPECT_FALSE(centre[0]->hasHandler);
    EXPECT_EQ(centre[1]->id, 32778);
    EXPECT_EQ(centre[1]->caption, "Put Scene Center Address");
    EXPECT_TRUE(centre[1]->hasHandler);

    const auto edit = menuEntries(kMenuEditContext);
    ASSERT_EQ(edit.size(), 3u);
    EXPECT_EQ(edit[0]->id, 57635);
    EXPECT_EQ(edit[1]->id, 57634);
    EXPECT_EQ(edit[2]->id, 57637);
    for (const CommandInfo* c : edit) {
        EXPECT_EQ(c->popup, "Edit");
        EXPECT_EQ(c->owner, CommandOwner::Framework);
    }

    EXPECT_EQ(idsOf(menuEntries(kNoMenu)),
              (std::multiset<int>{32860, 32925, 32926, 32937, 32938, 32967, 32776}));
    for (const CommandInfo* c : menuEntries(kNoMenu)) {
        EXPECT_TRUE(c->caption.empty()) << c->id;
        EXPECT_TRUE(c->hasHandler) << c->id;
    }
    // Everything that sits in a menu shows a caption.
    for (const CommandInfo& c : commandTable()) {
        if (c.menu != kNoMenu) {
            EXPECT_FALSE(c.caption.empty()) << c.id;
        }
    }
}

TEST(CommandTable, EntriesWithoutHandlerAreExactlyTheListedOnes) {
    std::set<int> disabled;
    for (const CommandInfo& c : commandTable()) {
        if (!c.hasHandler) {
            disabled.insert(c.id);
            EXPECT_EQ(c.area, CommandArea::None) << c.id;
            EXPECT_FALSE(c.checkable) << c.id;
            EXPECT_EQ(c.openMode, -1) << c.id;
        }
    }
    EXPECT_EQ(disabled, (std::set<int>{32924, 32879, 32880, 32834, 32927, 32791, 32785, 32969, 32916, 32917, 32901,
                                       32824, 32853, 32777}));
    // "CPX image Phase" has a handler that does nothing.
    const CommandInfo* phase = findCommand(32784);
    ASSERT_NE(phase, nullptr);
    EXPECT_TRUE(phase->hasHandler);
    EXPECT_EQ(phase->area, CommandArea::None);
    EXPECT_EQ(entryIn(kMenuDocument, 32927).popup, "File/Save Tile image");
    EXPECT_EQ(entryIn(kMenuDocument, 32785).popup, "View/Display Phase Image");
}

TEST(CommandTable, CaptionsKeepTheirExactSpelling) {
    const std::map<int, std::string_view> captions = {
        {32879, "Modify JAXA ALOS2 "},
        {32964, "Export Multiple Tiles "},
        {32956, "Export amplitude alone KML for  Infero Data"},
        {32894, "Gographic expression to (D:M:S)"},
        {32895, "Geographic expression to (decimal)"},
        {32787, "...."},
        {32817, "Deam Table Generation"},
        {32893, "Export One Stripe Orhto"},
        {32948, "TopRight PickUp(Manual"},
        {32949, "BottomLeft PickUp(Manua)"},
        {32800, "Tile Image To Orhto"},
        {32852, "ForeShortenig Simulation"},
        {32965, "Infero out put color combination"},
        {32945, "Color Data mode (2 color/3 color=checked)"},
        {32849, "Load Existing Conjugatepoint data"},
        {32972, "Check Orbit by image address(test)"},
        {32966, "ALOS2 ScanSAR SLC(L1.1) Image"},
        {32828, "Pure SLC Raster Image (flt point)"},
        {32913, "Infero Inclination"},
        {32779, "Image Center Modify"},
        // The inter-image commands keep their original (UTF-8) captions,
        // the first with a half-width opening parenthesis.
        {32825, "\xe7\x94\xbb\xe5\x83\x8f\xe9\x96\x93\xe6\xb8\x9b\xe7\xae\x97(\xe8\xa4\x87\xe7\xb4\xa0\xe6\xb8\x9b"
                "\xe7\xae\x97\xef\xbc\x89"},
        {32827, "\xe7\x94\xbb\xe5\x83\x8f\xe9\x96\x93\xe6\xb8\x9b\xe7\xae\x97\xef\xbc\x88\xe7\xb5\xb6\xe5\xaf\xbe"
                "\xe5\x80\xa4\xe6\xb8\x9b\xe7\xae\x97\xef\xbc\x89"},
        {32826, "\xe7\x94\xbb\xe5\x83\x8f\xe9\x96\x93\xe7\x9b\xb8\xe9\x96\xa2\xe4\xbf\x82\xe6\x95\xb0"},
    };
    for (const auto& [id, caption] : captions) {
        const CommandInfo* c = findCommand(id);
        ASSERT_NE(c, nullptr) << id;
        EXPECT_EQ(c->caption, caption) << id;
    }
    EXPECT_EQ(entryIn(kMenuDocument, 32805).popup, "Polygon ");
    EXPECT_EQ(topPopup(entryIn(kMenuDocument, 32915)), "Tile (export/selction)");
    EXPECT_EQ(topPopup(entryIn(kMenuDocument, 32959)), "MT posiotion adjust");
}

TEST(CommandTable, CheckMarks) {
    for (int id : {32945, 32896, 32894, 32895, 59393}) {
        const CommandInfo* c = findCommand(id);
        ASSERT_NE(c, nullptr) << id;
        EXPECT_TRUE(c->checkable) << id;
    }
    for (int id : {32771, 32959, 32892, 57664}) EXPECT_FALSE(findCommand(id)->checkable) << id;
}

TEST(CommandTable, OpenCommandsCarryModeTitleAndFilter) {
    struct Open {
        int id;
        int mode;
        std::string_view title;
        std::string_view filter;
    };
    const std::vector<Open> expected = {
        {32771, 0, "Select PALSAR2 L1.5/3.1 file", "*1.5*"},
        {32780, 1, "Select PALSAR2 L|1.1 file", "*1.1*"},
        {32966, 11, "Select PALSAR2 L1.1 file", ""},
        {32787, 11, "Select CosmoSkymed SLC file", ""},
        {32794, 4, "", "tile Files (*tile)|*tile|All Files (*.*)|*.*||"},
        {32795, 5, "", "cpx Files (*tile.cpx)|*tile.cpx||"},
        {32781, 2, "Select PALSAR2 L1.5/3.1 file", "*.*tile"},
        {32786, 3, "Select PALSAR2 L1.1 file", "*cpx"},
        {32973, 33, "Select PALSAR2 QUAD L1.1 file (any channel of QD", "*cpx"},
        {32974, 34, "Select PALSAR2 QUAD L1.1 file (any channel of QD", "*cpx"},
        {32975, 35, "Select PALSAR2 QUAD L1.1 file (any channel of QD", "*cpx"},
        {32976, 36, "Select PALSAR2 QUAD L1.1 file (any channel of QD", "*cpx"},
        {32782, 10, "Put Mulitemporal images set Name", "*.mlt"},
        {32958, 6, "Put Mulitemporal images set Name", "*.mlt"},
        {32887, 6, "Select Mulitemporal images project Name", "*.mlt"},
        {32802, 7, "Put Multi temporal(cpx) images set Name", "*.cmt"},
        {32801, 8, "Put Infero images set Name", "*.INF"},
        {32832, 9, "Select Infero project Name", "*.INF"},
        {32867, 30, "Put dual pure cpx project Name", "*PINF.prj"},
        {32868, 30, "Select pure infero project Name", "*PINF.prj"},
        {32797, 11, "Select PALSAR2 L1.1 file", "*slc"},
        {32798, 12, "", "cpx tile Files (*slctile.cpx)|*slctile.cpx||"},
        {32821, 16, "Put dual cpx images set Name", "*.cmt"},
        {32828, 26, "Put Image prj file", ""},
        {32836, 27, "Select Image prj file", "*.prj"},
        {32870, 28, "Put Image prj file", ""},
        {32871, 29, "Put Image prj file", ""},
        {32814, 20, "", "*dem.tif"},
        {32955, 200, "Select PALSAR2 L1.5/3.1 file", ""},
        {32970, 1000, "Select PALSAR2 QUAD L1.1 file (any channel of QD ", ""},
        {32971, 1000, "Select PALSAR2 L1.1 file  ", ""},
        {32860, 50, "Select ALOS PALSAR L1.1 file", ""},
        {32925, 50, "Select PALSAR L1.5 file", "*ALPSR*1.5*"},
        {32926, 51, "Select PALSAR L1.1 file", "*ALPSR*1.1*"},
        {32937, 52, "Select PALSAR L1.5 file", "*ALPSR*1.5*"},
        {32938, 53, "Select PALSAR L1.1 tile file", "*ALPSR*1.1*"},
        {32967, 33, "Select PALSAR2 QUAD L1.1 file (any channel of QD", "*cpx"},
    };
    std::set<int> expectedIds;
    for (const Open& o : expected) {
        expectedIds.insert(o.id);
        const CommandInfo* c = findCommand(o.id);
        ASSERT_NE(c, nullptr) << o.id;
        EXPECT_EQ(c->openMode, o.mode) << o.id;
        EXPECT_EQ(c->dialogTitle, o.title) << o.id;
        EXPECT_EQ(c->filter, o.filter) << o.id;
        EXPECT_EQ(c->owner, CommandOwner::Application) << o.id;
        EXPECT_TRUE(c->hasHandler) << o.id;
    }
    std::set<int> openIds;
    for (const CommandInfo& c : commandTable()) {
        if (c.openMode >= 0) openIds.insert(c.id);
    }
    EXPECT_EQ(openIds, expectedIds);
}

TEST(CommandTable, FindByIdCaptionAndLooseCaption) {
    ASSERT_NE(findCommand("32780"), nullptr);
    EXPECT_EQ(findCommand("32780")->caption, "ALOS2 L1.1 Image") << "by id";
    EXPECT_EQ(findCommand(" 57664 "), findCommand(57664));
    EXPECT_EQ(foundId("ALOS2 L1.1 Image"), 32780);
    EXPECT_EQ(foundId("Modify JAXA ALOS2 "), 32879);

    // Without the accelerator marks and the blanks around the caption.
    EXPECT_EQ(foundId("About Tessarin..."), 57664);
    EXPECT_EQ(foundId("Exit"), 57665);
    EXPECT_EQ(foundId("Status Bar"), 59393);
    EXPECT_EQ(foundId("Modify JAXA ALOS2"), 32879);
    EXPECT_EQ(foundId("Export Multiple Tiles"), 32964);
    EXPECT_EQ(foundId("  Calc PV Statistics\t"), 32914);

    // Inner blanks and letter case still count.
    EXPECT_EQ(findCommand("Export amplitude alone KML for Infero Data"), nullptr);
    EXPECT_EQ(findCommand("alos2 l1.1 image"), nullptr);

    // A caption shared with an entry without a handler finds the working one.
    EXPECT_EQ(foundId("Export KML for current tile"), 32915);
    EXPECT_EQ(foundId("Open ALOS2L1.5 MT Compo"), 32958) << "the first in menu order";

    EXPECT_EQ(findCommand(""), nullptr);
    EXPECT_EQ(findCommand("   "), nullptr);
    EXPECT_EQ(findCommand("&"), nullptr);
    EXPECT_EQ(findCommand("12345"), nullptr);
    EXPECT_EQ(findCommand("99999999999999999999"), nullptr);
    EXPECT_EQ(findCommand(-1), nullptr);
    EXPECT_EQ(findCommand(0), nullptr);
    EXPECT_EQ(findCommand("No such command"), nullptr);
}

TEST(CommandTable, PopupLevels) {
    EXPECT_TRUE(popupLevels("").empty());
    EXPECT_EQ(popupLevels("Tile (export/selction)"), (std::vector<std::string_view>{"Tile (export/selction)"}));
    EXPECT_EQ(popupLevels("Disabled/Ortho Conversion"),
              (std::vector<std::string_view>{"Disabled", "Ortho Conversion"}));
    EXPECT_EQ(popupLevels("Polygon "), (std::vector<std::string_view>{"Polygon "}));
    EXPECT_EQ(popupLevels("View/Application Look/Office 2007"),
              (std::vector<std::string_view>{"View", "Application Look", "Office 2007"}));
    // No popup level of the table is empty.
    for (const CommandInfo& c : commandTable()) {
        for (std::string_view level : popupLevels(c.popup)) EXPECT_FALSE(level.empty()) << c.id;
    }
}
