#include "wMovieViewer.h"

#include "Master.h"
#include "MdiChild.h"
#include "MoviePlayer.h"
#include "SystemMetrics.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>

namespace {

// Room for the player's error text when a file cannot be played.
constexpr QSize kErrorPicture(360, 120);

} // namespace

wMovieViewer::wMovieViewer(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("wMovieViewer"));
    setWindowTitle(QStringLiteral("Movie Window"));
    Movie = new MoviePlayer(this);
    connect(Movie, &MoviePlayer::OpenComplete, this, &wMovieViewer::Movie_OpenComplete);
    connect(Movie, &MoviePlayer::OpenFailed, this, &wMovieViewer::fitWindow);
    fitWindow();
}

wMovieViewer* wMovieViewer::OpenMovie(QMdiArea* area, const QString& path) {
    auto* viewer = new wMovieViewer;
    viewer->setWindowTitle(QFileInfo(path).fileName());
    if (area)
        area->addSubWindow(viewer); // the frame is deleted, with the window, when closed
    else
        viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->fitWindow();
    viewer->Movie->setFileName(path);
    MdiChild::showActive(viewer);
    return viewer;
}

wMovieViewer* wMovieViewer::OpenMovie(const QString& path) {
    Master* main = Master::instance();
    return OpenMovie(main ? main->MDIClient : nullptr, path);
}

void wMovieViewer::Movie_OpenComplete() {
    fitWindow();
    // Visible, without taking the focus from a window opened since.
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget()))
        frame->show();
    else
        show();
}

wMovieViewer::Fit wMovieViewer::fit(QSize video, int barHeight, QSize limit) {
    const int minWidth = qRound(kMinMovieWidthTwips / SystemMetrics::twipsPerPixelX());
    const int extraWidth = extraSize().width();
    const int extraHeight = extraSize().height();

    QSize picture = video.isValid() ? video : QSize(0, 0);
    if (!limit.isEmpty() && !picture.isEmpty()) {
        const int roomW = qMax(1, limit.width() - extraWidth);
        const int roomH = qMax(1, limit.height() - extraHeight - barHeight);
        // Scaled down to the tighter of the two limits, in whole pixels.
        const qint64 w = picture.width(), h = picture.height();
        if (w > roomW || h > roomH) {
            if (qint64(roomW) * h <= qint64(roomH) * w)
                picture = QSize(roomW, int(qMax<qint64>(1, h * roomW / w)));
            else
                picture = QSize(int(qMax<qint64>(1, w * roomH / h)), roomH);
        }
    }
    int movieWidth = qMax(picture.width(), minWidth);
    if (!limit.isEmpty()) movieWidth = qMin(movieWidth, qMax(1, limit.width() - extraWidth));
    const QSize movie(movieWidth, picture.height() + barHeight);
    return {movie, QSize(movie.width() + extraWidth, movie.height() + extraHeight)};
}

QSize wMovieViewer::sizeLimit() const {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget()))
        if (QMdiArea* area = frame->mdiArea()) return area->viewport()->size();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) return screen->availableGeometry().size();
    return {};
}

void wMovieViewer::fitWindow() {
    QSize video = Movie->videoSize();
    if (!Movie->errorText().isEmpty()) video = kErrorPicture;
    const Fit f = fit(video, Movie->controlBarHeight(), sizeLimit());
    MdiChild::setOuterSize(this, f.window);
    Movie->setGeometry(QRect(QPoint(0, 0), f.movie));
}

QSize wMovieViewer::extraSize() {
    // Two borders beside the control, a caption and 20 borders above and below it;
    // never less than the frame itself takes, so no edge of the picture is hidden
    // under a sizing frame thicker than the thin border.
    const int frame = 2 * SystemMetrics::frameWidth();
    return {qMax(2 * SystemMetrics::borderWidth(), frame),
            SystemMetrics::captionHeight() + qMax(20 * SystemMetrics::borderHeight(), frame)};
}

void wMovieViewer::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The control at the top left, as wide as the window; below it the space that
    // the extra height leaves once the frame's caption and sizing frame are taken.
    const int below = extraSize().height() - SystemMetrics::captionHeight() - 2 * SystemMetrics::frameWidth();
    Movie->setGeometry(0, 0, width(), qMax(0, height() - below));
}
