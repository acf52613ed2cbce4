#include "simserver.h"

#include "report.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <random>

namespace sim {

namespace {

const char banner[] = "Tribes remote console (Vexmoor simulator)";
const char loginAccepted[] = "% Remote console session started.";
const char loginRefusedText[] = "Invalid password.";
// A line longer than this without a line feed is taken as it stands.
constexpr qsizetype MaxLineBytes = 64 * 1024;
// Burst refill: keep at most this much in the socket's buffer.
constexpr qint64 BurstWindow = 256 * 1024;

} // namespace

struct SimServer::Client {
    enum State { AwaitPassword, Refused, LoggedIn, Online };

    int id = 0;
    QTcpSocket *socket = nullptr;
    State state = AwaitPassword;
    bool closed = false;
    QByteArray input;
    QStringList commands;
    qint64 linesSent = 0;
    bool dropRule = false;
    bool dropping = false;

    QList<QByteArray> pieces; // split mode: what is still to be written, one write each
    QTimer *pieceTimer = nullptr;
    std::mt19937 cutRng;

    qint64 burstLeft = 0;
    qsizetype burstPos = 0;
    bool burstRunning = false;
};

SimServer::SimServer(const SimOptions &options, QObject *parent)
    : QObject(parent), m_options(options),
      m_state(options.matchConfig.teams, options.matchConfig.missions,
              options.matchConfig.timeLimitMinutes),
      m_console(m_state), m_random(options.matchConfig) {
    MatchConfig config = m_options.matchConfig;
    config.missions = m_state.missions();
    m_script = scriptedMatch(config);
    m_missionClock.start();
    m_console.setClock([this] { return secondsLeft(); });
    m_server = new QTcpServer(this);
    connect(m_server, &QTcpServer::newConnection, this, &SimServer::onNewConnection);
    m_matchTimer = new QTimer(this);
    connect(m_matchTimer, &QTimer::timeout, this, [this] { stepMatch(); });
}

SimServer::~SimServer() {
    for (auto &[id, c] : m_clients) {
        if (!c->socket) continue;
        c->socket->disconnect(this);
        c->socket->abort();
    }
}

bool SimServer::listen(quint16 port, const QHostAddress &address) {
    return m_server->listen(address, port);
}

quint16 SimServer::port() const {
    return m_server->serverPort();
}

QString SimServer::errorString() const {
    return m_server->errorString();
}

void SimServer::close() {
    m_server->close();
    for (int id : clientIds())
        dropClient(id);
}

SimServer::Client *SimServer::find(int id) const {
    const auto it = m_clients.find(id);
    return it == m_clients.end() || it->second->closed ? nullptr : it->second.get();
}

QList<int> SimServer::clientIds() const {
    QList<int> ids;
    for (const auto &[id, c] : m_clients)
        if (!c->closed) ids << id;
    return ids;
}

bool SimServer::isOnline(int client) const {
    const Client *c = find(client);
    return c && c->state == Client::Online;
}

qint64 SimServer::linesSent(int client) const {
    const auto it = m_clients.find(client);
    return it == m_clients.end() ? 0 : it->second->linesSent;
}

QStringList SimServer::receivedCommands(int client) const {
    const auto it = m_clients.find(client);
    return it == m_clients.end() ? QStringList() : it->second->commands;
}

double SimServer::secondsLeft() const {
    const double left = m_state.missionSeconds() - m_missionClock.elapsed() / 1000.0;
    return left > 0 ? left : 0;
}

void SimServer::onNewConnection() {
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        auto c = std::make_unique<Client>();
        const int id = m_nextId++;
        c->id = id;
        c->socket = socket;
        c->dropRule = m_options.dropConnections <= 0 || id <= m_options.dropConnections;
        c->cutRng.seed(m_options.splitSeed + quint32(id));
        socket->setParent(this);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { onReadyRead(id); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { onDisconnected(id); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, id] { refillBurst(id); });
        Client &ref = *c;
        m_clients.emplace(id, std::move(c));
        emit clientConnected(
            id,
            QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort()));
        if (!find(id)) continue;
        // The prompt has no line end: the console waits on the same line.
        socket->write(QByteArray(banner) + m_options.lineEnd + "Enter Password:");
        if (ref.dropRule && m_options.dropAt == DropMoment::Connect) dropWhenFlushed(ref);
    }
}

void SimServer::onReadyRead(int id) {
    Client *c = find(id);
    if (!c) return;
    c->input += c->socket->readAll();
    for (;;) {
        c = find(id);
        if (!c) return;
        qsizetype nl = c->input.indexOf('\n');
        if (nl < 0 && c->input.size() > MaxLineBytes) nl = c->input.size();
        if (nl < 0) return;
        QByteArray raw = c->input.left(nl);
        c->input.remove(0, qMin(nl + 1, c->input.size()));
        while (raw.endsWith('\r'))
            raw.chop(1);
        handleLine(id, QString::fromLatin1(raw));
    }
}

void SimServer::handleLine(int id, const QString &line) {
    Client *c = find(id);
    if (!c || c->dropping) return;
    switch (c->state) {
    case Client::Refused:
        return;
    case Client::AwaitPassword:
        if (c->dropRule && m_options.dropAt == DropMoment::Password) {
            dropWhenFlushed(*c);
            return;
        }
        if (m_options.refusePassword || line.trimmed() != m_options.password) {
            c->state = Client::Refused;
            c->socket->write(QByteArray(loginRefusedText) + m_options.lineEnd);
            emit loginRefused(id);
            if ((c = find(id))) dropWhenFlushed(*c);
            return;
        }
        c->state = Client::LoggedIn;
        // The answer goes alone: the admin tool judges the login by the first character
        // of what it reads next.
        c->socket->write(QByteArray(loginAccepted) + m_options.lineEnd);
        emit clientLoggedIn(id);
        if ((c = find(id)) && c->dropRule && m_options.dropAt == DropMoment::Login)
            dropWhenFlushed(*c);
        return;
    case Client::LoggedIn:
        c->state = Client::Online;
        emit clientOnline(id);
        if (!(c = find(id))) return;
        break;
    case Client::Online:
        break;
    }

    c->commands << line;
    m_commands << line;
    emit commandReceived(id, line);
    if (!(c = find(id)) || line.trimmed().isEmpty()) return;

    const ConsoleOutput out = m_console.execute(line);
    QStringList lines{line}; // the console echoes what it is given
    lines << out.reply;
    sendLines(*c, lines);
    broadcast(out.broadcast);

    bool session = false;
    for (const QString &call : out.calls)
        session = session ||
                  call.compare(QLatin1String("Vexmoor_GetPreferences"), Qt::CaseInsensitive) == 0;
    if (!session || !(c = find(id))) return;
    emit sessionStarted(id);
    if (!(c = find(id))) return;
    if (c->dropRule && m_options.dropAt == DropMoment::Session) {
        dropWhenFlushed(*c);
        return;
    }
    if (m_options.burstLines > 0 && !c->burstRunning && c->burstLeft == 0) {
        c->burstRunning = true;
        c->burstLeft = m_options.burstLines;
        refillBurst(id);
    }
    if (m_options.autoStart && m_options.match != MatchMode::None && !m_matchStarted) startMatch();
}

void SimServer::sendLines(Client &c, const QStringList &lines) {
    if (c.dropping || lines.isEmpty()) return;
    QByteArray bytes;
    for (const QString &line : lines) {
        bytes += line.toLatin1();
        bytes += m_options.lineEnd;
        ++c.linesSent;
        if (c.dropRule && m_options.dropAfterLines >= 0 &&
            c.linesSent >= m_options.dropAfterLines) {
            c.dropping = true;
            break;
        }
    }
    write(c, bytes);
    if (c.dropping) dropWhenFlushed(c);
}

void SimServer::write(Client &c, const QByteArray &bytes) {
    if (!m_options.split) {
        c.socket->write(bytes);
        return;
    }
    c.pieces << cutLines(bytes, c.cutRng);
    if (!c.pieceTimer) {
        const int id = c.id;
        c.pieceTimer = new QTimer(c.socket);
        c.pieceTimer->setInterval(std::max(0, m_options.splitDelayMs));
        connect(c.pieceTimer, &QTimer::timeout, this, [this, id] { writeNextPiece(id); });
    }
    if (!c.pieceTimer->isActive()) c.pieceTimer->start();
}

void SimServer::writeNextPiece(int id) {
    Client *c = find(id);
    if (!c) return;
    if (!c->pieces.isEmpty()) {
        c->socket->write(c->pieces.takeFirst());
        c->socket->flush();
    }
    if (c->pieces.isEmpty()) {
        c->pieceTimer->stop();
        if (c->dropping)
            dropWhenFlushed(*c);
        else
            refillBurst(id);
    } else if (c->pieces.size() < 64) {
        refillBurst(id);
    }
}

void SimServer::dropWhenFlushed(Client &c) {
    c.dropping = true;
    if (!c.pieces.isEmpty()) return; // writeNextPiece closes once the last piece is out
    c.socket->disconnectFromHost();  // what is buffered still goes out first
}

void SimServer::dropClient(int client) {
    if (Client *c = find(client)) {
        c->pieces.clear();
        dropWhenFlushed(*c);
    }
}

void SimServer::onDisconnected(int id) {
    const auto it = m_clients.find(id);
    if (it == m_clients.end() || it->second->closed) return;
    Client &c = *it->second;
    c.closed = true;
    c.socket->deleteLater(); // takes the piece timer with it
    c.socket = nullptr;
    c.pieceTimer = nullptr;
    c.pieces.clear();
    emit clientDisconnected(id);
}

void SimServer::broadcast(const QStringList &lines) {
    if (lines.isEmpty()) return;
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("\"M\""))) m_missionClock.restart();
        emit reportBroadcast(line);
    }
    for (int id : clientIds())
        if (Client *c = find(id); c && c->state == Client::Online) sendLines(*c, lines);
}

void SimServer::sendLine(const QString &line) {
    m_state.apply(line);
    broadcast({line});
}

void SimServer::sendLineTo(int client, const QString &line) {
    if (Client *c = find(client)) sendLines(*c, {line});
}

void SimServer::sendRaw(int client, const QByteArray &bytes) {
    if (Client *c = find(client); c && !c->dropping) write(*c, bytes);
}

void SimServer::refillBurst(int id) {
    Client *c = find(id);
    if (!c || !c->burstRunning) return;
    while (c->burstLeft > 0 && !c->dropping) {
        if (m_options.split ? c->pieces.size() >= 64 : c->socket->bytesToWrite() >= BurstWindow)
            return;
        QStringList lines;
        const qint64 n = std::min<qint64>(c->burstLeft, 256);
        for (qint64 i = 0; i < n; ++i) {
            lines << m_script.at(c->burstPos);
            c->burstPos = (c->burstPos + 1) % m_script.size();
        }
        c->burstLeft -= n;
        sendLines(*c, lines);
        if (!(c = find(id))) return;
    }
    if (c->burstLeft == 0 && c->pieces.isEmpty() && c->socket->bytesToWrite() == 0) {
        c->burstRunning = false;
        emit burstFinished(id);
    }
}

void SimServer::startMatch() {
    m_matchStarted = true;
    if (m_options.speed > 0) {
        m_matchTimer->setInterval(std::max(1, int(1000.0 / m_options.speed)));
        m_matchTimer->start();
    }
}

void SimServer::stopMatch() {
    m_matchTimer->stop();
}

bool SimServer::isMatchRunning() const {
    return m_matchTimer->isActive();
}

bool SimServer::stepMatch() {
    if (m_options.match == MatchMode::Random) {
        const QStringList lines = m_random.next(m_state);
        for (const QString &line : lines)
            m_state.apply(line);
        broadcast(lines);
        return true;
    }
    if (m_scriptPos >= m_script.size()) {
        if (!m_options.loop) {
            m_matchTimer->stop();
            return false;
        }
        m_scriptPos = 0;
    }
    sendLine(m_script.at(m_scriptPos++));
    if (m_scriptPos >= m_script.size() && !m_options.loop) {
        m_matchTimer->stop();
        emit matchFinished();
    }
    return true;
}

} // namespace sim
