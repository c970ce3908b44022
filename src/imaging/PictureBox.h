#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

// A picture box: a background picture with a persistent drawing layer over it.
// It takes the size of its picture. Drawing (Print) goes into the composed image
// while AutoRedraw is on; Cls brings the composed image back to the bare picture.
// Coordinates are pixels, X to the right and Y down from the top-left corner.
// UI thread only.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    // The background picture; setting it resizes the box to the picture, drops
    // everything drawn and puts the print position at (0, 0). A null image
    // empties the box.
    void setPicture(const QImage& picture);
    const QImage& picture() const { return m_picture; }
    bool hasPicture() const { return !m_picture.isNull(); }

    // The composed image: the picture with everything drawn over it. This is what
    // is saved, printed and copied.
    const QImage& image() const { return m_image; }

    // Makes the composed image the background picture, so that what was drawn
    // becomes part of the picture's pixels (Cls no longer removes it).
    void makeImagePermanent();

    // Erases what was drawn over the picture and puts the print position at (0, 0).
    void Cls();

    bool AutoRedraw() const { return m_autoRedraw; }
    void setAutoRedraw(bool on) { m_autoRedraw = on; }

    float CurrentX = 0;
    float CurrentY = 0;
    QColor ForeColor = Qt::black;

    // Width and height of `text` in the box's font, in pixels.
    float TextWidth(const QString& text) const;
    float TextHeight(const QString& text) const;

    // Draws `text` at the print position in ForeColor with no background box, then
    // moves the print position to the start of the next line. Without AutoRedraw
    // nothing is kept (and nothing is drawn), only the position moves.
    void Print(const QString& text);

    // The size of the picture (0 x 0 without one).
    int ScaleWidth() const { return m_image.width(); }
    int ScaleHeight() const { return m_image.height(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
    QImage m_image;
    bool m_autoRedraw = false;
};
