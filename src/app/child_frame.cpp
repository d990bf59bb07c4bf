#include "child_frame.h"

#include <QPainter>
#include <algorithm>

#include "display/raw_dib.h"
#include "document/tessarin_doc.h"

namespace tessarin::app {

QImage wrapBitmap(const display::Bitmap& b) {
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

CTessarinView::CTessarinView(document::CTessarinDoc& doc, QWidget* parent) : QWidget(parent), doc_(doc) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 240);
}

void CTessarinView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const display::PaintInput input = doc_.paintInput();
    const auto ops = display::paintView(input, view_, width(), height(), geometry_);
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
