#pragma once

#include "activity/activity.h"
#include "admin/commands.h"
#include "admin/preferences.h"
#include "eventlog/eventlog.h"
#include "game/events.h"
#include "game/roster.h"
#include "missions/missions.h"
#include "platform/dialogs.h"
#include "session/context.h"
#include "session/dispatcher.h"
#include "session/framer.h"
#include "session/profile.h"
#include "session/reportline.h"
#include "session/view.h"
#include "stats/statistics.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class TVexmoorSocket;

// One server profile: its console connection and session. It owns its roster, event log,
// statistics, missions, preferences, activity figures and admin commands, which see it only
// as a Profile, and wires them: report lines go to their handlers, the roster's arrivals,
// departures and scores to the statistics and activity, and the attached window to each.
class TVexmoorServer : public QObject, public Profile {
    Q_OBJECT
public:
    enum State { Offline = 0, LoggingIn = 1, Online = 2 };

    TVexmoorServer(const QString &password, const QString &host, int port, ServerContext &context);
    ~TVexmoorServer() override;

    ::View *View = nullptr;
    QString Host;
    int Port = 0;
    QString Password;
    int SessionState = Offline;

    ServerContext &Context;

private:
    // Built after the members above and before those below, which use them.
    Roster m_roster;
    Missions m_missions;
    Preferences m_prefs;
    Statistics m_stats;
    Activity m_activity;
    EventLog m_eventLog;
    GameEvents m_events;
    AdminCommands m_commands;

public:
    // The features this profile wires; the pages and the profile list reach them here.
    Roster &roster() { return m_roster; }
    const Roster &roster() const { return m_roster; }
    Missions &missions() { return m_missions; }
    const Missions &missions() const { return m_missions; }
    Preferences &prefs() { return m_prefs; }
    const Preferences &prefs() const { return m_prefs; }
    Statistics &stats() { return m_stats; }
    const Statistics &stats() const { return m_stats; }
    Activity &activity() { return m_activity; }
    const Activity &activity() const { return m_activity; }
    EventLog &eventLog() { return m_eventLog; }
    const EventLog &eventLog() const { return m_eventLog; }
    GameEvents &events() { return m_events; }
    const GameEvents &events() const { return m_events; }
    AdminCommands &commands() { return m_commands; }
    const AdminCommands &commands() const { return m_commands; }

    bool ReconnectPending = false;
    bool UserToggled = false;
    std::unique_ptr<TVexmoorSocket> Socket;
    QString &ScriptFile; // the preferences page's script field
    bool ActiveMode = true;
    ReportFields Report; // Fields and FieldCount of the last report line

    // Profile: what the features use of it.
    QString section() const override;
    QString directory() const override;
    bool isConnected() const override;
    bool activeMode() const override { return ActiveMode; }
    platform::SettingsStore &settings() override { return Context.Settings; }
    platform::Dialogs &dialogs() override { return Context.Dialogs; }

    void CreateSocket();
    void ToggleConnection();
    // Sends one complete command (ending in a line feed) on the console connection.
    void SendCommand(const QString &text) override;
    // The mode button: flips active/passive, shows it and stores it.
    void ToggleMode();
    // The one-second tick: mission clock, uptime and the hourly activity sample.
    void Timer1Tick();
    // A restart timer tick: starts an attempt when reconnection is armed.
    void RestartTick();

    // Moves the profile to another address: its directory, settings section and tables.
    void ChangeAddress(const QString &host, int port);

    void AttachView(::View *window);
    void DetachView();

    // Socket events.
    void SocketConnecting();
    void SocketConnect();
    void SocketDisconnect();
    void SocketRead();
    void SocketError(int kind, int code);

    // One received console line while online.
    void ClassifyLine(const QString &line);
    void DispatchReport(const QString &line);
    void HandleChatLine(const QString &line);
    // The exec line of the server-side script.
    void SendExecLine();
    // Tells the server list that the profile's caption may have changed.
    void UpdateListName() { emit listNameChanged(); }

    // The description of a socket failure kind.
    static QString socketErrorText(int kind);

signals:
    // The connection state changed: "Connecting", "Connected", "Logging in", "Online",
    // "Offline".
    void stateChanged(const QString &state);
    void listNameChanged();
    // A report line was handled: rosters, mission, statistics or variables may have changed.
    void reportHandled();

private:
    void SendPassword();
    void LoginFailed();
    // Shows a box once the current event is handled (never from inside a socket read), then
    // runs then.
    void showLater(platform::Dialogs::Icon icon, const QString &text,
                   std::function<void()> then = {});
    void StartSession();
    void SplitLines(const QByteArray &chunk);
    void flushPendingLine();
    void setState(const QString &text);
    void AdminChatEcho();
    // Every feature shows on view (nullptr: none).
    void setFeatureViews(::View *view);

    ReportDispatcher m_dispatch;
    LineFramer m_framer;
    QTimer m_quietTimer;         // hands over an unterminated line when no more data comes
    QByteArray m_preLogin;       // the tail of what arrived before the password prompt
    bool m_loginRefused = false; // the password was refused: the rest is dropped
    int m_connectionCount = 0;   // connections established so far
};
