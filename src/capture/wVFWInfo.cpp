#include "wVFWInfo.h"

#include "MSVIDEO.h"
#include "Master.h"
#include "ToolIcons.h"
#include "WindowActivation.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyle>

namespace {

QString yesNo(BOOL flag) {
    return flag == 1 ? QStringLiteral("Yes") : QStringLiteral("No");
}

QString number(quint32 value) {
    return QLatin1Char(' ') + QString::number(value);
}

QPointer<wVFWInfo> g_window;

} // namespace

wVFWInfo::wVFWInfo(Master& master) : QDialog(&master), m_master(master) {
    setObjectName(QStringLiteral("wVFWInfo"));
    setWindowTitle(QStringLiteral("Driver Information"));
    setModal(false);
    WindowActivation::follow();

    DrvName = new QLabel(this);
    DrvName->setObjectName(QStringLiteral("DrvName"));
    DrvVersion = new QLabel(this);
    DrvVersion->setObjectName(QStringLiteral("DrvVersion"));
    dVFW = new QPlainTextEdit(this);
    dVFW->setObjectName(QStringLiteral("dVFW"));
    dVFW->setReadOnly(true);
    dVFW->setFont(QFont(QStringLiteral("Arial")));
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(ToolIcons::standard(QStyle::SP_ComputerIcon).pixmap(32, 32));
    ok_button = new QPushButton(QStringLiteral("OK"), this);
    ok_button->setObjectName(QStringLiteral("ok_button"));
    connect(ok_button, &QPushButton::clicked, this, &QWidget::close);

    auto* grid = new QGridLayout(this);
    grid->addWidget(Image1, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(DrvName, 0, 1);
    grid->addWidget(DrvVersion, 1, 1);
    grid->addWidget(dVFW, 2, 0, 1, 2);
    grid->addWidget(ok_button, 3, 1, Qt::AlignRight);
    resize(360, 420);
}

wVFWInfo* wVFWInfo::Show(Master& master) {
    if (!g_window) {
        g_window = new wVFWInfo(master);
        g_window->setAttribute(Qt::WA_DeleteOnClose);
    }
    g_window->show();
    g_window->raise();
    g_window->activateWindow();
    return g_window;
}

bool wVFWInfo::event(QEvent* e) {
    // Activated from another of the program's windows, not handed back by the desktop
    // when the user returns from another program.
    if (e->type() == QEvent::WindowActivate && WindowActivation::fromOwnWindow(this)) Form_Activate();
    return QDialog::event(e);
}

void wVFWInfo::print(const QString& line) {
    dVFW->appendPlainText(line);
}

void wVFWInfo::Form_Activate() {
    // Without a connected driver the record is the empty one.
    if (!MSVIDEO::GetDriverCaps(MSVIDEO::CaptureWindow, MSVIDEO::CapDriverCaps)) MSVIDEO::CapDriverCaps = {};
    const CAPDRIVERCAPS& caps = MSVIDEO::CapDriverCaps;
    const int position = m_master.MSVIDEODevice->currentIndex();
    DrvName->setText(QStringLiteral("Description: ") + MSVIDEO::GetDriverName(position));
    DrvVersion->setText(QStringLiteral("Version: ") + MSVIDEO::GetDriverVersion(position));

    print(QStringLiteral(" Driver Index: ") + number(caps.wDeviceIndex));
    print(QString());
    print(QStringLiteral(" Video Source Dialog: ") + yesNo(caps.fHasDlgVideoSource));
    print(QString());
    print(QStringLiteral(" Video Format Dialog: ") + yesNo(caps.fHasDlgVideoFormat));
    print(QString());
    print(QStringLiteral(" Video Display Dialog: ") + yesNo(caps.fHasDlgVideoDisplay));
    print(QString());
    print(QStringLiteral(" Device can make overlay mode: ") + yesNo(caps.fHasOverlay));
    print(QString());
    print(caps.fDriverSuppliesPalettes == 1 ? QStringLiteral(" Driver can generate palettes.")
                                            : QStringLiteral(" Driver cannot generate palettes."));
    print(QString());
    print(QStringLiteral(" Video In: ") + number(caps.hVideoIn));
    print(QStringLiteral(" Video Out: ") + number(caps.hVideoOut));
    print(QStringLiteral(" Video External In: ") + number(caps.hVideoExtIn));
    print(QStringLiteral(" Video External Out: ") + number(caps.hVideoExtOut));
}
