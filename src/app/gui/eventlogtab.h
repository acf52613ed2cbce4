#pragma once

#include "app/gui/tab.h"
#include "eventlog/eventlogview.h"

// The "Event Log" page: play-by-play, "Log to File" and the speech settings.
class EventLogTab : public Tab, public EventLogView {
    Q_OBJECT
public:
    explicit EventLogTab(TabContext &context, QWidget *parent = nullptr);
};
