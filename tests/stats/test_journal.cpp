// The recording journal: what recording changed since the last commit comes back when the
// tables are opened after the process died, however much of the journal reached the disk.
#include "statstest.h"

#include "session/server.h"

#include <QDir>
#include <array>
#include <filesystem>

namespace stats_testing {
inline bool operator==(const Row &a, const Row &b) {
    return a.text == b.text;
}
} // namespace stats_testing

using namespace stats_testing;
using testing_support::ProfileFixture;

namespace {

using Journal = StatsTest;

struct Tables {
    std::vector<Row> players, kills, missions;
    bool operator==(const Tables &o) const {
        const auto same = [](const std::vector<Row> &a, const std::vector<Row> &b) {
            if (a.size() != b.size()) return false;
            for (std::size_t i = 0; i < a.size(); ++i)
                if (a[i].text != b[i].text) return false;
            return true;
        };
        return same(players, o.players) && same(kills, o.kills) && same(missions, o.missions);
    }
};

Tables tablesOf(Statistics &s) {
    return {rowsOf(*s.PlayersTable), rowsOf(*s.KillsTable), rowsOf(*s.MissionsTable)};
}

const std::array<QString, 4> Files = {"Players.dbf", "Kills.dbf", "Missions.dbf", "Stats.jnl"};

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// A fresh profile whose directory holds the given files when its recording is switched on.
struct Restart {
    explicit Restart(const std::array<QByteArray, 4> &files) {
        QDir().mkpath(fx.profile->directory());
        for (std::size_t i = 0; i < Files.size(); ++i)
            if (!files[i].isEmpty() || i == 3) // tables never written have no file
                writeFile(fx.profile->directory() + "/" + Files[i], files[i]);
        fx.profile->stats().SetStatsEnabled(true);
    }
    Statistics &stats() { return fx.profile->stats(); }
    QByteArray bytes(const QString &name) {
        return fileBytes(fx.profile->directory() + "/" + name);
    }
    ProfileFixture fx;
};

TEST_F(Journal, ACutJournalReplaysToAPrefixOfTheChangesAndReplayingTwiceChangesNothing) {
    stats().SetStatsEnabled(true);
    connect(2049, "Kim");
    stats().CommitTables();
    std::array<QByteArray, 4> base;
    for (std::size_t i = 0; i < Files.size(); ++i)
        base[i] = fileBytes(file(Files[i]));
    const int emptyJournal = static_cast<int>(stats().journalSize());
    ASSERT_GT(emptyJournal, 0);

    // Steps that each change one row; after each, the tables and the journal's length.
    const std::vector<std::function<void()>> steps = {
        [&] { connect(2050, "Rex"); },
        [&] { stats().RecordScore(2049, 5); },
        [&] { stats().RecordMissionEvent(2050, "Raindance", "FlagCap"); },
        [&] { stats().RecordMissionEvent(2050, "Raindance", "FlagCap"); },
        [&] { connect(2051, "Ümit"); },
        [&] { disconnect(2050); },
        [&] { stats().RecordScore(2051, -2); },
    };
    std::vector<Tables> after{tablesOf(stats())};
    std::vector<int> ends{emptyJournal};
    for (const auto &step : steps) {
        step();
        after.push_back(tablesOf(stats()));
        ends.push_back(static_cast<int>(stats().journalSize()));
        ASSERT_GT(ends.back(), ends[ends.size() - 2]) << "every change reaches the journal";
    }
    // The file holds the entries, then zeros (room for more).
    const QByteArray journal = fileBytes(file("Stats.jnl"));
    ASSERT_GE(journal.size(), ends.back());
    EXPECT_EQ(journal.mid(ends.back()).count('\0'), journal.size() - ends.back());

    // Cuts at, just before and inside every entry (every byte offset: the next test).
    std::vector<int> cuts{0, 1};
    for (int end : ends)
        for (int d : {-1, 0, 7})
            if (end + d > 1 && end + d <= journal.size()) cuts.push_back(end + d);
    cuts.push_back(static_cast<int>(journal.size()));
    for (int cut : cuts) {
        SCOPED_TRACE(cut);
        std::array<QByteArray, 4> files = base;
        files[3] = journal.left(cut);
        Restart r(files);
        ASSERT_TRUE(r.stats().StatsEnabled)
            << (r.fx.dialogs.messages.isEmpty() ? "" : qPrintable(r.fx.dialogs.messages[0].second));
        std::size_t whole = 0;
        while (whole + 1 < ends.size() && ends[whole + 1] <= cut)
            ++whole;
        Tables replayed = tablesOf(r.stats());
        // Opening drops the connections left open: compare before that with the steps.
        Tables expected = after[whole];
        for (auto *rows : {&replayed.players, &expected.players})
            for (Row &row : *rows)
                row.text["CONNECT"] = row.text["GAMEID"] = "";
        EXPECT_TRUE(replayed == expected) << "replayed " << whole << " steps";
        if (cut == static_cast<int>(journal.size())) {
            EXPECT_EQ(r.stats().PlayersTable->RecordCount(), 3);
            // A commit that wrote one table before the process died: the journal is
            // replayed onto one table that holds its changes and two that do not.
            r.stats().PlayersTable->WriteToDisk();
            std::array<QByteArray, 4> partly = files;
            partly[0] = r.bytes("Players.dbf");
            Restart again(partly);
            Tables twice = tablesOf(again.stats());
            for (Row &row : twice.players)
                row.text["CONNECT"] = row.text["GAMEID"] = "";
            EXPECT_TRUE(twice == replayed);
            // After a full commit the journal is empty again.
            again.stats().CommitTables();
            EXPECT_EQ(again.stats().journalSize(), emptyJournal);
        }
    }
}

// The journal alone over two tables, cut at every byte offset.
TEST(RecordingJournalCut, EveryCutReplaysTheWholeEntriesBeforeIt) {
    char tmpl[] = "/tmp/vxjournalXXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    const std::string path = dir + "/Stats.jnl";
    dbf::TableEngine engine;
    engine.errors().exceptions = true;
    const auto makeTables = [&] {
        std::vector<std::unique_ptr<StatsTable>> t;
        for (const char *name : {"Kills", "Missions"}) {
            t.push_back(std::make_unique<StatsTable>(name));
            t.back()->SetEngine(engine);
            t.back()->DbfFields = {"KillerID,N,10,0", "Note,C,12,0", "Ratio,N,10,3"};
            t.back()->SetDbfFileName(dir + "/" + name + ".dbf"); // never written
            t.back()->SetActive(true);
        }
        return t;
    };
    const auto layouts = [](auto &t) {
        std::vector<RecordingJournal::Layout> l;
        for (auto &table : t)
            l.push_back(RecordingJournal::layoutOf(
                static_cast<std::uint32_t>(table->FieldBufferBytes()), table->DbfFields));
        return l;
    };
    const auto applyTo = [](auto &t) {
        return [&t](int i, std::int32_t row, const std::uint8_t *bytes, std::size_t size) {
            if (row == 0) return t[static_cast<std::size_t>(i)]->Zap();
            return t[static_cast<std::size_t>(i)]->PutRecord(row, bytes, size);
        };
    };
    const auto contents = [](auto &t) {
        std::vector<std::vector<Row>> rows;
        for (auto &table : t)
            rows.push_back(rowsOf(*table));
        return rows;
    };

    // Entries: appends, replaces, an emptied table, appends after it.
    auto tables = makeTables();
    RecordingJournal journal;
    ASSERT_EQ(journal.open(path, layouts(tables), applyTo(tables)), 0);
    for (std::size_t i = 0; i < tables.size(); ++i)
        tables[i]->SetRecordSink([&, i](std::int32_t n, const std::uint8_t *r, std::size_t s) {
            journal.putRow(static_cast<int>(i), n, r, s);
        });
    std::vector<std::vector<std::vector<Row>>> states{contents(tables)};
    std::vector<std::uint64_t> ends{0};
    const auto step = [&](auto &&change) {
        change();
        states.push_back(contents(tables));
        ends.push_back(journal.entryBytes());
    };
    for (int k = 1; k <= 3; ++k)
        step([&] {
            StatsTable &t = *tables[static_cast<std::size_t>(k % 2)];
            t.ClearRecord();
            t.FieldByName("KillerID").SetAsInteger(k);
            t.FieldByName("Note").SetAsString("row " + std::to_string(k));
            t.AppendRec();
        });
    step([&] {
        tables[1]->GotoRow(1);
        tables[1]->FieldByName("Ratio").SetAsFloat(2.5);
        tables[1]->ReplaceRec();
    });
    step([&] {
        journal.putEmpty(0);
        tables[0]->Zap();
    });
    step([&] {
        tables[0]->ClearRecord();
        tables[0]->FieldByName("Note").SetAsString("after");
        tables[0]->AppendRec();
    });
    journal.close();
    const QByteArray bytes = fileBytes(QString::fromStdString(path));
    const int header = bytes.size() - static_cast<int>(ends.back());

    for (int cut = 0; cut <= bytes.size(); ++cut) {
        SCOPED_TRACE(cut);
        {
            QFile f(QString::fromStdString(path));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes.left(cut));
        }
        auto fresh = makeTables();
        RecordingJournal replay;
        std::size_t whole = 0;
        while (whole + 1 < ends.size() && header + static_cast<int>(ends[whole + 1]) <= cut)
            ++whole;
        EXPECT_EQ(replay.open(path, layouts(fresh), applyTo(fresh)),
                  cut < header ? 0 : static_cast<int>(whole));
        EXPECT_EQ(contents(fresh), states[whole]);
        // The torn tail is cut off: what is appended now follows the whole entries.
        EXPECT_EQ(replay.entryBytes(), cut < header ? 0 : ends[whole]);
    }
    std::filesystem::remove_all(dir);
}

} // namespace
