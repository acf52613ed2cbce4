#pragma once

#include <QFrame>

// A colour panel of the Preferences page: a framed swatch that shows its colour with its
// caption in a readable shade, and reports a mouse click.
class ColorPanel : public QFrame {
    Q_OBJECT
public:
    ColorPanel(const QString &caption, QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(const QColor &color);
    QSize sizeHint() const override;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QString m_caption;
    QColor m_color = Qt::white;
};
