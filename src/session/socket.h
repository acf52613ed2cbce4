#pragma once

#include <QByteArray>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

// The console connection of a profile: an event-driven TCP client on the main thread that
// reports its five events (connecting, connected, data, closed, error) through its signals.
class TVexmoorSocket : public QObject {
    Q_OBJECT
public:
    // How long a connection attempt may take before it counts as failed.
    static constexpr int ConnectTimeoutMs = 4500;

    // Socket failure kinds as the profile reports them.
    enum ErrorKind { General = 0, Send = 1, Receive = 2, Connect = 3, Disconnect = 4, Accept = 5 };

    explicit TVexmoorSocket(QObject *parent = nullptr);
    ~TVexmoorSocket() override;

    // Starts a connection attempt to host and port.
    void open(const QString &host, int port);
    // Closes the connection (or abandons an attempt); an established connection reports its
    // close.
    void close();
    // True while the connection is established.
    bool connected() const { return m_established; }
    // True while an attempt is under way.
    bool connecting() const;
    void send(const QByteArray &bytes);
    QByteArray readAll() { return m_socket.readAll(); }

signals:
    // An attempt starts.
    void attemptStarted();
    // The connection is established.
    void established();
    // Data arrived: readAll() takes it.
    void dataReady();
    // An established connection ended, after its last data.
    void closed();
    // A failure of kind (ErrorKind) with the system error number.
    void failed(int kind, int code);

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
