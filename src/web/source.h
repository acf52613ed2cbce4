#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace web {

// What the web shows of the profiles of a run. Everything here is public: texts the game
// server sent and figures the profile counted, never the operator's passwords, settings or
// paths. Addresses are "ip:port", the profile's settings section.

struct ServerInfo {
    QString address;
    QString name; // the server's host name, else the address
    QString state;
    QString mission;
    QString missionType;
    int timeLeft = -1; // seconds; -1 when no mission time is known
    int players = 0;
    int maxPlayers = 0;
};

struct TeamInfo {
    int team = 0;
    QString name;
    int size = 0;
    int score = 0;
};

struct PlayerInfo {
    int client = 0;
    QString name;
    int team = -1;
    int score = 0;
    int id = 0; // statistics id, 0 when not recorded
};

struct RosterInfo {
    QList<TeamInfo> teams;
    QList<PlayerInfo> players;
};

struct EventInfo {
    qint64 seq = 0; // 1, 2, ... per profile and run
    QString time;   // hh:nn:ss
    QString text;
    int category = 0;
};

struct MissionInfo {
    QString name;
    QString type;
    bool enabled = true;
    bool current = false;
};

struct ActivityInfo {
    std::array<std::array<double, 24>, 7> hours{}; // weekday 0 = Sunday
    qint64 totalConnections = 0;
    qint64 completedSessions = 0;
    double averagePlayTime = 0; // seconds
    double shortestPlayTime = 0;
    double longestPlayTime = 0;
    QString lastConnection; // mm/dd/yyyy hh:nn:ss, empty when none
    qint64 uptime = -1;     // seconds since the session started; -1 offline
    int playersThisHour = 0;
};

// One row of the Players table.
struct Standing {
    qint32 id = 0;
    QString name;
    qint64 kills = 0;
    qint64 deaths = 0;
    qint64 teamKills = 0;
    qint64 teamDeaths = 0;
    qint64 score = 0;
    qint64 wins = 0;
    qint64 losses = 0;
    qint64 ties = 0;
    double hours = 0; // total play time
    QString lastSeen;
};

// The leaderboard's orders.
enum class SortKey { Kills, Deaths, TeamKills, Score, Wins, Losses, Time, KillsPerDeath };

// One page of the leaderboard: the rows that match, highest first (equal figures by id), and
// how many match in all.
struct LeaderPage {
    qint64 total = 0;
    QList<Standing> rows;
};

struct NamedCount {
    QString name;
    qint64 count = 0;
};

struct Opponent {
    qint32 id = 0; // 0: the world
    QString name;
    qint64 count = 0;
};

struct PlayerMission {
    QString mission;
    QList<NamedCount> counts; // the non-zero event columns
};

struct PlayerDetail {
    Standing figures;
    bool online = false;
    QList<NamedCount> weapons; // kills by cause, most first
    QList<Opponent> victims;   // killed most, most first (at most 10)
    QList<Opponent> killers;   // killed by most, most first (at most 10)
    QList<PlayerMission> missions;
};

// The read interface the web serves from. An implementation lives on the profiles' thread;
// every call is quick and copies what it answers. It tells of changes by its signals.
class Source : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~Source() override = default;

    virtual QList<ServerInfo> servers() const = 0;
    virtual std::optional<ServerInfo> server(const QString &address) const = 0;
    virtual RosterInfo roster(const QString &address) const = 0;
    // The entries after seq (the newest 100 at most), oldest first; last: the newest seq.
    virtual QList<EventInfo> events(const QString &address, qint64 after, qint64 &last) const = 0;
    virtual QList<MissionInfo> rotation(const QString &address) const = 0;
    virtual ActivityInfo activity(const QString &address) const = 0;
    // The Players table ranked by key (empty without statistics): limit rows from offset of
    // those whose name holds search (letter case aside; empty: all).
    virtual LeaderPage leaderboard(const QString &address, SortKey key, qint64 offset, qint64 limit,
                                   const QString &search) const = 0;
    virtual std::optional<PlayerDetail> player(const QString &address, qint32 id) const = 0;

signals:
    // A profile was added, removed or renamed.
    void serverListChanged();
    // The profile's state, roster, mission or figures may have changed.
    void serverChanged(const QString &address);
    void eventAdded(const QString &address, const web::EventInfo &event);
};

} // namespace web
