#pragma once

#include <QSize>

class QWidget;

// What the image and bank windows share as children of the main window's work
// area (or as top-level windows when they have none).
namespace MdiChild {

// Gives `window` the outer size `outer` (caption bar and borders included): its MDI
// frame when it has one, otherwise the widget itself less SystemMetrics' frame.
void setOuterSize(QWidget* window, const QSize& outer);

// Shows the window, or its MDI frame, and makes it the active one.
void showActive(QWidget* window);

} // namespace MdiChild
