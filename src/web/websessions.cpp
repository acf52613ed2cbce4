#include "web/websessions.h"

#include "web/actions.h"
#include "web/audit.h"
#include "web/operators.h"

#include <QDateTime>
#include <QFile>
#include <QFutureWatcher>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThreadPool>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>
#include <sodium.h>

namespace web {

namespace {

const QByteArray CookieName = "vexmoor_session";
using Header = std::pair<QByteArray, QByteArray>;

WebServer::Reply json(const QJsonObject &value, int status = 200) {
    WebServer::Reply r;
    r.status = status;
    r.contentType = "application/json";
    r.body = QJsonDocument(value).toJson(QJsonDocument::Compact);
    r.headers.append(Header("Cache-Control", "no-store"));
    return r;
}

WebServer::Reply failure(int status, const QString &message) {
    return json(QJsonObject{{QStringLiteral("error"), message}}, status);
}

WebServer::Reply notAllowed(const char *allow) {
    WebServer::Reply r = failure(405, QStringLiteral("method not allowed"));
    r.headers.append(Header("Allow", allow));
    return r;
}

bool sameToken(const QByteArray &a, const QByteArray &b) {
    return a.size() == b.size() && !a.isEmpty() &&
           sodium_memcmp(a.constData(), b.constData(), size_t(a.size())) == 0;
}

QByteArray cookieValue(const QByteArray &header) {
    for (const QByteArray &part : header.split(';')) {
        const QByteArray p = part.trimmed();
        if (p.startsWith(CookieName + '=')) return p.mid(CookieName.size() + 1);
    }
    return {};
}

QJsonObject operatorJson(const Operator &op) {
    return {{QStringLiteral("name"), op.name},
            {QStringLiteral("role"), roleName(op.role)},
            {QStringLiteral("servers"), QJsonArray::fromStringList(op.servers)}};
}

} // namespace

OperatorGate::OperatorGate(OperatorStore &store, ActionTarget &target, Source &source)
    : m_store(store), m_target(target), m_source(source),
      m_clock([] { return QDateTime::currentMSecsSinceEpoch(); }) {}

bool OperatorGate::splitPath(const QByteArray &encodedPath, QStringList &segments) {
    if (encodedPath.isEmpty() || encodedPath.front() != '/' || encodedPath.size() > 512)
        return false;
    for (const QByteArray &part : encodedPath.mid(1).split('/')) {
        const QString s = QUrl::fromPercentEncoding(part);
        if (s == QLatin1String(".") || s == QLatin1String("..")) return false;
        for (QChar c : s)
            if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 32) return false;
        segments.append(s);
    }
    if (segments.size() > 1 && segments.last().isEmpty()) segments.removeLast();
    return true;
}

std::optional<WebServer::Reply> OperatorGate::handle(const GateRequest &request,
                                                     const Later &later) {
    QStringList s;
    if (!splitPath(request.encodedPath, s)) return std::nullopt;
    GateRequest r = request;
    if (m_proxy && QHostAddress(r.remote).isLoopback() && !r.forwardedFor.isEmpty()) {
        const QHostAddress client(
            QString::fromLatin1(r.forwardedFor.split(',').last().trimmed().left(64)));
        if (!client.isNull()) r.remote = client.toString();
    }
    const bool get = r.method == QLatin1String("GET") || r.method == QLatin1String("HEAD");
    const bool post = r.method == QLatin1String("POST");
    // A form of another site can post text, never JSON: its posts stop here.
    if (post && !r.contentType.isEmpty() &&
        !r.contentType.trimmed().toLower().startsWith("application/json"))
        return failure(415, QStringLiteral("send application/json"));
    if (s.size() == 2 && s[0] == QLatin1String("api")) {
        if (s[1] == QLatin1String("login")) return post ? login(r, later) : notAllowed("POST");
        if (s[1] == QLatin1String("logout")) return post ? logout(r) : notAllowed("POST");
        if (s[1] == QLatin1String("me")) return get ? me(r) : notAllowed("GET, HEAD");
    }
    if (s.size() == 1 && s[0] == QLatin1String("login") && get)
        return page(QStringLiteral("login"), QStringLiteral("Log in"));
    const bool api = s.size() == 4 && s[0] == QLatin1String("api");
    const bool pageOfServer = s.size() == 3 && s[0] == QLatin1String("servers");
    if ((api && s[1] == QLatin1String("servers")) || pageOfServer) {
        const QString &address = pageOfServer ? s[1] : s[2];
        const QString &what = pageOfServer ? s[2] : s[3];
        if (what != QLatin1String("actions") && what != QLatin1String("audit") &&
            (pageOfServer || what != QLatin1String("players-addresses")))
            return std::nullopt;
        const std::optional<ServerInfo> server = m_source.server(address);
        if (!server) return failure(404, QStringLiteral("no such server"));
        if (pageOfServer)
            return what == QLatin1String("audit") && get
                       ? page(QStringLiteral("audit"), QStringLiteral("Audit - ") + server->name)
                       : std::optional<WebServer::Reply>{};
        if (what == QLatin1String("actions")) return post ? action(r, address) : notAllowed("POST");
        if (what == QLatin1String("players-addresses"))
            return get ? playerAddresses(r, address) : notAllowed("GET, HEAD");
        return get ? auditOf(r, address) : notAllowed("GET, HEAD");
    }
    return std::nullopt;
}

QByteArray OperatorGate::cookie(const QByteArray &token, bool clear) const {
    QByteArray c = CookieName + '=' + (clear ? QByteArray() : token) +
                   "; Path=/; HttpOnly; SameSite=Strict; Max-Age=" +
                   (clear ? QByteArray("0") : QByteArray::number(IdleMs / 1000));
    if (m_secure || m_proxy) c += "; Secure";
    return c;
}

void OperatorGate::audit(const QStringList &addresses, const QString &who, const QString &remote,
                         const QString &what, const QString &command,
                         const QString &outcome) const {
    for (const QString &address : addresses)
        audit::append(m_target.directory(address),
                      AuditEntry{{}, who, remote, what, command, outcome});
}

OperatorGate::Session *OperatorGate::session(const GateRequest &r, std::optional<Operator> &op) {
    const QByteArray token = cookieValue(r.cookie);
    if (token.isEmpty()) return nullptr;
    const auto it = m_sessions.find(token);
    if (it == m_sessions.end()) return nullptr;
    if (now() - it->lastUse > IdleMs) {
        m_sessions.erase(it);
        return nullptr;
    }
    m_store.reloadIfChanged();
    op = m_store.find(it->name);
    if (!op) { // removed since the login
        m_sessions.erase(it);
        return nullptr;
    }
    it->lastUse = now();
    return &*it;
}

WebServer::Reply OperatorGate::login(const GateRequest &r, const Later &later) {
    const qint64 t = now();
    Failures &f = m_failures[r.remote];
    if (f.blockedUntil > t) {
        WebServer::Reply reply =
            failure(429, QStringLiteral("too many failed logins; try again in a minute"));
        reply.headers.append(
            Header("Retry-After", QByteArray::number((f.blockedUntil - t + 999) / 1000)));
        return reply;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(r.body);
    const QJsonValue name = doc.object().value(QStringLiteral("name"));
    const QJsonValue password = doc.object().value(QStringLiteral("password"));
    if (!doc.isObject() || !name.isString() || !password.isString())
        return failure(400, QStringLiteral("expected {\"name\":...,\"password\":...}"));
    m_checks.removeIf([&](qint64 at) { return t - at >= 1000; });
    if (m_checks.size() >= MaxChecksPerSecond) {
        WebServer::Reply reply = failure(429, QStringLiteral("too many logins at once; try again"));
        reply.headers.append(Header("Retry-After", "1"));
        return reply;
    }
    m_checks.append(t);
    m_store.reloadIfChanged();
    const QString typed = name.toString().left(64);
    const QByteArray typedPassword = password.toString().toUtf8();
    if (!later) return loginChecked(r, t, typed, m_store.verify(typed, typedPassword));
    // The check takes 60 to 140 ms: the event loop goes on meanwhile.
    const QByteArray hash = m_store.hashToCheck(typed);
    auto *watcher = new QFutureWatcher<bool>(m_checking.get());
    QObject::connect(watcher, &QFutureWatcherBase::finished, m_checking.get(),
                     [this, watcher, r, t, typed, hash, later] {
                         watcher->deleteLater();
                         std::optional<Operator> op;
                         if (watcher->result()) op = m_store.find(typed);
                         if (op && op->hash != hash) op.reset(); // changed meanwhile
                         later(loginChecked(r, t, typed, op));
                     });
    // Two threads at most: each check holds 64 MiB while it runs.
    static QThreadPool *const checkers = [] {
        auto *pool = new QThreadPool; // lives as long as the program
        pool->setMaxThreadCount(2);
        return pool;
    }();
    watcher->setFuture(QtConcurrent::run(checkers, &OperatorStore::matches, hash, typedPassword));
    WebServer::Reply deferred;
    deferred.status = 0;
    return deferred;
}

WebServer::Reply OperatorGate::loginChecked(const GateRequest &r, qint64 t, const QString &typed,
                                            const std::optional<Operator> &op) {
    if (!op) {
        Failures &f = m_failures[r.remote];
        f.times.removeIf([&](qint64 at) { return t - at >= FailureWindowMs; });
        f.times.append(t);
        QString outcome = QStringLiteral("refused: wrong name or password");
        if (f.times.size() >= MaxFailures) {
            f.blockedUntil = t + FailureWindowMs;
            f.times.clear();
            outcome += QStringLiteral("; logins from this address refused for a minute");
        }
        // Known names are audited on their servers, unknown ones on every server.
        const std::optional<Operator> known = m_store.find(typed);
        QStringList where;
        for (const QString &a : m_target.addresses())
            if (!known || known->covers(a)) where.append(a);
        audit(where, typed, r.remote, QStringLiteral("login"), {}, outcome);
        // Addresses that stopped failing are forgotten.
        if (m_failures.size() > 4096)
            m_failures.removeIf([&](const auto &it) {
                return it.value().blockedUntil <= t &&
                       (it.value().times.isEmpty() ||
                        t - it.value().times.last() >= FailureWindowMs);
            });
        return failure(401, QStringLiteral("wrong name or password"));
    }
    m_failures.remove(r.remote);
    if (m_sessions.size() >= MaxSessions) { // the longest unused goes
        auto oldest = m_sessions.begin();
        for (auto it = m_sessions.begin(); it != m_sessions.end(); ++it)
            if (it->lastUse < oldest->lastUse) oldest = it;
        m_sessions.erase(oldest);
    }
    const QByteArray token = randomToken();
    const QByteArray csrf = randomToken();
    m_sessions.insert(token, Session{op->name, csrf, t});
    QStringList where;
    for (const QString &a : m_target.addresses())
        if (op->covers(a)) where.append(a);
    audit(where, op->name, r.remote, QStringLiteral("login"), {}, QStringLiteral("logged in"));
    QJsonObject body = operatorJson(*op);
    body.insert(QStringLiteral("csrf"), QString::fromLatin1(csrf));
    WebServer::Reply reply = json(body);
    reply.headers.append(Header("Set-Cookie", cookie(token, false)));
    return reply;
}

WebServer::Reply OperatorGate::logout(const GateRequest &r) {
    std::optional<Operator> op;
    Session *s = session(r, op);
    if (!s) return failure(401, QStringLiteral("not logged in"));
    if (!sameToken(r.csrf, s->csrf))
        return failure(403, QStringLiteral("the X-CSRF-Token header is missing or wrong"));
    m_sessions.remove(cookieValue(r.cookie));
    QStringList where;
    for (const QString &a : m_target.addresses())
        if (op->covers(a)) where.append(a);
    audit(where, op->name, r.remote, QStringLiteral("logout"), {}, QStringLiteral("logged out"));
    WebServer::Reply reply = json(QJsonObject{{QStringLiteral("loggedOut"), true}});
    reply.headers.append(Header("Set-Cookie", cookie({}, true)));
    return reply;
}

WebServer::Reply OperatorGate::me(const GateRequest &r) {
    std::optional<Operator> op;
    Session *s = session(r, op);
    if (!s) return failure(401, QStringLiteral("not logged in"));
    QJsonObject body = operatorJson(*op);
    body.insert(QStringLiteral("csrf"), QString::fromLatin1(s->csrf));
    return json(body);
}

WebServer::Reply OperatorGate::action(const GateRequest &r, const QString &address) {
    const QJsonDocument doc = QJsonDocument::fromJson(r.body);
    const QString what = doc.object().value(QStringLiteral("action")).toString().left(32);
    const QStringList here{address};
    std::optional<Operator> op;
    Session *s = session(r, op);
    if (!s) {
        audit(here, QStringLiteral("-"), r.remote, what, {},
              QStringLiteral("refused: not logged in"));
        return failure(401, QStringLiteral("not logged in"));
    }
    if (!sameToken(r.csrf, s->csrf)) {
        audit(here, op->name, r.remote, what, {},
              QStringLiteral("refused: missing or wrong CSRF token"));
        return failure(403, QStringLiteral("the X-CSRF-Token header is missing or wrong"));
    }
    if (!op->mayAct(address)) {
        audit(here, op->name, r.remote, what, {},
              QStringLiteral("refused: not an admin of this server"));
        return failure(403, QStringLiteral("not an admin of this server"));
    }
    if (!doc.isObject() || what.isEmpty()) {
        audit(here, op->name, r.remote, what, {}, QStringLiteral("refused: not an action"));
        return failure(400, QStringLiteral("expected {\"action\":...}"));
    }
    const ActionResult result = m_target.perform(address, doc.object());
    const QString command =
        result.secret
            ? QStringLiteral("(%1 command(s) holding a password)").arg(result.commands.size())
            : result.commands.join(QString());
    const QString outcome =
        result.status == 200 ? QStringLiteral("sent") : QStringLiteral("refused: ") + result.error;
    audit(here, op->name, r.remote, what, command, outcome);
    if (result.status != 200) return failure(result.status, result.error);
    if (actionDone)
        actionDone(address, QStringLiteral("admin %1: %2").arg(op->name, what) +
                                (result.secret || result.commands.isEmpty()
                                     ? QString()
                                     : QStringLiteral(" - ") + command.trimmed()));
    return json(
        QJsonObject{{QStringLiteral("sent"),
                     result.secret ? QJsonArray{} : QJsonArray::fromStringList(result.commands)}});
}

WebServer::Reply OperatorGate::playerAddresses(const GateRequest &r, const QString &address) {
    std::optional<Operator> op;
    if (!session(r, op)) return failure(401, QStringLiteral("not logged in"));
    if (!op->mayAct(address)) return failure(403, QStringLiteral("not an admin of this server"));
    QJsonObject list;
    const QHash<int, QString> addresses = m_target.playerAddresses(address);
    for (auto it = addresses.cbegin(); it != addresses.cend(); ++it)
        list.insert(QString::number(it.key()), it.value());
    return json(QJsonObject{{QStringLiteral("addresses"), list}});
}

WebServer::Reply OperatorGate::auditOf(const GateRequest &r, const QString &address) {
    std::optional<Operator> op;
    if (!session(r, op)) return failure(401, QStringLiteral("not logged in"));
    if (!op->covers(address)) return failure(403, QStringLiteral("not an operator of this server"));
    QJsonArray entries;
    for (const AuditEntry &e : audit::read(m_target.directory(address), AuditPage))
        entries.append(QJsonObject{{QStringLiteral("time"), e.time},
                                   {QStringLiteral("operator"), e.operatorName},
                                   {QStringLiteral("remote"), e.remote},
                                   {QStringLiteral("action"), e.action},
                                   {QStringLiteral("command"), e.command},
                                   {QStringLiteral("outcome"), e.outcome}});
    return json(QJsonObject{{QStringLiteral("entries"), entries}});
}

WebServer::Reply OperatorGate::page(const QString &name, const QString &title) const {
    QFile file(QStringLiteral(":/web/pages/%1.html").arg(name));
    if (!file.open(QIODevice::ReadOnly)) return failure(404, QStringLiteral("not found"));
    WebServer::Reply r;
    r.contentType = "text/html; charset=utf-8";
    r.body = file.readAll().replace("{{title}}", title.toHtmlEscaped().toUtf8());
    r.headers.append(Header("Cache-Control", "no-store"));
    return r;
}

} // namespace web
