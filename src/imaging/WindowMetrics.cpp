#include "WindowMetrics.h"

#include <QMdiSubWindow>
#include <QStyle>
#include <QWidget>

namespace WindowMetrics {

int captionHeight(const QWidget* window) {
    return window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
}

int borderWidth(const QWidget* window) {
    return window->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, window);
}

int borderHeight(const QWidget* window) {
    return borderWidth(window);
}

void setOuterSize(QWidget* window, const QSize& outer) {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(window->parentWidget())) {
        frame->resize(outer);
        return;
    }
    window->resize(outer.width() - 2 * borderWidth(window),
                   outer.height() - captionHeight(window) - 2 * borderHeight(window));
}

} // namespace WindowMetrics
