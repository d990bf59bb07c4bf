#include "display/view_controller.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "document/tessarin_doc.h"
#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/form.h"
#include "platform/arithmetic.h"
#include "platform/format.h"
#include "platform/ui.h"
#include "products/alos2.h"

namespace tessarin::display {

namespace {

constexpr double kGainDown = 0.9090909090909091;  // undoes the 1.1 of L
constexpr double kGainUp = 1.1;
constexpr double kGainDarker = 0.8;
constexpr double kGainFirstColumnDarker = 0.95;
constexpr double kGainFloor = 0.1;
constexpr double kGainFirstColumnFloor = 0.2;
constexpr double kGainCeiling = 4.0;
constexpr int kFirstSlotColumn = 1;
constexpr int kLastSlotColumn = 9;
constexpr int kGainRows = 3;
constexpr int kTileIdUnit = 1024;   // tile selection works in 1024-pixel tiles
constexpr int kTileIdInset = 10;    // ctrorigin lands just inside the chosen tile
constexpr int kCanvasValueBytes = 6;


void scaleColumns(DisplaySlots& slots, int firstColumn, int lastColumn, double factor, double floor,
                  double ceiling) {
    for (int row = 0; row < kGainRows; ++row)
        for (int column = firstColumn; column <= lastColumn; ++column) {
            double& g = slots.gain(row, column);
            g = std::clamp(g * factor, floor, ceiling);
        }
}

}  // namespace

double sigmaNaughtDb(std::uint16_t stored, double divisor, bool level11, double calib_dB) {
    // A complex canvas value is twice the amplitude code plus the top bit of
    // the phase code: the amplitude code alone is the value without that bit.
    const float a = static_cast<float>((level11 ? stored >> 1 : stored) / divisor);
    return a > 0.0f ? 20.0 * std::log10(static_cast<double>(a)) + calib_dB : kNoSignalDb;
}

Recentre recentreOn(tiles::GlobalPoint p, int tileWidth, int tileHeight) {
    const long long j = (p.x + tileWidth / 2) / tileWidth;
    const long long k = (p.y + tileHeight / 2) / tileHeight;
    Recentre r;
    r.origin = {tileWidth * std::max(j - 1, 0LL), tileHeight * std::max(k - 1, 0LL)};
    r.pan = {static_cast<int>(p.x - r.origin.x - kRecentreShownAt_px),
             static_cast<int>(p.y - r.origin.y - kRecentreShownAt_px)};
    return r;
}

std::optional<std::array<std::uint16_t, 3>> readCanvasValues(const std::string& canvasPath, long long x, long long y,
                                                             int canvasWidth, int canvasHeight, bool threeChannel) {
    // Negative points (a pan beyond the canvas) have no value either.
    if (x < 0 || y < 0 || x > canvasWidth - 1 || y > canvasHeight - 1) return std::nullopt;
    auto file = File::tryOpen(canvasPath, File::Mode::Read);
    if (!file) return std::nullopt;
    const long long channels = threeChannel ? 3 : 1;
    const auto offset = static_cast<std::uint64_t>((y * canvasWidth + x) * channels * 2);
    std::array<std::uint8_t, kCanvasValueBytes> bytes{};
    if (offset >= file->size()) return std::nullopt;
    file->seek(offset);
    file->readSome(bytes);
    std::array<std::uint16_t, 3> v{};
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = loadLE<std::uint16_t>(bytes, 2 * i);
    return v;
}

bool applyBrightnessKey(DisplaySlots& slots, int keyCode, bool shift) {
    switch (keyCode) {
        case 'K':
            if (shift) scaleColumns(slots, 0, 0, kGainDown, kGainFloor, kGainCeiling);
            else scaleColumns(slots, kFirstSlotColumn, kLastSlotColumn, kGainDown, kGainFloor, kGainCeiling);
            return true;
        case 'L':
            if (shift) scaleColumns(slots, 0, 0, kGainUp, 0.0, kGainCeiling);
            else scaleColumns(slots, kFirstSlotColumn, kLastSlotColumn, kGainUp, 0.0, kGainCeiling);
            return true;
        case 'H':
            if (shift) scaleColumns(slots, 0, 0, kGainFirstColumnDarker, kGainFirstColumnFloor, kGainCeiling);
            else scaleColumns(slots, 0, kLastSlotColumn, kGainDarker, kGainFloor, kGainCeiling);
            return true;
        default:
            return false;
    }
}

ViewController::ViewController(document::CTessarinDoc& doc, Ui& ui) : doc_(doc), ui_(ui) {}

int ViewController::tileWidth() const { return doc_.grid().tpix > 0 ? doc_.grid().tpix : tiles::kTileSize; }
int ViewController::tileHeight() const { return doc_.grid().tlin > 0 ? doc_.grid().tlin : tiles::kTileSize; }

bool ViewController::twoImagesShown() const {
    const auto& row = doc_.openModeRow();
    return row.secondImageShown ? row.secondImageShown(doc_) : row.twoImages;
}

namespace {
bool secondSetRendered(const DisplaySlots& slots) {
    return slots.slot(slot::kSecondOverview).hasBitmap && slots.slot(slot::kSecondMain).hasBitmap;
}
}  // namespace

std::vector<DrawOp> ViewController::paint(int clientWidth, int clientHeight) {
    PaintInput in = doc_.paintInput();
    // The second image is shown through the second display set for as long
    // as the document shows two images; when it stops (a composite replaced
    // the dates side by side) the view is back on the first.
    if (view_.imageId == 1 && (!twoImagesShown() || !secondSetRendered(doc_.displaySlots()))) view_.imageId = 0;
    if (view_.imageId == 1 && in.displayBase == 0) in.displayBase = slot::kSecondOverview;
    in.polygons = [this](std::vector<DrawOp>& ops) { drawPolygons(ops); };
    return paintView(in, view_, clientWidth, clientHeight, geometry_);
}

bool ViewController::addVertex(const Pick& p) {
    if (p.region != Region::Main && p.region != Region::Magnifier) return false;
    if (picks_.size() >= static_cast<std::size_t>(kMaxPicks)) {
        // The table holds no more: the pick is refused, not written past it.
        ui_.message("Vertex point number reaches limit. Save polygon");
        return false;
    }
    const auto clampInt = [](long long v) { return static_cast<std::int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX)); };
    picks_.push_back({clampInt(p.global.x), clampInt(p.global.y)});
    if (static_cast<int>(picks_.size()) - 1 > kVertexWarning) ui_.message("Vertex point number reaches limit. Save polygon");
    view_.digitising = true;
    view_.polygonDisplay = false;
    return true;
}

void ViewController::closePolygon() {
    if (picks_.empty()) ui_.message("This polygon was ignored.");
    view_.digitising = false;
    view_.polygonDisplay = true;
    const std::vector<PolygonVertex> picked = std::move(picks_);
    picks_.clear();
    polygons_.closePolygon(picked, [this](const std::string& text) { ui_.message(text); });
}

void ViewController::drawPolygons(std::vector<DrawOp>& ops) const {
    const auto& s = doc_.canvasState();
    const Point pan = view_.pan[static_cast<std::size_t>(view_.imageId)];
    const Point main{geometry_.main.left, geometry_.main.top};
    const Point magnifier{geometry_.magnifier.left, geometry_.magnifier.top};
    const auto inMain = [&](const PolygonVertex& v) {
        return Point{static_cast<int>(v.x - s.origin.x) - pan.x, static_cast<int>(v.y - s.origin.y) - pan.y};
    };
    const auto line = [&](Pen pen, Point a, Point b) {
        DrawOp op;
        op.kind = DrawOp::Kind::Line;
        op.pen = pen;
        op.from = a;
        op.to = b;
        ops.push_back(op);
    };
    const auto drawPath = [&](const std::vector<PolygonVertex>& vertices, Pen pen, bool alsoMagnified) {
        bool inSource = false;
        for (std::size_t k = 0; k + 1 < vertices.size(); ++k) {
            const Point a = inMain(vertices[k]), b = inMain(vertices[k + 1]);
            line(pen, {a.x + main.x, a.y + main.y}, {b.x + main.x, b.y + main.y});
        }
        for (const auto& v : vertices) {
            const Point a = inMain(v);
            inSource = inSource || (a.x >= 0 && a.x <= 127 && a.y >= 0 && a.y <= 127);
        }
        if (alsoMagnified && inSource)
            for (std::size_t k = 0; k + 1 < vertices.size(); ++k) {
                const Point a = inMain(vertices[k]), b = inMain(vertices[k + 1]);
                line(pen, {a.x * 2 + magnifier.x, a.y * 2 + magnifier.y}, {b.x * 2 + magnifier.x, b.y * 2 + magnifier.y});
            }
    };
    for (int p = 0; p < polygons_.polygonCount(); ++p) {
        const auto vertices = polygons_.polygon(p);
        drawPath(vertices, Pen::ThickYellow, true);
        if (polygonNumbers_ && !vertices.empty()) {
            DrawOp text;
            text.kind = DrawOp::Kind::Text;
            const Point a = inMain(vertices.front());
            text.at = {a.x + main.x, a.y + main.y - 10};
            text.text = format("%d", p);
            ops.push_back(text);
        }
    }
    if (view_.digitising) drawPath(picks_, Pen::ThinRed, false);
}

Pick ViewController::pick(Point w) const {
    Pick p;
    const Point pan = view_.pan[static_cast<std::size_t>(view_.imageId)];
    const tiles::GlobalPoint origin = doc_.canvasState().origin;
    if (geometry_.main.contains(w)) {
        p.region = Region::Main;
        p.canvas = {w.x + pan.x, w.y + pan.y};
    } else if (geometry_.magnifier.contains(w)) {
        p.region = Region::Magnifier;
        const int magnification = std::max(view_.zoom / 2, 1);
        p.canvas = {(w.x - geometry_.magnifier.left) / magnification + pan.x,
                    (w.y - geometry_.magnifier.top) / magnification + pan.y};
    } else if (geometry_.overview.contains(w)) {
        p.region = Region::Overview;
        const auto input = doc_.paintInput();
        p.global = {static_cast<long long>((w.x - geometry_.overview.left) * input.overviewScaleX),
                    static_cast<long long>((w.y - geometry_.overview.top) * input.overviewScaleY)};
        p.canvas = {p.global.x - origin.x, p.global.y - origin.y};
        return p;
    } else {
        return p;
    }
    p.global = {p.canvas.x + origin.x, p.canvas.y + origin.y};
    return p;
}

void ViewController::readout(Point window) {
    const Pick p = pick(window);
    if (p.region == Region::None) return;
    // The tile shown is that of the current point before this click.
    const tiles::GlobalPoint before = doc_.ctrorigin();
    const long long kx = before.x / tileWidth(), ky = before.y / tileHeight();
    if (p.region != Region::Overview) doc_.setCtrorigin(p.global);

    doc_.ensureCanvasFile();
    const bool three = doc_.threeChannelCanvas();
    const auto values = readCanvasValues(doc_.canvasPath(), p.canvas.x, p.canvas.y, doc_.canvas().width(),
                                         doc_.canvas().height(), three);
    if (values) {
        const bool level15 = doc_.levelCode() == document::kLevelCodeAmplitude;
        const double divisor = level15 ? 1.0 : doc_.equalizingval();
        pv1_ = sigmaNaughtDb((*values)[0], divisor, !level15, doc_.calib());
        pv2_ = sigmaNaughtDb((*values)[1], divisor, !level15, doc_.calib());
    }
    const GeoPoint g = products::latLonOfPixelLine(
        doc_.reader(0).params(), {static_cast<double>(p.global.x), static_cast<double>(p.global.y)});
    if (geoFormat_ == GeoTextFormat::Decimal) {
        lastReadout_ = format(
            "Tile ID kx,ky=(%d, %d), pix,lin=(%d, %d),lat,lon=%.6f, %.6f, sigma0:pv1=%.2f, pv2=%.2f(dB)",
            static_cast<int>(kx), static_cast<int>(ky), static_cast<int>(p.global.x), static_cast<int>(p.global.y),
            g.lat_deg, g.lon_deg, pv1_, pv2_);
    } else {
        lastReadout_ = format("Tile ID kx,ky=(%d, %d), pix,lin=(%d, %d)", static_cast<int>(kx), static_cast<int>(ky),
                              static_cast<int>(p.global.x), static_cast<int>(p.global.y)) +
                       latLonReadoutDmsText(g.lat_deg, g.lon_deg) +
                       format("sigma0:pv1=%.1f,pv2=%.1f(dB)", pv1_, pv2_);
    }
    ui_.status(lastReadout_);
}

std::string ViewController::hoverText(Point window) const {
    if (!doc_.hasData()) return {};
    const Pick p = pick(window);
    if (p.region != Region::Main && p.region != Region::Magnifier) return {};
    const bool three = doc_.threeChannelCanvas();
    const auto values = readCanvasValues(doc_.canvasPath(), p.canvas.x, p.canvas.y, doc_.canvas().width(),
                                         doc_.canvas().height(), three);
    const GeoPoint g = products::latLonOfPixelLine(
        doc_.reader(0).params(), {static_cast<double>(p.global.x), static_cast<double>(p.global.y)});
    std::string text = format("tile %lld,%lld  pix,lin %lld,%lld  ", floorDiv(p.global.x, static_cast<long long>(tileWidth())),
                              floorDiv(p.global.y, static_cast<long long>(tileHeight())), p.global.x, p.global.y);
    text += geoFormat_ == GeoTextFormat::Decimal ? format("lat,lon %.6f, %.6f", g.lat_deg, g.lon_deg)
                                                 : latLonReadoutDmsText(g.lat_deg, g.lon_deg);
    if (!values) return text + "  (outside the canvas)";
    const bool level15 = doc_.levelCode() == document::kLevelCodeAmplitude;
    const double divisor = level15 ? 1.0 : doc_.equalizingval();
    const auto& labels = doc_.tileSet().channelLabels;
    const std::size_t shown = three ? std::clamp<std::size_t>(labels.size(), 1, 3) : 1;
    for (std::size_t c = 0; c < shown; ++c) {
        const std::string label = c < labels.size() && !labels[c].empty() ? labels[c] : format("ch%zu", c);
        text += format("  %s %.2f dB", label.c_str(), sigmaNaughtDb((*values)[c], divisor, !level15, doc_.calib()));
    }
    return text;
}

std::string ViewController::gainText() const {
    return format("gain %.3f", doc_.displaySlots().gain(0, slot::kMain));
}

void ViewController::setMark(Point window) {
    view_.mark = window;
    view_.markShown = true;
    const auto& s = doc_.canvasState();
    for (std::size_t i = 0; i < 2; ++i) {
        markImage_[i] = {window.x + view_.pan[i].x, window.y + view_.pan[i].y};
        markGlobal_[i] = {markImage_[i].x + static_cast<long long>(tileWidth()) * s.kx0,
                          markImage_[i].y + static_cast<long long>(tileHeight()) * s.ky0};
    }
}

void ViewController::reloadCanvasAt(tiles::GlobalPoint p) {
    doc_.setCtrorigin(p);
    doc_.assembleCanvas();
    doc_.renderCanvasDisplays();
}

void ViewController::recentreFromOverview(Point window) {
    const Pick p = pick(window);
    const Recentre r = recentreOn(p.global, tileWidth(), tileHeight());
    reloadCanvasAt(r.origin);
    // Offsets from the origin the merger actually chose, so the point is
    // shown at (300, 300) even if a merger places the block differently.
    const tiles::GlobalPoint origin = doc_.canvasState().origin;
    const Point pan{static_cast<int>(p.global.x - origin.x - kRecentreShownAt_px),
                    static_cast<int>(p.global.y - origin.y - kRecentreShownAt_px)};
    view_.pan = {pan, pan};
    ui_.status(format("In rect x,y %d,%d", window.x, window.y));
}

bool ViewController::leftButtonDown(Point window, Modifiers mods) {
    if (!doc_.hasData()) return false;
    const Pick p = pick(window);
    if (mods.ctrl) {
        if (p.region != Region::Overview) return false;
        recentreFromOverview(window);
        return true;
    }
    if (mods.heldC) {
        if (p.region != Region::Main) return false;
        setMark(window);
        return true;
    }
    if (mods.heldT) return addVertex(p);
    readout(window);
    dragging_ = true;
    dragLast_ = window;
    dragMoves_ = 0;
    return false;
}

bool ViewController::leftButtonUp(Point) {
    const bool was = dragging_;
    dragging_ = false;
    return was;
}

bool ViewController::pointerMove(Point w, Modifiers mods) {
    if (!dragging_) return false;
    const Rect& pane = geometry_.main;
    if (w.x < kDragBorder_px || w.x > pane.width() - kDragBorder_px || w.y < kDragBorder_px ||
        w.y > pane.height() - kDragBorder_px) {
        dragging_ = false;
        return true;
    }
    const Point delta{dragLast_.x - w.x, dragLast_.y - w.y};
    dragLast_ = w;
    auto add = [&](std::size_t id) {
        view_.pan[id].x += delta.x;
        view_.pan[id].y += delta.y;
    };
    if (doc_.openModeRow().twoImages) {
        if (mods.shift) {
            add(0);
            add(1);
        } else {
            ui_.status("shift key not pressed");
        }
    } else {
        add(static_cast<std::size_t>(view_.imageId));
    }
    ++dragMoves_;
    return dragMoves_ % kDragRedrawEvery == 0;
}

bool ViewController::edgeRecentre() {
    const Rect& f = geometry_.footprint;
    const Rect& c = geometry_.canvasExtent;
    const auto& s = doc_.canvasState();
    int column = s.kx0, row = s.ky0;
    bool moved = false;
    if (f.left < c.left && s.kx0 > 0) {
        for (auto& pan : view_.pan) pan.x += tileWidth();
        column = s.kx0 - 1;
        moved = true;
    }
    if (f.top < c.top && s.ky0 > 0) {
        for (auto& pan : view_.pan) pan.y += tileHeight();
        row = s.ky0 - 1;
        moved = true;
    }
    if (f.right > c.right && s.kx0 + 1 < doc_.grid().ntx - 1) {
        for (auto& pan : view_.pan) pan.x -= tileWidth();
        column = s.kx0 + 1;
        moved = true;
    }
    if (f.bottom > c.bottom && s.ky0 + 1 < doc_.grid().nty - 1) {
        for (auto& pan : view_.pan) pan.y -= tileHeight();
        row = s.ky0 + 1;
        moved = true;
    }
    if (moved)
        reloadCanvasAt({static_cast<long long>(column) * tileWidth(), static_cast<long long>(row) * tileHeight()});
    return moved;
}

void ViewController::rerenderBrightness() {
    if (!fileExists(doc_.canvasPath())) doc_.assembleCanvas();
    else doc_.ensureCanvasFile();
    auto& slots = doc_.displaySlots();
    const RasterFile overview = doc_.overviewFile();
    if (fileExists(overview.path)) slots.RenderDisplaySlot(slot::kOverview, overview, doc_.workFolder(), ui_);
    const RasterFile canvas = doc_.canvasFile();
    for (int s : {slot::kMain, slot::kMagnifier}) slots.RenderDisplaySlot(s, canvas, doc_.workFolder(), ui_);
}

bool ViewController::inclinationKey(int keyCode) {
    if (keyCode >= '0' && keyCode <= '9') {
        inclination_.stepDigit = keyCode - '0';
        return true;
    }
    int& value = inclination_.horizontal ? inclination_.horizontalInclination : inclination_.verticalInclination;
    int delta = 0;
    switch (keyCode) {
        case key::kRight:
        case key::kUp: delta = inclination_.step(); break;
        case key::kLeft:
        case key::kDown: delta = -inclination_.step(); break;
        case 'H': inclination_.horizontal = true; return true;
        case 'V': inclination_.horizontal = false; return true;
        default: return false;
    }
    value += delta;
    // The mode's ramp follows the keys; a step is one phase code (1/256
    // cycle) across the working area.
    const double cycles = static_cast<double>(delta) / kInclinationCodesPerCycle;
    if (const auto apply = doc_.openModeRow().stepInclination)
        apply(doc_, inclination_.horizontal ? cycles : 0.0, inclination_.horizontal ? 0.0 : cycles);
    else
        ui_.status(format("Inclination H=%d, V=%d (1/256 cycle): this data has no phase ramp to change",
                          inclination_.horizontalInclination, inclination_.verticalInclination));
    return true;
}

void ViewController::switchImage() {
    if (!doc_.hasData()) return;
    if (view_.imageId == 0 && !secondSetRendered(doc_.displaySlots())) {
        ui_.status("The second image has no display yet: it is shown once its canvas has been built");
        return;
    }
    view_.imageId = view_.imageId == 1 ? 0 : 1;
    const Point pan = view_.pan[static_cast<std::size_t>(view_.imageId)];
    const tiles::GlobalPoint origin = doc_.canvasState().origin;
    ui_.status(format("Displat tile id=%d, global address=%lld,%lld,local point x,y=%d,%d", view_.imageId,
                      origin.x + pan.x, origin.y + pan.y, pan.x, pan.y));
}

bool ViewController::keyDown(int keyCode, Modifiers mods) {
    if (inclination_.active && inclinationKey(keyCode)) {
        doc_.displaySlots().housekeeping();
        return true;
    }
    auto& pan = view_.pan[static_cast<std::size_t>(view_.imageId)];
    const int step = mods.shift ? kPanStepShift : kPanStepSmall;
    const bool data = doc_.hasData();
    switch (keyCode) {
        case key::kLeft: pan.x += step; break;
        case key::kRight: pan.x -= step; break;
        case key::kUp: pan.y += step; break;
        case key::kDown: pan.y -= step; break;
        // The pair displays behind A, D and F are built elsewhere; the
        // display-mode number is kept for them.
        case 'A': displayMode_ = 0; break;
        case 'D': displayMode_ = 2; break;
        case 'F': displayMode_ = 1; break;
        case 'C':
            if (mods.shift) view_.markShown = false;
            break;
        case 'E': view_.zoom = kZoomNear; break;
        case 'S': view_.zoom = kZoomFar; break;
        case 'H':
        case 'K':
        case 'L':
            applyBrightnessKey(doc_.displaySlots(), keyCode, mods.shift);
            if (data) rerenderBrightness();
            break;
        case 'O':
            if (view_.markShown) view_.mark.x += mods.shift ? -1 : 1;
            break;
        case 'P':
            if (view_.markShown) view_.mark.y += mods.shift ? -1 : 1;
            break;
        case 'Q': view_.alternativeMain = true; break;
        case 'R':
            if (!data) break;
            if (mods.shift) reloadCanvasAt(doc_.ctrorigin());
            else edgeRecentre();
            break;
        case 'V':
            if (twoImagesShown()) switchImage();
            else view_.histogramShown = false;
            break;
        case 'Y': closePolygon(); break;
        case 'Z': view_.markShown = false; break;
        default: break;
    }
    doc_.displaySlots().housekeeping();
    return true;
}

bool ViewController::positionDialog() {
    Form form("Image Parameter");
    form.addInt("pixel", "pixel", doc_.ctrorigin().x).addInt("line", "line", doc_.ctrorigin().y);
    if (!ui_.form(form)) return false;
    // The magnifier is rendered with the main pane, so it never shows the
    // canvas that was there before.
    reloadCanvasAt({form.intValue("pixel"), form.intValue("line")});
    return true;
}

bool ViewController::selectTileById() {
    const int across = doc_.grid().ntx, down = doc_.grid().nty;
    Form form("Put Tile ID to Open");
    form.addText("limits", format("Tile number Xmax and Ymax=%d, %d", across, down), "");
    form.addInt("kx", "KX", lastTileX_).addInt("ky", "KY", lastTileY_);
    if (!ui_.form(form)) return false;
    const long long kx = form.intValue("kx"), ky = form.intValue("ky");
    lastTileX_ = static_cast<int>(std::clamp<long long>(kx, INT32_MIN, INT32_MAX));
    lastTileY_ = static_cast<int>(std::clamp<long long>(ky, INT32_MIN, INT32_MAX));
    if (kx < 0 || kx > across - 1 || ky < 0 || ky > down - 1) {
        ui_.message(format("Tile number %d, %d  exceed limit of=%d, %d", lastTileX_, lastTileY_, across, down));
        return false;
    }
    reloadCanvasAt({kx * kTileIdUnit + kTileIdInset, ky * kTileIdUnit + kTileIdInset});
    return true;
}

}  // namespace tessarin::display
