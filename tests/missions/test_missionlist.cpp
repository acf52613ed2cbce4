// The mission list: sorting, moving rows, the shuffle, switching missions on and off, detaching.
#include "missionfixture.h"

#include <algorithm>

using namespace missions_testing;

namespace {

TMission mission(const char *name, const char *type, bool enabled) {
    TMission m;
    m.Name = QString::fromLatin1(name);
    m.MissionType = QString::fromLatin1(type);
    m.Enabled = enabled;
    return m;
}

TEST(MissionOrder, EnableColumnPutsEnabledFirstThenTypeThenName) {
    const TMission a = mission("alpha", "CTF", false), b = mission("Bravo", "ctf", true),
                   c = mission("charlie", "Arena", true), d = mission("Delta", "ctf", true);
    EXPECT_LT(compareMissions(b, a, 2), 0); // Y before N
    EXPECT_LT(compareMissions(c, b, 2), 0); // then type
    EXPECT_LT(compareMissions(b, d, 2), 0); // then name, letter case ignored
    EXPECT_EQ(compareMissions(b, b, 2), 0);
}

TEST(MissionOrder, TypeColumnIgnoresTheEnableStateAndNameColumnTheType) {
    const TMission a = mission("alpha", "Hunt", true), b = mission("Bravo", "ctf", false);
    EXPECT_GT(compareMissions(a, b, 1), 0);
    EXPECT_LT(compareMissions(a, b, 0), 0);
    // A prefix comes first; only a..z fold onto A..Z.
    EXPECT_LT(compareMissions(mission("Ice", "", true), mission("ice ridge", "", true), 0), 0);
    EXPECT_GT(compareMissions(mission("_x", "", true), mission("Zed", "", true), 0), 0);
}

class ListTest : public MissionTest {
protected:
    void SetUp() override {
        make();
        load({"A,CTF,Y", "B,Hunt,N", "C,Arena,Y", "D,CTF,Y"});
    }
    // The view's rows must always show Rows.
    void expectViewMirrorsRows() {
        QStringList expected;
        for (const TMission *x : m().Rows)
            expected.append(x->Name + QLatin1Char('|') + x->MissionType + QLatin1Char('|') +
                            enableText(*x));
        EXPECT_EQ(view.rows, expected);
    }
};

TEST_F(ListTest, ColumnClickSortsTheRowsButNotTheRotation) {
    m().ColumnClick(1);
    EXPECT_EQ(context.MissionSortColumn, 1);
    EXPECT_EQ(names(m().Rows), (QStringList{"C", "A", "D", "B"}));
    m().ColumnClick(2);
    EXPECT_EQ(names(m().Rows), (QStringList{"C", "A", "D", "B"}));
    m().ColumnClick(0);
    EXPECT_EQ(names(m().Rows), (QStringList{"A", "B", "C", "D"}));
    m().ColumnClick(7); // no such column
    EXPECT_EQ(context.MissionSortColumn, 0);
    expectViewMirrorsRows();
    EXPECT_EQ(names(m().MissionCatalogue), (QStringList{"A", "B", "C", "D"}));
}

TEST_F(ListTest, EnableColumnShowsEnabledMissionsFirst) {
    m().ToggleEnabled(0); // A off
    m().ColumnClick(2);
    EXPECT_EQ(names(m().Rows), (QStringList{"C", "D", "A", "B"}));
    expectViewMirrorsRows();
}

TEST_F(ListTest, FirstOntoThirdGoesAfterTheThird) {
    m().MoveMissionItem(0, 2);
    EXPECT_EQ(names(m().Rows), (QStringList{"B", "C", "A", "D"}));
    EXPECT_EQ(names(m().MissionCatalogue), (QStringList{"B", "C", "A", "D"}));
    expectViewMirrorsRows();
}

TEST_F(ListTest, ThirdOntoFirstGoesBeforeTheFirst) {
    m().MoveMissionItem(2, 0);
    EXPECT_EQ(names(m().Rows), (QStringList{"C", "A", "B", "D"}));
    EXPECT_EQ(names(m().MissionCatalogue), (QStringList{"C", "A", "B", "D"}));
    expectViewMirrorsRows();
}

TEST_F(ListTest, MoveInASortedViewUsesEachListsOwnPositions) {
    m().ColumnClick(1);        // rows C A D B, rotation A B C D
    m().MoveMissionItem(3, 0); // B onto C
    EXPECT_EQ(names(m().Rows), (QStringList{"B", "C", "A", "D"}));
    // In the rotation B takes C's place, coming from above: after C.
    EXPECT_EQ(names(m().MissionCatalogue), (QStringList{"A", "C", "B", "D"}));
    expectViewMirrorsRows();
}

TEST_F(ListTest, DropOntoEmptySpaceMovesToTheEndOfBoth) {
    m().DragDrop(1, -1);
    EXPECT_EQ(names(m().Rows), (QStringList{"A", "C", "D", "B"}));
    EXPECT_EQ(names(m().MissionCatalogue), (QStringList{"A", "C", "D", "B"}));
    expectViewMirrorsRows();
}

TEST_F(ListTest, DropOnItselfOrWithoutSourceChangesNothing) {
    m().DragDrop(2, 2);
    m().DragDrop(-1, 1);
    m().MoveMissionItem(9, 0);
    EXPECT_EQ(names(m().Rows), (QStringList{"A", "B", "C", "D"}));
    EXPECT_EQ(names(m().MissionCatalogue), (QStringList{"A", "B", "C", "D"}));
}

TEST_F(ListTest, MovedRowKeepsTheCurrentMissionImage) {
    m().SetCurrentMission(QStringLiteral("A"));
    m().MoveMissionItem(0, 3);
    EXPECT_EQ(view.marked(), QStringList{"A|CTF|Y"});
    EXPECT_EQ(names(m().Rows).indexOf(QStringLiteral("A")), 3);
}

TEST_F(ListTest, ShuffleIsAPermutationOfBothListsAndRepeatsWithItsSeed) {
    load({"A,x,Y", "B,x,Y", "C,x,Y", "D,x,N", "E,x,Y", "F,x,Y", "G,x,Y", "H,x,Y"});
    const QStringList start = names(m().MissionCatalogue);
    m().Randomize(12345);
    const QStringList rows = names(m().Rows), rotation = names(m().MissionCatalogue);
    auto sorted = [](QStringList l) {
        l.sort();
        return l;
    };
    EXPECT_EQ(sorted(rows), start);
    EXPECT_EQ(sorted(rotation), start);
    // Rows and rotation started in the same order, so they move alike.
    EXPECT_EQ(rows, rotation);
    EXPECT_NE(rows, start);
    expectViewMirrorsRows();

    load({"A,x,Y", "B,x,Y", "C,x,Y", "D,x,N", "E,x,Y", "F,x,Y", "G,x,Y", "H,x,Y"});
    m().Randomize(12345);
    EXPECT_EQ(names(m().Rows), rows);
    // The clock-seeded shuffle keeps every mission too.
    m().Randomize();
    EXPECT_EQ(sorted(names(m().MissionCatalogue)), start);
    EXPECT_EQ(m().MissionCatalogue.size(), 8);
}

TEST_F(ListTest, DoubleClickSwitchesTheMissionOffAndOn) {
    m().ToggleEnabled(0);
    EXPECT_FALSE(m().MissionCatalogue[0]->Enabled);
    EXPECT_EQ(view.rows[0], QStringLiteral("A|CTF|N"));
    m().ToggleEnabled(1); // B was off
    EXPECT_TRUE(m().MissionCatalogue[1]->Enabled);
    EXPECT_EQ(view.rows[1], QStringLiteral("B|Hunt|Y"));
    m().ToggleEnabled(4); // no such row
    EXPECT_EQ(view.redraws, 2);
}

TEST_F(ListTest, DetachingLetsTheRowsGoWithoutASound) {
    for (int i = 0; i < 36; ++i)
        m().MissionCatalogue.append(new TMission(mission("X", "CTF", true)));
    m().ShowMissions();
    ASSERT_EQ(view.rows.size(), 40);
    profile->DetachView();
    EXPECT_EQ(dialogs.beeps, 0);
    EXPECT_TRUE(view.rows.isEmpty());
    EXPECT_TRUE(m().Rows.isEmpty());
    for (const TMission *x : m().MissionCatalogue)
        EXPECT_FALSE(x->ListItem);
    EXPECT_EQ(m().MissionCatalogue.size(), 40);
    // Without rows the list operations change nothing.
    m().MoveMissionItem(0, 1);
    m().ToggleEnabled(0);
    EXPECT_EQ(m().MissionCatalogue[0]->Name, QStringLiteral("A"));
    EXPECT_TRUE(m().MissionCatalogue[0]->Enabled);
}

TEST_F(ListTest, ClearEmptiesCatalogueViewAndLinkButKeepsTheName) {
    m().SetCurrentMission(QStringLiteral("C"));
    m().ClearMissions();
    EXPECT_TRUE(m().MissionCatalogue.isEmpty());
    EXPECT_TRUE(view.rows.isEmpty());
    EXPECT_EQ(m().CurrentMission, nullptr);
    EXPECT_EQ(m().CurrentMissionName, QStringLiteral("C"));
}

TEST_F(ListTest, FindMissionTakesTheFirstExactName) {
    m().MissionCatalogue.append(new TMission(mission("C", "Other", true)));
    ASSERT_NE(m().FindMission(QStringLiteral("C")), nullptr);
    EXPECT_EQ(m().FindMission(QStringLiteral("C"))->MissionType, QStringLiteral("Arena"));
    EXPECT_EQ(m().FindMission(QStringLiteral("c")), nullptr);
    EXPECT_EQ(m().FindMission(QString()), nullptr);
}

} // namespace
