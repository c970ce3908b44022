#include "MdiChild.h"

#include "SystemMetrics.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QWidget>

namespace MdiChild {

void setOuterSize(QWidget* window, const QSize& outer) {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(window->parentWidget())) {
        frame->resize(outer);
        return;
    }
    window->resize(outer.width() - 2 * SystemMetrics::borderWidth(),
                   outer.height() - SystemMetrics::captionHeight() - 2 * SystemMetrics::borderHeight());
}

void showActive(QWidget* window) {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(window->parentWidget())) {
        frame->show();
        if (QMdiArea* area = frame->mdiArea()) area->setActiveSubWindow(frame);
    } else {
        window->show();
        window->activateWindow();
    }
}

} // namespace MdiChild
