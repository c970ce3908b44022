#include "PictureBox.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    // The stamps' font: fonts-dejavu-core ships with the program. A pixel size keeps
    // the stamps the same on every screen and in every saved file.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    setFont(font);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(0, 0);
}

void PictureBox::setPicture(const QImage& picture) {
    // Palette and one-bit pictures cannot be drawn on; everything else is kept as it
    // comes, so that a frame is not converted twice on its way to a file.
    const bool paletted = picture.format() == QImage::Format_Indexed8 ||
                          picture.format() == QImage::Format_Mono ||
                          picture.format() == QImage::Format_MonoLSB;
    m_picture = paletted ? picture.convertToFormat(QImage::Format_RGB32) : picture;
    m_image = m_picture; // shares the pixels until something is drawn
    CurrentX = 0;
    CurrentY = 0;
    resize(picture.size());
    update();
}

void PictureBox::makeImagePermanent() {
    m_picture = m_image;
}

void PictureBox::Cls() {
    m_image = m_picture;
    CurrentX = 0;
    CurrentY = 0;
    update();
}

float PictureBox::TextWidth(const QString& text) const {
    return QFontMetricsF(font()).horizontalAdvance(text);
}

float PictureBox::TextHeight(const QString& text) const {
    // One line of the font, whatever the letters: the stamps are stacked by it.
    Q_UNUSED(text);
    return QFontMetricsF(font()).height();
}

void PictureBox::Print(const QString& text) {
    if (m_autoRedraw && !m_image.isNull() && !text.isEmpty()) {
        QPainter painter(&m_image);
        painter.setFont(font());
        painter.setPen(ForeColor);
        const QFontMetricsF metrics(font());
        // The print position is the top-left corner of the text's line.
        painter.drawText(QPointF(CurrentX, CurrentY + metrics.ascent()), text);
        update();
    }
    CurrentY += TextHeight(text);
    CurrentX = 0;
}

void PictureBox::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().window());
    if (!m_image.isNull()) painter.drawImage(event->rect().topLeft(), m_image, event->rect());
}
