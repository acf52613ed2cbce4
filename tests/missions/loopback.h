#pragma once

// A console that only listens: a loopback TCP server that takes one connection from a profile
// and collects the lines the profile sends, so that tests see the exact commands.

#include "session/server.h"
#include "support/testsupport.h"

#include <QHostAddress>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>

namespace testing_support {

class LoopbackConsole {
public:
    LoopbackConsole() { m_server.listen(QHostAddress::LocalHost); }

    int port() const { return m_server.serverPort(); }

    // Connects the profile (created with port()) and waits until both ends stand.
    bool connect(TVexmoorServer &profile) {
        profile.ToggleConnection();
        const bool up = waitFor([&] {
            if (!m_peer && m_server.hasPendingConnections())
                m_peer = m_server.nextPendingConnection();
            return m_peer && profile.isConnected();
        });
        return up;
    }

    // Every complete line received so far, line feeds removed.
    QStringList lines() {
        if (m_peer) m_received += m_peer->readAll();
        QStringList result = QString::fromUtf8(m_received).split(QLatin1Char('\n'));
        result.removeLast(); // the text after the last line feed
        return result;
    }

    // The lines the profile sent up to now: a sentinel line is sent behind them and awaited,
    // so that lines that were not sent are known to be missing.
    QStringList sent(TVexmoorServer &profile) {
        const QString sentinel = QStringLiteral("-- sentinel %1 --").arg(++m_sentinels);
        profile.SendCommand(sentinel + QLatin1Char('\n'));
        waitFor([&] { return lines().contains(sentinel); });
        QStringList all = lines();
        all.removeAll(sentinel);
        for (int i = 1; i < m_sentinels; ++i)
            all.removeAll(QStringLiteral("-- sentinel %1 --").arg(i));
        return all.mid(m_taken);
    }

    // Forgets the lines received so far; sent() then returns only newer ones.
    void take(TVexmoorServer &profile) {
        const QStringList before = sent(profile);
        m_taken += int(before.size());
    }

private:
    QTcpServer m_server;
    QTcpSocket *m_peer = nullptr;
    QByteArray m_received;
    int m_sentinels = 0;
    int m_taken = 0;
};

} // namespace testing_support
