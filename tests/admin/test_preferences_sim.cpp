// The preferences of a profile against the demo game server over loopback.
#include "prefs_support.h"
#include "simserver.h"

#include <QFile>

using namespace prefs_test;

namespace {

class PreferencesSim : public ::testing::Test {
protected:
    PreferencesSim() {
        sim::SimOptions options;
        options.password = QStringLiteral("secret");
        server = std::make_unique<sim::SimServer>(options);
        EXPECT_TRUE(server->listen());
        profile = std::make_unique<TVexmoorServer>(
            QStringLiteral("secret"), QStringLiteral("127.0.0.1"), server->port(), context);
        profile->ScriptFile = QStringLiteral("vexmoor.cs");
        profile->AttachView(&view);
    }
    ~PreferencesSim() override { profile->DetachView(); }

    Preferences &prefs() { return profile->prefs(); }
    bool online() {
        return waitFor([&] { return profile->SessionState == TVexmoorServer::Online; });
    }
    bool variableIs(const char *name, const char *value) {
        return waitFor(
            [&] { return server->variable(QLatin1String(name)) == QLatin1String(value); });
    }

    TempEnv env;
    FakeDialogs dialogs;
    ServerContext context{*env.settings, dialogs};
    std::unique_ptr<sim::SimServer> server;
    PageView view;
    std::unique_ptr<TVexmoorServer> profile;
};

TEST_F(PreferencesSim, ChangesReachTheServerAndRefreshShowsThem) {
    profile->ToggleConnection();
    ASSERT_TRUE(online());
    ASSERT_TRUE(waitFor([&] { return prefs().Reported && !prefs().Vars.HostInfo.isEmpty(); }));
    EXPECT_EQ(view.page.MaxPlayers, 32);
    EXPECT_EQ(view.page.MinVotesPct, 50);

    prefs().MaxPlayersExit(20, view.page.MaxPlayers);
    prefs().MinVotesPctExit(35, view.page.MinVotesPct);
    prefs().HostInfoExit(QStringLiteral("Say \"hi\"\nC:\\games"));
    EXPECT_FALSE(prefs().CheckBoxClick(PrefCheckBox::BlockAdmin, true, false)); // keyboard
    EXPECT_TRUE(prefs().CheckBoxClick(PrefCheckBox::BlockMission, true, true)); // mouse
    ASSERT_TRUE(variableIs("$Server::MaxPlayers", "20"));
    ASSERT_TRUE(variableIs("$Server::MinVotesPct", "0.35"));
    ASSERT_TRUE(variableIs("$Vexmoor::BlockMIS", "1"));
    EXPECT_EQ(server->variable(QStringLiteral("$Vexmoor::BlockADM")), QStringLiteral("0"));
    // Somebody else changes a variable on the server.
    server->setVariable(QStringLiteral("$Server::TimeLimit"), QStringLiteral("45"));

    const int shown = view.shown;
    prefs().Refresh();
    ASSERT_TRUE(waitFor([&] { return view.shown >= shown + 2; })); // sub-codes 0 and 1
    EXPECT_EQ(view.page.MaxPlayers, 20);
    EXPECT_EQ(view.page.MinVotesPct, 35);
    EXPECT_EQ(view.page.TimeLimit, 45);
    EXPECT_TRUE(view.page.BlockMission);
    EXPECT_FALSE(view.page.BlockAdmin); // the cache follows the server again
    EXPECT_EQ(view.page.HostInfo.split(QLatin1Char('\n')),
              QStringList({QStringLiteral("Say 'hi'"), QStringLiteral("C:\\games")}));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(PreferencesSim, ReconnectionRestoresWhatTheOperatorSet) {
    profile->ToggleConnection();
    ASSERT_TRUE(online());
    ASSERT_TRUE(waitFor([&] { return prefs().Reported; }));
    prefs().MaxPlayersExit(24, 32);
    prefs().TeamDmgScaleExit(100, 0);
    prefs().HostNameExit(QStringLiteral("Restored Host"), QStringLiteral("Vexmoor Test Server"));
    ASSERT_TRUE(variableIs("$Server::MaxPlayers", "24"));
    ASSERT_TRUE(variableIs("$Server::HostName", "Restored Host"));

    // The game server restarts with its own settings.
    server->setVariable(QStringLiteral("$Server::MaxPlayers"), QStringLiteral("32"));
    server->setVariable(QStringLiteral("$Server::TeamDamageScale"), QStringLiteral("0"));
    server->setVariable(QStringLiteral("$Server::HostName"), QStringLiteral("Fresh"));
    server->dropClient(server->clientIds().first());
    ASSERT_TRUE(waitFor([&] { return !profile->isConnected(); }));
    EXPECT_TRUE(profile->ReconnectPending);
    const QString restore = prefs().restoreFileName();
    ASSERT_TRUE(QFile::exists(restore));

    profile->RestartTick();
    ASSERT_TRUE(online());
    ASSERT_TRUE(variableIs("$Server::MaxPlayers", "24"));
    EXPECT_TRUE(variableIs("$Server::TeamDamageScale", "1.00"));
    EXPECT_TRUE(variableIs("$Server::HostName", "Restored Host"));
    EXPECT_TRUE(waitFor([&] { return !QFile::exists(restore); }));
    // The request after the replay brings the page up to date.
    EXPECT_TRUE(waitFor([&] { return view.page.TeamDmgScale == 100; }));
    EXPECT_EQ(view.page.MaxPlayers, 24);
    EXPECT_EQ(view.page.HostName, QStringLiteral("Restored Host"));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// A preference file is a console script: one with a line that a saved file never holds is
// refused whole, by Load and by the replay after a reconnection, and the server's variables
// stay as they were.
TEST_F(PreferencesSim, ForeignPreferenceFilesRunNothingOnTheServer) {
    const QByteArray foreign = "$Server::MaxPlayers=8;\r\n"
                               "$Server::HostName=\"x\";$Server::Password=\"owned\";\r\n";
    profile->ToggleConnection();
    ASSERT_TRUE(online());
    ASSERT_TRUE(waitFor([&] { return prefs().Reported; }));
    const QString password = server->variable(QStringLiteral("$Server::Password"));
    const QString file = env.path() + QStringLiteral("/foreign.vxp");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(foreign);
    }
    EXPECT_FALSE(prefs().LoadPreferenceFile(file));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(
        dialogs.messages[0].second.contains(file + QStringLiteral(" was not loaded: line 2")));

    const auto requests = [&] {
        return server->receivedCommands().count(QStringLiteral("Vexmoor_GetPreferences(); //VX"));
    };
    ASSERT_TRUE(waitFor([&] { return requests() == 2; })); // Load still asks for them

    // The restore file planted while the connection was down is refused the same way; the
    // message comes after the session start, not inside the socket's read.
    server->dropClient(server->clientIds().first());
    ASSERT_TRUE(waitFor([&] { return !profile->isConnected(); }));
    {
        QFile f(prefs().restoreFileName());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(foreign);
    }
    profile->RestartTick();
    ASSERT_TRUE(online());
    ASSERT_TRUE(waitFor([&] { return dialogs.messages.size() == 2; }));
    EXPECT_TRUE(dialogs.messages[1].second.contains(QStringLiteral("vxtemp.vxp was not loaded")));
    EXPECT_FALSE(QFile::exists(prefs().restoreFileName()));
    ASSERT_TRUE(waitFor([&] { return requests() == 3; }));
    EXPECT_EQ(server->variable(QStringLiteral("$Server::Password")), password);
    EXPECT_EQ(server->variable(QStringLiteral("$Server::MaxPlayers")), QStringLiteral("32"));
    for (const QString &line : server->receivedCommands())
        EXPECT_FALSE(line.contains(QStringLiteral("owned"))) << qPrintable(line);
}

TEST_F(PreferencesSim, OperatorsCloseKeepsNoRestoreFile) {
    profile->ToggleConnection();
    ASSERT_TRUE(online());
    ASSERT_TRUE(waitFor([&] { return prefs().Reported; }));
    profile->ToggleConnection();
    ASSERT_TRUE(waitFor([&] { return !profile->isConnected(); }));
    EXPECT_FALSE(QFile::exists(prefs().restoreFileName()));
    EXPECT_FALSE(profile->ReconnectPending);
}

} // namespace
