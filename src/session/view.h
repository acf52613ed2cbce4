#pragma once

#include "activity/activityview.h"
#include "admin/preferencesview.h"
#include "eventlog/eventlogview.h"
#include "game/rosterview.h"
#include "missions/missionview.h"
#include "stats/statsview.h"

#include <QString>

// Colour roles of console lines; the window maps them to its colour panels.
enum class ConsoleColor { TribesText, StatText, GlobalMsg, UnknownMsg, Team0, Team1, Team2, Team3 };

// What a profile shows while it is displayed. The main window implements it; a profile
// calls it only while attached, and only through its View member. Every operation has a
// do-nothing default so that a view implements what it shows.
class View : public RosterView,
             public EventLogView,
             public MissionView,
             public PreferencesView,
             public ActivityView,
             public StatsView {
public:
    ~View() override = default;

    // Status bar: panel 0 state text, 1 host:port, 2 mission name, 3 mission type, 4 time left.
    virtual void setStatusPanel(int /*panel*/, const QString & /*text*/) {}
    // Connect button glyph (LED on while connected); Edit/Remove Server disabled while connected.
    virtual void showConnected(bool /*connected*/) {}
    // The controls that need a logged-in console.
    virtual void SwitchGlobalButtons(bool /*on*/) {}
    // Load/Save preference buttons.
    virtual void enablePreferenceFiles(bool /*on*/) {}
    // The mode button: glyph and caption "Active Mode" / "Passive Mode".
    virtual void showServerMode(bool /*active*/) {}

    // Console view and the command line under it.
    virtual void Console_add(const QString & /*text*/, ConsoleColor /*color*/) {}
    virtual void clearConsole() {}
    virtual void clearCommandLine() {}
    // "Mute Vexmoor Codes": report lines are not shown.
    virtual bool muteCodes() const { return false; }

    // The mission panels are status panels 2, 3 and 4.
    void showMissionName(const QString &name) override { setStatusPanel(2, name); }
    void showMissionType(const QString &type) override { setStatusPanel(3, type); }
    void showTimeLeft(const QString &text) override { setStatusPanel(4, text); }

    // Admin chat view: a line "nick: text" (the view keeps at most 50 lines).
    virtual void Chat_add(const QString & /*line*/) {}
    virtual void clearChat() {}
};
