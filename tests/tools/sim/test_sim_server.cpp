// The simulator over real sockets on the loopback: login, echo, the script's answers,
// admin commands, the match, and the connection options.

#include "report.h"
#include "simserver.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <memory>

using namespace sim;

namespace {

QCoreApplication &app() {
    static int argc = 1;
    static char name[] = "test_sim_server";
    static char *argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

// Runs the event loop until pred holds or the time is up.
bool waitUntil(const std::function<bool()> &pred, int ms = 5000) {
    QDeadlineTimer deadline(ms);
    QTimer tick;
    tick.start(5);
    while (!pred()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

const QByteArray sessionStart = "exec(\"vexmoor.cs\"); //VX\n"
                                "Vexmoor_GetStatus(); //VX\n"
                                "Vexmoor_GetTeams(); //VX\n"
                                "Vexmoor_GetPlayers(); //VX\n"
                                "Vexmoor_GetPreferences(); //VX\n";

// A console client as the admin tool would be: it reads everything into one buffer.
class Client {
public:
    explicit Client(quint16 port) {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] {
            data += socket.readAll();
            ++reads;
        });
        QObject::connect(&socket, &QTcpSocket::disconnected, [this] { closed = true; });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    void send(const QByteArray &bytes) {
        socket.write(bytes);
        socket.flush();
    }
    bool waitFor(const QByteArray &needle) {
        return waitUntil([&] { return data.contains(needle); });
    }
    // Waits for the prompt, sends the password and returns the answer.
    QByteArray login(const QByteArray &password) {
        if (!waitFor("Enter Password:")) return {};
        data.clear();
        send(password + "\n");
        waitUntil([&] { return data.contains('\n') || closed; });
        const QByteArray answer = data;
        data.clear();
        return answer;
    }
    // Sends the session start and waits for the last preference record.
    bool startSession() {
        send(sessionStart);
        return waitUntil([&] { return data.contains("\"Q\"1\"") && data.endsWith('\n'); });
    }
    QStringList lines() const {
        QStringList out;
        for (QByteArray l : data.split('\n')) {
            if (l.endsWith('\r')) l.chop(1);
            out << QString::fromLatin1(l);
        }
        if (!out.isEmpty() && out.last().isEmpty()) out.removeLast();
        return out;
    }

    QTcpSocket socket;
    QByteArray data;
    int reads = 0;
    bool closed = false;
};

class SimServerTest : public ::testing::Test {
protected:
    void SetUp() override { app(); }
    void start(const SimOptions &o = {}) {
        server = std::make_unique<SimServer>(o);
        ASSERT_TRUE(server->listen());
        ASSERT_NE(server->port(), 0);
        QObject::connect(server.get(), &SimServer::sessionStarted, [this](int) { ++sessions; });
        QObject::connect(server.get(), &SimServer::clientDisconnected,
                         [this](int) { ++disconnects; });
    }
    std::unique_ptr<Client> online() {
        auto c = std::make_unique<Client>(server->port());
        EXPECT_TRUE(c->login("secret").startsWith('%'));
        EXPECT_TRUE(c->startSession());
        c->data.clear();
        return c;
    }

    std::unique_ptr<SimServer> server;
    int sessions = 0;
    int disconnects = 0;
};

} // namespace

TEST_F(SimServerTest, LoginWithTheRightPassword) {
    start();
    int loggedIn = 0;
    QObject::connect(server.get(), &SimServer::clientLoggedIn, [&](int) { ++loggedIn; });
    Client c(server->port());
    ASSERT_TRUE(c.waitFor("Enter Password:"));
    EXPECT_TRUE(c.data.endsWith("Enter Password:")); // the prompt has no line end
    c.data.clear();
    c.send("secret\r\n"); // a carriage return before the line feed is fine
    ASSERT_TRUE(c.waitFor("\n"));
    EXPECT_TRUE(c.data.startsWith('%'));
    EXPECT_EQ(loggedIn, 1);
    EXPECT_FALSE(c.closed);
}

TEST_F(SimServerTest, WrongPasswordIsRefusedAndClosed) {
    start();
    int refused = 0;
    QObject::connect(server.get(), &SimServer::loginRefused, [&](int) { ++refused; });
    Client c(server->port());
    const QByteArray answer = c.login("guess");
    ASSERT_FALSE(answer.isEmpty());
    EXPECT_NE(answer.at(0), '%');
    EXPECT_TRUE(waitUntil([&] { return c.closed; }));
    EXPECT_EQ(refused, 1);
    EXPECT_TRUE(server->receivedCommands().isEmpty());

    server->options().refusePassword = true;
    Client d(server->port());
    const QByteArray again = d.login("secret");
    ASSERT_FALSE(again.isEmpty());
    EXPECT_NE(again.at(0), '%');
    EXPECT_TRUE(waitUntil([&] { return d.closed; }));
}

TEST_F(SimServerTest, SessionStartIsEchoedAndAnswered) {
    start();
    Client c(server->port());
    ASSERT_TRUE(c.login("secret").startsWith('%'));
    server->sendLine(formatReport({"C", "2049", "Kim", "IP:1.2.3.4:5", "Female"}));
    ASSERT_TRUE(c.startSession());
    const QStringList l = c.lines();
    ASSERT_EQ(l.size(), 15) << c.data.toStdString();
    EXPECT_EQ(l[0], "exec(\"vexmoor.cs\"); //VX");
    EXPECT_EQ(l[1], "Executing vexmoor.cs.");
    EXPECT_TRUE(l[2].startsWith("\"X\""));
    EXPECT_EQ(l[3], "Vexmoor_GetStatus(); //VX");
    EXPECT_TRUE(l[4].startsWith("\"Q\"3\"Raindance\"")) << l[4].toStdString();
    EXPECT_EQ(l[5], "Vexmoor_GetTeams(); //VX");
    EXPECT_EQ(l[6], "\"2\"-1\"0\"\""); // empties the client's team list first
    EXPECT_EQ(l[7], "\"2\"0\"0\"Blood Eagle\"");
    EXPECT_EQ(l[8], "\"2\"1\"0\"Diamond Sword\"");
    EXPECT_EQ(l[9], "Vexmoor_GetPlayers(); //VX");
    EXPECT_EQ(l[10], "\"1\"0\"\"\"-1\"0\"\""); // and its player list
    EXPECT_EQ(l[11], "\"1\"2049\"Kim\"IP:1.2.3.4:5\"-1\"0\"Female\"");
    EXPECT_EQ(l[12], "Vexmoor_GetPreferences(); //VX");
    EXPECT_TRUE(l[13].startsWith("\"Q\"0\"Vexmoor Test Server\""));
    EXPECT_TRUE(l[14].startsWith("\"Q\"1\"Vexmoor simulated server\\nAll events"));
    EXPECT_TRUE(c.data.endsWith("Have fun\"\r\n"));
    EXPECT_EQ(sessions, 1);
    EXPECT_EQ(server->receivedCommands().size(), 5);
}

TEST_F(SimServerTest, KickReachesEveryConsoleAsDisconnect) {
    start();
    auto a = online();
    auto b = online();
    server->sendLine(formatReport({"C", "2049", "Kim", "IP:x", "Female"}));
    ASSERT_TRUE(b->waitFor("\"C\"2049\""));
    a->send("Net::Kick(2049,\"cheating\"); //VX\n");
    ASSERT_TRUE(a->waitFor("\"D\"2049\""));
    ASSERT_TRUE(b->waitFor("\"D\"2049\""));
    EXPECT_TRUE(a->data.contains("Net::Kick(2049,\"cheating\"); //VX")); // the echo
    EXPECT_FALSE(b->data.contains("Net::Kick")); // echoes go to the sender only
    EXPECT_EQ(server->state().playerCount(), 0);
    EXPECT_EQ(server->receivedCommands(1).last(), "Net::Kick(2049,\"cheating\"); //VX");
}

TEST_F(SimServerTest, AssignmentShowsInTheNextPreferencesReport) {
    start();
    auto c = online();
    c->send("$Server::HostName = \"Renamed Server\"; //VX\n$Server::TimeLimit = 30; //VX\n"
            "Vexmoor_GetPreferences(); //VX\n");
    ASSERT_TRUE(c->waitFor("\"Q\"1\""));
    QStringList q0;
    for (const QString &l : c->lines())
        if (l.startsWith("\"Q\"0\"")) q0 = parseReport(l);
    ASSERT_EQ(q0.size(), 19);
    EXPECT_EQ(q0[2], "Renamed Server");
    EXPECT_EQ(q0[5], "30");
    EXPECT_EQ(server->variable("$server::hostname"), "Renamed Server");
    // The chat echo prints its string as a report line.
    c->send("echo(\"\\\"!\\\"Bob\\\"hello\\\"\"); //VX\n");
    EXPECT_TRUE(c->waitFor("\r\n\"!\"Bob\"hello\"\r\n"));
}

TEST_F(SimServerTest, ScriptedMatchReachesEveryConsoleInOrder) {
    SimOptions o;
    o.match = MatchMode::Scripted;
    o.speed = 0; // stepped by hand
    o.matchConfig.players = 5;
    o.matchConfig.seed = 11;
    start(o);
    auto a = online();
    auto b = online();
    int finished = 0;
    QObject::connect(server.get(), &SimServer::matchFinished, [&] { ++finished; });
    const QStringList script = server->scriptedLines();
    while (server->stepMatch()) {
    }
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(server->matchPosition(), script.size());
    const QByteArray last = script.last().toLatin1() + "\r\n";
    ASSERT_TRUE(a->waitFor(last) && b->waitFor(last));
    EXPECT_EQ(a->lines(), script);
    EXPECT_EQ(b->lines(), script);
    EXPECT_EQ(server->state().playerCount(), 0);

    SimOptions same = o;
    EXPECT_EQ(SimServer(same).scriptedLines(), script);
}

TEST_F(SimServerTest, MatchStartsByItselfAfterTheSessionStart) {
    SimOptions o;
    o.match = MatchMode::Random;
    o.speed = 500;
    start(o);
    auto c = online();
    EXPECT_TRUE(server->isMatchRunning());
    ASSERT_TRUE(c->waitFor("\"C\"2049\""));
    server->stopMatch();
    EXPECT_FALSE(server->isMatchRunning());
}

TEST_F(SimServerTest, ReportsFlowOnlyAfterTheFirstCommand) {
    start();
    Client quiet(server->port());
    ASSERT_TRUE(quiet.login("secret").startsWith('%'));
    auto loud = online();
    server->sendLine("\"X\"first\"");
    ASSERT_TRUE(loud->waitFor("\"X\"first\""));
    EXPECT_FALSE(quiet.data.contains("first"));
    EXPECT_FALSE(server->isOnline(1));
    quiet.send("ListPlayers();\n");
    ASSERT_TRUE(quiet.waitFor("player(s)."));
    server->sendLine("\"X\"second\"");
    EXPECT_TRUE(quiet.waitFor("\"X\"second\""));
}

TEST_F(SimServerTest, SplitModeDeliversTheSameBytes) {
    SimOptions o;
    o.split = true;
    o.splitDelayMs = 1;
    o.matchConfig.players = 3;
    start(o);
    auto c = online();
    const int readsBefore = c->reads;
    QByteArray expected;
    const QStringList script = server->scriptedLines().mid(0, 30);
    for (const QString &line : script) {
        server->sendLine(line);
        expected += line.toLatin1() + "\r\n";
    }
    ASSERT_TRUE(waitUntil([&] { return c->data.size() >= expected.size(); }));
    EXPECT_EQ(c->data, expected);
    EXPECT_GT(c->reads - readsBefore, 1);
}

TEST_F(SimServerTest, DropAfterLinesClosesOnlyTheFirstConnection) {
    SimOptions o;
    o.dropAfterLines = 5;
    start(o);
    Client c(server->port());
    ASSERT_TRUE(c.login("secret").startsWith('%'));
    c.send(sessionStart);
    ASSERT_TRUE(waitUntil([&] { return c.closed; }));
    EXPECT_EQ(c.lines().size(), 5); // exec echo, its two answers, status echo, status
    EXPECT_TRUE(c.lines().last().startsWith("\"Q\"3\""));
    EXPECT_EQ(server->linesSent(1), 5);
    EXPECT_EQ(disconnects, 1);

    auto next = online(); // the reconnection is left alone
    server->sendLine("\"X\"still here\"");
    EXPECT_TRUE(next->waitFor("still here"));
    EXPECT_FALSE(next->closed);
}

TEST_F(SimServerTest, DropAtChosenMoments) {
    SimOptions o;
    o.dropAt = DropMoment::Login;
    o.dropConnections = 0; // every connection
    start(o);
    for (int i = 0; i < 2; ++i) {
        Client c(server->port());
        EXPECT_TRUE(c.login("secret").startsWith('%'));
        EXPECT_TRUE(waitUntil([&] { return c.closed; }));
    }
    server->options().dropAt = DropMoment::Connect;
    Client early(server->port());
    EXPECT_TRUE(early.waitFor("Enter Password:"));
    EXPECT_TRUE(waitUntil([&] { return early.closed; }));

    server->options().dropAt = DropMoment::Session;
    Client late(server->port());
    ASSERT_TRUE(late.login("secret").startsWith('%'));
    EXPECT_TRUE(late.startSession());
    EXPECT_TRUE(waitUntil([&] { return late.closed; }));

    server->options().dropAt = DropMoment::Never;
    auto c = online();
    server->dropClient(server->clientIds().last());
    EXPECT_TRUE(waitUntil([&] { return c->closed; }));
}

TEST_F(SimServerTest, BurstSendsTheScriptAtFullSpeed) {
    SimOptions o;
    o.burstLines = 5000;
    o.lineEnd = "\n";
    start(o);
    int bursts = 0;
    QObject::connect(server.get(), &SimServer::burstFinished, [&](int) { ++bursts; });
    Client c(server->port());
    ASSERT_TRUE(c.login("secret").startsWith('%'));
    c.send(sessionStart);
    ASSERT_TRUE(waitUntil([&] { return bursts == 1 && c.lines().size() >= 5000 + 12; }));
    const QStringList l = c.lines();
    EXPECT_FALSE(c.data.contains('\r'));
    const QStringList script = server->scriptedLines();
    const QStringList burst = l.mid(l.size() - 5000);
    for (int i = 0; i < burst.size(); ++i)
        ASSERT_EQ(burst[i], script[i % script.size()]) << i;
}
