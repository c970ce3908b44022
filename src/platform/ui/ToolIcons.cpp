#include "ToolIcons.h"

#include <QApplication>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

void glyph(QPainter& p, const QString& text, const QColor& bg) {
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(2, 2, 20, 20), 4, 4);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(text.size() > 1 ? 9 : 13);
    p.setFont(f);
    p.drawText(QRectF(2, 2, 20, 20), Qt::AlignCenter, text);
}

void film(QPainter& p, const QColor& c) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(c);
    p.drawRect(QRectF(3, 5, 18, 14));
    p.setBrush(Qt::white);
    for (int i = 0; i < 4; ++i) {
        p.drawRect(QRectF(5 + i * 4.3, 6, 2, 2));
        p.drawRect(QRectF(5 + i * 4.3, 16, 2, 2));
    }
}

void camera(QPainter& p, const QColor& c) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(c);
    p.drawRoundedRect(QRectF(3, 8, 18, 12), 2, 2);
    p.drawRect(QRectF(8, 5, 7, 3));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(12, 14), 4, 4);
}

void paintIcon(QPainter& p, const QString& key) {
    p.setRenderHint(QPainter::Antialiasing);
    if (key == QLatin1String("record")) {
        p.setPen(QPen(Qt::darkRed, 1));
        p.setBrush(QColor(220, 30, 30));
        p.drawEllipse(QPointF(12, 12), 8, 8);
    } else if (key == QLatin1String("stop")) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 40, 40));
        p.drawRect(QRectF(5, 5, 14, 14));
    } else if (key == QLatin1String("autostart") || key == QLatin1String("time")) {
        p.setPen(QPen(Qt::black, 1.5));
        p.setBrush(key == QLatin1String("time") ? QColor(255, 240, 200) : QColor(220, 240, 255));
        p.drawEllipse(QPointF(12, 12), 9, 9);
        p.drawLine(QPointF(12, 12), QPointF(12, 6));
        p.drawLine(QPointF(12, 12), QPointF(16, 14));
    } else if (key == QLatin1String("open")) {
        p.setPen(QPen(QColor(120, 90, 20), 1));
        p.setBrush(QColor(240, 200, 80));
        QPainterPath path;
        path.moveTo(3, 7);
        path.lineTo(9, 7);
        path.lineTo(11, 9);
        path.lineTo(21, 9);
        path.lineTo(21, 19);
        path.lineTo(3, 19);
        path.closeSubpath();
        p.drawPath(path);
    } else if (key == QLatin1String("save") || key == QLatin1String("filename")) {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(60, 90, 170));
        p.drawRect(QRectF(4, 4, 16, 16));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7, 4, 10, 6));
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRectF(7, 13, 10, 7));
    } else if (key == QLatin1String("movie") || key == QLatin1String("avifile")) {
        film(p, key == QLatin1String("movie") ? QColor(90, 90, 90) : QColor(60, 110, 60));
    } else if (key == QLatin1String("image")) {
        camera(p, QColor(150, 150, 160));
    } else if (key == QLatin1String("multiple")) {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(180, 200, 230));
        p.drawRect(QRectF(8, 3, 13, 10));
        p.drawRect(QRectF(5, 7, 13, 10));
        p.setBrush(QColor(120, 160, 220));
        p.drawRect(QRectF(2, 11, 13, 10));
    } else if (key == QLatin1String("webcam")) {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(230, 230, 230));
        p.drawEllipse(QPointF(12, 10), 8, 8);
        p.setBrush(QColor(40, 40, 80));
        p.drawEllipse(QPointF(12, 10), 3.5, 3.5);
        p.drawRect(QRectF(7, 19, 10, 2));
    } else if (key == QLatin1String("viewer")) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 140, 60));
        QPolygonF tri;
        tri << QPointF(7, 4) << QPointF(20, 12) << QPointF(7, 20);
        p.drawPolygon(tri);
    } else if (key == QLatin1String("about") || key == QLatin1String("vidinfo")) {
        glyph(p, QStringLiteral("i"), QColor(40, 100, 200));
    } else if (key == QLatin1String("date")) {
        glyph(p, QStringLiteral("31"), QColor(200, 60, 60));
    } else if (key == QLatin1String("text")) {
        glyph(p, QStringLiteral("T"), QColor(90, 90, 90));
    } else if (key.endsWith(QLatin1String("color"))) {
        const QColor c = key.startsWith(QLatin1String("time"))   ? QColor(230, 160, 30)
                         : key.startsWith(QLatin1String("date")) ? QColor(200, 60, 60)
                                                                 : QColor(60, 60, 200);
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(c);
        p.drawEllipse(QPointF(12, 12), 9, 9);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(9, 9), 2, 2);
        p.drawEllipse(QPointF(15, 9), 2, 2);
        p.drawEllipse(QPointF(9, 15), 2, 2);
    } else if (key == QLatin1String("audio")) {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(60, 60, 60));
        QPolygonF spk;
        spk << QPointF(4, 9) << QPointF(8, 9) << QPointF(13, 4) << QPointF(13, 20) << QPointF(8, 15)
            << QPointF(4, 15);
        p.drawPolygon(spk);
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(12, 7, 6, 10), -60 * 16, 120 * 16);
        p.drawArc(QRectF(12, 4, 10, 16), -60 * 16, 120 * 16);
    } else if (key == QLatin1String("writeinfo")) {
        glyph(p, QStringLiteral("W"), QColor(120, 60, 160));
    } else if (key == QLatin1String("otherinfo")) {
        glyph(p, QStringLiteral("©"), QColor(120, 60, 160));
    } else if (key == QLatin1String("compression")) {
        glyph(p, QStringLiteral("Z"), QColor(30, 120, 120));
    } else if (key == QLatin1String("vidsource")) {
        camera(p, QColor(200, 170, 90));
    } else if (key == QLatin1String("viddisplay")) {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(80, 140, 200));
        p.drawRect(QRectF(3, 4, 18, 13));
        p.drawRect(QRectF(9, 17, 6, 3));
    } else if (key == QLatin1String("vidformat")) {
        glyph(p, QStringLiteral("Fmt"), QColor(160, 110, 30));
    } else if (key == QLatin1String("vidoverlay")) {
        glyph(p, QStringLiteral("Ov"), QColor(90, 90, 150));
    } else if (key == QLatin1String("vidpreview")) {
        glyph(p, QStringLiteral("Pv"), QColor(60, 130, 90));
    } else if (key == QLatin1String("print")) {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7, 3, 10, 7));
        p.setBrush(QColor(120, 120, 130));
        p.drawRoundedRect(QRectF(3, 9, 18, 8), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7, 14, 10, 7));
    } else if (key == QLatin1String("clipboard")) {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(190, 140, 80));
        p.drawRoundedRect(QRectF(5, 4, 14, 18), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7, 7, 10, 13));
        p.setBrush(QColor(120, 120, 120));
        p.drawRect(QRectF(9, 2, 6, 4));
    } else if (key == QLatin1String("vidsettings")) {
        glyph(p, QStringLiteral("Adv"), QColor(110, 110, 110));
    } else {
        glyph(p, key.left(2), QColor(110, 110, 110));
    }
}

} // namespace

namespace ToolIcons {

QIcon icon(const QString& imageKey) {
    static QHash<QString, QIcon> cache;
    auto it = cache.find(imageKey);
    if (it != cache.end()) return *it;
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    {
        QPainter p(&pixmap);
        paintIcon(p, imageKey);
    }
    return *cache.insert(imageKey, QIcon(pixmap));
}

QIcon standard(QStyle::StandardPixmap which) {
    // Keyed by the style too: a style set later draws its own.
    static QHash<QPair<QString, int>, QIcon> cache;
    QStyle* style = QApplication::style();
    const QPair<QString, int> key(style->name(), int(which));
    auto it = cache.find(key);
    if (it != cache.end()) return *it;
    return *cache.insert(key, style->standardIcon(which));
}

} // namespace ToolIcons
