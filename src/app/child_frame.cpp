#include "child_frame.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <optional>

#include "display/raw_dib.h"
#include "document/tessarin_doc.h"
#include "platform/error_boundary.h"
#include "platform/ui.h"

namespace tessarin::app {

QImage wrapBitmap(const display::BottomUpBitmap& b) {
    if (b.empty()) return {};
    if (b.bytesPerPixel == 1) {
        QImage img(b.rows.data(), b.width, b.height, b.stride, QImage::Format_Indexed8);
        QList<QRgb> colours;
        colours.reserve(static_cast<qsizetype>(b.palette.size()));
        for (const auto& e : b.palette) colours << qRgb(e[2], e[1], e[0]);
        img.setColorTable(colours);
        return img;
    }
    return QImage(b.rows.data(), b.width, b.height, b.stride, QImage::Format_BGR888);
}

namespace {

// Draws source (top-down coordinates of the bitmap) into target, clipping
// the source to the bitmap and the target with it.
void drawBitmap(QPainter& p, const QImage& upsideDown, display::Rect source, display::Rect target) {
    if (upsideDown.isNull() || source.width() <= 0 || source.height() <= 0) return;
    const double fx = static_cast<double>(target.width()) / source.width();
    const double fy = static_cast<double>(target.height()) / source.height();
    const int h = upsideDown.height();
    const display::Rect clipped{std::max(source.left, 0), std::max(source.top, 0),
                                std::min(source.right, upsideDown.width()), std::min(source.bottom, h)};
    if (clipped.width() <= 0 || clipped.height() <= 0) return;
    const QRectF dst(target.left + (clipped.left - source.left) * fx, target.top + (clipped.top - source.top) * fy,
                     clipped.width() * fx, clipped.height() * fy);
    const QRectF src(clipped.left, h - clipped.bottom, clipped.width(), clipped.height());
    p.save();
    // Flip vertically around the target so the bottom-up rows land upright.
    p.translate(0, dst.top() + dst.bottom());
    p.scale(1, -1);
    p.drawImage(dst, upsideDown, src);
    p.restore();
}

}  // namespace

CTessarinView::CTessarinView(document::CTessarinDoc& doc, QWidget* parent)
    : QWidget(parent), doc_(doc), controller_(doc, doc.ui()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 240);
    setFocusPolicy(Qt::StrongFocus);
    // The live readout follows the pointer without a button held.
    setMouseTracking(true);
}

void CTessarinView::setActualPixels(bool on) {
    actualPixels_ = on;
    update();
}

double CTessarinView::scale() const { return actualPixels_ ? devicePixelRatioF() : 1.0; }

display::Point CTessarinView::toView(QPointF p) const {
    const double f = scale();
    return {static_cast<int>(p.x() * f), static_cast<int>(p.y() * f)};
}

void CTessarinView::reportPointer(QPointF p) {
    lastPointer_ = p;
    if (!onPointer) return;
    std::string hover, gain;
    runGuarded(doc_.ui(), "the readout", [&] {
        hover = controller_.hoverText(toView(p));
        gain = controller_.gainText();
    });
    onPointer(QString::fromStdString(hover), QString::fromStdString(gain));
}

display::Modifiers CTessarinView::modifiers(Qt::KeyboardModifiers keys) const {
    display::Modifiers m;
    m.shift = keys.testFlag(Qt::ShiftModifier);
    m.ctrl = keys.testFlag(Qt::ControlModifier);
    m.heldC = heldC_;
    m.heldT = heldT_;
    return m;
}

void CTessarinView::keyPressEvent(QKeyEvent* event) {
    const int k = event->key();
    if (!event->isAutoRepeat()) {
        if (k == Qt::Key_C) heldC_ = true;
        if (k == Qt::Key_T) heldT_ = true;
    }
    int code = 0;
    switch (k) {
        case Qt::Key_Left: code = display::key::kLeft; break;
        case Qt::Key_Right: code = display::key::kRight; break;
        case Qt::Key_Up: code = display::key::kUp; break;
        case Qt::Key_Down: code = display::key::kDown; break;
        default:
            // Qt's letter and digit keys are their upper-case characters.
            if ((k >= Qt::Key_A && k <= Qt::Key_Z) || (k >= Qt::Key_0 && k <= Qt::Key_9)) code = k;
            break;
    }
    bool redraw = false;
    {
        // Keys that re-render write progress texts; "Ready" follows them.
        BusyScope work(doc_.ui());
        runGuarded(doc_.ui(), "the key", [&] { redraw = controller_.keyDown(code, modifiers(event->modifiers())); });
    }
    if (redraw) update();
    reportPointer(lastPointer_);
}

void CTessarinView::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat()) return;
    if (event->key() == Qt::Key_C) heldC_ = false;
    if (event->key() == Qt::Key_T) heldT_ = false;
}

void CTessarinView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    const display::Point p = toView(event->position());
    bool redraw = false;
    {
        // A Ctrl+click moves the working area (progress texts, then "Ready");
        // a plain click leaves its readout in the status bar.
        std::optional<BusyScope> work;
        if (event->modifiers().testFlag(Qt::ControlModifier)) work.emplace(doc_.ui());
        runGuarded(doc_.ui(), "the click", [&] { redraw = controller_.leftButtonDown(p, modifiers(event->modifiers())); });
    }
    if (redraw) update();
}

void CTessarinView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    const display::Point p = toView(event->position());
    bool redraw = false;
    runGuarded(doc_.ui(), "the click", [&] { redraw = controller_.leftButtonUp(p); });
    if (redraw) update();
}

void CTessarinView::mouseMoveEvent(QMouseEvent* event) {
    const display::Point p = toView(event->position());
    bool redraw = false;
    runGuarded(doc_.ui(), "the drag", [&] { redraw = controller_.pointerMove(p, modifiers(event->modifiers())); });
    if (redraw) update();
    reportPointer(event->position());
}

void CTessarinView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    std::vector<display::DrawOp> ops;
    const double f = scale();
    if (f != 1.0) p.scale(1.0 / f, 1.0 / f);
    // A paint that fails draws the background only; painting must not
    // raise a message box (that would paint again).
    try {
        ops = controller_.paint(static_cast<int>(width() * f), static_cast<int>(height() * f));
    } catch (const std::exception& e) {
        doc_.ui().status(e.what());
    }
    for (const auto& op : ops) {
        switch (op.kind) {
            case display::DrawOp::Kind::CopySlot:
            case display::DrawOp::Kind::StretchSlot: {
                const auto& slot = doc_.displaySlots().slot(op.slot);
                if (!slot.hasBitmap) break;
                drawBitmap(p, wrapBitmap(slot.dib.bitmap), op.source, op.target);
                break;
            }
            case display::DrawOp::Kind::Line: {
                const display::PenStyle style = display::penStyle(op.pen);
                p.setPen(QPen(QColor(style.r, style.g, style.b), style.width));
                p.drawLine(op.from.x, op.from.y, op.to.x, op.to.y);
                break;
            }
            case display::DrawOp::Kind::Text:
                p.setPen(Qt::white);
                p.drawText(op.at.x, op.at.y, QString::fromStdString(op.text));
                break;
        }
    }
}

}  // namespace tessarin::app
