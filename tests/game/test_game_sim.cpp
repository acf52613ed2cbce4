// A profile against the demo game server over loopback: game reports told in the event log
// file exactly, in order, and a whole scripted match told without loss.
#include "gamefixture.h"
#include "simserver.h"

#include <QFile>
#include <limits>

using namespace testing_support;
using namespace game_testing;

namespace {

const platform::DateTime Noon = 45357.5; // 03/06/2024 12:00:00

class GameSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::setClockForTesting([] { return Noon; });
    }
    void TearDown() override {
        if (profile) profile->DetachView();
        profile.reset();
        platform::setClockForTesting({});
    }

    // Starts the server and a profile that logs to file, and brings the profile online with
    // the server's teams listed.
    void start(sim::SimOptions options) {
        options.password = QStringLiteral("secret");
        server = std::make_unique<sim::SimServer>(options);
        ASSERT_TRUE(server->listen());
        profile = std::make_unique<TVexmoorServer>(
            QStringLiteral("secret"), QStringLiteral("127.0.0.1"), server->port(), context);
        profile->ScriptFile = QStringLiteral("vexmoor.cs");
        profile->eventLog().SetLogToFile(true);
        profile->events().SentenceObserver = [this](const QString &shown, const QString &spoken,
                                                    int category) {
            sentences.push_back({shown, spoken, category});
        };
        profile->AttachView(&view);
        profile->ToggleConnection();
        ASSERT_TRUE(waitFor([&] { return profile->SessionState == TVexmoorServer::Online; }));
        ASSERT_TRUE(waitFor([&] { return profile->roster().DefinedTeams.size() >= 2; }));
    }
    // Sends a line no handler acts on and waits until the profile has shown it, so that
    // everything sent before it has been handled.
    bool drain(const QString &mark) {
        const QString line = QStringLiteral("\"X\"") + mark + QLatin1Char('"');
        server->sendLine(line);
        return waitFor([&] { return view.console.contains(line); }, 10000);
    }
    QStringList logLines() const {
        QFile file(profile->eventLog().logFilePath());
        if (!file.open(QIODevice::ReadOnly)) return {};
        const QString text = QString::fromLatin1(file.readAll());
        QStringList lines = text.split(QStringLiteral("\r\n"));
        EXPECT_TRUE(lines.last().isEmpty()); // every line ends in CR LF
        lines.removeLast();
        return lines;
    }

    TempEnv env;
    FakeDialogs dialogs;
    ServerContext context{*env.settings, dialogs};
    std::unique_ptr<sim::SimServer> server;
    std::unique_ptr<TVexmoorServer> profile;
    RosterRecordingView view;
    std::vector<Sentence> sentences;
};

TEST_F(GameSimTest, ReportsAreToldInTheEventLogFileInOrder) {
    start({});
    const QString team0 = sim::GameState::defaultTeamName(0);
    const QString team1 = sim::GameState::defaultTeamName(1);
    const QStringList lines = {
        QStringLiteral("\"C\"2049\"Kim\"10.0.0.7:1\"Female\""),
        QStringLiteral("\"C\"2050\"[B]ob\"10.0.0.8:1\"Male\""),
        QStringLiteral("\"A\"2049\"1\""),
        QStringLiteral("\"A\"2050\"-2\""),
        QStringLiteral("\"M\"Raindance\"1200\""),
        QStringLiteral("\"G\"2049\"0\""),
        QStringLiteral("\"F\"2049\"10\""),
        QStringLiteral("\"K\"2050\"2049\"4\"1\""),
        QStringLiteral("\"K\"2049\"2049\"0\"1\""),
        QStringLiteral("\"K\"0\"2050\"7\"0\""),
        QStringLiteral("\"T\"2049\"2050\"1\"2\""),
        QStringLiteral("\"K\"2050\"2050\"\"1\""),
        QStringLiteral("\"K\"2050\"2300\"4\"1\""), // no such victim: not told
        QStringLiteral("\"V\"etd\""),
        QStringLiteral("\"S\"3\"2\""),
        QStringLiteral("\"D\"2049\""),
        QStringLiteral("\"D\"2049\""), // gone already: not told
        QStringLiteral("\"D\"2050\""),
    };
    for (const QString &line : lines)
        server->sendLine(line);
    ASSERT_TRUE(drain(QStringLiteral("end")));

    const QStringList expected = {
        QStringLiteral("[12:00:00] Session started on 03/06/2024 ") + QString(40, u'*'),
        QStringLiteral("[12:00:00] Kim connected to the game."),
        QStringLiteral("[12:00:00] [B]ob connected to the game."),
        QStringLiteral("[12:00:00] Kim has joined team \"") + team1 + QStringLiteral("\"."),
        QStringLiteral("[12:00:00] [B]ob has become an observer."),
        QStringLiteral("[12:00:00] Mission \"Raindance\" started (03/06/2024)."),
        QStringLiteral("[12:00:00] Kim grabbed a flag. "),
        QStringLiteral("[12:00:00] Kim captured a flag. (10 points)"),
        QStringLiteral("[12:00:00] [B]ob killed Kim with the disc launcher."),
        QStringLiteral("[12:00:00] Kim has fallen to her death."),
        QStringLiteral("[12:00:00] \"The World\" killed [B]ob with a mortar."),
        QStringLiteral("[12:00:00] Kim killed [B]ob with the chaingun."),
        QStringLiteral("[12:00:00] [B]ob committed suicide."),
        QStringLiteral("[12:00:00] The players have voted to enable team damage."),
        QStringLiteral("[12:00:00] Team ") + team0 +
            QStringLiteral(" wins the match with 3 points."),
        QStringLiteral("[12:00:00] Kim disconnected from the game."),
        QStringLiteral("[12:00:00] [B]ob disconnected from the game."),
    };
    EXPECT_EQ(logLines(), expected);
    ASSERT_EQ(sentences.size(), 16u);
    EXPECT_EQ(sentences[8].spoken, QStringLiteral("kim has fallen to her death."));
    EXPECT_EQ(sentences[9].spoken, QStringLiteral("The World killed  b ob with a mortar."));
    // The mission start asks for the team list again in active mode.
    EXPECT_EQ(server->receivedCommands().count(QStringLiteral("Vexmoor_GetTeams(); //VX")), 2);
    EXPECT_TRUE(profile->roster().ConnectedPlayers.isEmpty());
    EXPECT_EQ(profile->activity().CompletedSessions, 2);
}

// A hostile server: names with control characters cannot forge lines of the log, and scores
// at the int limits saturate in the roster, the team list and the Players row (the sanitizer
// build aborts on any signed overflow).
TEST_F(GameSimTest, HostileNamesAndScoresAtTheLimits) {
    start({});
    profile->stats().SetStatsEnabled(true);
    const QString max = QString::number(std::numeric_limits<int>::max());
    const QString min = QString::number(std::numeric_limits<int>::min());
    const QStringList lines = {
        QStringLiteral(
            "\"C\"2170\"Kim\r[12:00:00] Admin password changed to x\"10.0.0.7:1\"Female\""),
        QStringLiteral("\"C\"2171\"\x1b]0;owned\x07\x1b[2JBob\x9b1m\"10.0.0.8:1\"Male\""),
        QStringLiteral("\"A\"2170\"0\""),
        QStringLiteral("\"A\"2171\"1\""),
        QStringLiteral("\"K\"2170\"2171\"4\"") + max + QLatin1Char('"'),
        QStringLiteral("\"K\"2170\"2171\"4\"") + max + QLatin1Char('"'),
        QStringLiteral("\"T\"2170\"2171\"4\"") + min + QLatin1Char('"'), // -min saturates
        QStringLiteral("\"B\"0\"") + max + QLatin1Char('"'),
        QStringLiteral("\"B\"0\"") + max + QLatin1Char('"'),
        QStringLiteral("\"B\"1\"") + min + QLatin1Char('"'),
        QStringLiteral("\"B\"1\"") + min + QLatin1Char('"'),
        QStringLiteral("\"K\"2171\"2170\"4\"") + min + QLatin1Char('"'),
        QStringLiteral("\"K\"2171\"2170\"4\"") + min + QLatin1Char('"'),
        QStringLiteral("\"F\"2171\"") + min + QLatin1Char('"'),
        QStringLiteral("\"S\"") + max + QLatin1Char('"') + min + QLatin1Char('"'),
    };
    for (const QString &line : lines)
        server->sendLine(line);
    ASSERT_TRUE(drain(QStringLiteral("end")));

    const PlayerSlot &kim = *profile->roster().slot(2170);
    const PlayerSlot &bob = *profile->roster().slot(2171);
    EXPECT_EQ(kim.Score, std::numeric_limits<int>::max());
    EXPECT_EQ(bob.Score, std::numeric_limits<int>::min());
    EXPECT_EQ(profile->roster().TeamSlots[0].Score, std::numeric_limits<int>::max());
    EXPECT_EQ(profile->roster().TeamSlots[1].Score, std::numeric_limits<int>::min());
    profile->stats().CommitTables();

    // One log line per event, each beginning with its time: the names' control characters
    // are shown as replacements.
    const QStringList log = logLines();
    ASSERT_GE(log.size(), 8);
    for (const QString &line : log) {
        EXPECT_TRUE(line.startsWith(QStringLiteral("[12:00:00] "))) << qPrintable(line);
        for (const QChar c : line)
            EXPECT_FALSE(c.unicode() < 32 || (c.unicode() >= 127 && c.unicode() < 160))
                << "control character " << int(c.unicode()) << " in " << qPrintable(line);
    }
    EXPECT_EQ(log[1], QStringLiteral("[12:00:00] Kim?[12:00:00] Admin password changed to x "
                                     "connected to the game."));
    EXPECT_EQ(profile->eventLog().EventHistory[0],
              QStringLiteral("[12:00:00] Kim\uFFFD[12:00:00] Admin password changed to x "
                             "connected to the game."));
}

TEST_F(GameSimTest, AScriptedMatchIsToldWithoutLoss) {
    sim::SimOptions options;
    options.match = sim::MatchMode::Scripted;
    options.speed = 0; // the test steps the match
    options.autoStart = false;
    options.matchConfig.players = 5;
    options.matchConfig.teams = 3;
    start(options);
    const QStringList script = server->scriptedLines();
    while (server->stepMatch())
        QCoreApplication::processEvents();
    ASSERT_TRUE(drain(QStringLiteral("end of match")));

    // What the script holds, counted from its lines.
    std::map<int, int> perCategory;
    int chat = 0, connects = 0;
    for (const QString &line : script) {
        if (line.startsWith(QStringLiteral("SAY"))) ++chat;
        if (!line.startsWith(QLatin1Char('"'))) continue;
        const QChar code = line.at(1);
        if (code == u'C') ++connects;
        if (code == u'C' || code == u'D') ++perCategory[ConnectDisconnect];
        if (code == u'M' || code == u'S') ++perCategory[MissionScore];
        if (code == u'K' || code == u'T') ++perCategory[KillsSuicides];
        if (code == u'V') ++perCategory[Votes];
        if (playerEventKind(code)) ++perCategory[FlagsObjectives];
    }
    ASSERT_GT(sentences.size(), 60u); // the match was played
    std::map<int, int> told;
    for (const Sentence &s : sentences)
        ++told[s.category];
    for (int category : {MissionScore, Votes, ConnectDisconnect, FlagsObjectives, KillsSuicides})
        EXPECT_EQ(told[category], perCategory[category]) << "category " << category;

    // The file holds the banner, then every sentence in order, with the chat lines among them.
    QStringList entries = logLines();
    ASSERT_FALSE(entries.isEmpty());
    EXPECT_TRUE(entries.takeFirst().contains(QStringLiteral("Session started on 03/06/2024")));
    QStringList chatEntries, gameEntries;
    for (const QString &entry : entries)
        (entry.contains(QStringLiteral(" : ")) ? chatEntries : gameEntries).append(entry);
    EXPECT_EQ(chatEntries.size(), chat);
    ASSERT_EQ(gameEntries.size(), static_cast<qsizetype>(sentences.size()));
    for (size_t i = 0; i < sentences.size(); ++i)
        EXPECT_EQ(gameEntries[static_cast<qsizetype>(i)],
                  QStringLiteral("[12:00:00] ") + sentences[i].shown);

    // Everybody left in the end; the one who came back counts twice.
    EXPECT_TRUE(profile->roster().ConnectedPlayers.isEmpty());
    EXPECT_EQ(profile->activity().TotalConnections, connects);
    EXPECT_EQ(profile->activity().CompletedSessions, connects);
    EXPECT_EQ(profile->activity().NamesThisHour.size(), options.matchConfig.players);
}

} // namespace
