#pragma once

#include <QList>
#include <QString>

class TVexmoorServer;

// The statistics tables of a profile and the rules that record into them.
class Statistics {
public:
    explicit Statistics(TVexmoorServer &server);
    ~Statistics();

    bool StatsEnabled = false;
    bool TrackKills = true;
    bool TrackMissions = true;
    bool PlayersChanged = false;
    bool KillsChanged = false;
    bool MissionsChanged = false;

    // Recording calls of the roster and the game event handlers.
    void RecordConnect(int clientId);
    void RecordDisconnect(int clientId);
    void RecordKill(int killerId, int victimId, bool teamKill, const QString &column);
    void RecordMissionEvent(int clientId, const QString &missionName, const QString &column);
    void RecordScore(int clientId, int points);
    void RecordMatchResult(const QList<int> &teamScores);

    void CreateTables();
    // Points the tables at the files in the profile's (new) directory.
    void UpdateTablePaths();
    void OpenTables();
    void CloseTables();
    // Ends the connection records of every connected player (play time accumulated).
    void CloseOutConnections();
    // Writes every changed table to disk.
    void CommitTables();

private:
    TVexmoorServer &Server;
};
