#include "app/command_table.h"

#include <charconv>
#include <iterator>

#include "app/command_ids.h"

namespace tessarin::app {

namespace {

using Owner = CommandOwner;
using Area = CommandArea;

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

constexpr CommandInfo withNotice(CommandInfo c, std::string_view notice) {
    c.notice = notice;
    return c;
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
    fileOpener(cmd::kAlos2L15Image, "ALOS2 L1.5 Image", Area::Tiles, 0, kTitleL15, "*1.5*"),
    fileOpener(cmd::kAlos2L11Image, "ALOS2 L1.1 Image", Area::Tiles, 1, "Select PALSAR2 L|1.1 file", "*1.1*"),
    withNotice(fileOpener(cmd::kAlos2ScanSarSlcImage, "ALOS2 ScanSAR SLC(L1.1) Image", Area::Tiles, 11, kTitleL11, ""),
               "This menu works only for ALOS2 Scan SAR SLC skimmed line data.\n"
               "Original data must be modified to pick up line data at given interval."),
    fileOpener(cmd::kCosmoSkymedSlc, "....", Area::Products, 11, "Select CosmoSkymed SLC file", ""),
    withoutHandler(kMenuNoDocument, kFile, cmd::kAlosL10, "ALOS L1.0", kApp),
    fileOpener(cmd::kAlos2L15TileFile, "Alos2 L1.5 Tile file", Area::Tiles, 4, "", "tile Files (*tile)|*tilex|All Files (*.*)|*.*||"),
    fileOpener(cmd::kAlos2L11TileFile, "Alos2 L1.1 Tile file", Area::Tiles, 5, "", "cpx Files (*tile.cpx)|*tile.cpx||"),
    fileOpener(cmd::kAlos2L15FbdComposite, "Open ALOS2L1.5 FBD Compo", Area::Composites, 2, kTitleL15, "*.*tile"),
    fileOpener(cmd::kAlos2L11FbdComposite, "ALOS2L1.1 FBD Compo", Area::Composites, 3, kTitleL11, "*cpx"),
    fileOpener(cmd::kHhHvComposite, "HH-HV composite", Area::Composites, 33, kTitleQuad, "*cpx"),
    fileOpener(cmd::kHhVvComposite, "HH-VV composite", Area::Composites, 34, kTitleQuad, "*cpx"),
    fileOpener(cmd::kVvHvComposite, "VV-HV composite", Area::Composites, 35, kTitleQuad, "*cpx"),
    fileOpener(cmd::kHhVhComposite, "HH-VH composite", Area::Composites, 36, kTitleQuad, "*cpx"),
    fileOpener(cmd::kNewAlos2L15MtComposite, "New ALOS2L1.5 MT Compo", Area::Composites, 10, "Put Mulitemporal images set Name", "*.mlt"),
    fileOpener(cmd::kOpenMultiTemporalSet, "Open ALOS2L1.5 MT Compo", Area::Composites, 6, "Put Mulitemporal images set Name", "*.mlt"),
    fileOpener(cmd::kOpenMultiTemporalProject, "Open ALOS2L1.5 MT Compo", Area::Composites, 6, "Select Mulitemporal images project Name",
               "*.mlt"),
    fileOpener(cmd::kAlos2L11MtComposite, "ALOS2L1.1 MT Compo", Area::Composites, 7, "Put Multi temporal(cpx) images set Name", "*.cmt"),
    fileOpener(cmd::kNewAlos2InferoPair, "New ALOS2 Infero Pair", Area::Insar, 8, "Put Infero images set Name", "*.INF"),
    fileOpener(cmd::kOpenAlos2InferoPrj, "Open ALOS2 Infero prj", Area::Insar, 9, "Select Infero project Name", "*.INF"),
    fileOpener(cmd::kNewPureSlcInferoPair, "New Pure SLC Infero Pair", Area::Insar, 30, "Put dual pure cpx project Name", "*PINF.prj"),
    fileOpener(cmd::kOpenPureSlcInferoPrj, "Open Pure SLC Infero prj", Area::Insar, 30, "Select pure infero project Name", "*PINF.prj"),
    fileOpener(cmd::kSlcOpen, "SLC Open", Area::Products, 11, kTitleL11, "*slc"),
    fileOpener(cmd::kSlcTileOpen, "SLC tile Open", Area::Rasters, 12, "", "cpx tile Files (*slctile.cpx)|*slctle.cpx||"),
    fileOpener(cmd::kDualSlcTileOverlay, "Dual SLC Tile Overlay", Area::Rasters, 16, "Put dual cpx images set Name", "*.cmt"),
    // The pure-raster commands first tell the user what to pick in a
    // message box; their first file dialog asks for the raster project.
    fileOpener(cmd::kPureSlcRasterImage, "Pure SLC Raster Image (flt point)", Area::Rasters, 26, kTitleRasterProject, ""),
    fileOpener(cmd::kPureSlcTile, "Pure SLC Tile", Area::Rasters, 27, "Select Image prj file", "*.prj"),
    fileOpener(cmd::kPureSlcTileImage, "Pure SLC Tile Image (fltpoint)", Area::Rasters, 28, kTitleRasterProject, ""),
    withoutHandler(kMenuNoDocument, kFile, cmd::kPureTileImageFile, "Pure Tile Image file", kApp),
    fileOpener(cmd::kAlosAlos2PureCut, "ALOS/ALOS2 Pure Cut", Area::Rasters, 29, kTitleRasterProject, ""),
    fileOpener(cmd::kTestRasterPngConversion, "TestRaster_PNG conv", Area::ImageFiles, 200, kTitleL15, ""),
    fileOpener(cmd::kCompressAlos2SlcImage, "Compress ALOS2 SLC Image", Area::Tiles, 1000, "Select PALSAR2 QUAD L1.1 file (any channel of QD ",
               ""),
    fileOpener(cmd::kCompressCpxFile, "Compress CPX file", Area::Tiles, 1000, "Select PALSAR2 L1.1 file  ", ""),
    fileOpener(cmd::kOpenAsterGdem, "Open ASTER GDEM", Area::Dem, 20, "", "*dem.tif"),
    // ---- No-document menu: the other application commands and the framework.
    noDoc(kFile, cmd::kImageFormatConversion, "Image Format Conversion", kApp, Area::Conversion),
    withDialog(noDoc(kFile, cmd::kDecodeGeoTifHeader, "Decode GeoTif Header", kApp, Area::ImageFiles), "Select GeoTif file", "*.*"),
    withoutHandler(kMenuNoDocument, kFile, cmd::kModifyJaxaAlos2, "Modify JAXA ALOS2 ", kApp),
    withoutHandler(kMenuNoDocument, kFile, cmd::kModifyGeoRef, "Modify GeoRef", kApp),
    noDoc(kFile, cmd::kBmp2Png, "Bmp2Png", kApp, Area::ImageFiles),
    withDialog(noDoc(kFile, cmd::kInferoConjTableRepair, "Infero Conj Table repair", kApp, Area::Insar), "Select Infero project Name",
               "*.INF"),
    noDoc(kFile, cmd::kFileClose, "&Close", kFrame, Area::Framework),
    noDoc(kFile, cmd::kFilePrintSetup, "P&rint Setup...", kFrame, Area::Framework),
    noDoc(kFile, cmd::kFileRecent, "Recent File", kFrame, Area::Framework),
    noDoc(kFile, cmd::kAppExit, "E&xit", kFrame, Area::Framework),
    checkable(noDoc(kToolbars, cmd::kViewToolbar, "&Toolbar", kFrame, Area::Framework)),
    checkable(noDoc(kView, cmd::kViewStatusBar, "&Status Bar", kFrame, Area::Framework)),
    checkable(noDoc(kLook, cmd::kLookWindows2000, "Windows &2000", kFrame, Area::Framework)),
    checkable(noDoc(kLook, cmd::kLookOfficeXp, "Office &XP", kFrame, Area::Framework)),
    checkable(noDoc(kLook, cmd::kLookWindowsXp, "&Windows XP", kFrame, Area::Framework)),
    checkable(noDoc(kLook, cmd::kLookOffice2003, "Office 200&3", kFrame, Area::Framework)),
    checkable(noDoc(kLook, cmd::kLookVs2005, "Visual Studio 200&5", kFrame, Area::Framework)),
    checkable(noDoc(kLook, cmd::kLookVs2008, "Visual Studio 200&8", kFrame, Area::Framework)),
    checkable(noDoc(kLook2007, cmd::kLookOffice2007Blue, "&Blue Style", kFrame, Area::Framework)),
    checkable(noDoc(kLook2007, cmd::kLookOffice2007Black, "B&lack Style", kFrame, Area::Framework)),
    checkable(noDoc(kLook2007, cmd::kLookOffice2007Silver, "&Silver Style", kFrame, Area::Framework)),
    checkable(noDoc(kLook2007, cmd::kLookOffice2007Aqua, "&Aqua Style", kFrame, Area::Framework)),
    checkable(noDoc(kLook, cmd::kLookWindows7, "Windows &7", kFrame, Area::Framework)),
    noDoc(kHelp, cmd::kAppAbout, "&About Tessarin...", kApp, Area::Shell),

    // ---- Document menu.
    // The document window offers the existing multi-temporal set as well; its
    // dialog is the save-style one of the set name.
    opener(kMenuDocument, kFile, cmd::kOpenMultiTemporalSet, "Open ALOS2L1.5 MT Compo", Area::Composites, 6,
           "Put Mulitemporal images set Name", "*.mlt"),
    doc(kFileSaveTile, cmd::kSaveTileImage, "Save Tile Image", kViewOwner, Area::Tiles),
    doc(kFileSaveTile, cmd::kSaveCurrentTile, "Save Current Tile", kDoc, Area::ImageFiles),
    doc(kFileSaveTile, cmd::kSavePureTileImage, "Save Pure Tile Image", kDoc, Area::Rasters),
    withoutHandler(kMenuDocument, kFileSaveTile, cmd::kSaveTileImage2, "Save Tile Image 2", kDoc),
    withoutHandler(kMenuDocument, kFileSaveTile, cmd::kGeoTifSave, "GeoTif Save", kDoc),
    doc(kFile, cmd::kFilePrint, "&Print...", kFrame, Area::Framework),
    doc(kFile, cmd::kFilePrintPreview, "Print Pre&view", kFrame, Area::Framework),
    doc(kFile, cmd::kFilePrintSetup, "P&rint Setup...", kFrame, Area::Framework),
    doc(kFileTest, cmd::kConvertRasterToPng, "Convert Raster to PNG", kDoc, Area::ImageFiles),

    doc(kViewPhase, cmd::kCpxImagePhase, "CPX image Phase", kViewOwner, Area::None),
    withoutHandler(kMenuDocument, kViewPhase, cmd::kFringe, "Fringe", kViewOwner),
    checkable(doc(kView, cmd::kGeoFormatDms, "Gographic expression to (D:M:S)", kViewOwner, Area::Display)),
    checkable(doc(kView, cmd::kGeoFormatDecimal, "Geographic expression to (decimal)", kViewOwner, Area::Display)),

    doc(kSceneInfo, cmd::kObservationDateTime, "Observation Date Time", kDoc, Area::Geometry),
    doc(kSceneInfo, cmd::kSceneFrameParameter, "Scene Frame Parameter", kDoc, Area::Geometry),
    doc(kSceneInfo, cmd::kInferoOrbitDistanceParameter, "Infero Orbit Distance Parameter", kDoc, Area::Insar),
    doc(kSceneInfo, cmd::kInferoPhaseIncParameter, "Infero Phase Inc Parameter", kDoc, Area::Insar),
    doc(kSceneInfo, cmd::kCurrentTileId, "Current Tile ID", kDoc, Area::Geometry),
    doc(kSceneInfo, cmd::kCreateImageFrameKml, "Create Image Frame KML", kDoc, Area::Export),
    withoutHandler(kMenuDocument, kSceneInfo, cmd::kCreateCurrentTileKml, "Create Current Tile KML", kDoc),
    doc(kSceneInfo, cmd::kCheckOrbitByImageAddress, "Check Orbit by image address(test)", kDoc, Area::Geometry),

    doc(kTiePoints, cmd::kCreateNewTiePointTable, "Create New Tie-point Table", kViewOwner, Area::Insar),
    doc(kTiePoints, cmd::kSaveConjugatePointTable, "Save Conjugate Point Table", kViewOwner, Area::Insar),
    doc(kTiePoints, cmd::kLoadExistingConjugatepointData, "Load Existing Conjugatepoint data", kViewOwner, Area::Insar),
    doc(kTiePoints, cmd::kCalcTiePointAdjustParameter, "Calc Tie point adjust parameter", kViewOwner, Area::Insar),
    doc(kTiePoints, cmd::kDisplayCurrentTiePointTable, "Display Current Tie-Point Table", kViewOwner, Area::Insar),
    doc(kTiePoints, cmd::kAdjustTiePointDisplacement, "Adjust Tie-Point displacement", kViewOwner, Area::Insar),
    doc(kTiePoints, cmd::kResetTiePointDisplacement, "Reset Tie-Point displacement", kViewOwner, Area::Insar),
    doc(kTiePoints, cmd::kSinglePointMatching, "Single Point Matching", kViewOwner, Area::Insar),
    doc(kTiePoints, cmd::kResetConjugatePointTable, "Reset Conjugate Point table", kViewOwner, Area::Insar),
    doc(kTiePoints, cmd::kDisplayCoherenceHistogram, "Display Coherence Histogram", kViewOwner, Area::Insar),
    doc(kTiePoints, cmd::kDisplayMtInferoComposite, "Display Mt/Infero Composite", kViewOwner, Area::Insar),
    checkable(doc(kTiePoints, cmd::kColorDataMode, "Color Data mode (2 color/3 color=checked)", kViewOwner, Area::Composites)),

    checkable(doc(kPolygon, cmd::kDrawPolygonOnOff, "Draw Polygon On/Off", kViewOwner, Area::Polygons)),
    checkable(doc(kPolygon, cmd::kDrawPolyIdNumber, "Draw Poly ID number", kViewOwner, Area::Polygons)),
    doc(kPolygon, cmd::kDeleteAllPoly, "Delete All Poly", kViewOwner, Area::Polygons),
    doc(kPolygon, cmd::kDeleteAPoly, "Delete a Poly", kViewOwner, Area::Polygons),
    doc(kPolygon, cmd::kSavePolygonLatLon, "Save Polygon in Lat/lon", kViewOwner, Area::Polygons),
    doc(kPolygon, cmd::kImportLatLonPolygon, "Import Lat/lon Polygon", kViewOwner, Area::Polygons),
    doc(kPolygon, cmd::kSavePolyPixLin, "Save Poly (pix/lin)", kViewOwner, Area::Polygons),
    doc(kPolygon, cmd::kImportPolyPixLin, "Import Poly (pix/lin)", kViewOwner, Area::Polygons),
    doc(kPolygon, cmd::kResetPolyStartFlag, "Reset Poly Start Flag", kViewOwner, Area::Polygons),
    doc(kPolygon, cmd::kDisplayPolygonList, "Display Polygon List", kViewOwner, Area::Polygons),
    doc(kPolygon, cmd::kCalcPvStatistics, "Calc PV Statistics", kViewOwner, Area::Polygons),

    doc(kDemSource, cmd::kAsterGtmList, "ASTER GTM List", kDoc, Area::Dem),
    doc(kDemSource, cmd::kSrtm1ArcsecList, "SRTM-1 Arcsec List", kDoc, Area::Dem),
    doc(kDemSource, cmd::kSrtmOldList, "SRTM old List", kDoc, Area::Dem),
    doc(kDem, cmd::kDemImport, "DEM Import", kDoc, Area::Dem),
    // Asks for a GDEM file and does nothing with the choice.
    withDialog(doc(kDem, cmd::kAsterGdemDisplayEdit, "ASTER GTM Display/Edit", kViewOwner, Area::None), "Select ASTER GDEM V2 file", ""),

    doc(kTile, cmd::kExportKmlForCurrentTile, "Export KML for current tile", kViewOwner, Area::Export),
    doc(kTile, cmd::kExportMultipleTiles, "Export Multiple Tiles ", kViewOwner, Area::Export),
    doc(kTile, cmd::kInferoOutputColorCombination, "Infero out put color combination", kViewOwner, Area::Insar),
    doc(kTile, cmd::kSetBrightnessReference, "Set Brightness Reference", kViewOwner, Area::Export),
    checkable(doc(kTile, cmd::kSetSlopeCorrection, "Set Slope Correction", kViewOwner, Area::Dem)),
    doc(kTile, cmd::kSelectSubSceneByTileId, "Select sub-scene by tile ID", kViewOwner, Area::Display),

    doc(kDestripe, cmd::kApplyInclinationBySetParm, "Apply Inclination by set Parm", kViewOwner, Area::Insar),
    doc(kDestripe, cmd::kResetInclinationParameter, "Reset Inclination Parameter", kViewOwner, Area::Insar),
    doc(kDestripe, cmd::kReturnToOriginalFringe, "Return to original fringe", kViewOwner, Area::Insar),
    doc(kDestripe, cmd::kInclinationControlOn, "Inclination Control On", kViewOwner, Area::Insar),
    doc(kDestripe, cmd::kResetInclinationControl, "Reset Inclination Control", kViewOwner, Area::Insar),
    doc(kDestripe, cmd::kFringeBiasModify, "Fringe Bias modify", kViewOwner, Area::Insar),
    doc(kDestripe, cmd::kCheckReversePhaseStatus, "Check reverse phase status", kViewOwner, Area::Insar),
    doc(kDestripe, cmd::kSetResetReversePhase, "Set/Reset Reverse Phase", kViewOwner, Area::Insar),
    withDialog(doc(kDestripe, cmd::kInferoInclination, "Infero Inclination", kViewOwner, Area::Insar), "", "*.tif"),
    doc(kDestripe, cmd::kCalcFringeIncPattern, "Calc Fringe inc pattern", kViewOwner, Area::Insar),
    doc(kDestripe, cmd::kEraseIncPatternDraw, "Erase inc pattern draw", kViewOwner, Area::Insar),
    withoutHandler(kMenuDocument, kDestripe, cmd::kCreateInferoMask, "Create Infero-Mask", kViewOwner),
    doc(kDestripe, cmd::kFringeInterpolationByMask, "Fringe Interpolation by Mask", kViewOwner, Area::Insar),
    doc(kDestripe, cmd::kFringeImageColorComposite, "Fringe/Image Color Composite", kViewOwner, Area::Insar),

    doc(kFringeFilter, cmd::kAverage3x3, "3x3 average", kViewOwner, Area::Insar),
    doc(kFringeFilter, cmd::kNewQualityMaskGen, "New Quality Mask Gen", kDoc, Area::Insar),

    // The "Disabled" popup is an ordinary popup; its commands work.
    doc(kDisabled, cmd::kImageCenterModify, "Image Center Modify", kViewOwner, Area::Display),
    doc(kDisabled, cmd::kSaveConjugatePointList, "Save Conjugate Point List", kViewOwner, Area::None),
    withoutHandler(kMenuDocument, kDisabled, cmd::kLoadConjugatePointList, "Load Conjugate Point List", kViewOwner),
    doc(kDisabled, cmd::kAlos2InferoGeneration, "ALOS2 Infero Generation", kViewOwner, Area::Insar),
    doc(kDisabled, cmd::kPureSlcInferoGeneration, "Pure SLC Infero Generation", kViewOwner, Area::Insar),
    doc(kDisabled, cmd::kPureInterferogramDisplay, "Pure Interferogram Display", kViewOwner, Area::Insar),
    doc(kDisabled, cmd::kInferoGenerationByAddressInput, "Infero Generation by address input", kViewOwner, Area::Insar),
    doc(kDisabled, cmd::kFringeFilterOnCurrentTile, "Fringe filter on current tile", kViewOwner, Area::None),
    doc(kDisabled, cmd::kFringeColorWithoutIntensity, "FringeColor without Intensity", kViewOwner, Area::Insar),
    doc(kDisabled, cmd::kFringeColorWithIntensity, "FringeColor with Intensity", kViewOwner, Area::Insar),
    doc(kDisabled, cmd::kSaveTemporalInclinationFringe, "Save Temporal Inclination Fringe", kViewOwner, Area::Insar),
    // Three commands of this group whose captions are not known any more.
    doc(kDisabled, cmd::kPureSlcInterferometry32858, "Pure SLC interferometry (32858)", kViewOwner, Area::None),
    doc(kDisabled, cmd::kPureSlcInterferometry32869, "Pure SLC interferometry (32869)", kViewOwner, Area::None),
    doc(kDisabled, cmd::kPureSlcInterferometry32881, "Pure SLC interferometry (32881)", kViewOwner, Area::None),
    doc(kDisabledOrtho, cmd::kTileImageToOrtho, "Tile Image To Orhto", kDoc, Area::Dem),
    doc(kDisabledOrtho, cmd::kTileImageToOrthoSlopeCorrection, "Tile Image to Ortho Slope Correction", kDoc, Area::Dem),
    doc(kDisabledOrtho, cmd::kOrthoDisplay32819, "Ortho display (32819)", kViewOwner, Area::Dem),
    doc(kDisabledOrtho, cmd::kOrthoDisplay32820, "Ortho display (32820)", kViewOwner, Area::Dem),
    doc(kDisabledOrtho, cmd::kForeshorteningSimulation, "ForeShortenig Simulation", kDoc, Area::Dem),
    withoutHandler(kMenuDocument, kDisabledOrtho, cmd::kGenerateSimFringe, "Generate Sim Fringe", kDoc),
    withoutHandler(kMenuDocument, kDisabledOrtho, cmd::kCreateSimFringe2, "Create SimFringe2", kDoc),
    doc(kDisabled, cmd::kCalcTiePointFromGeoTable, "Calc TiePoint from GeoTable", kViewOwner, Area::Insar),
    doc(kDisabled, cmd::kTiePositionCalcAtCKeyClickedPoint, "Tie position calc at C-key clicked point", kViewOwner, Area::Insar),
    doc(kDisabled, cmd::kTopLeftCorner, "Top Left Corner", kViewOwner, Area::Insar),
    doc(kDisabled, cmd::kTopRightCorner, "Top Right Corner", kViewOwner, Area::Insar),
    doc(kDisabled, cmd::kBottomLeftCorner, "Bottom Left Corner", kViewOwner, Area::Insar),
    doc(kDisabled, cmd::kBottomRightCorner, "Bottom Right Corner", kViewOwner, Area::Insar),
    doc(kDisabled, cmd::kTopLeftPickUpManual, "TopLeft PickUp(Manual)", kViewOwner, Area::Insar),
    doc(kDisabled, cmd::kTopRightPickUpManual, "TopRight PickUp(Manual", kViewOwner, Area::Insar),
    doc(kDisabled, cmd::kBottomLeftPickUpManual, "BottomLeft PickUp(Manua)", kViewOwner, Area::Insar),
    doc(kDisabled, cmd::kBottomRightPickUpManual, "BottomRight PickUp(Manual)", kViewOwner, Area::Insar),
    doc(kDisabled, cmd::kExportOneStripeOrtho, "Export One Stripe Orhto", kViewOwner, Area::Export),
    doc(kDisabled, cmd::kExportAmplitudeKmlForInferoData, "Export amplitude alone KML for  Infero Data", kViewOwner, Area::Export),
    withoutHandler(kMenuDocument, kDisabled, cmd::kExportKmlForCurrentTileDisabled, "Export KML for current tile", kViewOwner),

    doc(kSelect, cmd::kDemTableGeneration, "Deam Table Generation", kViewOwner, Area::Dem),
    doc(kSelect, cmd::kSuperResolution, "Super Resolution", kDoc, Area::Experimental),
    doc(kSelect, cmd::kCreateLatToEarthRadiusTable, "Create lat 2 rearth table", kDoc, Area::Geometry),
    // Dialogs only: these collect a file and its size and convert nothing.
    doc(kSelect, cmd::kConvertShortByteOrder, "Convert Short ByteOrder", kViewOwner, Area::Conversion),
    doc(kSelect, cmd::kConvertFloat2SignedShort, "Convert Float 2 Signed short", kViewOwner, Area::Conversion),
    doc(kSelect, cmd::kConvertFloat2Tiff, "Convert Float 2 Tiff", kViewOwner, Area::Conversion),
    // Two captions share one identifier; both run the same handler.
    doc(kSelect, cmd::kConvertFloatByteOrder, "Convert Float ByteOrder", kViewOwner, Area::Conversion),
    doc(kSelect, cmd::kConvertFloatByteOrder, "Convert Signed Short 2 Tiff", kViewOwner, Area::Conversion),
    doc(kSelect, cmd::kComplexDifference, "画像間減算(複素減算）", kViewOwner, Area::Experimental),
    doc(kSelect, cmd::kAbsoluteDifference, "画像間減算（絶対値減算）", kViewOwner, Area::Experimental),
    doc(kSelect, cmd::kCorrelationCoefficient, "画像間相関係数", kViewOwner, Area::Experimental),

    // ---- Scene-centre menu.
    withoutHandler(kMenuSceneCentre, {}, cmd::kInputSceneCenterPos, "Input Scene Center Pos.", kViewOwner),
    entry(kMenuSceneCentre, {}, cmd::kPutSceneCenterAddress, "Put Scene Center Address", kViewOwner, Area::Display),

    // ---- "Edit" context menu.
    entry(kMenuEditContext, "Edit", cmd::kEditCut, "Cu&t", kFrame, Area::Framework),
    entry(kMenuEditContext, "Edit", cmd::kEditCopy, "&Copy", kFrame, Area::Framework),
    entry(kMenuEditContext, "Edit", cmd::kEditPaste, "&Paste", kFrame, Area::Framework),

    // ---- Reachable only through their identifiers.
    hiddenOpener(cmd::kAlosPalsarOriginal, Area::Products, 50, "Select ALOS PALSAR L1.1 file", ""),
    hiddenOpener(cmd::kPalsarL15Original, Area::Products, 50, "Select PALSAR L1.5 file", "*ALPSR*1.5*"),
    hiddenOpener(cmd::kPalsarL11Original, Area::Products, 51, "Select PALSAR L1.1 file", "*ALPSR*1.1"),
    hiddenOpener(cmd::kPalsarL15TileSet, Area::Products, 52, "Select PALSAR L1.5 file", "*ALPSR*1.5*"),
    hiddenOpener(cmd::kPalsarL11TileSet, Area::Products, 53, "Select PALSAR L1.1 tile file", "*ALPSR*1.1"),
    hiddenOpener(cmd::kQuadComposite, Area::Composites, 33, kTitleQuad, "*cpx"),
    // The scene-position dialog, like "Put Scene Center Address".
    entry(kNoMenu, {}, cmd::kPositionDialog, {}, kViewOwner, Area::Display),
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
