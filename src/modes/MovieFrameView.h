#pragma once

#include <QImage>
#include <QWidget>
#include <memory>

class MovieFrameConverter;
class QVideoFrame;
class QVideoSink;

// The movie viewer's picture: takes the player's frames from its own video sink,
// converts each to RGB (MovieFrameConverter) and draws it with its aspect ratio kept,
// on black.
//
// Qt 6.4's own frame conversion (QVideoFrame::toImage, used by QVideoWidget) writes
// past its picture for some planar formats (4:2:2 planar from HuffYUV among them),
// which corrupts the heap; this view never calls it. And Qt 6.4's FFmpeg backend hands
// a decoder's picture in a format it has no name for (BGR24, RGB555, 4:1:1, 10-bit
// 4:2:2...) under a stand-in name (RGBA8888, YUV420P, P016) without converting it:
// the view is told the stream's real format (`setStreamFormat`) and reads such a
// frame as what it is; a frame it cannot read safely is not drawn, and says so.
class MovieFrameView : public QWidget {
    Q_OBJECT
public:
    explicit MovieFrameView(QWidget* parent = nullptr);
    ~MovieFrameView() override;

    QVideoSink* videoSink() const { return m_sink; }
    // The pixel format the movie's decoder gives, as FFmpeg names it ("yuv422p"), empty
    // when unknown; see MovieFrameConverter::probeStreamFormat. Clears the picture.
    void setStreamFormat(const QString& format);
    // Why the last frame was not drawn (empty when it was).
    QString problem() const { return m_problem; }
    // The last frame shown, at the movie's size (null before the first).
    QImage picture() const { return m_picture; }
    // Converts one frame; a null image for a frame this view cannot convert.
    QImage convert(const QVideoFrame& frame);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void onFrame(const QVideoFrame& frame);

    QVideoSink* m_sink;
    std::unique_ptr<MovieFrameConverter> m_converter;
    QString m_streamFormat;
    QString m_problem;
    QImage m_picture; // over its own buffer, with room after the pixels
};
