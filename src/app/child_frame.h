#pragma once
// The view of a document inside its MDI child window: it executes the
// drawing operations of the core paint on the slot bitmaps, and hands key
// and pointer events to the core view logic.

#include <QImage>
#include <QWidget>

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

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    display::Modifiers modifiers(Qt::KeyboardModifiers keys) const;

    document::CTessarinDoc& doc_;
    display::ViewController controller_;
    // The C and T keys held down while clicking (mark, polygon vertex).
    bool heldC_ = false;
    bool heldT_ = false;
};

}  // namespace tessarin::app
