#pragma once

#include "activity/activityview.h"
#include "app/gui/tab.h"

// The "Activity" page: players-per-hour chart, its colour panels and the figures.
class ActivityTab : public Tab, public ActivityView {
    Q_OBJECT
public:
    explicit ActivityTab(TabContext &context, QWidget *parent = nullptr);
};
