#include "session/socket.h"

#include <QPointer>
#include <cerrno>

namespace {
// The system error number behind a socket failure, as the operator's message shows it.
int errorNumber(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return ECONNREFUSED;
    case QAbstractSocket::RemoteHostClosedError:
        return ECONNRESET;
    case QAbstractSocket::HostNotFoundError:
        return EHOSTUNREACH;
    case QAbstractSocket::SocketAccessError:
        return EACCES;
    case QAbstractSocket::SocketResourceError:
        return ENOBUFS;
    case QAbstractSocket::SocketTimeoutError:
        return ETIMEDOUT;
    case QAbstractSocket::NetworkError:
        return ENETUNREACH;
    case QAbstractSocket::AddressInUseError:
        return EADDRINUSE;
    case QAbstractSocket::UnsupportedSocketOperationError:
        return EOPNOTSUPP;
    default:
        return EIO;
    }
}
} // namespace

TVexmoorSocket::TVexmoorSocket(QObject *parent) : QObject(parent) {
    m_connectTimer.setSingleShot(true);
    m_connectTimer.setInterval(ConnectTimeoutMs);
    connect(&m_connectTimer, &QTimer::timeout, this, &TVexmoorSocket::onConnectTimeout);
    connect(&m_socket, &QTcpSocket::connected, this, &TVexmoorSocket::onConnected);
    connect(&m_socket, &QTcpSocket::disconnected, this, &TVexmoorSocket::onDisconnected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &TVexmoorSocket::onReadyRead);
    // Qt stops reading from the network while this much waits to be handed over.
    m_socket.setReadBufferSize(MaxBuffered);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &TVexmoorSocket::onError);
}

TVexmoorSocket::~TVexmoorSocket() {
    // A profile is destroyed only while closed; never report events from a dying socket.
    m_socket.disconnect(this);
    m_socket.abort();
}

bool TVexmoorSocket::connecting() const {
    return !m_established && m_socket.state() != QAbstractSocket::UnconnectedState;
}

void TVexmoorSocket::open(const QString &host, int port) {
    if (m_established || connecting()) return;
    emit attemptStarted();
    m_connectTimer.start();
    m_socket.connectToHost(host, static_cast<quint16>(port));
}

void TVexmoorSocket::close() {
    m_connectTimer.stop();
    if (m_established) {
        m_socket.abort(); // emits disconnected, which reports the close
        finishEstablished();
    } else {
        m_socket.abort();
    }
}

void TVexmoorSocket::send(const QByteArray &bytes) {
    if (!m_established) return;
    m_socket.write(bytes);
    if (m_socket.bytesToWrite() > MaxBuffered) overflow(Send);
}

void TVexmoorSocket::onReadyRead() {
    if (m_socket.bytesAvailable() <= 0) return;
    // A full buffer means the text came faster than it was handed over.
    if (m_established && m_socket.bytesAvailable() >= MaxBuffered) {
        overflow(Receive);
        return;
    }
    const QPointer<TVexmoorSocket> alive(this);
    emit dataReady();
    // Text that arrived while the read was held up (by a box opened from inside it) gets no
    // signal of its own: it is handed over on the next turn of the event loop.
    if (alive && m_established && m_socket.bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &TVexmoorSocket::onReadyRead, Qt::QueuedConnection);
}

void TVexmoorSocket::overflow(ErrorKind kind) {
    m_connectTimer.stop();
    m_socket.abort(); // the buffers go with it
    finishEstablished();
    emit failed(kind, BufferFull);
}

void TVexmoorSocket::onConnected() {
    m_connectTimer.stop();
    m_established = true;
    emit established();
}

void TVexmoorSocket::onDisconnected() {
    finishEstablished();
}

// Reports the end of an established connection exactly once, after the last data.
void TVexmoorSocket::finishEstablished() {
    if (!m_established) return;
    if (m_socket.bytesAvailable() > 0) emit dataReady();
    m_established = false;
    emit closed();
}

void TVexmoorSocket::onError(QAbstractSocket::SocketError error) {
    m_connectTimer.stop();
    if (m_established) {
        // A peer's orderly close is not a failure: the close itself is reported.
        if (error == QAbstractSocket::RemoteHostClosedError) return;
        const int kind = error == QAbstractSocket::NetworkError ? Receive : General;
        m_socket.abort();
        finishEstablished();
        emit failed(kind, errorNumber(error));
        return;
    }
    m_socket.abort();
    emit failed(Connect, errorNumber(error));
}

void TVexmoorSocket::onConnectTimeout() {
    if (m_established) return;
    m_socket.abort();
    emit failed(Connect, ETIMEDOUT);
}
