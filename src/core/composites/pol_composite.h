#pragma once
// Polarimetric composites: two (or, for the averaged cross-polarisation,
// four) TileSets of one acquisition shown as one three-channel image. The
// members' names, the partner rule, the pair project file, the overview
// composite and the CompositeCanvas.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tiles/canvas.h"
#include "tiles/tile_store.h"

namespace tessarin {
class SetFileReader;
}

namespace tessarin::composites {

inline constexpr std::size_t kPolarisationPrefix = 6;  // "IMG-HH"
inline constexpr std::size_t kCompositeChannels = 3;
inline constexpr std::size_t kOverviewCompositeBytes = tiles::kQuickLookBytes * kCompositeChannels;

// One member of a composite and the names derived from its tile file.
struct Member {
    std::string tile;        // the tile file
    tiles::TileKind kind = tiles::TileKind::Complex;
    std::string base;        // the tile path without "tile" or "tile.cpx"
    std::string index;       // base + ".idx", the member's quick-look
    std::string imageName;   // the image file name the TileSet stands for
    std::string headerCopy;  // folder + "FHDR" + image name without its polarisation prefix
    std::string leaderCopy;  // folder + "LED" + the same
};

// The names of a member from its tile path and kind.
Member memberOf(const std::string& tilePath, tiles::TileKind kind);

// The partner of a dual-polarisation member: IMG-HH <-> IMG-HV beside it;
// empty when the name starts with neither.
std::string partnerOf(const std::string& tilePath);

// The tile path of polarisation pol ("HH", "HV", "VH", "VV") of the quad
// set that the selected tile path belongs to.
std::string quadChannelPath(const std::string& selectedTilePath, const char* pol);

// The pair project of a quad composite (<selected tile path>.prj): the RGB
// assignment number when "HH-VH composite" wrote one, then the two members.
struct PolProject {
    std::optional<std::int32_t> rgb;
    std::string member1, member2;
};
inline constexpr std::int32_t kRgbModes = 4;  // "HH-HV-null", "HH-VV-null", "VV-VH-null", "HH-(HV+VH)/2-VV"
std::string polProjectPath(const std::string& selectedTilePath);
// Reads either layout, told apart by the content: strings from the first
// byte, or a 32-bit number 0..3 followed by the strings. Throws Error naming
// the file for anything else, a truncated file or an unusable path.
PolProject readPolProject(const std::string& path);
PolProject parsePolProject(SetFileReader& in);
void writePolProject(const std::string& path, const PolProject& project);

// Which members feed each channel; two sources are averaged, none is zero.
struct ChannelPlan {
    std::array<std::vector<std::size_t>, kCompositeChannels> sources;
};
// Channel 0 member 0, channel 1 member 1, channel 2 member 1 again when
// thirdChannelCopy; for the averaged cross-polarisation (members HH, HV, VH,
// VV) HH, the mean of HV and VH, and VV.
ChannelPlan dualPlan(bool thirdChannelCopy);
ChannelPlan averagedCrossPlan();

// A member usable for reading: its tile file exists and has the size the
// scene's grid implies. Returns the reason when it is not.
std::optional<std::string> unusableReason(const Member& member, const tiles::TileGrid& grid);

// The overview composite: byte 3i + c of channel c from the members' quick-
// looks (a missing or short quick-look reads as zeros past what it holds).
std::vector<std::uint8_t> overviewComposite(const std::vector<const Member*>& members, const ChannelPlan& plan);

// The CompositeCanvas: (2 W) x (2 H) pixels of three unsigned 16-bit
// channels, kept as the cut file's bytes (little-endian, channels
// interleaved).
class CompositeCanvas {
public:
    CompositeCanvas() = default;
    CompositeCanvas(int tpix, int tlin);
    int width() const { return width_; }
    int height() const { return height_; }
    std::uint16_t at(int x, int y, std::size_t channel) const;
    void set(int x, int y, std::size_t channel, std::uint16_t value) {
        const std::size_t at =
            ((static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)) *
                 kCompositeChannels + channel) * 2;
        bytes_[at] = static_cast<std::uint8_t>(value & 0xFF);
        bytes_[at + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    int width_ = 0, height_ = 0;
    std::vector<std::uint8_t> bytes_;
};

// Builds the canvas at the tile boundary nearest ctrorigin from the members
// (null: an unusable member, read as zeros) and writes it to the cut file.
tiles::CanvasState buildCompositeCanvas(tiles::GlobalPoint ctrorigin, const tiles::TileGrid& grid,
                                        const std::vector<const Member*>& members, const ChannelPlan& plan,
                                        const std::string& cutPath, CompositeCanvas& canvas);

}  // namespace tessarin::composites
