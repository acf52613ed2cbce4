// The Missions page as an operator uses it (offscreen): the mission list's sorting, drag and
// drop and double click, the shuffle, mission-list files through the file choosers, and the
// Exec / Next buttons against the simulated game server.
#include "app/core/settings.h"
#include "app/gui/mainwindow.h"
#include "simserver.h"
#include "support/guitestsupport.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <memory>

using namespace testing_support;

void PrintTo(const QString &text, std::ostream *os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

// Missions in a missions directory, as the game describes them; Tutorial is a training
// mission and is not listed.
const std::pair<const char *, const char *> Descriptions[] = {
    {"Raindance", "Capture the Flag"}, {"Broadside", "Capture the Flag"},
    {"Snowblind", "Deathmatch"},       {"Crossfire", "Capture the Flag"},
    {"IceRidge", "Capture and Hold"},  {"Tutorial", "Training"},
};

// The window over one stored profile whose missions directory holds the missions above,
// showing its Missions page.
struct MissionsPage {
    explicit MissionsPage(const QString &section = QStringLiteral("10.0.0.1:28001")) {
        const QString dir = env.path() + QStringLiteral("/missions");
        QDir().mkpath(dir);
        for (const auto &[name, type] : Descriptions) {
            QFile file(dir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".dsc"));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QByteArray("// ") + name + "\n$MDESC::Type = \"" + type +
                       "\";\n$MDESC::Text = \"x\";\n");
        }
        env.settings->write(section, QStringLiteral("Password"), QStringLiteral("secret"));
        env.settings->write(section, QStringLiteral("MissionsPath"), dir);
        window = std::make_unique<TVexmoor>(*env.settings);
        window->dialogs().setAnswers(&answers);
        window->findChild<QTabWidget *>(QStringLiteral("Pages"))->setCurrentIndex(1);
        window->show();
        list = window->findChild<QTreeWidget *>(QStringLiteral("Display_MissionList"));
    }

    template <typename T = QPushButton> T *control(const char *name) const {
        return child<T>(*window, name);
    }
    QString panel(int i) const {
        return control<QLabel>(QStringLiteral("StatusPanel%1").arg(i).toLatin1())->text();
    }
    Missions &missions() const { return window->CurrentServer->missions(); }

    // The list's rows as "Name Type Enable".
    QStringList rows() const {
        QStringList out;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *item = list->topLevelItem(i);
            out << item->text(0) + QLatin1Char(' ') + item->text(1) + QLatin1Char(' ') +
                       item->text(2);
        }
        return out;
    }
    QStringList rowNames() const {
        QStringList out;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            out << list->topLevelItem(i)->text(0);
        return out;
    }
    // The rotation as "Name Type Enable", in catalogue order.
    QStringList rotation() const {
        QStringList out;
        for (const TMission *m : missions().MissionCatalogue)
            out << m->Name + QLatin1Char(' ') + m->MissionType + QLatin1Char(' ') + enableText(*m);
        return out;
    }
    QStringList rotationNames() const {
        QStringList out;
        for (const TMission *m : missions().MissionCatalogue)
            out << m->Name;
        return out;
    }
    QTreeWidgetItem *item(const QString &name) const {
        const QList<QTreeWidgetItem *> found = list->findItems(name, Qt::MatchExactly, 0);
        return found.isEmpty() ? nullptr : found.constFirst();
    }

    // Whether the row of a mission shows an image (the current-mission flag).
    bool marked(const QString &name) const {
        const QImage image = item(name)->icon(0).pixmap(16, 16).toImage();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) != 0) return true;
        return false;
    }

    void clickHeader(int column) const {
        QHeaderView *header = list->header();
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(column) + 10, header->height() / 2));
    }
    void clickRow(const QString &name) const {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(item(name)).center());
    }
    // A double click as the mouse makes it: press, release, double-click press, release.
    void doubleClickRow(const QString &name) const {
        const QPoint at = list->visualItemRect(item(name)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
    }
    // A drag of the selected row (or of foreign data) dropped at a point of the list; true
    // when the list accepted the drag.
    bool drop(QPoint at, QMimeData *data = nullptr) const {
        std::unique_ptr<QMimeData> owned(
            data ? data : list->model()->mimeData({list->currentIndex().siblingAtColumn(0)}));
        QDragEnterEvent enter(at, Qt::MoveAction, owned.get(), Qt::LeftButton, {});
        QCoreApplication::sendEvent(list->viewport(), &enter);
        QDragMoveEvent move(at, Qt::MoveAction, owned.get(), Qt::LeftButton, {});
        QCoreApplication::sendEvent(list->viewport(), &move);
        if (!move.isAccepted()) return false;
        QDropEvent dropEvent(QPointF(at), Qt::MoveAction, owned.get(), Qt::LeftButton, {});
        QCoreApplication::sendEvent(list->viewport(), &dropEvent);
        return true;
    }
    bool dragRow(const QString &source, const QString &target) const {
        clickRow(source);
        return drop(list->visualItemRect(item(target)).center());
    }

    TempEnv env;
    FakeDialogs answers;
    std::unique_ptr<TVexmoor> window;
    QTreeWidget *list = nullptr;
};

// Moves one name within a list the way the rotation moves a record onto another's place.
QStringList moved(QStringList names, const QString &source, const QString &target) {
    names.move(names.indexOf(source), names.indexOf(target));
    return names;
}

TEST(MissionsTab, SortingDoubleClickAndDragKeepTheirOwnOrders) {
    MissionsPage page;
    ASSERT_NE(page.list, nullptr);
    const QStringList header{page.list->headerItem()->text(0), page.list->headerItem()->text(1),
                             page.list->headerItem()->text(2)};
    EXPECT_EQ(header, (QStringList{"Mission", "Type", "Enable"}));
    // The scan lists every mission but the training one, shown in rotation order.
    const QStringList rotation = page.rotationNames();
    EXPECT_EQ(page.rows(), page.rotation());
    QStringList sorted = page.rows();
    sorted.sort();
    EXPECT_EQ(sorted, (QStringList{"Broadside Capture the Flag Y", "Crossfire Capture the Flag Y",
                                   "IceRidge Capture and Hold Y", "Raindance Capture the Flag Y",
                                   "Snowblind Deathmatch Y"}));
    // Rotation order is no sort: the header shows no arrow.
    EXPECT_FALSE(page.list->header()->isSortIndicatorShown());

    // Sorting by a column changes the view only.
    page.clickHeader(0);
    EXPECT_EQ(page.rowNames(),
              (QStringList{"Broadside", "Crossfire", "IceRidge", "Raindance", "Snowblind"}));
    EXPECT_TRUE(page.list->header()->isSortIndicatorShown());
    EXPECT_EQ(page.list->header()->sortIndicatorSection(), 0);
    EXPECT_EQ(page.rotationNames(), rotation);

    // A double click switches a mission off, another on again.
    page.doubleClickRow(QStringLiteral("Crossfire"));
    page.doubleClickRow(QStringLiteral("Snowblind"));
    page.doubleClickRow(QStringLiteral("Snowblind"));
    EXPECT_EQ(page.item(QStringLiteral("Crossfire"))->text(2), QStringLiteral("N"));
    EXPECT_FALSE(page.missions().FindMission(QStringLiteral("Crossfire"))->Enabled);
    EXPECT_EQ(page.item(QStringLiteral("Snowblind"))->text(2), QStringLiteral("Y"));
    EXPECT_TRUE(page.missions().FindMission(QStringLiteral("Snowblind"))->Enabled);

    page.clickHeader(2);
    EXPECT_EQ(page.rowNames(),
              (QStringList{"IceRidge", "Broadside", "Raindance", "Snowblind", "Crossfire"}));
    page.clickHeader(1);
    EXPECT_EQ(page.rowNames(),
              (QStringList{"IceRidge", "Broadside", "Crossfire", "Raindance", "Snowblind"}));
    EXPECT_EQ(page.rotationNames(), rotation);

    // Dragging moves the mission in both orders: after the target when it came from above,
    // before it when it came from below.
    QStringList expectedRotation = moved(rotation, "IceRidge", "Crossfire");
    ASSERT_TRUE(page.dragRow(QStringLiteral("IceRidge"), QStringLiteral("Crossfire")));
    EXPECT_EQ(page.rowNames(),
              (QStringList{"Broadside", "Crossfire", "IceRidge", "Raindance", "Snowblind"}));
    EXPECT_EQ(page.rotationNames(), expectedRotation);
    expectedRotation = moved(expectedRotation, "Snowblind", "Broadside");
    ASSERT_TRUE(page.dragRow(QStringLiteral("Snowblind"), QStringLiteral("Broadside")));
    EXPECT_EQ(page.rowNames(),
              (QStringList{"Snowblind", "Broadside", "Crossfire", "IceRidge", "Raindance"}));
    EXPECT_EQ(page.rotationNames(), expectedRotation);
    EXPECT_FALSE(page.list->header()->isSortIndicatorShown()) << "the operator's order now";
    // The moved row stays selected and keeps its texts.
    EXPECT_EQ(page.list->currentItem(), page.item(QStringLiteral("Snowblind")));
    EXPECT_EQ(page.item(QStringLiteral("Snowblind"))->text(1), QStringLiteral("Deathmatch"));

    // A drop below the last row moves the mission to the end of both.
    page.clickRow(QStringLiteral("Broadside"));
    ASSERT_TRUE(page.drop(QPoint(20, page.list->viewport()->height() - 3)));
    EXPECT_EQ(page.rowNames().last(), QStringLiteral("Broadside"));
    EXPECT_EQ(page.rotationNames().last(), QStringLiteral("Broadside"));

    // A drag that did not start on the list is refused.
    const QStringList before = page.rowNames();
    auto *foreign = new QMimeData;
    foreign->setText(QStringLiteral("Raindance"));
    EXPECT_FALSE(
        page.drop(page.list->visualItemRect(page.list->topLevelItem(0)).center(), foreign));
    EXPECT_EQ(page.rowNames(), before);
}

TEST(MissionsTab, ShuffleMovesRowsAndRotationAndKeepsTheSet) {
    MissionsPage page;
    page.doubleClickRow(QStringLiteral("Broadside"));
    QStringList set = page.rotation();
    set.sort();
    int changed = 0;
    for (int i = 0; i < 4; ++i) {
        const QStringList before = page.rotationNames();
        const QStringList rowsBefore = page.rowNames();
        page.control("Button_Random")->click();
        QStringList after = page.rotation();
        after.sort();
        EXPECT_EQ(after, set); // the same missions with the same types and enable states
        QStringList shown = page.rows();
        shown.sort();
        EXPECT_EQ(shown, set);
        if (page.rotationNames() != before || page.rowNames() != rowsBefore) ++changed;
    }
    EXPECT_GT(changed, 0);
}

TEST(MissionsTab, MissionListsAreSavedAndLoadedThroughTheFileChoosers) {
    MissionsPage page;
    page.doubleClickRow(QStringLiteral("Crossfire"));
    const QStringList saved = page.rotation();
    const QString file = page.env.path() + QStringLiteral("/rotation.vxl");

    // A cancelled chooser writes nothing.
    page.control("Button_SaveMissions")->click();
    EXPECT_EQ(page.answers.choosers, QStringList{"Vexmoor Mission List|*.vxl"});
    EXPECT_FALSE(QFile::exists(file));

    page.answers.fileAnswers.push_back({true, file});
    page.control("Button_SaveMissions")->click();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QStringList expectedLines;
    for (const TMission *m : page.missions().MissionCatalogue)
        expectedLines << m->Name + QLatin1Char(',') + m->MissionType + QLatin1Char(',') +
                             enableText(*m);
    EXPECT_EQ(QString::fromUtf8(f.readAll()),
              expectedLines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    ASSERT_EQ(page.answers.messages.size(), 1);
    EXPECT_EQ(page.answers.messages.at(0).second, file + QStringLiteral(" saved successfully"));

    // The operator changes the rotation, then loads the saved one back.
    page.control("Button_Random")->click();
    page.doubleClickRow(QStringLiteral("Crossfire"));
    page.doubleClickRow(QStringLiteral("Raindance"));
    page.answers.fileAnswers.push_back({true, file});
    page.control("Button_LoadMissions")->click();
    EXPECT_EQ(page.answers.choosers.last(), QStringLiteral("Vexmoor Mission List|*.vxl"));
    EXPECT_EQ(page.rotation(), saved);
    EXPECT_EQ(page.rows(), saved); // shown in rotation order
    EXPECT_EQ(page.env.settings->read(QStringLiteral("10.0.0.1:28001"),
                                      QStringLiteral("LastMissionList")),
              file);

    // A cancelled open leaves everything as it is.
    page.doubleClickRow(QStringLiteral("Raindance"));
    const QStringList changed = page.rotation();
    page.control("Button_LoadMissions")->click();
    EXPECT_EQ(page.rotation(), changed);
}

TEST(MissionsTab, ExecAndNextStartMissionsOnTheServerInTheOperatorsRotation) {
    sim::SimServer server;
    ASSERT_TRUE(server.listen());
    MissionsPage page(QStringLiteral("127.0.0.1:") + QString::number(server.port()));
    // Broadside, the server's own next mission after Raindance, is switched off.
    page.doubleClickRow(QStringLiteral("Broadside"));
    EXPECT_FALSE(page.control("Button_NextMission")->isEnabled());

    page.control<QToolButton>("Button_Connect")->click();
    // The server reports Raindance running; the page links it to the next enabled mission.
    ASSERT_TRUE(waitFor([&] { return page.panel(2) == QStringLiteral("Raindance"); }));
    EXPECT_EQ(page.panel(3), QStringLiteral("Capture the Flag"));
    const auto received = [&](const char *line) {
        return waitFor([&] { return server.receivedCommands().contains(QString::fromUtf8(line)); });
    };
    const QString link = QStringLiteral("$nextMission[\"Raindance\"] = \"%1\"; //VX");
    // The rotation's next enabled mission after Raindance.
    const QList<TMission *> &catalogue = page.missions().MissionCatalogue;
    const qsizetype current = catalogue.indexOf(page.missions().FindMission("Raindance"));
    QString expectedNext;
    for (qsizetype step = 1; expectedNext.isEmpty(); ++step)
        if (const TMission *m = catalogue.at((current + step) % catalogue.size()); m->Enabled)
            expectedNext = m->Name;
    ASSERT_TRUE(received(link.arg(expectedNext).toUtf8().constData()));
    EXPECT_TRUE(page.marked(QStringLiteral("Raindance")));

    ASSERT_TRUE(page.control("Button_NextMission")->isEnabled());
    page.control("Button_NextMission")->click();
    ASSERT_TRUE(received("Server::NextMission(); //VX"));
    ASSERT_TRUE(waitFor([&] { return page.panel(2) == expectedNext; }));
    EXPECT_EQ(page.panel(3), page.missions().FindMission(expectedNext)->MissionType);
    EXPECT_FALSE(page.marked(QStringLiteral("Raindance")));
    EXPECT_TRUE(page.marked(expectedNext));

    // Exec starts the selected mission, enabled or not.
    page.clickRow(QStringLiteral("Broadside"));
    page.control("Button_ExecMission")->click();
    ASSERT_TRUE(received("Server::LoadMission(\"Broadside\"); //VX"));
    ASSERT_TRUE(waitFor([&] { return page.panel(2) == QStringLiteral("Broadside"); }));
    EXPECT_TRUE(page.marked(QStringLiteral("Broadside")));
    EXPECT_FALSE(page.marked(expectedNext));

    // The status bar counts the mission's time down (25 minutes from the start).
    ASSERT_TRUE(waitFor([&] { return !page.panel(4).isEmpty(); }, 2500));
    EXPECT_TRUE(page.panel(4).startsWith(QStringLiteral("00:2"))) << page.panel(4).toStdString();
    EXPECT_EQ(page.panel(4).size(), 8);
}

// With VEXMOOR_SHOTS naming a directory, writes the page with demo data to missions.png there
// (for the README); otherwise skipped.
TEST(MissionsTab, Screenshot) {
    const QString shots = qEnvironmentVariable("VEXMOOR_SHOTS");
    if (shots.isEmpty()) GTEST_SKIP() << "VEXMOOR_SHOTS not set";
    sim::SimServer server;
    ASSERT_TRUE(server.listen());
    MissionsPage page(QStringLiteral("127.0.0.1:") + QString::number(server.port()));
    const std::pair<const char *, const char *> more[] = {
        {"Highlands", "Capture the Flag"}, {"Lakeside", "Defend and Destroy"},
        {"Quarry", "Deathmatch"},          {"Saddle", "Capture and Hold"},
        {"Ravine", "Capture the Flag"},    {"Pinnacle", "Defend and Destroy"},
    };
    for (const auto &[name, type] : more) {
        QFile file(page.missions().MissionsPath + QLatin1Char('/') + QLatin1String(name) +
                   QStringLiteral(".dsc"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("$MDESC::Type = \"") + type + "\";\n");
    }
    page.missions().ScanMissions();
    page.doubleClickRow(QStringLiteral("Quarry"));
    page.doubleClickRow(QStringLiteral("Snowblind"));
    page.clickHeader(1);
    page.control<QToolButton>("Button_Connect")->click();
    ASSERT_TRUE(waitFor([&] { return page.panel(2) == QStringLiteral("Raindance"); }));
    page.clickRow(QStringLiteral("Highlands"));
    ASSERT_TRUE(waitFor([&] { return !page.panel(4).isEmpty(); }, 2500));
    EXPECT_TRUE(page.window->grab().save(shots + QStringLiteral("/missions.png")));
}
} // namespace
