#pragma once

#include "platform/datetime.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <limits>

struct ReportFields;

class RosterView;

// One possible player connection; element i of PlayerSlots belongs to client id 2049 + i.
struct PlayerSlot {
    QString Name;
    QString Address; // the default ban mask
    int Gender = 0;  // 0 for "Female", else 1: selects the row of the pronoun table
    int Team = -1;   // 0..7; -1 no team; -2 observer
    int Score = 0;   // points in the running mission
    int DbId = 0;    // statistics id while registered; 0 after a reset, -1 after leaving
    int ClientId = 0;
    bool HasFlag = false;
    platform::DateTime ConnectTime = 0;
    QString SpokenName;    // Name for speech: punctuation blanked, lower case
    bool ListItem = false; // the slot has a row in the displayed player list
};

struct TeamSlot {
    QString Name;
    int Size = 0; // number of listed players on the team
    int Score = 0;
    bool ListItem = false; // the team has a row in the displayed team list
};

// a + b held at the int limits instead of overflowing (the points of a report are the
// server's and may be anything).
inline int saturatingAdd(int a, int b) {
    const long long sum = static_cast<long long>(a) + b;
    return sum > std::numeric_limits<int>::max()   ? std::numeric_limits<int>::max()
           : sum < std::numeric_limits<int>::min() ? std::numeric_limits<int>::min()
                                                   : static_cast<int>(sum);
}
// -a held at the int limits.
inline int saturatingNegate(int a) {
    return a == std::numeric_limits<int>::min() ? std::numeric_limits<int>::max() : -a;
}

// The name with every character of "!@#$%^&*()-_=+[]{}\|:;<>/" replaced by a blank.
QString BlankChars(const QString &name);
// The form of a name that speech reads: punctuation blanked, letters A to Z in lower case.
QString SpokenName(const QString &name);
// 0 for the gender word "Female" (exactly), 1 for any other word.
int genderOf(const QString &word);

// The order of the player list: negative when a comes before b, 0 when the key does not tell
// them apart. Key 0: by name; 1: by team, then name; 2: by score (highest first), then team,
// then name. Names compare by character codes with a..z taken as A..Z.
int comparePlayers(const PlayerSlot &a, const PlayerSlot &b, int sortKey);

// Hears of the roster's arrivals, departures and score changes.
class RosterListener {
public:
    virtual ~RosterListener() = default;
    // The player is listed (the slot filled, the team size counted).
    virtual void playerArrived(PlayerSlot & /*player*/) {}
    // The player is no longer listed; the slot still holds the player until this returns.
    virtual void playerLeft(PlayerSlot & /*player*/) {}
    // Points were added to the player's score.
    virtual void scoreChanged(PlayerSlot & /*player*/, int /*points*/) {}
};

// The live players and teams of a profile.
class Roster {
public:
    // sortKey: the player list's sort key, which every profile of the run shares.
    explicit Roster(const int &sortKey) : m_sortKey(sortKey) {}

    // The player and team lists while the profile is displayed, else nullptr.
    void setView(RosterView *view) { m_view = view; }
    // Listeners are told in the order they were added.
    void addListener(RosterListener &listener) { m_listeners.append(&listener); }

    std::array<PlayerSlot, 128> PlayerSlots;
    std::array<TeamSlot, 8> TeamSlots;
    QList<PlayerSlot *> ConnectedPlayers; // occupied slots in order of arrival
    QList<TeamSlot *> DefinedTeams;       // teams in the order the server reported them

    // The slot of a client id, or nullptr outside 2049..2176.
    PlayerSlot *slot(int clientId);
    const PlayerSlot *slot(int clientId) const;
    // The slot of an occupied client id, or nullptr.
    PlayerSlot *connected(int clientId);

    // Report handlers: "1" player listed, "2" team listed, "B" team score.
    void PlayerListed(const ReportFields &fields);
    void TeamListed(const ReportFields &fields);
    void TeamScore(const ReportFields &fields);

    // A player arrives. A client id outside 2049..2176 empties the player roster and the team
    // sizes instead. A player already listed under the id is updated in place; another
    // player under the id is taken to have left first.
    void AddPlayer(const QString &name, const QString &address, int clientId, int team, int score,
                   int gender);
    // A player leaves: the listeners told, the slot emptied. Ids of unoccupied slots are
    // ignored.
    void RemovePlayer(int clientId);
    void ResetPlayers();
    void ClearScores();
    void ResetTeams();
    void ClearTeamSizes();

    // i is the client index (client id - 2049); indices outside 0..127 change no slot.
    void AddPlayerScore(int i, int points);
    void SetFlagMark(int i, bool mark);
    void SetPlayerTeam(int i, int team);

    // Teams outside 0..7 are ignored, except that DefineTeam empties the team list for them.
    void AddTeamSize(int team, int delta);
    void AddTeamScore(int team, int points);
    void DefineTeam(const QString &name, int team, int score);

    // Attaching and detaching: the views refilled from the roster, or let go.
    void FillPlayerView();
    void ClearPlayerView();
    void FillTeamView();
    void ClearTeamView();

private:
    void relistPlayer(PlayerSlot &p, const QString &address, int team, int score, int gender);
    void sortPlayers(int minimumKey);

    const int &m_sortKey;
    RosterView *m_view = nullptr;
    QList<RosterListener *> m_listeners;
};
