// Description files, the scan of a missions directory and mission-list files.
#include "missionfixture.h"
#include "platform/settingsstore.h"

#include <QElapsedTimer>
#include <sys/stat.h>

using namespace missions_testing;

namespace {

MissionDescription describe(const QStringList &lines) {
    return parseMissionDescription(lines);
}

TEST(DescriptionFile, QuotedTypeWithSemicolonGivesExactlyTheQuotedText) {
    const auto d = describe({QStringLiteral("// Raindance"),
                             QStringLiteral("$MDESC::Type = \"Capture the Flag\";"),
                             QStringLiteral("$MDESC::Text = \"ignored\";")});
    EXPECT_TRUE(d.found);
    EXPECT_EQ(d.type, QStringLiteral("Capture the Flag"));
}

TEST(DescriptionFile, KeyInAnyLetterCaseAndSurroundingBlanksCount) {
    EXPECT_EQ(describe({QStringLiteral("  \t$mdesc::type=\"CTF\";  \r")}).type,
              QStringLiteral("CTF"));
    EXPECT_EQ(describe({QStringLiteral("$MDesc::TYPE \"Hunter\";")}).type,
              QStringLiteral("Hunter"));
}

TEST(DescriptionFile, MissingSemicolonLosesTheLastCharacterOfTheType) {
    EXPECT_EQ(describe({QStringLiteral("$MDESC::Type = \"CTF\"")}).type, QStringLiteral("CT"));
}

TEST(DescriptionFile, TypeLineWithoutQuoteOrNoTypeLineGivesNoMission) {
    EXPECT_FALSE(describe({QStringLiteral("$MDESC::Type = CTF;")}).found);
    EXPECT_FALSE(describe({QStringLiteral("$MDESC::Text = \"x\";"), QString()}).found);
    EXPECT_FALSE(describe({}).found);
    // Reading stops at the first type line, even when a later one would hold a type.
    EXPECT_FALSE(
        describe({QStringLiteral("$MDESC::Type = CTF;"), QStringLiteral("$MDESC::Type = \"CTF\";")})
            .found);
    // The key must start the line.
    EXPECT_FALSE(describe({QStringLiteral("x $MDESC::Type = \"CTF\";")}).found);
}

TEST(DescriptionFile, OnlyTheFirstTypeLineCountsAndDegenerateQuotesGiveEmptyTypes) {
    EXPECT_EQ(
        describe({QStringLiteral("$MDESC::Type = \"A\";"), QStringLiteral("$MDESC::Type = \"B\";")})
            .type,
        QStringLiteral("A"));
    const auto lone = describe({QStringLiteral("$MDESC::Type=\"")});
    EXPECT_TRUE(lone.found);
    EXPECT_EQ(lone.type, QString());
}

TEST(MissionListLine, FieldsAndTheFlagRule) {
    TMission m;
    ASSERT_TRUE(parseMissionListLine(QStringLiteral("Raindance,CTF,Y"), m));
    EXPECT_EQ(m.Name, QStringLiteral("Raindance"));
    EXPECT_EQ(m.MissionType, QStringLiteral("CTF"));
    EXPECT_TRUE(m.Enabled);

    ASSERT_TRUE(parseMissionListLine(QStringLiteral("Broadside,CTF,N\r"), m));
    EXPECT_FALSE(m.Enabled);
    // Only an upper-case N disables; any other flag enables.
    ASSERT_TRUE(parseMissionListLine(QStringLiteral("Snowblind,CTF,n"), m));
    EXPECT_TRUE(m.Enabled);
    ASSERT_TRUE(parseMissionListLine(QStringLiteral("Snowblind,CTF,No"), m));
    EXPECT_TRUE(m.Enabled);
    // A blank after the first comma stays in the type; blanks around the flag go.
    ASSERT_TRUE(parseMissionListLine(QStringLiteral("  Ice Ridge, Capture the Flag ,  N  "), m));
    EXPECT_EQ(m.Name, QStringLiteral("Ice Ridge"));
    EXPECT_EQ(m.MissionType, QStringLiteral(" Capture the Flag "));
    EXPECT_FALSE(m.Enabled);
    // The flag is everything after the second comma.
    ASSERT_TRUE(parseMissionListLine(QStringLiteral("A,B,C,N"), m));
    EXPECT_EQ(m.MissionType, QStringLiteral("B"));
    EXPECT_TRUE(m.Enabled);
}

TEST(MissionListLine, LinesToSkip) {
    TMission m;
    for (const char *line : {"", "   ", "NoComma", "One,Comma", "Empty,Flag,", "Blank,Flag,   "})
        EXPECT_FALSE(parseMissionListLine(QString::fromLatin1(line), m)) << line;
}

class ScanTest : public MissionTest {
protected:
    void SetUp() override {
        dir = path(QStringLiteral("missions"));
        QDir().mkpath(dir);
        auto dsc = [this](const char *name, const QByteArray &body) {
            writeFile(dir + QLatin1Char('/') + QLatin1String(name), body);
        };
        dsc("Raindance.dsc", "// mission\r\n$MDESC::Type = \"CTF\";\r\n");
        dsc("Broadside.dsc", "$mdesc::type=\"Capture the Flag\";\n");
        dsc("Boot.dsc", "$MDESC::Type = \"TRAINING\";\n");
        dsc("Broken.dsc", "$MDESC::Type = CTF;\n");
        dsc("NoType.dsc", "$MDESC::Text = \"Nothing here\";\n");
        dsc("Crossfire.dsc", "$MDESC::Type = \"Hunt\"\n");
        dsc("Readme.txt", "$MDESC::Type = \"CTF\";\n");
        dsc("Ice Ridge.dsc", "\n\n   $MDESC::Type = \"Defend and Destroy\";   \n");
        env.settings->write(QStringLiteral("127.0.0.1:") + QString::number(console.port()),
                            QStringLiteral("MissionsPath"), dir);
    }
    QString dir;
};

TEST_F(ScanTest, ProfileCreationScansTheMissionsDirectory) {
    make(false);
    EXPECT_EQ(m().MissionsPath, dir);
    EXPECT_EQ(names(m().MissionCatalogue),
              (QStringList{"Broadside", "Crossfire", "Ice Ridge", "Raindance"}));
    EXPECT_EQ(m().FindMission(QStringLiteral("Crossfire"))->MissionType, QStringLiteral("Hun"));
    EXPECT_EQ(m().FindMission(QStringLiteral("Ice Ridge"))->MissionType,
              QStringLiteral("Defend and Destroy"));
    for (const TMission *mission : m().MissionCatalogue) {
        EXPECT_TRUE(mission->Enabled);
        EXPECT_FALSE(mission->ListItem);
    }
    EXPECT_TRUE(m().Rows.isEmpty());
}

// Mission files come from other people: a FIFO, a device, a link to /dev/zero or a
// directory among them is skipped at once (no open waits, nothing is read without bound),
// and a description file is read for its type line only up to its limit.
TEST_F(ScanTest, OnlyRegularFilesAreReadAndOnlyUpToTheLimit) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir + QStringLiteral("/Trap.dsc")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), dir + QStringLiteral("/Zero.dsc")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), dir + QStringLiteral("/Null.dsc")));
    ASSERT_TRUE(QDir().mkpath(dir + QStringLiteral("/Folder.dsc")));
    ASSERT_TRUE(
        QFile::link(dir + QStringLiteral("/Raindance.dsc"), dir + QStringLiteral("/Linked.dsc")));
    // A type line past the first MiB is not looked for.
    writeFile(dir + QStringLiteral("/Huge.dsc"),
              QByteArray(1024 * 1024 + 10, ' ') + "\n$MDESC::Type = \"CTF\";\n");
    QElapsedTimer clock;
    clock.start();
    make(false);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(names(m().MissionCatalogue),
              (QStringList{"Broadside", "Crossfire", "Ice Ridge", "Linked", "Raindance"}));
    EXPECT_TRUE(dialogs.messages.isEmpty());

    // A mission list that is a FIFO or a device loads nothing and returns at once; one past
    // its limit loads its beginning and says so.
    const int before = int(m().MissionCatalogue.size());
    m().LoadMissionList(dir + QStringLiteral("/Trap.dsc"));
    m().LoadMissionList(dir + QStringLiteral("/Zero.dsc"));
    EXPECT_EQ(m().MissionCatalogue.size(), before);
    QByteArray list;
    while (list.size() <= 4 * 1024 * 1024)
        list += "Mission" + QByteArray::number(list.size()) + ",CTF,Y\r\n";
    writeFile(path(QStringLiteral("long.vxl")), list);
    m().LoadMissionList(path(QStringLiteral("long.vxl")));
    EXPECT_GT(m().MissionCatalogue.size(), 100000);
    EXPECT_LT(m().MissionCatalogue.size(), list.count('\n'));
    EXPECT_TRUE(m().MissionCatalogue.last()->Enabled); // the cut line is dropped, not half read
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].second.contains(QStringLiteral("only its beginning was read")));
}

TEST_F(ScanTest, DisplayedScanShowsTheRowsSortedByTheSortColumn) {
    make();
    // Displaying the profile shows the catalogue order; a scan sorts the rows.
    EXPECT_EQ(names(m().Rows), names(m().MissionCatalogue));
    m().ScanMissions();
    // Sort column 2 after creation: enabled first (all are), then type, then name.
    EXPECT_EQ(context.MissionSortColumn, 2);
    EXPECT_EQ(view.rows, (QStringList{"Broadside|Capture the Flag|Y", "Raindance|CTF|Y",
                                      "Ice Ridge|Defend and Destroy|Y", "Crossfire|Hun|Y"}));
    EXPECT_EQ(names(m().Rows), (QStringList{"Broadside", "Raindance", "Ice Ridge", "Crossfire"}));
    // Sorting the view leaves the rotation order alone.
    EXPECT_EQ(names(m().MissionCatalogue),
              (QStringList{"Broadside", "Crossfire", "Ice Ridge", "Raindance"}));
}

TEST_F(ScanTest, MissingDirectoryLeavesTheCatalogueAndRefreshesTheView) {
    make();
    const int clears = view.clears;
    m().MissionsPath = path(QStringLiteral("nowhere"));
    m().ScanMissions();
    EXPECT_EQ(m().MissionCatalogue.size(), 4);
    EXPECT_GT(view.clears, clears);
    EXPECT_EQ(view.rows.size(), 4);
    m().MissionsPath.clear();
    m().ScanMissions();
    EXPECT_EQ(m().MissionCatalogue.size(), 4);
}

TEST_F(ScanTest, ScanKeepsTheNameButUnlinksTheCurrentMission) {
    make();
    m().SetCurrentMission(QStringLiteral("Raindance"));
    ASSERT_NE(m().CurrentMission, nullptr);
    m().ScanMissions();
    EXPECT_EQ(m().CurrentMission, nullptr);
    EXPECT_EQ(m().CurrentMissionName, QStringLiteral("Raindance"));
    // The row of that name is still marked.
    EXPECT_EQ(view.marked(), QStringList{"Raindance|CTF|Y"});
}

TEST_F(MissionTest, MissionListRoundTripReproducesTheCatalogue) {
    make();
    load({"Raindance,CTF,Y", "Broadside, Capture the Flag,N", "Snowblind,Hunt,n",
          "Ice Ridge,Defend and Destroy,N"});
    ASSERT_EQ(m().MissionCatalogue.size(), 4);
    const QString file = path(QStringLiteral("saved.vxl"));
    ASSERT_TRUE(m().SaveMissionList(file));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].first, platform::Dialogs::Icon::Information);
    EXPECT_EQ(dialogs.messages[0].second, file + QStringLiteral(" saved successfully"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("Raindance,CTF,Y\r\nBroadside, Capture the Flag,N\r\n"
                                      "Snowblind,Hunt,Y\r\nIce Ridge,Defend and Destroy,N\r\n"));

    const QList<TMission> before = [&] {
        QList<TMission> r;
        for (const TMission *x : m().MissionCatalogue)
            r.append(*x);
        return r;
    }();
    m().ClearMissions();
    m().LoadMissionList(file);
    ASSERT_EQ(m().MissionCatalogue.size(), before.size());
    for (int i = 0; i < before.size(); ++i) {
        EXPECT_EQ(m().MissionCatalogue[i]->Name, before[i].Name);
        EXPECT_EQ(m().MissionCatalogue[i]->MissionType, before[i].MissionType);
        EXPECT_EQ(m().MissionCatalogue[i]->Enabled, before[i].Enabled);
    }
    // A load shows the rows in catalogue order, unsorted.
    EXPECT_EQ(names(m().Rows), names(m().MissionCatalogue));
    EXPECT_EQ(view.rows[1], QStringLiteral("Broadside| Capture the Flag|N"));
}

TEST_F(MissionTest, LoadSkipsBadLinesAndRemembersTheFile) {
    make();
    load({"", "Raindance,CTF,Y", "garbage", "Half,Line", "NoFlag,CTF,", "Snowblind,Hunt,N"});
    EXPECT_EQ(names(m().MissionCatalogue), (QStringList{"Raindance", "Snowblind"}));
    EXPECT_EQ(env.settings->read(profile->section(), QStringLiteral("LastMissionList")),
              path(QStringLiteral("list.vxl")));
}

TEST_F(MissionTest, UnreadableListKeepsTheCatalogueButIsStillRemembered) {
    make();
    load({"Raindance,CTF,Y"});
    const QString missing = path(QStringLiteral("missing.vxl"));
    m().LoadMissionList(missing);
    EXPECT_EQ(names(m().MissionCatalogue), QStringList{"Raindance"});
    EXPECT_EQ(env.settings->read(profile->section(), QStringLiteral("LastMissionList")), missing);
}

TEST_F(MissionTest, LoadRelinksTheCurrentMission) {
    make();
    load({"Raindance,CTF,Y"});
    m().SetCurrentMission(QStringLiteral("Snowblind"));
    EXPECT_EQ(m().CurrentMission, nullptr);
    load({"Raindance,CTF,Y", "Snowblind,Hunt,Y"});
    ASSERT_NE(m().CurrentMission, nullptr);
    EXPECT_EQ(m().CurrentMission->Name, QStringLiteral("Snowblind"));
    EXPECT_EQ(view.marked(), QStringList{"Snowblind|Hunt|Y"});
    EXPECT_EQ(view.panels[3], QStringLiteral("Hunt"));
}

TEST_F(MissionTest, ProfileCreationLoadsTheLastMissionListInsteadOfScanning) {
    const QString file = path(QStringLiteral("start.vxl"));
    writeFile(file, "Alpha,CTF,Y\r\nBeta,CTF,N\r\n");
    const QString section = QStringLiteral("127.0.0.1:") + QString::number(console.port());
    env.settings->write(section, QStringLiteral("LastMissionList"), file);
    const QString dir = path(QStringLiteral("missions"));
    QDir().mkpath(dir);
    writeFile(dir + QStringLiteral("/Gamma.dsc"), "$MDESC::Type = \"CTF\";\n");
    env.settings->write(section, QStringLiteral("MissionsPath"), dir);
    make(false);
    EXPECT_EQ(names(m().MissionCatalogue), (QStringList{"Alpha", "Beta"}));
    EXPECT_FALSE(m().MissionCatalogue[1]->Enabled);
}

TEST_F(MissionTest, SaveThatCannotCreateTheFileWritesNothingAndSaysNothing) {
    make();
    load({"Raindance,CTF,Y"});
    EXPECT_FALSE(m().SaveMissionList(path(QStringLiteral("no/such/dir/x.vxl"))));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(MissionTest, NonAsciiNamesSurviveTheRoundTrip) {
    make();
    load({QStringLiteral("Ébène,Capture,Y")});
    ASSERT_EQ(m().MissionCatalogue.size(), 1);
    EXPECT_EQ(m().MissionCatalogue[0]->Name, QStringLiteral("Ébène"));
    // A file in the game's 8-bit code page reads as well.
    const QString file = path(QStringLiteral("latin1.vxl"));
    writeFile(file, QByteArray("Caf\xe9,CTF,Y\r\n"));
    m().LoadMissionList(file);
    ASSERT_EQ(m().MissionCatalogue.size(), 1);
    EXPECT_EQ(m().MissionCatalogue[0]->Name, QStringLiteral("Café"));
}

} // namespace
