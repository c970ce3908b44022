#include "wMultiImage.h"

#include "MdiChild.h"
#include "PictureBox.h"
#include "SystemMetrics.h"

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
    MdiChild::showActive(this);
    Form_Activate();
}

QSize wMultiImage::layoutSize() const {
    return QSize(m_image->width() + 2 * SystemMetrics::borderWidth() + kWindowExtra,
                 m_image->height() + SystemMetrics::captionHeight() + 2 * SystemMetrics::borderHeight() +
                     kWindowExtra);
}

void wMultiImage::Form_Activate() {
    m_image->move(kPictureLeft, kPictureTop);
    MdiChild::setOuterSize(this, layoutSize());
}

void wMultiImage::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isWindow() && isActiveWindow()) Form_Activate();
}
