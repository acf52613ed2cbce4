// The player and team roster: "1", "2" and "B" records, arrivals and departures with their
// figures, the sort order, and what reaches the view.
#include "gamefixture.h"

using namespace game_testing;

namespace {

PlayerSlot named(const QString &name, int team = -1, int score = 0) {
    PlayerSlot p;
    p.Name = name;
    p.Team = team;
    p.Score = score;
    return p;
}

// --- pure helpers ----------------------------------------------------------------------

TEST(SpokenNameTest, BlanksEveryPunctuationMarkAndLowersOnlyAsciiLetters) {
    EXPECT_EQ(BlankChars(QStringLiteral("!@#$%^&*()-_=+[]{}\\|:;<>/")), QString(25, u' '));
    EXPECT_EQ(BlankChars(QStringLiteral("a.b,c?d'e\"f~g")), QStringLiteral("a.b,c?d'e\"f~g"));
    EXPECT_EQ(SpokenName(QStringLiteral("[BoB]-Kim_2")), QStringLiteral(" bob  kim 2"));
    EXPECT_EQ(SpokenName(QStringLiteral("ÄÖ Zed")), QStringLiteral("ÄÖ zed"));
    EXPECT_EQ(SpokenName(QString()), QString());
}

TEST(GenderTest, OnlyTheExactWordFemaleIsFemale) {
    EXPECT_EQ(genderOf(QStringLiteral("Female")), 0);
    EXPECT_EQ(genderOf(QStringLiteral("female")), 1);
    EXPECT_EQ(genderOf(QStringLiteral("Male")), 1);
    EXPECT_EQ(genderOf(QString()), 1);
}

TEST(ComparePlayersTest, NameOrderIgnoresAsciiCaseAndPutsPrefixesFirst) {
    EXPECT_LT(comparePlayers(named("abc"), named("ABD"), 0), 0);
    EXPECT_EQ(comparePlayers(named("kim"), named("KIM"), 0), 0);
    EXPECT_LT(comparePlayers(named("Kim"), named("Kimberly"), 0), 0);
    EXPECT_GT(comparePlayers(named("Kimberly"), named("kim"), 0), 0);
    // By character code: "[" (91) lies between "Z" and "a", but a..z count as A..Z.
    EXPECT_LT(comparePlayers(named("Zed"), named("[x]"), 0), 0);
    EXPECT_LT(comparePlayers(named("zed"), named("[x]"), 0), 0);
}

TEST(ComparePlayersTest, KeysAddTeamAndScoreBeforeTheName) {
    const PlayerSlot a = named("Ann", 1, 5), b = named("Bob", 0, 5), c = named("Cid", 0, 9);
    EXPECT_LT(comparePlayers(a, b, 0), 0); // name only
    EXPECT_GT(comparePlayers(a, b, 1), 0); // lower team first
    EXPECT_GT(comparePlayers(a, b, 2), 0); // equal scores: team decides
    EXPECT_LT(comparePlayers(c, b, 2), 0); // higher score first
    EXPECT_GT(comparePlayers(b, c, 2), 0);
    EXPECT_LT(comparePlayers(named("Obs", -2), named("Non", -1), 1), 0);
    EXPECT_LT(comparePlayers(c, b, 5), 0); // keys above 2 sort as 2
}

// --- player records --------------------------------------------------------------------

using RosterTest = GameTest;

TEST_F(RosterTest, PlayerRecordFillsTheSlotAndCountsAnArrival) {
    team(1, QStringLiteral("Red"));
    view.calls.clear();
    report({"1", "2050", "Kim", "10.1.2.3:28001", "1", "12", "Female"});
    const PlayerSlot &p = slot(2050);
    EXPECT_EQ(p.Name, QStringLiteral("Kim"));
    EXPECT_EQ(p.Address, QStringLiteral("10.1.2.3:28001"));
    EXPECT_EQ(p.Gender, 0);
    EXPECT_EQ(p.Team, 1);
    EXPECT_EQ(p.Score, 12);
    EXPECT_EQ(p.ClientId, 2050);
    EXPECT_FALSE(p.HasFlag);
    EXPECT_EQ(p.ConnectTime, clock);
    EXPECT_EQ(p.SpokenName, QStringLiteral("kim"));
    EXPECT_TRUE(p.ListItem);
    EXPECT_EQ(roster().ConnectedPlayers, QList<PlayerSlot *>{&slot(2050)});
    EXPECT_EQ(roster().TeamSlots[1].Size, 1);
    EXPECT_EQ(figures().TotalConnections, 1);
    EXPECT_EQ(figures().LastConnection, clock);
    EXPECT_EQ(figures().NamesThisHour, QStringList{"Kim"});
    EXPECT_EQ(view.calls, (QStringList{"addPlayer Kim", "redrawTeam Red", "sort 1"}));
    EXPECT_EQ(view.chartUpdates, 1);
    EXPECT_EQ(view.figures.Total, QStringLiteral("1"));
    EXPECT_EQ(view.figures.Current, QStringLiteral("1"));
    EXPECT_EQ(view.figures.Last, QStringLiteral("03/06/2024\n21:07:45"));
    // Before any departure the play-time labels stay empty.
    EXPECT_TRUE(view.figures.Low.isEmpty());
    EXPECT_TRUE(view.figures.High.isEmpty());
    EXPECT_TRUE(view.figures.Average.isEmpty());
    EXPECT_TRUE(sentences.empty()); // a listed player is no event
}

TEST_F(RosterTest, PlayerRecordWithAnUnconvertibleFieldIsIgnored) {
    report({"1", "20x0", "Kim", "a", "0", "0", "Male"});
    report({"1", "2050", "Kim", "a", "red", "0", "Male"});
    report({"1", "2050", "Kim", "a", "0", "", "Male"});
    report({"1", "2050", "Kim", "a", "0"}); // the score field is missing
    EXPECT_TRUE(roster().ConnectedPlayers.isEmpty());
    EXPECT_EQ(figures().TotalConnections, 0);
}

TEST_F(RosterTest, PlayerRecordOutsideTheClientIdsEmptiesThePlayerRoster) {
    team(0, QStringLiteral("Blue"));
    report({"1", "2050", "Kim", "a", "0", "3", "Female"});
    report({"1", "2176", "Bob", "b", "0", "1", "Male"});
    ASSERT_EQ(roster().TeamSlots[0].Size, 2);
    view.calls.clear();
    report({"1", "2177", "Ghost", "c", "0", "0", "Male"});
    EXPECT_TRUE(roster().ConnectedPlayers.isEmpty());
    EXPECT_TRUE(slot(2050).Name.isEmpty());
    EXPECT_EQ(slot(2050).ClientId, 1); // a reset slot holds its own index
    EXPECT_EQ(slot(2176).Team, -1);
    EXPECT_EQ(roster().TeamSlots[0].Size, 0);
    EXPECT_EQ(roster().TeamSlots[0].Name, QStringLiteral("Blue")); // teams stay defined
    EXPECT_EQ(view.calls, (QStringList{"clearPlayers", "repaintTeams"}));
    EXPECT_EQ(figures().TotalConnections, 2); // figures are never reset
    report({"1", "2048", "Ghost", "c", "0", "0", "Male"});
    EXPECT_TRUE(roster().ConnectedPlayers.isEmpty());
}

TEST_F(RosterTest, ArrivalsAddEachNameOncePerHourWhateverTheCase) {
    connect(2050, QStringLiteral("kim"));
    connect(2051, QStringLiteral("KIM"));
    connect(2052, QStringLiteral("Al"));
    EXPECT_EQ(figures().NamesThisHour, (QStringList{"Al", "kim"}));
    EXPECT_EQ(figures().TotalConnections, 3);
}

TEST_F(RosterTest, AnotherNameOnAnOccupiedSlotReplacesTheFirstOccupant) {
    connect(2050, QStringLiteral("Kim"));
    connect(2050, QStringLiteral("Kimmy")); // Kim left without a departure report
    EXPECT_EQ(roster().ConnectedPlayers, QList<PlayerSlot *>{&slot(2050)});
    EXPECT_EQ(slot(2050).Name, QStringLiteral("Kimmy"));
    EXPECT_EQ(view.rows.size(), 1);
    EXPECT_EQ(figures().TotalConnections, 2);
    EXPECT_EQ(figures().CompletedSessions, 1);
    report({"D", "2050"});
    EXPECT_TRUE(roster().ConnectedPlayers.isEmpty());
    EXPECT_TRUE(view.rows.isEmpty());
    EXPECT_EQ(figures().CompletedSessions, 2);
}

// --- departures and play-time figures ------------------------------------------------------

TEST_F(RosterTest, DeparturesKeepThePlayTimeFigures) {
    team(0, QStringLiteral("Blue"));
    report({"1", "2050", "Kim", "a", "0", "0", "Female"});
    clock = at(22, 7, 45); // Kim stayed one hour
    report({"D", "2050"});
    EXPECT_EQ(figures().CompletedSessions, 1);
    EXPECT_NEAR(figures().TotalPlayTime, 1.0 / 24, 1e-9);
    EXPECT_NEAR(figures().ShortestPlayTime, 1.0 / 24, 1e-9); // the first sets both
    EXPECT_NEAR(figures().LongestPlayTime, 1.0 / 24, 1e-9);
    EXPECT_EQ(view.figures.Low, QStringLiteral("01:00:00"));
    EXPECT_EQ(view.figures.High, QStringLiteral("01:00:00"));
    EXPECT_EQ(view.figures.Average, QStringLiteral("01:00:00"));
    EXPECT_EQ(view.figures.Current, QStringLiteral("0"));
    EXPECT_EQ(roster().TeamSlots[0].Size, 0);

    clock = at(22, 8, 0);
    connect(2051, QStringLiteral("Bob"));
    clock = at(22, 10, 0); // Bob stayed two minutes
    report({"D", "2051"});
    EXPECT_EQ(figures().CompletedSessions, 2);
    EXPECT_EQ(view.figures.Low, QStringLiteral("00:02:00"));
    EXPECT_EQ(view.figures.High, QStringLiteral("01:00:00"));
    EXPECT_EQ(view.figures.Average, QStringLiteral("00:31:00"));
    EXPECT_EQ(view.figures.Current, QStringLiteral("0"));
}

TEST_F(RosterTest, DepartureEmptiesTheSlotButKeepsGenderClientIdAndSpokenName) {
    connect(2050, QStringLiteral("[K]im"), QStringLiteral("Female"));
    report({"D", "2050"});
    const PlayerSlot &p = slot(2050);
    EXPECT_TRUE(p.Name.isEmpty());
    EXPECT_TRUE(p.Address.isEmpty());
    EXPECT_EQ(p.Team, -1);
    EXPECT_EQ(p.Score, 0);
    EXPECT_EQ(p.DbId, -1);
    EXPECT_FALSE(p.HasFlag);
    EXPECT_EQ(p.ConnectTime, 0);
    EXPECT_FALSE(p.ListItem);
    EXPECT_EQ(p.Gender, 0);
    EXPECT_EQ(p.ClientId, 2050);
    EXPECT_EQ(p.SpokenName, QStringLiteral(" k im"));
    EXPECT_EQ(view.count(QStringLiteral("removePlayer 2050")), 1);
}

TEST_F(RosterTest, DepartureOfAnUnoccupiedSlotChangesNothing) {
    connect(2050, QStringLiteral("Kim"));
    view.calls.clear();
    view.figureUpdates = 0;
    report({"D", "2060"});
    report({"D", "2200"});
    report({"D", "abc"});
    roster().RemovePlayer(2061);
    EXPECT_EQ(figures().CompletedSessions, 0);
    EXPECT_EQ(figures().TotalPlayTime, 0);
    EXPECT_EQ(figures().ShortestPlayTime, 999999.0);
    EXPECT_EQ(figures().LongestPlayTime, 0);
    EXPECT_EQ(roster().ConnectedPlayers.size(), 1);
    EXPECT_TRUE(view.calls.isEmpty());
    EXPECT_EQ(view.figureUpdates, 0);
    EXPECT_EQ(sentences.size(), 1u); // only the connect
}

TEST_F(RosterTest, DetachedRosterKeepsCountingWithoutAView) {
    p().DetachView();
    view.calls.clear();
    connect(2050, QStringLiteral("Kim"));
    report({"G", "2050", "5"});
    report({"D", "2050"});
    EXPECT_TRUE(view.calls.isEmpty());
    EXPECT_EQ(view.chartUpdates, 0);
    EXPECT_EQ(figures().TotalConnections, 1);
    EXPECT_EQ(figures().CompletedSessions, 1);
    EXPECT_FALSE(slot(2050).ListItem);
}

// --- scores, flags, teams of players -----------------------------------------------------

TEST_F(RosterTest, SortFollowsScoreChangesOnlyForTheScoreKey) {
    connect(2050, QStringLiteral("Kim"));
    fx.context.PlayerSortKey = 1;
    view.calls.clear();
    roster().AddPlayerScore(1, 4);
    EXPECT_EQ(slot(2050).Score, 4);
    EXPECT_EQ(view.calls, QStringList{"redrawPlayer Kim"});
    fx.context.PlayerSortKey = 2;
    view.calls.clear();
    roster().AddPlayerScore(1, -1);
    roster().AddPlayerScore(128, 7); // no slot, but the list is still sorted
    roster().AddPlayerScore(-1, 7);
    EXPECT_EQ(slot(2050).Score, 3);
    EXPECT_EQ(view.calls, (QStringList{"redrawPlayer Kim", "sort 2", "sort 2", "sort 2"}));
}

TEST_F(RosterTest, SortFollowsTeamChangesForTeamAndScoreKeys) {
    connect(2050, QStringLiteral("Kim"));
    for (int key : {0, 1, 2}) {
        fx.context.PlayerSortKey = key;
        view.calls.clear();
        roster().SetPlayerTeam(1, key);
        EXPECT_EQ(slot(2050).Team, key);
        EXPECT_EQ(view.count(QStringLiteral("sort ") + QString::number(key)), key > 0 ? 1 : 0);
    }
    view.calls.clear();
    roster().SetPlayerTeam(200, 1);
    EXPECT_EQ(view.calls, QStringList{"sort 2"});
}

TEST_F(RosterTest, ClearScoresZeroesScoresAndFlagsOfEverySlot) {
    connect(2050, QStringLiteral("Kim"));
    roster().AddPlayerScore(1, 9);
    roster().SetFlagMark(1, true);
    roster().PlayerSlots[100].Score = 3; // a stale value in an unoccupied slot
    fx.context.PlayerSortKey = 1;
    view.calls.clear();
    roster().ClearScores();
    EXPECT_EQ(slot(2050).Score, 0);
    EXPECT_FALSE(slot(2050).HasFlag);
    EXPECT_EQ(roster().PlayerSlots[100].Score, 0);
    EXPECT_EQ(view.count(QStringLiteral("sort 1")), 0);
    fx.context.PlayerSortKey = 2;
    roster().ClearScores();
    EXPECT_EQ(view.count(QStringLiteral("sort 2")), 1);
}

TEST_F(RosterTest, FlagMarksOutsideTheSlotsAreIgnored) {
    connect(2050, QStringLiteral("Kim"));
    view.calls.clear();
    roster().SetFlagMark(-1, true);
    roster().SetFlagMark(128, true);
    EXPECT_TRUE(view.calls.isEmpty());
    roster().SetFlagMark(1, true);
    EXPECT_TRUE(slot(2050).HasFlag);
    EXPECT_EQ(view.calls, QStringList{"redrawPlayer Kim"});
}

// --- team records ------------------------------------------------------------------------

TEST_F(RosterTest, TeamRecordsDefineTeamsInReportedOrder) {
    team(1, QStringLiteral("Red"), 4);
    team(0, QStringLiteral("Blue"), 2);
    ASSERT_EQ(roster().DefinedTeams.size(), 2);
    EXPECT_EQ(roster().DefinedTeams[0], &roster().TeamSlots[1]);
    EXPECT_EQ(roster().TeamSlots[1].Name, QStringLiteral("Red"));
    EXPECT_EQ(roster().TeamSlots[1].Score, 4);
    EXPECT_EQ(view.calls, (QStringList{"addTeam Red", "addTeam Blue"}));
    // Defined again (every status report lists the teams): the entry is updated, not added,
    // however many records arrive.
    view.calls.clear();
    for (int i = 0; i < 1000; ++i)
        team(1, QStringLiteral("Rot"), 5);
    EXPECT_EQ(roster().DefinedTeams.size(), 2);
    EXPECT_EQ(view.teamRows.size(), 2);
    EXPECT_EQ(roster().TeamSlots[1].Name, QStringLiteral("Rot"));
    EXPECT_EQ(roster().TeamSlots[1].Score, 5);
    EXPECT_EQ(view.calls.size(), 1000);
    EXPECT_EQ(view.calls.front(), QStringLiteral("redrawTeam Rot"));
}

TEST_F(RosterTest, TeamRecordOutsideTheTeamsEmptiesTheTeamListButKeepsSizes) {
    team(0, QStringLiteral("Blue"), 2);
    report({"1", "2050", "Kim", "a", "0", "0", "Male"});
    for (int bad : {8, -1}) {
        team(0, QStringLiteral("Blue"), 2);
        view.calls.clear();
        team(bad, QStringLiteral("Nobody"));
        EXPECT_TRUE(roster().DefinedTeams.isEmpty());
        EXPECT_TRUE(roster().TeamSlots[0].Name.isEmpty());
        EXPECT_EQ(roster().TeamSlots[0].Score, 0);
        EXPECT_EQ(roster().TeamSlots[0].Size, 1);
        EXPECT_EQ(view.calls, QStringList{"clearTeams"});
    }
}

TEST_F(RosterTest, TeamRecordWithAnUnconvertibleFieldIsIgnored) {
    report({"2", "one", "0", "Blue"});
    report({"2", "0", "", "Blue"});
    EXPECT_TRUE(roster().DefinedTeams.isEmpty());
}

TEST_F(RosterTest, TeamScoreRecordsAccumulate) {
    team(0, QStringLiteral("Blue"), 2);
    view.calls.clear();
    report({"B", "0", "3"});
    report({"B", "0", "-1"});
    report({"B", "0", "4x"}); // the points are read without a test
    report({"B", "x", "50"});
    report({"B", "9", "50"});
    EXPECT_EQ(roster().TeamSlots[0].Score, 8);
    EXPECT_EQ(view.count(QStringLiteral("redrawTeam Blue")), 3);
}

// --- attaching -------------------------------------------------------------------------

TEST_F(RosterTest, AttachingRefillsTheListsInArrivalAndReportOrder) {
    team(1, QStringLiteral("Red"));
    team(0, QStringLiteral("Blue"));
    connect(2060, QStringLiteral("Zed"));
    connect(2050, QStringLiteral("Amy"));
    p().DetachView();
    EXPECT_FALSE(slot(2060).ListItem);
    EXPECT_FALSE(roster().TeamSlots[1].ListItem);
    EXPECT_TRUE(view.rows.isEmpty());

    RosterRecordingView other;
    p().AttachView(&other);
    EXPECT_EQ(other.rows, (QList<PlayerSlot *>{&slot(2060), &slot(2050)}));
    EXPECT_EQ(other.teamRows, (QList<TeamSlot *>{&roster().TeamSlots[1], &roster().TeamSlots[0]}));
    EXPECT_EQ(other.calls,
              (QStringList{"clearPlayers", "addPlayer Zed", "addPlayer Amy", "clearTeams",
                           "addTeam Red", "addTeam Blue", "repaintTeams"}));
    EXPECT_TRUE(slot(2050).ListItem);
    EXPECT_TRUE(roster().TeamSlots[0].ListItem);
    p().DetachView();
}

TEST_F(RosterTest, ResetTeamsKeepsSizes) {
    team(2, QStringLiteral("Green"), 7);
    report({"1", "2050", "Kim", "a", "2", "0", "Male"});
    roster().ResetTeams();
    EXPECT_TRUE(roster().TeamSlots[2].Name.isEmpty());
    EXPECT_EQ(roster().TeamSlots[2].Score, 0);
    EXPECT_EQ(roster().TeamSlots[2].Size, 1);
    EXPECT_FALSE(roster().TeamSlots[2].ListItem);
}

// --- listeners -------------------------------------------------------------------------

// The roster on its own: what its listeners hear, in order, with the slot as they see it.
TEST(RosterListeners, HearEachArrivalDepartureAndScoreOnce) {
    struct Recorder : RosterListener {
        void playerArrived(PlayerSlot &p) override { heard << QStringLiteral("in ") + p.Name; }
        void playerLeft(PlayerSlot &p) override {
            heard << QStringLiteral("out %1 %2 listed %3")
                         .arg(p.Name)
                         .arg(p.Team)
                         .arg(roster->ConnectedPlayers.size());
        }
        void scoreChanged(PlayerSlot &p, int points) override {
            heard << QStringLiteral("score %1 %2 %3").arg(p.Name).arg(points).arg(p.Score);
        }
        const Roster *roster = nullptr;
        QStringList heard;
    };
    const int sortKey = 1;
    Roster roster(sortKey);
    Recorder first, second;
    first.roster = second.roster = &roster;
    roster.addListener(first);
    roster.addListener(second);
    roster.AddPlayer(QStringLiteral("Kim"), QStringLiteral("a"), 2049, 0, 0, 0);
    roster.AddPlayer(QStringLiteral("Kim"), QStringLiteral("b"), 2049, 1, 3, 0); // listed again
    roster.AddPlayerScore(0, 5);
    roster.AddPlayer(QStringLiteral("Rex"), QStringLiteral("c"), 2049, 1, 0, 1); // Kim left unseen
    roster.RemovePlayer(2049);
    roster.RemovePlayer(2049);     // nobody left to leave
    roster.AddPlayerScore(200, 5); // no slot
    const QStringList expected = {"in Kim", "score Kim 5 8", "out Kim 1 listed 0", "in Rex",
                                  "out Rex 1 listed 0"};
    EXPECT_EQ(first.heard, expected);
    EXPECT_EQ(second.heard, expected);
    EXPECT_EQ(roster.TeamSlots[0].Size, 0);
    EXPECT_EQ(roster.TeamSlots[1].Size, 0);
}

} // namespace
