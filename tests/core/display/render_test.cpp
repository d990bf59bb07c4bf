#include <gtest/gtest.h>

#include <cmath>

#include "display/raw_dib.h"
#include "display/view_paint.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/ui.h"
#include "support/temp_dir.h"

using namespace tessarin;
using namespace tessarin::display;

namespace {

using Render = tessarin::testing::TempDirTest;

std::vector<std::uint8_t> le16(const std::vector<std::uint16_t>& v) {
    std::vector<std::uint8_t> out;
    for (auto x : v) {
        out.push_back(static_cast<std::uint8_t>(x & 0xFF));
        out.push_back(static_cast<std::uint8_t>(x >> 8));
    }
    return out;
}

// Pixel (x, y), y from the top, channel byte b of a bitmap.
int px(const display::BottomUpBitmap& b, int x, int y, int byte = 0) { return b.topRow(y)[x * b.bytesPerPixel + byte]; }

}  // namespace

TEST_F(Render, OverviewStrideGreyPaletteAndHeader) {
    std::vector<std::uint8_t> ql(250 * 3);
    for (std::size_t k = 0; k < ql.size(); ++k) ql[k] = static_cast<std::uint8_t>(k % 7 + 1);
    writeWholeFile(path("q.idx"), ql);
    ScriptedUi ui;
    DisplaySlots slots;
    ASSERT_TRUE(slots.RenderDisplaySlot(0, {path("q.idx"), 250, 3, 1, 1}, dir(), ui));
    const display::BottomUpBitmap& b = slots.slot(0).dib.bitmap;
    EXPECT_EQ(b.stride, 252);
    ASSERT_EQ(b.palette.size(), 256u);
    EXPECT_EQ(b.palette[200], (std::array<std::uint8_t, 4>{200, 200, 200, 0}));
    const auto h = b.infoHeader();
    ASSERT_EQ(h.size(), 40u);
    EXPECT_EQ(h[14], 8);               // bits per pixel
    EXPECT_EQ(h[8] | (h[9] << 8), 3);  // positive height: bottom-up
    EXPECT_EQ(h[24] | (h[25] << 8), 2834);
    // Every line sampled for the overview: three statistics texts.
    EXPECT_EQ(ui.statuses, (std::vector<std::string>{"Statistics calc, line=0", "Statistics calc, line=1",
                                                     "Statistics calc, line=2"}));
    // The display file holds the rows bottom-up; the last source line comes first.
    const auto file = readWholeFile(path("q.idx.b"));
    ASSERT_EQ(file.size(), 252u * 3);
    EXPECT_EQ(file[0], b.topRow(2)[0]);
}

TEST_F(Render, MappingAtTheMeanAndBeyondAndZeroChannels) {
    // Half the samples 100, half 300: mean 200 -> 100 maps to 32, 200 to 64,
    // 800 (four times the mean) to 255, 0 stays 0.
    const int w = 64, h = 64;
    std::vector<std::uint16_t> v(w * h, 100);
    for (int k = 0; k < w * h; k += 2) v[k] = 300;
    v[1] = 0;  // a zero sample is not counted in the mean
    writeWholeFile(path("c.cut"), le16(v));
    ScriptedUi ui;
    DisplaySlots slots;
    ASSERT_TRUE(slots.RenderDisplaySlot(1, {path("c.cut"), w, h, 1, 2}, dir(), ui));
    const CRAWDib& dib = slots.slot(1).dib;
    // Step 32 samples pixels 0 and 32 of lines 0 and 32: all even -> 300.
    EXPECT_DOUBLE_EQ(dib.stats.mean[0], 300.0);
    EXPECT_EQ(dib.map(300, 0), 64);
    EXPECT_EQ(dib.map(1200, 0), 255);
    EXPECT_EQ(dib.map(1199, 0), 255);
    EXPECT_EQ(dib.map(150, 0), 32);
    EXPECT_EQ(px(dib.bitmap, 0, 0), 64);
    EXPECT_EQ(px(dib.bitmap, 1, 0), 0);
    EXPECT_EQ(px(dib.bitmap, 3, 0), static_cast<int>(std::trunc(100.0 / 300.0 * 64)));
    EXPECT_TRUE(fileExists(path("c.cut.b.2b")));
    EXPECT_EQ(readWholeFile(path("c.cut.b.2b")), le16(v));

    std::vector<std::uint16_t> zeros(w * h, 0);
    writeWholeFile(path("z.cut"), le16(zeros));
    ASSERT_TRUE(slots.RenderDisplaySlot(3, {path("z.cut"), w, h, 1, 2}, dir(), ui));
    EXPECT_EQ(slots.slot(3).dib.stats.mean[0], 0.0);
    const auto& zb = slots.slot(3).dib.bitmap;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ASSERT_EQ(px(zb, x, y), 0);
}

TEST_F(Render, SecondRenderOfASlotKeepsTheFirstReference) {
    const int w = 64, h = 64;
    writeWholeFile(path("a.cut"), le16(std::vector<std::uint16_t>(w * h, 100)));
    writeWholeFile(path("b.cut"), le16(std::vector<std::uint16_t>(w * h, 400)));
    ScriptedUi ui;
    DisplaySlots slots;
    slots.RenderDisplaySlot(1, {path("a.cut"), w, h, 1, 2}, dir(), ui);
    slots.RenderDisplaySlot(1, {path("b.cut"), w, h, 1, 2}, dir(), ui);
    EXPECT_DOUBLE_EQ(slots.slot(1).dib.stats.mean[0], 100.0) << "panning keeps the brightness";
    EXPECT_EQ(px(slots.slot(1).dib.bitmap, 5, 5), 255);
    // Another slot has its own reference; a reset takes the new one.
    slots.RenderDisplaySlot(2, {path("b.cut"), w, h, 1, 2}, dir(), ui);
    EXPECT_EQ(px(slots.slot(2).dib.bitmap, 5, 5), 64);
    slots.resetBrightnessReference(1);
    slots.RenderDisplaySlot(1, {path("b.cut"), w, h, 1, 2}, dir(), ui);
    EXPECT_EQ(px(slots.slot(1).dib.bitmap, 5, 5), 64);
    // An empty first render (a canvas beyond the scene) fixes no reference.
    writeWholeFile(path("empty.cut"), le16(std::vector<std::uint16_t>(w * h, 0)));
    slots.RenderDisplaySlot(4, {path("empty.cut"), w, h, 1, 2}, dir(), ui);
    slots.RenderDisplaySlot(4, {path("b.cut"), w, h, 1, 2}, dir(), ui);
    EXPECT_EQ(px(slots.slot(4).dib.bitmap, 5, 5), 64);
    // The gain table: row 0, column slot + channel.
    slots.gain(0, 1) = 2.0;
    slots.RenderDisplaySlot(1, {path("b.cut"), w, h, 1, 2}, dir(), ui);
    EXPECT_EQ(px(slots.slot(1).dib.bitmap, 5, 5), 128);
}

TEST_F(Render, TwoAndThreeChannelSources) {
    const int w = 4, h = 2;
    // Two channels of 1-byte samples: (10, 20) everywhere.
    std::vector<std::uint8_t> two;
    for (int k = 0; k < w * h; ++k) {
        two.push_back(10);
        two.push_back(20);
    }
    writeWholeFile(path("two.raw"), two);
    ScriptedUi ui;
    DisplaySlots slots;
    slots.RenderDisplaySlot(3, {path("two.raw"), w, h, 2, 1}, dir(), ui);
    const display::BottomUpBitmap& b = slots.slot(3).dib.bitmap;
    EXPECT_EQ(b.bytesPerPixel, 3);
    EXPECT_EQ(b.stride, 12);
    EXPECT_TRUE(b.palette.empty());
    EXPECT_EQ(px(b, 0, 0, 0), 0) << "blue";
    EXPECT_EQ(px(b, 0, 0, 1), 64) << "green: channel 1 at its mean";
    EXPECT_EQ(px(b, 0, 0, 2), 64) << "red: channel 0 at its mean";
    slots.slot(4).dib.copyGreenIntoBlue = true;
    slots.RenderDisplaySlot(4, {path("two.raw"), w, h, 2, 1}, dir(), ui);
    EXPECT_EQ(px(slots.slot(4).dib.bitmap, 1, 1, 0), 64) << "blue copies green";

    // Three channels: channel 2 is mapped with channel 1's mean.
    std::vector<std::uint16_t> three;
    for (int k = 0; k < w * h; ++k) {
        three.push_back(100);
        three.push_back(200);
        three.push_back(400);
    }
    writeWholeFile(path("three.cut"), le16(three));
    slots.RenderDisplaySlot(5, {path("three.cut"), w, h, 3, 2}, dir(), ui);
    const CRAWDib& d = slots.slot(5).dib;
    EXPECT_DOUBLE_EQ(d.stats.mean[2], 200.0);
    EXPECT_EQ(px(d.bitmap, 2, 1, 0), 128) << "blue: 400 over channel 1's mean 200";
    EXPECT_EQ(px(d.bitmap, 2, 1, 2), 64);
}

TEST_F(Render, RawRenderAndMissingFilesAndHousekeeping) {
    std::vector<std::uint8_t> fringe(16 * 4);
    for (std::size_t k = 0; k < fringe.size(); ++k) fringe[k] = static_cast<std::uint8_t>(k * 3);
    writeWholeFile(path("frg.img"), fringe);
    ScriptedUi ui;
    DisplaySlots slots;
    slots.RenderDisplaySlotRaw(5, {path("frg.img"), 16, 4, 1, 1}, dir(), ui);
    EXPECT_EQ(px(slots.slot(5).dib.bitmap, 7, 1), (16 + 7) * 3) << "shown as stored";
    EXPECT_TRUE(ui.statuses.empty());

    EXPECT_FALSE(slots.RenderDisplaySlot(6, {path("missing.cut"), 16, 4, 1, 2}, dir(), ui));
    EXPECT_EQ(ui.messages, std::vector<std::string>{"OnOpenDocument: Cannot open file"});
    EXPECT_FALSE(slots.slot(6).hasBitmap);

    // 26 rasters of 2 bytes give 52 display file names; the next
    // housekeeping deletes the oldest 40.
    for (int k = 0; k < 26; ++k) {
        const std::string name = path(format("r%d", k));
        writeWholeFile(name, le16(std::vector<std::uint16_t>(8, 5)));
        slots.RenderDisplaySlot(7, {name, 4, 2, 1, 2}, dir(), ui);
    }
    ASSERT_EQ(slots.displayFiles().size(), 52u + 1);  // plus the raw render's file
    const std::string oldest = slots.displayFiles()[0];
    const std::string kept = slots.displayFiles()[40];
    slots.housekeeping();
    EXPECT_EQ(slots.displayFiles().size(), 13u);
    EXPECT_FALSE(fileExists(oldest));
    EXPECT_TRUE(fileExists(kept));
    slots.housekeeping();
    EXPECT_EQ(slots.displayFiles().size(), 13u) << "nothing to do below 50";
}

TEST(ViewPaint, PanesMagnifierAndOverlays) {
    PaintInput in;
    in.hasData = true;
    in.slotSizes[0] = {256, 256};
    in.slotSizes[1] = {2048, 2048};
    in.slotSizes[2] = {2048, 2048};
    in.canvasOriginX = 4096;
    in.canvasOriginY = 1024;
    in.overviewScaleX = 39;
    in.overviewScaleY = 117;
    ViewState view;
    view.pan[0] = {100, 50};
    view.markShown = true;
    view.mark = {300, 400};
    PaneGeometry g;
    auto ops = paintView(in, view, 1600, 1100, g);
    ASSERT_GE(ops.size(), 3u);
    EXPECT_EQ(g.overview, (Rect{1344, 0, 1600, 256}));
    EXPECT_EQ(g.main, (Rect{0, 0, 1339, 1100}));
    EXPECT_EQ(ops[1].slot, 1);
    EXPECT_EQ(ops[1].source, (Rect{100, 50, 1439, 1150}));
    EXPECT_EQ(g.magnifier, (Rect{1344, 261, 1600, 517}));
    EXPECT_EQ(ops[2].kind, DrawOp::Kind::StretchSlot);
    EXPECT_EQ(ops[2].source, (Rect{100, 50, 228, 178})) << "zoom 4: half the overview's size, doubled";
    EXPECT_EQ(g.footprint.left, 1344 + (4096 + 100) / 39);
    EXPECT_EQ(g.canvasExtent.bottom, (1024 + 2048) / 117);
    EXPECT_EQ(ops[3].pen, Pen::ThinYellowSecond) << "the mark comes first among the overlays";
    view.zoom = 8;
    paintView(in, view, 1600, 1100, g);
    EXPECT_EQ(g.magnifierSourceSize, (Point{64, 64})) << "zoom 8: a quarter, enlarged four times";

    in.showsImageName = true;
    in.currentImageName = "IMG-HH-ALOS2011502960-140724-UBSR1.1__Atile.cpx";
    view.imageId = 1;
    ops = paintView(in, view, 1600, 1100, g);
    std::vector<std::string> texts;
    for (const auto& op : ops)
        if (op.kind == DrawOp::Kind::Text) texts.push_back(op.text);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], "ID=1, IMG-HH-ALOS201");
    EXPECT_EQ(texts[0].size(), 20u);

    PaintInput none;
    EXPECT_TRUE(paintView(none, view, 1600, 1100, g).empty()) << "no data, nothing painted";
}
