// The table files of a profile: creation, opening, commits, closing, paths, errors.
#include "dbf/tablejournal.h"
#include "statstest.h"

#include "app/core/profilelist.h"
#include "session/server.h"

#include <QDir>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace stats_testing;
using testing_support::ProfileFixture;

namespace {

using Tables = StatsTest;

std::vector<std::string> fieldDefsOnDisk(const QString &path) {
    std::vector<std::string> defs;
    auto table = dbf::OpenDbf(QFile::encodeName(path).toStdString(), false);
    if (!table) return defs;
    for (const dbf::FieldDesc &f : table->fields)
        defs.push_back(f.name + "," + f.type + "," + std::to_string(f.width) + "," +
                       std::to_string(f.decimals));
    dbf::CloseDbf(std::move(table));
    return defs;
}

std::vector<std::string> upper(const char *const *defs, int count) {
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) {
        std::string d(defs[i]);
        const auto comma = d.find(',');
        for (std::size_t k = 0; k < comma; ++k)
            d[k] = static_cast<char>(std::toupper(static_cast<unsigned char>(d[k])));
        out.push_back(d);
    }
    return out;
}

TEST_F(Tables, AreBuiltClosedWithTheirDefinitionsAndPaths) {
    Statistics &s = stats();
    EXPECT_FALSE(s.StatsEnabled);
    EXPECT_FALSE(s.PlayersTable->Active());
    EXPECT_EQ(s.PlayersTable->DbfFields.size(), 17u);
    EXPECT_EQ(s.PlayersTable->DbfFields[3], "Connect,N,20,13");
    EXPECT_EQ(s.KillsTable->DbfFields.size(), 20u);
    EXPECT_EQ(s.MissionsTable->DbfFields[1], "Mission,C,40,0");
    EXPECT_EQ(s.PlayersTable->DbfFileName(), QFile::encodeName(file("Players.dbf")).toStdString());
    EXPECT_EQ(s.KillsTable->DbfFileName(), QFile::encodeName(file("Kills.dbf")).toStdString());
    EXPECT_TRUE(s.MissionsTable->PopulateFromDisk);
    EXPECT_TRUE(s.MissionsTable->SaveToDisk);
    EXPECT_EQ(s.table(1), s.KillsTable.get());
    EXPECT_EQ(s.table(3), nullptr);
    EXPECT_FALSE(QFile::exists(file("Players.dbf")));
}

TEST_F(Tables, FirstCommitCreatesTheChangedFilesAndClosingTheRest) {
    auto view = std::make_unique<StatsRecordingView>();
    p().AttachView(view.get());
    stats().ToggleStats();
    EXPECT_TRUE(stats().StatsEnabled);
    EXPECT_EQ(setting("Stats"), "1");
    ASSERT_FALSE(view->states.empty());
    EXPECT_TRUE(view->states.back().enabled);
    EXPECT_GE(view->tableChanges, 1);
    EXPECT_TRUE(stats().PlayersTable->Active());

    connect(2049, "Kim");
    stats().CommitTables();
    EXPECT_TRUE(QFile::exists(file("Players.dbf")));
    EXPECT_FALSE(QFile::exists(file("Kills.dbf")));
    EXPECT_EQ(fieldDefsOnDisk(file("Players.dbf")), upper(Statistics::PlayersFields, 17));

    report({"M", "Raindance", "1500"});
    report({"G", "2049", "1"});
    EXPECT_FALSE(stats().ToggleStats()); // off: closes, writing what changed
    EXPECT_FALSE(view->states.back().enabled);
    EXPECT_EQ(setting("Stats"), "0");
    EXPECT_FALSE(QFile::exists(file("Kills.dbf"))); // never changed
    EXPECT_EQ(fieldDefsOnDisk(file("Missions.dbf")), upper(Statistics::MissionsFields, 13));
    const std::vector<Row> m = rowsOnDisk(file("Missions.dbf"));
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].integer("FLAGGRAB"), 1);
    // Closing registers the connected players with the time of closing.
    const std::vector<Row> pl = rowsOnDisk(file("Players.dbf"));
    ASSERT_EQ(pl.size(), 1u);
    EXPECT_EQ(pl[0].integer("GAMEID"), 2049);
    EXPECT_EQ(pl[0].integer("SCORE"), 1);
    p().DetachView();
}

TEST_F(Tables, ReadBackTheSameRowsWhenOpenedAgain) {
    stats().SetStatsEnabled(true);
    connect(2049, QString::fromLatin1("J\xf6rg"));
    connect(2050, "Rex");
    kill(2049, 2050, "4");
    report({"M", "Raindance", "1500"});
    report({"G", "2049", "1"});
    clock += 90 * Minute;
    disconnect(2050);
    const std::vector<Row> p1 = players(), k1 = kills(), m1 = missions();
    stats().SetStatsEnabled(false);
    stats().SetStatsEnabled(true);
    const std::vector<Row> p2 = players();
    ASSERT_EQ(p2.size(), p1.size());
    for (std::size_t i = 0; i < p1.size(); ++i)
        for (const auto &[field, value] : p1[i].text) {
            if (field != "CONNECT" && field != "TOTALTIME" && field != "GAMEID") {
                EXPECT_EQ(p2[i].str(field), value) << field;
            }
        }
    EXPECT_EQ(p2[0].str("NAME"), "J\xf6rg");
    EXPECT_NEAR(p2[1].num("TOTALTIME"), 0.0625, 1e-9);
    EXPECT_EQ(kills().size(), k1.size());
    EXPECT_EQ(kills()[0].text, k1[0].text);
    EXPECT_EQ(missions()[0].text, m1[0].text);
    // Lookups work on the loaded rows: the same player and pair rows are found.
    connect(2051, "Rex");
    kill(2049, 2051, "4");
    EXPECT_EQ(players().size(), 2u);
    EXPECT_EQ(kills().size(), 1u);
    EXPECT_EQ(kills()[0].integer("DISC"), 2);
    report({"G", "2049", "1"});
    EXPECT_EQ(missions().size(), 1u);
    EXPECT_EQ(missions()[0].integer("FLAGGRAB"), 2);
}

TEST_F(Tables, RecordingOffTouchesNothing) {
    connect(2049, "Kim");
    connect(2050, "Rex");
    kill(2049, 2050, "4");
    report({"M", "Raindance", "1500"});
    report({"G", "2049", "1"});
    report({"S", "1", "2"});
    stats().Normalize();
    stats().CommitTables();
    disconnect(2049);
    stats().CloseTables();
    EXPECT_EQ(setting("dbID"), "<none>");
    EXPECT_FALSE(stats().PlayersChanged);
    EXPECT_FALSE(QFile::exists(file("Players.dbf")));
    EXPECT_FALSE(QFile::exists(file("Kills.dbf")));
    EXPECT_FALSE(QFile::exists(file("Missions.dbf")));
    EXPECT_EQ(p().roster().slot(2050)->DbId, 0);
}

TEST_F(Tables, ClearWhileRecordingIsOffEmptiesTheFiles) {
    stats().SetStatsEnabled(true);
    connect(2049, "Kim");
    connect(2050, "Rex");
    kill(2049, 2050, "4");
    report({"M", "Raindance", "1500"});
    report({"G", "2049", "1"});
    stats().SetStatsEnabled(false);
    ASSERT_EQ(rowsOnDisk(file("Players.dbf")).size(), 2u);
    fx->dialogs.confirmAnswers = {true};
    ASSERT_TRUE(stats().ConfirmAndClear());
    for (const char *name : {"Players.dbf", "Kills.dbf", "Missions.dbf"}) {
        bool exists = false;
        EXPECT_TRUE(rowsOnDisk(file(name), &exists).empty()) << name;
        EXPECT_TRUE(exists) << name;
    }
    EXPECT_EQ(setting("dbID"), "0");
    EXPECT_FALSE(stats().PlayersTable->Active());
    EXPECT_FALSE(stats().KillsTable->Active());
    EXPECT_TRUE(fx->dialogs.messages.isEmpty());
    // Switching on registers the connected players from id 1.
    stats().SetStatsEnabled(true);
    ASSERT_EQ(players().size(), 2u);
    EXPECT_EQ(players()[0].integer("DBID"), 1);
}

TEST_F(Tables, ReopeningAfterAStopWithoutClosingDropsStaleConnections) {
    stats().SetStatsEnabled(true);
    connect(2049, "Kim");
    connect(2050, "Rex");
    clock += 10 * Minute;
    stats().CommitTables();
    // The program dies here: the files keep both players connected since 21:00.
    const QByteArray crashed = fileBytes(file("Players.dbf"));
    stats().SetStatsEnabled(false);
    disconnect(2049);
    {
        QFile f(file("Players.dbf"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(crashed);
    }
    clock += 120 * Minute;
    stats().SetStatsEnabled(true);
    const std::vector<Row> r = players();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].num("TOTALTIME"), 0); // dropped, not counted
    EXPECT_EQ(r[0].num("CONNECT"), 0);
    EXPECT_EQ(r[0].integer("GAMEID"), 0);
    // Rex is still on the server: registered from now on.
    EXPECT_EQ(r[1].num("TOTALTIME"), 0);
    EXPECT_NEAR(r[1].num("CONNECT"), clock, 1e-9);
    EXPECT_EQ(r[1].integer("GAMEID"), 2050);
}

TEST_F(Tables, TheConstructorOpensTheTablesWhenRecordingIsOn) {
    ProfileFixture other(QStringLiteral("10.0.0.5"), 28002);
    // A fresh profile reads its switches at creation.
    const QString section = QStringLiteral("10.0.0.7:28003");
    other.env.settings->write(section, "Stats", "1");
    other.env.settings->write(section, "TrackKills", "0");
    other.env.settings->write(section, "TrackMissions", "0");
    TVexmoorServer made("pw", "10.0.0.7", 28003, other.context);
    EXPECT_TRUE(made.stats().StatsEnabled);
    EXPECT_TRUE(made.stats().PlayersTable->Active());
    EXPECT_TRUE(made.stats().MissionsTable->Active());
    EXPECT_FALSE(made.stats().TrackKills);
    EXPECT_FALSE(made.stats().TrackMissions);
    EXPECT_FALSE(other.profile->stats().PlayersTable->Active());
}

TEST_F(Tables, AnAddressChangeMovesTheNextWrites) {
    stats().SetStatsEnabled(true);
    connect(2049, "Kim");
    stats().CommitTables();
    p().ChangeAddress("10.1.1.1", 28100);
    EXPECT_EQ(stats().PlayersTable->DbfFileName(),
              QFile::encodeName(p().directory() + "/Players.dbf").toStdString());
    connect(2050, "Rex");
    stats().CommitTables();
    EXPECT_EQ(rowsOnDisk(p().directory() + "/Players.dbf").size(), 2u);
    // An open table counts as changed: closing writes every table to the new place.
    stats().SetStatsEnabled(false);
    EXPECT_TRUE(QFile::exists(p().directory() + "/Kills.dbf"));
}

TEST_F(Tables, ClosingTheWindowClosesEveryProfilesTables) {
    ProfileList list(fx->context);
    TVexmoorServer *a = list.ServerAdd("pw", "10.0.0.1", 28001);
    TVexmoorServer *b = list.ServerAdd("pw", "10.0.0.2", 28001);
    a->stats().SetStatsEnabled(true);
    a->ClassifyLine("\"C\"2049\"Kim\"IP:1\"Male\"");
    b->ClassifyLine("\"C\"2049\"Rex\"IP:1\"Male\"");
    list.TableTimerTick();
    ASSERT_TRUE(testing_support::waitFor([&] { return !list.isCommitting(); }));
    EXPECT_FALSE(a->stats().PlayersChanged);
    list.closeAll();
    EXPECT_FALSE(a->stats().PlayersTable->Active());
    EXPECT_EQ(rowsOnDisk(a->directory() + "/Players.dbf").size(), 1u);
    EXPECT_FALSE(QFile::exists(b->directory() + "/Players.dbf"));
}

TEST(CommitInterval, IsWrittenOnlyWhenChanged) {
    testing_support::TempEnv env;
    EXPECT_FALSE(CommitIntervalExit(*env.settings, 30, 30));
    EXPECT_EQ(env.settings->read("Vexmoor", "CommitInterval", "<none>"), "<none>");
    EXPECT_TRUE(CommitIntervalExit(*env.settings, 5, 30));
    EXPECT_EQ(env.settings->read("Vexmoor", "CommitInterval"), "5");
    EXPECT_TRUE(CommitIntervalExit(*env.settings, 0, 5));
    EXPECT_EQ(env.settings->read("Vexmoor", "CommitInterval"), "0");
}

// --- failures --------------------------------------------------------------------------

TEST_F(Tables, ADamagedFileSwitchesOnlyItsProfileOff) {
    // Profile A has tables on disk, then its Kills file is damaged.
    stats().SetStatsEnabled(true);
    connect(2049, "Kim");
    connect(2050, "Rex");
    kill(2049, 2050, "4");
    stats().SetStatsEnabled(false);
    {
        QFile f(file("Kills.dbf"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("this is not a table");
    }
    // The second fixture moves the data location of the process: keep A's paths.
    const QString playersFile = file("Players.dbf"), killsFile = file("Kills.dbf");
    const QByteArray playersBefore = fileBytes(playersFile);
    const QByteArray killsBefore = fileBytes(killsFile);

    ProfileFixture other(QStringLiteral("10.0.0.9"), 28009);
    TVexmoorServer &b = *other.profile;
    b.stats().SetStatsEnabled(true);

    auto view = std::make_unique<StatsRecordingView>();
    p().AttachView(view.get());
    stats().SetStatsEnabled(true);
    ASSERT_EQ(fx->dialogs.messages.size(), 1);
    EXPECT_EQ(fx->dialogs.messages[0].first, platform::Dialogs::Icon::Error);
    EXPECT_TRUE(fx->dialogs.messages[0].second.startsWith("Error # "))
        << qPrintable(fx->dialogs.messages[0].second);
    EXPECT_FALSE(stats().StatsEnabled);
    EXPECT_EQ(setting("Stats"), "0");
    EXPECT_FALSE(stats().PlayersTable->Active());
    EXPECT_FALSE(view->states.back().enabled);
    // Recording calls go on without effect; nothing overwrote the files.
    connect(2051, "Nova");
    kill(2049, 2051, "4");
    stats().CommitTables();
    stats().CloseTables();
    EXPECT_EQ(fileBytes(playersFile), playersBefore);
    EXPECT_EQ(fileBytes(killsFile), killsBefore);
    EXPECT_EQ(fx->dialogs.messages.size(), 1);

    // The other profile records on.
    b.ClassifyLine("\"C\"2049\"Zed\"IP:1\"Male\"");
    EXPECT_TRUE(b.stats().StatsEnabled);
    ASSERT_EQ(rowsOf(*b.stats().PlayersTable).size(), 1u);
    b.stats().CommitTables();
    EXPECT_EQ(rowsOnDisk(b.directory() + "/Players.dbf").size(), 1u);
    EXPECT_TRUE(other.dialogs.messages.isEmpty());
    p().DetachView();
}

TEST_F(Tables, AFailedCommitKeepsTheOldFile) {
    stats().SetStatsEnabled(true);
    connect(2049, "Kim");
    stats().CommitTables();
    const QByteArray before = fileBytes(file("Players.dbf"));
    // The write puts its journal beside the table first; a directory in its place fails it.
    ASSERT_TRUE(QDir().mkpath(file("Players.dbf.jnl")));
    connect(2050, "Rex");
    stats().CommitTables();
    ASSERT_EQ(fx->dialogs.messages.size(), 1);
    EXPECT_TRUE(fx->dialogs.messages[0].second.startsWith("Error # "));
    EXPECT_FALSE(stats().StatsEnabled);
    EXPECT_FALSE(stats().PlayersTable->Active());
    EXPECT_EQ(fileBytes(file("Players.dbf")), before);
    // Once the obstacle is gone, recording can be switched on again.
    QDir(file("Players.dbf.jnl")).removeRecursively();
    stats().SetStatsEnabled(true);
    EXPECT_TRUE(stats().StatsEnabled);
    EXPECT_EQ(players().size(), 2u); // both connected players registered again
}

// Killing the program in the middle of a commit never leaves a damaged table file: it holds
// either the rows of the commit before or those of the commit under way.
TEST_F(Tables, AKilledCommitLeavesACompleteFile) {
    stats().SetStatsEnabled(true);
    for (int i = 0; i < 40; ++i)
        connect(2049 + i, QStringLiteral("Player%1").arg(i));
    // Many pair rows, so that a write takes a while.
    for (int i = 0; i < 3000; ++i)
        stats().RecordKill(2049 + i % 40, 2049 + (i / 40) % 40, false,
                           QString::fromLatin1(Statistics::KillCauses[i % 16]));
    stats().CommitTables();
    const int base = static_cast<int>(rowsOnDisk(file("Kills.dbf")).size());
    ASSERT_GT(base, 1000);

    for (int round = 0; round < 6; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Endless commits, each with one more pair row than the last.
            for (int n = 0;; ++n) {
                p().roster().slot(2049)->DbId = 100000 + n;
                stats().RecordKill(-1, 2049, false, "Fall");
                stats().CommitTables();
            }
        }
        ::usleep(static_cast<useconds_t>(20000 + round * 37000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        // A write cut off inside the table is finished from its journal, as every open does.
        ASSERT_EQ(dbf::RecoverTable(QFile::encodeName(file("Kills.dbf")).toStdString()), 0);
        const QByteArray bytes = fileBytes(file("Kills.dbf"));
        ASSERT_GE(bytes.size(), 32);
        const auto u32 = [&](int at) {
            return static_cast<quint32>(static_cast<quint8>(bytes[at])) |
                   static_cast<quint32>(static_cast<quint8>(bytes[at + 1])) << 8 |
                   static_cast<quint32>(static_cast<quint8>(bytes[at + 2])) << 16 |
                   static_cast<quint32>(static_cast<quint8>(bytes[at + 3])) << 24;
        };
        const quint32 count = u32(4);
        const int header = static_cast<quint8>(bytes[8]) | static_cast<quint8>(bytes[9]) << 8;
        const int record = static_cast<quint8>(bytes[10]) | static_cast<quint8>(bytes[11]) << 8;
        EXPECT_EQ(static_cast<qint64>(bytes.size()),
                  static_cast<qint64>(header) + static_cast<qint64>(count) * record + 1)
            << "round " << round;
        EXPECT_EQ(bytes.back(), '\x1a');
        EXPECT_GE(static_cast<int>(count), base);
        EXPECT_EQ(rowsOnDisk(file("Kills.dbf")).size(), count);
    }
    // The children shared this process's recording journal: one killed while emptying it
    // leaves the file shorter than this process's mapping of it, which must not be written
    // past the file's end.
    QFile journal(file("Stats.jnl"));
    if (journal.size() < (qint64{1} << 23)) ASSERT_TRUE(journal.resize(qint64{1} << 23));
    // The engine can open what was left.
    stats().SetStatsEnabled(false);
    EXPECT_TRUE(fx->dialogs.messages.isEmpty());
}

} // namespace

TEST_F(Tables, AFileWhoseHeaderCountsTooFewRowsKeepsThemAllAndIsPutRight) {
    stats().SetStatsEnabled(true);
    connect(2049, "Kim");
    connect(2050, "Rex");
    connect(2051, "Ann");
    kill(2049, 2050, "4");
    kill(2049, 2051, "4");
    kill(2050, 2051, "4");
    stats().SetStatsEnabled(false);
    ASSERT_EQ(rowsOnDisk(file("Kills.dbf")).size(), 3u);
    // An append cut off before its header update: the header still counts one row.
    QFile f(file("Kills.dbf"));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.seek(4));
    ASSERT_EQ(f.write(QByteArray("\x01\x00\x00\x00", 4)), 4);
    f.close();

    stats().SetStatsEnabled(true);
    EXPECT_EQ(kills().size(), 3u);
    stats().CommitTables();
    const std::vector<Row> onDisk = rowsOnDisk(file("Kills.dbf"));
    ASSERT_EQ(onDisk.size(), 3u) << "the header counts every row again";
    EXPECT_EQ(onDisk[2].integer("KILLERID"), 2); // Rex killed Ann: the row past the old count
    EXPECT_EQ(onDisk[2].integer("VICTIMID"), 3);
}

TEST(StatsTableValues, ANumberWithDecimalsReadsAsTheNearestIntInRange) {
    dbf::FieldDesc field;
    field.type = 'N';
    field.width = 20;
    field.decimals = 2;
    field.bufOffset = 1;
    const struct {
        double stored;
        std::int32_t expected;
    } cases[] = {
        {12.75, 12},
        {-12.75, -12},
        {5e12, INT32_MAX},
        {-5e12, INT32_MIN},
        {2147483647.5, INT32_MAX},
        {std::nan(""), 0},
    };
    for (const auto &c : cases) {
        std::uint8_t buffer[9] = {};
        std::memcpy(buffer + 1, &c.stored, sizeof c.stored);
        EXPECT_EQ(StatsTable::IntAt(field, buffer), c.expected) << c.stored;
    }
}
