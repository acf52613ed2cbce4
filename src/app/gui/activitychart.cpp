#include "app/gui/activitychart.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace {
// The box the chart is drawn in, in world units centred on 0: the hours run along x, the
// values up y, the days one behind the other along z (Sunday in front). Its depth is 30 % of
// its width.
constexpr double BoxWidth = 1.0;
constexpr double BoxHeight = 0.62;
constexpr double BoxDepth = 0.3 * BoxWidth;
// Distance of the eye from the box's centre: a mild perspective.
constexpr double Eye = 3.2;
// Part of a day's depth slot its line takes; the rest is the gap to the next day.
constexpr double LineDepth = 0.7;
constexpr qreal TickLength = 5;
constexpr qreal Pad = 8;
// Markers: white squares reaching this far from the point on each side.
constexpr qreal MarkerHalf = 2;

double hourX(int hour) {
    return -BoxWidth / 2 + BoxWidth * hour / (ActivityChart::Hours - 1);
}

// The front (part 0) or back (part 1) edge of a day's line.
double dayZ(int day, double part) {
    const double slot = BoxDepth / ActivityChart::Days;
    return -BoxDepth / 2 + slot * (day + 0.5 + (part - 0.5) * LineDepth);
}

// 1, 2, 2.5 or 5 times a power of ten: about five steps up to top.
double niceStep(double top) {
    const double raw = top / 5;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 2.5, 5.0})
        if (m * power >= raw) return m * power;
    return 10 * power;
}

int decimalsOf(double step) {
    int decimals = 0;
    while (decimals < 3 && std::abs(step * std::pow(10.0, decimals) -
                                    std::round(step * std::pow(10.0, decimals))) > 1e-9)
        ++decimals;
    return decimals;
}

QColor shaded(const QColor &c, float f) {
    return QColor::fromRgbF(c.redF() * f, c.greenF() * f, c.blueF() * f);
}

QPen cosmetic(const QColor &c, qreal width = 1) {
    QPen pen(c, width);
    pen.setCosmetic(true);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}
} // namespace

ActivityChart::ActivityChart(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("PlayersPerHour"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    for (int d = 0; d < Days; ++d) {
        m_colors.series[static_cast<size_t>(d)] = Qt::gray;
        m_colors.linePens[static_cast<size_t>(d)] = Qt::lightGray;
    }
    for (QColor *c : {&m_colors.bottomGrid, &m_colors.bottomLine, &m_colors.bottomTicks,
                      &m_colors.leftGrid, &m_colors.leftLine, &m_colors.leftTicks})
        *c = Qt::gray;
    m_colors.backWall = m_colors.leftWall = m_colors.bottomWall = Qt::darkGray;
}

void ActivityChart::clearPoints() {
    m_values = {};
    m_scaleDirty = true;
    update();
}

void ActivityChart::setPoint(int day, int hour, double value) {
    if (day < 0 || day >= Days || hour < 0 || hour >= Hours) return;
    // Averages are never negative; anything else is drawn at 0.
    if (!(value > 0)) value = 0;
    m_values[static_cast<size_t>(day)][static_cast<size_t>(hour)] = value;
    m_scaleDirty = true;
    update();
}

double ActivityChart::point(int day, int hour) const {
    if (day < 0 || day >= Days || hour < 0 || hour >= Hours) return 0;
    return m_values[static_cast<size_t>(day)][static_cast<size_t>(hour)];
}

void ActivityChart::setMarkedDay(int day) {
    m_markedDay = day >= 0 && day < Days ? day : -1;
    update();
}

void ActivityChart::setColors(const ChartColors &colors) {
    m_colors = colors;
    update();
}

void ActivityChart::setRotation(int degrees) {
    m_rotation = std::clamp(degrees, -90, 90);
    update();
}

void ActivityChart::setElevation(int degrees) {
    m_elevation = std::clamp(degrees, -90, 90);
    update();
}

void ActivityChart::setZoom(int percent) {
    m_zoom = std::clamp(percent, 10, 400);
    update();
}

void ActivityChart::changeEvent(QEvent *event) {
    if (event->type() == QEvent::FontChange) m_textDirty = true;
    QWidget::changeEvent(event);
}

ActivityChart::Label ActivityChart::makeLabel(const QString &text, const QFont &font) const {
    Label label;
    label.text.setText(text);
    label.text.setTextFormat(Qt::PlainText);
    label.text.setPerformanceHint(QStaticText::AggressiveCaching);
    label.text.prepare(QTransform(), font);
    label.size = label.text.size();
    return label;
}

void ActivityChart::updateTextLayout() {
    m_titleFont = font();
    m_titleFont.setBold(true);
    m_titleFont.setPointSizeF(font().pointSizeF() * 1.15);
    m_title = makeLabel(QStringLiteral("Average Players per Hour"), m_titleFont);
    for (int h = 0; h < Hours; ++h)
        m_hourLabels[static_cast<size_t>(h)] = makeLabel(QString::number(h), font());
    const QFontMetricsF metrics(font());
    m_labelHeight = metrics.height();
    m_charWidth = metrics.horizontalAdvance(QLatin1Char('0'));
    m_textDirty = false;
    m_scaleDirty = true;
}

void ActivityChart::updateScale() {
    double high = 0;
    for (const auto &day : m_values)
        for (const double v : day)
            high = std::max(high, v);
    // An empty chart still shows a scale of one player.
    high = std::max(high, 1.0);
    m_step = niceStep(high);
    m_top = std::ceil(high / m_step - 1e-9) * m_step;
    const int decimals = decimalsOf(m_step);
    m_valueLabels.clear();
    for (int i = 0; i * m_step <= m_top + 1e-9; ++i)
        m_valueLabels.push_back(makeLabel(QString::number(i * m_step, 'f', decimals), font()));

    // Segments are lit from the upper left front; a segment's shade follows its slope.
    const double lx = -0.35, ly = 0.85, lz = -0.4;
    const double ll = std::sqrt(lx * lx + ly * ly + lz * lz);
    const double dx = BoxWidth / (Hours - 1);
    for (size_t d = 0; d < Days; ++d) {
        for (size_t h = 0; h + 1 < Hours; ++h) {
            const double dy = (m_values[d][h + 1] - m_values[d][h]) / m_top * BoxHeight;
            const double len = std::sqrt(dx * dx + dy * dy);
            const double light = (-dy * lx + dx * ly) / (len * ll);
            m_shade[d][h] = static_cast<float>(0.55 + 0.45 * std::max(0.0, light));
        }
    }
    m_scaleDirty = false;
}

QPointF ActivityChart::project(double x, double y, double z) const {
    const double x1 = x * m_cosR - z * m_sinR;
    const double z1 = x * m_sinR + z * m_cosR;
    const double y2 = y * m_cosE - z1 * m_sinE;
    const double z2 = y * m_sinE + z1 * m_cosE;
    const double f = Eye / (Eye + z2) * m_scale;
    return {m_center.x() + x1 * f, m_center.y() - y2 * f};
}

void ActivityChart::updateView(const QRectF &plot) {
    if (plot == m_viewPlot && m_rotation == m_viewRotation && m_elevation == m_viewElevation &&
        m_zoom == m_viewZoom)
        return;
    m_viewPlot = plot;
    m_viewRotation = m_rotation;
    m_viewElevation = m_elevation;
    m_viewZoom = m_zoom;
    const double r = m_rotation * std::numbers::pi / 180;
    const double e = m_elevation * std::numbers::pi / 180;
    m_cosR = std::cos(r);
    m_sinR = std::sin(r);
    m_cosE = std::cos(e);
    m_sinE = std::sin(e);
    // The box's outline at scale 1 around 0, then the scale that fits it into the plot. Seen
    // edge on, the box would blow up: never larger than the straight front view fits.
    m_scale = 1;
    m_center = {};
    double left = 1e9, right = -1e9, top = -1e9, bottom = 1e9;
    for (const double x : {-BoxWidth / 2, BoxWidth / 2})
        for (const double y : {-BoxHeight / 2, BoxHeight / 2})
            for (const double z : {-BoxDepth / 2, BoxDepth / 2}) {
                const QPointF p = project(x, y, z);
                left = std::min(left, p.x());
                right = std::max(right, p.x());
                top = std::max(top, -p.y());
                bottom = std::min(bottom, -p.y());
            }
    const double front = Eye / (Eye - BoxDepth / 2);
    const double fit = std::min(plot.width() / (right - left), plot.height() / (top - bottom));
    const double frontFit =
        std::min(plot.width() / (BoxWidth * front), plot.height() / (BoxHeight * front));
    m_scale = std::max(0.0, std::min(fit, frontFit) * m_zoom / 100.0);
    m_center = plot.center() - QPointF((left + right) / 2 * m_scale, -(top + bottom) / 2 * m_scale);
}

void ActivityChart::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    paintChart(painter, rect());
}

void ActivityChart::paintChart(QPainter &painter, const QRect &target) {
    if (m_textDirty) updateTextLayout();
    if (m_scaleDirty) updateScale();
    painter.fillRect(target, m_colors.background);
    const qreal titleHeight = m_title.size.height();
    const qreal valueWidth = m_charWidth * 4.5;
    const QRectF plot = QRectF(target).adjusted(Pad + valueWidth + TickLength + 4,
                                                Pad + titleHeight + m_labelHeight * 0.8, -2 * Pad,
                                                -(Pad + m_labelHeight + TickLength + 3));
    if (plot.width() < 10 || plot.height() < 10) return;
    updateView(plot);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(m_colors.text);
    painter.setFont(m_titleFont);
    painter.drawStaticText(QPointF(target.right() - Pad - m_title.size.width(), target.top() + Pad),
                           m_title.text);

    constexpr double X0 = -BoxWidth / 2, X1 = BoxWidth / 2;
    constexpr double Y0 = -BoxHeight / 2, Y1 = BoxHeight / 2;
    constexpr double Z0 = -BoxDepth / 2, Z1 = BoxDepth / 2;
    const auto valueY = [this](double v) { return Y0 + BoxHeight * v / m_top; };
    const auto quad = [&](const QPointF &a, const QPointF &b, const QPointF &c, const QPointF &d) {
        const QPointF points[4] = {a, b, c, d};
        painter.drawConvexPolygon(points, 4);
    };

    // Walls.
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_colors.backWall);
    quad(project(X0, Y0, Z1), project(X1, Y0, Z1), project(X1, Y1, Z1), project(X0, Y1, Z1));
    painter.setBrush(m_colors.leftWall);
    quad(project(X0, Y0, Z0), project(X0, Y0, Z1), project(X0, Y1, Z1), project(X0, Y1, Z0));
    painter.setBrush(m_colors.bottomWall);
    quad(project(X0, Y0, Z0), project(X1, Y0, Z0), project(X1, Y0, Z1), project(X0, Y0, Z1));

    // Hour labels at every hour when there is room, else at every 2nd, 3rd, ... hour.
    const qreal hourPixels =
        std::abs(project(hourX(1), Y0, Z0).x() - project(hourX(0), Y0, Z0).x());
    int hourStep = 1;
    for (const int s : {1, 2, 3, 4, 6, 12}) {
        hourStep = s;
        if (hourPixels * s >= m_hourLabels[23].size.width() + m_charWidth) break;
    }

    // Grid: value lines on the back and left walls, hour lines on the back wall and floor.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(cosmetic(m_colors.leftGrid));
    const int valueCount = static_cast<int>(m_valueLabels.size());
    for (int i = 1; i < valueCount; ++i) {
        const double y = valueY(i * m_step);
        const QPointF back[3] = {project(X0, y, Z0), project(X0, y, Z1), project(X1, y, Z1)};
        painter.drawPolyline(back, 3);
    }
    painter.setPen(cosmetic(m_colors.bottomGrid));
    for (int h = hourStep; h < Hours; h += hourStep) {
        const double x = hourX(h);
        const QPointF line[3] = {project(x, Y0, Z0), project(x, Y0, Z1), project(x, Y1, Z1)};
        painter.drawPolyline(line, 3);
    }

    // Axis lines: values up the front left edge, hours along the front bottom edge, depth
    // along the bottom right edge.
    painter.setPen(cosmetic(m_colors.leftLine, 1.5));
    painter.drawLine(project(X0, Y0, Z0), project(X0, Y1, Z0));
    painter.setPen(cosmetic(m_colors.bottomLine, 1.5));
    painter.drawLine(project(X0, Y0, Z0), project(X1, Y0, Z0));
    painter.drawLine(project(X1, Y0, Z0), project(X1, Y0, Z1));

    // Ticks and labels.
    painter.setFont(font());
    painter.setPen(cosmetic(m_colors.leftTicks));
    for (int i = 0; i < valueCount; ++i) {
        const QPointF p = project(X0, valueY(i * m_step), Z0);
        painter.drawLine(p, p - QPointF(TickLength, 0));
    }
    painter.setPen(cosmetic(m_colors.bottomTicks));
    for (int h = 0; h < Hours; h += hourStep) {
        const QPointF p = project(hourX(h), Y0, Z0);
        painter.drawLine(p, p + QPointF(0, TickLength));
    }
    for (int d = 0; d < Days; ++d) {
        const QPointF p = project(X1, Y0, dayZ(d, 0.5));
        painter.drawLine(p, p + QPointF(TickLength * 0.7, TickLength * 0.5));
    }
    painter.setPen(m_colors.text);
    for (int i = 0; i < valueCount; ++i) {
        const Label &label = m_valueLabels[static_cast<size_t>(i)];
        const QPointF p = project(X0, valueY(i * m_step), Z0);
        painter.drawStaticText(
            p - QPointF(TickLength + 3 + label.size.width(), label.size.height() / 2), label.text);
    }
    for (int h = 0; h < Hours; h += hourStep) {
        const Label &label = m_hourLabels[static_cast<size_t>(h)];
        const QPointF p = project(hourX(h), Y0, Z0);
        painter.drawStaticText(p + QPointF(-label.size.width() / 2, TickLength + 1), label.text);
    }

    // The days from back to front; within a day, the segments from far to near.
    const bool leftIsFar = m_rotation <= 0;
    std::array<QPointF, Hours> front, back, middle;
    for (int d = Days - 1; d >= 0; --d) {
        const auto &values = m_values[static_cast<size_t>(d)];
        const double zf = dayZ(d, 0), zb = dayZ(d, 1), zm = dayZ(d, 0.5);
        for (size_t h = 0; h < Hours; ++h) {
            const double x = hourX(static_cast<int>(h)), y = valueY(values[h]);
            front[h] = project(x, y, zf);
            back[h] = project(x, y, zb);
            middle[h] = project(x, y, zm);
        }
        const QColor &color = m_colors.series[static_cast<size_t>(d)];
        painter.setPen(cosmetic(m_colors.linePens[static_cast<size_t>(d)]));
        for (int i = 0; i + 1 < Hours; ++i) {
            const size_t h = static_cast<size_t>(leftIsFar ? i : Hours - 2 - i);
            painter.setBrush(shaded(color, m_shade[static_cast<size_t>(d)][h]));
            quad(front[h], front[h + 1], back[h + 1], back[h]);
        }
        if (d == m_markedDay) {
            painter.setPen(cosmetic(Qt::black));
            painter.setBrush(Qt::white);
            for (const QPointF &p : middle)
                painter.drawRect(
                    QRectF(p.x() - MarkerHalf, p.y() - MarkerHalf, 2 * MarkerHalf, 2 * MarkerHalf));
        }
    }
    painter.restore();
}

// --- colour panels -------------------------------------------------------------------

ChartColorPanel::ChartColorPanel(const QString &name, const QString &caption, QWidget *parent)
    : QAbstractButton(parent), m_color(Qt::black), m_captionColor(Qt::white) {
    setObjectName(name);
    setText(caption);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ChartColorPanel::setColor(const QColor &color) {
    m_color = color;
    update();
}

void ChartColorPanel::setCaptionColor(const QColor &color) {
    m_captionColor = color;
    update();
}

QSize ChartColorPanel::sizeHint() const {
    const QFontMetrics metrics(font());
    return {std::max(34, metrics.horizontalAdvance(text()) + 14), metrics.height() + 10};
}

void ChartColorPanel::paintEvent(QPaintEvent *) {
    QStylePainter painter(this);
    const QRect box = rect().adjusted(0, 0, -1, -1);
    painter.fillRect(box, m_color);
    painter.setPen(isDown() ? palette().color(QPalette::Highlight)
                            : palette().color(QPalette::Dark));
    painter.drawRect(box);
    painter.setPen(m_captionColor);
    painter.drawText(rect(), Qt::AlignCenter, text());
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(3, 3, -3, -3);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
    }
}
