#include "display/view_paint.h"

#include <cmath>

namespace tessarin::display {

namespace {

constexpr int kPaneGap = 5;
constexpr int kCrossHalf = 20;
constexpr int kSingleRasterBase = 3;
constexpr int kAlternativeSlot = 5;
constexpr std::size_t kNamePiece = 20;
constexpr int kNameTop = 530;
constexpr int kNameStep = 15;

void line(std::vector<DrawOp>& ops, Pen pen, Point a, Point b) {
    DrawOp op;
    op.kind = DrawOp::Kind::Line;
    op.pen = pen;
    op.from = a;
    op.to = b;
    ops.push_back(op);
}

void rectangle(std::vector<DrawOp>& ops, Pen pen, const Rect& r) {
    line(ops, pen, {r.left, r.top}, {r.right, r.top});
    line(ops, pen, {r.right, r.top}, {r.right, r.bottom});
    line(ops, pen, {r.right, r.bottom}, {r.left, r.bottom});
    line(ops, pen, {r.left, r.bottom}, {r.left, r.top});
}

int scaled(double v, double scale) { return static_cast<int>(std::floor(v / scale)); }

}  // namespace

PenStyle penStyle(Pen pen) {
    switch (pen) {
        case Pen::ThinYellow: return {1, 255, 255, 0};
        case Pen::ThickRed: return {3, 255, 0, 0};
        case Pen::ThickGreen: return {3, 0, 255, 0};
        case Pen::ThickYellow: return {3, 255, 255, 0};
        case Pen::ThinRed: return {1, 255, 0, 0};
        case Pen::ThinYellowSecond: return {1, 255, 255, 0};
    }
    return {1, 255, 255, 0};
}

std::vector<DrawOp> paintView(const PaintInput& in, const ViewState& view, int Wc, int Hc, PaneGeometry& g) {
    std::vector<DrawOp> ops;
    if (!in.hasData) return ops;
    g.client = {0, 0, Wc, Hc};
    const int b = in.displayBase;

    if (b == kSingleRasterBase) {
        const Point size = in.slotSizes[kSingleRasterBase];
        DrawOp op;
        op.kind = DrawOp::Kind::CopySlot;
        op.slot = kSingleRasterBase;
        op.source = {0, 0, size.x, size.y};
        op.target = {0, 0, size.x, size.y};
        ops.push_back(op);
        return ops;
    }

    // Overview pane: 1:1 at the top right.
    const Point ov = in.slotSizes[static_cast<std::size_t>(b)];
    const int w0 = ov.x;
    const int h0 = ov.y;
    g.overview = {Wc - w0, 0, Wc, h0};
    {
        DrawOp op;
        op.kind = DrawOp::Kind::CopySlot;
        op.slot = b;
        op.source = {0, 0, w0, h0};
        op.target = g.overview;
        ops.push_back(op);
    }

    // Main pane: 1:1 from the pan offset of the current image.
    const int Wm = Wc - w0 - kPaneGap;
    const int Hm = Hc;
    const Point pan = view.pan[static_cast<std::size_t>(view.imageId == 1 ? 1 : 0)];
    const bool useAlternative = view.alternativeMain && in.alternativeRaster && view.imageId == 0;
    {
        DrawOp op;
        op.kind = DrawOp::Kind::CopySlot;
        op.slot = useAlternative ? kAlternativeSlot : b + 1;
        op.source = {pan.x, pan.y, pan.x + Wm, pan.y + Hm};
        op.target = {0, 0, Wm, Hm};
        ops.push_back(op);
    }
    g.main = {0, 0, Wm, Hm};
    g.lowerRightSource = {pan.x + Wm, pan.y + Hm};

    // Magnifier: a (2 w0 / zoom) x (2 h0 / zoom) source at the same offset,
    // stretched into a w0 x h0 pane below the overview.
    const int zoom = view.zoom > 0 ? view.zoom : 4;
    g.magnifierSourceSize = {2 * w0 / zoom, 2 * h0 / zoom};
    g.magnifier = {Wc - w0, h0 + kPaneGap, Wc, 2 * h0 + kPaneGap};
    {
        DrawOp op;
        op.kind = DrawOp::Kind::StretchSlot;
        op.slot = b + 2;
        op.source = {pan.x, pan.y, pan.x + g.magnifierSourceSize.x, pan.y + g.magnifierSourceSize.y};
        op.target = g.magnifier;
        ops.push_back(op);
    }

    // Overlays, in order.
    if (view.markShown) {
        line(ops, Pen::ThinYellowSecond, {view.mark.x, view.mark.y - kCrossHalf}, {view.mark.x, view.mark.y + kCrossHalf});
        line(ops, Pen::ThinYellowSecond, {view.mark.x - kCrossHalf, view.mark.y}, {view.mark.x + kCrossHalf, view.mark.y});
    }
    const double sx = in.overviewScaleX > 0 ? in.overviewScaleX : 1.0;
    const double sy = in.overviewScaleY > 0 ? in.overviewScaleY : 1.0;
    const double fx0 = static_cast<double>(in.canvasOriginX + pan.x);
    const double fy0 = static_cast<double>(in.canvasOriginY + pan.y);
    g.footprint = {g.overview.left + scaled(fx0, sx), scaled(fy0, sy), g.overview.left + scaled(fx0 + Wm, sx),
                   scaled(fy0 + Hm, sy)};
    rectangle(ops, Pen::ThinYellow, g.footprint);
    const double cx0 = static_cast<double>(in.canvasOriginX);
    const double cy0 = static_cast<double>(in.canvasOriginY);
    g.canvasExtent = {g.overview.left + scaled(cx0, sx), scaled(cy0, sy),
                      g.overview.left + scaled(cx0 + in.canvasWidth, sx), scaled(cy0 + in.canvasHeight, sy)};
    rectangle(ops, Pen::ThinRed, g.canvasExtent);
    rectangle(ops, Pen::ThinYellow, {0, 0, g.magnifierSourceSize.x, g.magnifierSourceSize.y});
    if ((view.polygonDisplay || view.digitising) && in.polygons) in.polygons(ops);
    if (in.showsImageName) {
        const std::string text = "ID=" + std::to_string(view.imageId) + ", " + in.currentImageName;
        for (std::size_t i = 0; i * kNamePiece < text.size(); ++i) {
            DrawOp op;
            op.kind = DrawOp::Kind::Text;
            op.at = {g.overview.left, kNameTop + kNameStep * static_cast<int>(i)};
            op.text = text.substr(i * kNamePiece, kNamePiece);
            ops.push_back(op);
        }
    }

    if (view.histogramShown && in.histogram) {
        const auto& h = *in.histogram;
        line(ops, Pen::ThinYellowSecond, {50, 50}, {50, 306});
        line(ops, Pen::ThinYellowSecond, {50, 306}, {562, 306});
        const Pen pens[3] = {Pen::ThickGreen, Pen::ThickYellow, Pen::ThickRed};
        for (std::size_t c = 0; c < 3; ++c) {
            for (int k = 1; k < 256; ++k)
                line(ops, pens[c], {50 + 2 * (k - 1), 306 - h.curves[c][static_cast<std::size_t>(k - 1)]},
                     {50 + 2 * k, 306 - h.curves[c][static_cast<std::size_t>(k)]});
            const int mx = 50 + 2 * h.markers[c];
            line(ops, pens[c], {mx, 50 - 10}, {mx, 50 + 10});
        }
    }

    if (view.inclinationShown && in.inclination) {
        const auto& inc = *in.inclination;
        const Pen pens[2] = {Pen::ThickGreen, Pen::ThickYellow};
        const int tops[2] = {20, 320};
        for (std::size_t c = 0; c < 2; ++c) {
            const Rect box{150, tops[c], 150 + 256, tops[c] + 256};
            rectangle(ops, Pen::ThinYellowSecond, box);
            for (int i = 1; i < 256; ++i) {
                const int a = inc.curves[c][static_cast<std::size_t>(i - 1)];
                const int v = inc.curves[c][static_cast<std::size_t>(i)];
                if (std::abs(v - a) >= 100) continue;  // a new segment starts
                line(ops, pens[c], {150 + i - 1, box.bottom - a}, {150 + i, box.bottom - v});
            }
        }
    }
    return ops;
}

}  // namespace tessarin::display
