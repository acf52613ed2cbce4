// A scripted match of the demo server recorded over loopback; the table files are then read
// with an independent reader (dbfread) and compared with what the report lines say.
#include "statstest.h"

#include "app/core/profilelist.h"
#include "session/server.h"
#include "simserver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <algorithm>

using namespace stats_testing;
using namespace testing_support;

namespace {

// What the tables must hold after a list of report lines, worked out from the lines alone.
struct Expected {
    struct Player {
        QString name, ip, lastTime;
        int dbId = 0, kills = 0, tkills = 0, deaths = 0, tdeaths = 0, wins = 0, losses = 0,
            ties = 0, score = 0;
    };
    struct KillPair {
        int killer = 0, victim = 0, kills = 0, teamKills = 0;
        std::map<QString, int> causes;
    };
    struct MissionRow {
        int dbId = 0;
        QString mission;
        std::map<QString, int> counts;
    };
    struct Slot {
        bool on = false;
        int team = -1, dbId = 0;
    };

    std::vector<Player> players;
    std::vector<KillPair> kills;
    std::vector<MissionRow> missions;
    std::map<int, Slot> clients;
    std::vector<int> arrivals;
    QString mission;

    Player *byId(int dbId) {
        for (Player &p : players)
            if (p.dbId == dbId) return &p;
        return nullptr;
    }

    void play(const QStringList &lines, const QString &now) {
        static const std::map<QString, QString> flagColumns = {
            {"E", "FLAGDEFEND"}, {"F", "FLAGCAP"},    {"G", "FLAGGRAB"},  {"H", "OBJHOLD"},
            {"I", "FLAGCRDFND"}, {"J", "OBJDEFEND"},  {"O", "OBJCAP"},    {"P", "FLAGDROP"},
            {"R", "FLAGRESCUE"}, {"Y", "OBJFRDSTRY"}, {"Z", "OBJENDSTRY"}};
        static const char *const weapons[] = {"FALL",    "CHAINGUN",  "TURRET", "PLASMA",  "DISC",
                                              "GRENADE", "LASER",     "MORTAR", "BLASTER", "ELF",
                                              "CRUSHED", "EXPLOSION", "ROCKET", "MINE"};
        for (const QString &line : lines) {
            if (!line.startsWith('"')) continue;
            QStringList f = line.mid(1).split('"');
            f.removeLast(); // the text after the last quote
            const QString code = f.value(0);
            const int id = f.value(1).toInt();
            if (code == "C") {
                auto it = std::find_if(players.begin(), players.end(),
                                       [&](const Player &p) { return p.name == f[2]; });
                if (it == players.end()) {
                    players.push_back({f[2], {}, {}, static_cast<int>(players.size()) + 1});
                    it = players.end() - 1;
                }
                it->ip = f[3];
                clients[id] = {true, -1, it->dbId};
                arrivals.push_back(id);
            } else if (code == "A") {
                clients[id].team = f[2].toInt();
            } else if (code == "D") {
                if (Player *p = byId(clients[id].dbId)) p->lastTime = now;
                clients[id] = {false, -1, -1};
                arrivals.erase(std::remove(arrivals.begin(), arrivals.end(), id), arrivals.end());
            } else if (code == "M") {
                mission = f[1];
            } else if (flagColumns.count(code)) {
                const int dbId = clients[id].dbId;
                if (!mission.isEmpty() && dbId >= 1) {
                    auto it = std::find_if(missions.begin(), missions.end(), [&](auto &m) {
                        return m.dbId == dbId && m.mission == mission;
                    });
                    if (it == missions.end()) {
                        missions.push_back({dbId, mission, {}});
                        it = missions.end() - 1;
                    }
                    ++it->counts[flagColumns.at(code)];
                }
                if (Player *p = byId(dbId)) p->score += f[2].toInt();
            } else if (code == "K" || code == "T") {
                const bool killerIsClient = id >= 2049 && id <= 2176;
                const int victim = f[2].toInt();
                const bool suicide = f[3].isEmpty();
                const int weapon = f[3].toInt();
                if (!killerIsClient && (suicide || weapon == 0)) continue; // no sentence
                const bool team = code == "T";
                const int killerDb = killerIsClient ? clients[id].dbId : 0;
                const int victimDb = clients[victim].dbId;
                if (Player *p = byId(killerDb)) ++(team ? p->tkills : p->kills);
                if (Player *p = byId(victimDb)) ++(team ? p->tdeaths : p->deaths);
                auto it = std::find_if(kills.begin(), kills.end(), [&](auto &k) {
                    return k.killer == killerDb && k.victim == victimDb;
                });
                if (it == kills.end()) {
                    kills.push_back({killerDb, victimDb, 0, 0, {}});
                    it = kills.end() - 1;
                }
                ++(team ? it->teamKills : it->kills);
                ++it->causes[suicide ? "SUICIDE"
                                     : (weapon >= 0 && weapon < 14 ? weapons[weapon] : "OTHER")];
                if (killerIsClient)
                    if (Player *p = byId(killerDb))
                        p->score += (id == victim || team) ? -f[4].toInt() : f[4].toInt();
            } else if (code == "S") {
                std::vector<int> scores;
                for (int k = 1; k < f.size() && k <= 8; ++k)
                    scores.push_back(f[k].toInt());
                int best = 0;
                bool tie = false;
                for (int k = 1; k < static_cast<int>(scores.size()); ++k) {
                    if (scores[k] == scores[best])
                        tie = true;
                    else if (scores[k] > scores[best])
                        best = k, tie = false;
                }
                for (int client : arrivals) {
                    const Slot &s = clients[client];
                    if (s.team < 0 || s.team >= static_cast<int>(scores.size())) continue;
                    Player *p = byId(s.dbId);
                    if (!p) continue;
                    if (scores[s.team] != scores[best])
                        ++p->losses;
                    else
                        ++(tie ? p->ties : p->wins);
                }
            }
        }
    }
};

QJsonObject readTables(const QString &directory) {
    QProcess python;
    python.start("/usr/bin/python3", {QStringLiteral(STATS_TABLE_READER), directory});
    if (!python.waitForFinished(60000)) return {};
    const QByteArray err = python.readAllStandardError();
    if (!err.isEmpty()) ADD_FAILURE() << err.constData();
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

class StatsSim : public ::testing::Test {
protected:
    StatsSim() {
        platform::setClockForTesting([] { return at(20, 15, 30); });
        sim::SimOptions options;
        options.match = sim::MatchMode::Scripted;
        options.speed = 0; // lines only when the test steps the match
        options.autoStart = false;
        server = std::make_unique<sim::SimServer>(options);
    }
    ~StatsSim() override { platform::setClockForTesting({}); }

    TempEnv env;
    FakeDialogs dialogs;
    ServerContext context{*env.settings, dialogs};
    ProfileList profiles{context};
    std::unique_ptr<sim::SimServer> server;
};

TEST_F(StatsSim, AScriptedMatchEndsUpInTheTableFiles) {
    ASSERT_TRUE(server->listen());
    TVexmoorServer &p = *profiles.ServerAdd("secret", "127.0.0.1", server->port());
    p.ScriptFile = "vexmoor.cs";
    p.stats().SetStatsEnabled(true);
    RecordingView view;
    p.AttachView(&view);
    p.ToggleConnection();
    ASSERT_TRUE(waitFor([&] { return p.SessionState == TVexmoorServer::Online; }));
    ASSERT_TRUE(waitFor([&] { return !p.prefs().Vars.HostName.isEmpty(); }));

    server->startMatch();
    while (server->stepMatch()) {
    }
    server->sendLine("end of the script");
    ASSERT_TRUE(waitFor([&] { return view.console.contains("end of the script"); }, 20000));
    EXPECT_TRUE(p.stats().PlayersChanged || p.stats().KillsChanged); // not written yet

    p.ToggleConnection(); // the end of the connection commits
    ASSERT_TRUE(waitFor([&] { return p.SessionState == TVexmoorServer::Offline; }));
    EXPECT_FALSE(p.stats().PlayersChanged);
    EXPECT_FALSE(p.stats().KillsChanged);
    EXPECT_FALSE(p.stats().MissionsChanged);
    EXPECT_TRUE(dialogs.messages.isEmpty());

    Expected expected;
    expected.play(server->scriptedLines(), platform::formatDateTime(at(20, 15, 30)));
    ASSERT_EQ(expected.players.size(), 8u);
    ASSERT_GT(expected.kills.size(), 15u);
    ASSERT_GE(expected.missions.size(), 6u);

    const QJsonObject disk = readTables(p.directory());
    const QJsonArray players = disk["Players"].toArray();
    ASSERT_EQ(players.size(), static_cast<int>(expected.players.size()));
    for (int i = 0; i < players.size(); ++i) {
        const QJsonObject r = players[i].toObject();
        const Expected::Player &e = expected.players[static_cast<std::size_t>(i)];
        SCOPED_TRACE(qPrintable(e.name));
        EXPECT_EQ(r["NAME"].toString(), e.name);
        EXPECT_EQ(r["DBID"].toInt(), e.dbId);
        EXPECT_EQ(r["GAMEID"].toInt(), 0);
        EXPECT_EQ(r["CONNECT"].toDouble(), 0.0);
        EXPECT_EQ(r["TOTALTIME"].toDouble(), 0.0);
        EXPECT_EQ(r["LASTTIME"].toString(), e.lastTime);
        EXPECT_EQ(r["IP"].toString(), e.ip);
        EXPECT_EQ(r["KILLS"].toInt(), e.kills);
        EXPECT_EQ(r["TKILLS"].toInt(), e.tkills);
        EXPECT_EQ(r["DEATHS"].toInt(), e.deaths);
        EXPECT_EQ(r["TDEATHS"].toInt(), e.tdeaths);
        EXPECT_EQ(r["WINS"].toInt(), e.wins);
        EXPECT_EQ(r["LOSSES"].toInt(), e.losses);
        EXPECT_EQ(r["TIES"].toInt(), e.ties);
        EXPECT_EQ(r["SCORE"].toInt(), e.score);
        EXPECT_EQ(r["ADJSCORE"].toDouble(), 0.0);
        EXPECT_EQ(r["LAGWHINES"].toInt(), 0);
        EXPECT_EQ(r.size(), 17);
    }

    const QJsonArray kills = disk["Kills"].toArray();
    ASSERT_EQ(kills.size(), static_cast<int>(expected.kills.size()));
    for (int i = 0; i < kills.size(); ++i) {
        const QJsonObject r = kills[i].toObject();
        const Expected::KillPair &e = expected.kills[static_cast<std::size_t>(i)];
        SCOPED_TRACE(i);
        EXPECT_EQ(r["KILLERID"].toInt(), e.killer);
        EXPECT_EQ(r["VICTIMID"].toInt(), e.victim);
        EXPECT_EQ(r["KILLS"].toInt(), e.kills);
        EXPECT_EQ(r["TEAMKILLS"].toInt(), e.teamKills);
        int causes = 0;
        for (const char *cause : Statistics::KillCauses) {
            const QString column = QString::fromLatin1(cause).toUpper();
            const auto it = e.causes.find(column);
            EXPECT_EQ(r[column].toInt(), it == e.causes.end() ? 0 : it->second) << cause;
            causes += r[column].toInt();
        }
        EXPECT_EQ(causes, r["KILLS"].toInt() + r["TEAMKILLS"].toInt());
    }

    const QJsonArray missions = disk["Missions"].toArray();
    ASSERT_EQ(missions.size(), static_cast<int>(expected.missions.size()));
    for (int i = 0; i < missions.size(); ++i) {
        const QJsonObject r = missions[i].toObject();
        const Expected::MissionRow &e = expected.missions[static_cast<std::size_t>(i)];
        SCOPED_TRACE(i);
        EXPECT_EQ(r["DBID"].toInt(), e.dbId);
        EXPECT_EQ(r["MISSION"].toString(), e.mission);
        for (const char *column : Statistics::MissionColumns) {
            const QString name = QString::fromLatin1(column).toUpper();
            const auto it = e.counts.find(name);
            EXPECT_EQ(r[name].toInt(), it == e.counts.end() ? 0 : it->second) << column;
        }
    }

    // The engine reads the files back with the same values.
    p.stats().SetStatsEnabled(false);
    p.stats().SetStatsEnabled(true);
    const std::vector<Row> again = rowsOf(*p.stats().KillsTable);
    ASSERT_EQ(again.size(), static_cast<std::size_t>(kills.size()));
    for (std::size_t i = 0; i < again.size(); ++i)
        for (const auto &[field, value] : again[i].text)
            EXPECT_EQ(
                QString::fromStdString(value),
                QString::number(
                    kills[static_cast<int>(i)].toObject()[QString::fromStdString(field)].toInt()))
                << field;
    p.DetachView();
}

// One table engine holds 33 work areas and a recording profile takes three, so a process once
// recorded for 11 profiles at most. Each profile now has an engine of its own: 40 profiles
// record at once, each its own server's players and kills into its own files.
TEST_F(StatsSim, FortyProfilesRecordAtOnceEachIntoItsOwnTables) {
    constexpr int count = 40;
    std::vector<std::unique_ptr<sim::SimServer>> servers;
    std::vector<TVexmoorServer *> recording;
    for (int i = 0; i < count; ++i) {
        sim::SimOptions options;
        options.speed = 0;
        servers.push_back(std::make_unique<sim::SimServer>(options));
        ASSERT_TRUE(servers.back()->listen());
        TVexmoorServer *p = profiles.ServerAdd("secret", "127.0.0.1", servers.back()->port());
        p->ScriptFile = "vexmoor.cs";
        p->stats().SetStatsEnabled(true);
        ASSERT_TRUE(p->stats().tablesOpen()) << "profile " << i;
        ASSERT_TRUE(p->stats().MissionsTable->Active()) << "profile " << i;
        p->ToggleConnection();
        recording.push_back(p);
    }
    ASSERT_TRUE(waitFor(
        [&] {
            return std::all_of(recording.begin(), recording.end(), [](TVexmoorServer *p) {
                return p->SessionState == TVexmoorServer::Online;
            });
        },
        30000));

    // Server i: its own two players, and i + 1 kills of one by the other.
    for (int i = 0; i < count; ++i) {
        sim::SimServer &server = *servers[static_cast<std::size_t>(i)];
        server.sendLine(QString("\"C\"2100\"Solo%1\"IP:10.0.0.%1:1\"Male\"").arg(i));
        server.sendLine(QString("\"C\"2101\"Foe%1\"IP:10.0.1.%1:1\"Male\"").arg(i));
        for (int k = 0; k <= i; ++k)
            server.sendLine(QStringLiteral("\"K\"2100\"2101\"4\"1\""));
    }
    auto killsOf = [](TVexmoorServer *p) {
        const std::vector<Row> rows = rowsOf(*p->stats().KillsTable);
        return rows.size() == 1 ? rows[0].integer("KILLS") : -1;
    };
    ASSERT_TRUE(waitFor(
        [&] {
            for (int i = 0; i < count; ++i)
                if (killsOf(recording[static_cast<std::size_t>(i)]) != i + 1) return false;
            return true;
        },
        30000));

    for (TVexmoorServer *p : recording)
        p->ToggleConnection(); // the end of each connection commits its tables
    ASSERT_TRUE(waitFor(
        [&] {
            return std::all_of(recording.begin(), recording.end(), [](TVexmoorServer *p) {
                return p->SessionState == TVexmoorServer::Offline;
            });
        },
        30000));
    EXPECT_TRUE(dialogs.messages.isEmpty()) << qPrintable(dialogs.messages.value(0).second);

    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(i);
        const QString dir = recording[static_cast<std::size_t>(i)]->directory();
        const std::vector<Row> players = rowsOnDisk(dir + "/Players.dbf");
        ASSERT_EQ(players.size(), 2u);
        EXPECT_EQ(players[0].str("NAME"), QString("Solo%1").arg(i).toStdString());
        EXPECT_EQ(players[1].str("NAME"), QString("Foe%1").arg(i).toStdString());
        EXPECT_EQ(players[0].integer("KILLS"), i + 1);
        EXPECT_EQ(players[1].integer("DEATHS"), i + 1);
        const std::vector<Row> kills = rowsOnDisk(dir + "/Kills.dbf");
        ASSERT_EQ(kills.size(), 1u);
        EXPECT_EQ(kills[0].integer("KILLS"), i + 1);
        EXPECT_EQ(kills[0].integer("DISC"), i + 1);
    }
}

TEST(StatsReader, ReadsLatinNamesBackFromTheOemFile) {
    platform::setClockForTesting([] { return at(9, 0, 0); });
    {
        ProfileFixture fx;
        TVexmoorServer &p = *fx.profile;
        p.stats().SetStatsEnabled(true);
        p.ClassifyLine(QString::fromLatin1("\"C\"2049\"J\xf6rg \xc4lter\"IP:1\"Male\""));
        p.stats().CommitTables();
        const QJsonObject disk = readTables(p.directory());
        const QJsonArray players = disk["Players"].toArray();
        ASSERT_EQ(players.size(), 1);
        EXPECT_EQ(players[0].toObject()["NAME"].toString(),
                  QString::fromLatin1("J\xf6rg \xc4lter"));
        EXPECT_TRUE(disk["Kills"].isNull());
        EXPECT_NEAR(players[0].toObject()["CONNECT"].toDouble(), at(9, 0, 0), 1e-9);
    }
    platform::setClockForTesting({});
}

} // namespace
