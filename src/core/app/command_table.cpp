#include "app/command_table.h"

#include <charconv>
#include <iterator>

namespace tessarin::app {

namespace {

using Owner = CommandOwner;
using Area = CommandArea;

// Framework command identifiers; the menus and the recent-file list use
// the numbers the window framework has always used for them.
constexpr int kIdFileClose = 57602;
constexpr int kIdFilePrintSetup = 57606;
constexpr int kIdFilePrint = 57607;
constexpr int kIdFilePrintPreview = 57609;
constexpr int kIdFileRecent = 57616;
constexpr int kIdEditCopy = 57634;
constexpr int kIdEditCut = 57635;
constexpr int kIdEditPaste = 57637;
constexpr int kIdAppAbout = 57664;
constexpr int kIdAppExit = 57665;
constexpr int kIdViewToolbar = 59392;
constexpr int kIdViewStatusBar = 59393;

// The application looks; the stored "ApplicationLook" value is the id of
// the chosen entry (210 by default).
constexpr int kIdLookWindows2000 = 205;
constexpr int kIdLookOfficeXp = 206;
constexpr int kIdLookWindowsXp = 207;
constexpr int kIdLookOffice2003 = 208;
constexpr int kIdLookVs2005 = 209;
constexpr int kIdLookVs2008 = 210;
constexpr int kIdLookOffice2007Blue = 215;
constexpr int kIdLookOffice2007Black = 216;
constexpr int kIdLookOffice2007Silver = 217;
constexpr int kIdLookOffice2007Aqua = 218;
constexpr int kIdLookWindows7 = 219;

// File dialog titles that several open commands share.
constexpr std::string_view kTitleL15 = "Select PALSAR2 L1.5/3.1 file";
constexpr std::string_view kTitleL11 = "Select PALSAR2 L1.1 file";
constexpr std::string_view kTitleQuad = "Select PALSAR2 QUAD L1.1 file (any channel of QD";
constexpr std::string_view kTitleRasterProject = "Put Image prj file";

// Popups of the document menu.
constexpr std::string_view kFile = "File";
constexpr std::string_view kFileSaveTile = "File/Save Tile image";
constexpr std::string_view kFileTest = "File/Test";
constexpr std::string_view kView = "View";
constexpr std::string_view kViewPhase = "View/Display Phase Image";
constexpr std::string_view kSceneInfo = "Scene Info";
constexpr std::string_view kTiePoints = "MT posiotion adjust";
constexpr std::string_view kPolygon = "Polygon ";
constexpr std::string_view kDem = "Dem";
constexpr std::string_view kDemSource = "Dem/Select Dem Source";
constexpr std::string_view kTile = "Tile (export/selction)";
constexpr std::string_view kDestripe = "Destripe Fringe";
constexpr std::string_view kFringeFilter = "Fringe Filter";
constexpr std::string_view kDisabled = "Disabled";
constexpr std::string_view kDisabledOrtho = "Disabled/Ortho Conversion";
constexpr std::string_view kSelect = "Select";

// Popups of the no-document menu.
constexpr std::string_view kToolbars = "View/Toolbars and Docking Windows";
constexpr std::string_view kLook = "View/Application Look";
constexpr std::string_view kLook2007 = "View/Application Look/Office 2007";
constexpr std::string_view kHelp = "Help";

constexpr CommandInfo entry(int menu, std::string_view popup, int id, std::string_view caption, Owner owner,
                            Area area) {
    CommandInfo c;
    c.id = id;
    c.caption = caption;
    c.menu = menu;
    c.popup = popup;
    c.owner = owner;
    c.area = area;
    return c;
}

constexpr CommandInfo doc(std::string_view popup, int id, std::string_view caption, Owner owner, Area area) {
    return entry(kMenuDocument, popup, id, caption, owner, area);
}

constexpr CommandInfo noDoc(std::string_view popup, int id, std::string_view caption, Owner owner, Area area) {
    return entry(kMenuNoDocument, popup, id, caption, owner, area);
}

constexpr CommandInfo checkable(CommandInfo c) {
    c.checkable = true;
    return c;
}

// A menu entry that nothing handles: always disabled.
constexpr CommandInfo withoutHandler(int menu, std::string_view popup, int id, std::string_view caption,
                                     Owner owner) {
    CommandInfo c = entry(menu, popup, id, caption, owner, Area::None);
    c.hasHandler = false;
    return c;
}

constexpr CommandInfo withDialog(CommandInfo c, std::string_view title, std::string_view filter) {
    c.dialogTitle = title;
    c.filter = filter;
    return c;
}

// An application command that asks for a file, writes its OpenMode into
// the link block and opens the file as a new document.
constexpr CommandInfo opener(int menu, std::string_view popup, int id, std::string_view caption, Area area,
                             int openMode, std::string_view title, std::string_view filter) {
    CommandInfo c = withDialog(entry(menu, popup, id, caption, Owner::Application, area), title, filter);
    c.openMode = openMode;
    return c;
}

constexpr CommandInfo fileOpener(int id, std::string_view caption, Area area, int openMode, std::string_view title,
                                 std::string_view filter) {
    return opener(kMenuNoDocument, kFile, id, caption, area, openMode, title, filter);
}

// Open commands reachable only through their identifiers have no caption.
constexpr CommandInfo hiddenOpener(int id, Area area, int openMode, std::string_view title,
                                   std::string_view filter) {
    return opener(kNoMenu, {}, id, {}, area, openMode, title, filter);
}

constexpr Owner kApp = Owner::Application;
constexpr Owner kDoc = Owner::Document;
constexpr Owner kViewOwner = Owner::View;
constexpr Owner kFrame = Owner::Framework;

constexpr CommandInfo kCommands[] = {
    // ---- No-document menu: the open commands in the order of their table.
    fileOpener(32771, "ALOS2 L1.5 Image", Area::Tiles, 0, kTitleL15, "*1.5*"),
    fileOpener(32780, "ALOS2 L1.1 Image", Area::Tiles, 1, "Select PALSAR2 L|1.1 file", "*1.1*"),
    fileOpener(32966, "ALOS2 ScanSAR SLC(L1.1) Image", Area::Tiles, 11, kTitleL11, ""),
    fileOpener(32787, "....", Area::Tiles, 11, "Select CosmoSkymed SLC file", ""),
    withoutHandler(kMenuNoDocument, kFile, 32924, "ALOS L1.0", kApp),
    fileOpener(32794, "Alos2 L1.5 Tile file", Area::Tiles, 4, "", "tile Files (*tile)|*tilex|All Files (*.*)|*.*||"),
    fileOpener(32795, "Alos2 L1.1 Tile file", Area::Tiles, 5, "", "cpx Files (*tile.cpx)|*tile.cpx||"),
    fileOpener(32781, "Open ALOS2L1.5 FBD Compo", Area::Composites, 2, kTitleL15, "*.*tile"),
    fileOpener(32786, "ALOS2L1.1 FBD Compo", Area::Composites, 3, kTitleL11, "*cpx"),
    fileOpener(32973, "HH-HV composite", Area::Composites, 33, kTitleQuad, "*cpx"),
    fileOpener(32974, "HH-VV composite", Area::Composites, 34, kTitleQuad, "*cpx"),
    fileOpener(32975, "VV-HV composite", Area::Composites, 35, kTitleQuad, "*cpx"),
    fileOpener(32976, "HH-VH composite", Area::Composites, 36, kTitleQuad, "*cpx"),
    fileOpener(32782, "New ALOS2L1.5 MT Compo", Area::Composites, 10, "Put Mulitemporal images set Name", "*.mlt"),
    fileOpener(32958, "Open ALOS2L1.5 MT Compo", Area::Composites, 6, "Put Mulitemporal images set Name", "*.mlt"),
    fileOpener(32887, "Open ALOS2L1.5 MT Compo", Area::Composites, 6, "Select Mulitemporal images project Name",
               "*.mlt"),
    fileOpener(32802, "ALOS2L1.1 MT Compo", Area::Composites, 7, "Put Multi temporal(cpx) images set Name", "*.cmt"),
    fileOpener(32801, "New ALOS2 Infero Pair", Area::Insar, 8, "Put Infero images set Name", "*.INF"),
    fileOpener(32832, "Open ALOS2 Infero prj", Area::Insar, 9, "Select Infero project Name", "*.INF"),
    fileOpener(32867, "New Pure SLC Infero Pair", Area::Insar, 30, "Put dual pure cpx project Name", "*PINF.prj"),
    fileOpener(32868, "Open Pure SLC Infero prj", Area::Insar, 30, "Select pure infero project Name", "*PINF.prj"),
    fileOpener(32797, "SLC Open", Area::Tiles, 11, kTitleL11, "*slc"),
    fileOpener(32798, "SLC tile Open", Area::Tiles, 12, "", "cpx tile Files (*slctile.cpx)|*slctle.cpx||"),
    fileOpener(32821, "Dual SLC Tile Overlay", Area::Tiles, 16, "Put dual cpx images set Name", "*.cmt"),
    // The pure-raster commands first tell the user what to pick in a
    // message box; their first file dialog asks for the raster project.
    fileOpener(32828, "Pure SLC Raster Image (flt point)", Area::Tiles, 26, kTitleRasterProject, ""),
    fileOpener(32836, "Pure SLC Tile", Area::Tiles, 27, "Select Image prj file", "*.prj"),
    fileOpener(32870, "Pure SLC Tile Image (fltpoint)", Area::Tiles, 28, kTitleRasterProject, ""),
    withoutHandler(kMenuNoDocument, kFile, 32834, "Pure Tile Image file", kApp),
    fileOpener(32871, "ALOS/ALOS2 Pure Cut", Area::Tiles, 29, kTitleRasterProject, ""),
    fileOpener(32955, "TestRaster_PNG conv", Area::ImageFiles, 200, kTitleL15, ""),
    fileOpener(32970, "Compress ALOS2 SLC Image", Area::Tiles, 1000, "Select PALSAR2 QUAD L1.1 file (any channel of QD ",
               ""),
    fileOpener(32971, "Compress CPX file", Area::Tiles, 1000, "Select PALSAR2 L1.1 file  ", ""),
    fileOpener(32814, "Open ASTER GDEM", Area::Dem, 20, "", "*dem.tif"),
    // ---- No-document menu: the other application commands and the framework.
    noDoc(kFile, 32877, "Image Format Conversion", kApp, Area::ImageFiles),
    withDialog(noDoc(kFile, 32878, "Decode GeoTif Header", kApp, Area::ImageFiles), "Select GeoTif file", "*.*"),
    withoutHandler(kMenuNoDocument, kFile, 32879, "Modify JAXA ALOS2 ", kApp),
    withoutHandler(kMenuNoDocument, kFile, 32880, "Modify GeoRef", kApp),
    noDoc(kFile, 32891, "Bmp2Png", kApp, Area::Shell),
    withDialog(noDoc(kFile, 32921, "Infero Conj Table repair", kApp, Area::Insar), "Select Infero project Name",
               "*.INF"),
    noDoc(kFile, kIdFileClose, "&Close", kFrame, Area::Framework),
    noDoc(kFile, kIdFilePrintSetup, "P&rint Setup...", kFrame, Area::Framework),
    noDoc(kFile, kIdFileRecent, "Recent File", kFrame, Area::Framework),
    noDoc(kFile, kIdAppExit, "E&xit", kFrame, Area::Framework),
    checkable(noDoc(kToolbars, kIdViewToolbar, "&Toolbar", kFrame, Area::Framework)),
    checkable(noDoc(kView, kIdViewStatusBar, "&Status Bar", kFrame, Area::Framework)),
    checkable(noDoc(kLook, kIdLookWindows2000, "Windows &2000", kFrame, Area::Framework)),
    checkable(noDoc(kLook, kIdLookOfficeXp, "Office &XP", kFrame, Area::Framework)),
    checkable(noDoc(kLook, kIdLookWindowsXp, "&Windows XP", kFrame, Area::Framework)),
    checkable(noDoc(kLook, kIdLookOffice2003, "Office 200&3", kFrame, Area::Framework)),
    checkable(noDoc(kLook, kIdLookVs2005, "Visual Studio 200&5", kFrame, Area::Framework)),
    checkable(noDoc(kLook, kIdLookVs2008, "Visual Studio 200&8", kFrame, Area::Framework)),
    checkable(noDoc(kLook2007, kIdLookOffice2007Blue, "&Blue Style", kFrame, Area::Framework)),
    checkable(noDoc(kLook2007, kIdLookOffice2007Black, "B&lack Style", kFrame, Area::Framework)),
    checkable(noDoc(kLook2007, kIdLookOffice2007Silver, "&Silver Style", kFrame, Area::Framework)),
    checkable(noDoc(kLook2007, kIdLookOffice2007Aqua, "&Aqua Style", kFrame, Area::Framework)),
    checkable(noDoc(kLook, kIdLookWindows7, "Windows &7", kFrame, Area::Framework)),
    noDoc(kHelp, kIdAppAbout, "&About Tessarin...", kApp, Area::Shell),

    // ---- Document menu.
    // The document window offers the existing multi-temporal set as well; its
    // dialog is the save-style one of the set name.
    opener(kMenuDocument, kFile, 32958, "Open ALOS2L1.5 MT Compo", Area::Composites, 6,
           "Put Mulitemporal images set Name", "*.mlt"),
    doc(kFileSaveTile, 32792, "Save Tile Image", kViewOwner, Area::Tiles),
    doc(kFileSaveTile, 32816, "Save Current Tile", kDoc, Area::ImageFiles),
    doc(kFileSaveTile, 32830, "Save Pure Tile Image", kDoc, Area::Tiles),
    withoutHandler(kMenuDocument, kFileSaveTile, 32927, "Save Tile Image 2", kDoc),
    withoutHandler(kMenuDocument, kFileSaveTile, 32791, "GeoTif Save", kDoc),
    doc(kFile, kIdFilePrint, "&Print...", kFrame, Area::Framework),
    doc(kFile, kIdFilePrintPreview, "Print Pre&view", kFrame, Area::Framework),
    doc(kFile, kIdFilePrintSetup, "P&rint Setup...", kFrame, Area::Framework),
    doc(kFileTest, 32954, "Convert Raster to PNG", kDoc, Area::ImageFiles),

    doc(kViewPhase, 32784, "CPX image Phase", kViewOwner, Area::None),
    withoutHandler(kMenuDocument, kViewPhase, 32785, "Fringe", kViewOwner),
    checkable(doc(kView, 32894, "Gographic expression to (D:M:S)", kViewOwner, Area::Display)),
    checkable(doc(kView, 32895, "Geographic expression to (decimal)", kViewOwner, Area::Display)),

    doc(kSceneInfo, 32897, "Observation Date Time", kDoc, Area::Geometry),
    doc(kSceneInfo, 32898, "Scene Frame Parameter", kDoc, Area::Geometry),
    doc(kSceneInfo, 32943, "Infero Orbit Distance Parameter", kDoc, Area::Insar),
    doc(kSceneInfo, 32908, "Infero Phase Inc Parameter", kDoc, Area::Insar),
    doc(kSceneInfo, 32918, "Current Tile ID", kDoc, Area::Geometry),
    doc(kSceneInfo, 32968, "Create Image Frame KML", kDoc, Area::Export),
    withoutHandler(kMenuDocument, kSceneInfo, 32969, "Create Current Tile KML", kDoc),
    doc(kSceneInfo, 32972, "Check Orbit by image address(test)", kDoc, Area::Geometry),

    doc(kTiePoints, 32959, "Create New Tie-point Table", kViewOwner, Area::Insar),
    doc(kTiePoints, 32907, "Save Conjugate Point Table", kViewOwner, Area::Insar),
    doc(kTiePoints, 32849, "Load Existing Conjugatepoint data", kViewOwner, Area::Insar),
    doc(kTiePoints, 32846, "Calc Tie point adjust parameter", kViewOwner, Area::Insar),
    doc(kTiePoints, 32944, "Display Current Tie-Point Table", kViewOwner, Area::Insar),
    doc(kTiePoints, 32941, "Adjust Tie-Point displacement", kViewOwner, Area::Insar),
    doc(kTiePoints, 32942, "Reset Tie-Point displacement", kViewOwner, Area::Insar),
    doc(kTiePoints, 32890, "Single Point Matching", kViewOwner, Area::Insar),
    doc(kTiePoints, 32889, "Reset Conjugate Point table", kViewOwner, Area::Insar),
    doc(kTiePoints, 32960, "Display Coherence Histogram", kViewOwner, Area::Display),
    doc(kTiePoints, 32886, "Display Mt/Infero Composite", kViewOwner, Area::Insar),
    checkable(doc(kTiePoints, 32945, "Color Data mode (2 color/3 color=checked)", kViewOwner, Area::Composites)),

    checkable(doc(kPolygon, 32805, "Draw Polygon On/Off", kViewOwner, Area::Display)),
    checkable(doc(kPolygon, 32806, "Draw Poly ID number", kViewOwner, Area::Display)),
    doc(kPolygon, 32807, "Delete All Poly", kViewOwner, Area::Display),
    doc(kPolygon, 32808, "Delete a Poly", kViewOwner, Area::Display),
    doc(kPolygon, 32809, "Save Polygon in Lat/lon", kViewOwner, Area::Display),
    doc(kPolygon, 32810, "Import Lat/lon Polygon", kViewOwner, Area::Display),
    doc(kPolygon, 32811, "Save Poly (pix/lin)", kViewOwner, Area::Display),
    doc(kPolygon, 32812, "Import Poly (pix/lin)", kViewOwner, Area::Display),
    doc(kPolygon, 32813, "Reset Poly Start Flag", kViewOwner, Area::Display),
    doc(kPolygon, 32818, "Display Polygon List", kViewOwner, Area::Display),
    doc(kPolygon, 32914, "Calc PV Statistics", kViewOwner, Area::Display),

    doc(kDemSource, 32788, "ASTER GTM List", kDoc, Area::Dem),
    doc(kDemSource, 32862, "SRTM-1 Arcsec List", kDoc, Area::Dem),
    doc(kDemSource, 32863, "SRTM old List", kDoc, Area::Dem),
    doc(kDem, 32789, "DEM Import", kDoc, Area::Dem),
    // Asks for a GDEM file and does nothing with the choice.
    withDialog(doc(kDem, 32790, "ASTER GTM Display/Edit", kViewOwner, Area::None), "Select ASTER GDEM V2 file", ""),

    doc(kTile, 32915, "Export KML for current tile", kViewOwner, Area::Export),
    doc(kTile, 32964, "Export Multiple Tiles ", kViewOwner, Area::Export),
    doc(kTile, 32965, "Infero out put color combination", kViewOwner, Area::Insar),
    doc(kTile, 32963, "Set Brightness Reference", kViewOwner, Area::Export),
    checkable(doc(kTile, 32896, "Set Slope Correction", kViewOwner, Area::None)),
    doc(kTile, 32905, "Select sub-scene by tile ID", kViewOwner, Area::Display),

    doc(kDestripe, 32961, "Apply Inclination by set Parm", kViewOwner, Area::Insar),
    doc(kDestripe, 32962, "Reset Inclination Parameter", kViewOwner, Area::Insar),
    doc(kDestripe, 32885, "Return to original fringe", kViewOwner, Area::Insar),
    doc(kDestripe, 32909, "Inclination Control On", kViewOwner, Area::Insar),
    doc(kDestripe, 32910, "Reset Inclination Control", kViewOwner, Area::Insar),
    doc(kDestripe, 32882, "Fringe Bias modify", kViewOwner, Area::Insar),
    doc(kDestripe, 32884, "Check reverse phase status", kViewOwner, Area::Insar),
    doc(kDestripe, 32883, "Set/Reset Reverse Phase", kViewOwner, Area::Insar),
    withDialog(doc(kDestripe, 32913, "Infero Inclination", kViewOwner, Area::Insar), "", "*.tif"),
    doc(kDestripe, 32919, "Calc Fringe inc pattern", kViewOwner, Area::Insar),
    doc(kDestripe, 32920, "Erase inc pattern draw", kViewOwner, Area::Insar),
    withoutHandler(kMenuDocument, kDestripe, 32901, "Create Infero-Mask", kViewOwner),
    doc(kDestripe, 32902, "Fringe Interpolation by Mask", kViewOwner, Area::Insar),
    doc(kDestripe, 32903, "Fringe/Image Color Composite", kViewOwner, Area::Insar),

    doc(kFringeFilter, 32892, "3x3 average", kViewOwner, Area::Insar),
    doc(kFringeFilter, 32946, "New Quality Mask Gen", kDoc, Area::Insar),

    // The "Disabled" popup is an ordinary popup; its commands work.
    doc(kDisabled, 32779, "Image Center Modify", kViewOwner, Area::Display),
    doc(kDisabled, 32823, "Save Conjugate Point List", kViewOwner, Area::None),
    withoutHandler(kMenuDocument, kDisabled, 32824, "Load Conjugate Point List", kViewOwner),
    doc(kDisabled, 32859, "ALOS2 Infero Generation", kViewOwner, Area::Insar),
    doc(kDisabled, 32952, "Pure SLC Infero Generation", kViewOwner, Area::Insar),
    doc(kDisabled, 32951, "Pure Interferogram Display", kViewOwner, Area::Insar),
    doc(kDisabled, 32848, "Infero Generation by address input", kViewOwner, Area::Insar),
    doc(kDisabled, 32847, "Fringe filter on current tile", kViewOwner, Area::None),
    doc(kDisabled, 32851, "FringeColor without Intensity", kViewOwner, Area::Insar),
    doc(kDisabled, 32854, "FringeColor with Intensity", kViewOwner, Area::Insar),
    doc(kDisabled, 32857, "Save Temporal Inclination Fringe", kViewOwner, Area::Insar),
    // Three commands of this group whose captions are not known any more.
    doc(kDisabled, 32858, "Pure SLC interferometry (32858)", kViewOwner, Area::None),
    doc(kDisabled, 32869, "Pure SLC interferometry (32869)", kViewOwner, Area::None),
    doc(kDisabled, 32881, "Pure SLC interferometry (32881)", kViewOwner, Area::None),
    doc(kDisabledOrtho, 32800, "Tile Image To Orhto", kDoc, Area::Dem),
    doc(kDisabledOrtho, 32815, "Tile Image to Ortho Slope Correction", kDoc, Area::Dem),
    doc(kDisabledOrtho, 32819, "Ortho display (32819)", kViewOwner, Area::None),
    doc(kDisabledOrtho, 32820, "Ortho display (32820)", kViewOwner, Area::None),
    doc(kDisabledOrtho, 32852, "ForeShortenig Simulation", kDoc, Area::Dem),
    withoutHandler(kMenuDocument, kDisabledOrtho, 32916, "Generate Sim Fringe", kDoc),
    withoutHandler(kMenuDocument, kDisabledOrtho, 32917, "Create SimFringe2", kDoc),
    doc(kDisabled, 32957, "Calc TiePoint from GeoTable", kViewOwner, Area::Insar),
    doc(kDisabled, 32831, "Tie position calc at C-key clicked point", kViewOwner, Area::Insar),
    doc(kDisabled, 32842, "Top Left Corner", kViewOwner, Area::Insar),
    doc(kDisabled, 32843, "Top Right Corner", kViewOwner, Area::Insar),
    doc(kDisabled, 32844, "Bottom Left Corner", kViewOwner, Area::Insar),
    doc(kDisabled, 32845, "Bottom Right Corner", kViewOwner, Area::Insar),
    doc(kDisabled, 32947, "TopLeft PickUp(Manual)", kViewOwner, Area::Insar),
    doc(kDisabled, 32948, "TopRight PickUp(Manual", kViewOwner, Area::Insar),
    doc(kDisabled, 32949, "BottomLeft PickUp(Manua)", kViewOwner, Area::Insar),
    doc(kDisabled, 32950, "BottomRight PickUp(Manual)", kViewOwner, Area::Insar),
    doc(kDisabled, 32893, "Export One Stripe Orhto", kViewOwner, Area::Export),
    doc(kDisabled, 32956, "Export amplitude alone KML for  Infero Data", kViewOwner, Area::Export),
    withoutHandler(kMenuDocument, kDisabled, 32853, "Export KML for current tile", kViewOwner),

    doc(kSelect, 32817, "Deam Table Generation", kViewOwner, Area::Dem),
    doc(kSelect, 32822, "Super Resolution", kDoc, Area::Shell),
    doc(kSelect, 32839, "Create lat 2 rearth table", kDoc, Area::Geometry),
    // Dialogs only: these collect a file and its size and convert nothing.
    doc(kSelect, 32873, "Convert Short ByteOrder", kViewOwner, Area::ImageFiles),
    doc(kSelect, 32874, "Convert Float 2 Signed short", kViewOwner, Area::ImageFiles),
    doc(kSelect, 32876, "Convert Float 2 Tiff", kViewOwner, Area::ImageFiles),
    // Two captions share one identifier; both run the same handler.
    doc(kSelect, 32875, "Convert Float ByteOrder", kViewOwner, Area::ImageFiles),
    doc(kSelect, 32875, "Convert Signed Short 2 Tiff", kViewOwner, Area::ImageFiles),
    doc(kSelect, 32825, "画像間減算(複素減算）", kViewOwner, Area::Shell),
    doc(kSelect, 32827, "画像間減算（絶対値減算）", kViewOwner, Area::Shell),
    doc(kSelect, 32826, "画像間相関係数", kViewOwner, Area::Shell),

    // ---- Scene-centre menu.
    withoutHandler(kMenuSceneCentre, {}, 32777, "Input Scene Center Pos.", kViewOwner),
    entry(kMenuSceneCentre, {}, 32778, "Put Scene Center Address", kViewOwner, Area::Display),

    // ---- "Edit" context menu.
    entry(kMenuEditContext, "Edit", kIdEditCut, "Cu&t", kFrame, Area::Framework),
    entry(kMenuEditContext, "Edit", kIdEditCopy, "&Copy", kFrame, Area::Framework),
    entry(kMenuEditContext, "Edit", kIdEditPaste, "&Paste", kFrame, Area::Framework),

    // ---- Reachable only through their identifiers.
    hiddenOpener(32860, Area::Products, 50, "Select ALOS PALSAR L1.1 file", ""),
    hiddenOpener(32925, Area::Products, 50, "Select PALSAR L1.5 file", "*ALPSR*1.5*"),
    hiddenOpener(32926, Area::Products, 51, "Select PALSAR L1.1 file", "*ALPSR*1.1"),
    hiddenOpener(32937, Area::Products, 52, "Select PALSAR L1.5 file", "*ALPSR*1.5*"),
    hiddenOpener(32938, Area::Products, 53, "Select PALSAR L1.1 tile file", "*ALPSR*1.1"),
    hiddenOpener(32967, Area::Composites, 33, kTitleQuad, "*cpx"),
    // The scene-position dialog, like "Put Scene Center Address".
    entry(kNoMenu, {}, 32776, {}, kViewOwner, Area::Display),
};

constexpr bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

// The caption as a user would type it: no accelerator marks, no
// surrounding blanks.
std::string looseCaption(std::string_view caption) {
    std::string out;
    out.reserve(caption.size());
    for (char c : trimBlanks(caption)) {
        if (c != '&') out.push_back(c);
    }
    return std::string(trimBlanks(out));
}

std::optional<int> parseId(std::string_view text) {
    text = trimBlanks(text);
    if (text.empty()) return std::nullopt;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

const std::vector<CommandInfo>& commandTable() {
    static const std::vector<CommandInfo> table(std::begin(kCommands), std::end(kCommands));
    return table;
}

std::vector<const CommandInfo*> menuEntries(int menu) {
    std::vector<const CommandInfo*> entries;
    for (const CommandInfo& c : commandTable()) {
        if (c.menu == menu) entries.push_back(&c);
    }
    return entries;
}

const CommandInfo* findCommand(int id) {
    for (const CommandInfo& c : commandTable()) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

const CommandInfo* findCommand(std::string_view captionOrId) {
    if (const auto id = parseId(captionOrId)) return findCommand(*id);
    if (captionOrId.empty()) return nullptr;
    for (const CommandInfo& c : commandTable()) {
        if (c.caption == captionOrId) return &c;
    }
    const std::string wanted = looseCaption(captionOrId);
    if (wanted.empty()) return nullptr;
    for (const CommandInfo& c : commandTable()) {
        if (looseCaption(c.caption) == wanted) return &c;
    }
    return nullptr;
}

std::vector<std::string_view> popupLevels(std::string_view popup) {
    std::vector<std::string_view> levels;
    if (popup.empty()) return levels;
    int depth = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < popup.size(); ++i) {
        const char c = popup[i];
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (depth > 0) --depth;
        } else if (c == '/' && depth == 0) {
            levels.push_back(popup.substr(start, i - start));
            start = i + 1;
        }
    }
    levels.push_back(popup.substr(start));
    return levels;
}

}  // namespace tessarin::app
