#pragma once

#include <QString>
#include <QStringList>

// The part of the window's View that shows the event log. Every operation has a
// do-nothing default; the window overrides what it draws.
class EventLogView {
public:
    virtual ~EventLogView() = default;
    // The play-by-play view shows these entries, one per line.
    virtual void fillPlayByPlay(const QStringList & /*entries*/) {}
    // The "Log to File" check box.
    virtual void setLogFileCheck(bool /*on*/) {}
};
