// The running mission, the next-mission link, the mission commands, the clock and the path.
#include "missionfixture.h"
#include "platform/datetime.h"
#include "platform/settingsstore.h"

using namespace missions_testing;

namespace {

QString link(const char *from, const char *to) {
    return QStringLiteral("$nextMission[\"%1\"] = \"%2\"; //VX")
        .arg(QLatin1String(from), QLatin1String(to));
}

TEST_F(RotationTest, WalkSkipsDisabledMissionsAndWraps) {
    EXPECT_EQ(linkFor(QStringLiteral("A")), QStringList{link("A", "C")});
    EXPECT_EQ(linkFor(QStringLiteral("C")), QStringList{link("C", "A")});
    // A disabled mission that runs anyway still links to the next enabled one.
    EXPECT_EQ(linkFor(QStringLiteral("B")), QStringList{link("B", "C")});
}

TEST_F(RotationTest, TheCurrentMissionIsNeverItsOwnSuccessor) {
    load({"A,CTF,Y", "B,CTF,N", "C,Hunt,N"});
    EXPECT_TRUE(linkFor(QStringLiteral("A")).isEmpty());
    load({"A,CTF,Y"});
    EXPECT_TRUE(linkFor(QStringLiteral("A")).isEmpty());
}

TEST_F(RotationTest, NoLinkForAMissionOutsideTheCatalogueOrInPassiveMode) {
    EXPECT_TRUE(linkFor(QStringLiteral("Elsewhere")).isEmpty());
    EXPECT_TRUE(linkFor(QStringLiteral("a")).isEmpty()); // names compare with case
    profile.active = false;
    EXPECT_TRUE(linkFor(QStringLiteral("A")).isEmpty());
}

TEST_F(RotationTest, ExecAndNextMissionCommands) {
    missions.ExecMission(2);
    missions.ExecMission(-1); // no selected row
    missions.ExecMission(3);
    missions.NextMission();
    EXPECT_EQ(sent(),
              (QStringList{"Server::LoadMission(\"C\"); //VX", "Server::NextMission(); //VX"}));
}

TEST_F(RotationTest, ExecLooksNeitherAtModeNorAtTheEnableState) {
    profile.active = false;
    missions.ExecMission(1); // B is disabled
    EXPECT_EQ(sent(), QStringList{"Server::LoadMission(\"B\"); //VX"});
}

TEST_F(RotationTest, NothingIsSentWhileNotConnected) {
    profile.connected = false;
    missions.SetCurrentMission(QStringLiteral("A"));
    missions.SendNextMission();
    missions.ExecMission(0);
    missions.NextMission();
    profile.connected = true;
    EXPECT_TRUE(sent().isEmpty());
}

// Through the whole profile: the report reaches the catalogue and the link goes out first.
TEST_F(MissionTest, MissionStartReportSetsTheMissionAndSendsTheLink) {
    make();
    load({"A,CTF,Y", "B,CTF,N", "C,Hunt,Y"});
    ASSERT_TRUE(connect());
    console.take(*profile);
    profile->ClassifyLine(QStringLiteral("\"M\"C\"600\""));
    EXPECT_EQ(m().CurrentMissionName, QStringLiteral("C"));
    ASSERT_NE(m().CurrentMission, nullptr);
    EXPECT_EQ(m().CurrentMission->Name, QStringLiteral("C"));
    const QStringList lines = sent();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines[0], link("C", "A"));
}

TEST_F(MissionTest, CurrentMissionMarksItsRowAndFillsTheStatusBar) {
    make();
    load({"A,CTF,Y", "B,Hunt,Y"});
    m().SetCurrentMission(QStringLiteral("A"));
    EXPECT_EQ(view.marked(), QStringList{"A|CTF|Y"});
    EXPECT_EQ(view.panels[2], QStringLiteral("A"));
    EXPECT_EQ(view.panels[3], QStringLiteral("CTF"));
    m().SetCurrentMission(QStringLiteral("B"));
    EXPECT_EQ(view.marked(), QStringList{"B|Hunt|Y"});
    EXPECT_EQ(view.panels[3], QStringLiteral("Hunt"));
    m().SetCurrentMission(QStringLiteral("Elsewhere"));
    EXPECT_TRUE(view.marked().isEmpty());
    EXPECT_EQ(view.panels[2], QStringLiteral("Elsewhere"));
    EXPECT_EQ(view.panels[3], QString());
}

TEST_F(MissionTest, RowMarkedByNameAloneIsClearedByTheNextMission) {
    make();
    load({"A,CTF,Y", "B,Hunt,Y"});
    m().SetCurrentMission(QStringLiteral("A"));
    m().CurrentMission = nullptr; // as after a scan: the name stays, the link is gone
    m().ShowMissions();
    ASSERT_EQ(view.marked(), QStringList{"A|CTF|Y"});
    m().SetCurrentMission(QStringLiteral("B"));
    EXPECT_EQ(view.marked(), QStringList{"B|Hunt|Y"});
}

TEST_F(MissionTest, DetachedProfileKeepsItsMissionWithoutDrawing) {
    make();
    load({"A,CTF,Y"});
    profile->DetachView();
    view.panels[2] = QStringLiteral("untouched");
    m().SetCurrentMission(QStringLiteral("A"));
    EXPECT_EQ(m().CurrentMission, m().MissionCatalogue[0]);
    EXPECT_EQ(view.panels[2], QStringLiteral("untouched"));
    // Displayed again, the row of the running mission is marked.
    profile->AttachView(&view);
    EXPECT_EQ(view.marked(), QStringList{"A|CTF|Y"});
    EXPECT_EQ(view.panels[3], QStringLiteral("CTF"));
}

TEST_F(MissionTest, PlayClockShowsTimeLeftThenTimeSinceTheEnd) {
    double clock = 45357.5;
    platform::setClockForTesting([&] { return clock; });
    make();
    m().MissionEndTime = clock + 3725 / platform::SecondsPerDay;
    m().UpdatePlayClock();
    EXPECT_EQ(view.panels[4], QStringLiteral("01:02:05"));
    clock += 3735 / platform::SecondsPerDay;
    m().UpdatePlayClock();
    EXPECT_EQ(view.panels[4], QStringLiteral("00:00:10"));
    m().MissionEndTime = 0;
    m().UpdatePlayClock();
    EXPECT_EQ(view.panels[4], QString());
}

TEST_F(MissionTest, MissionsPathLosesOneTrailingBackslashAndRescans) {
    make();
    const QString dir = path(QStringLiteral("missions"));
    QDir().mkpath(dir);
    writeFile(dir + QStringLiteral("/Alpha.dsc"), "$MDESC::Type = \"CTF\";\n");
    EXPECT_EQ(m().MissionsPathExit(dir + QStringLiteral("/"), QString()), dir);
    EXPECT_EQ(m().MissionsPath, dir);
    EXPECT_EQ(env.settings->read(profile->section(), QStringLiteral("MissionsPath")), dir);
    EXPECT_EQ(names(m().MissionCatalogue), QStringList{"Alpha"});
    EXPECT_EQ(view.rows, QStringList{"Alpha|CTF|Y"});

    EXPECT_EQ(m().MissionsPathExit(QStringLiteral("C:\\Games\\\\"), dir),
              QStringLiteral("C:\\Games\\"));
    EXPECT_EQ(m().MissionsPath, QStringLiteral("C:\\Games\\"));
    // No such directory: the catalogue stays.
    EXPECT_EQ(names(m().MissionCatalogue), QStringList{"Alpha"});
}

TEST_F(MissionTest, UnchangedMissionsPathDoesNothing) {
    make();
    m().MissionsPath = QStringLiteral("kept");
    EXPECT_EQ(m().MissionsPathExit(QStringLiteral("typed\\"), QStringLiteral("typed\\")),
              QStringLiteral("typed\\"));
    EXPECT_EQ(m().MissionsPath, QStringLiteral("kept"));
    EXPECT_EQ(env.settings->read(profile->section(), QStringLiteral("MissionsPath")), QString());
}

TEST_F(MissionTest, ChosenFolderIsTakenAsReturned) {
    make();
    const QString dir = path(QStringLiteral("chosen"));
    QDir().mkpath(dir);
    writeFile(dir + QStringLiteral("/Beta.dsc"), "$MDESC::Type = \"Hunt\";\n");
    EXPECT_FALSE(m().MissionsPathChosen(QString(), QStringLiteral("x")));
    EXPECT_FALSE(m().MissionsPathChosen(dir, dir));
    EXPECT_TRUE(m().MissionCatalogue.isEmpty());
    EXPECT_TRUE(m().MissionsPathChosen(dir, QStringLiteral("old")));
    EXPECT_EQ(m().MissionsPath, dir);
    EXPECT_EQ(env.settings->read(profile->section(), QStringLiteral("MissionsPath")), dir);
    EXPECT_EQ(names(m().MissionCatalogue), QStringList{"Beta"});
}

} // namespace
