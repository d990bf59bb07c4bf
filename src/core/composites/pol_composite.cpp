#include "composites/pol_composite.h"

#include <algorithm>
#include <cstring>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/set_file.h"
#include "platform/text.h"

namespace tessarin::composites {

namespace {

constexpr std::size_t kAmplitudeSuffix = 4;  // "tile"
constexpr std::size_t kComplexSuffix = 8;    // "tile.cpx"
constexpr std::uint8_t kArchiveUnicodeByte = 0xFF;
constexpr std::size_t kRgbNumberBytes = 4;

std::string dropFront(const std::string& s, std::size_t n) { return s.size() > n ? s.substr(n) : std::string(); }
std::string dropBack(const std::string& s, std::size_t n) { return s.size() > n ? s.substr(0, s.size() - n) : std::string(); }

// The canvas value of one tile pixel: an amplitude sample as stored
// (little-endian), or the two most significant bytes of a packed complex
// pixel (twice the amplitude code plus the top bit of the phase code).
inline std::uint16_t pixelValue(const std::uint8_t* p, tiles::TileKind kind) {
    return kind == tiles::TileKind::Complex ? static_cast<std::uint16_t>(p[0] << 8 | p[1])
                                            : static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

inline void storeLE(std::uint8_t* out, std::uint16_t v) {
    out[0] = static_cast<std::uint8_t>(v & 0xFFu);
    out[1] = static_cast<std::uint8_t>(v >> 8);
}

}  // namespace

Member memberOf(const std::string& tilePath, tiles::TileKind kind) {
    Member m;
    m.tile = tilePath;
    m.kind = kind;
    m.base = dropBack(tilePath, kind == tiles::TileKind::Complex ? kComplexSuffix : kAmplitudeSuffix);
    m.index = m.base + ".idx";
    const SplitPath split = splitPath(m.base);
    m.imageName = split.name;
    // All polarisations of a scene share the copies named after the image
    // without its polarisation prefix.
    const std::string rest = dropFront(split.name, kPolarisationPrefix);
    m.headerCopy = joinPath(split.folder, "FHDR" + rest);
    m.leaderCopy = joinPath(split.folder, "LED" + rest);
    return m;
}

std::string partnerOf(const std::string& tilePath) {
    const SplitPath split = splitPath(tilePath);
    const std::string rest = dropFront(split.name, kPolarisationPrefix);
    if (rest.empty()) return {};
    if (startsWith(split.name, "IMG-HH")) return joinPath(split.folder, "IMG-HV" + rest);
    if (startsWith(split.name, "IMG-HV")) return joinPath(split.folder, "IMG-HH" + rest);
    return {};
}

std::string quadChannelPath(const std::string& selectedTilePath, const char* pol) {
    const SplitPath split = splitPath(selectedTilePath);
    return joinPath(split.folder, std::string("IMG-") + pol + dropFront(split.name, kPolarisationPrefix));
}

std::string polProjectPath(const std::string& selectedTilePath) { return selectedTilePath + ".prj"; }

PolProject readPolProject(const std::string& path) {
    SetFileReader in(path);
    return parsePolProject(in);
}

PolProject parsePolProject(SetFileReader& in) {
    const std::string& path = in.path();
    PolProject project;
    if (in.byteAt(0) != kArchiveUnicodeByte) {
        // Not a string first: the RGB assignment number, then the strings.
        if (in.size() < kRgbNumberBytes + 1 || in.byteAt(kRgbNumberBytes) != kArchiveUnicodeByte)
            throw Error(format("\"%s\" is not a composite project (it holds %zu bytes)", path.c_str(), in.size()));
        const std::int32_t rgb = in.readInt32("RGB assignment number");
        if (rgb < 0 || rgb >= kRgbModes)
            throw Error(format("\"%s\": the RGB assignment number %d is not 0 to 3", path.c_str(), rgb));
        project.rgb = rgb;
    }
    project.member1 = in.readPath("first member");
    project.member2 = in.readPath("second member");
    return project;
}

void writePolProject(const std::string& path, const PolProject& project) {
    SetFileWriter out;
    if (project.rgb) out.writeInt32(*project.rgb);
    out.writeString(project.member1);
    out.writeString(project.member2);
    out.save(path);
}

ChannelPlan dualPlan(bool thirdChannelCopy) {
    ChannelPlan plan;
    plan.sources[0] = {0};
    plan.sources[1] = {1};
    if (thirdChannelCopy) plan.sources[2] = {1};
    return plan;
}

ChannelPlan averagedCrossPlan() {
    ChannelPlan plan;
    plan.sources[0] = {0};
    plan.sources[1] = {1, 2};
    plan.sources[2] = {3};
    return plan;
}

std::optional<std::string> unusableReason(const Member& member, const tiles::TileGrid& grid) {
    if (!fileExists(member.tile)) return format("\"%s\" does not exist", member.tile.c_str());
    const auto file = File::tryOpen(member.tile, File::Mode::Read);
    if (!file) return format("\"%s\" cannot be read", member.tile.c_str());
    const std::uint64_t expected = grid.fileBytes(member.kind);
    if (file->size() != expected)
        return format("\"%s\" holds %llu bytes, but the scene's %d x %d tiles need %llu", member.tile.c_str(),
                      static_cast<unsigned long long>(file->size()), grid.ntx, grid.nty,
                      static_cast<unsigned long long>(expected));
    return std::nullopt;
}

std::vector<std::uint8_t> overviewComposite(const std::vector<const Member*>& members, const ChannelPlan& plan) {
    std::vector<std::vector<std::uint8_t>> looks(members.size(), std::vector<std::uint8_t>(tiles::kQuickLookBytes, 0));
    for (std::size_t m = 0; m < members.size(); ++m) {
        if (!members[m]) continue;
        auto file = File::tryOpen(members[m]->index, File::Mode::Read);
        if (file) file->readSome(looks[m]);  // what is not there stays zero
    }
    std::vector<std::uint8_t> out(kOverviewCompositeBytes, 0);
    for (std::size_t c = 0; c < kCompositeChannels; ++c) {
        const auto& src = plan.sources[c];
        for (std::size_t i = 0; i < tiles::kQuickLookBytes; ++i) {
            unsigned sum = 0;
            for (std::size_t m : src) sum += looks.at(m)[i];
            out[kCompositeChannels * i + c] = src.empty() ? 0 : static_cast<std::uint8_t>(sum / src.size());
        }
    }
    return out;
}

CompositeCanvas::CompositeCanvas(int tpix, int tlin)
    : width_(2 * tpix), height_(2 * tlin),
      bytes_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * kCompositeChannels * 2, 0) {}

std::uint16_t CompositeCanvas::at(int x, int y, std::size_t channel) const {
    const std::size_t at = ((static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)) *
                                kCompositeChannels +
                            channel) *
                           2;
    return static_cast<std::uint16_t>(bytes_.at(at) | bytes_.at(at + 1) << 8);
}

tiles::CanvasState buildCompositeCanvas(tiles::GlobalPoint ctrorigin, const tiles::TileGrid& grid,
                                        const std::vector<const Member*>& members, const ChannelPlan& plan,
                                        const std::string& cutPath, CompositeCanvas& canvas) {
    if (canvas.width() != 2 * grid.tpix || canvas.height() != 2 * grid.tlin)
        canvas = CompositeCanvas(grid.tpix, grid.tlin);
    const tiles::CanvasState state = tiles::nearestBoundaryBlock(ctrorigin, grid);
    const int kx0 = state.kx0, ky0 = state.ky0;

    std::vector<std::optional<File>> files(members.size());
    std::vector<std::vector<std::uint8_t>> tiles(members.size());
    for (std::size_t m = 0; m < members.size(); ++m) {
        if (!members[m]) continue;
        files[m].emplace(members[m]->tile, File::Mode::Read);
        tiles[m].resize(grid.tileBytes(members[m]->kind));
    }
    const std::size_t width = static_cast<std::size_t>(canvas.width());
    const std::size_t tpix = static_cast<std::size_t>(grid.tpix);
    const std::size_t tlin = static_cast<std::size_t>(grid.tlin);
    constexpr std::size_t kStep = kCompositeChannels * 2;
    std::uint8_t* out = canvas.bytes().data();
    for (std::size_t j = 0; j < 2; ++j) {
        for (std::size_t i = 0; i < 2; ++i) {
            const int kx = kx0 + static_cast<int>(i), ky = ky0 + static_cast<int>(j);
            for (std::size_t m = 0; m < members.size(); ++m)
                if (members[m]) tiles::readTile(*files[m], grid, kx, ky, members[m]->kind, tiles[m]);
            for (std::size_t y = 0; y < tlin; ++y) {
                std::uint8_t* row = out + ((j * tlin + y) * width + i * tpix) * kStep;
                // Each channel's sources on this row: none (zero), one, or two
                // averaged; an unusable member counts as zero.
                struct Source {
                    const std::uint8_t* data;
                    tiles::TileKind kind;
                    std::size_t bytes;
                };
                std::array<std::array<Source, 2>, kCompositeChannels> src{};
                std::array<std::size_t, kCompositeChannels> count{};
                std::array<std::size_t, kCompositeChannels> divisor{};
                for (std::size_t c = 0; c < kCompositeChannels; ++c) {
                    divisor[c] = std::max<std::size_t>(1, plan.sources[c].size());
                    for (std::size_t s : plan.sources[c]) {
                        const Member* m = members.at(s);
                        if (!m || count[c] == 2) continue;
                        const std::size_t bytes = tiles::pixelBytes(m->kind);
                        src[c][count[c]++] = {tiles[s].data() + y * tpix * bytes, m->kind, bytes};
                    }
                }
                for (std::size_t c = 0; c < kCompositeChannels; ++c) {
                    std::uint8_t* o = row + 2 * c;
                    if (count[c] == 0) {
                        for (std::size_t x = 0; x < tpix; ++x) storeLE(o + x * kStep, 0);
                    } else if (count[c] == 1 && divisor[c] == 1) {
                        const Source a = src[c][0];
                        if (a.kind == tiles::TileKind::Complex) {
                            for (std::size_t x = 0; x < tpix; ++x) {
                                o[x * kStep] = a.data[3 * x + 1];
                                o[x * kStep + 1] = a.data[3 * x];
                            }
                        } else {
                            for (std::size_t x = 0; x < tpix; ++x) {
                                o[x * kStep] = a.data[2 * x];
                                o[x * kStep + 1] = a.data[2 * x + 1];
                            }
                        }
                    } else {
                        for (std::size_t x = 0; x < tpix; ++x) {
                            unsigned sum = 0;
                            for (std::size_t k = 0; k < count[c]; ++k)
                                sum += pixelValue(src[c][k].data + x * src[c][k].bytes, src[c][k].kind);
                            storeLE(o + x * kStep, static_cast<std::uint16_t>(sum / divisor[c]));
                        }
                    }
                }
            }
        }
    }
    writeWholeFile(cutPath, canvas.bytes());
    return state;
}

}  // namespace tessarin::composites
