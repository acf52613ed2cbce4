#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPointF>
#include <QStaticText>
#include <QWidget>
#include <array>
#include <vector>

// The colours of the chart's parts.
struct ChartColors {
    std::array<QColor, 7> series;   // a day's line
    std::array<QColor, 7> linePens; // the outline of a day's line
    QColor background{Qt::black};
    QColor text{Qt::white}; // title and axis labels
    QColor bottomGrid, bottomLine, bottomTicks;
    QColor leftGrid, leftLine, leftTicks;
    QColor backWall, leftWall, bottomWall;
};

// "Average Players per Hour": a 3D line chart of seven day series of 24 hourly points, one
// behind the other in depth, inside a box of three walls, with a value axis on the left, an
// hour axis at the bottom and an unlabelled depth axis. Painted by QPainter, so it renders
// offscreen as well as on screen.
class ActivityChart : public QWidget {
    Q_OBJECT
public:
    static constexpr int Days = 7;
    static constexpr int Hours = 24;

    explicit ActivityChart(QWidget *parent = nullptr);

    // Every point of every day 0.
    void clearPoints();
    void setPoint(int day, int hour, double value);
    double point(int day, int hour) const;
    // The point markers are shown on this day's series only (-1: on none).
    void setMarkedDay(int day);
    int markedDay() const { return m_markedDay; }

    const ChartColors &colors() const { return m_colors; }
    // The colours of the chart's parts; the chart repaints.
    void setColors(const ChartColors &colors);

    // Turn about the vertical axis and tilt about the horizontal one, in degrees (-90..90;
    // negative rotation shows the left wall, negative elevation the floor), and the size in
    // percent of the size that fits.
    void setRotation(int degrees);
    void setElevation(int degrees);
    void setZoom(int percent);
    int rotation() const { return m_rotation; }
    int elevation() const { return m_elevation; }
    int zoom() const { return m_zoom; }

    // Draws the whole chart into the rectangle (the paint event draws into the widget).
    void paintChart(QPainter &painter, const QRect &target);

    QSize sizeHint() const override { return {520, 360}; }
    QSize minimumSizeHint() const override { return {240, 160}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    struct Label {
        QStaticText text;
        QSizeF size;
    };
    // The value axis: 0 to top in steps; recomputed when the data change.
    void updateScale();
    // Fonts, margins and the hour labels; recomputed when the font changes.
    void updateTextLayout();
    // World point (x, y, z in the box, centred on 0) to widget coordinates.
    QPointF project(double x, double y, double z) const;
    // The view transformation and the scale that fits the box into the plot rectangle.
    void updateView(const QRectF &plot);
    Label makeLabel(const QString &text, const QFont &font) const;

    std::array<std::array<double, Hours>, Days> m_values{};
    int m_markedDay = -1;
    ChartColors m_colors;
    int m_rotation = -15;
    int m_elevation = -15;
    int m_zoom = 90;

    // Cached for the data: the value scale, its labels and the shading of each segment.
    bool m_scaleDirty = true;
    double m_top = 1;
    double m_step = 0.2;
    std::vector<Label> m_valueLabels;
    std::array<std::array<float, Hours - 1>, Days> m_shade{};
    // Cached for the font.
    bool m_textDirty = true;
    QFont m_titleFont;
    Label m_title;
    std::array<Label, Hours> m_hourLabels;
    qreal m_labelHeight = 0;
    qreal m_charWidth = 0;
    // Cached for the view: the rotation terms and the projection's scale and offset.
    QRectF m_viewPlot;
    int m_viewRotation = 1000;
    int m_viewElevation = 1000;
    int m_viewZoom = 0;
    double m_cosR = 1, m_sinR = 0, m_cosE = 1, m_sinE = 0;
    double m_scale = 1;
    QPointF m_center;
};

// A colour panel under the chart: filled with its colour, its caption in a colour of its own;
// a click edits the colour.
class ChartColorPanel : public QAbstractButton {
    Q_OBJECT
public:
    ChartColorPanel(const QString &name, const QString &caption, QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(const QColor &color);
    QColor captionColor() const { return m_captionColor; }
    void setCaptionColor(const QColor &color);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
    QColor m_captionColor;
};
