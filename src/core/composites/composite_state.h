#pragma once
// What a composite document keeps: the cut file of its CompositeCanvas and
// ThirdChannelCopy, the flag that repeats channel 1 in channel 2 of a
// two-channel composite.

#include <string>

#include "document/module_state.h"
#include "platform/file.h"

namespace tessarin::composites {

struct CompositeState : document::ModuleState {
    bool thirdChannelCopy = false;
    std::string cutPath;  // the composite cut file, a work file of the document

    void close() override {
        if (!cutPath.empty()) removeFile(cutPath);
    }
};

}  // namespace tessarin::composites
