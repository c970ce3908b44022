#pragma once

#include <QSize>

class QWidget;

// Frame sizes of a child window in the main window's work area, in pixels: those of
// its MDI frame when it has one, otherwise the Qt style's caption bar height and
// MDI frame width.
namespace WindowMetrics {

int captionHeight(const QWidget* window);
int borderWidth(const QWidget* window);
int borderHeight(const QWidget* window);

// Gives `window` the outer size `outer` (caption and borders included): its MDI
// frame when it has one, otherwise the widget itself less the frame.
void setOuterSize(QWidget* window, const QSize& outer);

} // namespace WindowMetrics
