#pragma once

#include "app/gui/tab.h"
#include "stats/statsview.h"

// The "Stats" page: table chooser, Enable, Normalize, Clear, Track boxes, interval, data grid.
class StatsTab : public Tab, public StatsView {
    Q_OBJECT
public:
    explicit StatsTab(TabContext &context, QWidget *parent = nullptr);
};
