#include "document/open_modes.h"

#include <stdexcept>
#include <string>

namespace tessarin::document {

void OpenModeTable::add(const OpenModeRow& row) {
    if (!rows_.emplace(row.mode, row).second)
        throw std::logic_error("OpenMode " + std::to_string(row.mode) + " has two rows");
}

const OpenModeRow* OpenModeTable::find(int mode) const {
    const auto it = rows_.find(mode);
    return it == rows_.end() ? nullptr : &it->second;
}

std::vector<const OpenModeRow*> OpenModeTable::rows() const {
    std::vector<const OpenModeRow*> out;
    out.reserve(rows_.size());
    for (const auto& [mode, row] : rows_) out.push_back(&row);
    return out;
}

const OpenModeRow& unknownOpenMode() {
    static const OpenModeRow row{};
    return row;
}

}  // namespace tessarin::document
