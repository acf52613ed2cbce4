// The game event handlers fed through a profile's dispatcher: the state they change and the
// sentences they write, shown and spoken, with their speech categories.
#include "gamefixture.h"

#include "eventlog/eventlog.h"

using namespace game_testing;

namespace {

class EventsTest : public GameTest {
protected:
    void SetUp() override {
        GameTest::SetUp();
        team(0, QStringLiteral("Blue"));
        team(1, QStringLiteral("Red"));
        connect(2050, QStringLiteral("Kim"), QStringLiteral("Female"));
        connect(2051, QStringLiteral("[B]ob"), QStringLiteral("Male"));
        sentences.clear();
        view.calls.clear();
    }
    void expectNoEvent() { EXPECT_TRUE(sentences.empty()) << sentences.back().shown.toStdString(); }
    void expectSentence(const QString &shown, const QString &spoken, int category) {
        const Sentence s = last();
        EXPECT_EQ(s.shown, shown);
        EXPECT_EQ(s.spoken, spoken);
        EXPECT_EQ(s.category, category);
    }
};

// --- connect, disconnect, team change ------------------------------------------------------

TEST_F(EventsTest, ConnectFillsTheSlotWithoutTeamOrScore) {
    connect(2060, QStringLiteral("Kim-2"), QStringLiteral("Female"));
    const PlayerSlot &p = slot(2060);
    EXPECT_EQ(p.Gender, 0);
    EXPECT_EQ(p.Team, -1);
    EXPECT_EQ(p.Score, 0);
    EXPECT_EQ(p.Address, QStringLiteral("10.0.0.1:1"));
    expectSentence("Kim-2 connected to the game.", "kim 2 connected to the game.",
                   ConnectDisconnect);
    EXPECT_EQ(slot(2051).Gender, 1);
}

TEST_F(EventsTest, ConnectWithoutAValidClientIdIsIgnored) {
    for (const char *id : {"2048", "2177", "abc", ""})
        connect(0, QString()), report({"C", id, "Ghost", "a", "Male"});
    expectNoEvent();
    // The roster is not emptied, as a listed player outside the ids would empty it.
    EXPECT_EQ(roster().ConnectedPlayers.size(), 2);
    EXPECT_EQ(figures().TotalConnections, 2);
}

TEST_F(EventsTest, DisconnectTellsTheNameBeforeTheSlotIsEmptied) {
    report({"D", "2051"});
    expectSentence("[B]ob disconnected from the game.", " b ob disconnected from the game.",
                   ConnectDisconnect);
    EXPECT_TRUE(slot(2051).Name.isEmpty());
    EXPECT_EQ(roster().ConnectedPlayers, QList<PlayerSlot *>{&slot(2050)});
}

TEST_F(EventsTest, TeamChangeSentencesAndSizes) {
    report({"A", "2050", "1"});
    expectSentence("Kim has joined team \"Red\".", "kim has joined team \"Red\".", TeamChanges);
    EXPECT_EQ(slot(2050).Team, 1);
    EXPECT_EQ(roster().TeamSlots[1].Size, 1);
    report({"A", "2050", "0"});
    expectSentence("Kim has joined team \"Blue\".", "kim has joined team \"Blue\".", TeamChanges);
    EXPECT_EQ(roster().TeamSlots[1].Size, 0);
    EXPECT_EQ(roster().TeamSlots[0].Size, 1);
    report({"A", "2050", "-2"});
    expectSentence("Kim has become an observer.", "kim has become an observer.", TeamChanges);
    report({"A", "2050", "-1"});
    expectSentence("Kim is no longer on a team.", "kim is no longer on a team.", TeamChanges);
    EXPECT_EQ(roster().TeamSlots[0].Size, 0);
    EXPECT_EQ(slot(2050).Team, -1);
}

TEST_F(EventsTest, TeamChangeToAnUndefinedTeamTellsNothingButMovesThePlayer) {
    report({"A", "2050", "2"});
    expectNoEvent();
    EXPECT_EQ(slot(2050).Team, 2);
    EXPECT_EQ(roster().TeamSlots[2].Size, 1);
    report({"A", "2050", "9"}); // no such team: only the player's team number changes
    expectNoEvent();
    EXPECT_EQ(slot(2050).Team, 9);
    EXPECT_EQ(roster().TeamSlots[2].Size, 0);
}

TEST_F(EventsTest, TeamChangeBeyondTheEightTeamsTellsNothingWhenTeamsAreListedTwice) {
    for (int t = 2; t < 8; ++t)
        team(t, QStringLiteral("T%1").arg(t));
    team(0, QStringLiteral("Blue"));
    team(1, QStringLiteral("Red")); // listed again: still the eight team slots
    ASSERT_EQ(roster().DefinedTeams.size(), 8);
    report({"A", "2050", "9"});
    expectNoEvent();
    EXPECT_EQ(slot(2050).Team, 9);
    report({"A", "2050", "7"});
    EXPECT_EQ(last().shown, QStringLiteral("Kim has joined team \"T7\"."));
}

TEST_F(EventsTest, TeamChangeWithBadFieldsIsIgnored) {
    report({"A", "2050", "red"});
    report({"A", "2300", "1"});
    report({"A", "x", "1"});
    expectNoEvent();
    EXPECT_EQ(slot(2050).Team, -1);
    EXPECT_EQ(roster().TeamSlots[1].Size, 0);
}

// --- flags and objectives ------------------------------------------------------------------

struct FlagCase {
    const char *code;
    const char *verb;
    int flagAfter; // -1 unchanged, 0 cleared, 1 set
};

class FlagEventTest : public EventsTest, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(FlagEventTest, SentenceScoreAndFlagMark) {
    const FlagCase c = GetParam();
    for (bool before : {false, true}) {
        roster().SetFlagMark(1, before);
        report({c.code, "2050", "5"});
        const QString verb = QString::fromLatin1(c.verb);
        expectSentence("Kim " + verb + ". (5 points)", "kim " + verb + ". (5 points)",
                       FlagsObjectives);
        EXPECT_EQ(slot(2050).HasFlag, c.flagAfter < 0 ? before : c.flagAfter == 1);
    }
    EXPECT_EQ(slot(2050).Score, 10);
    report({c.code, "2050", "-3"});
    EXPECT_EQ(last().shown, "Kim " + QString::fromLatin1(c.verb) + ". (-3 points)");
    EXPECT_EQ(slot(2050).Score, 7);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, FlagEventTest,
    ::testing::Values(FlagCase{"E", "defended a flag", -1}, FlagCase{"F", "captured a flag", 0},
                      FlagCase{"G", "grabbed a flag", 1}, FlagCase{"H", "held an objective", -1},
                      FlagCase{"I", "defended a flag carrier", -1},
                      FlagCase{"J", "defended an objective", -1},
                      FlagCase{"O", "captured an objective", -1},
                      FlagCase{"P", "dropped a flag", 0}, FlagCase{"R", "rescued a flag", -1},
                      FlagCase{"Y", "destroyed a friendly objective", -1},
                      FlagCase{"Z", "destroyed an enemy objective", -1}),
    [](const auto &info) { return std::string(info.param.code); });

TEST(PlayerEventTableTest, ColumnsOfTheMissionsTable) {
    const std::pair<char, const char *> columns[] = {
        {'E', "FlagDefend"}, {'F', "FlagCap"},    {'G', "FlagGrab"},   {'H', "ObjHold"},
        {'I', "FlagCrDfnd"}, {'J', "ObjDefend"},  {'O', "ObjCap"},     {'P', "FlagDrop"},
        {'R', "FlagRescue"}, {'Y', "ObjFrDstry"}, {'Z', "ObjEnDstry"},
    };
    for (auto [code, column] : columns) {
        const auto kind = playerEventKind(QLatin1Char(code));
        ASSERT_TRUE(kind) << code;
        EXPECT_STREQ(kind->Column, column);
    }
    for (char other : {'A', 'K', 'Q', 'e', 'X'})
        EXPECT_FALSE(playerEventKind(QLatin1Char(other))) << other;
}

TEST_F(EventsTest, FlagEventWithoutPointsEndsInABlankAndKeepsTheScore) {
    report({"G", "2050", "0"});
    expectSentence("Kim grabbed a flag. ", "kim grabbed a flag. ", FlagsObjectives);
    EXPECT_TRUE(slot(2050).HasFlag);
    EXPECT_EQ(slot(2050).Score, 0);
}

TEST_F(EventsTest, FlagEventWithBadFieldsIsIgnored) {
    report({"G", "2050", "five"});
    report({"G", "2050"});
    report({"G", "2177", "5"});
    report({"F", "abc", "5"});
    expectNoEvent();
    EXPECT_FALSE(slot(2050).HasFlag);
    EXPECT_EQ(slot(2050).Score, 0);
}

TEST_F(EventsTest, MissionStartClearsScoresAndFlagMarks) {
    report({"G", "2050", "5"});
    report({"M", "Raindance", "1200"});
    EXPECT_EQ(slot(2050).Score, 0);
    EXPECT_FALSE(slot(2050).HasFlag);
    EXPECT_EQ(p().missions().CurrentMissionName, QStringLiteral("Raindance"));
    EXPECT_NEAR(p().missions().MissionEndTime, clock + 1200 / 86400.0, 1e-9);
    expectSentence("Mission \"Raindance\" started (03/06/2024).", QString(), MissionScore);
}

TEST_F(EventsTest, MissionStartWithoutAConnectionSendsNothingAndToleratesABadTime) {
    // Times that are no usable number count as no time left, as the status report's do.
    for (const char *time : {"soon", "inf", "-inf", "nan", "1e300", "1e400"}) {
        report({"M", "Broadside", time});
        EXPECT_EQ(p().missions().MissionEndTime, clock) << time;
        EXPECT_EQ(last().shown, QStringLiteral("Mission \"Broadside\" started (03/06/2024)."));
        p().missions().UpdatePlayClock();
        EXPECT_EQ(view.panels[4], QStringLiteral("00:00:00")) << time;
    }
}

// --- kills ---------------------------------------------------------------------------------

struct WeaponCase {
    const char *weapon;
    const char *column;
    const char *shown;
    const char *spoken;
};

class WeaponTest : public EventsTest, public ::testing::WithParamInterface<WeaponCase> {};

TEST_P(WeaponTest, KillSentenceAndColumn) {
    const WeaponCase c = GetParam();
    report({"K", "2051", "2050", c.weapon, "3"});
    expectSentence(c.shown, c.spoken, KillsSuicides);
    EXPECT_EQ(slot(2051).Score, 3);
    EXPECT_EQ(slot(2050).Score, 0);
    int number = 0;
    EXPECT_STREQ(weaponKind(parseInt(c.weapon, number) ? number : -1).Column, c.column);
}

INSTANTIATE_TEST_SUITE_P(
    Weapons, WeaponTest,
    ::testing::Values(WeaponCase{"1", "Chaingun", "[B]ob killed Kim with the chaingun.",
                                 " b ob killed kim with the chaingun."},
                      WeaponCase{"2", "Turret", "[B]ob killed Kim with a turret.",
                                 " b ob killed kim with a turret."},
                      WeaponCase{"3", "Plasma", "[B]ob killed Kim with the plasma gun.",
                                 " b ob killed kim with the plasma gun."},
                      WeaponCase{"4", "Disc", "[B]ob killed Kim with the disc launcher.",
                                 " b ob killed kim with the disc launcher."},
                      WeaponCase{"5", "Grenade", "[B]ob killed Kim with a grenade.",
                                 " b ob killed kim with a grenade."},
                      WeaponCase{"6", "Laser", "[B]ob killed Kim with the laser rifle.",
                                 " b ob killed kim with the laser rifle."},
                      WeaponCase{"7", "Mortar", "[B]ob killed Kim with a mortar.",
                                 " b ob killed kim with a mortar."},
                      WeaponCase{"8", "Blaster", "[B]ob killed Kim with the blaster.",
                                 " b ob killed kim with the blaster."},
                      WeaponCase{"9", "Elf", "[B]ob killed Kim with the elf gun.",
                                 " b ob killed kim with the elf gun."},
                      WeaponCase{"10", "Crushed", "[B]ob crushed Kim.", " b ob crushed kim."},
                      WeaponCase{"11", "Explosion", "[B]ob killed Kim with an explosion.",
                                 " b ob killed kim with an explosion."},
                      WeaponCase{"12", "Rocket", "[B]ob killed Kim with a rocket.",
                                 " b ob killed kim with a rocket."},
                      WeaponCase{"13", "Mine", "[B]ob killed Kim with a mine.",
                                 " b ob killed kim with a mine."},
                      WeaponCase{"14", "Other", "[B]ob killed Kim.", " b ob killed kim."},
                      WeaponCase{"-1", "Other", "[B]ob killed Kim.", " b ob killed kim."},
                      WeaponCase{" 99", "Other", "[B]ob killed Kim.", " b ob killed kim."}),
    [](const auto &info) { return "weapon" + std::to_string(info.index); });

TEST_F(EventsTest, FallAndSuicideUseTheKillersPronoun) {
    report({"K", "2050", "2050", "0", "1"});
    expectSentence("Kim has fallen to her death.", "kim has fallen to her death.", KillsSuicides);
    EXPECT_EQ(slot(2050).Score, -1); // a kill of oneself costs the points
    report({"K", "2051", "2051", "0", "1"});
    EXPECT_EQ(last().shown, QStringLiteral("[B]ob has fallen to his death."));
    report({"K", "2051", "2051", "", "2"});
    expectSentence("[B]ob committed suicide.", " b ob committed suicide.", KillsSuicides);
    EXPECT_EQ(slot(2051).Score, -3);
    EXPECT_STREQ(suicideKind().Column, "Suicide");
    EXPECT_STREQ(weaponKind(0).Column, "Fall");
}

TEST_F(EventsTest, KillOfOneselfNamesTheReflexivePronounAndCostsThePoints) {
    report({"K", "2050", "2050", "5", "2"});
    expectSentence("Kim killed herself with a grenade.", "kim killed herself with a grenade.",
                   KillsSuicides);
    report({"K", "2051", "2051", "5", "2"});
    EXPECT_EQ(last().shown, QStringLiteral("[B]ob killed himself with a grenade."));
    EXPECT_EQ(slot(2050).Score, -2);
    EXPECT_EQ(slot(2051).Score, -2);
}

TEST_F(EventsTest, TeamKillCostsThePointsAndOnlyExactlyTCounts) {
    report({"T", "2051", "2050", "4", "3"});
    expectSentence("[B]ob killed Kim with the disc launcher.",
                   " b ob killed kim with the disc launcher.", KillsSuicides);
    EXPECT_EQ(slot(2051).Score, -3);
    report({"Tx", "2051", "2050", "4", "3"}); // a kill, not a team kill
    EXPECT_EQ(slot(2051).Score, 0);
}

TEST_F(EventsTest, KillByTheWorldIsToldInQuotesAndScoresNothing) {
    report({"K", "0", "2050", "7", "5"});
    expectSentence("\"The World\" killed Kim with a mortar.", "The World killed kim with a mortar.",
                   KillsSuicides);
    report({"K", "2177", "2051", "", "5"}); // the world commits no suicide
    report({"K", "-5", "2051", "0", "5"});  // nor falls
    EXPECT_EQ(sentences.size(), 1u);
    EXPECT_EQ(slot(2050).Score, 0);
    EXPECT_EQ(slot(2051).Score, 0);
}

TEST_F(EventsTest, KillWithABadFieldIsIgnoredWhole) {
    report({"K", "2051", "2050", "d", "3"});  // weapon a letter
    report({"K", "x", "2050", "4", "3"});     // killer not a number
    report({"K", "2051", "2177", "4", "3"});  // victim outside the ids
    report({"K", "2051", "abc", "4", "3"});   // victim not a number
    report({"K", "2051", "2050", "4", "3p"}); // points not a number
    report({"K", "2051", "2050", "4"});       // points missing
    expectNoEvent();
    EXPECT_EQ(slot(2051).Score, 0);
}

// --- match result ------------------------------------------------------------------------

class MatchTest : public EventsTest {
protected:
    void SetUp() override {
        EventsTest::SetUp();
        team(2, QStringLiteral("Green"));
        team(3, QStringLiteral("Gold"));
        sentences.clear();
    }
    QString result(QStringList scores) {
        scores.prepend(QStringLiteral("S"));
        report(scores);
        EXPECT_EQ(last().category, MissionScore);
        EXPECT_TRUE(last().spoken.isEmpty());
        return last().shown;
    }
};

TEST_F(MatchTest, TheFirstTeamWithTheHighestScoreWins) {
    EXPECT_EQ(result({"2", "7", "9"}), QStringLiteral("Team Green wins the match with 9 points."));
    EXPECT_EQ(result({"4"}), QStringLiteral("Team Blue wins the match with 4 points."));
    EXPECT_EQ(result({"-1", "-3"}), QStringLiteral("Team Blue wins the match with -1 points."));
}

TEST_F(MatchTest, TiesNameEveryTeamWithTheBestScore) {
    EXPECT_EQ(result({"5", "3", "5"}), QStringLiteral("Tie Game at 5 points., Blue, Green"));
    EXPECT_EQ(result({"2", "7", "7", "1"}), QStringLiteral("Tie Game at 7 points., Red, Green"));
    // A tie that a later, higher score breaks is no tie.
    EXPECT_EQ(result({"5", "5", "6"}), QStringLiteral("Team Green wins the match with 6 points."));
}

TEST_F(MatchTest, ScoresBeyondEightTeamsAreIgnored) {
    EXPECT_EQ(result({"1", "1", "1", "1", "1", "1", "1", "2", "99"}),
              QStringLiteral("Team  wins the match with 2 points.")); // team 7 has no name
    EXPECT_EQ(result({"1", "0", "0", "0", "0", "0", "0", "0", "1"}),
              QStringLiteral("Team Blue wins the match with 1 points."));
}

TEST_F(MatchTest, ARecordWithoutScoresTellsNothing) {
    report({"S"});
    expectNoEvent();
}

// --- votes ---------------------------------------------------------------------------------

TEST_F(EventsTest, VotesSetTheCachedVariablesAndShowThePreferences) {
    p().prefs().Vars.TeamDmgScale = 35;
    view.preferencePages = 0;
    report({"V", "etd"});
    expectSentence("The players have voted to enable team damage.", QString(), Votes);
    EXPECT_EQ(p().prefs().Vars.TeamDmgScale, 100);
    EXPECT_EQ(view.shownTeamDamage, 100);
    report({"V", "dtd"});
    expectSentence("The players have voted to disable team damage.", QString(), Votes);
    EXPECT_EQ(p().prefs().Vars.TeamDmgScale, 0);
    report({"V", "tourney"});
    expectSentence("The players have voted to enter tournament mode.", QString(), Votes);
    EXPECT_TRUE(p().prefs().Vars.TourneyMode);
    EXPECT_TRUE(view.shownTourneyMode);
    report({"V", "ffa"});
    expectSentence("The players have voted to enter free-for-all mode.", QString(), Votes);
    EXPECT_FALSE(p().prefs().Vars.TourneyMode);
    EXPECT_EQ(view.preferencePages, 4);
}

TEST_F(EventsTest, UnknownVoteWordsChangeNothingButStillShowThePreferences) {
    view.preferencePages = 0;
    report({"V", "Tourney"});
    report({"V", "kick"});
    report({"V"});
    expectNoEvent();
    EXPECT_FALSE(p().prefs().Vars.TourneyMode);
    EXPECT_EQ(view.preferencePages, 3);
}

} // namespace

// --- statistics calls ------------------------------------------------------------------------

class RecordingTest : public EventsTest {
protected:
    void SetUp() override {
        EventsTest::SetUp();
        p().stats().SetStatsEnabled(true); // registers the players connected now
        ASSERT_TRUE(p().stats().tablesOpen());
        p().stats().CommitTables();
    }
    void TearDown() override {
        p().stats().SetStatsEnabled(false);
        EventsTest::TearDown();
    }
    Statistics &stats() { return p().stats(); }
};

TEST_F(RecordingTest, ArrivalsRegisterThePlayerAndDeparturesCloseTheRecord) {
    connect(2060, QStringLiteral("Newcomer"));
    EXPECT_EQ(slot(2060).DbId, 3); // after Kim and Bob
    EXPECT_TRUE(stats().PlayersChanged);
    stats().CommitTables();
    report({"D", "2060"});
    EXPECT_TRUE(stats().PlayersChanged);
    EXPECT_EQ(slot(2060).DbId, -1);
}

TEST_F(RecordingTest, MissionEventsAreRecordedOnlyOnceTheMissionIsNamed) {
    report({"G", "2050", "0"});
    EXPECT_FALSE(stats().MissionsChanged);
    EXPECT_TRUE(stats().PlayersChanged); // the score is recorded all the same
    report({"M", "Raindance", "600"});
    report({"G", "2050", "0"});
    EXPECT_TRUE(stats().MissionsChanged);
}

TEST_F(RecordingTest, KillsAreRecordedUnlessTheRecordIsIgnored) {
    report({"K", "2051", "2300", "4", "1"});
    report({"K", "2051", "2050", "x", "1"});
    report({"K", "2177", "2050", "", "1"});
    EXPECT_FALSE(stats().KillsChanged);
    report({"K", "0", "2050", "7", "0"});
    EXPECT_TRUE(stats().KillsChanged);
}
