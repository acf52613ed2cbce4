#pragma once

#include "session/server.h"

#include <QObject>
#include <QTimer>
#include <deque>
#include <limits>
#include <memory>
#include <vector>

// The profiles of a run, in the order they were added, and the three timers that drive
// every profile: the one-second tick, the statistics commits and the reconnection attempts.
// The window and the headless companion share it.
class ProfileList : public QObject {
    Q_OBJECT
public:
    static constexpr int Timer1Interval = 1000;
    static constexpr int RestartInterval = 5000;

    explicit ProfileList(ServerContext &context, QObject *parent = nullptr);
    ~ProfileList() override;

    int count() const { return static_cast<int>(m_profiles.size()); }
    TVexmoorServer *at(int index) const;
    int indexOf(const TVexmoorServer *profile) const;

    // Creates a profile and appends it. Returns it.
    TVexmoorServer *ServerAdd(const QString &password, const QString &ip, int port);
    // Destroys a profile that is not connected: deletes its directory and settings section.
    // False when the profile is connected.
    bool remove(int index);
    // Restores every profile stored in the settings file. A section whose host cannot be a
    // profile (hostProblem) is skipped with a message.
    void ReadServers();

    // A message when another profile than except already has the address ip:port (the two
    // would share a settings section and a directory); empty when the address is free.
    QString addressConflict(const QString &ip, int port,
                            const TVexmoorServer *except = nullptr) const;

    // The text of a profile's list entry: its host name when known, else ip:port.
    static QString listName(const TVexmoorServer &profile);
    // The list entry as the server list shows it: listName, followed by " (ip:port)" when
    // another profile has the same list name, so that no two entries look the same.
    QString distinctName(const TVexmoorServer &profile) const;

    // The statistics commit interval in minutes; 0 or less stops the interval commits, and
    // more than MaxCommitInterval (the longest a timer holds) runs at MaxCommitInterval.
    static constexpr int MaxCommitInterval = std::numeric_limits<int>::max() / 60000;
    void setCommitInterval(int minutes);
    // The commit timer's interval in milliseconds; 0 while interval commits are stopped.
    int commitTimerInterval() const {
        return m_tableTimer.isActive() ? m_tableTimer.interval() : 0;
    }
    // Closes every profile's tables (at the end of the run).
    void closeAll();

    // Timer bodies, public so that tests drive them without waiting.
    void Timer1Tick();
    // Starts a commit round: every profile's changed tables are written, one profile per
    // event-loop turn.
    void TableTimerTick();
    void RestartTimerTick();
    // True while a commit round has profiles left to write.
    bool isCommitting() const { return !m_commitQueue.empty(); }

signals:
    void profileAdded(TVexmoorServer *profile);
    void profileRemoved(TVexmoorServer *profile);
    void listNameChanged(TVexmoorServer *profile);
    void stateChanged(TVexmoorServer *profile, const QString &state);

private:
    void commitNext();

    ServerContext &m_context;
    std::vector<std::unique_ptr<TVexmoorServer>> m_profiles;
    QTimer m_timer1;
    QTimer m_tableTimer;
    QTimer m_restartTimer;
    QTimer m_commitStep;
    std::deque<TVexmoorServer *> m_commitQueue;
};

// Why a host read from a settings section cannot be a profile: its directory name would
// leave the data directory or its section could not be written back (empty, a path
// separator, "..", a bracket, a colon or a control character). Empty when it can.
QString hostProblem(const QString &host);

// Deletes a directory with everything below it; what can not be deleted stays. Only a
// directory that lies below root (after resolving links above it) is touched, and links
// inside it are removed as links, never followed; a directory that is itself a link loses
// only the link. True when nothing of it is left.
bool Deltree(const QString &directory, const QString &root);
