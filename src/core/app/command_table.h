#pragma once
// The command table: every menu command of the program as data, so that the
// desktop builds its menus from it, the console runs commands by caption or
// id, and the tests see the same commands with the same captions.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_ids.h"

namespace tessarin::app {

// Who handles a command: the application (no document needed), the active
// document, the active view, or the window framework itself (print, exit).
enum class CommandOwner { Application, Document, View, Framework };

// The menus: 128 is shown without a document, 130 in a document's window,
// 200 is the scene-centre menu, 119 the "Edit" context menu. 0: reachable
// only through its identifier.
inline constexpr int kMenuNoDocument = 128;
inline constexpr int kMenuDocument = 130;
inline constexpr int kMenuSceneCentre = 200;
inline constexpr int kMenuEditContext = 119;
inline constexpr int kNoMenu = 0;

// The area of the program whose processing a command runs: the module of
// that area registers the command's handler (a command without a registered
// handler is shown disabled).
enum class CommandArea {
    Shell,         // application, frame, about
    Products,      // first-generation and other product readers
    Tiles,         // tile store, scene tiling, TileSets, canvas
    Rasters,       // raw complex rasters and pure SLC inputs
    Composites,    // polarimetric and multi-temporal composites
    Geometry,      // orbit, mapping, map coordinates
    Dem,           // DEM, geoid, ortho
    Export,        // KML and multi-tile export
    Insar,         // pairs, tie points, interferogram, ramps, filters, colours, baseline
    Display,       // rendering and interaction
    Polygons,      // polygons and their statistics
    ImageFiles,    // TIFF, BMP/PNG
    Conversion,    // image format conversion
    Experimental,  // commands whose processing nobody has settled
    Framework,     // print, print preview, print setup, exit, status bar
    None,          // no processing at all
};

struct CommandInfo {
    int id = 0;
    std::string_view caption;   // exactly as the menu shows it
    int menu = kNoMenu;         // kMenuNoDocument, kMenuDocument, kMenuSceneCentre, kMenuEditContext or kNoMenu
    std::string_view popup;     // popup path inside the menu, levels joined by '/', e.g. "File/Save Tile image"
    CommandOwner owner = CommandOwner::Document;
    CommandArea area = CommandArea::None;
    bool hasHandler = true;     // false: an entry without a handler, always shown disabled
    int openMode = -1;          // the OpenMode an open command writes, -1 for other commands
    std::string_view dialogTitle;  // open commands: the file dialog's title
    std::string_view filter;       // open commands: the file dialog's filter as the original string
    std::string_view notice;       // open commands: a message shown before the file dialog
    bool checkable = false;        // shows a check mark when its predicate says so
};

// The framework commands that the desktop frame carries out itself.
inline constexpr int kFrameCommands[] = {cmd::kAppExit, cmd::kViewStatusBar, cmd::kFileClose, cmd::kFileRecent};

// Every entry in menu order: the no-document menu, the document menu, the
// scene-centre menu, the Edit context menu, then the commands reachable only
// through their identifiers. A command may appear in more than one menu
// (one entry per appearance).
const std::vector<CommandInfo>& commandTable();

// The entries of one menu, in order.
std::vector<const CommandInfo*> menuEntries(int menu);

// The first entry with this id or caption (captions compared exactly, then
// with surrounding blanks and '&' ignored); null when there is none.
const CommandInfo* findCommand(int id);
const CommandInfo* findCommand(std::string_view captionOrId);

// The levels of a popup path, outermost first. A '/' inside parentheses is
// part of a name ("Tile (export/selction)"); every other '/' separates levels.
std::vector<std::string_view> popupLevels(std::string_view popup);

}  // namespace tessarin::app
