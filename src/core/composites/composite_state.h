#pragma once
// What a composite document keeps: its members and how they feed the
// channels, the CompositeCanvas and its cut file, the overview composite,
// and ThirdChannelCopy, the flag that repeats channel 1 in channel 2.

#include <string>
#include <vector>

#include "composites/pol_composite.h"
#include "document/module_state.h"
#include "platform/file.h"

namespace tessarin::composites {

struct CompositeState : document::ModuleState {
    bool thirdChannelCopy = false;
    std::string cutPath;       // the composite cut file, a work file of the document
    std::string overviewPath;  // the overview composite ("...idxFBDCompo")
    std::vector<Member> members;
    std::vector<bool> usable;  // per member: its tiles can be read
    bool averagedCross = false;  // HH, (HV + VH) / 2, VV
    CompositeCanvas canvas;

    std::vector<const Member*> readable() const {
        std::vector<const Member*> out;
        for (std::size_t m = 0; m < members.size(); ++m) out.push_back(usable.at(m) ? &members[m] : nullptr);
        return out;
    }
    ChannelPlan plan() const { return averagedCross ? averagedCrossPlan() : dualPlan(thirdChannelCopy); }

    void close() override {
        if (!cutPath.empty()) removeFile(cutPath);
    }
};

}  // namespace tessarin::composites
