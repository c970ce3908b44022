#include "wImage.h"

#include "MsgBox.h"
#include "PictureBox.h"
#include "PictureFile.h"
#include "WindowMetrics.h"

#include <QAction>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStyle>
#include <QToolBar>

namespace {

wImage::FileChooser fileChooser;

struct ToolButton {
    const char* key;
    const char* toolTip;
    const char* themeIcon;
    QStyle::StandardPixmap fallback;
};
constexpr ToolButton kButtons[] = {
    {"open", "Open", "document-open", QStyle::SP_DialogOpenButton},
    {"save", "Save as...", "document-save-as", QStyle::SP_DialogSaveButton},
    {"print", "Print Image", "document-print", QStyle::SP_FileIcon},
    {"clipboard", "Put On Clipboard", "edit-copy", QStyle::SP_FileLinkIcon},
};

// "description|pattern|description|pattern|" -> "description (patterns);;..."
QString toQtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty() && parts[i + 1].isEmpty()) continue;
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        entries << parts[i].trimmed() + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

constexpr int kToolbarTop = 3;
constexpr int kToolbarLeft = 2;
constexpr int kPanelExtra = 4;
constexpr int kPictureGap = 10;
constexpr int kPictureLeft = 8;
constexpr int kWindowExtra = 20;

} // namespace

wImage::wImage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("wImage"));

    m_panel = new QWidget(this);
    m_panel->setObjectName(QStringLiteral("MasterPanel"));
    m_toolbar = new QToolBar(m_panel); // attached to the panel
    m_toolbar->setObjectName(QStringLiteral("Mastertoolbar"));
    m_toolbar->setIconSize(QSize(16, 16));
    for (const ToolButton& button : kButtons) {
        const QString key = QString::fromLatin1(button.key);
        QAction* action = m_toolbar->addAction(
            QIcon::fromTheme(QString::fromLatin1(button.themeIcon), style()->standardIcon(button.fallback)),
            QString::fromLatin1(button.toolTip));
        action->setObjectName(key);
        action->setToolTip(QString::fromLatin1(button.toolTip));
        connect(action, &QAction::triggered, this, [this, key] { Mastertoolbar_ButtonClick(key); });
    }
    m_toolbar->adjustSize();

    m_image = new PictureBox(this);
    m_image->setObjectName(QStringLiteral("MasterImage"));
    Form_Activate();
}

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
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget())) {
        frame->show();
        if (QMdiArea* area = frame->mdiArea()) area->setActiveSubWindow(frame);
    } else {
        show();
        activateWindow();
    }
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

QSize wImage::layoutSize() const {
    const int panelHeight = m_toolbar->height() + kPanelExtra;
    return QSize(m_image->width() + 2 * WindowMetrics::borderWidth(this) + kWindowExtra,
                 panelHeight + m_image->height() + WindowMetrics::captionHeight(this) +
                     2 * WindowMetrics::borderHeight(this) + kWindowExtra);
}

void wImage::Form_Activate() {
    m_toolbar->move(kToolbarLeft, kToolbarTop);
    const int panelHeight = m_toolbar->height() + kPanelExtra;
    m_image->move(kPictureLeft, panelHeight + kPictureGap);
    const QSize outer = layoutSize();
    WindowMetrics::setOuterSize(this, outer);
    m_panel->setGeometry(0, 0, std::max(width(), m_toolbar->width() + kToolbarLeft), panelHeight);
}

void wImage::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // A top-level window (not in the work area) lays itself out when activated.
    if (event->type() == QEvent::ActivationChange && isWindow() && isActiveWindow()) Form_Activate();
}

void wImage::setFileChooser(FileChooser chooser) {
    fileChooser = std::move(chooser);
}

QString wImage::chooseFile(bool save, const QString& filter, const QString& preset) {
    if (fileChooser) return fileChooser(this, save, filter, preset);
    const QString qtFilter = toQtFilter(filter);
    return save ? QFileDialog::getSaveFileName(this, QStringLiteral("Save As"), preset, qtFilter)
                : QFileDialog::getOpenFileName(this, QStringLiteral("Open"), preset, qtFilter);
}
