#include "app/gui/activitytab.h"

#include "activity/activity.h"
#include "activity/colors.h"
#include "app/core/settings.h"
#include "app/gui/activitychart.h"
#include "app/gui/colorword.h"
#include "app/gui/guidialogs.h"
#include "platform/datetime.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace {
// Where the chart's nine colours start in GlobalPrefs::Colors: Activity_Sun..Activity_Sat,
// Activity_BG, Activity_FG.
constexpr size_t FirstChartColor = 10;
constexpr size_t BGPanel = 7;
constexpr size_t FGPanel = 8;
// Added to a day's colour for the outline of its line.
constexpr quint32 LinePenLift = 0x444444;

QSlider *viewBar(QWidget *parent, const char *name, Qt::Orientation orientation, int low, int high,
                 int position, const QString &hint) {
    auto *bar = new QSlider(orientation, parent);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setRange(low, high);
    bar->setValue(position);
    bar->setToolTip(hint);
    bar->setTickPosition(QSlider::NoTicks);
    // Like the page's other vertical bars: the low end at the top.
    if (orientation == Qt::Vertical) bar->setInvertedAppearance(true);
    // Positions near 0 snap back to it: a key step (or wheel step) from 0 goes past that
    // zone instead, or the bar could never leave 0 by keyboard.
    QObject::connect(bar, &QSlider::actionTriggered, bar, [bar](int action) {
        if (action != QAbstractSlider::SliderSingleStepAdd &&
            action != QAbstractSlider::SliderSingleStepSub)
            return;
        const int to = bar->sliderPosition();
        if (bar->value() == 0 && to != 0 && std::abs(to) < ActivityTab::SnapZone)
            bar->setSliderPosition(to > 0 ? ActivityTab::SnapZone : -ActivityTab::SnapZone);
    });
    return bar;
}

QLabel *figure(QWidget *parent, const char *name) {
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}
} // namespace

ActivityTab::ActivityTab(TabContext &context, QWidget *parent) : Tab(context, parent) {
    m_chart = new ActivityChart(this);
    m_rotationBar =
        viewBar(this, "RotationBar", Qt::Horizontal, -90, 90, 15, QStringLiteral("Rotation"));
    m_elevationBar =
        viewBar(this, "ElevationBar", Qt::Vertical, -90, 90, 0, QStringLiteral("Elevation"));
    m_zoomBar = viewBar(this, "ZoomBar", Qt::Vertical, 50, 100, 60, QStringLiteral("Zoom"));

    static const char *const panelNames[] = {"Color_Sun", "Color_Mon", "Color_Tue",
                                             "Color_Wed", "Color_Thu", "Color_Fri",
                                             "Color_Sat", "Color_BG",  "Color_FG"};
    static const char *const captions[] = {"Sun", "Mon", "Tue", "Wed", "Thu",
                                           "Fri", "Sat", "BG",  "FG"};
    auto *panels = new QHBoxLayout;
    panels->setSpacing(3);
    for (size_t i = 0; i < m_colorPanels.size(); ++i) {
        m_colorPanels[i] = new ChartColorPanel(QString::fromLatin1(panelNames[i]),
                                               QString::fromLatin1(captions[i]), this);
        m_colorPanels[i]->setToolTip(i < BGPanel    ? QStringLiteral("Line Colour")
                                     : i == BGPanel ? QStringLiteral("Background Colour")
                                                    : QStringLiteral("Foreground Colour"));
        if (i == BGPanel) panels->addSpacing(10);
        panels->addWidget(m_colorPanels[i]);
    }
    panels->addStretch();

    auto *chartGrid = new QGridLayout;
    chartGrid->setSpacing(4);
    chartGrid->addWidget(m_chart, 0, 0);
    chartGrid->addWidget(m_elevationBar, 0, 1);
    chartGrid->addWidget(m_zoomBar, 0, 2);
    chartGrid->addWidget(m_rotationBar, 1, 0);
    chartGrid->addLayout(panels, 2, 0, 1, 3);

    m_currentConnections = figure(this, "Display_CurrentConnections");
    m_totalConnections = figure(this, "Display_TotalConnections");
    m_lastConnection = figure(this, "Display_LastConnection");
    m_lowPlaytime = figure(this, "Display_LowPlaytime");
    m_highPlaytime = figure(this, "Display_HighPlaytime");
    m_avePlaytime = figure(this, "Display_AvePlaytime");
    m_uptime = figure(this, "Display_Uptime");
    m_currentConnections->setText(QStringLiteral("0"));
    m_totalConnections->setText(QStringLiteral("0"));

    // The figures: a column of captioned groups beside the chart, wide enough for the
    // two-line date of the last connection.
    auto *figurePanel = new QWidget(this);
    figurePanel->setMinimumWidth(190);
    figurePanel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    const auto group = [figurePanel](const QString &title,
                                     std::initializer_list<std::pair<QString, QLabel *>> rows) {
        auto *box = new QGroupBox(title, figurePanel);
        auto *grid = new QGridLayout(box);
        grid->setColumnStretch(1, 1);
        int row = 0;
        for (const auto &[caption, label] : rows) {
            grid->addWidget(new QLabel(caption, box), row, 0, Qt::AlignLeft | Qt::AlignTop);
            grid->addWidget(label, row++, 1, Qt::AlignLeft | Qt::AlignTop);
        }
        return box;
    };
    m_resetGraph = commandButton("Button_ResetGraph", QStringLiteral("Reset Graph"),
                                 QStringLiteral("Clear the hourly averages of this server"));

    auto *figures = new QVBoxLayout(figurePanel);
    figures->setContentsMargins(0, 0, 0, 0);
    figures->addWidget(
        group(QStringLiteral("Connections"), {{QStringLiteral("Current:"), m_currentConnections},
                                              {QStringLiteral("Total:"), m_totalConnections},
                                              {QStringLiteral("Last:"), m_lastConnection}}));
    figures->addWidget(
        group(QStringLiteral("Play Time"), {{QStringLiteral("Low:"), m_lowPlaytime},
                                            {QStringLiteral("High:"), m_highPlaytime},
                                            {QStringLiteral("Average:"), m_avePlaytime}}));
    figures->addWidget(group(QStringLiteral("Server"), {{QStringLiteral("Uptime:"), m_uptime}}));
    figures->addStretch();
    figures->addWidget(m_resetGraph);

    auto *layout = new QHBoxLayout(this);
    layout->addLayout(chartGrid, 1);
    layout->addWidget(figurePanel);

    connect(m_rotationBar, &QSlider::valueChanged, this, &ActivityTab::RotationBarChange);
    connect(m_elevationBar, &QSlider::valueChanged, this, &ActivityTab::ElevationBarChange);
    connect(m_zoomBar, &QSlider::valueChanged, this, &ActivityTab::ZoomBarChange);
    connect(m_resetGraph, &QPushButton::clicked, this, &ActivityTab::Button_ResetGraphClick);
    for (size_t i = 0; i < BGPanel; ++i)
        connect(m_colorPanels[i], &ChartColorPanel::clicked, this,
                [this, i] { Color_DayClick(static_cast<int>(i)); });
    connect(m_colorPanels[BGPanel], &ChartColorPanel::clicked, this, &ActivityTab::Color_BGClick);
    connect(m_colorPanels[FGPanel], &ChartColorPanel::clicked, this, &ActivityTab::Color_FGClick);

    Chart_init();
    LoadColorPrefs();
}

void ActivityTab::setActivity(Activity *activity) {
    m_activity = activity;
    if (activity) return;
    // No profile left: the page as the window starts.
    Chart_init();
    showActivityFigures({QStringLiteral("0"), QStringLiteral("0"), {}, {}, {}, {}});
    setUptime({});
}

void ActivityTab::showActivityFigures(const ActivityFigureTexts &texts) {
    m_currentConnections->setText(texts.Current);
    m_totalConnections->setText(texts.Total);
    m_lastConnection->setText(texts.Last);
    m_lowPlaytime->setText(texts.Low);
    m_highPlaytime->setText(texts.High);
    m_avePlaytime->setText(texts.Average);
}

void ActivityTab::setUptime(const QString &text) {
    m_uptime->setText(text);
}

void ActivityTab::Chart_refresh(const HourlyAverageArray &averages) {
    for (int d = 0; d < ActivityChart::Days; ++d)
        for (int h = 0; h < ActivityChart::Hours; ++h)
            m_chart->setPoint(d, h, averages[static_cast<size_t>(d)][static_cast<size_t>(h)]);
}

void ActivityTab::setChartPoint(int day, int hour, double value) {
    m_chart->setPoint(day, hour, value);
}

void ActivityTab::markChartDay(int weekday) {
    m_chart->setMarkedDay(weekday);
}

void ActivityTab::Chart_init() {
    m_chart->clearPoints();
    m_chart->setMarkedDay(platform::weekday(platform::now()));
}

void ActivityTab::Button_ResetGraphClick() {
    if (m_activity) m_activity->ResetGraph();
}

void ActivityTab::RotationBarChange(int position) {
    // Near the centre the bar snaps to it; setting it comes back here with 0.
    if (position != 0 && std::abs(position) < SnapZone) {
        m_rotationBar->setValue(0);
        return;
    }
    m_chart->setRotation(-position);
}

void ActivityTab::ElevationBarChange(int position) {
    if (position != 0 && std::abs(position) < SnapZone) {
        m_elevationBar->setValue(0);
        return;
    }
    m_chart->setElevation(position);
}

void ActivityTab::ZoomBarChange(int position) {
    m_chart->setZoom(150 - position);
}

void ActivityTab::LoadColorPrefs() {
    const GlobalPrefs prefs = ReadPrefs(m_context.Settings);
    for (size_t i = 0; i < m_colorPanels.size(); ++i)
        m_colorPanels[i]->setColor(fromColorWord(prefs.Colors[FirstChartColor + i]));
    ChartColors chart = m_chart->colors();
    for (size_t d = 0; d < BGPanel; ++d) {
        const quint32 c = toColorWord(m_colorPanels[d]->color());
        chart.series[d] = fromColorWord(c);
        chart.linePens[d] = fromColorWord(AdjustColor(c, LinePenLift));
        m_colorPanels[d]->setCaptionColor(fromColorWord(ContrastingShade(c)));
    }
    chart.background = m_colorPanels[BGPanel]->color();
    m_chart->setColors(chart);
    applyForeground(toColorWord(m_colorPanels[FGPanel]->color()));
    // The BG and FG captions keep their own colours until those panels are clicked.
    m_colorPanels[BGPanel]->setCaptionColor(Qt::white);
    m_colorPanels[FGPanel]->setCaptionColor(Qt::black);
}

void ActivityTab::applyForeground(quint32 fg) {
    ChartColors chart = m_chart->colors();
    const auto scaled = [fg](double f) { return fromColorWord(ScaleColor(fg, f)); };
    chart.text = fromColorWord(fg);
    chart.bottomGrid = scaled(0.75);
    chart.bottomLine = scaled(0.8);
    chart.bottomTicks = scaled(0.85);
    chart.leftGrid = scaled(0.75);
    chart.leftLine = scaled(0.85);
    chart.leftTicks = scaled(0.85);
    chart.backWall = scaled(0.5);
    chart.leftWall = scaled(0.3);
    chart.bottomWall = scaled(0.4);
    m_chart->setColors(chart);
}

quint32 ActivityTab::editColor(size_t panel) {
    ChartColorPanel *p = m_colorPanels[panel];
    quint32 color = toColorWord(p->color());
    if (m_context.Dialogs.chooseColor(color)) p->setColor(fromColorWord(color & 0xFFFFFFu));
    color = toColorWord(p->color());
    const size_t index = FirstChartColor + panel;
    m_context.Settings.write(GlobalSection, QString::fromLatin1(GlobalPrefs::ColorKeys[index]),
                             QString::number(color));
    m_context.Prefs.Colors[index] = color;
    p->setCaptionColor(fromColorWord(ContrastingShade(color)));
    return color;
}

void ActivityTab::Color_DayClick(int day) {
    if (day < 0 || day >= static_cast<int>(BGPanel)) return;
    const size_t d = static_cast<size_t>(day);
    const quint32 color = editColor(d);
    ChartColors chart = m_chart->colors();
    chart.series[d] = fromColorWord(color);
    // After a click the outline is the colour ORed with the lift, not the colour plus it.
    chart.linePens[d] = fromColorWord(color | LinePenLift);
    m_chart->setColors(chart);
}

void ActivityTab::Color_BGClick() {
    const quint32 color = editColor(BGPanel);
    ChartColors chart = m_chart->colors();
    chart.background = fromColorWord(color);
    m_chart->setColors(chart);
}

void ActivityTab::Color_FGClick() {
    applyForeground(editColor(FGPanel));
}
