// geotiff-header: the "Decode GeoTif Header" command without a window. Writes
// the CSV that decodes a TIFF header (beside the file unless --out says
// otherwise) and shows "Decode Complete".

#include "imagefiles/tif_gen.h"
#include "platform/error.h"
#include "subcommands.h"

namespace tessarin::cli {

namespace {

int runGeotiffHeader(const Args& args, ConsoleUi& ui) {
    if (args.positionals().size() > 1) throw UsageError("expects at most one FILE");
    std::string path;
    if (args.positionals().empty()) {
        // As in the window: a file dialog over all files, answered by --answer.
        const auto chosen = ui.openFile({"Select GeoTif file", "All Files (*.*)|*.*||", ""});
        if (!chosen) return 0;
        path = *chosen;
    } else {
        path = args.positionals()[0];
    }
    try {
        const std::string report = CTIFGen::writeHeaderReport(path, args.value("out").value_or(""));
        std::printf("%s\n", report.c_str());
    } catch (const Error& e) {
        ui.message(e.what());
        return 1;
    }
    ui.message(CTIFGen::kDecodeCompleteText);
    return 0;
}

SubcommandRegistration geotiffHeaderCommand(
    {"geotiff-header",
     "write the CSV report decoding a TIFF/GeoTIFF header (FILE without its last 3 characters + \"csv\")",
     "[FILE.tif] [--out REPORT.csv]",
     {{"out", true, "write the report here instead"}},
     runGeotiffHeader});

}  // namespace

}  // namespace tessarin::cli
