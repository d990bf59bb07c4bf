// bmp2tif: a bitmap file saved as an uncompressed TIFF (8-bit grey or 24-bit
// RGB), as the bitmap exports write them.

#include <cstdio>

#include "imagefiles/dib.h"
#include "imagefiles/png_output.h"
#include "platform/error.h"
#include "platform/text.h"
#include "subcommands.h"

namespace tessarin::cli {

namespace {

int runBmp2tif(const Args& args, ConsoleUi& ui) {
    args.requirePositionals(1, "FILE.bmp");
    const std::string in = args.positionals()[0];
    const std::string base = endsWith(in, ".bmp") ? in.substr(0, in.size() - 4) : in;
    const std::string out = args.value("out").value_or(base + ".tif");
    try {
        bitmapToTiff(out, CDib::readFile(in).toBitmap());
    } catch (const Error& e) {
        ui.message(e.what());
        return 1;
    }
    std::printf("%s\n", out.c_str());
    return 0;
}

SubcommandRegistration bmp2tifCommand({"bmp2tif", "save a bitmap file as an uncompressed TIFF",
                                       "FILE.bmp [--out FILE.tif]", {{"out", true, "TIFF path"}}, runBmp2tif});

}  // namespace

}  // namespace tessarin::cli
