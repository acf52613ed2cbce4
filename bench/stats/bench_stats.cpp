// Statistics at full size: recording one kill report, committing the tables and opening them,
// each against a plain baseline.
//
//   bench_stats --benchmark_counters_tabular=true
//
// The tables: 100,000 players, 1,000,000 kill pairs (every player killed ten others), and
// 1,000,000 mission rows (every player in ten missions).
#include "processio.h"
#include "session/server.h"
#include "stats/statistics.h"
#include "support/testsupport.h"
#include "tablefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Players = 100000;
constexpr int PairsPerPlayer = 10;
constexpr int MissionsPerPlayer = 10;

using bench_support::Field;
using bench_support::parse;
using bench_support::writeTable;
using bench_support::writtenBytes;

void writeFullTables(const QString &directory) {
    QDir().mkpath(directory);
    const auto players = parse(Statistics::PlayersFields, 17);
    writeTable(directory + "/Players.dbf", players, Players, [&](int r, int i) {
        switch (i) {
        case 7:
        case 9:
            return std::to_string(PairsPerPlayer);
        default:
            return bench_support::playerText(r, i, players[static_cast<std::size_t>(i)]);
        }
    });
    const auto kills = parse(Statistics::KillsFields, 20);
    writeTable(directory + "/Kills.dbf", kills, Players * PairsPerPlayer, [&](int r, int i) {
        const auto pair = bench_support::killPair(r, Players, PairsPerPlayer);
        switch (i) {
        case 0:
            return std::to_string(pair.killer);
        case 1:
            return std::to_string(pair.victim);
        case 2:
        case 8: // Disc
            return std::string("1");
        default:
            return std::string("0");
        }
    });
    const auto missions = parse(Statistics::MissionsFields, 13);
    writeTable(directory + "/Missions.dbf", missions, Players * MissionsPerPlayer,
               [&](int r, int i) {
                   switch (i) {
                   case 0:
                       return std::to_string(r / MissionsPerPlayer + 1);
                   case 1:
                       return "Mission" + std::to_string(r % MissionsPerPlayer);
                   case 2:
                       return std::string("1");
                   default:
                       return std::string("0");
                   }
               });
}

// A profile whose directory holds the full tables (or none), recording off.
struct Profile {
    explicit Profile(bool full) {
        if (full) writeFullTables(fx.profile->directory());
        fx.env.settings->write(fx.profile->section(), "dbID", QString::number(Players));
    }
    TVexmoorServer &p() { return *fx.profile; }
    testing_support::ProfileFixture fx;
};

const char *const TableFiles[3] = {"/Players.dbf", "/Kills.dbf", "/Missions.dbf"};

// Resident memory of the process in bytes.
std::int64_t residentBytes() {
    std::ifstream in("/proc/self/statm");
    std::int64_t size = 0, resident = 0;
    in >> size >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

// --- one kill report -------------------------------------------------------------------

void KillReport(benchmark::State &state, bool full) {
    Profile profile(full);
    TVexmoorServer &p = profile.p();
    p.stats().SetStatsEnabled(true);
    constexpr int Connected = 16;
    for (const QString &line : bench_support::connectLines(Connected))
        p.ClassifyLine(line);
    // Each killer meets the next player, a pair the full Kills table already holds.
    const std::vector<QString> lines = bench_support::killLines(Connected);
    std::size_t n = 0;
    for (auto _ : state)
        p.ClassifyLine(lines[n++ % lines.size()]);
    state.counters["players"] = p.stats().PlayersTable->RecordCount();
    state.counters["kill_rows"] = p.stats().KillsTable->RecordCount();
    state.counters["mission_rows"] = p.stats().MissionsTable->RecordCount();
    // Nothing of this run goes back into the files.
    p.stats().PlayersTable->SaveToDisk = false;
    p.stats().KillsTable->SaveToDisk = false;
    p.stats().SetStatsEnabled(false);
}
void BM_KillReport_EmptyTables(benchmark::State &state) {
    KillReport(state, false);
}
void BM_KillReport_FullTables(benchmark::State &state) {
    KillReport(state, true);
}
BENCHMARK(BM_KillReport_EmptyTables);
BENCHMARK(BM_KillReport_FullTables);

// --- commits ---------------------------------------------------------------------------

std::int64_t fileSizes(const QString &directory) {
    std::int64_t total = 0;
    for (const char *name : TableFiles)
        total += QFile(directory + name).size();
    return total;
}

void BM_CommitTables_Full(benchmark::State &state) {
    Profile profile(true);
    TVexmoorServer &p = profile.p();
    p.stats().SetStatsEnabled(true);
    for (auto _ : state) {
        p.stats().PlayersChanged = p.stats().KillsChanged = p.stats().MissionsChanged = true;
        p.stats().CommitTables();
    }
    state.SetBytesProcessed(state.iterations() * fileSizes(p.directory()));
    p.stats().SetStatsEnabled(false);
}
BENCHMARK(BM_CommitTables_Full)->Unit(benchmark::kMillisecond)->Iterations(4);

// The commit after 100 kill reports: bytes written (to the tables and beside them) and time.
void BM_Commit_After100Kills(benchmark::State &state) {
    Profile profile(true);
    TVexmoorServer &p = profile.p();
    p.stats().SetStatsEnabled(true);
    constexpr int Connected = 16;
    for (const QString &line : bench_support::connectLines(Connected))
        p.ClassifyLine(line);
    p.stats().CommitTables(); // what opening and connecting changed
    const std::vector<QString> lines = bench_support::killLines(Connected);
    std::size_t n = 0;
    std::int64_t written = 0, recorded = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::int64_t start = writtenBytes();
        for (int k = 0; k < 100; ++k)
            p.ClassifyLine(lines[n++ % lines.size()]);
        recorded += writtenBytes() - start;
        state.ResumeTiming();
        const std::int64_t before = writtenBytes();
        p.stats().CommitTables();
        written += writtenBytes() - before;
    }
    const double tableBytes = static_cast<double>(fileSizes(p.directory()));
    state.counters["written_per_commit"] = static_cast<double>(written) / state.iterations();
    state.counters["written_fraction"] =
        static_cast<double>(written) / state.iterations() / tableBytes;
    state.counters["recorded_bytes_per_100"] = static_cast<double>(recorded) / state.iterations();
    p.stats().SetStatsEnabled(false);
}
BENCHMARK(BM_Commit_After100Kills)->Unit(benchmark::kMillisecond)->Iterations(10);

// The same bytes written with stdio; with sync = 1 each file is also flushed to the disk
// (as the commit does, so that a crash never leaves half a file).
void BM_PlainWrite(benchmark::State &state) {
    Profile profile(true);
    const QString dir = profile.p().directory();
    std::vector<QByteArray> contents;
    for (const char *name : TableFiles) {
        QFile f(dir + name);
        f.open(QIODevice::ReadOnly);
        contents.push_back(f.readAll());
    }
    const bool sync = state.range(0) != 0;
    std::int64_t bytes = 0;
    for (auto _ : state) {
        for (std::size_t i = 0; i < contents.size(); ++i) {
            const QByteArray path = QFile::encodeName(dir + TableFiles[i] + ".plain");
            FILE *f = std::fopen(path.constData(), "wb");
            // Record by record, as a table writer produces them.
            const char *data = contents[i].constData();
            const std::size_t size = static_cast<std::size_t>(contents[i].size());
            for (std::size_t at = 0; at < size; at += 160)
                std::fwrite(data + at, 1, std::min<std::size_t>(160, size - at), f);
            std::fflush(f);
            if (sync) ::fsync(fileno(f));
            std::fclose(f);
            bytes += static_cast<std::int64_t>(size);
        }
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_PlainWrite)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(4);

// --- start-up --------------------------------------------------------------------------

void BM_OpenTables_Full(benchmark::State &state) {
    Profile profile(true);
    TVexmoorServer &p = profile.p();
    double tables = 0, resident = 0;
    for (auto _ : state) {
        const std::int64_t before = residentBytes();
        p.stats().SetStatsEnabled(true);
        state.PauseTiming();
        if (!p.stats().PlayersTable->Active()) state.SkipWithError("the tables did not open");
        resident = std::max(resident, static_cast<double>(residentBytes() - before));
        tables = 0;
        for (int i = 0; i < 3; ++i)
            tables += static_cast<double>(p.stats().table(i)->MemoryBytes());
        p.stats().SetStatsEnabled(false); // nothing changed: nothing is written
        state.ResumeTiming();
    }
    const double bytes = static_cast<double>(fileSizes(p.directory()));
    state.SetBytesProcessed(state.iterations() * fileSizes(p.directory()));
    // Memory of the records against the file bytes; the growth of the process (records and
    // indexes) at the last open.
    state.counters["table_memory_ratio"] = tables / bytes;
    state.counters["resident_growth_ratio"] = resident / bytes;
}
BENCHMARK(BM_OpenTables_Full)->Unit(benchmark::kMillisecond)->Iterations(4);

// The engine's share of the start-up: the same three files opened as bare in-memory tables
// (ReadFromDisk), without the recording's indexes.
void BM_OpenEngineOnly_Full(benchmark::State &state) {
    Profile profile(true);
    const QString dir = profile.p().directory();
    const char *const *defs[3] = {Statistics::PlayersFields, Statistics::KillsFields,
                                  Statistics::MissionsFields};
    const int counts[3] = {17, 20, 13};
    std::vector<std::unique_ptr<dbf::TTzVFile>> tables;
    for (int i = 0; i < 3; ++i) {
        auto t = std::make_unique<dbf::TTzVFile>("bench");
        for (int k = 0; k < counts[i]; ++k)
            t->DbfFields.emplace_back(defs[i][k]);
        t->SetDbfFileName(QFile::encodeName(dir + TableFiles[i]).toStdString());
        t->PopulateFromDisk = true;
        tables.push_back(std::move(t));
    }
    for (auto _ : state) {
        for (auto &t : tables)
            t->SetActive(true);
        state.PauseTiming();
        for (auto &t : tables)
            t->SetActive(false);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * fileSizes(dir));
}
BENCHMARK(BM_OpenEngineOnly_Full)->Unit(benchmark::kMillisecond)->Iterations(4);

// The table files read with stdio, `piece` bytes at a time.
void readTableFiles(benchmark::State &state, std::size_t piece) {
    Profile profile(true);
    const QString dir = profile.p().directory();
    std::vector<char> buffer(piece);
    std::int64_t bytes = 0;
    for (auto _ : state) {
        unsigned sum = 0;
        for (const char *name : TableFiles) {
            FILE *f = std::fopen(QFile::encodeName(dir + name).constData(), "rb");
            std::size_t got;
            while ((got = std::fread(buffer.data(), 1, buffer.size(), f)) > 0) {
                sum += static_cast<unsigned char>(buffer[got - 1]);
                bytes += static_cast<std::int64_t>(got);
            }
            std::fclose(f);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(bytes);
}

// In blocks of 1 MiB.
void BM_ReadBytes(benchmark::State &state) {
    readTableFiles(state, 1 << 20);
}
BENCHMARK(BM_ReadBytes)->Unit(benchmark::kMillisecond)->Iterations(4);

// Record by record, as a table reader consumes them (the counterpart of BM_PlainWrite).
void BM_ReadRecords(benchmark::State &state) {
    readTableFiles(state, 160);
}
BENCHMARK(BM_ReadRecords)->Unit(benchmark::kMillisecond)->Iterations(4);

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
