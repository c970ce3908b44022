#include "wImage.h"

#include "CommonDialog.h"
#include "KeyedToolbar.h"
#include "MdiChild.h"
#include "MsgBox.h"
#include "PictureBox.h"
#include "PictureFile.h"
#include "SmartPanel.h"
#include "SystemMetrics.h"

#include <QEvent>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>

namespace {

constexpr int kToolbarLeft = 2;
constexpr int kPanelExtra = 4;
constexpr int kPictureGap = 10;
constexpr int kPictureLeft = 8;
constexpr int kWindowExtra = 20;

} // namespace

wImage::wImage(QWidget* parent) : QWidget(parent), m_dialog(std::make_unique<CommonDialog>(this)) {
    setObjectName(QStringLiteral("wImage"));

    m_toolbar = new KeyedToolbar(QStringLiteral("Mastertoolbar"));
    m_toolbar->setIconSize(QSize(16, 16));
    m_toolbar->addButton(QStringLiteral("open"), QStringLiteral("Open"));
    m_toolbar->addButton(QStringLiteral("save"), QStringLiteral("Save as..."));
    m_toolbar->addButton(QStringLiteral("print"), QStringLiteral("Print Image"));
    m_toolbar->addButton(QStringLiteral("clipboard"), QStringLiteral("Put On Clipboard"));
    connect(m_toolbar, &KeyedToolbar::ButtonClick, this, &wImage::Mastertoolbar_ButtonClick);

    m_panel = new SmartPanel(QStringLiteral("MasterPanel"), QString(), 0, this);
    // The panel's row places the toolbar: its top and left margins are the panel's.
    m_panel->AttachToolbar(m_toolbar);

    m_image = new PictureBox(this);
    m_image->setObjectName(QStringLiteral("MasterImage"));
    Form_Activate();
}

wImage::~wImage() = default;

wImage* wImage::create(QMdiArea* area, const QString& caption) {
    auto* window = new wImage;
    window->setCaption(caption);
    if (area) {
        area->addSubWindow(window); // the frame is deleted, with the window, when closed
        window->attachToMdiFrame();
    } else {
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    return window;
}

QPointer<wImage> wImage::s_main;

wImage* wImage::mainInstance(QMdiArea* area) {
    if (!s_main) s_main = create(area);
    return s_main;
}

wImage* wImage::openPictureFile(QMdiArea* area, const QString& path) {
    wImage* window = create(area, QFileInfo(path).fileName());
    const QImage picture = LoadPicture(path);
    if (picture.isNull())
        MsgBox(QStringLiteral("Bad file format."), MsgBoxStyle::vbOKOnly | MsgBoxStyle::vbCritical,
               QString::fromLatin1(kAppTitle));
    else
        window->MasterImage()->setPicture(picture);
    window->MasterImage()->setAutoRedraw(true);
    window->showWindow();
    return window;
}

void wImage::setCaption(const QString& caption) {
    setWindowTitle(caption);
}

void wImage::showWindow() {
    attachToMdiFrame();
    MdiChild::showActive(this);
    Form_Activate();
}

void wImage::attachToMdiFrame() {
    auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (!frame || m_frameHooked || !frame->mdiArea()) return;
    m_frameHooked = true;
    connect(frame->mdiArea(), &QMdiArea::subWindowActivated, this, [this, frame](QMdiSubWindow* active) {
        if (active == frame) Form_Activate();
    });
}

int wImage::panelHeight() const {
    return m_toolbar->sizeHint().height() + kPanelExtra;
}

QSize wImage::layoutSize() const {
    return QSize(m_image->width() + 2 * SystemMetrics::borderWidth() + kWindowExtra,
                 panelHeight() + m_image->height() + SystemMetrics::captionHeight() +
                     2 * SystemMetrics::borderHeight() + kWindowExtra);
}

void wImage::Form_Activate() {
    m_panel->setHeight(panelHeight());
    m_image->move(kPictureLeft, panelHeight() + kPictureGap);
    MdiChild::setOuterSize(this, layoutSize());
    m_panel->setGeometry(0, 0, std::max(width(), m_toolbar->sizeHint().width() + kToolbarLeft),
                         panelHeight());
}

void wImage::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // A top-level window (not in the work area) lays itself out when activated.
    if (event->type() == QEvent::ActivationChange && isWindow() && isActiveWindow()) Form_Activate();
}
