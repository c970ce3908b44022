#pragma once

#include <QMediaPlayer>
#include <QSize>
#include <QWidget>

class QAudioOutput;
class QLabel;
class QSlider;
class QToolButton;
class QVideoFrame;
class MovieFrameView;

// The movie viewer's player control: the picture, and below it a control bar with
// play/pause, stop, a position slider that seeks, the position and length as time,
// and the sound volume. It takes a file name, reports once that the file is open
// (OpenComplete, when the picture's size is known), and shows a file it cannot play
// as the player's error text in place of the picture. A newly opened movie waits on
// its first picture; playback starts with the play button. UI thread only.
class MoviePlayer : public QWidget {
    Q_OBJECT
public:
    explicit MoviePlayer(QWidget* parent = nullptr);
    ~MoviePlayer() override;

    // Opens `path`. OpenComplete or an error follows from the event loop.
    void setFileName(const QString& path);
    QString fileName() const { return m_fileName; }

    // The movie's own picture size in pixels once open (invalid before, empty for a
    // file with sound only).
    QSize videoSize() const { return m_videoSize; }
    // The control bar's height in pixels: the control is this much taller than its picture.
    int controlBarHeight() const;

    // The player's error text for a file that cannot be played, else empty.
    QString errorText() const { return m_errorText; }
    // Said in place of the picture when the player has played past the movie's first
    // frames (or to its end) without handing over one picture, else empty. The sound
    // and the controls go on; a picture that comes after all takes its place again.
    QString noPictureText() const { return m_noPictureText; }

    QMediaPlayer* player() const { return m_player; }
    MovieFrameView* view() const { return m_video; }
    QAudioOutput* audioOutput() const { return m_audio; }

    // Play when paused or stopped, pause when playing.
    void PlayButton_Click();
    // Back to the start, showing the first picture.
    void StopButton_Click();

    // "m:ss", or "h:mm:ss" from one hour on; negative times read as 0.
    static QString timeText(qint64 ms);

signals:
    void OpenComplete();
    // The file cannot be played; the text is also shown in the control.
    void OpenFailed(const QString& errorText);

private:
    void onMediaStatus(QMediaPlayer::MediaStatus status);
    void onVideoFrame(const QVideoFrame& frame);
    void onError(QMediaPlayer::Error error, const QString& text);
    void completeOpen(QSize size);
    // Says that no picture could be shown, once `ms` is past the first frames.
    void checkPictureAt(qint64 ms, bool atEnd);
    void showTime();
    void showState();

    QMediaPlayer* m_player;
    QAudioOutput* m_audio;
    MovieFrameView* m_video;
    QLabel* m_error;
    QWidget* m_bar;
    QToolButton* m_play;
    QToolButton* m_stop;
    QSlider* m_position;
    QLabel* m_time;
    QSlider* m_volume;

    QString m_fileName;
    QString m_errorText;
    QString m_noPictureText;
    QSize m_videoSize;
    bool m_pictureSeen = false; // the player has handed over a picture
    bool m_loaded = false;      // the player has read the file
    bool m_opened = false;      // OpenComplete has been sent
};
