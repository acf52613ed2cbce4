// The Stats page's grid over large tables, offscreen:
//
//   bench_grid --benchmark_counters_tabular=true
//
// - one screenful painted over a Kills table of 1,000 rows and of 1,000,000 rows (the grid
//   reads only the rows it shows, so both should cost the same);
// - one recording step (a kill report) with the grid showing the 1,000,000-row Kills table
//   and with no grid at all. The event loop runs after every step, so the grid's repaints
//   (at most one per sync delay) are part of the step's cost.
#include "app/gui/tzgrid.h"
#include "session/server.h"
#include "stats/statistics.h"
#include "support/testsupport.h"
#include "tablefile.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QScrollBar>
#include <benchmark/benchmark.h>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int Players = 1000; // the dbID counter of the profile

// Writes a Kills table file of `rows` killer/victim pairs.
void writeKills(const QString &path, int rows) {
    const auto fields = bench_support::parse(Statistics::KillsFields,
                                             static_cast<int>(std::size(Statistics::KillsFields)));
    bench_support::writeTable(path, fields, rows, [](int r, int field) {
        // Three-digit ids in every table size, so a screenful holds the same amount of text
        // whatever the table's size.
        const int killer = 100 + (r * 7) % 900;
        const int victim = 100 + (r * 13) % 900;
        const int value = field == 0                 ? killer
                          : field == 1               ? victim
                          : field == 2 || field == 8 ? 1
                                                     : 0;
        return std::to_string(value);
    });
}

// A profile recording into a Kills table of `killRows` rows.
struct Profile {
    explicit Profile(int killRows) {
        QDir().mkpath(fx.profile->directory());
        writeKills(fx.profile->directory() + QStringLiteral("/Kills.dbf"), killRows);
        fx.env.settings->write(fx.profile->section(), QStringLiteral("dbID"),
                               QString::number(Players));
        p().stats().SetStatsEnabled(true);
    }
    ~Profile() {
        // Nothing of the run goes back into the files.
        p().stats().PlayersTable->SaveToDisk = false;
        p().stats().KillsTable->SaveToDisk = false;
        p().stats().MissionsTable->SaveToDisk = false;
        p().stats().SetStatsEnabled(false);
    }
    TVexmoorServer &p() { return *fx.profile; }
    testing_support::ProfileFixture fx;
};

// The grid as the Stats page sets it up, shown at a typical page size.
std::unique_ptr<TTzGrid> statsGrid(dbf::TTzDataSet *table) {
    auto grid = std::make_unique<TTzGrid>();
    grid->setOptions(dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines |
                     dgRowSelect);
    grid->setReadOnly(true);
    grid->resize(900, 560);
    grid->show();
    grid->setDataSet(table);
    grid->syncNow();
    return grid;
}

void BM_GridScreenful(benchmark::State &state) {
    Profile profile(static_cast<int>(state.range(0)));
    auto grid = statsGrid(profile.p().stats().KillsTable.get());
    // Half-way down the table, where a grid that walked the records would pay the most.
    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum() / 2);
    QImage image(grid->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        grid->viewport()->render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["rows"] = profile.p().stats().KillsTable->RecordCount();
    state.counters["shown_rows"] = grid->shownRowCount();
}
BENCHMARK(BM_GridScreenful)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void RecordingStep(benchmark::State &state, bool withGrid) {
    Profile profile(1000000);
    TVexmoorServer &p = profile.p();
    std::unique_ptr<TTzGrid> grid;
    if (withGrid) grid = statsGrid(p.stats().KillsTable.get());
    constexpr int Connected = 16;
    for (int i = 0; i < Connected; ++i)
        p.ClassifyLine(
            QStringLiteral("\"C\"%1\"Player%2\"IP:10.0.0.1:1\"Male\"").arg(2049 + i).arg(i + 1));
    const std::vector<QString> lines = bench_support::killLines(Connected);
    QCoreApplication::processEvents();
    std::size_t n = 0;
    for (auto _ : state) {
        p.ClassifyLine(lines[n++ % lines.size()]);
        QCoreApplication::processEvents();
    }
    if (grid) state.counters["rows_read"] = static_cast<double>(grid->dataLink().rowsRead());
    state.counters["kill_rows"] = p.stats().KillsTable->RecordCount();
}
void BM_RecordingStep_NoGrid(benchmark::State &state) {
    RecordingStep(state, false);
}
void BM_RecordingStep_GridOnMillionRows(benchmark::State &state) {
    RecordingStep(state, true);
}
BENCHMARK(BM_RecordingStep_NoGrid)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecordingStep_GridOnMillionRows)->Unit(benchmark::kMicrosecond);

} // namespace
