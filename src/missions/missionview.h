#pragma once

#include <QList>
#include <QString>

struct TMission;

// The part of the window's View that shows the mission list. Every operation has a do-nothing
// default; the window overrides what it draws.
//
// The list's rows mirror Missions::Rows: row i shows the record Rows[i] — caption Name, then
// MissionType, then "Y" or "N" by Enabled, and the current-mission image when Marked.
class MissionView {
public:
    virtual ~MissionView() = default;

    // A new row at position row (equal to the number of rows: a new last row).
    virtual void insertMissionRow(int /*row*/, const TMission & /*mission*/) {}
    virtual void removeMissionRow(int /*row*/) {}
    // The record's enable state or image changed: its row is drawn again.
    virtual void redrawMissionRow(int /*row*/, const TMission & /*mission*/) {}
    // The rows were sorted: they now show these records, in this order.
    virtual void reorderMissionRows(const QList<TMission *> & /*rows*/) {}
    virtual void clearMissionList() {}

    // The status bar's mission panels: the running mission's name and type, its time left.
    virtual void showMissionName(const QString & /*name*/) {}
    virtual void showMissionType(const QString & /*type*/) {}
    virtual void showTimeLeft(const QString & /*text*/) {}
};
