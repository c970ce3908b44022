#include "MoviePlayer.h"

#include "MovieFrameConverter.h"
#include "MovieFrameView.h"
#include "ToolIcons.h"

#include <QAudioOutput>
#include <QHBoxLayout>
#include <QLabel>
#include <QMediaMetaData>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoFrame>
#include <QVideoSink>

namespace {

QToolButton* makeButton(const QString& name, QStyle::StandardPixmap icon, const QString& tip,
                        QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setIcon(ToolIcons::standard(icon));
    b->setToolTip(tip);
    b->setAutoRaise(true);
    return b;
}

// The player decodes with FFmpeg, the library the recorder encodes with, so that
// every movie the recorder can write plays back (GStreamer's AVI reader knows only
// some of those codecs). Qt reads the choice when its first media object is made; a
// choice made in the environment stands.
QMediaPlayer* makePlayer(QObject* parent) {
    static const bool chosen = [] {
        if (!qEnvironmentVariableIsSet("QT_MEDIA_BACKEND")) qputenv("QT_MEDIA_BACKEND", "ffmpeg");
        return true;
    }();
    Q_UNUSED(chosen);
    return new QMediaPlayer(parent);
}

} // namespace

MoviePlayer::MoviePlayer(QWidget* parent)
    : QWidget(parent), m_player(makePlayer(this)), m_audio(new QAudioOutput(this)) {
    setObjectName(QStringLiteral("Movie"));
    m_player->setObjectName(QStringLiteral("MoviePlayer"));
    m_player->setAudioOutput(m_audio);

    m_video = new MovieFrameView(this);
    m_video->setObjectName(QStringLiteral("MovieVideo"));
    m_player->setVideoSink(m_video->videoSink());

    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("MovieError"));
    m_error->setWordWrap(true);
    m_error->setAlignment(Qt::AlignCenter);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_error->setMargin(8);
    m_error->hide();

    m_bar = new QWidget(this);
    m_bar->setObjectName(QStringLiteral("MovieControls"));
    m_play = makeButton(QStringLiteral("PlayButton"), QStyle::SP_MediaPlay, tr("Play"), m_bar);
    m_stop = makeButton(QStringLiteral("StopButton"), QStyle::SP_MediaStop, tr("Stop"), m_bar);
    m_position = new QSlider(Qt::Horizontal, m_bar);
    m_position->setObjectName(QStringLiteral("PositionSlider"));
    m_position->setToolTip(tr("Position"));
    m_position->setRange(0, 0);
    m_time = new QLabel(timeText(0) + QStringLiteral(" / ") + timeText(0), m_bar);
    m_time->setObjectName(QStringLiteral("TimeDisplay"));
    auto* speaker = new QLabel(m_bar);
    speaker->setObjectName(QStringLiteral("VolumeIcon"));
    speaker->setPixmap(ToolIcons::standard(QStyle::SP_MediaVolume).pixmap(16, 16));
    m_volume = new QSlider(Qt::Horizontal, m_bar);
    m_volume->setObjectName(QStringLiteral("VolumeSlider"));
    m_volume->setToolTip(tr("Volume"));
    m_volume->setRange(0, 100);
    m_volume->setValue(qRound(m_audio->volume() * 100));
    m_volume->setFixedWidth(60);

    auto* bar = new QHBoxLayout(m_bar);
    bar->setContentsMargins(2, 2, 2, 2);
    bar->setSpacing(2);
    bar->addWidget(m_play);
    bar->addWidget(m_stop);
    bar->addWidget(m_position, 1);
    bar->addWidget(m_time);
    bar->addWidget(speaker);
    bar->addWidget(m_volume);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_video, 1);
    column->addWidget(m_error, 1);
    column->addWidget(m_bar);

    connect(m_play, &QToolButton::clicked, this, &MoviePlayer::PlayButton_Click);
    connect(m_stop, &QToolButton::clicked, this, &MoviePlayer::StopButton_Click);
    // Every slider action (drag, click on the groove, keys) seeks to where the handle is.
    connect(m_position, &QSlider::actionTriggered, this,
            [this] { m_player->setPosition(m_position->sliderPosition()); });
    connect(m_volume, &QSlider::valueChanged, this, [this](int v) { m_audio->setVolume(float(v) / 100.0f); });

    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, &MoviePlayer::onMediaStatus);
    connect(m_player, &QMediaPlayer::errorOccurred, this, &MoviePlayer::onError);
    connect(m_player, &QMediaPlayer::durationChanged, this, [this](qint64 ms) {
        m_position->setRange(0, int(qMin<qint64>(ms, INT_MAX)));
        showTime();
    });
    connect(m_player, &QMediaPlayer::positionChanged, this, [this](qint64 ms) {
        if (!m_position->isSliderDown()) m_position->setValue(int(qMin<qint64>(ms, INT_MAX)));
        checkPictureAt(ms, false);
        showTime();
    });
    connect(m_player, &QMediaPlayer::playbackStateChanged, this, &MoviePlayer::showState);
    connect(m_video->videoSink(), &QVideoSink::videoFrameChanged, this, &MoviePlayer::onVideoFrame);
    showState();
}

MoviePlayer::~MoviePlayer() {
    // Stop the pipeline before the video widget it draws into goes.
    m_player->stop();
}

void MoviePlayer::setFileName(const QString& path) {
    m_fileName = path;
    m_errorText.clear();
    m_videoSize = QSize();
    m_loaded = m_opened = m_pictureSeen = false;
    m_noPictureText.clear();
    m_error->hide();
    m_video->setStreamFormat(MovieFrameConverter::probeStreamFormat(path));
    m_video->show();
    m_player->setSource(QUrl::fromLocalFile(path));
}

int MoviePlayer::controlBarHeight() const {
    return m_bar->sizeHint().height();
}

void MoviePlayer::PlayButton_Click() {
    if (m_player->playbackState() == QMediaPlayer::PlayingState)
        m_player->pause();
    else
        m_player->play();
}

void MoviePlayer::StopButton_Click() {
    // Paused at the start rather than stopped: the first picture stays in view.
    m_player->pause();
    m_player->setPosition(0);
}

QString MoviePlayer::timeText(qint64 ms) {
    const qint64 s = qMax<qint64>(ms, 0) / 1000;
    const auto two = [](qint64 n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    if (s < 3600) return QString::number(s / 60) + QLatin1Char(':') + two(s % 60);
    return QString::number(s / 3600) + QLatin1Char(':') + two(s / 60 % 60) + QLatin1Char(':') + two(s % 60);
}

void MoviePlayer::onMediaStatus(QMediaPlayer::MediaStatus status) {
    if (!m_errorText.isEmpty()) return;
    if (status == QMediaPlayer::InvalidMedia) {
        onError(m_player->error(), m_player->errorString());
        return;
    }
    if (status == QMediaPlayer::EndOfMedia && !m_opened) {
        // Read to the end without one picture: the player cannot decode this movie.
        onError(QMediaPlayer::FormatError, tr("No picture of this movie could be decoded."));
        return;
    }
    if (status == QMediaPlayer::EndOfMedia) checkPictureAt(m_player->position(), true);
    if (status != QMediaPlayer::LoadedMedia || m_loaded) return;
    m_loaded = true;
    if (!m_player->hasVideo()) {
        completeOpen(QSize(0, 0));
        return;
    }
    const QSize size = m_player->metaData().value(QMediaMetaData::Resolution).toSize();
    if (size.isValid() && !size.isEmpty()) completeOpen(size);
    // Paused on the first picture; without the size in the file's header, that
    // picture tells it.
    m_player->pause();
}

void MoviePlayer::onVideoFrame(const QVideoFrame& frame) {
    if (!frame.isValid() || frame.size().isEmpty()) return;
    if (!m_pictureSeen) {
        m_pictureSeen = true;
        if (!m_noPictureText.isEmpty() && m_errorText.isEmpty()) { // it came after all
            m_noPictureText.clear();
            m_error->hide();
            m_video->show();
        }
    }
    if (!m_opened && m_loaded) completeOpen(frame.size());
}

void MoviePlayer::checkPictureAt(qint64 ms, bool atEnd) {
    // A second of playing: past the first frames at any rate a camera records, and
    // long enough for a decoder on a busy machine to have handed one over.
    constexpr qint64 kFirstFramesMs = 1000;
    if (m_pictureSeen || !m_opened || !m_errorText.isEmpty() || !m_noPictureText.isEmpty()) return;
    if (!m_player->hasVideo() || (!atEnd && ms < kFirstFramesMs)) return;
    // Qt's player opens some movies that FFmpeg decodes (AMV, JPEG-LS) and then hands
    // over no picture of them: say so rather than stay black.
    m_noPictureText = tr("No picture of this movie could be shown: the player decodes none of its frames.");
    m_video->hide();
    m_error->setText(tr("%1\n%2").arg(m_fileName, m_noPictureText));
    m_error->show();
}

void MoviePlayer::completeOpen(QSize size) {
    if (m_opened || !m_errorText.isEmpty()) return;
    m_opened = true;
    m_videoSize = size;
    emit OpenComplete();
}

void MoviePlayer::onError(QMediaPlayer::Error error, const QString& text) {
    // The first error says why; what follows it is the pipeline falling over.
    if (!m_errorText.isEmpty() || (error == QMediaPlayer::NoError && text.isEmpty())) return;
    m_errorText = text.isEmpty() ? tr("The file cannot be played.") : text;
    m_player->stop();
    m_video->hide();
    m_error->setText(tr("Cannot play %1:\n%2").arg(m_fileName, m_errorText));
    m_error->show();
    showState();
    emit OpenFailed(m_errorText);
}

void MoviePlayer::showTime() {
    m_time->setText(timeText(m_player->position()) + QStringLiteral(" / ") + timeText(m_player->duration()));
}

void MoviePlayer::showState() {
    const bool playing = m_player->playbackState() == QMediaPlayer::PlayingState;
    m_play->setIcon(ToolIcons::standard(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    m_play->setToolTip(playing ? tr("Pause") : tr("Play"));
    const bool usable = m_errorText.isEmpty() && !m_fileName.isEmpty();
    for (QWidget* w :
         {static_cast<QWidget*>(m_play), static_cast<QWidget*>(m_stop), static_cast<QWidget*>(m_position)})
        w->setEnabled(usable);
}
