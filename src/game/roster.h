#pragma once

#include "platform/datetime.h"

#include <QList>
#include <QString>
#include <array>

class TVexmoorServer;

// One possible player connection; element i of PlayerSlots belongs to client id 2049 + i.
struct PlayerSlot {
    QString Name;
    QString Address;
    int Gender = 1; // 0 for "Female", else 1: selects the row of the pronoun table
    int Team = -1;  // 0..7; -1 no team; -2 observer
    int Score = 0;
    int DbId = 0;
    int ClientId = 0;
    bool HasFlag = false;
    platform::DateTime ConnectTime = 0;
    QString SpokenName;
};

struct TeamSlot {
    QString Name;
    int Size = 0;
    int Score = 0;
};

// The live players and teams of a profile.
class Roster {
public:
    explicit Roster(TVexmoorServer &server) : Server(server) {}

    std::array<PlayerSlot, 128> PlayerSlots;
    std::array<TeamSlot, 8> TeamSlots;
    QList<PlayerSlot *> ConnectedPlayers; // occupied slots in order of arrival
    QList<TeamSlot *> DefinedTeams;       // teams in the order the server reported them

    // The slot of a client id, or nullptr outside 2049..2176.
    PlayerSlot *slot(int clientId);
    // The slot of an occupied client id, or nullptr.
    PlayerSlot *connected(int clientId);

    // Report handlers: "1" player listed, "2" team listed, "B" team score.
    void PlayerListed();
    void TeamListed();
    void TeamScore();

    void ResetPlayers();
    void ResetTeams();
    void FillPlayerView();
    void ClearPlayerView();
    void FillTeamView();
    void ClearTeamView();

private:
    TVexmoorServer &Server;
};
