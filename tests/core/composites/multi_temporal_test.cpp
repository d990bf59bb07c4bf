// Multi-temporal composites without products: the set files byte for byte
// and every truncation, the member rule, and the canvas against a plain
// per-pixel reference on tile files of known content.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "composites/multi_temporal.h"
#include "insar/conjugate_point_table.h"
#include "platform/file.h"
#include "support/refusal.h"
#include "support/temp_dir.h"

namespace tessarin::composites {
namespace {

using ::testing::HasSubstr;
using tessarin::testing::refusalOf;

class MultiTemporal : public tessarin::testing::TempDirTest {};

// An archive string as the reference writes it: FF FE FF, one length byte,
// UTF-16LE (the paths here are ASCII and short).
std::vector<std::uint8_t> archive(const std::string& s) {
    std::vector<std::uint8_t> out{0xFF, 0xFE, 0xFF, static_cast<std::uint8_t>(s.size())};
    for (char c : s) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

std::vector<std::uint8_t> concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST_F(MultiTemporal, SetFilesBytesTruncationsAndRefusals) {
    const std::string a = path("IMG-HH-AUBSR1.5__Dtile"), b = path("IMG-HH-BUBSR1.5__Dtile"), c = path("IMG-HH-C");
    for (const auto& f : {a, b, c}) writeWholeFile(f, std::vector<std::uint8_t>(2, 0));
    const std::vector<std::uint8_t> four2{2, 0, 0, 0}, four3{3, 0, 0, 0};
    const auto mlt = concat({archive(a), archive(b)});
    const auto cmt2 = concat({four2, archive(a), archive(b), archive("")});
    const auto cmt3 = concat({four3, archive(a), archive(b), archive(c)});

    writeMultiTemporalSet(path("s.mlt"), {a, b});
    EXPECT_EQ(readWholeFile(path("s.mlt")), mlt);
    writeComplexMultiTemporalSet(path("d.cmt"), {2, a, b, c});  // the third is dropped for two dates
    EXPECT_EQ(readWholeFile(path("d.cmt")), cmt2);
    writeComplexMultiTemporalSet(path("t.cmt"), {3, a, b, c});
    EXPECT_EQ(readWholeFile(path("t.cmt")), cmt3);

    const auto set = readMultiTemporalSet(path("s.mlt"));
    EXPECT_EQ(set.master, a);
    EXPECT_EQ(set.second, b);
    // Three strings, and the older two-string form of the same file.
    const std::vector<std::uint8_t> cmtTwoStrings = concat({four2, archive(a), archive(b)});
    const struct {
        const std::vector<std::uint8_t>* bytes;
        int count;
        std::string third;
    } readable[] = {{&cmt2, 2, ""}, {&cmt3, 3, c}, {&cmtTwoStrings, 2, ""}};
    for (const auto& r : readable) {
        writeWholeFile(path("r.cmt"), *r.bytes);
        const auto read = readComplexMultiTemporalSet(path("r.cmt"));
        EXPECT_EQ(read.count, r.count);
        EXPECT_EQ(read.master, a);
        EXPECT_EQ(read.slave, b);
        EXPECT_EQ(read.third, r.third);
    }

    // Every truncation is refused naming the file, except a two-date .cmt
    // cut exactly after its second string (the older form).
    for (const auto* bytes : {&mlt, &cmt2, &cmt3})
        for (std::size_t n = 0; n < bytes->size(); ++n) {
            if (bytes == &cmt2 && n == cmtTwoStrings.size()) continue;
            writeWholeFile(path("cut.set"), std::span(bytes->data(), n));
            const std::string refusal = refusalOf([&] {
                if (bytes == &mlt) readMultiTemporalSet(path("cut.set"));
                else readComplexMultiTemporalSet(path("cut.set"));
            });
            EXPECT_THAT(refusal, HasSubstr(path("cut.set"))) << n << " of " << bytes->size() << " bytes";
        }
    const struct {
        std::vector<std::uint8_t> bytes;
        const char* message;
    } damaged[] = {
        {concat({{4, 0, 0, 0}, archive(a), archive(b), archive("")}), "the number of dates is 4, not 2 or 3"},
        {concat({{0xFF, 0xFF, 0xFF, 0xFF}, archive(a), archive(b)}), "the number of dates is -1"},
        {concat({four3, archive(a), archive(b), archive("")}), "names three dates but holds no third tile file"},
        {concat({four3, archive(a), archive(b)}), "names three dates but holds no third tile file"},
        {concat({four2, archive(""), archive(b)}), "is empty"},
    };
    for (const auto& d : damaged) {
        writeWholeFile(path("bad.cmt"), d.bytes);
        EXPECT_THAT(refusalOf([&] { readComplexMultiTemporalSet(path("bad.cmt")); }), HasSubstr(d.message));
    }
    EXPECT_THAT(refusalOf([&] { writeComplexMultiTemporalSet(path("n.cmt"), {5, a, b, c}); }), HasSubstr("not 5"));
    EXPECT_FALSE(std::filesystem::exists(path("n.cmt")));
}

TEST(MultiTemporalNames, MembersMustBeAmplitudeTileSets) {
    const struct {
        const char* tile;
        bool accepted;
    } table[] = {
        {"/d/IMG-HH-ALOS2011502960-140724-UBSR1.5GUAtile", true},
        {"/d/IMG-HH-ALOS2011502960-140724-UBSR1.1__Atile.cpx", false},
        {"/d/IMG-HH-ALOS2011502960-140724-UBSR1.5GUA", false},
        {"/d/IMG-HH-ALOS2011502960-140724-UBSR1.5GUA.idx", false},
    };
    for (const auto& t : table) {
        const std::string refusal = refusalOf([&] {
            const Member m = amplitudeMember(t.tile, "/d/set.mlt");
            // The copies are named from the image, without its polarisation.
            EXPECT_EQ(m.headerCopy, "/d/FHDR-ALOS2011502960-140724-UBSR1.5GUA");
            EXPECT_EQ(m.index, "/d/IMG-HH-ALOS2011502960-140724-UBSR1.5GUA.idx");
        });
        if (t.accepted) {
            EXPECT_EQ(refusal, tessarin::testing::kAccepted) << t.tile;
        } else {
            EXPECT_THAT(refusal, HasSubstr(t.tile));
            EXPECT_THAT(refusal, HasSubstr("/d/set.mlt"));
        }
    }
}

// ---- the canvas against a per-pixel reference

// Speckle-like texture, nowhere zero inside a scene.
std::uint16_t texture(long long x, long long y) {
    std::uint64_t h = static_cast<std::uint64_t>(x) * 0x9E3779B97F4A7C15ull ^ static_cast<std::uint64_t>(y) * 0xC2B2AE3D27D4EB4Full;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    return static_cast<std::uint16_t>(1 + h % 40000);
}

// An amplitude tile file of a pixel x line scene holding value(x, y).
template <class Value>
tiles::TileGrid writeTiles(const std::string& path, int pixel, int line, Value value) {
    const tiles::TileGrid g = tiles::TileGrid::make(pixel, line);
    std::vector<std::uint8_t> bytes(g.fileBytes(tiles::TileKind::Amplitude), 0);
    for (int y = 0; y < line; ++y)
        for (int x = 0; x < pixel; ++x) {
            const std::uint64_t at = g.tileLineOffset(x / g.tpix, y / g.tlin, y % g.tlin, tiles::TileKind::Amplitude) +
                                     2ull * static_cast<std::uint64_t>(x % g.tpix);
            const std::uint16_t v = value(x, y);
            bytes[at] = static_cast<std::uint8_t>(v & 0xFF);
            bytes[at + 1] = static_cast<std::uint8_t>(v >> 8);
        }
    writeWholeFile(path, bytes);
    return g;
}

insar::ConjugatePointTable cornerTable(int pixel, int line, std::array<double, 4> dx, std::array<double, 4> dy,
                                       double adjustX, double adjustY) {
    insar::ConjugatePointTable t;
    const std::array<insar::MasterPoint, 4> m{{{0, 0}, {pixel - 1, 0}, {0, line - 1}, {pixel - 1, line - 1}}};
    for (std::size_t k = 0; k < 4; ++k) t.setPoint(k, m[k], dx[k], dy[k]);
    t.adjustX = adjustX;
    t.adjustY = adjustY;
    t.ready = true;
    return t;
}

TEST_F(MultiTemporal, CanvasMatchesThePerPixelReference) {
    constexpr int MP = 3000, ML = 2500, SP = 3100, SL = 2600;
    constexpr int DX = 3, DY = -5;  // the second date holds the master's cell (x, y) at (x + DX, y + DY)
    MultiTemporalInput base;
    base.masterTile = path("mtile");
    base.secondTile = path("stile");
    base.masterGrid = writeTiles(base.masterTile, MP, ML, [](int x, int y) { return texture(x, y); });
    base.secondGrid = writeTiles(base.secondTile, SP, SL, [](int x, int y) { return texture(x - DX, y - DY); });

    const struct Case {
        const char* what;
        tiles::GlobalPoint ctrorigin;
        insar::ConjugatePointTable table;
        bool useCorners, thirdCopy;
        double minNcc, maxNcc;  // of the registration check
    } cases[] = {
        // Registered within a quarter sample: every sample is the cell itself.
        {"registered", {1500, 1000}, cornerTable(MP, ML, {3.2, 2.8, 3.1, 2.9}, {-4.8, -5.2, -5.1, -4.9}, 0, 0), true, true,
         0.999, 1.0},
        // No corners, the global displacement alone, one sample off.
        {"global only", {0, 0}, cornerTable(MP, ML, {9, 9, 9, 9}, {9, 9, 9, 9}, 4, -5), false, false, -0.05, 0.05},
        // A field growing by 100 samples to the right and falling by 35 down: its
        // smallest lines lie at the bottom corners of the canvas, and the
        // nearest samples run out of the cut on the other side.
        {"steep field", {2000, 2000}, cornerTable(MP, ML, {-40, 60, -45, 65}, {8, 3, -30, -35}, 0.3, -0.4), true, false,
         -1.0, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MultiTemporalInput in = base;
        in.table = c.table;
        in.useCorners = c.useCorners;
        in.thirdChannelCopy = c.thirdCopy;
        CompositeCanvas canvas;
        const MultiTemporalResult r = buildMultiTemporalCanvas(c.ctrorigin, in, canvas, path("set.cut"));
        ASSERT_EQ(canvas.width(), 2048);
        EXPECT_EQ(readWholeFile(path("set.cut")), canvas.bytes());
        EXPECT_EQ(canvas.bytes().size(), 25165824u);

        // The reference: the canvas block at the nearest tile boundary, the
        // four canvas corners mapped, the cut from the smallest, nearest
        // sample floor(p + 0.5), zero outside the cut or the scene.
        const long long mx = 1024 * ((512 + c.ctrorigin.x) / 1024), my = 1024 * ((512 + c.ctrorigin.y) / 1024);
        EXPECT_EQ(r.state.origin, (tiles::GlobalPoint{mx, my}));
        const auto position = [&](double x, double y) {
            if (c.useCorners) return insar::slavePosition(c.table, x, y);
            return ScenePoint{x + c.table.adjustX, y + c.table.adjustY};
        };
        double minX = 1e30, minY = 1e30;
        for (long long cy : {my, my + 2048})
            for (long long cx : {mx, mx + 2048}) {
                const ScenePoint s = position(static_cast<double>(cx), static_cast<double>(cy));
                minX = std::min(minX, s.pixel);
                minY = std::min(minY, s.line);
            }
        const long long sx = static_cast<long long>(std::floor(minX)) - 24, sy = static_cast<long long>(std::floor(minY)) - 24;
        EXPECT_EQ(r.cutOrigin, (tiles::GlobalPoint{sx, sy}));
        long long wrong0 = 0, wrong1 = 0, wrong2 = 0, outsideCut = 0, taken = 0;
        for (int row = 0; row < 2048; ++row)
            for (int col = 0; col < 2048; ++col) {
                const long long X = mx + col, Y = my + row;
                const std::uint16_t master = X < MP && Y < ML ? texture(X, Y) : 0;
                const ScenePoint s = position(static_cast<double>(X), static_cast<double>(Y));
                const long long nx = static_cast<long long>(std::floor(s.pixel + 0.5));
                const long long ny = static_cast<long long>(std::floor(s.line + 0.5));
                const bool inCut = nx >= sx && ny >= sy && nx < sx + 2096 && ny < sy + 2096;
                outsideCut += !inCut;
                const bool inScene = nx >= 0 && ny >= 0 && nx < SP && ny < SL;
                const std::uint16_t second = inCut && inScene ? texture(nx - DX, ny - DY) : 0;
                taken += second != 0;
                wrong0 += canvas.at(col, row, 0) != master;
                wrong1 += canvas.at(col, row, 1) != second;
                wrong2 += canvas.at(col, row, 2) != (c.thirdCopy ? second : 0);
            }
        EXPECT_EQ(wrong0, 0);
        EXPECT_EQ(wrong1, 0);
        EXPECT_EQ(wrong2, 0);
        EXPECT_GT(taken, 100000);
        if (std::string(c.what) == "steep field") {
            EXPECT_GT(outsideCut, 0) << "the field must leave the cut";
        }
        ASSERT_TRUE(r.ncc.has_value());
        EXPECT_GE(*r.ncc, c.minNcc);
        EXPECT_LE(*r.ncc, c.maxNcc);
    }
}

TEST_F(MultiTemporal, UnreadableMembersGiveZeroChannels) {
    MultiTemporalInput in;
    in.masterGrid = writeTiles(path("mtile"), 1500, 1500, [](int x, int y) { return texture(x, y); });
    in.secondGrid = in.masterGrid;
    in.masterTile = path("mtile");  // the second date is unreadable
    CompositeCanvas canvas;
    const MultiTemporalResult r = buildMultiTemporalCanvas({0, 0}, in, canvas, path("a.cut"));
    long long nonzero = 0;
    for (int y = 0; y < 2048; y += 7)
        for (int x = 0; x < 2048; x += 5) nonzero += canvas.at(x, y, 1) != 0;
    EXPECT_EQ(nonzero, 0);
    EXPECT_EQ(canvas.at(100, 200, 0), texture(100, 200));
    EXPECT_FALSE(r.ncc.has_value());
    EXPECT_EQ(registrationText(r), "registration check: the dates do not overlap on this canvas");
}

}  // namespace
}  // namespace tessarin::composites
