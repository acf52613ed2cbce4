// DBF engine benchmarks: copying a 1,000,000-row Kills table to and from disk against plain
// buffered file I/O of the same bytes, a write after 100 changed rows against the whole
// rewrite, failing locates against a plain loop, and the memory of an in-memory table against
// the sum of its field buffers.
//
//   bench_dbf --benchmark_counters_tabular=true
#include "dbf/dataset.h"
#include "dbf/dbferror.h"
#include "dbf/vfile.h"
#include "processio.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 1000000;

const std::vector<std::string> kKills = {
    "KillerID,N,10,0", "VictimID,N,10,0", "Kills,N,8,0",   "TeamKills,N,8,0", "Fall,N,8,0",
    "Chaingun,N,8,0",  "Turret,N,8,0",    "Plasma,N,8,0",  "Disc,N,8,0",      "Grenade,N,8,0",
    "Laser,N,8,0",     "Mortar,N,8,0",    "Blaster,N,8,0", "Elf,N,8,0",       "Mine,N,8,0",
    "Explosion,N,8,0", "Crushed,N,8,0",   "Rocket,N,8,0",  "Suicide,N,8,0",   "Other,N,8,0"};

std::string Dir() {
    static std::string dir = [] {
        std::string d = (std::filesystem::temp_directory_path() / "vexmoor-bench-dbf").string();
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

std::string TablePath() {
    return Dir() + "/Kills.dbf";
}

// The 1,000,000-row table, filled once through the dataset's record commands.
dbf::TTzVFile &Table() {
    static std::unique_ptr<dbf::TTzVFile> table = [] {
        dbf::SetExceptionsMode(true);
        auto t = std::make_unique<dbf::TTzVFile>("Kills");
        t->DbfFields = kKills;
        t->SetDbfFileName(TablePath());
        t->ShowProgress = false;
        t->SetActive(true);
        t->DisableControls();
        std::vector<dbf::TField *> fields;
        for (int i = 0; i < t->FieldCount(); ++i)
            fields.push_back(&t->Fields(i));
        for (int r = 0; r < kRows; ++r) {
            t->ClearRecord();
            fields[0]->SetAsInteger(r % 5000);
            fields[1]->SetAsInteger((r * 7) % 5000);
            for (std::size_t f = 2; f < fields.size(); ++f)
                fields[f]->SetAsInteger(static_cast<int>((r + f * 13) % 100000));
            t->AppendRec();
        }
        t->EnableControls();
        return t;
    }();
    return *table;
}

std::size_t FileBytes() {
    Table();
    static std::size_t bytes = [] {
        Table().WriteToDisk();
        return static_cast<std::size_t>(std::filesystem::file_size(TablePath()));
    }();
    return bytes;
}

// The whole table rewritten: every write goes to the other of two files, so that none can be
// a write of the changes alone.
void BM_WriteToDisk(benchmark::State &state) {
    dbf::TTzVFile &t = Table();
    FileBytes();
    const std::string other = Dir() + "/Kills2.dbf";
    std::int64_t written = 0;
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        t.SetDbfFileName(++n % 2 ? other : TablePath());
        state.ResumeTiming();
        const std::int64_t before = bench_support::writtenBytes();
        if (!t.WriteToDisk()) state.SkipWithError("write failed");
        written += bench_support::writtenBytes() - before;
    }
    t.SetDbfFileName(TablePath());
    t.WriteToDisk();
    std::filesystem::remove(other);
    state.counters["written_per_write"] = static_cast<double>(written) / state.iterations();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * FileBytes()));
}

// A commit of 100 changed rows (spread over the table) of the table as its file holds it.
void BM_WriteToDisk_100Changed(benchmark::State &state) {
    dbf::TTzVFile &t = Table();
    FileBytes();
    t.SetDbfFileName(TablePath());
    t.WriteToDisk();
    dbf::TField &kills = t.FieldByName("Kills");
    std::int64_t written = 0;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ++round;
        for (int i = 0; i < 100; ++i) {
            t.SetRecNo((i * 9973 + round) % kRows + 1);
            kills.SetAsInteger(kills.AsInteger() + 1);
            t.ReplaceRec();
        }
        state.ResumeTiming();
        const std::int64_t before = bench_support::writtenBytes();
        if (!t.WriteToDisk()) state.SkipWithError("write failed");
        written += bench_support::writtenBytes() - before;
    }
    const double perWrite = static_cast<double>(written) / state.iterations();
    state.counters["written_per_write"] = perWrite;
    state.counters["written_fraction"] = perWrite / static_cast<double>(FileBytes());
}

// The same number of bytes written with buffered stdio, one record-sized piece at a time.
void PlainWrite(benchmark::State &state, bool sync) {
    const std::size_t total = FileBytes();
    const std::size_t rec = 1 + 2 * 10 + 18 * 8;
    std::vector<char> record(rec, '5');
    const std::string path = Dir() + "/plain.bin";
    for (auto _ : state) {
        std::FILE *f = std::fopen(path.c_str(), "wb");
        for (std::size_t done = 0; done < total; done += rec)
            std::fwrite(record.data(), 1, std::min(rec, total - done), f);
        std::fflush(f);
        if (sync) fsync(fileno(f));
        std::fclose(f);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * total));
}
void BM_PlainWrite(benchmark::State &state) {
    PlainWrite(state, false);
}
void BM_PlainWriteFsync(benchmark::State &state) {
    PlainWrite(state, true);
}

void BM_ReadFromDisk(benchmark::State &state) {
    FileBytes();
    dbf::TTzVFile t("KillsRead");
    t.DbfFields = kKills;
    t.SetDbfFileName(TablePath());
    t.ShowProgress = false;
    t.PopulateFromDisk = true;
    for (auto _ : state) {
        t.SetActive(true);
        state.PauseTiming();
        if (t.RecordCount() != kRows) state.SkipWithError("wrong record count");
        t.SetActive(false);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * FileBytes()));
}

void BM_PlainRead(benchmark::State &state) {
    const std::size_t total = FileBytes();
    const std::size_t rec = 1 + 2 * 10 + 18 * 8;
    std::vector<char> record(rec);
    for (auto _ : state) {
        std::FILE *f = std::fopen(TablePath().c_str(), "rb");
        std::size_t sum = 0, n;
        while ((n = std::fread(record.data(), 1, rec, f)) > 0)
            sum += n + record[0];
        std::fclose(f);
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * total));
}

void BM_LocateRecFails(benchmark::State &state) {
    dbf::TTzVFile &t = Table();
    for (auto _ : state) {
        bool found = t.LocateRec("KillerID", std::int32_t{-1});
        if (found || !t.Eof()) state.SkipWithError("unexpected match");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_ContinueFails(benchmark::State &state) {
    dbf::TTzVFile &t = Table();
    for (auto _ : state) {
        state.PauseTiming();
        t.LocateRec("KillerID", std::int32_t{0}); // the first row matches
        state.ResumeTiming();
        // Continue over the rest: rows with KillerID 0 recur every 5000 records.
        int found = 0;
        while (!t.Eof()) {
            t.Continue();
            ++found;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

// The plain loop: the same field text (right-aligned in 10 characters) held in a vector.
void BM_PlainLoopFails(benchmark::State &state) {
    std::vector<std::string> texts;
    texts.reserve(kRows);
    char buf[16];
    for (int r = 0; r < kRows; ++r) {
        std::snprintf(buf, sizeof buf, "%10d", r % 5000);
        texts.emplace_back(buf);
    }
    const std::string wanted = "        -1";
    for (auto _ : state) {
        int at = -1;
        for (std::size_t i = 0; i < texts.size(); ++i)
            if (texts[i].compare(0, wanted.size(), wanted) == 0) {
                at = static_cast<int>(i);
                break;
            }
        benchmark::DoNotOptimize(at);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_TableMemory(benchmark::State &state) {
    dbf::TTzVFile &t = Table();
    std::size_t bytes = 0;
    for (auto _ : state)
        bytes = t.MemoryBytes();
    const double buffers = static_cast<double>(kRows) * (1 + 20 * 4);
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["field_buffers"] = buffers;
    state.counters["ratio"] = static_cast<double>(bytes) / buffers;
}

} // namespace

BENCHMARK(BM_WriteToDisk)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WriteToDisk_100Changed)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainWriteFsync)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReadFromDisk)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LocateRecFails)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ContinueFails)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainLoopFails)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_TableMemory)->Iterations(1);

BENCHMARK_MAIN();
