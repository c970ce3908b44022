#include "wAboutWindow.h"

#include "SystemMetrics.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>
#include <QPointer>

namespace {

// Pixels, at the window's own scale.
constexpr int kMargin = 12;
constexpr int kPhotoWidth = 150;
constexpr int kFrameWidth = 300;
constexpr int kFrameHeight = 220;
constexpr int kPhotoLeftTwips = 585;

QString signedNumber(int n) { // a number turned into text: a blank holds the sign's place
    return (n < 0 ? QString() : QStringLiteral(" ")) + QString::number(n);
}

QString atLeastTwoDigits(int n) { // "#00"
    return (n < 0 ? QStringLiteral("-") : QString()) +
           QStringLiteral("%1").arg(qAbs(n), 2, 10, QLatin1Char('0'));
}

// The text drawn into a picture `width` pixels wide, as tall as it needs.
QPixmap textPicture(const QString& text, const QFont& font, int width, const QPalette& palette) {
    const QFontMetrics metrics(font);
    const QRect box(0, 0, width, 100000);
    const int flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
    const QRect used = metrics.boundingRect(box, flags, text);
    QPixmap picture(width, used.height() + 4);
    picture.fill(palette.color(QPalette::Base));
    QPainter p(&picture);
    p.setFont(font);
    p.setPen(palette.color(QPalette::Text));
    p.drawText(QRect(0, 2, width, used.height()), flags, text);
    return picture;
}

// The one open About window.
QPointer<wAboutWindow> g_window;

} // namespace

wAboutWindow* wAboutWindow::instance() {
    return g_window.data();
}

void wAboutWindow::Open(QWidget* parent, bool modal) {
    if (g_window && g_window->isVisible()) {
        g_window->show();
        g_window->raise();
        g_window->activateWindow();
        return;
    }
    if (modal) {
        wAboutWindow about(parent);
        about.exec();
        return;
    }
    auto* about = new wAboutWindow(parent);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->show();
}

wAboutWindow::~wAboutWindow() = default;

wAboutWindow::wAboutWindow(QWidget* parent) : QDialog(parent) {
    // The pictures are in the program's resources, linked from a static library.
    Q_INIT_RESOURCE(kelvanor);
    setObjectName(QStringLiteral("wAboutWindow"));
    setWindowTitle(QStringLiteral("About Video Kelvanor 2000"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    g_window = this;

    const int photoLeft = qRound(kPhotoLeftTwips / SystemMetrics::twipsPerPixelX());
    const int frameLeft = photoLeft + kPhotoWidth + kMargin;

    TextFrame = new QWidget(this);
    TextFrame->setObjectName(QStringLiteral("TextFrame"));
    TextFrame->setGeometry(frameLeft, kMargin, kFrameWidth, kFrameHeight);
    TextFrame->setAutoFillBackground(true);
    TextFrame->setBackgroundRole(QPalette::Base);

    AboutText = new QLabel(TextFrame);
    AboutText->setObjectName(QStringLiteral("AboutText"));
    AboutText->setPixmap(textPicture(aboutText(), font(), kFrameWidth - 2 * kMargin, palette()));
    AboutText->resize(AboutText->pixmap().size());
    AboutText->setCursor(Qt::PointingHandCursor);
    AboutText->setToolTip(tr("Click to pause or resume the pictures"));
    AboutText->installEventFilter(this);

    for (int i = 0; i < int(AboutPhoto.size()); ++i) {
        auto* photo = new QLabel(this);
        photo->setObjectName(QStringLiteral("AboutPhoto_%1").arg(i));
        photo->setPixmap(QPixmap(QStringLiteral(":/about%1.png").arg(i)));
        photo->setScaledContents(true);
        photo->resize(kPhotoWidth, kFrameHeight);
        AboutPhoto[i] = photo;
    }

    auto* versionLabel = new QLabel(tr("Version"), this);
    Build = new QLabel(QStringLiteral("3.00.00.00"), this);
    Build->setObjectName(QStringLiteral("Build"));
    const int row = kMargin + kFrameHeight + kMargin;
    versionLabel->move(photoLeft, row + 4);
    versionLabel->adjustSize();
    Build->move(photoLeft + versionLabel->width() + 4, row + 4);
    Build->resize(kPhotoWidth, versionLabel->height());

    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    Command1->adjustSize();
    Command1->move(frameLeft + kFrameWidth - Command1->width(), row);
    connect(Command1, &QPushButton::clicked, this, &wAboutWindow::Command1_Click);

    setFixedSize(frameLeft + kFrameWidth + kMargin, row + Command1->height() + kMargin);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(5);
    connect(Timer1, &QTimer::timeout, this, &wAboutWindow::Timer1_Timer);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(6000);
    connect(Timer2, &QTimer::timeout, this, &wAboutWindow::Timer2_Timer);

    Form_Load();
    Timer1->start();
    Timer2->start();
}

void wAboutWindow::Form_Load() {
    CurrentPhoto = 0;
    Build->setText(VersionText(KV_VERSION_MAJOR, KV_VERSION_MINOR, KV_VERSION_REVISION));
    // The text starts just below the visible area, centred across it.
    AboutText->move((TextFrame->width() - AboutText->width()) / 2, TextFrame->height());
    for (QLabel* photo : AboutPhoto) {
        photo->move(qRound(kPhotoLeftTwips / SystemMetrics::twipsPerPixelX()), TextFrame->y());
        photo->resize(photo->width(), TextFrame->height());
        photo->hide();
    }
    AboutPhoto[CurrentPhoto]->show();
}

void wAboutWindow::Timer1_Timer() {
    if (AboutText->y() <= -AboutText->height()) AboutText->move(AboutText->x(), TextFrame->height());
    AboutText->move(AboutText->x(), AboutText->y() - 2);
}

void wAboutWindow::Timer2_Timer() {
    AboutPhoto[CurrentPhoto]->hide();
    ++CurrentPhoto;
    if (CurrentPhoto >= qint16(AboutPhoto.size())) CurrentPhoto = 0;
    AboutPhoto[CurrentPhoto]->show();
}

void wAboutWindow::AboutText_Click() {
    if (Timer2->isActive())
        Timer2->stop();
    else
        Timer2->start();
}

void wAboutWindow::Command1_Click() {
    Timer1->stop();
    Timer2->stop();
    accept();
}

bool wAboutWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == AboutText && event->type() == QEvent::MouseButtonPress) {
        AboutText_Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

QString wAboutWindow::VersionText(int major, int minor, int revision) {
    if (minor != 0)
        return signedNumber(major) + QLatin1Char('.') + atLeastTwoDigits(minor) + QLatin1Char('.') +
               atLeastTwoDigits(revision);
    return signedNumber(major) + QLatin1Char('.') + atLeastTwoDigits(revision) +
           QStringLiteral(" Beta Release");
}

QString wAboutWindow::aboutText() {
    return tr("Video Kelvanor 2000\n\n"
              "Movies, stamped still pictures and interval shots from any camera on Linux.\n\n"
              "It records AVI movies with or without sound, takes still frames stamped with "
              "the time, the date and a text of your own, saves them as BMP or JPEG, prints "
              "them or puts them on the clipboard, and shoots runs of pictures by hand or "
              "at an interval. A capture can start at a set time.\n\n"
              "Built on free software:\n\n"
              "Qt %1\nGNU LGPL version 3\n\n"
              "FFmpeg (libavcodec, libavformat, libswscale): recording and playback\nGNU LGPL version 2.1 or "
              "later\n\n"
              "libjpeg-turbo\nIJG licence and modified BSD licence\n\n"
              "libv4l2 (v4l-utils)\nGNU LGPL version 2.1 or later\n\n"
              "PulseAudio\nGNU LGPL version 2.1 or later")
        .arg(QString::fromLatin1(qVersion()));
}
