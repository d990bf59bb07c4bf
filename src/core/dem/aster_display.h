#pragma once
// Open mode 20: an ASTER GDEM tile shown as shaded relief, cut into tiles of
// its own and browsed two by two like a scene.

#include "document/open_modes.h"

namespace tessarin::dem {

document::OpenModeRow asterDisplayRow();

}  // namespace tessarin::dem
