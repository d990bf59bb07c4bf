#pragma once
// The view of a document inside its MDI child window: it executes the
// drawing operations of the core paint on the slot bitmaps.

#include <QImage>
#include <QWidget>

#include "display/view_paint.h"

namespace tessarin::document {
class CTessarinDoc;
}
namespace tessarin::display {
struct Bitmap;
}

namespace tessarin::app {

// A QImage over a slot bitmap's rows, without copying them. Bitmap rows are
// bottom-up, so the image is upside down; drawBitmap flips it while drawing.
QImage wrapBitmap(const display::Bitmap& bitmap);

class CTessarinView : public QWidget {
public:
    CTessarinView(document::CTessarinDoc& doc, QWidget* parent = nullptr);
    document::CTessarinDoc& document() const { return doc_; }
    display::ViewState& viewState() { return view_; }
    const display::PaneGeometry& geometry() const { return geometry_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    document::CTessarinDoc& doc_;
    display::ViewState view_;
    display::PaneGeometry geometry_;
};

}  // namespace tessarin::app
