// The simulator's parts without sockets: report lines, the command interpreter, the
// game state and the scripted match.

#include "console.h"
#include "gamestate.h"
#include "match.h"
#include "report.h"

#include <gtest/gtest.h>

#include <QSet>

using namespace sim;

TEST(SimReport, FormatAndParseRoundTrip) {
    const QString line = formatReport({"K", "2049", "2050", "", "1"});
    EXPECT_EQ(line, "\"K\"2049\"2050\"\"1\"");
    EXPECT_EQ(parseReport(line), QStringList({"K", "2049", "2050", "", "1"}));
    // Quotes and line ends inside a field must not break the field layout.
    EXPECT_EQ(parseReport(formatReport({"C", "say \"hi\"\nnow"})),
              QStringList({"C", "say 'hi' now"}));
    EXPECT_EQ(parseReport("\"D\"2049\"trailing"), QStringList({"D", "2049"}));
    EXPECT_TRUE(parseReport("SAY: 2049 hi").isEmpty());
}

TEST(SimReport, EscapedTextAndLiterals) {
    EXPECT_EQ(escapeText("a\"b\r\nc\\d"), "a'b\\nc\\\\d");
    EXPECT_EQ(unescapeLiteral("a'b\\nc\\\\d"), "a'b\nc\\d");
    EXPECT_EQ(unescapeLiteral("\\\"!\\\"Bob"), "\"!\"Bob");
    EXPECT_EQ(unescapeLiteral("keep\\x and end\\"), "keep\\x and end\\");
}

TEST(SimConsole, ParsesStatementsCommentsAndQuotes) {
    const QList<Statement> s =
        parseCommandLine("$a = \"x;y // z\"; foo(1, \"b,c\", bar) ; $b=2; //VX");
    ASSERT_EQ(s.size(), 3);
    EXPECT_EQ(s[0].kind, Statement::Assign);
    EXPECT_EQ(s[0].name, "$a");
    EXPECT_EQ(s[0].value, "x;y // z");
    EXPECT_EQ(s[1].kind, Statement::Call);
    EXPECT_EQ(s[1].args, QStringList({"1", "b,c", "bar"}));
    EXPECT_EQ(s[2].value, "2");
    EXPECT_TRUE(parseCommandLine(" //VX").isEmpty());
    EXPECT_EQ(parseCommandLine("nonsense here").first().kind, Statement::Invalid);
}

class SimConsoleTest : public ::testing::Test {
protected:
    void connect(int id, int team) {
        state.apply(
            formatReport({"C", QString::number(id), "P" + QString::number(id), "IP:x", "Male"}));
        state.apply(formatReport({"A", QString::number(id), QString::number(team)}));
    }
    GameState state{2, {"Alpha", "Beta", "Gamma"}, 20};
    Console console{state};
};

TEST_F(SimConsoleTest, GetAnswersDescribeTheState) {
    connect(2049, 0);
    connect(2050, 1);
    state.apply("\"B\"1\"7\"");
    EXPECT_EQ(
        console.execute("Vexmoor_GetTeams(); //VX").reply,
        QStringList({"\"2\"-1\"0\"\"", "\"2\"0\"0\"Blood Eagle\"", "\"2\"1\"7\"Diamond Sword\""}));
    EXPECT_EQ(console.execute("Vexmoor_GetPlayers(); //VX").reply,
              QStringList({"\"1\"0\"\"\"-1\"0\"\"", "\"1\"2049\"P2049\"IP:x\"0\"0\"Male\"",
                           "\"1\"2050\"P2050\"IP:x\"1\"0\"Male\""}));
    console.setClock([] { return 99.4; });
    EXPECT_EQ(console.execute("Vexmoor_GetStatus(); //VX").reply,
              QStringList({"\"Q\"3\"Alpha\"99\""}));
    const QStringList prefs = console.execute("Vexmoor_GetPreferences(); //VX").reply;
    ASSERT_EQ(prefs.size(), 2);
    const QStringList q0 = parseReport(prefs[0]);
    ASSERT_EQ(q0.size(), 19);
    EXPECT_EQ(q0[1], "0");
    EXPECT_EQ(q0[5], "20"); // time limit from the constructor
    EXPECT_EQ(parseReport(prefs[1])[3], "Welcome to the 'Vexmoor' test server!\\nHave fun");
}

TEST_F(SimConsoleTest, AssignmentsShowInTheNextPreferences) {
    console.execute("$Server::MaxPlayers = 20; //VX");
    console.execute("$vexmoor::blockadm=1; //VX"); // names ignore case, as in the game
    console.execute("$Server::Info = \"two\\nlines \\\\ here\"; //VX");
    const QStringList prefs = console.execute("Vexmoor_GetPreferences(); //VX").reply;
    const QStringList q0 = parseReport(prefs[0]);
    EXPECT_EQ(q0[4], "20");
    EXPECT_EQ(q0[14], "1");
    EXPECT_EQ(state.variable("$Server::Info"), "two\nlines \\ here");
    EXPECT_EQ(parseReport(prefs[1])[2], "two\\nlines \\\\ here");
}

TEST_F(SimConsoleTest, KickAndTeamChangesBecomeReports) {
    connect(2049, 0);
    connect(2050, 0);
    connect(2051, 1);
    ConsoleOutput out = console.execute("Net::Kick(2050,\"bye\"); //VX");
    EXPECT_EQ(out.broadcast, QStringList({"\"D\"2050\""}));
    EXPECT_EQ(state.player(2050), nullptr);
    EXPECT_TRUE(console.execute("Net::Kick(2050,\"again\"); //VX").broadcast.isEmpty());

    EXPECT_TRUE(console.execute("processMenuPickTeam(2049,0,2048); //VX").broadcast.isEmpty());
    EXPECT_EQ(console.execute("processMenuPickTeam(2049,-2,2048); //VX").broadcast,
              QStringList({"\"A\"2049\"-2\""}));
    // Automatic: the smaller team; both have one other player, so the first.
    EXPECT_EQ(console.execute("processMenuPickTeam(2049,-1,2048); //VX").broadcast,
              QStringList({"\"A\"2049\"0\""}));
    EXPECT_TRUE(console.execute("processMenuPickTeam(2049,2,2048); //VX").broadcast.isEmpty());
    EXPECT_TRUE(console.execute("processMenuPickTeam(9999,1,2048); //VX").broadcast.isEmpty());
}

TEST_F(SimConsoleTest, MissionsEchoAndUnknownCommands) {
    EXPECT_EQ(console.execute("Server::LoadMission(\"Gamma\"); //VX").broadcast,
              QStringList({"\"M\"Gamma\"1200\""}));
    EXPECT_EQ(console.execute("Server::NextMission(); //VX").broadcast,
              QStringList({"\"M\"Alpha\"1200\""})); // wraps round the list
    // The rotation link as the admin tool writes it, with a quoted index.
    console.execute("$nextMission[\"Alpha\"] = \"Gamma\"; //VX");
    EXPECT_EQ(state.variable("$NEXTMISSION[Alpha]"), "Gamma");
    EXPECT_EQ(console.execute("Server::NextMission(); //VX").broadcast,
              QStringList({"\"M\"Gamma\"1200\""}));

    EXPECT_EQ(console.execute("echo(\"\\\"!\\\"Bob\\\"hello\\\"\"); //VX").broadcast,
              QStringList({"\"!\"Bob\"hello\""}));
    EXPECT_EQ(console.execute("exec(\"vexmoor.cs\"); //VX").reply.first(), "Executing vexmoor.cs.");
    EXPECT_EQ(console.execute("Frobnicate();").reply, QStringList({"Unknown command: Frobnicate"}));
    EXPECT_TRUE(console.execute("MessageAll(0,\"hi\"); //VX").reply.isEmpty());
    console.execute("BanList::add(\"IP:1.2.3.4\",600); //VX");
    ASSERT_EQ(state.bans().size(), 1);
    EXPECT_EQ(state.bans().first().mask, "IP:1.2.3.4");
}

TEST_F(SimConsoleTest, ReportLinesKeepScoresAndVotes) {
    connect(2049, 0);
    connect(2050, 1);
    state.apply("\"K\"2049\"2050\"4\"3\"");
    state.apply("\"G\"2049\"5\"");
    EXPECT_EQ(state.player(2049)->score, 8);
    state.apply("\"K\"2049\"2049\"5\"1\""); // self kill costs points
    state.apply("\"T\"2049\"2050\"1\"2\""); // so does a team kill
    state.apply("\"K\"0\"2049\"7\"4\"");    // the world scores nothing
    EXPECT_EQ(state.player(2049)->score, 5);
    state.apply("\"B\"0\"4\"");
    state.apply("\"M\"Beta\"60\"");
    EXPECT_EQ(state.player(2049)->score, 0);
    EXPECT_EQ(state.teams()[0].score, 0);
    EXPECT_EQ(state.mission(), "Beta");
    state.apply("\"V\"tourney\"");
    state.apply("\"V\"etd\"");
    EXPECT_EQ(state.variable("$Server::TourneyMode"), "true");
    EXPECT_EQ(state.variable("$Server::TeamDamageScale"), "1");
    state.apply("\"K\"2049\"2050\"x\"1\""); // malformed records change nothing
    state.apply("\"A\"abc\"1\"");
    EXPECT_EQ(state.player(2049)->score, 0);
}

namespace {

// Replays a script and checks that every line is well formed and refers to players
// that are connected at that moment; returns the codes seen.
QSet<QString> checkCoherent(const QStringList &lines, int players, int teams) {
    QSet<int> present;
    QSet<QString> codes;
    auto known = [&](const QString &id) {
        EXPECT_TRUE(present.contains(id.toInt())) << id.toStdString();
    };
    for (const QString &line : lines) {
        if (line.startsWith("SAY")) {
            codes << line.section(':', 0, 0);
            const int colon = int(line.indexOf(':'));
            known(line.mid(colon + 2, 4)); // the id sits where the admin tool reads it
            continue;
        }
        const QStringList f = parseReport(line);
        EXPECT_FALSE(f.isEmpty()) << line.toStdString();
        if (f.isEmpty()) continue;
        const QString code = f[0];
        codes << code;
        if (code == "C") {
            const int id = f[1].toInt();
            EXPECT_GE(id, FirstClientId);
            EXPECT_LT(id, FirstClientId + players);
            EXPECT_EQ(f.size(), 5);
            present << id;
        } else if (code == "D") {
            known(f[1]);
            present.remove(f[1].toInt());
        } else if (code == "A") {
            known(f[1]);
            EXPECT_GE(f[2].toInt(), -2);
            EXPECT_LT(f[2].toInt(), teams);
        } else if (QString("EFGHIJOPRYZ").contains(code)) {
            EXPECT_EQ(f.size(), 3);
            known(f[1]);
        } else if (code == "K" || code == "T") {
            EXPECT_EQ(f.size(), 5);
            if (f[1] != "0") known(f[1]);
            known(f[2]);
        } else if (code == "S") {
            EXPECT_EQ(f.size(), teams + 1);
        }
    }
    EXPECT_TRUE(present.isEmpty()) << "everybody leaves at the end";
    return codes;
}

} // namespace

TEST(SimMatch, ScriptedMatchIsDeterministicAndDependsOnTheSeed) {
    MatchConfig c;
    c.seed = 42;
    EXPECT_EQ(scriptedMatch(c), scriptedMatch(c));
    MatchConfig d = c;
    d.seed = 43;
    EXPECT_NE(scriptedMatch(c), scriptedMatch(d));
}

TEST(SimMatch, ScriptedMatchCoversEveryCodeAndWeapon) {
    MatchConfig c;
    c.players = 8;
    const QStringList lines = scriptedMatch(c);
    const QSet<QString> codes = checkCoherent(lines, c.players, c.teams);
    for (const char *code : {"!", "A", "B", "C", "D", "E", "F", "G", "H", "I", "J",   "K",
                             "M", "O", "P", "R", "S", "T", "V", "X", "Y", "Z", "SAY", "SAYTEAM"})
        EXPECT_TRUE(codes.contains(code)) << code;

    QSet<QString> weapons;
    bool world = false, fallIsSelf = true;
    for (const QString &line : lines) {
        const QStringList f = parseReport(line);
        if (f.value(0) != "K") continue;
        weapons << f[3];
        world = world || f[1] == "0";
        if (f[3] == "0") fallIsSelf = fallIsSelf && f[1] == f[2];
    }
    for (int w = -1; w <= 14; ++w)
        EXPECT_TRUE(weapons.contains(QString::number(w))) << w;
    EXPECT_TRUE(weapons.contains("")) << "a suicide has an empty weapon";
    EXPECT_TRUE(world);
    EXPECT_TRUE(fallIsSelf);
    for (const char *vote : {"tourney", "ffa", "etd", "dtd"})
        EXPECT_TRUE(lines.contains(formatReport({"V", vote})));
}

TEST(SimMatch, ScriptedMatchResultsFollowTheTeamScores) {
    MatchConfig c;
    c.teams = 3;
    const QStringList lines = scriptedMatch(c);
    QStringList results;
    for (const QString &l : lines)
        if (l.startsWith("\"S\"")) results << l;
    ASSERT_EQ(results.size(), 2);
    EXPECT_EQ(results[0], "\"S\"25\"5\"5\"");   // capture bonus 10 plus 15 for team 0
    EXPECT_EQ(results[1], "\"S\"20\"20\"20\""); // the second round ends in a tie
}

TEST(SimMatch, FullServerAndSmallServer) {
    for (int players : {1, 2, 128}) {
        MatchConfig c;
        c.players = players;
        c.teams = players == 128 ? 8 : 2;
        c.seed = 5;
        const QStringList lines = scriptedMatch(c);
        checkCoherent(lines, players, c.teams);
        int connects = 0;
        for (const QString &l : lines)
            connects += l.startsWith("\"C\"") ? 1 : 0;
        EXPECT_GE(connects, players);
    }
    MatchConfig tooMany;
    tooMany.players = 500;
    checkCoherent(scriptedMatch(tooMany), 128, 2);
}

TEST(SimMatch, RandomMatchFillsTheServerAndStaysCoherent) {
    MatchConfig c;
    c.players = 6;
    c.seed = 9;
    GameState state(c.teams);
    RandomMatch random(c);
    QStringList all;
    for (int i = 0; i < 600; ++i)
        for (const QString &line : random.next(state)) {
            all << line;
            const QStringList f = parseReport(line);
            if (QString("ADEFGHIJOPRYZ").contains(f.value(0)) && !f.value(0).isEmpty()) {
                EXPECT_NE(state.player(f[1].toInt()), nullptr) << line.toStdString();
            }
            state.apply(line);
        }
    EXPECT_LE(state.playerCount(), 6);
    EXPECT_GE(state.playerCount(), 1);
    RandomMatch again(c);
    GameState other(c.teams);
    QStringList replay;
    for (int i = 0; i < 600; ++i)
        for (const QString &line : again.next(other)) {
            replay << line;
            other.apply(line);
        }
    EXPECT_EQ(all, replay);
}

TEST(SimReport, CutLinesCutsInsideEveryLineAndJoinsBack) {
    const QByteArray text = "\"K\"2049\"2050\"4\"1\"\r\nSAY: 2049 hi\r\nx\n\nlast";
    std::mt19937 rng(3);
    const QList<QByteArray> pieces = cutLines(text, rng);
    EXPECT_EQ(pieces.join(), text);
    ASSERT_GE(pieces.size(), 4);
    // No piece but the last ends exactly at a line end: every line is really cut.
    for (qsizetype i = 0; i + 1 < pieces.size(); ++i)
        EXPECT_FALSE(pieces[i].endsWith('\n')) << i;
    std::mt19937 same(3);
    EXPECT_EQ(cutLines(text, same), pieces);
}
