// Classification and dispatch of console lines by a profile, without a connection.
#include "support/testsupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

// Also keeps the host name the preferences page shows.
struct DispatchView : RecordingView {
    void showPreferences(const PreferencesPage &page) override { shownHostName = page.HostName; }
    QString shownHostName;
};

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override { fx.profile->AttachView(&view); }
    TVexmoorServer &p() { return *fx.profile; }
    void line(const QString &text) { p().ClassifyLine(text); }
    PlayerSlot &player(int id, const QString &name, int team) {
        PlayerSlot &s = p().roster().PlayerSlots[static_cast<size_t>(id - FirstClientId)];
        s.Name = name;
        s.Team = team;
        s.ClientId = id;
        return s;
    }

    ProfileFixture fx;
    DispatchView view;
};

TEST_F(DispatchTest, ReportLinesAreShownInTheReportColourUnlessMuted) {
    line(QStringLiteral("  \"X\"anything\"  \r"));
    line(QStringLiteral("\"x\"lower case code\""));
    line(QStringLiteral("\"9\"no handler\""));
    ASSERT_EQ(view.console.size(), 3);
    EXPECT_EQ(view.console[0], QStringLiteral("\"X\"anything\""));
    EXPECT_EQ(view.colors[0], ConsoleColor::StatText);
    view.mute = true;
    line(QStringLiteral("\"Q\"1\"info\"motd\""));
    EXPECT_EQ(view.console.size(), 3);
    EXPECT_EQ(p().prefs().Vars.HostInfo, QStringLiteral("info")); // handled all the same
    line(QStringLiteral("plain console text"));
    EXPECT_EQ(view.console.last(), QStringLiteral("plain console text"));
}

TEST_F(DispatchTest, EchoesOfOwnCommandsAreHiddenAndOtherTextShown) {
    line(QStringLiteral("Vexmoor_GetStatus(); //VX"));
    line(QStringLiteral("   "));
    EXPECT_TRUE(view.console.isEmpty());
    line(QStringLiteral("echo(\"hello\");"));
    ASSERT_EQ(view.console.size(), 1);
    EXPECT_EQ(view.colors[0], ConsoleColor::TribesText);
}

TEST_F(DispatchTest, PassiveModeShowsTheScriptLoaderLine) {
    p().ActiveMode = false;
    line(QStringLiteral(" Executing game.cs. "));
    EXPECT_EQ(view.console, QStringList{QStringLiteral("Executing game.cs.")});
    p().ActiveMode = true;
    line(QStringLiteral("Executing game.cs."));
    EXPECT_EQ(view.console.size(), 1); // active mode re-executes instead of showing it
}

TEST_F(DispatchTest, DetachedProfileShowsNothingButStillHandlesReports) {
    p().DetachView();
    line(QStringLiteral("plain text"));
    line(QStringLiteral(
        "\"Q\"0\"My "
        "Server\"28001\"16\"20\"30\"TRUE\"0.5\"0\"2\"0.35\"0.125\"30\"1\"true\"0\"1\"joinpw\""));
    line(QStringLiteral("\"!\"nick\"hello\""));
    EXPECT_TRUE(view.console.isEmpty());
    EXPECT_TRUE(view.chat.isEmpty());
    EXPECT_EQ(p().prefs().Vars.HostName, QStringLiteral("My Server"));
}

TEST_F(DispatchTest, PreferencesReportFillsTheCacheAndRenamesTheListEntry) {
    int renamed = 0;
    QObject::connect(&p(), &TVexmoorServer::listNameChanged, [&] { ++renamed; });
    line(QStringLiteral(
        "\"Q\"0\"My "
        "Server\"28001\"16\"20\"30\"TRUE\"0.5\"0\"2\"0.35\"0.125\"30\"1\"true\"0\"1\"joinpw\""));
    const ServerVariables &v = p().prefs().Vars;
    EXPECT_EQ(v.HostName, QStringLiteral("My Server"));
    EXPECT_EQ(v.HostPort, 28001);
    EXPECT_EQ(v.MaxPlayers, 16);
    EXPECT_EQ(v.TimeLimit, 20);
    EXPECT_EQ(v.WarmupTime, 30);
    EXPECT_TRUE(v.AutoAssignTeams);
    EXPECT_EQ(v.TeamDmgScale, 50);
    EXPECT_FALSE(v.TourneyMode);
    EXPECT_EQ(v.MinVotes, 2);
    EXPECT_EQ(v.MinVotesPct, 35);
    EXPECT_EQ(v.VoteWinMargin, 12); // 12.5 rounds to even
    EXPECT_EQ(v.VotingTime, 30);
    EXPECT_TRUE(v.BlockAdmin);
    EXPECT_FALSE(v.BlockTeamDmg); // only "1" blocks
    EXPECT_FALSE(v.BlockGameType);
    EXPECT_TRUE(v.BlockMission);
    EXPECT_EQ(v.ClientPassword, QStringLiteral("joinpw"));
    EXPECT_TRUE(p().prefs().Reported);
    EXPECT_EQ(renamed, 1);
    EXPECT_EQ(view.shownHostName, QStringLiteral("My Server"));
}

TEST_F(DispatchTest, ChatLinesByTeamColour) {
    player(2050, QStringLiteral("Alice"), 1);
    player(2051, QStringLiteral("Bob"), 5);
    line(QStringLiteral("SAYTEAM: 2050 go go~ignored by speech"));
    line(QStringLiteral("SAYTEAM: 2051 hi"));
    line(QStringLiteral("SAY: 2050 all"));
    ASSERT_EQ(view.console.size(), 3);
    // The message starts six characters after the colon: the blank after the id stays.
    EXPECT_EQ(view.console[0], QStringLiteral("Alice :  go go~ignored by speech"));
    EXPECT_EQ(view.colors[0], ConsoleColor::Team1);
    EXPECT_EQ(view.colors[1], ConsoleColor::UnknownMsg);
    EXPECT_EQ(view.colors[2], ConsoleColor::GlobalMsg);
}

TEST_F(DispatchTest, MalformedChatLinesAreDropped) {
    player(2050, QStringLiteral("Alice"), 0);
    line(QStringLiteral("SAY no colon"));
    line(QStringLiteral("SAY: 20x0 bad id"));
    line(QStringLiteral("SAY: 9999 no such player"));
    line(QStringLiteral("SAY:"));
    EXPECT_TRUE(view.console.isEmpty());
}

TEST_F(DispatchTest, AdminChatEcho) {
    line(QStringLiteral("\"!\"Op\"hello there\""));
    line(QStringLiteral("\"!\"Op\"BEEP!\""));
    EXPECT_EQ(view.chat,
              (QStringList{QStringLiteral("Op: hello there"), QStringLiteral("Op: BEEP!")}));
    EXPECT_EQ(fx.dialogs.beeps, 1);
}

} // namespace
