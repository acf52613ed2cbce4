#pragma once

#include "activity/activityview.h"
#include "app/gui/tab.h"

class Activity;
#include <array>

class ActivityChart;
class ChartColorPanel;
class QLabel;
class QPushButton;
class QSlider;

// The "Activity" page: the players-per-hour chart with its view bars and colour panels, and
// the connection, play-time and uptime figures of the displayed profile.
class ActivityTab : public Tab, public ActivityView {
    Q_OBJECT
public:
    // Rotation and elevation positions closer to 0 than this snap back to 0.
    static constexpr int SnapZone = 3;

    explicit ActivityTab(TabContext &context, QWidget *parent = nullptr);

    // The displayed profile's activity figures (none: the page as the window starts).
    void setActivity(Activity *activity);

    // ActivityView
    void showActivityFigures(const ActivityFigureTexts &texts) override;
    void setUptime(const QString &text) override;
    void Chart_refresh(const HourlyAverageArray &averages) override;
    void setChartPoint(int day, int hour, double value) override;
    void markChartDay(int weekday) override;

    // Every point of every day 0, the markers on today's line.
    void Chart_init();
    void Button_ResetGraphClick();
    void RotationBarChange(int position);
    void ElevationBarChange(int position);
    void ZoomBarChange(int position);
    // The day panels (0 = Sunday), the background and the foreground panel.
    void Color_DayClick(int day);
    void Color_BGClick();
    void Color_FGClick();

    ActivityChart *chart() const { return m_chart; }

private:
    // The chart colours from the settings, with the start-up rules.
    void LoadColorPrefs();
    // Title, labels, axis pens and walls from the foreground colour.
    void applyForeground(quint32 fg);
    // Asks for the panel's new colour, stores it (also when the dialog was declined) and
    // gives the panel its caption colour; returns the panel's colour.
    quint32 editColor(size_t panel);

    ActivityChart *m_chart;
    QSlider *m_rotationBar;
    QSlider *m_elevationBar;
    QSlider *m_zoomBar;
    // Sun..Sat, BG, FG.
    std::array<ChartColorPanel *, 9> m_colorPanels{};
    QLabel *m_currentConnections;
    QLabel *m_totalConnections;
    QLabel *m_lastConnection;
    QLabel *m_lowPlaytime;
    QLabel *m_highPlaytime;
    QLabel *m_avePlaytime;
    QLabel *m_uptime;
    QPushButton *m_resetGraph;
    Activity *m_activity = nullptr;
};
