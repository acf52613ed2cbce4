#pragma once

#include <QString>

// The part of the window's View that shows the statistics page. Every operation has a
// do-nothing default; the window overrides what it draws.
class StatsView {
public:
    virtual ~StatsView() = default;
    // The Enable button (glyph, "Enabled"/"Disabled") and the two Track check boxes.
    virtual void showStatsState(bool /*enabled*/, bool /*trackKills*/, bool /*trackMissions*/) {}
    // The statistics grid follows the displayed profile's selected table.
    virtual void TableListChange() {}
    // The profile's tables were opened, closed or emptied: the grid shows the chosen table's
    // rows again (none while the tables are closed).
    virtual void statsTablesChanged() {}
};
