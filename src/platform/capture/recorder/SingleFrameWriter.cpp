#include "SingleFrameWriter.h"

#include <QFile>

extern "C" {
#include <libavutil/rational.h>
}

bool SingleFrameWriter::open(const RecorderSettings& settings, QSize frameSize) {
    if (m_writer.isOpen()) close();
    m_settings = settings;
    m_size = frameSize;
    m_next = 0;
    m_error.clear();
    if (m_size.isEmpty()) {
        m_error = QStringLiteral("No video format: the driver gives no frame size.");
        return false;
    }
    m_mjpeg = settings.encoder.isEmpty() || settings.encoder == QLatin1String("mjpeg");
    const AVRational rate = AviWriter::frameRateFor(settings.usPerFrame);
    m_encoder = FfmpegVideoEncoder();
    if (!m_mjpeg &&
        !m_encoder.open(settings.encoder, m_size.width(), m_size.height(), rate, settings.quality)) {
        m_error = m_encoder.errorText();
        return false;
    }
    if (!m_writer.open(settings.filePath, m_size.width(), m_size.height(), rate,
                       m_mjpeg ? nullptr : m_encoder.context(), std::nullopt)) {
        m_error = m_writer.errorText();
        QFile::remove(settings.filePath);
        return false;
    }
    return m_writer.flush();
}

bool SingleFrameWriter::append(const VideoFrame& frame) {
    if (!m_writer.isOpen() || !frame.isValid()) return false;
    // The camera's own JPEG is stored as it is, never decoded.
    const bool asSent = m_mjpeg && !frame.mjpeg().isEmpty() && frame.size() == m_size;
    QImage image;
    if (!asSent) {
        image = frame.image();
        if (image.isNull()) {
            m_error = QStringLiteral("The camera's picture could not be decoded.");
            return false;
        }
        if (image.size() != m_size)
            image = image.scaled(m_size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    bool ok;
    if (m_mjpeg) {
        const QByteArray jpeg = asSent ? frame.mjpeg() : m_jpeg.encode(image, m_settings.quality);
        ok = !jpeg.isEmpty() && m_writer.writeVideo(jpeg, true);
    } else {
        ok =
            m_encoder.encode(image, m_next, [this](AVPacket* pkt) { return m_writer.writeVideoPacket(pkt); });
    }
    ok = ok && m_writer.flush();
    if (!ok) {
        m_error = m_writer.errorText().isEmpty() ? QStringLiteral("The video compressor failed.")
                                                 : m_writer.errorText();
        return false;
    }
    ++m_next;
    return true;
}

bool SingleFrameWriter::close() {
    if (!m_writer.isOpen()) return false;
    if (!m_mjpeg) m_encoder.flush([this](AVPacket* pkt) { return m_writer.writeVideoPacket(pkt); });
    const bool ok = m_writer.finish();
    if (!ok) m_error = m_writer.errorText();
    return ok;
}
