#pragma once

#include "app/gui/tab.h"
#include "missions/missionview.h"

// The "Missions" page: the mission list and its buttons.
class MissionsTab : public Tab, public MissionView {
    Q_OBJECT
public:
    explicit MissionsTab(TabContext &context, QWidget *parent = nullptr);
};
