// bmp2png: a 24- or 32-bit bitmap file as a PNG whose black pixels are
// transparent, as the exports write them. The bitmap file itself is kept.

#include <cstdio>

#include "imagefiles/png_output.h"
#include "platform/error.h"
#include "subcommands.h"

namespace tessarin::cli {

namespace {

int runBmp2png(const Args& args, ConsoleUi& ui) {
    args.requirePositionals(1, "FILE.bmp");
    const std::string in = args.positionals()[0];
    std::string out;
    try {
        out = bitmapFileToPng(in, args.value("out").value_or(std::string()));
    } catch (const Error& e) {
        ui.message(e.what());
        return 1;
    }
    std::printf("%s\n", out.c_str());
    return 0;
}

SubcommandRegistration bmp2pngCommand({"bmp2png",
                                       "convert a 24/32-bit bitmap file to PNG, black pixels transparent",
                                       "FILE.bmp [--out FILE.png]",
                                       {{"out", true, "PNG path (\".png\" is added when missing)"}}, runBmp2png});

}  // namespace

}  // namespace tessarin::cli
