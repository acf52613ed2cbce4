#pragma once

// The game server's side of things as the simulator keeps it: who is connected, the
// teams, the running mission and the console variables. It changes only through the
// report lines the server prints (apply) and the console assignments it receives.

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace sim {

constexpr int FirstClientId = 2049;
constexpr int MaxPlayers = 128;
constexpr int MaxTeams = 8;

struct Player {
    int id = 0;
    QString name;
    QString address;
    QString gender; // "Male" or "Female", as the game reports it
    int team = -1;  // -1 no team, -2 observer
    int score = 0;
};

struct Team {
    QString name;
    int score = 0;
};

struct Ban {
    QString mask;
    QString seconds;
};

class GameState {
public:
    explicit GameState(int teamCount = 2, QStringList missions = {}, int timeLimitMinutes = 25);

    // Mission names the server knows, in rotation order.
    const QStringList &missions() const { return m_missions; }
    QString mission() const { return m_mission; }
    double missionSeconds() const { return m_missionSeconds; }
    // Mission that Server::NextMission() would start: the $nextMission[current] link when
    // set, else the one after the current in the list.
    QString nextMission() const;

    QList<Player> players() const { return m_players; } // in order of arrival
    const Player *player(int id) const;
    int playerCount() const { return int(m_players.size()); }
    QList<Team> teams() const { return m_teams; }
    int teamCount() const { return int(m_teams.size()); }
    // Team a -1 (automatic) pick moves the player to: the smallest other team.
    int autoTeamFor(int id) const;

    // Console variables; names compare without regard to case, as in the game.
    QString variable(const QString &name) const;
    bool hasVariable(const QString &name) const;
    void setVariable(const QString &name, const QString &value);
    QStringList variableNames() const;

    QList<Ban> bans() const { return m_bans; }
    void addBan(const QString &mask, const QString &seconds) { m_bans.append({mask, seconds}); }

    // Brings the state up to date with one report line the server prints.
    void apply(const QString &line);

    // The script's answers: running mission ("Q" 3), team list ("2"), player list ("1")
    // and the preference records ("Q" 0 and "Q" 1).
    QStringList statusReport(double secondsLeft) const;
    QStringList teamsReport() const;
    QStringList playersReport() const;
    QStringList preferencesReport() const;

    static QString defaultTeamName(int team);
    static QStringList defaultMissions();

private:
    int indexOf(int id) const;

    QStringList m_missions;
    QString m_mission;
    double m_missionSeconds = 0;
    QList<Player> m_players;
    QList<Team> m_teams;
    QMap<QString, QPair<QString, QString>> m_vars; // lower-case name -> (name, value)
    QList<Ban> m_bans;
};

} // namespace sim
