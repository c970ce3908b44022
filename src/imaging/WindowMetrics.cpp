#include "WindowMetrics.h"

#include <QMdiSubWindow>
#include <QStyle>
#include <QWidget>

namespace WindowMetrics {

namespace {
// An MDI child's frame keeps its caption bar and borders as its contents margins.
const QMdiSubWindow* frameOf(const QWidget* window) {
    return qobject_cast<const QMdiSubWindow*>(window->parentWidget());
}
} // namespace

int captionHeight(const QWidget* window) {
    if (const QMdiSubWindow* frame = frameOf(window)) return frame->contentsMargins().top();
    return window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
}

int borderWidth(const QWidget* window) {
    if (const QMdiSubWindow* frame = frameOf(window)) return frame->contentsMargins().left();
    return window->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, window);
}

int borderHeight(const QWidget* window) {
    if (const QMdiSubWindow* frame = frameOf(window)) return frame->contentsMargins().bottom();
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
