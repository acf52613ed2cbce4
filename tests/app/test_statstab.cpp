// The Stats page of the real window (offscreen): the recording switch, the grid that follows
// the tables, Clear with its question, and the grid's reads on a large table.
#include "app/gui/mainwindow.h"
#include "app/gui/statstab.h"
#include "app/gui/tzgrid.h"
#include "app/gui/tzprogress.h"
#include "report.h"
#include "simserver.h"
#include "support/guitestsupport.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <functional>
#include <gtest/gtest.h>

using namespace testing_support;

namespace {

// Writes a Players table file of `rows` players named Player1, Player2 ... with ids 1, 2 ...
void writePlayers(const QString &directory, int rows) {
    dbf::TTzVFile table("Seed");
    for (const char *field : Statistics::PlayersFields)
        table.DbfFields.emplace_back(field);
    table.SetDbfFileName((directory + QStringLiteral("/Players.dbf")).toStdString());
    table.SaveToDisk = true;
    table.ShowProgress = false;
    table.Open();
    table.DisableControls();
    for (int i = 1; i <= rows; ++i) {
        table.ClearRecord();
        table.FieldByName("Name").SetAsString("Player" + std::to_string(i));
        table.FieldByName("dbID").SetAsInteger(i);
        table.AppendRec();
    }
    table.EnableControls();
    table.Close();
}

// The window over one stored profile (the simulator's address), on its Stats page.
struct StatsPage {
    explicit StatsPage(int storedPlayers = 0,
                       const std::function<void(platform::SettingsStore &)> &before = {}) {
        EXPECT_TRUE(sim.listen());
        if (before) before(*env.settings);
        const QString section = QStringLiteral("127.0.0.1:") + QString::number(sim.port());
        env.settings->write(section, QStringLiteral("Password"), QStringLiteral("secret"));
        env.settings->write(section, QStringLiteral("dbID"), QString::number(storedPlayers));
        window = std::make_unique<TVexmoor>(*env.settings);
        if (storedPlayers > 0) writePlayers(window->CurrentServer->directory(), storedPlayers);
        window->resize(900, 600);
        window->show();
        child<QTabWidget>(*window, "Pages")->setCurrentIndex(2);
        grid = child<TTzGrid>(*window, "TzGrid1");
        enable = child<QToolButton>(*window, "Button_EnableStats");
    }
    // Paints the grid and returns the first shown row's texts.
    QStringList firstRow() {
        grid->syncNow();
        grid->grab();
        return grid->shownRow(0);
    }
    int shownRows() {
        grid->syncNow();
        grid->grab();
        return grid->shownRowCount();
    }
    TVexmoorServer &server() { return *window->CurrentServer; }

    TempEnv env;
    sim::SimServer sim;
    std::unique_ptr<TVexmoor> window;
    TTzGrid *grid = nullptr;
    QToolButton *enable = nullptr;
};

TEST(StatsTab, RecordingFillsTheGridAndItFollowsEveryStep) {
    StatsPage page(3);
    auto *trackKills = child<QCheckBox>(*page.window, "TrackKills");
    EXPECT_EQ(page.enable->text(), QStringLiteral("Disabled"));
    EXPECT_FALSE(trackKills->isEnabled());
    EXPECT_EQ(child<QComboBox>(*page.window, "TableList")->currentText(),
              QStringLiteral("Players"));
    EXPECT_EQ(page.shownRows(), 0);

    // Switching recording on fills the grid from the table file.
    page.enable->click();
    EXPECT_EQ(page.enable->text(), QStringLiteral("Enabled"));
    EXPECT_TRUE(trackKills->isEnabled());
    EXPECT_EQ(page.grid->columnTitle(0), QStringLiteral("NAME"));
    EXPECT_EQ(page.shownRows(), 3);
    EXPECT_EQ(page.grid->shownRow(2).value(0), QStringLiteral("Player3"));
    // The Track boxes switch the profile's tracking and write its setting.
    const bool tracked = trackKills->isChecked();
    trackKills->click();
    EXPECT_EQ(page.env.settings->read(page.server().section(), QStringLiteral("TrackKills")),
              tracked ? QStringLiteral("0") : QStringLiteral("1"));
    trackKills->click();

    // Players joining on the server and a kill between them show up with no click at all.
    child<QToolButton>(*page.window, "Button_Connect")->click();
    ASSERT_TRUE(
        waitFor([&] { return page.server().isConnected() && page.sim.clientIds().size(); }));
    ASSERT_TRUE(waitFor([&] { return page.sim.isOnline(page.sim.clientIds().value(0)); }));
    page.sim.sendLine(sim::formatReport({"C", "2049", "Alpha", "IP:10.0.0.1:1", "Male"}));
    page.sim.sendLine(sim::formatReport({"C", "2050", "Bravo", "IP:10.0.0.2:1", "Female"}));
    EXPECT_TRUE(waitFor([&] {
        page.grid->grab();
        return page.grid->shownRowCount() == 5 &&
               page.grid->shownRow(4).value(0) == QStringLiteral("Bravo");
    }));
    child<QComboBox>(*page.window, "TableList")->setCurrentIndex(1);
    EXPECT_EQ(page.grid->columnTitle(0), QStringLiteral("KILLERID"));
    EXPECT_EQ(page.shownRows(), 0);
    page.sim.sendLine(sim::formatReport({"K", "2049", "2050", "4", "1"}));
    EXPECT_TRUE(waitFor([&] {
        page.grid->grab();
        const QStringList row = page.grid->shownRow(0);
        return row.value(0) == QStringLiteral("4") && row.value(1) == QStringLiteral("5") &&
               row.value(2) == QStringLiteral("1");
    }));

    // Switching recording off empties the grid.
    page.enable->click();
    EXPECT_EQ(page.enable->text(), QStringLiteral("Disabled"));
    EXPECT_FALSE(trackKills->isEnabled());
    EXPECT_EQ(page.shownRows(), 0);
}

TEST(StatsTab, ClearAsksAndOnlyYesClears) {
    StatsPage page(2);
    page.enable->click();
    ASSERT_EQ(page.shownRows(), 2);
    auto *clear = child<QToolButton>(*page.window, "Button_ClearTable");
    GuiDialogs &dialogs = page.window->dialogs();
    dialogs.queueAnswer(false);
    clear->click();
    ASSERT_FALSE(dialogs.shown().isEmpty());
    EXPECT_TRUE(dialogs.shown().last().text.startsWith(
        QStringLiteral("Are you absolutely sure you want to clear the Vexmoor Database for ")));
    EXPECT_EQ(page.shownRows(), 2);
    dialogs.clearShown();
    dialogs.queueAnswer(true);
    clear->click();
    EXPECT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(page.shownRows(), 0);
    EXPECT_EQ(page.env.settings->read(page.server().section(), QStringLiteral("dbID")),
              QStringLiteral("0"));
}

// While a match runs, recording moves the table from row to row: the grid keeps the row and
// the scroll position the operator chose and still shows the new values at once. It is
// drawn in the colour settings, and its columns are as wide as their fields.
TEST(StatsTab, TheGridStaysWhereTheOperatorPutItAndWearsTheColours) {
    // Yellow on blue, as colour words 0x00BBGGRR.
    StatsPage page(3, [](platform::SettingsStore &settings) {
        settings.write(QStringLiteral("Vexmoor"), QStringLiteral("Background"), "65535");
        settings.write(QStringLiteral("Vexmoor"), QStringLiteral("GeneralText"), "16711680");
    });
    page.enable->click();
    const auto connectPlayer = [&](int i) {
        page.server().ClassifyLine(QStringLiteral("\"C\"%1\"Joiner%2\"IP:10.0.%3.%4:1\"Male\"")
                                       .arg(2049 + i % 120)
                                       .arg(i)
                                       .arg(i / 200)
                                       .arg(i % 200));
    };
    for (int i = 0; i < 60; ++i)
        connectPlayer(i);
    ASSERT_EQ(page.shownRows(), page.grid->visibleRowCount());
    ASSERT_LT(page.grid->fullRowCount(), 40);

    // Colours: the grid's cells in Background, its text in GeneralText.
    EXPECT_EQ(page.grid->palette().color(QPalette::Base), QColor(255, 255, 0));
    EXPECT_EQ(page.grid->palette().color(QPalette::Text), QColor(0, 0, 255));
    const QImage image = page.grid->viewport()->grab().toImage();
    const int lastColumnRight = [&] {
        int x = page.grid->indicatorWidth();
        for (int c = 0; c < page.grid->columnCount(); ++c)
            x += page.grid->columnWidth(c);
        return x;
    }();
    const int y = page.grid->titleRowHeight() + 2 * page.grid->dataRowHeight() + 2;
    EXPECT_EQ(image.pixelColor(page.grid->indicatorWidth() + 1, y), QColor(255, 255, 0));
    if (lastColumnRight < image.width()) {
        EXPECT_EQ(image.pixelColor(lastColumnRight + 4, y), QColor(255, 255, 0));
    }
    // A disabled entry keeps the disabled look (offline: the chat entry is off).
    auto *entry = child<QLineEdit>(*page.window, "Chat_Edit");
    ASSERT_FALSE(entry->isEnabled());
    EXPECT_EQ(entry->palette().color(QPalette::Active, QPalette::Base), QColor(255, 255, 0));
    EXPECT_NE(entry->palette().color(QPalette::Disabled, QPalette::Base), QColor(255, 255, 0));
    EXPECT_NE(entry->palette().color(QPalette::Disabled, QPalette::Text), QColor(0, 0, 255));
    // NAME (30) and IP (30) are not clipped to a narrower start.
    const int zero = page.grid->fontMetrics().horizontalAdvance('0');
    EXPECT_GE(page.grid->columnWidth(0), 30 * zero);

    // The operator picks the fifth row near the top; recording goes on below and above.
    page.grid->setFocus();
    QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::ControlModifier);
    QApplication::sendEvent(page.grid, &home);
    for (int i = 0; i < 4; ++i) {
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QApplication::sendEvent(page.grid, &down);
    }
    ASSERT_EQ(page.grid->currentRow(), 5);
    ASSERT_EQ(page.grid->topRow(), 1);
    const QStringList fifth = page.grid->shownRow(4);
    for (int i = 60; i < 70; ++i)
        connectPlayer(i); // appended far below, then the row of an earlier one
    page.server().ClassifyLine(QStringLiteral("\"K\"2050\"2051\"1\"1\""));
    EXPECT_EQ(page.shownRows(), page.grid->visibleRowCount());
    EXPECT_EQ(page.grid->topRow(), 1);
    EXPECT_EQ(page.grid->currentRow(), 5);
    EXPECT_EQ(page.grid->verticalScrollBar()->maximum(), 73 - page.grid->fullRowCount());
    EXPECT_NE(page.grid->shownRow(4), fifth) << "the kill shows at once";
    // The next key moves on from the operator's row, not from the recorded one.
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(page.grid, &down);
    EXPECT_EQ(page.grid->currentRow(), 6);
    EXPECT_EQ(page.grid->dataSet()->RecNo(), 6);
    EXPECT_EQ(page.grid->topRow(), 1);
}

TEST(StatsTab, CommitIntervalShowsWhatIsInForceAndWritesOnlyAChange) {
    TempEnv env;
    env.settings->write(QStringLiteral("Vexmoor"), QStringLiteral("CommitInterval"),
                        QStringLiteral("05"));
    env.settings->write(QStringLiteral("h:1"), QStringLiteral("Password"), QStringLiteral("a"));
    TVexmoor window(*env.settings);
    auto *tab = window.findChild<StatsTab *>();
    auto *interval = child<QSpinBox>(window, "CommitInterval");
    EXPECT_EQ(interval->value(), 5);
    struct Case {
        int value;
        QString stored;
        QString shown;
    };
    // Leaving unchanged writes nothing (the stored "05" stays); 0 stops the interval commits
    // and shows as 0, and nothing goes below it; the box goes no higher than the timer can
    // hold.
    for (const Case &c : {Case{5, QStringLiteral("05"), QStringLiteral("5")},
                          Case{0, QStringLiteral("0"), QStringLiteral("0")},
                          Case{-3, QStringLiteral("0"), QStringLiteral("0")},
                          Case{45, QStringLiteral("45"), QStringLiteral("45")},
                          Case{100000, QStringLiteral("35791"), QStringLiteral("35791")}}) {
        tab->CommitIntervalEnter();
        interval->setValue(c.value);
        tab->CommitIntervalExit();
        EXPECT_EQ(env.settings->read(QStringLiteral("Vexmoor"), QStringLiteral("CommitInterval")),
                  c.stored);
        EXPECT_EQ(interval->text(), c.shown);
    }
    // From 0 one step up is one minute.
    interval->setValue(-3);
    interval->stepUp();
    EXPECT_EQ(interval->value(), 1);
}

TEST(StatsTab, TheGridReadsOnlyTheRowsItShows) {
    constexpr int Rows = 20000;
    StatsPage page(Rows);
    // Reading a table of 100 rows or more shows the engine's progress window, which moves.
    struct Seen {
        QString caption;
        bool visible = false;
        int marksLeft = -1;
    };
    std::vector<Seen> seen;
    seen.reserve(8);
    const auto previous = dbf::SetProgressFactory([&](const std::string &caption) {
        auto window = std::make_unique<TTzProgress100>(QString::fromStdString(caption));
        seen.push_back({window->caption(), window->isVisible(), 100});
        struct Watch : dbf::TTzProgress100 {
            std::unique_ptr<::TTzProgress100> w;
            Seen *s;
            void Advance() override {
                w->Advance();
                s->marksLeft = w->marksLeft();
            }
        };
        auto watch = std::make_unique<Watch>();
        watch->w = std::move(window);
        watch->s = &seen.back();
        return watch;
    });
    page.enable->click();
    dbf::SetProgressFactory(previous);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0].caption, QStringLiteral("Reading from disk..."));
    EXPECT_TRUE(seen[0].visible);
    EXPECT_EQ(seen[0].marksLeft, 0);
    EXPECT_FALSE(TTzProgress100::running());

    // The grid shows the dataset's current record (the last one read); from the top it shows
    // a full screen.
    EXPECT_EQ(page.grid->topRow() + page.grid->fullRowCount() - 1, page.grid->dataSet()->RecNo());
    page.grid->verticalScrollBar()->setValue(0);
    const long long before = page.grid->dataLink().rowsRead();
    EXPECT_EQ(page.shownRows(), page.grid->visibleRowCount());
    const long long firstPaint = page.grid->dataLink().rowsRead() - before;
    EXPECT_GT(firstPaint, 0);
    EXPECT_LE(firstPaint, page.grid->visibleRowCount());
    EXPECT_EQ(page.grid->verticalScrollBar()->maximum(), Rows - page.grid->fullRowCount());

    // Far down the table a screenful still costs one screenful of reads.
    page.grid->verticalScrollBar()->setValue(Rows / 2);
    const long long mid = page.grid->dataLink().rowsRead();
    EXPECT_EQ(page.firstRow().value(0), QStringLiteral("Player%1").arg(Rows / 2 + 1));
    EXPECT_LE(page.grid->dataLink().rowsRead() - mid, page.grid->visibleRowCount());

    // Keys move the dataset; the read-only grid adds nothing.
    page.grid->setFocus();
    const auto key = [&](int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QKeyEvent press(QEvent::KeyPress, k, m);
        QApplication::sendEvent(page.grid, &press);
        return page.grid->dataSet()->RecNo();
    };
    struct KeyCase {
        int key;
        Qt::KeyboardModifiers modifiers;
        std::int32_t recNo;
    };
    const std::int32_t top = page.grid->topRow();
    const std::int32_t lastShown = top + page.grid->fullRowCount() - 1;
    for (const KeyCase &c : {KeyCase{Qt::Key_Up, Qt::ControlModifier, top},
                             KeyCase{Qt::Key_Down, Qt::NoModifier, top + 1},
                             KeyCase{Qt::Key_Right, Qt::NoModifier, top + 2},
                             KeyCase{Qt::Key_Left, Qt::NoModifier, top + 1},
                             KeyCase{Qt::Key_PageDown, Qt::ControlModifier, lastShown},
                             KeyCase{Qt::Key_End, Qt::ControlModifier, Rows},
                             KeyCase{Qt::Key_Insert, Qt::NoModifier, Rows},
                             KeyCase{Qt::Key_Delete, Qt::ControlModifier, Rows},
                             KeyCase{Qt::Key_Home, Qt::NoModifier, 1}})
        EXPECT_EQ(key(c.key, c.modifiers), c.recNo) << c.key;
    EXPECT_EQ(page.grid->dataSet()->RecordCount(), Rows);
    EXPECT_FALSE(page.grid->dataSet()->RecordDeleted());
    EXPECT_EQ(page.grid->topRow(), 1);
}

// What the grid draws for a row: a deleted record on red, a logical field as a box (crossed
// when true) or as its text, and the colours a row-colour handler gives.
TEST(TzGrid, DrawsDeletedRowsLogicalFieldsAndRowColours) {
    TempEnv env;
    dbf::TTzVFile table("Flags");
    table.DbfFields = {"Name,C,12,0", "Active,L,1,0"};
    table.SetDbfFileName((env.dir.path() + QStringLiteral("/Flags.dbf")).toStdString());
    table.SaveToDisk = false;
    table.Open();
    for (const bool active : {true, false, true}) {
        table.ClearRecord();
        table.FieldByName("Name").SetAsString(active ? "yes" : "no");
        table.FieldByName("Active").SetAsBoolean(active);
        table.AppendRec();
    }
    table.SetRecNo(3);
    table.Delete();
    table.SetRecNo(1);

    TTzGrid grid;
    grid.setOptions(dgTitles | dgIndicator | dgColLines | dgRowLines | dgRowSelect);
    grid.resize(300, 200);
    grid.setDataSet(&table);
    const QColor blue(0, 0, 200);
    grid.OnChangeColorsEvent = [&](TTzGrid &, std::int32_t recNo, TTzRowColors &colors) {
        if (recNo == 2) colors.background = blue;
    };
    grid.syncNow();
    const auto cellCentre = [&](int column, std::int32_t recNo) {
        int x = grid.indicatorWidth();
        for (int i = 0; i < column; ++i)
            x += grid.columnWidth(i);
        return QPoint(x + grid.columnWidth(column) / 2, grid.titleRowHeight() +
                                                            (recNo - 1) * grid.dataRowHeight() +
                                                            grid.dataRowHeight() / 2);
    };
    const auto pixel = [&](const QImage &image, QPoint at, int dx = 0) {
        return image.pixelColor(at + QPoint(dx, 0));
    };
    QImage image = grid.viewport()->grab().toImage();
    ASSERT_EQ(grid.shownRowCount(), 3);
    EXPECT_EQ(grid.columnTitle(1), QStringLiteral("ACTIVE"));
    const QColor text = grid.palette().color(QPalette::Text);
    const QPoint trueBox = cellCentre(1, 1), falseBox = cellCentre(1, 2);
    // The cross of a true box runs through its centre; a false box is empty inside.
    EXPECT_EQ(pixel(image, trueBox), text);
    EXPECT_EQ(pixel(image, falseBox), blue);
    EXPECT_EQ(pixel(image, cellCentre(0, 2), -grid.columnWidth(0) / 2 + 2), blue);
    EXPECT_EQ(pixel(image, cellCentre(0, 3), -grid.columnWidth(0) / 2 + 2), QColor(Qt::red));

    // Drawn as text, the centre of the true cell is no longer the cross.
    grid.setBooleanBox(TTzBooleanBox::bbText);
    image = grid.viewport()->grab().toImage();
    EXPECT_NE(pixel(image, trueBox), text);
    EXPECT_EQ(grid.shownRow(0).value(1).toLower(), QStringLiteral("true"));
}

// Not part of the suite: writes the page with demo data to $VEXMOOR_SHOTS/stats.png
// (run with --gtest_also_run_disabled_tests --gtest_filter=*Screenshot*).
TEST(StatsTab, DISABLED_Screenshot) {
    const QString dir = qEnvironmentVariable("VEXMOOR_SHOTS");
    if (dir.isEmpty()) GTEST_SKIP() << "VEXMOOR_SHOTS names the folder for the picture";
    StatsPage page;
    page.window->resize(900, 460);
    page.enable->click();
    static const char *const names[] = {"Raven", "Kestrel", "Mjolnir", "Zephyr",
                                        "Blitz", "Nomad",   "Vortex",  "Sable"};
    for (int i = 0; i < 8; ++i)
        page.server().ClassifyLine(QStringLiteral("\"C\"%1\"%2\"IP:10.0.0.%3:28001\"Male\"")
                                       .arg(2049 + i)
                                       .arg(QString::fromLatin1(names[i]))
                                       .arg(i + 10));
    for (int i = 0; i < 90; ++i) {
        const int killer = (i * 5) % 8;
        page.server().ClassifyLine(QStringLiteral("\"K\"%1\"%2\"%3\"1\"")
                                       .arg(2049 + killer)
                                       .arg(2049 + (killer + 1 + (i / 3) % 7) % 8)
                                       .arg(1 + (i * 5 + i / 4) % 9));
    }
    child<QComboBox>(*page.window, "TableList")->setCurrentIndex(1);
    page.grid->dataSet()->First();
    page.grid->syncNow();
    QCoreApplication::processEvents();
    ASSERT_TRUE(page.window->grab().save(dir + QStringLiteral("/stats.png")));
}

} // namespace
