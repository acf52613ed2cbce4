// The server preferences of a profile: conversions, the page's commands, the "Q" report and
// the preference files, on a profile that records what it sends.
#include "prefs_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace prefs_test;

namespace {

const QString Q0 = QStringLiteral(
    "\"Q\"0\"My "
    "Server\"28001\"16\"20\"30\"TRUE\"0.5\"0\"2\"0.35\"0.125\"30\"1\"true\"0\"1\"joinpw\"");

// --- conversions ---------------------------------------------------------------------

TEST(PreferenceText, EscapingMakesOneConsoleLiteral) {
    // Two lines, the first ending in a double quote, the second holding one backslash.
    const QString memo = QStringLiteral("Say \"hi\"\r\nC:\\games");
    const QString escaped = escapeConsoleText(memo);
    EXPECT_EQ(escaped, QStringLiteral("Say 'hi'\\nC:\\\\games"));
    EXPECT_EQ(unescapeConsoleText(escaped), QStringLiteral("Say 'hi'\nC:\\games"));
    EXPECT_EQ(escapeConsoleText(QString()), QString());
    EXPECT_EQ(escapeConsoleText(QStringLiteral("\r\r")), QString());
    EXPECT_EQ(unescapeConsoleText(QStringLiteral("a\\nb\\nc")), QStringLiteral("a\nb\nc"));
}

TEST(PreferenceText, PercentTravelsAsFractions) {
    EXPECT_EQ(percentToFraction(50), QStringLiteral("0.5"));
    EXPECT_EQ(percentToFraction(5), QStringLiteral("0.05"));
    EXPECT_EQ(percentToFraction(100), QStringLiteral("1"));
    EXPECT_EQ(percentToFraction(0), QStringLiteral("0"));
    EXPECT_EQ(percentToFraction(35), QStringLiteral("0.35"));
    EXPECT_EQ(percentToFraction(10), QStringLiteral("0.1"));
    EXPECT_EQ(percentToFraction(250), QStringLiteral("2.5"));
    EXPECT_EQ(percentToFraction(-5), QStringLiteral("-0.05"));

    EXPECT_EQ(percentToFixedFraction(50), QStringLiteral("0.50"));
    EXPECT_EQ(percentToFixedFraction(0), QStringLiteral("0.00"));
    EXPECT_EQ(percentToFixedFraction(100), QStringLiteral("1.00"));
    EXPECT_EQ(percentToFixedFraction(7), QStringLiteral("0.07"));
    EXPECT_EQ(percentToFixedFraction(-120), QStringLiteral("-1.20"));

    EXPECT_EQ(fractionToPercent(0.35), 35);
    EXPECT_EQ(fractionToPercent(1), 100);
    EXPECT_EQ(fractionToPercent(0.125), 12); // halves go to the even neighbour
    EXPECT_EQ(fractionToPercent(0.375), 38);
    EXPECT_EQ(fractionToPercent(0.625), 62);
    EXPECT_EQ(fractionToPercent(-0.125), -12);
    EXPECT_EQ(fractionToPercent(1e300), 0); // beyond any integer
}

TEST(PreferenceText, BoolWords) {
    EXPECT_TRUE(boolWord(QStringLiteral("true")));
    EXPECT_TRUE(boolWord(QStringLiteral("TRUE")));
    EXPECT_TRUE(boolWord(QStringLiteral("1")));
    EXPECT_FALSE(boolWord(QStringLiteral(" 1")));
    EXPECT_FALSE(boolWord(QStringLiteral("yes")));
    EXPECT_FALSE(boolWord(QString()));
}

// --- the "Q" report --------------------------------------------------------------------

class PreferencesReport : public ConnectedProfile {
protected:
    PreferencesReport() {
        prefs().setView(&view);
        prefs().ShowPreferences(); // as attaching does
        EXPECT_EQ(view.shown, 1);  // attaching shows the page
        view.shown = 0;
    }
    PageView view;
};

TEST_F(PreferencesReport, VariablesFillTheCacheAndThePage) {
    int captions = 0;
    prefs().HostNameChanged = [&] { ++captions; };
    report(Q0);
    const ServerVariables &v = prefs().Vars;
    EXPECT_EQ(v.HostName, QStringLiteral("My Server"));
    EXPECT_EQ(v.HostPort, 28001);
    EXPECT_EQ(v.MaxPlayers, 16);
    EXPECT_EQ(v.TimeLimit, 20);
    EXPECT_EQ(v.WarmupTime, 30);
    EXPECT_TRUE(v.AutoAssignTeams); // "TRUE" in any case
    EXPECT_EQ(v.TeamDmgScale, 50);
    EXPECT_FALSE(v.TourneyMode);
    EXPECT_EQ(v.MinVotes, 2);
    EXPECT_EQ(v.MinVotesPct, 35);
    EXPECT_EQ(v.VoteWinMargin, 12);
    EXPECT_EQ(v.VotingTime, 30);
    EXPECT_TRUE(v.BlockAdmin);
    EXPECT_FALSE(v.BlockTeamDmg); // the block switches want exactly "1"
    EXPECT_FALSE(v.BlockGameType);
    EXPECT_TRUE(v.BlockMission);
    EXPECT_EQ(v.ClientPassword, QStringLiteral("joinpw"));
    EXPECT_TRUE(prefs().Reported);
    EXPECT_EQ(captions, 1);
    ASSERT_EQ(view.shown, 1);
    EXPECT_EQ(view.page.HostName, QStringLiteral("My Server"));
    EXPECT_EQ(view.page.MinVotesPct, 35);
    EXPECT_TRUE(view.page.BlockMission);
}

TEST_F(PreferencesReport, MalformedNumbersGiveTheirLeadingDigits) {
    report(QStringLiteral("\"Q\"0\"x\"28001abc\"16 \"abc\"-5\"yes\"half\"1\"\"\"\"\"\"\"\"\"\"\""));
    const ServerVariables &v = prefs().Vars;
    EXPECT_EQ(v.HostPort, 28001);
    EXPECT_EQ(v.MaxPlayers, 16);
    EXPECT_EQ(v.TimeLimit, 0);
    EXPECT_EQ(v.WarmupTime, -5);
    EXPECT_FALSE(v.AutoAssignTeams);
    EXPECT_EQ(v.TeamDmgScale, 0);
    EXPECT_TRUE(v.TourneyMode);
    EXPECT_EQ(v.ClientPassword, QString());
}

TEST_F(PreferencesReport, TextsAreStoredEscapedAndShownAsLines) {
    report(QStringLiteral("\"Q\"1\"Say 'hi'\\nC:\\\\games\"Welcome\\nline two\""));
    EXPECT_EQ(prefs().Vars.HostInfo, QStringLiteral("Say 'hi'\\nC:\\\\games"));
    EXPECT_EQ(prefs().Vars.JoinMOTD, QStringLiteral("Welcome\\nline two"));
    EXPECT_EQ(view.page.HostInfo.split(QLatin1Char('\n')),
              QStringList({QStringLiteral("Say 'hi'"), QStringLiteral("C:\\games")}));
    EXPECT_EQ(view.page.JoinMOTD, QStringLiteral("Welcome\nline two"));
    EXPECT_TRUE(prefs().Reported);
}

TEST_F(PreferencesReport, RunningMissionSetsTheEndTime) {
    platform::setClockForTesting([] { return 45000.5; });
    report(QStringLiteral("\"Q\"3\"Raindance\"90.5\""));
    EXPECT_EQ(missions.CurrentMissionName, QStringLiteral("Raindance"));
    EXPECT_NEAR(missions.MissionEndTime, 45000.5 + 90.5 / 86400.0, 1e-9);
    EXPECT_FALSE(prefs().Reported); // the mission is not a server variable
    EXPECT_EQ(view.shown, 1);
}

TEST_F(PreferencesReport, OtherSubcodesChangeNothingButStillRefreshThePage) {
    int captions = 0;
    prefs().HostNameChanged = [&] { ++captions; };
    report(QStringLiteral("\"Q\"2\"Other\"1\""));
    report(QStringLiteral("\"Q\"7\"Other\"1\""));
    EXPECT_EQ(prefs().Vars.HostName, QString());
    EXPECT_EQ(prefs().Vars.HostInfo, QString());
    EXPECT_EQ(captions, 2);
    EXPECT_EQ(view.shown, 2);
    // A sub-code that is not a number reads as 0.
    report(QStringLiteral("\"Q\"zero\"Named\""));
    EXPECT_EQ(prefs().Vars.HostName, QStringLiteral("Named"));
}

TEST_F(PreferencesReport, SendsNothingBack) {
    connect();
    report(Q0);
    report(QStringLiteral("\"Q\"1\"info\"motd\""));
    report(QStringLiteral("\"Q\"9\""));
    EXPECT_EQ(sent(), QStringList());
    // The page's boxes, set from the cache without the operator's mouse press, send nothing.
    for (PrefCheckBox box :
         {PrefCheckBox::AutoAssignTeams, PrefCheckBox::BlockAdmin, PrefCheckBox::BlockMission})
        prefs().CheckBoxClick(box, true, false);
    EXPECT_EQ(sent(), QStringList());
}

TEST_F(PreferencesReport, DetachedProfileStoresWithoutShowing) {
    prefs().setView(nullptr);
    report(Q0);
    EXPECT_EQ(prefs().Vars.MaxPlayers, 16);
    EXPECT_EQ(view.shown, 0);
}

TEST_F(PreferencesReport, ShowPreferencesCarriesPathAndScript) {
    missions.MissionsPath = QStringLiteral("/games/missions");
    prefs().ScriptFile = QStringLiteral("vexmoor.cs");
    prefs().ShowPreferences();
    EXPECT_EQ(view.page.MissionsPath, QStringLiteral("/games/missions"));
    EXPECT_EQ(view.page.ScriptFile, QStringLiteral("vexmoor.cs"));
}

// --- the page's commands ---------------------------------------------------------------

class PreferenceCommands : public ConnectedProfile {
protected:
    void SetUp() override { connect(); }
};

TEST_F(PreferenceCommands, NumbersSendOnlyWhenChanged) {
    prefs().MaxPlayersExit(16, 16);
    EXPECT_EQ(sent(), QStringList());
    prefs().MaxPlayersExit(20, 16);
    prefs().TimeLimitExit(25, 0);
    prefs().WarmupTimeExit(-3, 0); // values are not validated
    prefs().MinVotesExit(4, 1);
    prefs().VotingTimeExit(45, 20);
    EXPECT_EQ(sent(), QStringList({QStringLiteral("$Server::MaxPlayers = 20; //VX"),
                                   QStringLiteral("$Server::TimeLimit = 25; //VX"),
                                   QStringLiteral("$Server::WarmupTime = -3; //VX"),
                                   QStringLiteral("$Server::MinVotes = 4; //VX"),
                                   QStringLiteral("$Server::VotingTime = 45; //VX")}));
    const ServerVariables &v = prefs().Vars;
    EXPECT_EQ(v.MaxPlayers, 20);
    EXPECT_EQ(v.TimeLimit, 25);
    EXPECT_EQ(v.WarmupTime, -3);
    EXPECT_EQ(v.MinVotes, 4);
    EXPECT_EQ(v.VotingTime, 45);
}

TEST_F(PreferenceCommands, PercentFieldsSendFractions) {
    prefs().MinVotesPctExit(5, 50);
    prefs().VoteWinMarginExit(55, 50);
    prefs().MinVotesPctExit(5, 5);
    EXPECT_EQ(sent(), QStringList({QStringLiteral("$Server::MinVotesPct = 0.05; //VX"),
                                   QStringLiteral("$Server::VoteWinMargin = 0.55; //VX")}));
    EXPECT_EQ(prefs().Vars.MinVotesPct, 5);
    EXPECT_EQ(prefs().Vars.VoteWinMargin, 55);
}

TEST_F(PreferenceCommands, TeamDamageAnnouncesItself) {
    prefs().TeamDmgScaleExit(0, 100);
    EXPECT_EQ(
        sent(),
        QStringList({QStringLiteral("$Server::TeamDamageScale = 0; //VX"),
                     QStringLiteral("messageAll(0, \"Team damage DISABLED by admin.\"); //VX")}));
    prefs().TeamDmgScaleExit(100, 0);
    EXPECT_EQ(
        sent(),
        QStringList({QStringLiteral("$Server::TeamDamageScale = 1; //VX"),
                     QStringLiteral("messageAll(0, \"Team damage ENABLED by admin.\"); //VX")}));
    prefs().TeamDmgScaleExit(-5, 100);
    EXPECT_EQ(sent().last(),
              QStringLiteral("messageAll(0, \"Team damage DISABLED by admin.\"); //VX"));
    prefs().TeamDmgScaleExit(-5, -5);
    EXPECT_EQ(sent(), QStringList());
    EXPECT_EQ(prefs().Vars.TeamDmgScale, -5);
}

TEST_F(PreferenceCommands, TextFieldsAreSentAsEscapedLiterals) {
    int captions = 0;
    prefs().HostNameChanged = [&] { ++captions; };
    prefs().HostNameExit(QStringLiteral("Old"), QStringLiteral("Old"));
    prefs().ClientPasswordExit(QStringLiteral("pw"), QStringLiteral("pw"));
    EXPECT_EQ(sent(), QStringList());
    EXPECT_EQ(captions, 0);
    prefs().HostNameExit(QStringLiteral("New \"Name\""), QStringLiteral("Old"));
    prefs().ClientPasswordExit(QStringLiteral("a\\b"), QString());
    // The texts arrive as typed: quotes and backslashes are escaped inside their literals.
    EXPECT_EQ(sent(), QStringList({QStringLiteral("$Server::HostName = \"New \\\"Name\\\"\"; //VX"),
                                   QStringLiteral("$Server::Password = \"a\\\\b\"; //VX")}));
    EXPECT_EQ(captions, 1);
    EXPECT_EQ(prefs().Vars.HostName, QStringLiteral("New \"Name\""));
    EXPECT_EQ(prefs().Vars.ClientPassword, QStringLiteral("a\\b"));
}

TEST_F(PreferenceCommands, MemosAlwaysSendTheEscapedText) {
    prefs().HostInfoExit(QStringLiteral("Say \"hi\"\nC:\\games"));
    prefs().JoinMOTDExit(QString());
    prefs().JoinMOTDExit(QString()); // unchanged, sent again
    EXPECT_EQ(sent(),
              QStringList({QStringLiteral("$Server::Info = \"Say 'hi'\\nC:\\\\games\"; //VX"),
                           QStringLiteral("$Server::JoinMOTD = \"\"; //VX"),
                           QStringLiteral("$Server::JoinMOTD = \"\"; //VX")}));
    EXPECT_EQ(prefs().Vars.HostInfo, QStringLiteral("Say 'hi'\\nC:\\\\games"));
}

TEST_F(PreferenceCommands, CheckBoxesSendAfterTheOperatorsPress) {
    struct Box {
        PrefCheckBox box;
        const char *variable;
        bool ServerVariables::*member;
    };
    const Box boxes[] = {
        {PrefCheckBox::AutoAssignTeams, "$Server::AutoAssignTeams",
         &ServerVariables::AutoAssignTeams},
        {PrefCheckBox::BlockAdmin, "$Vexmoor::BlockADM", &ServerVariables::BlockAdmin},
        {PrefCheckBox::BlockGameType, "$Vexmoor::BlockGT", &ServerVariables::BlockGameType},
        {PrefCheckBox::BlockTeamDmg, "$Vexmoor::BlockTD", &ServerVariables::BlockTeamDmg},
        {PrefCheckBox::BlockMission, "$Vexmoor::BlockMIS", &ServerVariables::BlockMission},
    };
    for (const Box &b : boxes) {
        SCOPED_TRACE(b.variable);
        const QString name = QLatin1String(b.variable);
        // Without the marker (the program or the keyboard): the cache only.
        EXPECT_FALSE(prefs().CheckBoxClick(b.box, true, false));
        EXPECT_TRUE(prefs().Vars.*b.member);
        EXPECT_EQ(sent(), QStringList());
        EXPECT_TRUE(prefs().CheckBoxClick(b.box, false, true));
        EXPECT_FALSE(prefs().Vars.*b.member);
        EXPECT_TRUE(prefs().CheckBoxClick(b.box, true, true));
        EXPECT_EQ(sent(), QStringList({name + QStringLiteral(" = 0; //VX"),
                                       name + QStringLiteral(" = 1; //VX")}));
    }
}

TEST_F(PreferenceCommands, TourneyModeSwitchesAndStartsTheNextMission) {
    EXPECT_TRUE(prefs().CheckBoxClick(PrefCheckBox::TourneyMode, true, true));
    EXPECT_TRUE(prefs().Vars.TourneyMode);
    EXPECT_EQ(
        sent(),
        QStringList({QStringLiteral("messageAll(0, \"Server switched to Tournament Mode.\"); //VX"),
                     QStringLiteral("$Server::TourneyMode = 1; //VX"),
                     QStringLiteral("Server::NextMission(); //VX")}));
    EXPECT_TRUE(prefs().CheckBoxClick(PrefCheckBox::TourneyMode, false, true));
    EXPECT_EQ(sent(),
              QStringList(
                  {QStringLiteral("messageAll(0, \"Server switched to Free-For-All Mode.\"); //VX"),
                   QStringLiteral("$Server::TourneyMode = 0; //VX"),
                   QStringLiteral("Server::NextMission(); //VX")}));
    // Its marker goes after every click, sent or not.
    EXPECT_TRUE(prefs().CheckBoxClick(PrefCheckBox::TourneyMode, true, false));
    EXPECT_EQ(sent(), QStringList());
    EXPECT_TRUE(prefs().Vars.TourneyMode);
}

TEST_F(PreferenceCommands, RefreshAsksForThePreferences) {
    prefs().Refresh();
    EXPECT_EQ(sent(), QStringList{QStringLiteral("Vexmoor_GetPreferences(); //VX")});
}

TEST_F(PreferenceCommands, ScriptFieldSetsTheScriptOnly) {
    prefs().VexmoorScriptExit(QStringLiteral("admin.cs"));
    EXPECT_EQ(prefs().ScriptFile, QStringLiteral("admin.cs"));
    EXPECT_EQ(env.settings->read(profile.section(), QStringLiteral("VexmoorScript")),
              QStringLiteral("admin.cs"));
    EXPECT_EQ(sent(), QStringList());
}

TEST_F(ConnectedProfile, OfflineChangesStayInTheCache) {
    prefs().MaxPlayersExit(20, 16);
    prefs().MinVotesPctExit(40, 0);
    prefs().HostInfoExit(QStringLiteral("a\nb"));
    prefs().Refresh();
    // A marker left while offline stays: only TourneyMode gives it up.
    EXPECT_FALSE(prefs().CheckBoxClick(PrefCheckBox::BlockAdmin, true, true));
    EXPECT_TRUE(prefs().CheckBoxClick(PrefCheckBox::TourneyMode, true, true));
    EXPECT_EQ(prefs().Vars.MaxPlayers, 20);
    EXPECT_EQ(prefs().Vars.MinVotesPct, 40);
    EXPECT_EQ(prefs().Vars.HostInfo, QStringLiteral("a\\nb"));
    EXPECT_TRUE(prefs().Vars.BlockAdmin);
    EXPECT_TRUE(prefs().Vars.TourneyMode);
    // Connecting later sends none of it.
    connect();
    EXPECT_EQ(sent(), QStringList());
    // The marker left on BlockADM is used by the next click.
    EXPECT_TRUE(prefs().CheckBoxClick(PrefCheckBox::BlockAdmin, false, true));
    EXPECT_EQ(sent(), QStringList{QStringLiteral("$Vexmoor::BlockADM = 0; //VX")});
}

// --- preference files --------------------------------------------------------------------

class PreferenceFiles : public ConnectedProfile {
protected:
    QString path(const char *name) const {
        return env.path() + QLatin1Char('/') + QLatin1String(name);
    }
    static QByteArray read(const QString &file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void write(const QString &file, const QByteArray &bytes) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
};

TEST_F(PreferenceFiles, SaveWritesTheNineteenAssignments) {
    report(Q0);
    report(QStringLiteral("\"Q\"1\"Say 'hi'\\nC:\\\\games\"Welcome\""));
    prefs().Vars.TourneyMode = true;
    prefs().Vars.VoteWinMargin = 5;
    ASSERT_TRUE(prefs().SavePreferenceFile(path("game.vxp")));
    const QByteArray expected = "$Server::HostName=\"My Server\";\r\n"
                                "$Server::Port=28001;\r\n"
                                "$Server::MaxPlayers=16;\r\n"
                                "$Server::TimeLimit=20;\r\n"
                                "$Server::WarmupTime=30;\r\n"
                                "$Server::TeamDamageScale=0.50;\r\n"
                                "$Server::AutoAssignTeams=True;\r\n"
                                "$Server::TourneyMode=True;\r\n"
                                "$Server::MinVotes=2;\r\n"
                                "$Server::MinVotesPct=0.35;\r\n"
                                "$Server::VoteWinMargin=0.05;\r\n"
                                "$Server::VotingTime=30;\r\n"
                                "$Server::Password=\"joinpw\";\r\n"
                                "$Server::JoinMOTD=\"Welcome\";\r\n"
                                "$Server::Info=\"Say 'hi'\\nC:\\\\games\";\r\n"
                                "$Vexmoor::BlockADM=1;\r\n"
                                "$Vexmoor::BlockTD=0;\r\n"
                                "$Vexmoor::BlockGT=0;\r\n"
                                "$Vexmoor::BlockMIS=1;\r\n";
    EXPECT_EQ(read(path("game.vxp")), expected);
}

TEST_F(PreferenceFiles, EmptyCacheSavesZerosAndFalse) {
    ASSERT_TRUE(prefs().SavePreferenceFile(path("blank.vxp")));
    const QList<QByteArray> lines = read(path("blank.vxp")).split('\n');
    ASSERT_EQ(lines.size(), 20); // 19 lines and nothing after the last line end
    EXPECT_EQ(lines[0], "$Server::HostName=\"\";\r");
    EXPECT_EQ(lines[5], "$Server::TeamDamageScale=0.00;\r");
    EXPECT_EQ(lines[6], "$Server::AutoAssignTeams=False;\r");
    EXPECT_EQ(lines[18], "$Vexmoor::BlockMIS=0;\r");
    EXPECT_TRUE(lines[19].isEmpty());
}

TEST_F(PreferenceFiles, SaveToAnUnwritablePlaceFailsQuietly) {
    EXPECT_FALSE(prefs().SavePreferenceFile(path("no/such/dir/x.vxp")));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(PreferenceFiles, LoadSendsEveryLineThenAsksForThePreferences) {
    write(path("in.vxp"),
          "$Server::MaxPlayers=24;\r\n\r\n$Server::Info=\"a\\nb\";\n $Vexmoor::BlockTD = 1 ;");
    const ServerVariables before = prefs().Vars;
    connect();
    EXPECT_TRUE(prefs().LoadPreferenceFile(path("in.vxp")));
    // Blank lines are not sent.
    EXPECT_EQ(sent(), QStringList({QStringLiteral("$Server::MaxPlayers=24; //VX"),
                                   QStringLiteral("$Server::Info=\"a\\nb\"; //VX"),
                                   QStringLiteral("$Vexmoor::BlockTD = 1 ; //VX"),
                                   QStringLiteral("Vexmoor_GetPreferences(); //VX")}));
    EXPECT_EQ(prefs().Vars.MaxPlayers, before.MaxPlayers); // the file does not touch the cache
}

// A preference file is a script for the server's console: only the assignments a saved file
// holds are sent. Any other line refuses the whole file, naming the file and the line.
TEST_F(PreferenceFiles, FilesWithAnyOtherLineAreRefusedWhole) {
    struct Case {
        const char *line;
        bool accepted;
    };
    const Case cases[] = {
        {"$Server::HostName=\"Fine \\\"quoted\\\" \\\\ name\";", true},
        {"$server::hostname=\"any letter case\";", true},
        {"$Server::Port=-28001;", true},
        {"$Server::TeamDamageScale=0.50;", true},
        {"$Server::TourneyMode=false;", true},
        {"$Vexmoor::BlockMIS=0;", true},
        {"$Server::Password=\"x\";$Server::AdminPassword=\"owned\";", false},
        {"$Server::HostName=\"x\";quit();", false},
        {"$Server::HostName=\"a\" @ $Server::AdminPassword;", false},
        {"$Server::HostName=\"unterminated;", false},
        {"$Server::HostName=\"stray \\q escape\";", false},
        {"$Server::HostName=plain;", false},
        {"$Server::MaxPlayers=24", false},
        {"$Server::MaxPlayers=24 + 1;", false},
        {"$Server::MaxPlayers=99999999999;", false},
        {"$Server::TeamDamageScale=half;", false},
        {"$Server::TourneyMode=maybe;", false},
        {"$Vexmoor::BlockADM=2;", false},
        {"$Server::AdminPassword=\"owned\";", false},
        {"$Vexmoor::Other=1;", false},
        {"exec(\"evil.cs\");", false},
        {"Server::NextMission();", false},
        {"// a comment", false},
    };
    connect();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        dialogs.messages.clear();
        write(path("in.vxp"), QByteArray("$Server::MaxPlayers=24;\r\n") + c.line + "\r\n");
        EXPECT_EQ(prefs().LoadPreferenceFile(path("in.vxp")), c.accepted);
        const QStringList lines = sent();
        if (c.accepted) {
            EXPECT_EQ(lines.size(), 3);
            EXPECT_TRUE(dialogs.messages.isEmpty());
            continue;
        }
        // Nothing of the file went out, only the request for the preferences.
        EXPECT_EQ(lines, QStringList{QStringLiteral("Vexmoor_GetPreferences(); //VX")});
        ASSERT_EQ(dialogs.messages.size(), 1);
        EXPECT_EQ(dialogs.messages[0].first, platform::Dialogs::Icon::Warning);
        EXPECT_TRUE(dialogs.messages[0].second.contains(path("in.vxp")));
        EXPECT_TRUE(dialogs.messages[0].second.contains(QStringLiteral("line 2 ")));
    }
}

// Whatever the cache holds (typed by the operator or reported by a server), the saved file
// loads again and every value arrives as the one literal it was.
TEST_F(PreferenceFiles, HostileValuesSaveAsLiteralsAndLoadBack) {
    report(QStringLiteral("\"Q\"1\"info \\ with \\q stray\\\"motd;\""));
    prefs().HostNameExit(QStringLiteral("Evil\";$Server::AdminPassword=\"owned"), QString());
    prefs().ClientPasswordExit(QStringLiteral("p\\w\n"), QString());
    ASSERT_TRUE(prefs().SavePreferenceFile(path("hostile.vxp")));
    const QByteArray saved = read(path("hostile.vxp"));
    EXPECT_TRUE(
        saved.contains("$Server::HostName=\"Evil\\\";$Server::AdminPassword=\\\"owned\";\r\n"));
    EXPECT_TRUE(saved.contains("$Server::Password=\"p\\\\w\\n\";\r\n"));
    EXPECT_TRUE(saved.contains("$Server::Info=\"info \\\\ with \\\\q stray\\\\\";\r\n"));
    connect();
    EXPECT_TRUE(prefs().LoadPreferenceFile(path("hostile.vxp")));
    EXPECT_EQ(sent().size(), 20);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(PreferenceFiles, SavedFileReplaysAsItsAssignments) {
    prefs().Vars.MaxPlayers = 12;
    ASSERT_TRUE(prefs().SavePreferenceFile(path("round.vxp")));
    connect();
    prefs().LoadPreferenceFile(path("round.vxp"));
    const QStringList lines = sent();
    ASSERT_EQ(lines.size(), 20);
    EXPECT_EQ(lines[2], QStringLiteral("$Server::MaxPlayers=12; //VX"));
    for (const QString &line : lines)
        EXPECT_FALSE(line.contains(QLatin1Char('\r')));
}

TEST_F(PreferenceFiles, LoadWithoutConnectionOrFile) {
    write(path("in.vxp"), "$Server::MaxPlayers=24;\r\n");
    prefs().LoadPreferenceFile(path("in.vxp")); // offline: nothing at all
    connect();
    EXPECT_EQ(sent(), QStringList());
    prefs().LoadPreferenceFile(path("missing.vxp"));
    EXPECT_EQ(sent(), QStringList{QStringLiteral("Vexmoor_GetPreferences(); //VX")});
}

// The replay after a reconnection reads vxtemp.vxp only as a regular file, never through a
// planted link (whose target would be sent to the server); the link itself is removed.
TEST_F(PreferenceFiles, RestoreFileIsNotReadThroughALink) {
    write(path("elsewhere.vxp"), "$Server::MaxPlayers=99;\r\n");
    ASSERT_TRUE(QDir().mkpath(profile.directory()));
    ASSERT_TRUE(QFile::link(path("elsewhere.vxp"), prefs().restoreFileName()));
    connect();
    QString refusal;
    EXPECT_FALSE(prefs().RestorePreferences(refusal));
    EXPECT_EQ(sent(), QStringList{QStringLiteral("Vexmoor_GetPreferences(); //VX")});
    EXPECT_FALSE(QFileInfo(prefs().restoreFileName()).isSymLink());
    EXPECT_EQ(read(path("elsewhere.vxp")), QByteArray("$Server::MaxPlayers=99;\r\n"));
    // A regular restore file is replayed and deleted.
    prefs().Vars.MaxPlayers = 12;
    ASSERT_TRUE(prefs().SavePreferenceFile(prefs().restoreFileName()));
    EXPECT_TRUE(prefs().RestorePreferences(refusal));
    EXPECT_TRUE(refusal.isEmpty());
    EXPECT_EQ(sent().size(), 20);
    EXPECT_FALSE(QFile::exists(prefs().restoreFileName()));
}

TEST_F(PreferenceFiles, RestoreFileOfAnEarlierRunIsDropped) {
    const QString restore = prefs().restoreFileName();
    EXPECT_EQ(restore, profile.directory() + QStringLiteral("/vxtemp.vxp"));
    write(restore, "$Server::MaxPlayers=99;\r\n");
    // The next run's profile of the same address must not replay it.
    preferences = std::make_unique<Preferences>(profile, missions);
    EXPECT_FALSE(QFile::exists(restore));
}

} // namespace
