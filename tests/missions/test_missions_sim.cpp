// The rotation against the demo game server: every mission start links the running mission
// to the next enabled one of the catalogue, and the server's rotation follows the links.
#include "missionfixture.h"
#include "platform/settingsstore.h"
#include "simserver.h"

#include <QDir>

using namespace missions_testing;
using namespace testing_support;

namespace {

QString link(const char *from, const char *to) {
    return QStringLiteral("$nextMission[\"%1\"] = \"%2\"; //VX")
        .arg(QLatin1String(from), QLatin1String(to));
}

class MissionSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.listen());
        const QString list = env.path() + QStringLiteral("/rotation.vxl");
        writeFile(list, "Raindance,CTF,Y\r\nBroadside,CTF,N\r\nSnowblind,CTF,Y\r\n"
                        "Crossfire,CTF,N\r\nIceRidge,CTF,Y\r\n");
        const QString section = QStringLiteral("127.0.0.1:") + QString::number(server.port());
        env.settings->write(section, QStringLiteral("LastMissionList"), list);
        env.settings->write(section, QStringLiteral("VexmoorScript"), QStringLiteral("vexmoor.cs"));
        profile = std::make_unique<TVexmoorServer>(
            QStringLiteral("secret"), QStringLiteral("127.0.0.1"), server.port(), context);
        profile->AttachView(&view);
    }
    void TearDown() override { profile->DetachView(); }

    bool received(const QString &line) {
        return waitFor([&] { return server.receivedCommands().contains(line); });
    }

    TempEnv env;
    FakeDialogs dialogs;
    ServerContext context{*env.settings, dialogs};
    sim::SimServer server;
    MissionRecordingView view;
    std::unique_ptr<TVexmoorServer> profile;
};

TEST_F(MissionSimTest, EveryMissionStartUploadsTheNextEnabledMission) {
    ASSERT_EQ(profile->missions().MissionCatalogue.size(), 5);
    profile->ToggleConnection();
    // The running mission reported at the session start gets its link at once.
    ASSERT_TRUE(received(link("Raindance", "Snowblind")));
    EXPECT_EQ(view.marked(), QStringList{"Raindance|CTF|Y"});

    profile->missions().NextMission();
    ASSERT_TRUE(waitFor([&] { return profile->missions().CurrentMissionName == "Snowblind"; }));
    EXPECT_EQ(server.state().mission(), QStringLiteral("Snowblind"));
    ASSERT_TRUE(received(link("Snowblind", "IceRidge")));
    EXPECT_EQ(view.marked(), QStringList{"Snowblind|CTF|Y"});
    EXPECT_EQ(view.panels[2], QStringLiteral("Snowblind"));
    EXPECT_EQ(view.panels[3], QStringLiteral("CTF"));

    profile->missions().NextMission();
    ASSERT_TRUE(waitFor([&] { return profile->missions().CurrentMissionName == "IceRidge"; }));
    ASSERT_TRUE(received(link("IceRidge", "Raindance")));
    // Disabled missions were never linked to.
    for (const QString &line : server.receivedCommands())
        EXPECT_FALSE(line.contains(QStringLiteral("= \"Broadside\"")) ||
                     line.contains(QStringLiteral("= \"Crossfire\"")))
            << qPrintable(line);
}

TEST_F(MissionSimTest, ExecMissionStartsTheSelectedRowsMission) {
    profile->ToggleConnection();
    ASSERT_TRUE(received(link("Raindance", "Snowblind")));
    profile->missions().ExecMission(3); // Crossfire, disabled: loading it is still allowed
    ASSERT_TRUE(waitFor([&] { return profile->missions().CurrentMissionName == "Crossfire"; }));
    EXPECT_TRUE(received(link("Crossfire", "IceRidge")));
}

// A mission name from a list line or a description file name that holds console syntax is
// refused when read; the operator is told once, the other missions still load, and the
// server's password does not change however the rotation runs. A name that reached the
// catalogue some other way still travels only inside its literal.
TEST(HostileMissionNames, AreRefusedAndCannotRunCommandsOnTheServer) {
    const QByteArray hostile = "Broadside\";$Server::Password=\"owned\";$y=\"";
    struct Source {
        const char *what;
        bool folder;
    };
    for (const Source source : {Source{"mission list", false}, Source{"missions folder", true}}) {
        SCOPED_TRACE(source.what);
        TempEnv env;
        FakeDialogs dialogs;
        ServerContext context{*env.settings, dialogs};
        sim::SimServer server;
        ASSERT_TRUE(server.listen());
        const QString password = server.state().variable(QStringLiteral("$Server::Password"));
        const QString section = QStringLiteral("127.0.0.1:") + QString::number(server.port());
        if (source.folder) {
            const QString dir = env.path() + QStringLiteral("/missions");
            ASSERT_TRUE(QDir().mkpath(dir));
            const QByteArray dsc = "$MDESC::Type = \"CTF\";\r\n";
            for (const QByteArray &name : {QByteArray("Raindance"), hostile,
                                           QByteArray("Tab\tName"), QByteArray("Snowblind")})
                writeFile(dir + QLatin1Char('/') + QString::fromUtf8(name) + ".dsc", dsc);
            env.settings->write(section, QStringLiteral("MissionsPath"), dir);
        } else {
            const QString list = env.path() + QStringLiteral("/rotation.vxl");
            writeFile(list, "Raindance,CTF,Y\r\n" + hostile +
                                ",CTF,Y\r\nBack\\slash,CTF,Y\r\n"
                                "Snowblind,CTF,Y\r\n");
            env.settings->write(section, QStringLiteral("LastMissionList"), list);
        }
        env.settings->write(section, QStringLiteral("VexmoorScript"), QStringLiteral("vexmoor.cs"));
        TVexmoorServer profile(QStringLiteral("secret"), QStringLiteral("127.0.0.1"), server.port(),
                               context);
        EXPECT_EQ(names(profile.missions().MissionCatalogue),
                  QStringList({QStringLiteral("Raindance"), QStringLiteral("Snowblind")}));
        ASSERT_EQ(dialogs.messages.size(), 1); // told once, naming the refused missions
        EXPECT_EQ(dialogs.messages[0].first, platform::Dialogs::Icon::Warning);
        EXPECT_TRUE(dialogs.messages[0].second.contains(QStringLiteral("2 mission(s)")));
        EXPECT_TRUE(dialogs.messages[0].second.contains(QStringLiteral("Broadside\";$Server")));

        // A hostile record in the catalogue anyway: the link carries it as one literal.
        auto *planted = new TMission;
        planted->Name = QString::fromUtf8(hostile);
        profile.missions().MissionCatalogue.insert(1, planted);
        profile.ToggleConnection();
        ASSERT_TRUE(waitFor([&] {
            return server.receivedCommands().contains(
                QStringLiteral("$nextMission[\"Raindance\"] = \"Broadside\\\";$Server::Password="
                               "\\\"owned\\\";$y=\\\"\"; //VX"));
        }));
        ASSERT_TRUE(waitFor([&] {
            return server.state().variable(QStringLiteral("$nextMission[Raindance]")) ==
                   QString::fromUtf8(hostile);
        }));
        EXPECT_EQ(server.state().variable(QStringLiteral("$Server::Password")), password);
        EXPECT_EQ(server.state().variable(QStringLiteral("$y")), QString());
        profile.ToggleConnection();
    }
}

} // namespace
