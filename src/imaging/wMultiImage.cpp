#include "wMultiImage.h"

#include "PictureBox.h"
#include "WindowMetrics.h"

#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

QPointer<wMultiImage> wMultiImage::s_instance;

namespace {
constexpr int kPictureTop = 10;
constexpr int kPictureLeft = 8;
constexpr int kWindowExtra = 20;
} // namespace

wMultiImage::wMultiImage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("wMultiImage"));
    setWindowTitle(QStringLiteral(" "));
    m_image = new PictureBox(this);
    m_image->setObjectName(QStringLiteral("MasterImage"));
    Form_Activate();
}

wMultiImage* wMultiImage::instance(QMdiArea* area) {
    if (s_instance) return s_instance;
    auto* window = new wMultiImage;
    s_instance = window;
    if (area) {
        QMdiSubWindow* frame = area->addSubWindow(window);
        connect(area, &QMdiArea::subWindowActivated, window, [window, frame](QMdiSubWindow* active) {
            if (active == frame) window->Form_Activate();
        });
    } else {
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    return window;
}

wMultiImage* wMultiImage::existing() {
    return s_instance;
}

void wMultiImage::unload() {
    if (!s_instance) return;
    QWidget* outer = s_instance.data();
    if (auto* frame = qobject_cast<QMdiSubWindow*>(outer->parentWidget())) outer = frame;
    s_instance = nullptr;
    delete outer;
}

void wMultiImage::Cls() {
    m_image->Cls();
}

void wMultiImage::showWindow() {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget())) {
        frame->show();
        if (QMdiArea* area = frame->mdiArea()) area->setActiveSubWindow(frame);
    } else {
        show();
        activateWindow();
    }
    Form_Activate();
}

QSize wMultiImage::layoutSize() const {
    return QSize(m_image->width() + 2 * WindowMetrics::borderWidth(this) + kWindowExtra,
                 m_image->height() + WindowMetrics::captionHeight(this) +
                     2 * WindowMetrics::borderHeight(this) + kWindowExtra);
}

void wMultiImage::Form_Activate() {
    m_image->move(kPictureLeft, kPictureTop);
    WindowMetrics::setOuterSize(this, layoutSize());
}

void wMultiImage::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isWindow() && isActiveWindow()) Form_Activate();
}
