#pragma once

#include <QByteArray>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

class TVexmoorServer;

// The console connection of a profile: an event-driven TCP client on the main thread that
// hands its five events (connecting, connected, data, closed, error) to its profile.
class TVexmoorSocket : public QObject {
    Q_OBJECT
public:
    // How long a connection attempt may take before it counts as failed.
    static constexpr int ConnectTimeoutMs = 4500;

    // Socket failure kinds as the profile reports them.
    enum ErrorKind { General = 0, Send = 1, Receive = 2, Connect = 3, Disconnect = 4, Accept = 5 };

    explicit TVexmoorSocket(TVexmoorServer &server);
    ~TVexmoorSocket() override;

    TVexmoorServer &Server;

    // Starts a connection attempt to the profile's current host and port.
    void open();
    // Closes the connection (or abandons an attempt); an established connection reports its
    // close to the profile.
    void close();
    // True while the connection is established.
    bool connected() const { return m_established; }
    // True while an attempt is under way.
    bool connecting() const;
    void send(const QByteArray &bytes);
    QByteArray readAll() { return m_socket.readAll(); }

private:
    void onConnected();
    void onDisconnected();
    void onError(QAbstractSocket::SocketError error);
    void onConnectTimeout();
    void finishEstablished();

    QTcpSocket m_socket;
    QTimer m_connectTimer;
    bool m_established = false;
};
