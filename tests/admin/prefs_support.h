#pragma once

// A profile connected to a tiny loopback listener that records what the profile sends.
#include "support/testsupport.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

namespace prefs_test {

using namespace testing_support;

struct PageView : RecordingView {
    void showPreferences(const PreferencesPage &p) override {
        page = p;
        ++shown;
    }
    PreferencesPage page;
    int shown = 0;
};

class ConnectedProfile : public ::testing::Test {
protected:
    ConnectedProfile() {
        EXPECT_TRUE(listener.listen(QHostAddress::LocalHost));
        profile = std::make_unique<TVexmoorServer>(
            QStringLiteral("secret"), QStringLiteral("127.0.0.1"), listener.serverPort(), context);
    }
    ~ConnectedProfile() override { platform::setClockForTesting({}); }

    TVexmoorServer &p() { return *profile; }
    Preferences &prefs() { return profile->prefs; }

    void connect() {
        p().ToggleConnection();
        ASSERT_TRUE(waitFor([&] { return listener.hasPendingConnections() || peer; }));
        peer = listener.nextPendingConnection();
        ASSERT_TRUE(waitFor([&] { return p().isConnected(); }));
    }
    // Every line the profile sent since the last call, without the line feeds. A marker line
    // sent after them shows that nothing is still under way.
    QStringList sent() {
        if (!peer || !p().isConnected()) return {};
        p().SendCommand(QStringLiteral("<end>\n"));
        EXPECT_TRUE(waitFor([&] {
            received += peer->readAll();
            return received.endsWith("<end>\n");
        }));
        QStringList lines = QString::fromLatin1(received).split(QLatin1Char('\n'));
        received.clear();
        lines.removeLast(); // after the last line feed
        lines.removeLast(); // the marker line
        return lines;
    }

    TempEnv env;
    FakeDialogs dialogs;
    ServerContext context{*env.settings, dialogs};
    QTcpServer listener;
    std::unique_ptr<TVexmoorServer> profile;
    QTcpSocket *peer = nullptr;
    QByteArray received;
};

} // namespace prefs_test
