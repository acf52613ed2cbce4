// events.log over a real console session with the demo game server: the session banner,
// the entries after it, and nothing at all with "Log to File" off.
#include "platform/datetime.h"
#include "simserver.h"
#include "support/testsupport.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace testing_support;

namespace {

// 2024-03-06 09:05:03 in days since 1899-12-30.
constexpr platform::DateTime SessionTime = 45357.0 + (9 * 3600 + 5 * 60 + 3) / 86400.0;

const QByteArray Banner =
    "[09:05:03] Session started on 03/06/2024 ****************************************\r\n";

class LogSessionTest : public ::testing::Test {
protected:
    LogSessionTest() {
        platform::setClockForTesting([] { return SessionTime; });
        sim::SimOptions options;
        options.password = QStringLiteral("secret");
        server = std::make_unique<sim::SimServer>(options);
        EXPECT_TRUE(server->listen());
    }
    ~LogSessionTest() override {
        profile.reset();
        server.reset();
        platform::setClockForTesting({});
    }
    TVexmoorServer &create(bool log) {
        const QString section = QStringLiteral("127.0.0.1:") + QString::number(server->port());
        env.settings->write(section, QStringLiteral("Log"),
                            log ? QStringLiteral("1") : QStringLiteral("0"));
        env.settings->write(section, QStringLiteral("VexmoorScript"), QStringLiteral("vexmoor.cs"));
        profile = std::make_unique<TVexmoorServer>(
            QStringLiteral("secret"), QStringLiteral("127.0.0.1"), server->port(), context);
        return *profile;
    }
    bool goOnline(TVexmoorServer &p) {
        p.ToggleConnection();
        return waitFor([&] { return p.SessionState == TVexmoorServer::Online; }) &&
               waitFor([&] { return server->receivedCommands().size() >= 5; });
    }
    bool goOffline(TVexmoorServer &p) {
        p.ToggleConnection();
        return waitFor([&] { return p.SessionState == TVexmoorServer::Offline; });
    }
    QByteArray logBytes() {
        QFile f(profile->directory() + QStringLiteral("/events.log"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    TempEnv env;
    FakeDialogs dialogs;
    ServerContext context{*env.settings, dialogs};
    std::unique_ptr<sim::SimServer> server;
    std::unique_ptr<TVexmoorServer> profile;
};

TEST_F(LogSessionTest, EverySessionStartWritesTheBannerToTheFileOnly) {
    TVexmoorServer &p = create(true);
    ASSERT_TRUE(goOnline(p));
    EXPECT_EQ(logBytes(), Banner);
    EXPECT_TRUE(p.eventLog().EventHistory.isEmpty());

    // A detached profile still writes its events.
    server->sendLine(QStringLiteral("\"C\"2050\"Kim\"10.0.0.1:1\"Female\""));
    ASSERT_TRUE(waitFor([&] { return !p.eventLog().EventHistory.isEmpty(); }));
    const QByteArray entry = p.eventLog().EventHistory.back().toLatin1() + "\r\n";
    EXPECT_TRUE(entry.startsWith("[09:05:03] Kim")) << entry.constData();
    EXPECT_EQ(logBytes(), Banner + entry);

    ASSERT_TRUE(goOffline(p));
    ASSERT_TRUE(goOnline(p));
    EXPECT_EQ(logBytes(), Banner + entry + Banner);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(LogSessionTest, WithLogToFileOffNotEvenTheBannerIsWritten) {
    TVexmoorServer &p = create(false);
    ASSERT_TRUE(goOnline(p));
    server->sendLine(QStringLiteral("\"C\"2050\"Kim\"10.0.0.1:1\"Female\""));
    ASSERT_TRUE(waitFor([&] { return !p.eventLog().EventHistory.isEmpty(); }));
    EXPECT_FALSE(QFile::exists(p.directory() + QStringLiteral("/events.log")));
}

} // namespace
