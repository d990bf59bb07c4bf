#pragma once
// Conversion of one scene channel into a TileSet and its quick-look.
//
// The image is read once, in tile-row order, a chunk of line records at a
// time (about 4 MiB); the threads pack the chunk's columns between them
// straight into its tile blocks, and each block goes to the tile file with
// one write. Memory holds two chunks, never a strip or the scene. Everything
// is written under temporary names and renamed into place only when
// complete: an interrupted conversion leaves no TileSet under its final
// names.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tiles/tile_store.h"

namespace tessarin {
class AtomicFile;
class Ui;
}

namespace tessarin::tiles {

// Where the samples of the image file are and how they are stored.
struct ImageLayout {
    std::string imagePath;
    int pixel = 0;         // samples per line
    int line = 0;          // lines
    int fileheader = 720;  // bytes before line 0
    int lineheader = 0;    // prefix bytes of each line record
    int linebytes = 0;     // bytes per line record
    bool bigEndian = true; // every CEOS product; false reads host order
};

struct ConversionOptions {
    int tpix = kTileSize;
    int tlin = kTileSize;
    double equalizingval = kEqualizingVal;
    int phaseSign = 1;
    // Worker threads for packing (0: as many as the machine has, at most 4).
    // The output is the same for any count.
    int threads = 0;
};

struct ConversionResult {
    TileGrid grid;
    int bucketX = 0;  // quick-look bucket width in pixels, as computed (0 for narrow scenes)
    int bucketY = 0;  // quick-look bucket height in lines
    std::string tilePath;
    std::string quickLookPath;
    // Complex conversions: scene samples packed at the top amplitude code.
    std::uint64_t saturated = 0;
};

// Level 1.1: complex samples (float pairs) into 3-byte packed tiles.
ConversionResult convertComplex(const ImageLayout& image, const std::string& tilePath,
                                const std::string& quickLookPath, Ui& ui, const ConversionOptions& options = {});

// Level 1.5: 16-bit digital numbers into 2-byte amplitude tiles.
ConversionResult convertAmplitude(const ImageLayout& image, const std::string& tilePath,
                                  const std::string& quickLookPath, Ui& ui, const ConversionOptions& options = {});

// The same into files the caller renames into place (commits) when every
// file of its TileSet is complete.
ConversionResult convertComplex(const ImageLayout& image, AtomicFile& tileOut, AtomicFile& quickLookOut, Ui& ui,
                                const ConversionOptions& options = {});
ConversionResult convertAmplitude(const ImageLayout& image, AtomicFile& tileOut, AtomicFile& quickLookOut, Ui& ui,
                                  const ConversionOptions& options = {});

// Lines past the end of the image file read as zeros; this says so in a
// message ("the image file holds 200 of 999999 lines"), and refuses a scene
// whose file holds less than one line in a thousand of those claimed, whose
// tile file would be thousands of times larger than its input.
void checkLinesHeld(const ImageLayout& image, Ui& ui);

// Quick-look bucket size along one axis. A scene side shorter than 256 gives
// 0 by the bucket rule; such scenes use buckets of one sample instead, so each
// sample has its own cell and the cells past the scene stay empty.
int effectiveBucket(int bucket);

// The 256 x 256 quick-look bytes from the accumulated cells: m = mean,
// s = standard deviation, lo = max(0, m - 3s), byte = trunc((c - lo) / m * 64)
// limited to 0..255. An all-zero accumulator gives all-zero bytes.
std::vector<std::uint8_t> quickLookImage(const std::vector<double>& cells);

}  // namespace tessarin::tiles
