#pragma once
// The work folder: where new TileSets, scratch files and the program's own
// data go. $TESSARIN_WORKDIR when set; else the executable's folder when it
// is writable; else $XDG_DATA_HOME/tessarin (default ~/.local/share/tessarin).

#include <string>

namespace tessarin {

// Resolves (and creates) the work folder; throws Error when none is usable.
std::string workFolder();

// Overrides the rule for this process (the console's --workdir).
void setWorkFolderOverride(const std::string& folder);

// The folder holding the running executable (empty when unknown).
std::string executableFolder();

}  // namespace tessarin
