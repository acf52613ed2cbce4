#include "app/gui/serverglyphs.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace serverglyphs {

namespace {

// An icon painted on demand at the size and scale asked for.
class PaintedIcon : public QIconEngine {
public:
    using Painter = std::function<void(QPainter &, const QRectF &)>;
    explicit PaintedIcon(Painter paint) : m_paint(std::move(paint)) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        if (mode == QIcon::Disabled) painter->setOpacity(0.4);
        const qreal side = qMin(rect.width(), rect.height());
        m_paint(*painter, QRectF(rect.x() + (rect.width() - side) / 2,
                                 rect.y() + (rect.height() - side) / 2, side, side));
        painter->restore();
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        QPixmap pixmap(size * scale);
        pixmap.fill(Qt::transparent);
        pixmap.setDevicePixelRatio(scale);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return pixmap;
    }
    QIconEngine *clone() const override { return new PaintedIcon(m_paint); }

private:
    Painter m_paint;
};

} // namespace

void paintFlag(QPainter &painter, const QRectF &r) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal u = r.width() / 16.0;
    // The pole.
    painter.fillRect(QRectF(r.x() + 2.5 * u, r.y() + 1.5 * u, 1.5 * u, 13.5 * u),
                     QColor(90, 70, 50));
    // The cloth, waving.
    QPainterPath cloth;
    cloth.moveTo(r.x() + 4 * u, r.y() + 2 * u);
    cloth.cubicTo(r.x() + 8 * u, r.y() + 0.5 * u, r.x() + 10 * u, r.y() + 3.5 * u, r.x() + 14.5 * u,
                  r.y() + 2 * u);
    cloth.lineTo(r.x() + 14.5 * u, r.y() + 8.5 * u);
    cloth.cubicTo(r.x() + 10 * u, r.y() + 10 * u, r.x() + 8 * u, r.y() + 7 * u, r.x() + 4 * u,
                  r.y() + 8.5 * u);
    cloth.closeSubpath();
    painter.setPen(QPen(QColor(120, 20, 20), 0.8 * u));
    painter.setBrush(QColor(220, 40, 40));
    painter.drawPath(cloth);
    painter.restore();
}

QIcon bulb(bool on) {
    return QIcon(new PaintedIcon([on](QPainter &p, const QRectF &r) {
        const qreal u = r.width() / 16.0;
        const QRectF glass(r.x() + 3 * u, r.y() + 0.5 * u, 10 * u, 10 * u);
        if (on) {
            QRadialGradient glow(glass.center(), glass.width() * 0.6);
            glow.setColorAt(0, QColor(255, 255, 210));
            glow.setColorAt(1, QColor(255, 205, 40));
            p.setBrush(glow);
            p.setPen(QPen(QColor(190, 140, 0), 0.8 * u));
        } else {
            p.setBrush(QColor(215, 215, 215));
            p.setPen(QPen(QColor(120, 120, 120), 0.8 * u));
        }
        p.drawEllipse(glass);
        // Neck and screw base.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(140, 140, 140));
        p.drawRect(QRectF(r.x() + 5.5 * u, r.y() + 10 * u, 5 * u, 2 * u));
        p.setBrush(QColor(100, 100, 100));
        p.drawRect(QRectF(r.x() + 6 * u, r.y() + 12.5 * u, 4 * u, 1.5 * u));
        p.drawRect(QRectF(r.x() + 6.5 * u, r.y() + 14.5 * u, 3 * u, 1 * u));
    }));
}

} // namespace serverglyphs
