#pragma once
// The decoded description of one scene channel as an ordered list of named
// values: what `tessarin-cli info` prints as text or JSON. Names are those of
// the SceneParameters fields.

#include <string>
#include <variant>
#include <vector>

#include "products/alos2.h"

namespace tessarin::products {

using ReportValue = std::variant<long long, double, std::string, std::vector<double>, std::vector<StateVector>>;

struct ReportEntry {
    std::string name;
    ReportValue value;
};

std::vector<ReportEntry> sceneReport(const Alos2& reader);

// One "name value" line per entry; arrays space-separated, one line per
// state vector ("stateVectors[i] t X Y Z VX VY VZ radius"). Numbers in their
// shortest exact form.
std::string sceneReportText(const std::vector<ReportEntry>& report);

// The shortest text that reads back as the same double.
std::string exactNumber(double value);

}  // namespace tessarin::products
