// The console session of a profile against the demo game server over loopback.
#include "app/core/profilelist.h"
#include "simserver.h"
#include "support/testsupport.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const QStringList SessionStart = {
    QStringLiteral("exec(\"vexmoor.cs\"); //VX"), QStringLiteral("Vexmoor_GetStatus(); //VX"),
    QStringLiteral("Vexmoor_GetTeams(); //VX"), QStringLiteral("Vexmoor_GetPlayers(); //VX"),
    QStringLiteral("Vexmoor_GetPreferences(); //VX")};

class SessionTest : public ::testing::Test {
protected:
    SessionTest() { startServer(); }

    void startServer(sim::SimOptions options = {}) {
        options.password = QStringLiteral("secret");
        server = std::make_unique<sim::SimServer>(options);
        ASSERT_TRUE(server->listen());
    }
    TVexmoorServer &add(const QString &password = QStringLiteral("secret"), int port = 0) {
        TVexmoorServer *p =
            profiles.ServerAdd(password, QStringLiteral("127.0.0.1"), port ? port : server->port());
        env.settings->write(p->section(), QStringLiteral("VexmoorScript"),
                            QStringLiteral("vexmoor.cs"));
        p->ScriptFile = QStringLiteral("vexmoor.cs");
        return *p;
    }
    bool online(TVexmoorServer &p) {
        return waitFor([&] { return p.SessionState == TVexmoorServer::Online; });
    }
    // The commands the server received, without the password line.
    QStringList commands() const {
        QStringList c = server->receivedCommands();
        c.removeAll(QStringLiteral("secret"));
        return c;
    }

    TempEnv env;
    FakeDialogs dialogs;
    ServerContext context{*env.settings, dialogs};
    ProfileList profiles{context};
    std::unique_ptr<sim::SimServer> server;
};

TEST_F(SessionTest, LoginStartsTheSessionWithTheScriptAndTheFourRequests) {
    TVexmoorServer &p = add();
    RecordingView view;
    p.AttachView(&view);
    p.ToggleConnection();
    ASSERT_TRUE(online(p));
    ASSERT_TRUE(waitFor([&] { return commands().size() >= 5; }));
    EXPECT_EQ(commands(), SessionStart);
    EXPECT_EQ(view.panels[0], QStringLiteral("Online"));
    EXPECT_EQ(view.panels[1], p.section());
    EXPECT_TRUE(view.connected);
    EXPECT_TRUE(view.globalButtons);
    // The preferences report arrives and fills the cache.
    EXPECT_TRUE(
        waitFor([&] { return p.prefs().Vars.HostName == QStringLiteral("Vexmoor Test Server"); }));
    // The echoes of the program's own commands are never shown.
    for (const QString &line : view.console)
        EXPECT_FALSE(line.endsWith(QStringLiteral("//VX"))) << qPrintable(line);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(SessionTest, PassiveModeSendsNoExecLine) {
    TVexmoorServer &p = add();
    p.ToggleMode();
    ASSERT_FALSE(p.ActiveMode);
    p.ToggleConnection();
    ASSERT_TRUE(online(p));
    ASSERT_TRUE(waitFor([&] { return commands().size() >= 4; }));
    EXPECT_EQ(commands(), SessionStart.mid(1));
}

TEST_F(SessionTest, WrongPasswordIsReportedAndArmsReconnection) {
    TVexmoorServer &p = add(QStringLiteral("wrong"));
    p.ToggleConnection();
    ASSERT_TRUE(waitFor([&] { return !dialogs.messages.isEmpty(); }));
    EXPECT_EQ(dialogs.messages[0].first, platform::Dialogs::Icon::Error);
    EXPECT_EQ(dialogs.messages[0].second, QStringLiteral("Invalid password for ") + p.section());
    ASSERT_TRUE(waitFor([&] { return !p.isConnected(); }));
    EXPECT_EQ(p.SessionState, TVexmoorServer::Offline);
    EXPECT_TRUE(p.ReconnectPending);
}

TEST_F(SessionTest, FreeCommandEchoIsShownAndScriptReloadReExecutes) {
    TVexmoorServer &p = add();
    RecordingView view;
    p.AttachView(&view);
    p.ToggleConnection();
    ASSERT_TRUE(online(p));
    ASSERT_TRUE(waitFor([&] { return commands().size() >= 5; }));
    p.SendCommand(QStringLiteral("echo(\"hello operators\");\n"));
    EXPECT_TRUE(waitFor(
        [&] { return view.console.contains(QStringLiteral("echo(\"hello operators\");")); }));
    server->sendLine(QStringLiteral("Executing game.cs."));
    EXPECT_TRUE(waitFor([&] { return commands().count(SessionStart[0]) == 2; }));
    EXPECT_FALSE(view.console.contains(QStringLiteral("Executing game.cs.")));
}

TEST_F(SessionTest, ConnectionRefusedShowsTheSocketError) {
    const quint16 port = server->port();
    server->close();
    TVexmoorServer &p = add(QStringLiteral("secret"), port);
    p.ToggleConnection();
    ASSERT_TRUE(waitFor([&] { return !dialogs.messages.isEmpty(); }));
    EXPECT_TRUE(dialogs.messages[0].second.startsWith(QStringLiteral("SOCKET ERROR: ")));
    EXPECT_TRUE(dialogs.messages[0].second.endsWith(QStringLiteral("\nConnection failed")));
    EXPECT_FALSE(p.ReconnectPending); // an attempt by the operator is not retried
}

TEST_F(SessionTest, DropRestoresPreferencesAfterReconnection) {
    TVexmoorServer &p = add();
    p.ToggleConnection();
    ASSERT_TRUE(online(p));
    ASSERT_TRUE(waitFor([&] { return p.prefs().Reported; }));
    p.prefs().Vars.MaxPlayers = 24; // the operator's change, cached
    const QString temp = p.directory() + QStringLiteral("/vxtemp.vxp");
    server->dropClient(server->clientIds().first());
    ASSERT_TRUE(waitFor([&] { return !p.isConnected(); }));
    EXPECT_TRUE(p.ReconnectPending);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    ASSERT_TRUE(QFile::exists(temp));
    // The real restart timer brings the profile back within its interval.
    const int before = server->receivedCommands().size();
    EXPECT_TRUE(waitFor([&] { return p.SessionState == TVexmoorServer::Online; }, 6000));
    ASSERT_TRUE(waitFor([&] { return !QFile::exists(temp); }));
    ASSERT_TRUE(waitFor([&] {
        return server->variable(QStringLiteral("$Server::MaxPlayers")) == QStringLiteral("24");
    }));
    const QStringList replay = server->receivedCommands().mid(before);
    EXPECT_TRUE(replay.contains(QStringLiteral("$Server::MaxPlayers=24; //VX")));
    EXPECT_EQ(replay.last(), QStringLiteral("Vexmoor_GetPreferences(); //VX"));
    EXPECT_TRUE(p.ReconnectPending); // stays armed until the operator toggles
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(SessionTest, DropBeforeAnyPreferencesReportWritesNoRestoreFile) {
    sim::SimOptions options;
    options.dropAt = sim::DropMoment::Login;
    startServer(options);
    TVexmoorServer &p = add();
    p.ToggleConnection();
    ASSERT_TRUE(waitFor([&] { return p.ReconnectPending && !p.isConnected(); }));
    EXPECT_FALSE(QFile::exists(p.directory() + QStringLiteral("/vxtemp.vxp")));
    p.RestartTick();
    ASSERT_TRUE(online(p));
}

TEST_F(SessionTest, EachProfileKeepsItsOwnRestoreFile) {
    sim::SimServer second;
    ASSERT_TRUE(second.listen());
    TVexmoorServer &a = add();
    TVexmoorServer &b = add(QStringLiteral("secret"), second.port());
    a.ToggleConnection();
    b.ToggleConnection();
    ASSERT_TRUE(online(a));
    ASSERT_TRUE(online(b));
    ASSERT_TRUE(waitFor([&] { return a.prefs().Reported && b.prefs().Reported; }));
    a.prefs().Vars.TimeLimit = 11;
    b.prefs().Vars.TimeLimit = 22;
    server->dropClient(server->clientIds().first());
    second.dropClient(second.clientIds().first());
    ASSERT_TRUE(waitFor([&] { return !a.isConnected() && !b.isConnected(); }));
    b.RestartTick();
    ASSERT_TRUE(online(b));
    ASSERT_TRUE(waitFor([&] {
        return second.variable(QStringLiteral("$Server::TimeLimit")) == QStringLiteral("22");
    }));
    // b's replay did not consume a's file.
    EXPECT_TRUE(QFile::exists(a.directory() + QStringLiteral("/vxtemp.vxp")));
    a.RestartTick();
    ASSERT_TRUE(online(a));
    EXPECT_TRUE(waitFor([&] {
        return server->variable(QStringLiteral("$Server::TimeLimit")) == QStringLiteral("11");
    }));
}

TEST_F(SessionTest, LinesCutAcrossWritesStayWhole) {
    sim::SimOptions options;
    options.split = true;
    options.splitDelayMs = 30; // pieces arrive in separate reads
    startServer(options);
    TVexmoorServer &p = add();
    RecordingView view;
    p.AttachView(&view);
    p.ToggleConnection();
    ASSERT_TRUE(online(p));
    ASSERT_TRUE(
        waitFor([&] { return p.prefs().Vars.HostName == QStringLiteral("Vexmoor Test Server"); }));
    EXPECT_GT(p.prefs().Vars.MaxPlayers, 0);
    for (const QString &line : view.console) {
        if (line.startsWith(QLatin1Char('"'))) {
            EXPECT_TRUE(line.endsWith(QLatin1Char('"'))) << qPrintable(line);
        }
    }
}

TEST_F(SessionTest, ACancelledAttemptShowsOfflineAndTheNextClickTriesAgain) {
    TVexmoorServer &p = add();
    RecordingView view;
    p.AttachView(&view);
    QStringList states;
    QObject::connect(&p, &TVexmoorServer::stateChanged,
                     [&](const QString &state) { states.append(state); });
    p.ToggleConnection();  // the attempt is under way until the event loop runs
    view.connected = true; // the light as an earlier connection would have left it
    p.ToggleConnection();
    EXPECT_EQ(view.panels[0], QStringLiteral("Offline"));
    EXPECT_FALSE(view.connected);
    EXPECT_EQ(states, (QStringList{"Connecting", "Offline"}));
    QCoreApplication::processEvents();
    EXPECT_FALSE(p.isConnected());
    p.ToggleConnection();
    EXPECT_EQ(view.panels[0], QStringLiteral("Connecting"));
    ASSERT_TRUE(online(p));
}

TEST_F(SessionTest, OperatorCloseDoesNotReconnect) {
    TVexmoorServer &p = add();
    p.ToggleConnection();
    ASSERT_TRUE(online(p));
    p.ToggleConnection();
    ASSERT_TRUE(waitFor([&] { return !p.isConnected(); }));
    EXPECT_FALSE(p.ReconnectPending);
    EXPECT_FALSE(QFile::exists(p.directory() + QStringLiteral("/vxtemp.vxp")));
}

} // namespace
