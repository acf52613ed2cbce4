// Recording into the statistics tables, driven by report lines where the handlers exist.
#include "statstest.h"

#include "session/server.h"

using namespace stats_testing;

namespace {

class Recording : public StatsTest {
protected:
    void SetUp() override { stats().SetStatsEnabled(true); }
};

int killsRowSumOfCauses(const Row &row) {
    int sum = 0;
    for (const char *cause : Statistics::KillCauses) {
        std::string upper(cause);
        for (char &c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        sum += row.integer(upper);
    }
    return sum;
}

TEST_F(Recording, ConnectAndDisconnectAccountTheTimeBetween) {
    connect(2049, "Alpha", "IP:10.1.2.3:28001");
    ASSERT_EQ(players().size(), 1u);
    Row r = players()[0];
    EXPECT_EQ(r.str("NAME"), "Alpha");
    EXPECT_EQ(r.integer("DBID"), 1);
    EXPECT_EQ(r.integer("GAMEID"), 2049);
    EXPECT_NEAR(r.num("CONNECT"), clock, 1e-9);
    EXPECT_EQ(r.str("IP"), "IP:10.1.2.3:28001");
    EXPECT_EQ(setting("dbID"), "1");
    EXPECT_EQ(p().roster().slot(2049)->DbId, 1);
    EXPECT_TRUE(stats().PlayersChanged);

    clock += 90 * Minute;
    disconnect(2049);
    r = players()[0];
    EXPECT_NEAR(r.num("TOTALTIME"), 0.0625, 1e-9);
    EXPECT_EQ(r.num("CONNECT"), 0);
    EXPECT_EQ(r.integer("GAMEID"), 0);
    EXPECT_EQ(r.str("LASTTIME"), "03/06/2024 22:30:00");

    // The same name comes back on another id: the same row, the time so far kept.
    clock += 10 * Minute;
    connect(2060, "Alpha", "IP:10.9.9.9:1");
    ASSERT_EQ(players().size(), 1u);
    r = players()[0];
    EXPECT_EQ(r.integer("DBID"), 1);
    EXPECT_EQ(r.integer("GAMEID"), 2060);
    EXPECT_EQ(r.str("IP"), "IP:10.9.9.9:1");
    EXPECT_NEAR(r.num("TOTALTIME"), 0.0625, 1e-9);
    EXPECT_EQ(setting("dbID"), "1");

    // A second connect report for a connected row overwrites Connect without counting.
    clock += 30 * Minute;
    connect(2061, "Alpha");
    EXPECT_NEAR(players()[0].num("TOTALTIME"), 0.0625, 1e-9);
    EXPECT_NEAR(players()[0].num("CONNECT"), clock, 1e-9);
}

TEST_F(Recording, ADisconnectOfAnUnregisteredPlayerChangesNothing) {
    // Connected while recording was off: the slot has no row.
    stats().SetStatsEnabled(false);
    connect(2049, "Ghost");
    stats().SetStatsEnabled(true); // registers the connected players
    ASSERT_EQ(players().size(), 1u);
    connect(2050, "Beta");
    stats().CommitTables();
    p().roster().slot(2050)->DbId = 0; // as after a roster reset
    disconnect(2050);
    EXPECT_FALSE(stats().PlayersChanged);
    EXPECT_EQ(players()[1].integer("GAMEID"), 2050);
    // A search that found nothing leaves the dataset on the last row, at its end.
    EXPECT_TRUE(stats().PlayersTable->Eof());
    EXPECT_EQ(stats().PlayersTable->RecNo(), 2);
}

TEST_F(Recording, KillsCountByCauseWithTheRowInvariant) {
    listed(2049, "Kim", 0);
    listed(2050, "Rex", 1);
    listed(2051, "Nova", 0);
    kill(2049, 2050, "4");         // disc
    kill(2049, 2050, "4");         // disc again: same pair row
    kill(2049, 2050, "12");        // rocket
    kill(2050, 2049, "1");         // chaingun the other way round
    kill(2049, 2051, "7", 1, "T"); // team kill with the mortar
    kill(2050, 2050, "", 1);       // suicide
    kill(2051, 2051, "5", 1);      // own grenade
    kill(2049, 2050, "99", 1);     // an unknown weapon
    kill(-1, 2051, "11", 0);       // the world: an explosion

    const std::vector<Row> p = players();
    ASSERT_EQ(p.size(), 3u);
    // Kim: 4 kills, 1 team kill, 1 death.
    EXPECT_EQ(p[0].integer("KILLS"), 4);
    EXPECT_EQ(p[0].integer("TKILLS"), 1);
    EXPECT_EQ(p[0].integer("DEATHS"), 1);
    EXPECT_EQ(p[0].integer("TDEATHS"), 0);
    // Rex: killed Kim once and himself once; died 4 times to Kim and once to himself.
    EXPECT_EQ(p[1].integer("KILLS"), 2);
    EXPECT_EQ(p[1].integer("DEATHS"), 5);
    // Nova: one own kill, deaths by herself and the world, one team death.
    EXPECT_EQ(p[2].integer("KILLS"), 1);
    EXPECT_EQ(p[2].integer("DEATHS"), 2);
    EXPECT_EQ(p[2].integer("TDEATHS"), 1);

    const std::vector<Row> k = kills();
    ASSERT_EQ(k.size(), 6u);
    auto pairRow = [&](int killer, int victim) -> const Row * {
        for (const Row &r : k)
            if (r.integer("KILLERID") == killer && r.integer("VICTIMID") == victim) return &r;
        return nullptr;
    };
    const Row *kimRex = pairRow(1, 2);
    ASSERT_TRUE(kimRex);
    EXPECT_EQ(kimRex->integer("KILLS"), 4);
    EXPECT_EQ(kimRex->integer("DISC"), 2);
    EXPECT_EQ(kimRex->integer("ROCKET"), 1);
    EXPECT_EQ(kimRex->integer("OTHER"), 1);
    ASSERT_TRUE(pairRow(2, 1));
    EXPECT_EQ(pairRow(2, 1)->integer("CHAINGUN"), 1);
    const Row *team = pairRow(1, 3);
    ASSERT_TRUE(team);
    EXPECT_EQ(team->integer("TEAMKILLS"), 1);
    EXPECT_EQ(team->integer("KILLS"), 0);
    EXPECT_EQ(team->integer("MORTAR"), 1);
    const Row *suicide = pairRow(2, 2);
    ASSERT_TRUE(suicide);
    EXPECT_EQ(suicide->integer("SUICIDE"), 1);
    EXPECT_EQ(suicide->integer("KILLS"), 1);
    ASSERT_TRUE(pairRow(3, 3));
    EXPECT_EQ(pairRow(3, 3)->integer("GRENADE"), 1);
    const Row *world = pairRow(0, 3);
    ASSERT_TRUE(world);
    EXPECT_EQ(world->integer("EXPLOSION"), 1);
    for (const Row &r : k)
        EXPECT_EQ(r.integer("KILLS") + r.integer("TEAMKILLS"), killsRowSumOfCauses(r));

    // Scores: plain kills count, suicides and team kills cost the points.
    EXPECT_EQ(p[0].integer("SCORE"), 3 + 1 - 1);
    EXPECT_EQ(p[1].integer("SCORE"), 1 - 1);
    EXPECT_EQ(p[2].integer("SCORE"), -1);
}

TEST_F(Recording, KillsMarkThePlayersTableChanged) {
    listed(2049, "Kim", 0);
    listed(2050, "Rex", 1);
    stats().CommitTables();
    ASSERT_FALSE(stats().PlayersChanged);
    kill(2049, 2050, "4", 0); // no points: only the kill and the death change the row
    EXPECT_TRUE(stats().PlayersChanged);
    EXPECT_TRUE(stats().KillsChanged);
    stats().CommitTables();
    const std::vector<Row> disk = rowsOnDisk(file("Players.dbf"));
    ASSERT_EQ(disk.size(), 2u);
    EXPECT_EQ(disk[0].integer("KILLS"), 1);
    EXPECT_EQ(disk[1].integer("DEATHS"), 1);
    EXPECT_EQ(rowsOnDisk(file("Kills.dbf")).size(), 1u);
}

TEST_F(Recording, TrackKillsOffKeepsTheCountersButNotTheScore) {
    listed(2049, "Kim", 0);
    listed(2050, "Rex", 1);
    stats().SetTrackKills(false);
    EXPECT_EQ(setting("TrackKills"), "0");
    kill(2049, 2050, "4", 2);
    EXPECT_EQ(players()[0].integer("KILLS"), 0);
    EXPECT_EQ(players()[1].integer("DEATHS"), 0);
    EXPECT_EQ(players()[0].integer("SCORE"), 2);
    EXPECT_TRUE(kills().empty());
    stats().SetTrackKills(true);
    EXPECT_EQ(setting("TrackKills"), "1");
    kill(2049, 2050, "4", 2);
    EXPECT_EQ(players()[0].integer("KILLS"), 1);
}

TEST_F(Recording, MissionEventsCountOnceTheMissionIsNamed) {
    listed(2049, "Kim", 0);
    listed(2050, "Rex", 1);
    report({"G", "2049", "3"}); // before any mission start
    EXPECT_TRUE(missions().empty());
    EXPECT_EQ(players()[0].integer("SCORE"), 3);

    report({"M", "Raindance", "1500"});
    report({"G", "2049", "0"});
    report({"G", "2049", "0"});
    report({"F", "2049", "10"});
    report({"Z", "2050", "5"});
    report({"M", "Broadside", "1500"});
    report({"G", "2049", "0"});
    std::vector<Row> m = missions();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].integer("DBID"), 1);
    EXPECT_EQ(m[0].str("MISSION"), "Raindance");
    EXPECT_EQ(m[0].integer("FLAGGRAB"), 2);
    EXPECT_EQ(m[0].integer("FLAGCAP"), 1);
    EXPECT_EQ(m[1].integer("DBID"), 2);
    EXPECT_EQ(m[1].integer("OBJENDSTRY"), 1);
    EXPECT_EQ(m[2].str("MISSION"), "Broadside");
    EXPECT_EQ(m[2].integer("FLAGGRAB"), 1);
    EXPECT_EQ(players()[0].integer("SCORE"), 13);
    EXPECT_EQ(players()[1].integer("SCORE"), 5);

    stats().SetTrackMissions(false);
    EXPECT_EQ(setting("TrackMissions"), "0");
    report({"G", "2049", "1"});
    EXPECT_EQ(missions()[2].integer("FLAGGRAB"), 1);
    EXPECT_EQ(players()[0].integer("SCORE"), 14);
}

TEST_F(Recording, ALongMissionNameKeepsOneRow) {
    listed(2049, "Kim", 0);
    const QString longName = QString(45, QLatin1Char('M')) + "xyz";
    report({"M", longName, "1500"});
    report({"G", "2049", "0"});
    report({"G", "2049", "0"});
    report({"P", "2049", "0"});
    const std::vector<Row> m = missions();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].str("MISSION"), std::string(40, 'M'));
    EXPECT_EQ(m[0].integer("FLAGGRAB"), 2);
    EXPECT_EQ(m[0].integer("FLAGDROP"), 1);
}

TEST_F(Recording, MissionEventsOfUnregisteredPlayersAreNotCounted) {
    connect(2049, "Kim");
    report({"M", "Raindance", "1500"});
    p().roster().slot(2049)->DbId = 0;
    report({"G", "2049", "0"});
    EXPECT_TRUE(missions().empty());
    stats().RecordMissionEvent(2049, "Raindance", "NoSuchColumn");
    stats().RecordMissionEvent(3000, "Raindance", "FlagGrab");
    EXPECT_TRUE(missions().empty());
    EXPECT_TRUE(fx->dialogs.messages.isEmpty());
}

TEST_F(Recording, MatchResultsCountWinsLossesAndTies) {
    listed(2049, "Kim", 0);
    listed(2050, "Rex", 1);
    listed(2051, "Nova", 2);
    listed(2052, "Watcher", -2);
    stats().CommitTables();
    report({"S", "3", "5", "5"});
    std::vector<Row> r = players();
    EXPECT_EQ(r[0].integer("LOSSES"), 1);
    EXPECT_EQ(r[1].integer("TIES"), 1);
    EXPECT_EQ(r[2].integer("TIES"), 1);
    EXPECT_TRUE(stats().PlayersChanged);
    report({"S", "5", "3"});
    r = players();
    EXPECT_EQ(r[0].integer("WINS"), 1);
    EXPECT_EQ(r[1].integer("LOSSES"), 1);
    // Nova's team has no score in a two-team result; the observer never plays.
    EXPECT_EQ(r[2].integer("WINS") + r[2].integer("LOSSES") + r[2].integer("TIES"), 1);
    EXPECT_EQ(r[3].integer("WINS") + r[3].integer("LOSSES") + r[3].integer("TIES"), 0);
    report({"S", "7"}); // one team: it wins alone
    EXPECT_EQ(players()[0].integer("WINS"), 2);
}

TEST_F(Recording, ARepeatedArrivalIsOnePlayerWhoIsCreditedOnce) {
    // The arrival, then the listing of the same player; "C" and "1" again; a new occupant of
    // the id whose departure went unseen.
    report({"2", "0", "0", "Blue"});
    report({"2", "1", "0", "Red"});
    report({"C", "2049", "Kim", "IP:10.0.0.9:9", "Female"});
    listed(2049, "Kim", 0);
    listed(2049, "Kim", 0);
    report({"C", "2049", "Kim", "IP:10.0.0.9:9", "Female"});
    listed(2049, "Kim", 0);
    listed(2050, "Rex", 1);
    listed(2050, "Nova", 1);
    const Roster &roster = fx->profile->roster();
    EXPECT_EQ(roster.ConnectedPlayers.size(), 2);
    EXPECT_EQ(roster.TeamSlots[0].Size, 1);
    EXPECT_EQ(roster.TeamSlots[1].Size, 1);
    report({"S", "5", "3"});
    const std::vector<Row> r = players();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].integer("WINS"), 1);
    EXPECT_EQ(r[1].integer("LOSSES"), 0); // Rex left before the result
    EXPECT_EQ(r[2].integer("LOSSES"), 1);
    disconnect(2049);
    EXPECT_EQ(roster.ConnectedPlayers.size(), 1);
    EXPECT_EQ(roster.TeamSlots[0].Size, 0);
}

TEST_F(Recording, NormalizeTwiceAddsOnlyTheTimeSinceTheFirst) {
    connect(2049, "Kim");
    clock += 60 * Minute;
    stats().Normalize();
    Row r = players()[0];
    EXPECT_NEAR(r.num("TOTALTIME"), 1.0 / 24, 1e-9);
    EXPECT_NEAR(r.num("CONNECT"), clock, 1e-9);
    EXPECT_EQ(r.integer("GAMEID"), 2049);
    clock += 30 * Minute;
    stats().Normalize();
    EXPECT_NEAR(players()[0].num("TOTALTIME"), 1.5 / 24, 1e-9);
    // A player who left is not registered again.
    disconnect(2049);
    clock += 30 * Minute;
    stats().Normalize();
    EXPECT_NEAR(players()[0].num("TOTALTIME"), 1.5 / 24, 1e-9);
    EXPECT_EQ(players()[0].num("CONNECT"), 0);
}

TEST_F(Recording, PlayersAreMatchedByTheirWholeNameAndCase) {
    connect(2049, "Bobby");
    connect(2050, "Bob");
    connect(2051, "bob");
    connect(2052, "Bob ");
    const std::vector<Row> r = players();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[1].str("NAME"), "Bob");
    EXPECT_EQ(p().roster().slot(2050)->DbId, 2);
    EXPECT_EQ(p().roster().slot(2051)->DbId, 3);
    // Trailing blanks do not survive in the table: the name is the same row.
    EXPECT_EQ(p().roster().slot(2052)->DbId, 2);
}

TEST_F(Recording, LongNamesKeepTheirRow) {
    const QString longName = "AVeryLongPlayerNameThatGoesOnAndOn"; // 34 characters
    connect(2049, longName);
    disconnect(2049);
    connect(2050, longName);
    const std::vector<Row> r = players();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].str("NAME"), longName.left(30).toStdString());
    EXPECT_EQ(p().roster().slot(2050)->DbId, 1);
    EXPECT_EQ(setting("dbID"), "1");
}

TEST_F(Recording, IdsAreNeverHandedOutTwice) {
    connect(2049, "One");
    connect(2050, "Two");
    connect(2051, "Three");
    settings().write(p().section(), "dbID", "abc");
    connect(2052, "Four");
    EXPECT_EQ(p().roster().slot(2052)->DbId, 4);
    settings().write(p().section(), "dbID", "0");
    connect(2053, "Five");
    EXPECT_EQ(p().roster().slot(2053)->DbId, 5);
    settings().eraseSection(p().section());
    connect(2054, "Six");
    EXPECT_EQ(p().roster().slot(2054)->DbId, 6);
    EXPECT_EQ(setting("dbID"), "6");
    // A setting ahead of the table wins.
    settings().write(p().section(), "dbID", "41");
    connect(2055, "Seven");
    EXPECT_EQ(p().roster().slot(2055)->DbId, 42);
}

TEST_F(Recording, TheCursorStandsWhereASearchWouldLeaveIt) {
    connect(2049, "Kim");
    connect(2050, "Rex");
    connect(2051, "Nova");
    StatsTable &t = *stats().PlayersTable;
    stats().RecordScore(2050, 5);
    EXPECT_EQ(t.RecNo(), 2);
    EXPECT_FALSE(t.Eof());
    connect(2052, "Kim"); // found: the dataset is on Kim's row
    EXPECT_EQ(t.RecNo(), 1);
    connect(2053, "Zed"); // appended: on the new row
    EXPECT_EQ(t.RecNo(), 4);
    p().roster().slot(2051)->DbId = 77;
    stats().RecordScore(2051, 1); // not found: last row, at the end
    EXPECT_EQ(t.RecNo(), 4);
    EXPECT_TRUE(t.Eof());
}

TEST_F(Recording, ClearWithPlayersConnectedRestartsTheIds) {
    connect(2049, "Old");
    disconnect(2049);
    connect(2050, "Bravo");
    connect(2051, "Alpha");
    connect(2052, "Bravo"); // a second slot with a name already seen
    kill(2050, 2051, "4");
    report({"M", "Raindance", "1500"});
    report({"G", "2050", "1"});
    stats().CommitTables();
    ASSERT_EQ(rowsOnDisk(file("Players.dbf")).size(), 3u);

    clock += 5 * Minute;
    fx->dialogs.confirmAnswers = {false};
    EXPECT_FALSE(stats().ConfirmAndClear());
    EXPECT_EQ(players().size(), 3u);

    p().prefs().Vars.HostName = "My Server";
    fx->dialogs.confirmAnswers = {true};
    EXPECT_TRUE(stats().ConfirmAndClear());
    EXPECT_EQ(fx->dialogs.questions.last(),
              "Are you absolutely sure you want to clear the Vexmoor Database for My Server?");
    EXPECT_TRUE(rowsOnDisk(file("Players.dbf")).empty());
    EXPECT_TRUE(rowsOnDisk(file("Kills.dbf")).empty());
    EXPECT_TRUE(rowsOnDisk(file("Missions.dbf")).empty());
    EXPECT_EQ(setting("dbID"), "2");
    const std::vector<Row> r = players();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].str("NAME"), "Bravo");
    EXPECT_EQ(r[0].integer("DBID"), 1);
    EXPECT_EQ(r[1].str("NAME"), "Alpha");
    EXPECT_EQ(r[1].integer("DBID"), 2);
    EXPECT_NEAR(r[0].num("CONNECT"), clock, 1e-9);
    EXPECT_EQ(r[0].num("TOTALTIME"), 0);
    EXPECT_TRUE(kills().empty());
    EXPECT_TRUE(missions().empty());
    EXPECT_EQ(p().roster().slot(2052)->DbId, 1);
    // The new rows reach the disk with the next commit; recording goes on as before.
    kill(2051, 2052, "4");
    stats().CommitTables();
    EXPECT_EQ(rowsOnDisk(file("Players.dbf")).size(), 2u);
    const std::vector<Row> k = rowsOnDisk(file("Kills.dbf"));
    ASSERT_EQ(k.size(), 1u);
    EXPECT_EQ(k[0].integer("KILLERID"), 2);
    EXPECT_EQ(k[0].integer("VICTIMID"), 1);
}

TEST_F(Recording, TheEndOfTheConnectionCountsEveryOpenConnection) {
    connect(2049, "Kim");
    connect(2050, "Rex");
    clock += 20 * Minute;
    p().SocketDisconnect();
    EXPECT_FALSE(stats().PlayersChanged); // committed
    const std::vector<Row> disk = rowsOnDisk(file("Players.dbf"));
    ASSERT_EQ(disk.size(), 2u);
    for (const Row &r : disk) {
        EXPECT_NEAR(r.num("TOTALTIME"), 20 * Minute, 1e-9);
        EXPECT_EQ(r.num("CONNECT"), 0);
        EXPECT_EQ(r.integer("GAMEID"), 0);
    }
}

} // namespace
