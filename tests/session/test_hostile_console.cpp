// A profile against a small hostile console over loopback: a console that never reads what
// it is sent, and one that floods the connection while the password's refusal is shown.
#include "session/server.h"
#include "session/socket.h"
#include "support/testsupport.h"

#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>
#include <string>

using namespace testing_support;

namespace {

// Answers the password of every connection, then stops reading what it is sent and, unless
// mode is NeverRead, sends console text for as long as the connection stays open.
class HostileConsole : public QObject {
public:
    enum Mode { NeverRead, RefuseAndFlood, LoginAndFlood };
    explicit HostileConsole(Mode mode) : m_mode(mode) {
        for (quint16 port = 29300; port < 29400 && !m_server.isListening(); ++port)
            m_server.listen(QHostAddress::LocalHost, port);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *c = m_server.nextPendingConnection()) {
                ++connections;
                m_client = c;
                c->write("Enter Password:\r\n");
                connect(c, &QTcpSocket::readyRead, this, [this, c] { onRead(c); });
                connect(c, &QTcpSocket::bytesWritten, this, [this, c] { pump(c); });
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    bool listening() const { return m_server.isListening(); }

    int connections = 0;
    qint64 flooded = 0; // bytes of console text the client took

private:
    void onRead(QTcpSocket *c) {
        if (m_loggedIn) return; // never reads past the password: the client's output piles up
        if (!c->canReadLine()) return;
        c->readLine();
        m_loggedIn = true;
        c->write(m_mode == RefuseAndFlood ? "Invalid password.\n" : "% Console session started\n");
        pump(c);
    }
    // Keeps about a megabyte in flight while flooding.
    void pump(QTcpSocket *c) {
        if (m_mode == NeverRead || !m_loggedIn) return;
        static const QByteArray chunk = QByteArray(64 * 1024 - 1, 'x') + '\n';
        while (c->state() == QAbstractSocket::ConnectedState && c->bytesToWrite() < 1024 * 1024) {
            c->write(chunk);
            flooded += chunk.size();
        }
    }

    QTcpServer m_server;
    QTcpSocket *m_client = nullptr;
    Mode m_mode;
    bool m_loggedIn = false;
};

// Message boxes that keep the event loop running for a while, as a modal box does, and note
// the largest amount the profile's socket held meanwhile.
class ModalDialogs : public FakeDialogs {
public:
    void message(Icon icon, const QString &text) override {
        FakeDialogs::message(icon, text);
        QEventLoop loop;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, &loop, [this] {
            if (socket) largestIn = std::max(largestIn, socket->bufferedIn());
        });
        probe.start(5);
        QTimer::singleShot(1500, &loop, &QEventLoop::quit);
        loop.exec();
    }
    TVexmoorSocket *socket = nullptr;
    qint64 largestIn = 0;
};

TEST(HostileConsole, AServerThatNeverReadsIsDroppedAtTheCapAndReconnected) {
    HostileConsole console(HostileConsole::NeverRead);
    ASSERT_TRUE(console.listening());
    TempEnv env;
    FakeDialogs dialogs;
    ServerContext context{*env.settings, dialogs};
    TVexmoorServer p(QStringLiteral("secret"), QStringLiteral("127.0.0.1"), console.port(),
                     context);
    p.ToggleConnection();
    ASSERT_TRUE(waitFor([&] { return p.SessionState == TVexmoorServer::Online; }));
    // Commands pile up in the outgoing buffer until it passes the cap; then the connection
    // is dropped, however many more the program tries to send.
    const QString big = QString(60 * 1024, QLatin1Char('y')) + QLatin1Char('\n');
    for (int i = 0; i < 200; ++i)
        p.SendCommand(big);
    EXPECT_FALSE(p.isConnected());
    EXPECT_EQ(p.SessionState, TVexmoorServer::Offline);
    EXPECT_TRUE(p.ReconnectPending);
    EXPECT_LE(p.Socket->bufferedOut(), 0);
    EXPECT_TRUE(dialogs.messages.isEmpty()); // no box: the drop arms reconnection
    ASSERT_FALSE(p.eventLog().EventHistory.isEmpty());
    EXPECT_TRUE(p.eventLog().EventHistory.last().contains(QStringLiteral("dropped")));
    // The next restart tick reconnects, as after any drop.
    p.RestartTick();
    EXPECT_TRUE(waitFor([&] { return console.connections == 2 && p.isConnected(); }));
}

TEST(HostileConsole, TextFloodedWhileThePasswordsRefusalIsShownIsReadAndDropped) {
    HostileConsole console(HostileConsole::RefuseAndFlood);
    ASSERT_TRUE(console.listening());
    TempEnv env;
    ModalDialogs dialogs;
    ServerContext context{*env.settings, dialogs};
    TVexmoorServer p(QStringLiteral("wrong"), QStringLiteral("127.0.0.1"), console.port(), context);
    dialogs.socket = p.Socket.get();
    p.ToggleConnection();
    ASSERT_TRUE(waitFor([&] { return !dialogs.messages.isEmpty(); }));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].second, QStringLiteral("Invalid password for ") + p.section());
    // The box was not opened inside the socket's read: the text kept being read (far more
    // than the cap went through) and never piled up beyond the cap.
    RecordProperty("flooded_bytes", std::to_string(console.flooded));
    RecordProperty("largest_buffered_bytes", std::to_string(dialogs.largestIn));
    EXPECT_GT(console.flooded, 4 * TVexmoorSocket::MaxBuffered);
    EXPECT_LE(dialogs.largestIn, TVexmoorSocket::MaxBuffered);
    // Dismissing the box closes the connection; reconnection is armed.
    EXPECT_TRUE(waitFor([&] { return !p.isConnected(); }));
    EXPECT_TRUE(p.ReconnectPending);
    EXPECT_EQ(p.SessionState, TVexmoorServer::Offline);
}

// A view that runs the event loop for a while from inside the handling of one console line,
// as a modal box opened there would.
class BlockingView : public RecordingView {
public:
    void Console_add(const QString &text, ConsoleColor color) override {
        RecordingView::Console_add(text, color);
        if (blocked || !text.startsWith(QStringLiteral("xxxx"))) return;
        blocked = true;
        QEventLoop loop;
        QTimer::singleShot(1500, &loop, &QEventLoop::quit);
        loop.exec();
    }
    bool blocked = false;
};

TEST(HostileConsole, TextThatPilesUpWhileAReadIsHeldUpIsCappedAndDropped) {
    HostileConsole console(HostileConsole::LoginAndFlood);
    ASSERT_TRUE(console.listening());
    TempEnv env;
    FakeDialogs dialogs;
    ServerContext context{*env.settings, dialogs};
    TVexmoorServer p(QStringLiteral("secret"), QStringLiteral("127.0.0.1"), console.port(),
                     context);
    BlockingView view;
    p.AttachView(&view);
    p.ToggleConnection();
    // While the read is held up the received text stops at the cap; the next read drops the
    // connection, which is then reconnected as after any drop.
    ASSERT_TRUE(waitFor([&] { return view.blocked && !p.isConnected(); }, 10000));
    EXPECT_TRUE(p.ReconnectPending);
    EXPECT_LE(p.Socket->bufferedIn(), 0);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    ASSERT_FALSE(p.eventLog().EventHistory.isEmpty());
    EXPECT_TRUE(p.eventLog().EventHistory.last().contains(QStringLiteral("waited to be read")));
    EXPECT_LT(console.flooded, 64 * 1024 * 1024); // the server was held back, not buffered
    p.RestartTick();
    EXPECT_TRUE(waitFor([&] { return console.connections == 2; }));
    p.DetachView();
}

} // namespace
