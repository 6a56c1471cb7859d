// Where dialogs go.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace kb {

// The dialog placement convention: centred on the main window (10 pixels to
// the right of centre) when it fits on the screen and is narrower than the
// main window, otherwise 10 pixels in from the main window's top-left corner.
// All halves truncate toward zero. `screen` is the screen's size.
QPoint DialogPlacement(const QRect& main, const QSize& dialog, const QSize& screen);

// Moves `dialog` by the placement convention relative to `mainWindow` (no-op
// when mainWindow is null).
void PlaceDialog(QWidget* dialog, const QWidget* mainWindow);

// Top-left corner that centres a dialog of `size` on `cursor`, kept entirely
// inside `available` (the screen holding the pointer) when it fits there.
QPoint CenterOnPointer(const QPoint& cursor, const QSize& size, const QRect& available);

// Moves `dialog` so it is centred on the mouse pointer and fully visible.
void PlaceAtPointer(QWidget* dialog);

}  // namespace kb
