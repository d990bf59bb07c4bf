// bmp2png: a 24- or 32-bit bitmap file as a PNG whose black pixels are
// transparent, as the exports write them. The bitmap file itself is kept.

#include <cstdio>

#include "imagefiles/dib.h"
#include "imagefiles/png_output.h"
#include "platform/error.h"
#include "platform/text.h"
#include "subcommands.h"

namespace tessarin::cli {

namespace {

int runBmp2png(const Args& args, ConsoleUi& ui) {
    args.requirePositionals(1, "FILE.bmp");
    const std::string in = args.positionals()[0];
    const std::string base = endsWith(in, ".bmp") ? in.substr(0, in.size() - 4) : in;
    const std::string out = args.value("out").value_or(base + ".png");
    try {
        const CDib dib = CDib::readFile(in);
        if (dib.bitsPerPixel != 24 && dib.bitsPerPixel != 32) {
            ui.message(kNotRgbText);
            return 1;
        }
        // Straight from the loaded bitmap: the export's intermediate
        // ".bmp" would be the user's own file here.
        writeTransparentPng(pngPathsFor(out).png, dib.toBitmap());
    } catch (const Error& e) {
        ui.message(e.what());
        return 1;
    }
    std::printf("%s\n", pngPathsFor(out).png.c_str());
    return 0;
}

SubcommandRegistration bmp2pngCommand({"bmp2png",
                                       "convert a 24/32-bit bitmap file to PNG, black pixels transparent",
                                       "FILE.bmp [--out FILE.png]",
                                       {{"out", true, "PNG path (\".png\" is added when missing)"}}, runBmp2png});

}  // namespace

}  // namespace tessarin::cli
