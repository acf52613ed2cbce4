#pragma once

#include <QString>

class ActivityView;
class EventLogView;
class MissionView;
class PreferencesView;
class RosterView;
class StatsView;

// Colour roles of console lines; the window maps them to its colour panels.
enum class ConsoleColor { TribesText, StatText, GlobalMsg, UnknownMsg, Team0, Team1, Team2, Team3 };

// What a profile shows while it is displayed. The window implements it; a profile calls it
// only while attached, and only through its View member. The view hands each feature the
// view that shows it (none: the feature shows nothing) and itself shows what belongs to the
// window: the status bar, the connect button, the control groups, the console and the chat.
// Every operation has a do-nothing default so that a view implements what it shows.
class View {
public:
    virtual ~View() = default;

    // The views of the features, each given to its feature while the profile is attached.
    virtual RosterView *rosterView() { return nullptr; }
    virtual EventLogView *eventLogView() { return nullptr; }
    virtual MissionView *missionView() { return nullptr; }
    virtual PreferencesView *preferencesView() { return nullptr; }
    virtual ActivityView *activityView() { return nullptr; }
    virtual StatsView *statsView() { return nullptr; }

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

    // Admin chat view: a line "nick: text" (the view keeps at most 50 lines).
    virtual void Chat_add(const QString & /*line*/) {}
    virtual void clearChat() {}
};
