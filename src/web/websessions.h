#pragma once

#include "web/webserver.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

namespace web {

class ActionTarget;
class OperatorStore;
struct Operator;

// One request as the operator part of the web sees it.
struct GateRequest {
    QString method;
    QByteArray encodedPath;
    QByteArray body;
    QByteArray cookie;       // the Cookie header
    QByteArray csrf;         // the X-CSRF-Token header
    QString remote;          // the peer's address
    QByteArray forwardedFor; // the X-Forwarded-For header
    QByteArray contentType;  // the Content-Type header
};

// The operators' side of the web: logins and sessions, the admin actions and the audit.
//
// A login answers a CSRF token and sets a session cookie (a random 256-bit token, HttpOnly,
// SameSite=Strict, Secure behind TLS) that expires after 12 hours without use. A wrong name
// and a wrong password take the same time and answer the same 401; five failed logins from
// one address within a minute make logins from it answer 429 for a minute. Every action,
// refused or not, and every login is appended to the audit.log of the profiles concerned.
class OperatorGate {
public:
    static constexpr qint64 IdleMs = 12LL * 3600 * 1000;
    static constexpr int MaxFailures = 5;
    static constexpr qint64 FailureWindowMs = 60 * 1000;
    static constexpr int MaxSessions = 1024;
    // Password checks a second, from all addresses together: each takes 60 to 140 ms of a
    // core and 64 MiB.
    static constexpr int MaxChecksPerSecond = 4;
    static constexpr int AuditPage = 500; // entries per audit answer

    OperatorGate(OperatorStore &store, ActionTarget &target, Source &source);

    // Cookies carry Secure (the web is served over TLS).
    void setSecure(bool secure) { m_secure = secure; }
    // Served behind a TLS proxy on this host: requests from loopback are taken to come from
    // the last address of their X-Forwarded-For header, and cookies carry Secure.
    void setBehindProxy(bool proxy) { m_proxy = proxy; }
    // The clock in milliseconds (tests).
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }
    // Told of every action that sent commands: the profile's address and a sentence.
    std::function<void(const QString &address, const QString &text)> actionDone;

    // Given the answer of a login whose password was checked on another thread.
    using Later = std::function<void(const WebServer::Reply &reply)>;

    // The answer when the request is the gate's (login, logout, actions, audit and their
    // pages), else nothing. With later, a login's password is checked on another thread
    // and its answer given to later on this one (never after the gate is gone): the answer
    // returned then has status 0.
    std::optional<WebServer::Reply> handle(const GateRequest &request, const Later &later = {});
    // The path's segments, each decoded on its own; false for a path that names nothing.
    static bool splitPath(const QByteArray &encodedPath, QStringList &segments);

private:
    struct Session {
        QString name;
        QByteArray csrf;
        qint64 lastUse = 0;
    };
    struct Failures {
        QList<qint64> times;
        qint64 blockedUntil = 0;
    };

    WebServer::Reply login(const GateRequest &r, const Later &later);
    WebServer::Reply loginChecked(const GateRequest &r, qint64 t, const QString &typed,
                                  const std::optional<Operator> &op);
    WebServer::Reply logout(const GateRequest &r);
    WebServer::Reply me(const GateRequest &r);
    WebServer::Reply action(const GateRequest &r, const QString &address);
    WebServer::Reply auditOf(const GateRequest &r, const QString &address);
    WebServer::Reply playerAddresses(const GateRequest &r, const QString &address);
    WebServer::Reply page(const QString &name, const QString &title) const;

    // The session of the request's cookie, renewed; nothing when there is none or it
    // expired or its operator is gone.
    Session *session(const GateRequest &r, std::optional<Operator> &op);
    QByteArray cookie(const QByteArray &token, bool clear) const;
    void audit(const QStringList &addresses, const QString &who, const QString &remote,
               const QString &what, const QString &command, const QString &outcome) const;
    qint64 now() const { return m_clock(); }

    OperatorStore &m_store;
    ActionTarget &m_target;
    Source &m_source;
    bool m_secure = false;
    bool m_proxy = false;
    std::function<qint64()> m_clock;
    QHash<QByteArray, Session> m_sessions;
    QHash<QString, Failures> m_failures;
    QList<qint64> m_checks; // times of the last second's password checks
    std::unique_ptr<QObject> m_checking = std::make_unique<QObject>(); // holds running checks
};

} // namespace web
