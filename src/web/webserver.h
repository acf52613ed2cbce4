#pragma once

#include "web/source.h"

#include <QAbstractHttpServer>
#include <QHash>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QSslConfiguration>
#include <QTimer>
#include <memory>
#include <optional>

class QWebSocket;

namespace web {

class ConnectionCap;
class OperatorGate;

// What the web lets a stranger use of the program.
struct Limits {
    int maxConnections = 512; // open TCP connections, live pages included
    int maxSubscribers = 400; // live pages
    int maxRequestBytes = 16 * 1024;
    int maxHeaderLines = 64;
    int firstRequestTimeoutMs = 10000; // a connection must send a request by then
    int idleTimeoutMs = 30000;         // a kept-alive connection must send its next request by then
    qint64 maxUnsentBytes = 1 << 20;   // a live page that reads slower than this is dropped
    int maxPageSize = 100;             // leaderboard rows per answer
};

// The HTTP server of the web face: pages from the program's resources, the JSON API and the
// live pages' WebSocket ("/live"), all on one port. It runs on the thread of its source, by
// the event loop, and answers GET and HEAD only.
class WebServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    explicit WebServer(Source &source, Limits limits = {}, QObject *parent = nullptr);
    ~WebServer() override;

    // Serves over TLS with the PEM certificate (chain) and key files; call before listen.
    // False (and errorString()) when they can not be used.
    bool setTls(const QString &certificateFile, const QString &keyFile);
    bool secure() const { return m_tls.has_value(); }

    // Starts listening; false (and errorString()) when the address can not be taken.
    bool listen(const QHostAddress &address, quint16 port);
    quint16 port() const { return m_port; }
    QString errorString() const { return m_error; }

    // The operators' logins, actions and audit (none: the web is read-only).
    void setGate(OperatorGate *gate) { m_gate = gate; }

    int subscriberCount() const { return static_cast<int>(m_subscribers.size()); }
    int connectionCount() const;

    // A full API or page answer without a socket (tests and benchmarks): status, content
    // type and body.
    struct Reply {
        int status = 200;
        QByteArray contentType;
        QByteArray body;
        QList<std::pair<QByteArray, QByteArray>> headers;
    };
    Reply answer(const QString &method, const QByteArray &encodedPath,
                 const QByteArray &query) const;

    // "host:port" parsed from a command line or setting; false when it is not an IP address
    // and a port from 1 to 65535.
    static bool parseAddress(const QString &text, QHostAddress &address, quint16 &port);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    struct Subscriber {
        QString address; // empty: the server list
    };

    Reply route(const QStringList &segments, const QByteArray &query) const;
    Reply api(const QStringList &segments, const QByteArray &query) const;
    Reply page(const QString &name, const QString &title) const;
    Reply leaderboard(const QString &address, const QByteArray &query) const;

    void acceptWebSocket();
    // Sends a message to a live page, or drops the page when too much waits for it already.
    void send(QWebSocket *socket, const QString &text);
    void markChanged(const QString &address);
    void pushChanges();
    void pushEvent(const QString &address, const EventInfo &event);
    QJsonObject serverMessage(const QString &address) const;
    QJsonObject listMessage() const;

    Source &m_source;
    Limits m_limits;
    quint16 m_port = 0;
    QString m_error;
    ConnectionCap *m_tcp = nullptr;
    QHash<QWebSocket *, Subscriber> m_subscribers;
    QSet<QString> m_changed;
    bool m_listChanged = false;
    QTimer m_push; // coalesces the changes of one event-loop turn into one message
    OperatorGate *m_gate = nullptr;
    std::optional<QSslConfiguration> m_tls;
};

} // namespace web
