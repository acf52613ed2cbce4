#pragma once

#include <QString>
#include <QStringList>

// The part of the window's View that shows the event log. Every operation has a
// do-nothing default; the window overrides what it draws.
class EventLogView {
public:
    virtual ~EventLogView() = default;
    // The play-by-play view shows these entries, one per line (it is emptied first).
    virtual void fillPlayByPlay(const QStringList & /*entries*/) {}
    // One new entry as the last line of the play-by-play view. The view keeps the newest
    // 100 lines: when it holds 100 or more, its first line goes before the entry is added.
    virtual void PlayByPlay_add(const QString & /*entry*/) {}
    // The "Log to File" check box.
    virtual void setLogFileCheck(bool /*on*/) {}
};
