#pragma once
// Colour coding of the 8-bit Fringe: the colour table ("ColorTable.raw",
// 256 entries of 3 bytes, entry k for Fringe value k, its bytes copied in
// file order to output channels 0, 1, 2), the colour fringe with and
// without the master intensity, the fringe/image composite, and the masked
// colouring the geo export of interferometric results uses.

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace tessarin::insar {

inline constexpr const char* kColorTableName = "ColorTable.raw";
inline constexpr std::size_t kColorTableBytes = 768;

using ColorTable = std::array<std::array<std::uint8_t, 3>, 256>;

// The table shipped with the program: one fringe cycle is one turn of the
// colour wheel (three cosines a third of a turn apart), so the colours join
// where the phase wraps.
ColorTable defaultColorTable();
std::vector<std::uint8_t> colorTableBytes(const ColorTable& table);

struct LoadedColorTable {
    ColorTable table{};
    std::string path;   // the file read; empty when the built-in default is used
    std::string notice; // why a file was passed over, or why the default is used; empty when all went well
};

// The table from "ColorTable.raw" in the work folder, else in the installed
// share folder; a missing or damaged file (not exactly 768 bytes) is passed
// over with a notice, and without any usable file the default is used.
LoadedColorTable loadColorTable(const std::string& workFolder);
// The folders searched after the work folder, in order: beside the
// executable's folder in ../share/tessarin, then the installed share folder.
std::vector<std::string> colorTableShareFolders();

// pixel = table[fringe], 3 bytes per pixel.
std::vector<std::uint8_t> colourFringe(std::span<const std::uint8_t> fringe, const ColorTable& table);

// The master intensity of each pixel from a cut file's bytes (channel 0 of
// 3 little-endian 16-bit channels) and its mean over the area.
std::vector<std::uint16_t> masterIntensity(std::span<const std::uint8_t> cutBytes, std::size_t pixels);
double meanOf(std::span<const std::uint16_t> values);

// Each colour byte times f = min(1, 196 / mean * A / 1024.75), truncated and
// at most 255; a mean of 0 gives f = 0.
std::vector<std::uint8_t> colourFringeWithIntensity(std::span<const std::uint8_t> fringe,
                                                    std::span<const std::uint16_t> intensity, const ColorTable& table);

// e = I / mean * 64 as a byte (255 above), 0 for a mean of 0; each output
// byte (table byte * e) / 256, truncated.
std::uint8_t compositeFactor(std::uint16_t intensity, double mean);
std::vector<std::uint8_t> fringeImageComposite(std::span<const std::uint8_t> fringe,
                                               std::span<const std::uint16_t> intensity, const ColorTable& table);

// Masked colouring of an 8-bit product (Fringe or coherence) with its mask
// (0 = masked): with colour, table[value]; with grey, (value, value, value);
// masked pixels (0, 0, 0) in both. A valid pixel that would come out
// (0, 0, 0) is written (1, 1, 1), so that a reader taking black as
// transparent keeps it.
std::vector<std::uint8_t> maskedColouring(std::span<const std::uint8_t> product, std::span<const std::uint8_t> mask,
                                          bool colour, const ColorTable& table);

// The same through a scratch file for an image writer: reads the product
// and mask files (pixels x lines bytes each; a missing or short one throws
// Error naming it), writes the pixels to outputBase + "tempo", hands that
// path to `writer`, and deletes the scratch file whatever the writer does.
void maskedColouringThroughFile(const std::string& productPath, const std::string& maskPath, int pixels, int lines,
                                const std::string& outputBase, bool colour, const ColorTable& table,
                                const std::function<void(const std::string& scratchPath)>& writer);

// The name of the temporary inclination fringe's amplitude TIFF: the
// interferogram path with the last 15 characters of its file name cut (never
// into the folder; a shorter name is cut whole) and "CAmp.tif" appended.
std::string temporalAmplitudeTiffPath(const std::string& interferogramPath);

}  // namespace tessarin::insar
