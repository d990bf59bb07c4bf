#pragma once
// What a document keeps of its DEM: the source chosen, the tiles under the
// scene, the imported table with its geoid, and the "DemTable" grid buffer.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dem/dem_import.h"
#include "dem/geoid.h"
#include "document/module_state.h"
#include "platform/file.h"

namespace tessarin::dem {

struct DemState : document::ModuleState {
    std::optional<DemList> list;  // set by a source command: the list is ready
    bool imported = false;        // blocks a new source and a second import
    DemTable table;
    CGeoid geoid;
    std::string geoidImagePath;   // "GeoidDataImg" in the work folder
    std::vector<std::int16_t> grid;  // the "DemTable" heights, allocated once
    bool demTableWritten = false;

    void close() override {
        if (!geoidImagePath.empty()) removeFile(geoidImagePath);
    }
};

}  // namespace tessarin::dem
