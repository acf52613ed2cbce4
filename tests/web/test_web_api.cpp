// The web's JSON API and pages over a real profile fed with report lines: every endpoint and
// every refusal in one table, then the limits and the live path over real sockets.
#include "app/core/profilelist.h"
#include "app/headless/webadapter.h"
#include "support/testsupport.h"
#include "web/webserver.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QWebSocket>
#include <gtest/gtest.h>

using namespace testing_support;

namespace {

constexpr quint16 WebPort = 18090;
const QString Hostile = QStringLiteral("<b>x</b><img src=x onerror=alert(1)>");

class WebApi : public ::testing::Test {
protected:
    WebApi() {
        profile = profiles.ServerAdd(QStringLiteral("console-secret"), QStringLiteral("127.0.0.1"),
                                     28001);
        profile->prefs().Vars.ClientPassword = QStringLiteral("join-secret");
        profile->stats().SetStatsEnabled(true);
        source = makeProfileSource(profiles);
        for (const char *line :
             {"\"2\"0\"3\"Blood Eagle\"", "\"2\"1\"5\"Diamond Sword\"", "\"M\"Raindance\"1200\""})
            profile->DispatchReport(QString::fromLatin1(line));
        feed({QStringLiteral("\"C\"2049\"%1\"10.0.0.9\"Male\"").arg(Hostile),
              QStringLiteral("\"A\"2049\"0\""), QStringLiteral("\"C\"2050\"Rex\"10.0.0.8\"Male\""),
              QStringLiteral("\"A\"2050\"1\""), QStringLiteral("\"K\"2049\"2050\"4\"1\""),
              QStringLiteral("\"K\"2049\"2050\"4\"1\""),
              QStringLiteral("\"K\"2050\"2049\"7\"1\"")});
        server = std::make_unique<web::WebServer>(*source, limits);
    }
    ~WebApi() override {
        server.reset();
        source.reset();
    }
    void feed(const QStringList &lines) {
        for (const QString &line : lines)
            profile->DispatchReport(line);
    }

    TempEnv env;
    FakeDialogs dialogs;
    ServerContext context{*env.settings, dialogs};
    ProfileList profiles{context};
    TVexmoorServer *profile = nullptr;
    web::Limits limits;
    std::unique_ptr<web::Source> source;
    std::unique_ptr<web::WebServer> server;
};

TEST_F(WebApi, EveryEndpointAndEveryRefusal) {
    struct Case {
        const char *method;
        const char *path;
        const char *query;
        int status;
        std::vector<const char *> has;
        std::vector<const char *> hasNot = {};
    };
    const char *const s = "/api/servers/127.0.0.1:28001";
    const Case cases[] = {
        {"GET",
         "/api/servers",
         "",
         200,
         {R"("address":"127.0.0.1:28001")", R"("state":"Offline")", R"("players":2)",
          R"("mission":"Raindance")", R"("name":"127.0.0.1:28001")"}},
        {"GET",
         "/api/servers/127.0.0.1%3A28001/roster",
         "",
         200,
         {R"({"name":"Blood Eagle","score":3,"size":1,"team":0})", R"("name":"Rex")",
          "<b>x</b><img src=x onerror=alert(1)>"}},
        {"GET", s, "", 200, {R"("rotation":[])", R"("timeLeft":1200)"}},
        {"GET",
         "/api/servers/127.0.0.1:28001/events",
         "after=0",
         200,
         {R"("seq":1,)", "killed Rex", "connected to the game"}},
        {"GET",
         "/api/servers/127.0.0.1:28001/events",
         "after=999",
         200,
         {R"("events":[])", R"("last":)"}},
        {"GET", "/api/servers/127.0.0.1:28001/events", "after=-1", 400, {"after"}},
        {"GET", "/api/servers/127.0.0.1:28001/events", "after=abc", 400, {"after"}},
        {"GET",
         "/api/servers/127.0.0.1:28001/leaderboard",
         "",
         200,
         {R"("total":2)", R"("rows":[{"deaths":1,"id":1,"kills":2)"}},
        {"GET",
         "/api/servers/127.0.0.1:28001/leaderboard",
         "sort=deaths&limit=1",
         200,
         {R"("total":2)", R"("name":"Rex")"},
         {"onerror"}},
        {"GET",
         "/api/servers/127.0.0.1:28001/leaderboard",
         "sort=kd&offset=1&limit=5",
         200,
         {R"("name":"Rex")"},
         {"onerror"}},
        {"GET", "/api/servers/127.0.0.1:28001/leaderboard", "q=REX", 200, {R"("total":1)"}},
        {"GET", "/api/servers/127.0.0.1:28001/leaderboard", "q=%3Cimg", 200, {R"("total":1)"}},
        {"GET",
         "/api/servers/127.0.0.1:28001/leaderboard",
         "q=nobody",
         200,
         {R"({"rows":[],"total":0})"}},
        {"GET",
         "/api/servers/127.0.0.1:28001/leaderboard",
         "offset=5",
         200,
         {R"({"rows":[],"total":2})"}},
        {"GET", "/api/servers/127.0.0.1:28001/leaderboard", "sort=name", 400, {"sort"}},
        {"GET", "/api/servers/127.0.0.1:28001/leaderboard", "offset=-1", 400, {"offset"}},
        {"GET", "/api/servers/127.0.0.1:28001/leaderboard", "limit=0", 400, {"limit"}},
        {"GET", "/api/servers/127.0.0.1:28001/leaderboard", "limit=101", 400, {"limit"}},
        {"GET", "/api/servers/127.0.0.1:28001/leaderboard", "limit=1e3", 400, {"limit"}},
        {"GET",
         "/api/servers/127.0.0.1:28001/leaderboard",
         "q=aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
         400,
         {"q"}},
        {"GET",
         "/api/servers/127.0.0.1:28001/players/1",
         "",
         200,
         {R"("kills":2)", R"("online":true)", R"("victims":[{"count":2,"id":2,"name":"Rex"}])",
          R"("killers":[{"count":1,"id":2,"name":"Rex"}])", R"("weapons":[{"count":2,"name":")"}},
        {"GET", "/api/servers/127.0.0.1:28001/players/2", "", 200, {R"("name":"Rex")"}},
        {"GET", "/api/servers/127.0.0.1:28001/players/999", "", 404, {"no such player"}},
        {"GET", "/api/servers/127.0.0.1:28001/players/0", "", 404, {}},
        {"GET", "/api/servers/127.0.0.1:28001/players/x1", "", 404, {}},
        {"GET",
         "/api/servers/127.0.0.1:28001/activity",
         "",
         200,
         {R"("hours":[[0,)", R"("connections":{)", R"("total":2)", R"("uptime":-1)"}},
        {"GET", "/api/servers/10.9.9.9:1/roster", "", 404, {"no such server"}},
        {"GET", "/api/servers/10.9.9.9:1", "", 404, {"no such server"}},
        {"GET", "/api/servers/127.0.0.1:28001/nothing", "", 404, {}},
        {"GET", "/api/nothing", "", 404, {}},
        {"POST", "/api/servers", "", 405, {"GET"}},
        {"PUT", "/api/servers/127.0.0.1:28001/roster", "", 405, {}},
        {"DELETE", "/", "", 405, {}},
        {"OTHER", "/", "", 405, {}},
        {"HEAD", "/api/servers", "", 200, {"127.0.0.1:28001"}},
        // Pages, the program's own files and nothing else.
        {"GET", "/", "", 200, {"<title>Servers - Vexmoor</title>", "/static/app.js"}},
        {"GET", "/servers/127.0.0.1:28001", "", 200, {"data-page=\"server\""}},
        {"GET", "/servers/127.0.0.1:28001/", "", 200, {"data-page=\"server\""}},
        {"GET", "/servers/127.0.0.1:28001/leaderboard", "", 200, {"data-page=\"leaderboard\""}},
        {"GET", "/servers/127.0.0.1:28001/players/1", "", 200, {"data-page=\"player\""}},
        {"GET", "/servers/127.0.0.1:28001/players/77", "", 404, {}},
        {"GET", "/servers/10.9.9.9:1", "", 404, {}},
        {"GET", "/static/app.js", "", 200, {"textContent"}, {"innerHTML"}},
        {"GET", "/static/app.css", "", 200, {"body"}},
        {"GET", "/static/missing.js", "", 404, {}},
        {"GET", "/static/../static/app.js", "", 404, {}},
        {"GET", "/static/%2e%2e/static/app.js", "", 404, {}},
        {"GET", "/static/%2E%2E/%2E%2E/etc/passwd", "", 404, {}},
        {"GET", "/static/..%2fapp.js", "", 404, {}},
        {"GET", "/static%2fapp.js", "", 404, {}},
        {"GET", "//etc/passwd", "", 404, {}},
        {"GET", "/static/app.js%00", "", 404, {}},
        {"GET", "/etc/passwd", "", 404, {}},
        {"GET", ":/web/static/app.js", "", 404, {}},
        {"GET", "/live", "", 426, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.path + "?" + c.query);
        const web::WebServer::Reply r =
            server->answer(QString::fromLatin1(c.method), c.path, c.query);
        EXPECT_EQ(r.status, c.status) << r.body.toStdString();
        for (const char *text : c.has)
            EXPECT_TRUE(r.body.contains(text)) << text << " in " << r.body.toStdString();
        for (const char *text : c.hasNot)
            EXPECT_FALSE(r.body.contains(text)) << text << " in " << r.body.toStdString();
        // Nothing of the operator's in any answer.
        for (const QString &secret :
             {QStringLiteral("console-secret"), QStringLiteral("join-secret"), env.path(),
              profile->directory()})
            EXPECT_FALSE(r.body.contains(secret.toUtf8())) << secret.toStdString();
        if (c.status == 405)
            EXPECT_TRUE(std::any_of(r.headers.begin(), r.headers.end(), [](auto &h) {
                return h.first == "Allow" && h.second == "GET, HEAD";
            }));
    }
    // A kill shows on the leaderboard at once, from the in-memory tables.
    feed({QStringLiteral("\"K\"2050\"2049\"4\"1\""), QStringLiteral("\"K\"2050\"2049\"4\"1\"")});
    const auto r = server->answer(QStringLiteral("GET"), "/api/servers/127.0.0.1:28001/leaderboard",
                                  "limit=1");
    EXPECT_TRUE(r.body.contains(R"("kills":3)")) << r.body.toStdString();
    EXPECT_TRUE(r.body.contains(R"("name":"Rex")")) << r.body.toStdString();
}

// The leaderboard and player answers of a source that followed the recording row by row equal
// those of a source that reads the tables afresh, across renames, team kills, the world's
// kills, suicides, mission events and a close and reopen of the tables.
TEST_F(WebApi, RecordedRowsAnswerAsAFreshReadOfTheTables) {
    const char *const sorts[] = {"kills", "deaths", "teamKills", "score",
                                 "wins",  "losses", "time",      "kd"};
    const char *const searches[] = {"",    "an",     "ANN",  "nna",  "<img",
                                    "rex", "nobody", "bulk", "lk11", "lk119"};
    auto answer = [](const web::WebServer &server, const QString &path, const QString &query) {
        return server.answer(QStringLiteral("GET"), path.toUtf8(), query.toUtf8()).body;
    };
    const QString base = QStringLiteral("/api/servers/127.0.0.1:28001");
    // Every order, the name search and a player page are made before the rows change.
    auto ask = [&](const web::WebServer &server) {
        QList<QByteArray> all;
        for (const char *sort : sorts)
            for (const char *q : searches)
                for (const char *page : {"offset=0&limit=100", "offset=2&limit=2"})
                    all << answer(
                        server, base + QStringLiteral("/leaderboard"),
                        QStringLiteral("sort=%1&q=%2&%3")
                            .arg(QLatin1String(sort),
                                 QString::fromUtf8(QUrl::toPercentEncoding(QString::fromLatin1(q))),
                                 QLatin1String(page)));
        for (int id = 1; id <= 7; ++id)
            all << answer(server, base + QStringLiteral("/players/%1").arg(id), QString());
        return all;
    };
    ask(*server);
    feed({QStringLiteral("\"C\"2051\"Ann\"10.0.0.7\"Female\""), QStringLiteral("\"A\"2051\"0\""),
          QStringLiteral("\"C\"2052\"Cid\"10.0.0.6\"Male\""),
          QStringLiteral("\"C\"2053\"Dee\"10.0.0.5\"Male\""), QStringLiteral("\"A\"2053\"1\""),
          QStringLiteral("\"K\"2051\"2053\"4\"1\""), QStringLiteral("\"K\"2053\"2051\"4\"1\""),
          QStringLiteral("\"T\"2051\"2050\"4\"-1\""), QStringLiteral("\"K\"0\"2051\"4\"0\""),
          QStringLiteral("\"K\"2053\"2053\"\"0\""), QStringLiteral("\"F\"2051\"5\""),
          QStringLiteral("\"F\"2051\"5\""), QStringLiteral("\"G\"2051\"1\""),
          // Ann's client id passes to Anna: Ann leaves, Anna is a new player.
          QStringLiteral("\"C\"2051\"Anna\"10.0.0.7\"Female\""),
          QStringLiteral("\"K\"2051\"2050\"4\"1\""),
          // Rex passes the players ranked above him.
          QStringLiteral("\"K\"2050\"2052\"4\"1\""), QStringLiteral("\"K\"2050\"2052\"4\"1\"")});

    // Enough players for the search to take its ways for many matches and for few.
    for (int i = 0; i < 120; ++i)
        feed({QStringLiteral("\"C\"%1\"Bulk%2\"10.1.0.1\"Male\"").arg(2054 + i).arg(i)});
    // The answers of this source equal those of one that reads the tables now.
    auto expectAsFresh = [&] {
        const QList<QByteArray> followed = ask(*server);
        const std::unique_ptr<web::Source> fresh = makeProfileSource(profiles);
        const web::WebServer freshServer(*fresh, limits);
        const QList<QByteArray> read = ask(freshServer);
        ASSERT_EQ(followed.size(), read.size());
        for (qsizetype i = 0; i < followed.size(); ++i)
            EXPECT_EQ(followed[i].toStdString(), read[i].toStdString()) << "answer " << i;
    };
    expectAsFresh();

    // What the answers hold: ties by id, a player without kills, the renamed player's two
    // rows, the world as a killer, a suicide, mission figures.
    auto ids = [&](const QString &query) {
        std::vector<int> list;
        const QJsonObject o =
            QJsonDocument::fromJson(answer(*server, base + QStringLiteral("/leaderboard"), query))
                .object();
        for (const QJsonValue row : o.value(QStringLiteral("rows")).toArray())
            list.push_back(row[QStringLiteral("id")].toInt());
        return list;
    };
    struct Case {
        const char *query;
        std::vector<int> ids;
    };
    const Case orders[] = {
        {"sort=kills&limit=6", {2, 1, 5, 3, 6, 4}},
        {"sort=deaths&limit=6", {2, 3, 4, 5, 1, 6}},
        {"sort=teamKills&limit=6", {3, 1, 2, 4, 5, 6}},
        {"sort=kills&q=ann", {3, 6}},
        {"sort=kills&q=NNA", {6}},
        {"sort=kd&offset=4&limit=2", {3, 4}},
        {"sort=deaths&q=lk11&offset=1&limit=3", {117, 118, 119}},
    };
    for (const Case &c : orders)
        EXPECT_EQ(ids(QString::fromLatin1(c.query)), c.ids) << c.query;
    struct Player {
        int id;
        std::vector<const char *> has;
    };
    const Player players[] = {
        {3,
         {R"("name":"Ann")", R"("kills":1)", R"("teamKills":1)", R"("online":false)",
          R"x("killers":[{"count":1,"id":0,"name":"(the world)"},{"count":1,"id":5,"name":"Dee"}])x",
          R"("victims":[{"count":1,"id":2,"name":"Rex"},{"count":1,"id":5,"name":"Dee"}])",
          R"("missions":[{"counts":[{"count":1,"name":"FlagGrab"},{"count":2,"name":"FlagCap"}],)"
          R"("mission":"Raindance"}])"}},
        {4,
         {R"("name":"Cid")", R"("kills":0)", R"("weapons":[])", R"("victims":[])",
          R"("killers":[{"count":2,"id":2,"name":"Rex"}])", R"("missions":[])",
          R"("online":true)"}},
        {5, {R"("weapons":[{"count":1,"name":"Disc"},{"count":1,"name":"Suicide"}])"}},
        {6, {R"("name":"Anna")", R"("kills":1)", R"("killers":[])"}},
    };
    for (const Player &p : players) {
        const QByteArray body = answer(*server, base + QStringLiteral("/players/%1").arg(p.id), {});
        for (const char *text : p.has)
            EXPECT_TRUE(body.contains(text))
                << p.id << ": " << text << " in " << body.toStdString();
    }

    // Closed, the tables answer nothing; opened again, they are read afresh.
    profile->stats().SetStatsEnabled(false);
    EXPECT_TRUE(
        answer(*server, base + QStringLiteral("/leaderboard"), {}).contains(R"("total":0)"));
    EXPECT_EQ(
        server->answer(QStringLiteral("GET"), (base + QStringLiteral("/players/1")).toUtf8(), {})
            .status,
        404);
    profile->stats().SetStatsEnabled(true);
    feed({QStringLiteral("\"K\"2053\"2052\"7\"1\"")});
    expectAsFresh();
}

// One request over a fresh connection; the answer as far as it came before the close.
QByteArray exchange(const QByteArray &request, int timeoutMs = 3000) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, WebPort);
    if (!socket.waitForConnected(timeoutMs)) return "no connection";
    socket.write(request);
    QByteArray answer;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired() && socket.state() == QAbstractSocket::ConnectedState) {
        waitFor(
            [&] {
                return socket.bytesAvailable() > 0 ||
                       socket.state() != QAbstractSocket::ConnectedState;
            },
            100);
        answer += socket.readAll();
        if (answer.contains("\r\n\r\n") && request.contains("Connection: close") == false &&
            answer.size() >= answer.indexOf("\r\n\r\n") + 4) {
            const int at = answer.indexOf("Content-Length: ");
            if (request.startsWith("HEAD")) break;
            if (at >= 0) {
                const int length = answer.mid(at + 16, answer.indexOf('\r', at) - at - 16).toInt();
                if (answer.size() >= answer.indexOf("\r\n\r\n") + 4 + length) break;
            }
        }
    }
    answer += socket.readAll();
    return answer;
}

TEST_F(WebApi, LimitsAndHeadersOverTheSocket) {
    server.reset();
    limits.maxConnections = 3;
    limits.maxSubscribers = 1;
    limits.firstRequestTimeoutMs = 500;
    server = std::make_unique<web::WebServer>(*source, limits);
    ASSERT_TRUE(server->listen(QHostAddress::LocalHost, WebPort))
        << server->errorString().toStdString();

    const QByteArray ok = exchange("GET /servers/127.0.0.1:28001 HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(ok.startsWith("HTTP/1.1 200")) << ok.left(200).toStdString();
    EXPECT_TRUE(ok.contains("Content-Security-Policy: default-src 'none'; script-src 'self'; "
                            "style-src 'self';"));
    EXPECT_TRUE(ok.contains("X-Content-Type-Options: nosniff"));
    const QByteArray head = exchange("HEAD /api/servers HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(head.startsWith("HTTP/1.1 200")) << head.toStdString();
    EXPECT_TRUE(head.endsWith("\r\n\r\n")) << "no body after HEAD: " << head.toStdString();
    const QByteArray post =
        exchange("POST /api/servers HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\n\r\n{}");
    EXPECT_TRUE(post.startsWith("HTTP/1.1 405")) << post.toStdString();

    const QByteArray big =
        exchange("GET / HTTP/1.1\r\nHost: x\r\nX-Fill: " + QByteArray(20000, 'a') + "\r\n\r\n");
    EXPECT_TRUE(big.startsWith("HTTP/1.1 413")) << big.left(100).toStdString();
    QByteArray many = "GET / HTTP/1.1\r\nHost: x\r\n";
    for (int i = 0; i < 80; ++i)
        many += "X-H" + QByteArray::number(i) + ": 1\r\n";
    const QByteArray lines = exchange(many + "\r\n");
    EXPECT_TRUE(lines.startsWith("HTTP/1.1 431")) << lines.left(100).toStdString();
    const QByteArray body = exchange("GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 30000\r\n\r\n" +
                                     QByteArray(30000, 'b'));
    EXPECT_TRUE(body.startsWith("HTTP/1.1 413")) << body.left(100).toStdString();

    // A connection that sends nothing is closed; over the cap, 503.
    QTcpSocket idle[3];
    for (QTcpSocket &s : idle) {
        s.connectToHost(QHostAddress::LocalHost, WebPort);
        ASSERT_TRUE(s.waitForConnected(1000));
    }
    ASSERT_TRUE(waitFor([&] { return server->connectionCount() == 3; }));
    const QByteArray over = exchange("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(over.startsWith("HTTP/1.1 503")) << over.left(100).toStdString();
    EXPECT_TRUE(waitFor([&] { return server->connectionCount() == 0; }, 3000))
        << server->connectionCount();

    // The live path: one subscriber at most; it hears a kill without asking.
    QWebSocket live;
    QStringList messages;
    QObject::connect(&live, &QWebSocket::textMessageReceived,
                     [&](const QString &m) { messages << m; });
    live.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/live?server=127.0.0.1%3A28001").arg(WebPort)));
    ASSERT_TRUE(waitFor([&] { return !messages.isEmpty(); }));
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("{\"roster\":")))
        << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(Hostile));
    QWebSocket second;
    bool secondClosed = false;
    QObject::connect(&second, &QWebSocket::disconnected, [&] { secondClosed = true; });
    second.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/live").arg(WebPort)));
    EXPECT_TRUE(waitFor([&] { return secondClosed; }));
    EXPECT_EQ(server->subscriberCount(), 1);

    messages.clear();
    feed({QStringLiteral("\"K\"2050\"2049\"4\"1\"")});
    ASSERT_TRUE(waitFor([&] { return messages.size() >= 2; }));
    EXPECT_TRUE(messages.join(QLatin1Char('\n')).contains(QStringLiteral("\"type\":\"event\"")));
    EXPECT_TRUE(messages.join(QLatin1Char('\n')).contains(QStringLiteral("Rex killed")));
    EXPECT_TRUE(messages.join(QLatin1Char('\n')).contains(QStringLiteral("\"type\":\"server\"")));

    // An unknown profile is refused.
    QWebSocket unknown;
    bool unknownClosed = false;
    QObject::connect(&unknown, &QWebSocket::disconnected, [&] { unknownClosed = true; });
    live.close();
    ASSERT_TRUE(waitFor([&] { return server->subscriberCount() == 0; }));
    unknown.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/live?server=10.1.1.1:1").arg(WebPort)));
    EXPECT_TRUE(waitFor([&] { return unknownClosed; }));
    EXPECT_EQ(server->subscriberCount(), 0);
}

// A kept-alive connection gets the idle limit from each answer on; a request head that
// trickles in does not renew it, and a live page is never cut by it.
TEST_F(WebApi, IdleConnectionsAreClosedButLivePagesStay) {
    constexpr quint16 Port = 18150;
    server.reset();
    limits.idleTimeoutMs = 300;
    server = std::make_unique<web::WebServer>(*source, limits);
    ASSERT_TRUE(server->listen(QHostAddress::LocalHost, Port))
        << server->errorString().toStdString();

    QWebSocket live;
    int liveMessages = 0;
    QObject::connect(&live, &QWebSocket::textMessageReceived, [&] { ++liveMessages; });
    live.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/live").arg(Port)));
    ASSERT_TRUE(waitFor([&] { return liveMessages > 0; }));

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, Port);
    ASSERT_TRUE(socket.waitForConnected(1000));
    const auto ask = [&] {
        socket.readAll();
        socket.write("GET /api/servers HTTP/1.1\r\nHost: x\r\n\r\n");
        return waitFor([&] { return socket.peek(4096).contains("\r\n\r\n["); }, 2000);
    };
    ASSERT_TRUE(ask());
    waitFor([] { return false; }, 200); // within the limit: the same connection is served again
    ASSERT_EQ(socket.state(), QAbstractSocket::ConnectedState);
    ASSERT_TRUE(ask());
    QElapsedTimer since;
    since.start();
    socket.write("GET / HTTP/1.1\r\n"); // never finished
    ASSERT_TRUE(waitFor([&] { return socket.state() != QAbstractSocket::ConnectedState; }, 3000));
    EXPECT_GE(since.elapsed(), 250);
    EXPECT_TRUE(waitFor([&] { return server->connectionCount() == 1; }))
        << server->connectionCount();

    // A WebSocket handshake the server refuses frees its connection too.
    QTcpSocket refused;
    refused.connectToHost(QHostAddress::LocalHost, Port);
    ASSERT_TRUE(refused.waitForConnected(1000));
    refused.write("GET /live HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                  "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                  "Sec-WebSocket-Version: 99\r\n\r\n");
    EXPECT_TRUE(waitFor([&] { return refused.state() != QAbstractSocket::ConnectedState; }, 3000));
    EXPECT_TRUE(waitFor([&] { return server->connectionCount() == 1; }))
        << server->connectionCount();

    // Over twice the limit without a message: the live page stays.
    waitFor([] { return false; }, 700);
    EXPECT_EQ(live.state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(server->subscriberCount(), 1);
    feed({QStringLiteral("\"K\"2050\"2049\"4\"1\"")});
    const int before = liveMessages;
    EXPECT_TRUE(waitFor([&] { return liveMessages > before; }));
}

// A live page that stops reading is dropped once what waits for it passes the limit; one that
// reads hears every message meanwhile.
TEST_F(WebApi, ALivePageThatDoesNotReadIsDropped) {
    constexpr quint16 Port = 18151;
    server.reset();
    limits.maxUnsentBytes = 256 * 1024;
    server = std::make_unique<web::WebServer>(*source, limits);
    ASSERT_TRUE(server->listen(QHostAddress::LocalHost, Port))
        << server->errorString().toStdString();
    const QString address = QStringLiteral("127.0.0.1:28001");

    QWebSocket reader;
    int events = 0;
    QObject::connect(&reader, &QWebSocket::textMessageReceived, [&](const QString &m) {
        if (m.contains(QStringLiteral("\"type\":\"event\""))) ++events;
    });
    reader.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/live?server=127.0.0.1%3A28001").arg(Port)));
    ASSERT_TRUE(waitFor([&] { return server->subscriberCount() == 1; }));

    QTcpSocket stalled; // takes nothing off the wire after its handshake
    stalled.setReadBufferSize(1024);
    stalled.connectToHost(QHostAddress::LocalHost, Port);
    ASSERT_TRUE(stalled.waitForConnected(1000));
    stalled.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    stalled.write(
        "GET /live?server=127.0.0.1%3A28001 HTTP/1.1\r\nHost: 127.0.0.1\r\n"
        "Upgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    ASSERT_TRUE(waitFor([&] { return server->subscriberCount() == 2; }));

    web::EventInfo event;
    event.time = QStringLiteral("12:00:00");
    event.text = QString(32 * 1024, QLatin1Char('x'));
    int sent = 0;
    while (server->subscriberCount() == 2 && sent < 2000) {
        event.seq = ++sent;
        // From the event loop, as a profile tells it.
        QTimer::singleShot(0, source.get(),
                           [&, event] { emit source->eventAdded(address, event); });
        ASSERT_TRUE(waitFor([&] { return events == sent; }, 3000)) << sent;
    }
    EXPECT_EQ(server->subscriberCount(), 1) << "after " << sent << " messages";
    EXPECT_GT(sent, 8) << "dropped before the limit was reached";
    EXPECT_EQ(reader.state(), QAbstractSocket::ConnectedState);
    EXPECT_TRUE(waitFor([&] { return server->connectionCount() == 1; }))
        << server->connectionCount();
    reader.close();
    EXPECT_TRUE(waitFor([&] { return server->connectionCount() == 0; }))
        << server->connectionCount();
}

TEST(WebAddress, ParsesIpAndPortOnly) {
    struct Case {
        const char *text;
        bool ok;
        quint16 port;
    };
    const Case cases[] = {
        {"127.0.0.1:8080", true, 8080}, {"[::1]:18080", true, 18080},  {"0.0.0.0:1", true, 1},
        {"127.0.0.1:0", false, 0},      {"127.0.0.1:65536", false, 0}, {"127.0.0.1:", false, 0},
        {"localhost:8080", false, 0},   {"127.0.0.1:+80", false, 0},   {":8080", false, 0},
        {"127.0.0.1", false, 0}};
    for (const Case &c : cases) {
        QHostAddress address;
        quint16 port = 0;
        EXPECT_EQ(web::WebServer::parseAddress(QString::fromLatin1(c.text), address, port), c.ok)
            << c.text;
        if (c.ok) EXPECT_EQ(port, c.port) << c.text;
    }
}

} // namespace
