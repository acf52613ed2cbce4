#include "web/webserver.h"

#include "web/websessions.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaEnum>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>
#include <QWebSocket>
#include <QWebSocketServer>
#include <algorithm>
#include <cctype>
#include <cmath>

namespace web {

// Set on a connection whose answer is given later, after its request was handled.
constexpr char AnswerPending[] = "vexmoorAnswerPending";

// Accepts connections up to a cap and watches every request's size: a connection over the
// cap is answered 503 and closed; one that sends a request larger than the limit, more header
// lines than the limit or no complete request head in time is answered and closed before the
// HTTP parser sees more of it. A connection's first request head decides where it goes: a
// WebSocket upgrade to the live path goes to the WebSocket server, everything else to HTTP.
// An HTTP connection is closed when nothing was written to it for the idle limit: from its
// first request head or its last answer on, the next request must come and be answered.
class ConnectionCap : public QTcpServer {
public:
    ConnectionCap(const Limits &limits, QObject *parent)
        : QTcpServer(parent), m_limits(limits), m_open(std::make_shared<int>(0)),
          m_live(QStringLiteral("vexmoor"), QWebSocketServer::NonSecureMode) {}

    int open() const { return *m_open; }
    // Connections are served over TLS with this configuration.
    void setTls(const QSslConfiguration &tls) { m_tls = tls; }
    QWebSocketServer &live() { return m_live; }

protected:
    void incomingConnection(qintptr descriptor) override {
        QTcpSocket *socket = m_tls ? new QSslSocket(this) : new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        if (m_tls) { // what follows reads and writes the decrypted stream
            auto *ssl = static_cast<QSslSocket *>(socket);
            ssl->setSslConfiguration(*m_tls);
            ssl->startServerEncryption();
        }
        if (*m_open >= m_limits.maxConnections) {
            refuse(socket, "503 Service Unavailable");
            return;
        }
        // Counted out when the socket goes, by a child of it: the WebSocket server drops every
        // connection of the sockets it takes, a destroyed() handler included.
        new OpenSlot(m_open, socket);
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        struct Watch {
            qint64 bytes = 0;
            qint64 lines = 0;
            bool routed = false; // handed to HTTP or the WebSocket server
            bool replay = false; // the first chunk handed on again
        };
        auto watch = std::make_shared<Watch>();
        // Connected before the HTTP server's own reader, so it sees each chunk first.
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, watch] {
            if (watch->replay || !socket->isOpen()) return;
            // A connection waiting for a login's answer is closed after it: what it sends
            // meanwhile is dropped before the HTTP parser sees it.
            if (socket->property(AnswerPending).toBool()) {
                socket->readAll();
                return;
            }
            const QByteArray chunk = socket->peek(socket->bytesAvailable());
            if (watch->routed) { // the parser took what came before
                watch->bytes += chunk.size();
                watch->lines += chunk.count('\n');
            } else { // nothing was taken yet: the chunk is all of it
                watch->bytes = chunk.size();
                watch->lines = chunk.count('\n');
            }
            if (watch->lines > m_limits.maxHeaderLines) {
                refuse(socket, "431 Request Header Fields Too Large");
                return;
            }
            if (watch->bytes > m_limits.maxRequestBytes) {
                refuse(socket, "413 Payload Too Large");
                return;
            }
            if (watch->routed) return;
            const qsizetype end = chunk.indexOf("\r\n\r\n");
            if (end < 0) return; // the head is not complete yet
            watch->routed = true;
            const QByteArray head = chunk.left(end).toLower();
            if (head.startsWith("get /live") && head.contains("\r\nupgrade: websocket")) {
                QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
                QObject::disconnect(socket, &QTcpSocket::bytesWritten, nullptr, nullptr);
                m_live.handleConnection(socket);
                emit socket->readyRead(); // the handshake reads what is waiting
                return;
            }
            // Written bytes restart it; a request that is slow to arrive or to be answered
            // does not.
            auto *idle = new QTimer(socket);
            idle->setSingleShot(true);
            idle->setInterval(m_limits.idleTimeoutMs);
            QObject::connect(idle, &QTimer::timeout, socket, [socket] { socket->abort(); });
            QObject::connect(socket, &QTcpSocket::bytesWritten, idle, qOverload<>(&QTimer::start));
            idle->start();
            addPendingConnection(socket);
            emit newConnection();
            watch->replay = true;
            emit socket->readyRead(); // the HTTP server reads what is waiting
            watch->replay = false;
        });
        QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [watch](qint64) {
            watch->bytes = 0;
            watch->lines = 0;
        });
        QTimer::singleShot(m_limits.firstRequestTimeoutMs, socket, [socket, watch] {
            if (!watch->routed) socket->abort();
        });
    }

private:
    // Holds one of the open connections while it lives.
    class OpenSlot : public QObject {
    public:
        OpenSlot(std::shared_ptr<int> open, QObject *socket)
            : QObject(socket), m_open(std::move(open)) {
            ++*m_open;
        }
        ~OpenSlot() override { --*m_open; }

    private:
        std::shared_ptr<int> m_open;
    };

    static void refuse(QTcpSocket *socket, const char *status) {
        if (!socket->isOpen()) return;
        socket->readAll(); // the parser gets nothing more of this connection
        socket->write(QByteArray("HTTP/1.1 ") + status +
                      "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater,
                         Qt::UniqueConnection);
        socket->disconnectFromHost();
    }

    const Limits &m_limits;
    std::shared_ptr<int> m_open;
    QWebSocketServer m_live;
    std::optional<QSslConfiguration> m_tls;
};

namespace {

const QByteArray ContentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "connect-src 'self'; base-uri 'none'; form-action 'self'; frame-ancestors 'none'";

// The program's own files; nothing else is ever read for a request.
struct StaticFile {
    const char *path;
    const char *resource;
    const char *type;
};
constexpr StaticFile StaticFiles[] = {
    {"/static/app.css", ":/web/static/app.css", "text/css; charset=utf-8"},
    {"/static/app.js", ":/web/static/app.js", "text/javascript; charset=utf-8"},
    {"/static/ops.js", ":/web/static/ops.js", "text/javascript; charset=utf-8"},
    {"/static/icon.svg", ":/web/static/icon.svg", "image/svg+xml"},
};

constexpr const char *SortNames[] = {"kills", "deaths", "teamKills", "score",
                                     "wins",  "losses", "time",      "kd"};

WebServer::Reply json(const QJsonValue &value, int status = 200) {
    WebServer::Reply r;
    r.status = status;
    r.contentType = "application/json";
    r.body = value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                             : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    r.headers.append(std::pair<QByteArray, QByteArray>("Cache-Control", "no-store"));
    return r;
}

WebServer::Reply failure(int status, const QString &message) {
    return json(QJsonObject{{QStringLiteral("error"), message}}, status);
}

QJsonObject toJson(const ServerInfo &s) {
    return {{QStringLiteral("address"), s.address},
            {QStringLiteral("name"), s.name},
            {QStringLiteral("state"), s.state},
            {QStringLiteral("mission"), s.mission},
            {QStringLiteral("missionType"), s.missionType},
            {QStringLiteral("timeLeft"), s.timeLeft},
            {QStringLiteral("players"), s.players},
            {QStringLiteral("maxPlayers"), s.maxPlayers}};
}

QJsonObject toJson(const RosterInfo &roster) {
    QJsonArray teams, players;
    for (const TeamInfo &t : roster.teams)
        teams.append(QJsonObject{{QStringLiteral("team"), t.team},
                                 {QStringLiteral("name"), t.name},
                                 {QStringLiteral("size"), t.size},
                                 {QStringLiteral("score"), t.score}});
    for (const PlayerInfo &p : roster.players)
        players.append(QJsonObject{{QStringLiteral("client"), p.client},
                                   {QStringLiteral("name"), p.name},
                                   {QStringLiteral("team"), p.team},
                                   {QStringLiteral("score"), p.score},
                                   {QStringLiteral("id"), p.id}});
    return {{QStringLiteral("teams"), teams}, {QStringLiteral("players"), players}};
}

QJsonObject toJson(const EventInfo &e) {
    return {{QStringLiteral("seq"), e.seq},
            {QStringLiteral("time"), e.time},
            {QStringLiteral("text"), e.text},
            {QStringLiteral("category"), e.category}};
}

QJsonObject toJson(const Standing &s) {
    return {{QStringLiteral("id"), s.id},
            {QStringLiteral("name"), s.name},
            {QStringLiteral("kills"), s.kills},
            {QStringLiteral("deaths"), s.deaths},
            {QStringLiteral("teamKills"), s.teamKills},
            {QStringLiteral("score"), s.score},
            {QStringLiteral("wins"), s.wins},
            {QStringLiteral("losses"), s.losses},
            {QStringLiteral("ties"), s.ties},
            {QStringLiteral("time"), std::round(s.hours * 100) / 100},
            {QStringLiteral("lastSeen"), s.lastSeen}};
}

QJsonArray toJson(const QList<NamedCount> &counts) {
    QJsonArray a;
    for (const NamedCount &c : counts)
        a.append(QJsonObject{{QStringLiteral("name"), c.name}, {QStringLiteral("count"), c.count}});
    return a;
}

QJsonArray toJson(const QList<Opponent> &opponents) {
    QJsonArray a;
    for (const Opponent &o : opponents)
        a.append(QJsonObject{{QStringLiteral("id"), o.id},
                             {QStringLiteral("name"), o.name},
                             {QStringLiteral("count"), o.count}});
    return a;
}

QJsonObject toJson(const PlayerDetail &p) {
    QJsonObject o = toJson(p.figures);
    o.insert(QStringLiteral("teamDeaths"), p.figures.teamDeaths);
    o.insert(QStringLiteral("online"), p.online);
    o.insert(QStringLiteral("weapons"), toJson(p.weapons));
    o.insert(QStringLiteral("victims"), toJson(p.victims));
    o.insert(QStringLiteral("killers"), toJson(p.killers));
    QJsonArray missions;
    for (const PlayerMission &m : p.missions)
        missions.append(QJsonObject{{QStringLiteral("mission"), m.mission},
                                    {QStringLiteral("counts"), toJson(m.counts)}});
    o.insert(QStringLiteral("missions"), missions);
    return o;
}

QJsonObject toJson(const ActivityInfo &a) {
    QJsonArray days;
    for (const auto &day : a.hours) {
        QJsonArray hours;
        for (double v : day)
            hours.append(std::round(v * 100) / 100);
        days.append(hours);
    }
    return {{QStringLiteral("hours"), days},
            {QStringLiteral("connections"),
             QJsonObject{{QStringLiteral("total"), a.totalConnections},
                         {QStringLiteral("completed"), a.completedSessions},
                         {QStringLiteral("averagePlayTime"), std::round(a.averagePlayTime)},
                         {QStringLiteral("shortestPlayTime"), std::round(a.shortestPlayTime)},
                         {QStringLiteral("longestPlayTime"), std::round(a.longestPlayTime)},
                         {QStringLiteral("last"), a.lastConnection}}},
            {QStringLiteral("playersThisHour"), a.playersThisHour},
            {QStringLiteral("uptime"), a.uptime}};
}

QJsonArray toJson(const QList<MissionInfo> &rotation) {
    QJsonArray a;
    for (const MissionInfo &m : rotation)
        a.append(QJsonObject{{QStringLiteral("name"), m.name},
                             {QStringLiteral("type"), m.type},
                             {QStringLiteral("enabled"), m.enabled},
                             {QStringLiteral("current"), m.current}});
    return a;
}

// A whole number from 0 to max, or -1.
qint64 parseCount(const QString &text, qint64 max) {
    if (text.isEmpty() || text.size() > 18) return -1;
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    if (!ok || v < 0 || v > max || text.front() == QLatin1Char('+')) return -1;
    return v;
}

} // namespace

WebServer::WebServer(Source &source, Limits limits, QObject *parent)
    : QAbstractHttpServer(parent), m_source(source), m_limits(limits) {
    m_push.setSingleShot(true);
    m_push.setInterval(0);
    connect(&m_push, &QTimer::timeout, this, &WebServer::pushChanges);
    connect(&m_source, &Source::serverChanged, this, &WebServer::markChanged);
    connect(&m_source, &Source::serverListChanged, this, [this] {
        m_listChanged = true;
        m_push.start();
    });
    connect(&m_source, &Source::eventAdded, this, &WebServer::pushEvent);
}

WebServer::~WebServer() {
    for (auto it = m_subscribers.keyBegin(); it != m_subscribers.keyEnd(); ++it) {
        (*it)->disconnect(this);
        (*it)->deleteLater();
    }
}

bool WebServer::listen(const QHostAddress &address, quint16 port) {
    if (!m_tcp) m_tcp = new ConnectionCap(m_limits, this);
    if (m_tls) m_tcp->setTls(*m_tls);
    if (!m_tcp->listen(address, port)) {
        m_error = m_tcp->errorString();
        return false;
    }
    m_port = m_tcp->serverPort();
    bind(m_tcp);
    connect(&m_tcp->live(), &QWebSocketServer::newConnection, this, &WebServer::acceptWebSocket);
    return true;
}

int WebServer::connectionCount() const {
    return m_tcp ? m_tcp->open() : 0;
}

bool WebServer::parseAddress(const QString &text, QHostAddress &address, quint16 &port) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0) return false;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    const qint64 p = parseCount(text.mid(colon + 1), 65535);
    if (p < 1 || !address.setAddress(host)) return false;
    port = quint16(p);
    return true;
}

bool WebServer::setTls(const QString &certificateFile, const QString &keyFile) {
    if (!QSslSocket::supportsSsl()) {
        m_error = QStringLiteral("this Qt has no TLS support");
        return false;
    }
    QFile cert(certificateFile), key(keyFile);
    if (!cert.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("cannot read %1").arg(cert.isOpen() ? keyFile : certificateFile);
        return false;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(cert.read(1 << 20), QSsl::Pem);
    const QByteArray keyData = key.read(1 << 20);
    QSslKey privateKey(keyData, QSsl::Rsa, QSsl::Pem);
    if (privateKey.isNull()) privateKey = QSslKey(keyData, QSsl::Ec, QSsl::Pem);
    if (chain.isEmpty() || privateKey.isNull()) {
        m_error = QStringLiteral("%1 must hold a PEM certificate and %2 its PEM key")
                      .arg(certificateFile, keyFile);
        return false;
    }
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(privateKey);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    m_tls = tls;
    return true;
}

// --- requests -------------------------------------------------------------------------

WebServer::Reply WebServer::answer(const QString &method, const QByteArray &encodedPath,
                                   const QByteArray &query) const {
    if (method != QLatin1String("GET") && method != QLatin1String("HEAD")) {
        Reply r = failure(405, QStringLiteral("only GET and HEAD"));
        r.headers.append(std::pair<QByteArray, QByteArray>("Allow", "GET, HEAD"));
        return r;
    }
    if (encodedPath.isEmpty() || encodedPath.front() != '/' || encodedPath.size() > 512)
        return failure(404, QStringLiteral("not found"));
    // Each segment is decoded on its own, so an encoded slash can not make a new one; a
    // segment that is a dot or two, or holds a slash, backslash or control character after
    // decoding, names nothing.
    QStringList segments;
    const QList<QByteArray> parts = encodedPath.mid(1).split('/');
    for (const QByteArray &part : parts) {
        const QString s = QUrl::fromPercentEncoding(part);
        if (s == QLatin1String(".") || s == QLatin1String("..")) return failure(404, "not found");
        for (QChar c : s)
            if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 32)
                return failure(404, QStringLiteral("not found"));
        segments.append(s);
    }
    if (segments.size() > 1 && segments.last().isEmpty()) segments.removeLast();
    return route(segments, query);
}

WebServer::Reply WebServer::route(const QStringList &seg, const QByteArray &query) const {
    const QString path = QLatin1Char('/') + seg.join(QLatin1Char('/'));
    for (const StaticFile &f : StaticFiles) {
        if (path != QLatin1String(f.path)) continue;
        QFile file(QString::fromLatin1(f.resource));
        if (!file.open(QIODevice::ReadOnly)) break;
        Reply r;
        r.contentType = f.type;
        r.body = file.readAll();
        r.headers.append(std::pair<QByteArray, QByteArray>("Cache-Control", "max-age=300"));
        return r;
    }
    if (!seg.isEmpty() && seg.front() == QLatin1String("api")) return api(seg.mid(1), query);
    if (seg.size() == 1 && seg[0].isEmpty()) return page(QStringLiteral("index"), "Servers");
    if (seg.size() >= 2 && seg[0] == QLatin1String("servers")) {
        const std::optional<ServerInfo> s = m_source.server(seg[1]);
        if (!s) return failure(404, QStringLiteral("no such server"));
        if (seg.size() == 2) return page(QStringLiteral("server"), s->name);
        if (seg.size() == 3 && seg[2] == QLatin1String("leaderboard"))
            return page(QStringLiteral("leaderboard"), QStringLiteral("Leaderboard - ") + s->name);
        if (seg.size() == 4 && seg[2] == QLatin1String("players")) {
            const qint64 id = parseCount(seg[3], 0x7fffffff);
            if (id > 0 && m_source.player(seg[1], qint32(id)))
                return page(QStringLiteral("player"), QStringLiteral("Player - ") + s->name);
            return failure(404, QStringLiteral("no such player"));
        }
    }
    if (seg.size() == 1 && seg[0] == QLatin1String("live"))
        return failure(426, QStringLiteral("a WebSocket connection is expected here"));
    return failure(404, QStringLiteral("not found"));
}

WebServer::Reply WebServer::page(const QString &name, const QString &title) const {
    QFile file(QStringLiteral(":/web/pages/%1.html").arg(name));
    if (!file.open(QIODevice::ReadOnly)) return failure(404, QStringLiteral("not found"));
    QByteArray body = file.readAll();
    // The title is the one place game text goes into markup: escaped.
    body.replace("{{title}}", title.toHtmlEscaped().toUtf8());
    Reply r;
    r.contentType = "text/html; charset=utf-8";
    r.body = body;
    r.headers.append(std::pair<QByteArray, QByteArray>("Cache-Control", "no-store"));
    return r;
}

WebServer::Reply WebServer::api(const QStringList &seg, const QByteArray &query) const {
    if (seg.size() == 1 && seg[0] == QLatin1String("servers")) {
        QJsonArray list;
        for (const ServerInfo &s : m_source.servers())
            list.append(toJson(s));
        return json(list);
    }
    if (seg.size() < 2 || seg[0] != QLatin1String("servers"))
        return failure(404, QStringLiteral("not found"));
    const QString &address = seg[1];
    const std::optional<ServerInfo> server = m_source.server(address);
    if (!server) return failure(404, QStringLiteral("no such server"));
    const QUrlQuery q(QString::fromUtf8(query));
    if (seg.size() == 2) {
        QJsonObject o = toJson(*server);
        o.insert(QStringLiteral("rotation"), toJson(m_source.rotation(address)));
        return json(o);
    }
    const QString &what = seg[2];
    if (seg.size() == 3 && what == QLatin1String("roster"))
        return json(toJson(m_source.roster(address)));
    if (seg.size() == 3 && what == QLatin1String("events")) {
        qint64 after = 0;
        if (q.hasQueryItem(QStringLiteral("after"))) {
            after = parseCount(q.queryItemValue(QStringLiteral("after"), QUrl::FullyDecoded),
                               1LL << 53);
            if (after < 0) return failure(400, QStringLiteral("after must be a whole number"));
        }
        qint64 last = 0;
        QJsonArray events;
        for (const EventInfo &e : m_source.events(address, after, last))
            events.append(toJson(e));
        return json(
            QJsonObject{{QStringLiteral("last"), last}, {QStringLiteral("events"), events}});
    }
    if (seg.size() == 3 && what == QLatin1String("leaderboard")) return leaderboard(address, query);
    if (seg.size() == 3 && what == QLatin1String("activity"))
        return json(toJson(m_source.activity(address)));
    if (seg.size() == 4 && what == QLatin1String("players")) {
        const qint64 id = parseCount(seg[3], 0x7fffffff);
        const std::optional<PlayerDetail> p =
            id > 0 ? m_source.player(address, qint32(id)) : std::nullopt;
        if (!p) return failure(404, QStringLiteral("no such player"));
        return json(toJson(*p));
    }
    return failure(404, QStringLiteral("not found"));
}

WebServer::Reply WebServer::leaderboard(const QString &address, const QByteArray &query) const {
    const QUrlQuery q(QString::fromUtf8(query));
    SortKey key = SortKey::Kills;
    if (q.hasQueryItem(QStringLiteral("sort"))) {
        const QString name = q.queryItemValue(QStringLiteral("sort"), QUrl::FullyDecoded);
        const auto *found = std::find_if(std::begin(SortNames), std::end(SortNames),
                                         [&](const char *n) { return name == QLatin1String(n); });
        if (found == std::end(SortNames))
            return failure(400, QStringLiteral("sort must be one of kills, deaths, teamKills, "
                                               "score, wins, losses, time, kd"));
        key = SortKey(found - std::begin(SortNames));
    }
    qint64 offset = 0, limit = 25;
    if (q.hasQueryItem(QStringLiteral("offset"))) {
        offset =
            parseCount(q.queryItemValue(QStringLiteral("offset"), QUrl::FullyDecoded), 0x7fffffff);
        if (offset < 0) return failure(400, QStringLiteral("offset must be a whole number"));
    }
    if (q.hasQueryItem(QStringLiteral("limit"))) {
        limit = parseCount(q.queryItemValue(QStringLiteral("limit"), QUrl::FullyDecoded),
                           m_limits.maxPageSize);
        if (limit < 1)
            return failure(400,
                           QStringLiteral("limit must be from 1 to %1").arg(m_limits.maxPageSize));
    }
    const QString search = q.queryItemValue(QStringLiteral("q"), QUrl::FullyDecoded).trimmed();
    if (search.size() > 64) return failure(400, QStringLiteral("q is longer than 64 characters"));

    const LeaderPage page = m_source.leaderboard(address, key, offset, limit, search);
    QJsonArray out;
    for (const Standing &s : page.rows)
        out.append(toJson(s));
    const qint64 total = page.total;
    return json(QJsonObject{{QStringLiteral("total"), total}, {QStringLiteral("rows"), out}});
}

namespace {

// What the operators' side reads of a request.
GateRequest gateRequest(const QHttpServerRequest &request, const QTcpSocket *socket) {
    GateRequest g;
    g.method = request.method() == QHttpServerRequest::Method::Post   ? QStringLiteral("POST")
               : request.method() == QHttpServerRequest::Method::Get  ? QStringLiteral("GET")
               : request.method() == QHttpServerRequest::Method::Head ? QStringLiteral("HEAD")
                                                                      : QStringLiteral("OTHER");
    g.encodedPath = request.url().path(QUrl::FullyEncoded).toUtf8();
    g.body = request.body();
    for (const auto &[name, value] : request.headers()) {
        if (name.compare("cookie", Qt::CaseInsensitive) == 0) g.cookie = value;
        if (name.compare("x-csrf-token", Qt::CaseInsensitive) == 0) g.csrf = value;
        if (name.compare("x-forwarded-for", Qt::CaseInsensitive) == 0) g.forwardedFor = value;
        if (name.compare("content-type", Qt::CaseInsensitive) == 0) g.contentType = value;
    }
    QHostAddress peer = socket->peerAddress();
    bool v4 = false;
    const quint32 ip = peer.toIPv4Address(&v4);
    if (v4) peer = QHostAddress(ip);
    g.remote = peer.toString();
    return g;
}

// The headers of every answer.
QList<std::pair<QByteArray, QByteArray>> answerHeaders(const WebServer::Reply &r) {
    QList<std::pair<QByteArray, QByteArray>> headers = {
        {"Content-Type", r.contentType},
        {"Content-Length", QByteArray::number(r.body.size())},
        {"Content-Security-Policy", ContentSecurityPolicy},
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"}};
    headers.append(r.headers);
    return headers;
}

// The status line and headers of an answer written without the HTTP server.
QByteArray answerHead(const WebServer::Reply &r, bool close) {
    const QMetaEnum codes = QMetaEnum::fromType<QHttpServerResponder::StatusCode>();
    const char *key = codes.valueToKey(r.status);
    QByteArray reason = r.status == 200 ? QByteArray("OK") : key ? QByteArray(key) : "Status";
    for (qsizetype i = reason.size() - 1; i > 0; --i) // "TooManyRequests": "Too Many Requests"
        if (std::isupper(uchar(reason[i]))) reason.insert(i, ' ');
    QByteArray out = "HTTP/1.1 " + QByteArray::number(r.status) + ' ' + reason + "\r\n";
    for (const auto &[name, value] : answerHeaders(r))
        out += name + ": " + value + "\r\n";
    if (close) out += "Connection: close\r\n";
    return out + "\r\n";
}

} // namespace

bool WebServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) {
    static const QHash<QHttpServerRequest::Method, QString> names = {
        {QHttpServerRequest::Method::Get, QStringLiteral("GET")},
        {QHttpServerRequest::Method::Head, QStringLiteral("HEAD")},
        {QHttpServerRequest::Method::Post, QStringLiteral("POST")},
    };
    const QString method = names.value(request.method(), QStringLiteral("OTHER"));
    const QUrl url = request.url();
    const bool head = method == QLatin1String("HEAD");
    std::optional<Reply> gated;
    if (m_gate) {
        // A login is answered when its password check is done. The HTTP server's responder is
        // made from the request, which is only sure to live for this call, and the server
        // would go on to parse and answer the connection's next request: so the answer is
        // written to the socket directly, and the connection reads nothing more and is
        // closed after it.
        const QPointer<QTcpSocket> later(socket);
        gated = m_gate->handle(gateRequest(request, socket), [later, head](const Reply &r) {
            if (!later || later->state() != QAbstractSocket::ConnectedState) return;
            later->write(answerHead(r, true) + (head ? QByteArray() : r.body));
            later->disconnectFromHost();
        });
        if (gated && gated->status == 0) {
            socket->setProperty(AnswerPending, true);
            return true;
        }
    }
    const Reply r = gated ? *gated
                          : answer(method, url.path(QUrl::FullyEncoded).toUtf8(),
                                   url.query(QUrl::FullyEncoded).toUtf8());
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(QHttpServerResponder::StatusCode(r.status));
    for (const auto &[name, value] : answerHeaders(r))
        responder.writeHeader(name, value);
    if (!head)
        responder.writeBody(r.body);
    else
        responder.writeBody("", 0);
    return true;
}

void WebServer::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) {
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}

// --- live pages -------------------------------------------------------------------------

void WebServer::acceptWebSocket() {
    while (m_tcp->live().hasPendingConnections()) {
        QWebSocket *socket = m_tcp->live().nextPendingConnection();
        if (!socket) continue;
        socket->setParent(this);
        socket->setMaxAllowedIncomingFrameSize(1024);
        socket->setMaxAllowedIncomingMessageSize(1024);
        const QUrl url = socket->requestUrl();
        const QString server =
            QUrlQuery(url).queryItemValue(QStringLiteral("server"), QUrl::FullyDecoded);
        const bool known = server.isEmpty() || m_source.server(server).has_value();
        if (url.path() != QLatin1String("/live") || !known ||
            m_subscribers.size() >= m_limits.maxSubscribers) {
            socket->close(known ? QWebSocketProtocol::CloseCodeGoingAway
                                : QWebSocketProtocol::CloseCodePolicyViolated);
            socket->deleteLater();
            continue;
        }
        m_subscribers.insert(socket, Subscriber{server});
        connect(socket, &QWebSocket::disconnected, this, [this, socket] {
            m_subscribers.remove(socket);
            socket->deleteLater();
        });
        const QJsonObject first = server.isEmpty() ? listMessage() : serverMessage(server);
        send(socket, QString::fromUtf8(QJsonDocument(first).toJson(QJsonDocument::Compact)));
    }
}

void WebServer::send(QWebSocket *socket, const QString &text) {
    // A page that does not read would make the server keep all it was sent; the page's script
    // reconnects and gets the whole picture again.
    if (socket->bytesToWrite() > m_limits.maxUnsentBytes) {
        socket->abort(); // the disconnected handler removes it
        return;
    }
    socket->sendTextMessage(text);
}

void WebServer::markChanged(const QString &address) {
    m_changed.insert(address);
    m_listChanged = true;
    m_push.start();
}

QJsonObject WebServer::serverMessage(const QString &address) const {
    const std::optional<ServerInfo> s = m_source.server(address);
    if (!s) return {{QStringLiteral("type"), QStringLiteral("gone")}};
    return {{QStringLiteral("type"), QStringLiteral("server")},
            {QStringLiteral("server"), toJson(*s)},
            {QStringLiteral("roster"), toJson(m_source.roster(address))}};
}

QJsonObject WebServer::listMessage() const {
    QJsonArray list;
    for (const ServerInfo &s : m_source.servers())
        list.append(toJson(s));
    return {{QStringLiteral("type"), QStringLiteral("servers")}, {QStringLiteral("servers"), list}};
}

void WebServer::pushChanges() {
    if (m_subscribers.isEmpty()) {
        m_changed.clear();
        m_listChanged = false;
        return;
    }
    // Messages are made only for what some page shows: with many profiles, most changes are
    // of profiles no page is open on.
    QSet<QString> watched;
    bool listWatched = false;
    for (const Subscriber &subscriber : std::as_const(m_subscribers)) {
        if (subscriber.address.isEmpty())
            listWatched = true;
        else
            watched.insert(subscriber.address);
    }
    QHash<QString, QString> messages; // address -> text, made once for all its pages
    for (const QString &address : std::as_const(m_changed))
        if (watched.contains(address))
            messages.insert(
                address, QString::fromUtf8(
                             QJsonDocument(serverMessage(address)).toJson(QJsonDocument::Compact)));
    QString list;
    if (m_listChanged && listWatched)
        list = QString::fromUtf8(QJsonDocument(listMessage()).toJson(QJsonDocument::Compact));
    m_changed.clear();
    m_listChanged = false;
    const QHash<QWebSocket *, Subscriber> subscribers = m_subscribers; // send() may drop some
    for (auto it = subscribers.cbegin(); it != subscribers.cend(); ++it) {
        const QString &address = it.value().address;
        if (address.isEmpty()) {
            if (!list.isEmpty()) send(it.key(), list);
        } else if (const auto m = messages.constFind(address); m != messages.cend()) {
            send(it.key(), m.value());
        }
    }
}

void WebServer::pushEvent(const QString &address, const EventInfo &event) {
    QString text;
    const QHash<QWebSocket *, Subscriber> subscribers = m_subscribers; // send() may drop some
    for (auto it = subscribers.cbegin(); it != subscribers.cend(); ++it) {
        if (it.value().address != address) continue;
        if (text.isEmpty())
            text = QString::fromUtf8(
                QJsonDocument(QJsonObject{{QStringLiteral("type"), QStringLiteral("event")},
                                          {QStringLiteral("event"), toJson(event)}})
                    .toJson(QJsonDocument::Compact));
        send(it.key(), text);
    }
}

} // namespace web
