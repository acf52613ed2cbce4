#include "app/gui/colorpanel.h"

#include <QMouseEvent>
#include <QPainter>

ColorPanel::ColorPanel(const QString &caption, QWidget *parent)
    : QFrame(parent), m_caption(caption) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("Click to choose the colour of ") + caption);
}

void ColorPanel::setColor(const QColor &color) {
    m_color = color;
    update();
}

QSize ColorPanel::sizeHint() const {
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(m_caption) + 16, fm.height() + 10};
}

void ColorPanel::paintEvent(QPaintEvent *event) {
    {
        QPainter p(this);
        p.fillRect(contentsRect(), m_color);
        // Black on light colours, white on dark ones (perceived brightness).
        const int brightness =
            (m_color.red() * 299 + m_color.green() * 587 + m_color.blue() * 114) / 1000;
        p.setPen(brightness >= 128 ? Qt::black : Qt::white);
        p.drawText(contentsRect(), Qt::AlignCenter, m_caption);
    }
    QFrame::paintEvent(event);
}

void ColorPanel::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}
