#pragma once

#include <QString>
#include <array>

// Per weekday (0 = Sunday) and hour: the average players of that hour.
using HourlyAverageArray = std::array<std::array<float, 24>, 7>;

// The figures of the Activity page as they are shown; an empty text leaves the label empty.
struct ActivityFigureTexts {
    QString Current; // connected players
    QString Total;   // arrivals counted
    QString Last;    // "mm/dd/yyyy", a line feed, "hh:nn:ss"
    QString Low;     // "hh:nn:ss"
    QString High;    // "hh:nn:ss"
    QString Average; // "hh:nn:ss"
};

// The part of the window's View that shows the activity figures and chart. Every operation has a
// do-nothing default; the window overrides what it draws.
class ActivityView {
public:
    virtual ~ActivityView() = default;
    // Every label of the page but the uptime.
    virtual void showActivityFigures(const ActivityFigureTexts & /*texts*/) {}
    // The uptime label ("d:hh:nn:ss", or empty while the console is not online).
    virtual void setUptime(const QString & /*text*/) {}
    // All 168 chart points: point h of series d gets averages[d][h].
    virtual void Chart_refresh(const HourlyAverageArray & /*averages*/) {}
    // One chart point: hour h of weekday d.
    virtual void setChartPoint(int /*day*/, int /*hour*/, double /*value*/) {}
    // Shows the point markers on the series of this weekday only.
    virtual void markChartDay(int /*weekday*/) {}
};
