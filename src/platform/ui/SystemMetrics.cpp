#include "SystemMetrics.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionTitleBar>

namespace {
struct Override {
    bool on = false;
    int caption = 0, bx = 0, by = 0;
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

int borderWidth() {
    return g.on ? g.bx : QApplication::style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
}
int borderHeight() {
    return g.on ? g.by : QApplication::style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
}

double twipsPerPixelX() {
    return g.on ? g.tx : 1440.0 / dpi(true);
}
double twipsPerPixelY() {
    return g.on ? g.ty : 1440.0 / dpi(false);
}

void setOverride(int caption, int borderX, int borderY, double twipsX, double twipsY) {
    if (caption <= 0 && borderX <= 0 && borderY <= 0 && twipsX <= 0 && twipsY <= 0) {
        g = Override{};
        return;
    }
    g = Override{true, caption, borderX, borderY, twipsX, twipsY};
}

} // namespace SystemMetrics
