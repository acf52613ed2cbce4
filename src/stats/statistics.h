#pragma once

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

    void CreateTables();
    void OpenTables();
    void CloseTables();
    // Ends the connection records of every connected player (play time accumulated).
    void CloseOutConnections();
    // Writes every changed table to disk.
    void CommitTables();

private:
    TVexmoorServer &Server;
};
