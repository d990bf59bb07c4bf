// Which frames an export writes and where they go.

#include <gtest/gtest.h>

#include "export/export_plan.h"

using namespace tessarin;
using namespace tessarin::geoexport;

namespace {

std::vector<int> kxOf(const std::vector<FrameIndex>& frames) {
    std::vector<int> v;
    for (const auto& f : frames) v.push_back(f.kx);
    return v;
}

}  // namespace

// Every tile column is covered, the last frame of an odd count overlaps its
// neighbour, and one tile row or column gives frame index 0.
TEST(ExportPlan, StripeFramesCoverEveryTileColumnAndRow) {
    struct Case {
        int nx, ny, block;
        std::vector<int> kx;
        int ky;
    };
    const Case cases[] = {
        {7, 7, 0, {0, 2, 4, 5}, 0}, {4, 7, 1, {0, 2}, 2}, {2, 7, 3, {0}, 5}, {1, 1, 0, {0}, 0},
        {3, 2, 0, {0, 1}, 0},       {7, 6, 2, {0, 2, 4, 5}, 4}, {5, 3, 1, {0, 2, 3}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "nx=" << c.nx << " ny=" << c.ny << " block " << c.block);
        const auto frames = stripeFrames(c.nx, c.ny, c.block);
        EXPECT_EQ(kxOf(frames), c.kx);
        for (const auto& f : frames) EXPECT_EQ(f.ky, c.ky);
        // Coverage: every tile column and both rows of the block lie in some frame.
        for (int t = 0; t < c.nx; ++t) {
            bool covered = false;
            for (const auto& f : frames) covered |= t == f.kx || t == f.kx + 1;
            EXPECT_TRUE(covered) << "tile column " << t;
        }
        EXPECT_LE(c.ky + (c.ny > 1 ? 1 : 0), c.ny - 1) << "the frame lies in the scene";
        const int top = 2 * c.block;
        if (top < c.ny) {
            EXPECT_TRUE(top == c.ky || top == c.ky + 1) << "the block's first row is in the frame";
        }
    }
    EXPECT_EQ(lastBlockId(7), 3);
    EXPECT_EQ(lastBlockId(6), 2);
    EXPECT_EQ(lastBlockId(1), 0);
}

TEST(ExportPlan, RangeBoundsAreEvenClampedAndOrdered) {
    const tiles::TileGrid grid = tiles::TileGrid::make(7000, 4500);  // 7 x 5 tiles
    ASSERT_EQ(grid.ntx, 7);
    EXPECT_EQ(maxFrameIndex(grid.ntx), 6) << "the last partial tile column is reachable";
    EXPECT_EQ(maxFrameIndex(grid.nty), 4);
    struct Case {
        long long kxs, kxe, kys, kye;
        bool accepted;
        TileRange want;
    };
    const Case cases[] = {
        {0, 3, 0, 0, true, {0, 2, 0, 0}},       {1, 1, 1, 1, true, {0, 0, 0, 0}},
        {-3, 99, -1, 7, true, {0, 6, 0, 4}},    {5, 6, 3, 4, true, {4, 6, 2, 4}},
        {4, 2, 0, 0, false, {}},                {0, 0, 3, 1, false, {}},
        {-9, -5, 0, 0, true, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        std::string why;
        const auto r = checkedRange(c.kxs, c.kxe, c.kys, c.kye, grid, &why);
        ASSERT_EQ(r.has_value(), c.accepted) << c.kxs << " " << c.kxe << " " << c.kys << " " << c.kye;
        if (!r) {
            EXPECT_NE(why.find("lies past"), std::string::npos) << why;
            continue;
        }
        EXPECT_EQ(r->kxs, c.want.kxs);
        EXPECT_EQ(r->kxe, c.want.kxe);
        EXPECT_EQ(r->kys, c.want.kys);
        EXPECT_EQ(r->kye, c.want.kye);
    }
    const auto frames = rangeFrames({0, 6, 2, 4});
    ASSERT_EQ(frames.size(), 8u);
    EXPECT_EQ(frames.front(), (FrameIndex{0, 2}));
    EXPECT_EQ(frames[4], (FrameIndex{0, 4}));
    EXPECT_EQ(frames.back(), (FrameIndex{6, 4}));
}

// Each scene of the work folder has a KML folder of its own.
TEST(ExportPlan, ScenesExportIntoFoldersOfTheirOwn) {
    tiles::TileSetNames a;
    a.folder = "/w";
    a.imageName = "IMG-HH-ALOS2011502960-140724-UBSR1.1__A";
    a.tile = "/w/IMG-HH-ALOS2011502960-140724-UBSR1.1__Atile.cpx";
    tiles::TileSetNames b = a;
    b.imageName = "IMG-HH-ALOS2012000000-140807-UBSR1.1__A";
    EXPECT_EQ(kmlFolder(a), "/w/KMLfolder/ALOS2011502960-140724-UBSR1.1__A");
    EXPECT_NE(kmlFolder(a), kmlFolder(b));
    tiles::TileSetNames raw;
    raw.folder = "/r";
    raw.tile = "/r/stack01tile.cpx";
    EXPECT_EQ(kmlFolder(raw), "/r/KMLfolder/stack01");
    EXPECT_EQ(frameName("AmpTile", {4, 2}), "AmpTilex4_y2");
}
