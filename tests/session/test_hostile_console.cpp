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

// A profile with its own settings and message boxes, set up against a hostile console.
template <typename Dialogs = FakeDialogs> struct Rig {
    Rig(HostileConsole::Mode mode, const QString &password)
        : console(mode), p(password, QStringLiteral("127.0.0.1"), console.port(), context) {}
    HostileConsole console;
    TempEnv env;
    Dialogs dialogs;
    ServerContext context{*env.settings, dialogs};
    TVexmoorServer p;
};

TEST(HostileConsole, AServerThatNeverReadsIsDroppedAtTheCapAndReconnected) {
    Rig<> t(HostileConsole::NeverRead, QStringLiteral("secret"));
    ASSERT_TRUE(t.console.listening());
    t.p.ToggleConnection();
    ASSERT_TRUE(waitFor([&] { return t.p.SessionState == TVexmoorServer::Online; }));
    // Commands pile up in the outgoing buffer until it passes the cap; then the connection
    // is dropped, however many more the program tries to send.
    const QString big = QString(60 * 1024, QLatin1Char('y')) + QLatin1Char('\n');
    for (int i = 0; i < 200; ++i)
        t.p.SendCommand(big);
    EXPECT_FALSE(t.p.isConnected());
    EXPECT_EQ(t.p.SessionState, TVexmoorServer::Offline);
    EXPECT_TRUE(t.p.ReconnectPending);
    EXPECT_LE(t.p.Socket->bufferedOut(), 0);
    EXPECT_TRUE(t.dialogs.messages.isEmpty()); // no box: the drop arms reconnection
    ASSERT_FALSE(t.p.eventLog().EventHistory.isEmpty());
    EXPECT_TRUE(t.p.eventLog().EventHistory.last().contains(QStringLiteral("dropped")));
    // The next restart tick reconnects, as after any drop.
    t.p.RestartTick();
    EXPECT_TRUE(waitFor([&] { return t.console.connections == 2 && t.p.isConnected(); }));
}

TEST(HostileConsole, TextFloodedWhileThePasswordsRefusalIsShownIsReadAndDropped) {
    Rig<ModalDialogs> t(HostileConsole::RefuseAndFlood, QStringLiteral("wrong"));
    ASSERT_TRUE(t.console.listening());
    t.dialogs.socket = t.p.Socket.get();
    t.p.ToggleConnection();
    ASSERT_TRUE(waitFor([&] { return !t.dialogs.messages.isEmpty(); }));
    ASSERT_EQ(t.dialogs.messages.size(), 1);
    EXPECT_EQ(t.dialogs.messages[0].second,
              QStringLiteral("Invalid password for ") + t.p.section());
    // The box was not opened inside the socket's read: the text kept being read (far more
    // than the cap went through) and never piled up beyond the cap.
    RecordProperty("flooded_bytes", std::to_string(t.console.flooded));
    RecordProperty("largest_buffered_bytes", std::to_string(t.dialogs.largestIn));
    EXPECT_GT(t.console.flooded, 4 * TVexmoorSocket::MaxBuffered);
    EXPECT_LE(t.dialogs.largestIn, TVexmoorSocket::MaxBuffered);
    // Dismissing the box closes the connection; reconnection is armed.
    EXPECT_TRUE(waitFor([&] { return !t.p.isConnected(); }));
    EXPECT_TRUE(t.p.ReconnectPending);
    EXPECT_EQ(t.p.SessionState, TVexmoorServer::Offline);
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
    Rig<> t(HostileConsole::LoginAndFlood, QStringLiteral("secret"));
    ASSERT_TRUE(t.console.listening());
    BlockingView view;
    t.p.AttachView(&view);
    t.p.ToggleConnection();
    // While the read is held up the received text stops at the cap; the next read drops the
    // connection, which is then reconnected as after any drop.
    ASSERT_TRUE(waitFor([&] { return view.blocked && !t.p.isConnected(); }, 10000));
    EXPECT_TRUE(t.p.ReconnectPending);
    EXPECT_LE(t.p.Socket->bufferedIn(), 0);
    EXPECT_TRUE(t.dialogs.messages.isEmpty());
    ASSERT_FALSE(t.p.eventLog().EventHistory.isEmpty());
    EXPECT_TRUE(t.p.eventLog().EventHistory.last().contains(QStringLiteral("waited to be read")));
    EXPECT_LT(t.console.flooded, 64 * 1024 * 1024); // the server was held back, not buffered
    t.p.RestartTick();
    EXPECT_TRUE(waitFor([&] { return t.console.connections == 2; }));
    t.p.DetachView();
}

} // namespace
