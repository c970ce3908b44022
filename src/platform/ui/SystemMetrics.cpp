#include "SystemMetrics.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionTitleBar>

namespace {
struct Override {
    bool on = false;
    int caption = 0, bx = 0, by = 0, frame = 0;
    double tx = 15, ty = 15;
} g;

double dpi(bool horizontal) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return 96.0;
    const double d = horizontal ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY();
    return d > 0 ? d : 96.0;
}
} // namespace

namespace SystemMetrics {

int captionHeight() {
    if (g.on) return g.caption;
    QStyleOptionTitleBar opt;
    return QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight, &opt);
}

// The thin border is one device-independent pixel on every desktop; the sizing frame
// of a child window is the style's.
int borderWidth() {
    return g.on ? g.bx : 1;
}
int borderHeight() {
    return g.on ? g.by : 1;
}
int frameWidth() {
    return g.on ? g.frame : QApplication::style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
}

double twipsPerPixelX() {
    return g.on ? g.tx : 1440.0 / dpi(true);
}
double twipsPerPixelY() {
    return g.on ? g.ty : 1440.0 / dpi(false);
}

void setOverride(int caption, int borderX, int borderY, double twipsX, double twipsY, int frame) {
    if (caption <= 0 && borderX <= 0 && borderY <= 0 && twipsX <= 0 && twipsY <= 0) {
        g = Override{};
        return;
    }
    g = Override{true, caption, borderX, borderY, frame >= 0 ? frame : borderX, twipsX, twipsY};
}

} // namespace SystemMetrics
