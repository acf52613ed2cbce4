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

    // The most console text held on either side: received and not yet handed over, or
    // sent and not yet taken by the peer. Past it the connection is dropped (and reported as
    // a failure of kind Receive or Send with the code BufferFull), so that a server that
    // floods or never reads cannot grow the program without bound.
    static constexpr qint64 MaxBuffered = 4 * 1024 * 1024;
    static constexpr int BufferFull = 105; // ENOBUFS

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
    // What waits in the two buffers: received and not handed over, sent and not yet taken.
    qint64 bufferedIn() const { return m_socket.bytesAvailable(); }
    qint64 bufferedOut() const { return m_socket.bytesToWrite(); }

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
    void onReadyRead();
    // Drops an established connection whose buffer of this kind went past MaxBuffered.
    void overflow(ErrorKind kind);

    QTcpSocket m_socket;
    QTimer m_connectTimer;
    bool m_established = false;
};
