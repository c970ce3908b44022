#include "wSplash.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>

wSplash::wSplash(QWidget* parent) : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("wSplash"));
    setWindowTitle(QStringLiteral("Video Kelvanor 2000"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    Logo = new QLabel(this);
    Logo->setObjectName(QStringLiteral("Logo"));
    const QPixmap picture(QStringLiteral(":/logo.png"));
    Logo->setPixmap(picture);
    Logo->move(0, 0);
    Logo->resize(picture.size());
    // The window takes the picture's size.
    setFixedSize(picture.size());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(4000);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &wSplash::Timer1_Timer);
}

void wSplash::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Timer1->start();
}

void wSplash::Timer1_Timer() {
    Timer1->stop();
    accept();
}

void wSplash::showUntilClosed() {
    setWindowModality(Qt::ApplicationModal);
    QEventLoop wait;
    connect(this, &QDialog::finished, &wait, &QEventLoop::quit);
    show();
    // Closed while being shown, or the program asked to end meanwhile
    // (QCoreApplication::exit leaves every loop, this one at once).
    if (isVisible()) wait.exec();
}
