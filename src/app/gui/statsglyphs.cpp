#include "app/gui/statsglyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

QPixmap bulbPixmap(bool lit, int size, qreal devicePixelRatio) {
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 20.0, size / 20.0); // drawn on a 20 x 20 grid

    // Rays around a lit bulb.
    if (lit) {
        p.setPen(QPen(QColor(0xF5, 0xA6, 0x23), 1.4, Qt::SolidLine, Qt::RoundCap));
        const QPointF c(10, 7.5);
        for (int i = -2; i <= 2; ++i) {
            const double a = (i * 38.0 - 90.0) * 3.14159265 / 180.0;
            p.drawLine(c + QPointF(7.2 * std::cos(a), 7.2 * std::sin(a)),
                       c + QPointF(9.2 * std::cos(a), 9.2 * std::sin(a)));
        }
    }
    // The glass: a round top narrowing into the neck.
    QPainterPath glass;
    glass.moveTo(7.6, 14.0);
    glass.cubicTo(7.6, 11.8, 4.6, 10.6, 4.6, 7.4);
    glass.cubicTo(4.6, 4.3, 7.0, 2.2, 10.0, 2.2);
    glass.cubicTo(13.0, 2.2, 15.4, 4.3, 15.4, 7.4);
    glass.cubicTo(15.4, 10.6, 12.4, 11.8, 12.4, 14.0);
    glass.closeSubpath();
    QRadialGradient fill(QPointF(8.6, 5.8), 7.5);
    if (lit) {
        fill.setColorAt(0, QColor(0xFF, 0xFC, 0xE0));
        fill.setColorAt(0.55, QColor(0xFF, 0xE0, 0x4D));
        fill.setColorAt(1, QColor(0xF2, 0xB1, 0x1B));
    } else {
        fill.setColorAt(0, QColor(0xE8, 0xE8, 0xE8));
        fill.setColorAt(1, QColor(0x9A, 0x9A, 0x9A));
    }
    p.setBrush(fill);
    p.setPen(QPen(lit ? QColor(0xB0, 0x78, 0x00) : QColor(0x60, 0x60, 0x60), 0.9));
    p.drawPath(glass);
    // The filament.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(lit ? QColor(0xC0, 0x50, 0x00) : QColor(0x70, 0x70, 0x70), 0.8));
    QPainterPath filament;
    filament.moveTo(8.6, 13.6);
    filament.lineTo(8.6, 9.2);
    filament.lineTo(9.3, 8.2);
    filament.lineTo(10.0, 9.2);
    filament.lineTo(10.7, 8.2);
    filament.lineTo(11.4, 9.2);
    filament.lineTo(11.4, 13.6);
    p.drawPath(filament);
    // The screw base.
    p.setPen(QPen(QColor(0x50, 0x50, 0x50), 0.8));
    p.setBrush(QColor(0xA8, 0xA8, 0xB0));
    p.drawRoundedRect(QRectF(7.4, 14.0, 5.2, 3.4), 0.8, 0.8);
    p.drawLine(QPointF(7.6, 15.7), QPointF(12.4, 15.7));
    p.setBrush(QColor(0x50, 0x50, 0x50));
    p.drawRoundedRect(QRectF(8.6, 17.3, 2.8, 1.2), 0.5, 0.5);
    return pixmap;
}

QIcon bulbIcon(bool lit) {
    QIcon icon;
    icon.addPixmap(bulbPixmap(lit, 20, 1.0));
    icon.addPixmap(bulbPixmap(lit, 20, 2.0));
    return icon;
}
