#pragma once

// A game server's remote console with the Vexmoor script loaded, for tests, the demo
// and benchmarks. It runs on the caller's event loop; every connection gets its own
// console session (banner, password, echo, answers), and the game's report lines go to
// every console that is online.

#include "console.h"
#include "gamestate.h"
#include "match.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QStringList>

#include <map>
#include <memory>

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace sim {

// Where a connection that the drop rule hits is closed.
enum class DropMoment {
    Never,
    Connect,  // right after the banner
    Password, // when the password arrives, before any answer
    Login,    // right after the login answer
    Session,  // after the answer to Vexmoor_GetPreferences()
};

enum class MatchMode {
    None,     // no match unless started by hand (then the scripted one)
    Scripted, // the fixed list of scriptedLines()
    Random,   // endless events made up from the live state
};

struct SimOptions {
    QString password = QStringLiteral("secret");
    bool refusePassword = false; // refuse every password, the right one too

    int dropAfterLines = -1; // close after this many lines sent since login; -1 never
    DropMoment dropAt = DropMoment::Never;
    int dropConnections = 1; // how many connections (in order) the drop rules hit; 0 all

    bool split = false;    // cut every line across separate writes
    int splitDelayMs = 2;  // pause between two pieces
    quint32 splitSeed = 7; // where the cuts fall

    int burstLines = 0; // after the session start, this many report lines at full speed

    MatchMode match = MatchMode::None;
    MatchConfig matchConfig; // seed, players, teams, missions, time limit
    double speed = 2.0;      // match events per second; 0 or less: only stepMatch()
    bool loop = false;       // play the scripted match again when it ends
    bool autoStart = true;   // start the match at the first session start

    QByteArray lineEnd = "\r\n";
};

class SimServer : public QObject {
    Q_OBJECT
public:
    // The state (teams, missions, time limit) and the scripted match are made from the
    // options here; the connection options may be changed later through options().
    explicit SimServer(const SimOptions &options = {}, QObject *parent = nullptr);
    ~SimServer() override;

    bool listen(quint16 port = 0, const QHostAddress &address = QHostAddress::LocalHost);
    quint16 port() const;
    QString errorString() const;
    void close(); // stops listening and drops every connection

    SimOptions &options() { return m_options; }
    void setPassword(const QString &password) { m_options.password = password; }

    // Connections, by the id the signals carry (1, 2, ... in order of arrival).
    QList<int> clientIds() const;
    bool isOnline(int client) const;
    qint64 linesSent(int client) const;
    // Every line received after a login, from all connections in order of arrival.
    QStringList receivedCommands() const { return m_commands; }
    QStringList receivedCommands(int client) const;

    const GameState &state() const { return m_state; }
    QString variable(const QString &name) const { return m_state.variable(name); }
    void setVariable(const QString &name, const QString &value) {
        m_state.setVariable(name, value);
    }
    double secondsLeft() const;

    // A report or console line printed for every online console; report lines change
    // the state as the game would.
    void sendLine(const QString &line);
    // One line (or raw bytes) for one console only; the state does not change.
    void sendLineTo(int client, const QString &line);
    void sendRaw(int client, const QByteArray &bytes);
    void dropClient(int client);

    // The match.
    QStringList scriptedLines() const { return m_script; }
    void startMatch();
    void stopMatch();
    bool isMatchRunning() const;
    // Sends the next event now; false once the scripted match has ended (no loop).
    bool stepMatch();
    int matchPosition() const { return m_scriptPos; }

signals:
    void clientConnected(int client, const QString &peer);
    void clientLoggedIn(int client);
    void loginRefused(int client);
    void clientOnline(int client);   // first line after the login: reports flow from now on
    void sessionStarted(int client); // Vexmoor_GetPreferences() answered
    void commandReceived(int client, const QString &line);
    void reportBroadcast(const QString &line);
    void burstFinished(int client);
    void clientDisconnected(int client);
    void matchFinished();

private:
    struct Client;

    void onNewConnection();
    void onReadyRead(int id);
    void onDisconnected(int id);
    void handleLine(int id, const QString &line);
    Client *find(int id) const;

    void sendLines(Client &c, const QStringList &lines);
    void write(Client &c, const QByteArray &bytes);
    void writeNextPiece(int id);
    void dropWhenFlushed(Client &c);
    void broadcast(const QStringList &lines);
    void refillBurst(int id);

    SimOptions m_options;
    QTcpServer *m_server = nullptr;
    GameState m_state;
    Console m_console;
    QElapsedTimer m_missionClock;
    std::map<int, std::unique_ptr<Client>> m_clients;
    int m_nextId = 1;
    QStringList m_commands;

    QStringList m_script;
    int m_scriptPos = 0;
    RandomMatch m_random;
    QTimer *m_matchTimer = nullptr;
    bool m_matchStarted = false;
};

} // namespace sim
