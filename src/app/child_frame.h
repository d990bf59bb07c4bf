#pragma once
// The view of a document inside its MDI child window: it executes the
// drawing operations of the core paint on the slot bitmaps, and hands key
// and pointer events to the core view logic.

#include <QImage>
#include <QWidget>
#include <functional>

#include "display/view_controller.h"
#include "display/view_paint.h"

namespace tessarin::document {
class CTessarinDoc;
}
namespace tessarin::display {
struct BottomUpBitmap;
}

namespace tessarin::app {

// A QImage over a slot bitmap's rows, without copying them. The rows are
// bottom-up, so the image is upside down; drawBitmap flips it while drawing.
QImage wrapBitmap(const display::BottomUpBitmap& bitmap);

class CTessarinView : public QWidget {
public:
    CTessarinView(document::CTessarinDoc& doc, QWidget* parent = nullptr);
    document::CTessarinDoc& document() const { return doc_; }
    display::ViewState& viewState() { return controller_.state(); }
    const display::PaneGeometry& geometry() const { return controller_.geometry(); }
    display::ViewController& controller() { return controller_; }
    // Draws the panes unscaled, one image sample per device pixel, on a
    // display scaled by the platform.
    void setActualPixels(bool on);
    // Called after each pointer move and key with what lies under the
    // pointer and the brightness gain.
    std::function<void(const QString& hover, const QString& gain)> onPointer;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    display::Modifiers modifiers(Qt::KeyboardModifiers keys) const;
    // Window coordinates in the units the view logic paints in.
    display::Point toView(QPointF p) const;
    double scale() const;
    void reportPointer(QPointF p);

    document::CTessarinDoc& doc_;
    display::ViewController controller_;
    // The C and T keys held down while clicking (mark, polygon vertex).
    bool heldC_ = false;
    bool heldT_ = false;
    bool actualPixels_ = false;
    QPointF lastPointer_;
};

}  // namespace tessarin::app
