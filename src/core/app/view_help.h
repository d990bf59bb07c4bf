#pragma once
// The keys and mouse actions of the image view, as the Help page lists them.

namespace tessarin::app {

inline constexpr const char* kViewHelpTitle = "Keys and mouse";
inline constexpr const char* kViewHelpText =
    "The view has three panes: the overview (top right), the main pane (left) and the magnifier (below the "
    "overview).\n"
    "\n"
    "Mouse\n"
    "  click in the main pane or the magnifier: read out the tile, pixel and line, latitude and longitude and "
    "sigma-naught (the status bar; the field beside it follows the pointer)\n"
    "  Ctrl+click in the overview: move the working area there (the canvas is rebuilt)\n"
    "  drag in the main pane: pan (with Shift: both images of a pair together)\n"
    "  C held + click: set the bright mark (tie points); Shift+C or Z hides it\n"
    "  T held + click: add a polygon vertex; Y closes the polygon\n"
    "\n"
    "Keys\n"
    "  arrows: pan by 1 pixel, with Shift by 5\n"
    "  L / K: main pane and magnifier brighter / darker (Shift+L, Shift+K: the overview)\n"
    "  H: every pane darker (Shift+H: the overview a little darker)\n"
    "  E / S: magnifier zoom 8 / 4\n"
    "  R: move the working area when the view reaches its edge; Shift+R: rebuild the canvas at the current point\n"
    "  O, P (with Shift: back): move the mark by one pixel across, down\n";

}  // namespace tessarin::app
