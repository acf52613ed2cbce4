// In-memory tables and their DBF files: round trips, the crash-safe rewrite, reading files of
// another structure, progress windows.
#include "dbf/dataset.h"
#include "dbf/progress.h"
#include "dbf/vfile.h"

#include "dbftest_util.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace dbf;
using dbftest::ReadBytes;
using dbftest::WriteBytes;

const std::vector<std::string> kKills = {"KillerID,N,10,0", "VictimID,N,10,0", "Kills,N,8,0",
                                         "Disc,N,8,0",      "Note,C,12,0",     "Ratio,N,10,3",
                                         "Flag,L,1,0",      "When,D,8,0"};

class DiskTest : public dbftest::EngineTest {
protected:
    void Configure(TTzVFile &t, const std::string &file) {
        t.DbfFields = kKills;
        t.SetDbfFileName(Path(file));
        t.PopulateFromDisk = true;
        t.SaveToDisk = true;
    }
    void AddRow(TTzVFile &t, int killer, int victim, const std::string &note = {}) {
        t.ClearRecord();
        t.FieldByName("KillerID").SetAsInteger(killer);
        t.FieldByName("VictimID").SetAsInteger(victim);
        t.FieldByName("Kills").SetAsInteger(killer * (victim % 1000));
        t.FieldByName("Note").SetAsString(note);
        t.FieldByName("Ratio").SetAsFloat(killer / 3.0);
        t.FieldByName("Flag").SetAsBoolean(killer % 2 == 1);
        if (killer > 0) t.FieldByName("When").SetAsDateTime(EncodeDate(2020, 1, killer % 28 + 1));
        t.AppendRec();
    }
};

TEST_F(DiskTest, WriteThenReadGivesTheSameRowsAndValues) {
    {
        TTzVFile t("Kills");
        Configure(t, "Kills.dbf");
        t.SetActive(true);
        AddRow(t, 1, 2, "first");
        AddRow(t, 0, 7, "");
        AddRow(t, -5, 2147483647, "Ümlaut äö");
        AddRow(t, 3, 3, "deleted one");
        t.Delete();
        EXPECT_TRUE(t.WriteToDisk());
        EXPECT_FALSE(t.Changed());
        t.SetActive(false);
    }
    auto bytes = ReadBytes(Path("Kills.dbf"));
    ASSERT_GT(bytes.size(), 32u);
    EXPECT_EQ(bytes[0], 0x03);
    EXPECT_EQ(dbftest::Le32(bytes, 4), 4u);
    EXPECT_EQ(dbftest::Le16(bytes, 8), 32 * 8 + 33);
    EXPECT_EQ(dbftest::Le16(bytes, 10), 1 + 10 + 10 + 8 + 8 + 12 + 10 + 1 + 8);
    EXPECT_EQ(bytes.back(), 0x1A);
    EXPECT_FALSE(std::filesystem::exists(Path("Kills.dbf.tmp")));

    TTzVFile r("Kills");
    Configure(r, "Kills.dbf");
    r.SetActive(true);
    ASSERT_EQ(r.RecordCount(), 4);
    EXPECT_FALSE(r.Changed()) << "loading does not count as a change";
    r.First();
    EXPECT_EQ(r.FieldByName("Note").AsString(), "first");
    EXPECT_EQ(r.FieldByName("Kills").AsInteger(), 2);
    EXPECT_DOUBLE_EQ(r.FieldByName("Ratio").AsFloat(), 0.333);
    EXPECT_TRUE(r.FieldByName("Flag").AsBoolean());
    EXPECT_EQ(r.FieldByName("When").AsDateTime(), EncodeDate(2020, 1, 2));
    r.Next();
    EXPECT_EQ(r.FieldByName("KillerID").AsInteger(), 0);
    EXPECT_TRUE(r.FieldByName("When").IsNull());
    r.Next();
    EXPECT_EQ(r.FieldByName("KillerID").AsInteger(), -5);
    EXPECT_EQ(r.FieldByName("VictimID").AsInteger(), 2147483647);
    EXPECT_EQ(r.FieldByName("Note").AsString(), "Ümlaut äö") << "OEM code page round trip";
    EXPECT_DOUBLE_EQ(r.FieldByName("Ratio").AsFloat(), -1.667);
    r.Next();
    EXPECT_TRUE(r.RecordDeleted());
}

TEST_F(DiskTest, HiddenDeletedRecordsAreLeftOutOfTheFile) {
    TTzVFile t("Kills");
    Configure(t, "Kills.dbf");
    t.HideDeletedRecs = true;
    t.SetActive(true);
    AddRow(t, 1, 1);
    AddRow(t, 2, 2);
    t.Delete();
    AddRow(t, 3, 3);
    ASSERT_TRUE(t.WriteToDisk());
    auto bytes = ReadBytes(Path("Kills.dbf"));
    EXPECT_EQ(dbftest::Le32(bytes, 4), 2u);
    std::size_t expected = 32 * 8 + 33 + 2 * 68 + 1;
    EXPECT_EQ(bytes.size(), expected);
}

// A file larger than one read of the loader: every record arrives once and in file order,
// deleted ones are left out when hidden, and the append mode holds after the load.
TEST_F(DiskTest, ALargeFileLoadsInOrderAcrossReads) {
    constexpr int Rows = 40000; // about 2.6 MB of records: several reads of 1 MiB
    {
        TTzVFile t("Kills");
        Configure(t, "Kills.dbf");
        t.SetActive(true);
        t.DisableControls();
        for (int i = 1; i <= Rows; ++i) {
            AddRow(t, i, Rows - i, i % 7 == 0 ? "gone" : "kept");
            if (i % 7 == 0) t.Delete();
        }
        t.EnableControls();
        ASSERT_TRUE(t.WriteToDisk());
        t.SetActive(false);
    }
    TTzVFile r("Kills");
    Configure(r, "Kills.dbf");
    r.HideDeletedRecs = true;
    r.SetAppendMode(LStatusType::LIFO);
    r.SetActive(true);
    ASSERT_EQ(r.RecordCount(), Rows - Rows / 7);
    r.First();
    int expected = 1;
    int seen = 0;
    while (!r.Eof()) {
        if (expected % 7 == 0) ++expected;
        ASSERT_EQ(r.FieldByName("KillerID").AsInteger(), expected);
        ASSERT_EQ(r.FieldByName("VictimID").AsInteger(), Rows - expected);
        ++expected;
        ++seen;
        r.Next();
    }
    EXPECT_EQ(seen, Rows - Rows / 7);
    AddRow(r, -1, -1);
    r.First();
    EXPECT_EQ(r.FieldByName("KillerID").AsInteger(), -1) << "LIFO puts a new row first";
}

// The records of a load are shown as they are read, so that an index is built in the same
// pass: every record in table order with its number (across reads and store chunks), only when
// the load appends them at the table's end in file order.
TEST_F(DiskTest, ALoadShowsEveryRecordAsItIsRead) {
    constexpr int Rows = 30000;
    {
        TTzVFile t("Kills");
        Configure(t, "Kills.dbf");
        t.SetActive(true);
        t.DisableControls();
        for (int i = 1; i <= Rows; ++i)
            AddRow(t, i, Rows - i, "n");
        t.EnableControls();
        ASSERT_TRUE(t.WriteToDisk());
        t.SetActive(false);
    }
    struct Seen : TTzLLDataSet::LoadVisitor {
        std::int32_t announced = -1;
        std::vector<std::int32_t> recNos;
        std::vector<std::int32_t> killers; // the first field, after the deletion flag
        void BeginLoad(std::int32_t records) override { announced = records; }
        void VisitLoaded(std::int32_t recNo, const std::uint8_t *record) override {
            recNos.push_back(recNo);
            std::int32_t killer = 0;
            std::memcpy(&killer, record + 1, 4);
            killers.push_back(killer);
        }
    };
    for (LStatusType mode : {LStatusType::FIFO, LStatusType::LIFO, LStatusType::ASCENDING}) {
        SCOPED_TRACE(static_cast<int>(mode));
        TTzVFile r("Kills");
        Configure(r, "Kills.dbf");
        r.SaveToDisk = false;
        r.SetAppendMode(mode);
        Seen seen;
        r.SetLoadVisitor(&seen);
        r.SetActive(true);
        ASSERT_EQ(r.RecordCount(), Rows);
        // A sorted table places each loaded record itself; LIFO applies to later appends only.
        if (mode == LStatusType::ASCENDING) {
            EXPECT_FALSE(r.LoadVisited());
            continue;
        }
        ASSERT_TRUE(r.LoadVisited());
        EXPECT_EQ(seen.announced, Rows);
        ASSERT_EQ(seen.recNos.size(), static_cast<std::size_t>(Rows));
        for (int n = 1; n <= Rows; n += 997) {
            EXPECT_EQ(seen.recNos[static_cast<std::size_t>(n - 1)], n);
            EXPECT_EQ(seen.killers[static_cast<std::size_t>(n - 1)], n);
            r.SetRecNo(n);
            EXPECT_EQ(r.FieldByName("KillerID").AsInteger(), n);
        }
        // A second load onto the records already there is not shown as a whole table.
        ASSERT_TRUE(r.ReadFromDisk());
        EXPECT_EQ(r.RecordCount(), 2 * Rows);
        EXPECT_FALSE(r.LoadVisited());
    }
}

// Peak resident memory of this process in KiB.
long PeakKib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

TEST_F(DiskTest, ASmallFileOfShortRecordsLoadsWithMemoryForWhatItHolds) {
    {
        TTzVFile w("Tiny");
        w.DbfFields = {"Kind,C,1,0"};
        w.SetDbfFileName(Path("Tiny.dbf"));
        w.SaveToDisk = true;
        w.SetActive(true);
        w.ClearRecord();
        w.FieldByName("Kind").SetAsString("x");
        w.AppendRec();
        w.SetActive(false);
    }
    ASSERT_EQ(std::filesystem::file_size(Path("Tiny.dbf")), 32u + 32 + 1 + 2 + 1);
    // Loaded into a wide table (2-byte records in the file, 165 bytes in memory), in a child
    // process so that the peak memory measured is this load's alone.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int rc = 3;
        try {
            TTzVFile r("Tiny");
            r.DbfFields = {"Kind,C,1,0", "Name,C,80,0", "Other,C,80,0"};
            r.SetDbfFileName(Path("Tiny.dbf"));
            r.PopulateFromDisk = true;
            const long before = PeakKib();
            r.SetActive(true);
            const long grown = PeakKib() - before;
            rc = r.RecordCount() != 1 ? 2 : grown > 16 * 1024 ? 1 : 0;
        } catch (...) {
        }
        std::_Exit(rc);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: more than 16 MiB for one record; 2: record lost";
}

TEST_F(DiskTest, ClosingWritesOnlyWhenChanged) {
    TTzVFile t("Kills");
    Configure(t, "Kills.dbf");
    t.SetActive(true);
    AddRow(t, 1, 2);
    t.SetActive(false);
    ASSERT_TRUE(std::filesystem::exists(Path("Kills.dbf")));
    auto before = std::filesystem::last_write_time(Path("Kills.dbf"));
    std::filesystem::last_write_time(Path("Kills.dbf"), before - std::chrono::hours(1));
    auto aged = std::filesystem::last_write_time(Path("Kills.dbf"));

    t.SetActive(true);
    EXPECT_EQ(t.RecordCount(), 1);
    t.SetActive(false);
    EXPECT_EQ(std::filesystem::last_write_time(Path("Kills.dbf")), aged) << "rewritten unchanged";
}

TEST_F(DiskTest, NewFileNameTakesTheNextWriteAndLeavesTheOldFile) {
    TTzVFile t("Kills");
    Configure(t, "Old.dbf");
    t.SetActive(true);
    AddRow(t, 1, 2);
    ASSERT_TRUE(t.WriteToDisk());
    auto oldBytes = ReadBytes(Path("Old.dbf"));

    t.SetDbfFileName(Path("New"));
    EXPECT_EQ(t.DbfFileName(), Path("New.DBF"));
    EXPECT_TRUE(t.Active()) << "an in-memory table stays open";
    EXPECT_TRUE(t.Changed());
    AddRow(t, 3, 4);
    t.SetActive(false);

    EXPECT_EQ(ReadBytes(Path("Old.dbf")), oldBytes);
    TTzVFile r("Kills");
    Configure(r, "New.DBF");
    r.SetActive(true);
    EXPECT_EQ(r.RecordCount(), 2);
}

// File operations that fail once `budget` bytes have been written, or at a chosen step.
class FailingIO : public TTzWriteIO {
public:
    long budget = -1;
    bool failSync = false;
    bool failRename = false;
    int Write(const void *data, std::size_t size) override {
        if (budget >= 0) {
            if (static_cast<long>(size) > budget) {
                TTzWriteIO::Write(data, static_cast<std::size_t>(budget));
                budget = 0;
                return ENOSPC;
            }
            budget -= static_cast<long>(size);
        }
        return TTzWriteIO::Write(data, size);
    }
    int Sync() override { return failSync ? EIO : TTzWriteIO::Sync(); }
    int Rename(const std::string &from, const std::string &to) override {
        return failRename ? EACCES : TTzWriteIO::Rename(from, to);
    }
};

TEST_F(DiskTest, InterruptedRewriteLeavesTheOldFileIntact) {
    TTzVFile t("Kills");
    Configure(t, "Kills.dbf");
    t.SetActive(true);
    for (int i = 0; i < 50; ++i)
        AddRow(t, i, i + 1, "row");
    ASSERT_TRUE(t.WriteToDisk());
    const auto original = ReadBytes(Path("Kills.dbf"));

    for (int i = 50; i < 20000; ++i)
        AddRow(t, i, i + 1, "more");
    t.SetRecNo(7);

    for (long budget : {0L, 100L, 289L, 5000L, 1000000L}) {
        SCOPED_TRACE(budget);
        FailingIO io;
        io.budget = budget;
        t.SetWriteIO(&io);
        EXPECT_DBF_ERROR(t.WriteToDisk(), kErrDiskWrite, "Error writing " + Path("Kills.dbf"));
        EXPECT_EQ(ReadBytes(Path("Kills.dbf")), original);
        EXPECT_FALSE(std::filesystem::exists(Path("Kills.dbf.tmp")));
        EXPECT_TRUE(t.Changed()) << "unwritten changes stay pending";
        EXPECT_EQ(t.RecNo(), 7);
    }
    for (int step = 0; step < 2; ++step) {
        FailingIO io;
        io.failSync = step == 0;
        io.failRename = step == 1;
        t.SetWriteIO(&io);
        EXPECT_THROW(t.WriteToDisk(), ERedadError);
        EXPECT_EQ(ReadBytes(Path("Kills.dbf")), original);
        EXPECT_FALSE(std::filesystem::exists(Path("Kills.dbf.tmp")));
    }

    // A close that cannot write keeps the table open with its records.
    FailingIO full;
    full.budget = 10;
    t.SetWriteIO(&full);
    EXPECT_THROW(t.SetActive(false), ERedadError);
    EXPECT_TRUE(t.Active());
    EXPECT_EQ(t.RecordCount(), 20000);

    // The records still reach the file once writing works again; the cursor stays put.
    t.SetWriteIO(nullptr);
    t.SetRecNo(12);
    t.FieldByName("Kills").SetAsInteger(-1); // an unposted write survives the commit
    ASSERT_TRUE(t.WriteToDisk());
    t.ReplaceRec();
    EXPECT_EQ(t.RecNo(), 12);
    t.SetActive(false);
    TTzVFile r("Kills");
    Configure(r, "Kills.dbf");
    r.SetActive(true);
    EXPECT_EQ(r.RecordCount(), 20000);
    r.SetRecNo(12);
    EXPECT_EQ(r.FieldByName("Kills").AsInteger(), -1);
}

TEST_F(DiskTest, WriteToUnwritableFolderReportsAndKeepsTable) {
    TTzVFile t("Kills");
    Configure(t, "missing-dir/Kills.dbf");
    t.SetActive(true);
    AddRow(t, 1, 2);
    EXPECT_DBF_ERROR(t.WriteToDisk(), kErrFileNotFound, "Error writing");
    EXPECT_TRUE(t.Changed());
    t.SaveToDisk = false;
}

TEST_F(DiskTest, FileOfAnotherStructureIsMappedByName) {
    // Written with fewer, reordered and differently sized fields plus one the table lacks.
    {
        TTzVFile w("Other");
        w.DbfFields = {"Note,C,4,0",      "Extra,C,5,0", "Kills,N,4,0",
                       "KillerID,N,12,2", "Ratio,N,6,0", "Flag,C,1,0"};
        w.SetDbfFileName(Path("Kills.dbf"));
        w.SetActive(true);
        w.ClearRecord();
        w.FieldByName("Note").SetAsString("abcd");
        w.FieldByName("Extra").SetAsString("zzzzz");
        w.FieldByName("Kills").SetAsInteger(9999);
        w.FieldByName("KillerID").SetAsFloat(12.75);
        w.FieldByName("Ratio").SetAsInteger(-4);
        w.FieldByName("Flag").SetAsString("T");
        w.AppendRec();
        ASSERT_TRUE(w.WriteToDisk());
        w.SaveToDisk = false;
    }
    TTzVFile r("Kills");
    Configure(r, "Kills.dbf");
    r.SaveToDisk = false;
    r.SetActive(true);
    ASSERT_EQ(r.RecordCount(), 1);
    EXPECT_EQ(r.FieldByName("Note").AsString(), "abcd");
    EXPECT_EQ(r.FieldByName("Kills").AsInteger(), 9999);
    EXPECT_EQ(r.FieldByName("KillerID").AsInteger(), 13);
    EXPECT_DOUBLE_EQ(r.FieldByName("Ratio").AsFloat(), -4.0);
    EXPECT_TRUE(r.FieldByName("Flag").AsBoolean());
    EXPECT_EQ(r.FieldByName("VictimID").AsInteger(), 0) << "missing in the file";
    EXPECT_TRUE(r.FieldByName("When").IsNull());
    EXPECT_EQ(r.FindField("Extra"), nullptr);
}

TEST_F(DiskTest, DamagedFilesAreRefusedWithoutReadingPastBuffers) {
    TTzVFile w("Kills");
    Configure(w, "Kills.dbf");
    w.SetActive(true);
    for (int i = 0; i < 3; ++i)
        AddRow(w, i, i);
    w.SetActive(false);
    auto good = ReadBytes(Path("Kills.dbf"));

    // A descriptor wider than the record.
    auto wide = good;
    wide[32 + 16] = 200;
    WriteBytes(Path("Kills.dbf"), wide);
    {
        TTzVFile r("Kills");
        Configure(r, "Kills.dbf");
        r.SaveToDisk = false;
        EXPECT_DBF_ERROR(r.SetActive(true), kErrNotDbase, "is not a dBASE database");
        EXPECT_FALSE(r.Active());
    }
    // A header that claims more records than the file holds.
    auto claims = good;
    claims[4] = 200;
    WriteBytes(Path("Kills.dbf"), claims);
    {
        TTzVFile r("Kills");
        Configure(r, "Kills.dbf");
        r.SaveToDisk = false;
        EXPECT_DBF_ERROR(r.SetActive(true), kErrNotDbase, "is not a dBASE database");
        EXPECT_FALSE(r.Active());
    }
    // A file cut in the middle of a record.
    auto cut = good;
    cut.resize(cut.size() - 30);
    WriteBytes(Path("Kills.dbf"), cut);
    {
        TTzVFile r("Kills");
        Configure(r, "Kills.dbf");
        r.SaveToDisk = false;
        EXPECT_THROW(r.SetActive(true), ERedadError);
        EXPECT_FALSE(r.Active());
    }
    // Not a table at all.
    WriteBytes(Path("Kills.dbf"), {'h', 'e', 'l', 'l', 'o'});
    {
        TTzVFile r("Kills");
        Configure(r, "Kills.dbf");
        r.SaveToDisk = false;
        EXPECT_DBF_ERROR(r.SetActive(true), kErrNotDbase, "is not a dBASE database");
    }
}

struct ProgressLog {
    std::vector<std::string> captions;
    int advances = 0;
    int open = 0;
};

class LoggingProgress : public TTzProgress100 {
public:
    explicit LoggingProgress(ProgressLog &log) : log_(log) { ++log_.open; }
    ~LoggingProgress() override { --log_.open; }
    void Advance() override { ++log_.advances; }

private:
    ProgressLog &log_;
};

TEST_F(DiskTest, ProgressWindowAdvancesEveryHundredthOfTheTable) {
    ProgressLog log;
    auto previous = SetProgressFactory([&log](const std::string &caption) {
        log.captions.push_back(caption);
        return std::make_unique<LoggingProgress>(log);
    });
    {
        TTzVFile t("Kills");
        Configure(t, "Kills.dbf");
        t.SetActive(true);
        for (int i = 0; i < 250; ++i)
            AddRow(t, i, i);
        t.SetActive(false);
        ASSERT_EQ(log.captions, std::vector<std::string>{"Writing to disk..."});
        EXPECT_EQ(log.advances, 125) << "records 2, 4, ..., 250";
        EXPECT_EQ(log.open, 0);

        log = {};
        t.SetActive(true);
        EXPECT_EQ(log.captions, std::vector<std::string>{"Reading from disk..."});
        EXPECT_EQ(log.advances, 125);
        EXPECT_EQ(log.open, 0);

        log = {};
        t.ShowProgress = false;
        t.WriteToDisk();
        EXPECT_TRUE(log.captions.empty());

        log = {};
        t.ShowProgress = true;
        t.Zap();
        for (int i = 0; i < 99; ++i)
            AddRow(t, i, i);
        t.WriteToDisk();
        EXPECT_TRUE(log.captions.empty()) << "fewer than 100 records show no window";
        t.SaveToDisk = false;
    }
    SetProgressFactory(previous);
}

TEST_F(DiskTest, SortedTableKeepsKeyOrderAfterLoading) {
    {
        TTzVFile w("Kills");
        Configure(w, "Kills.dbf");
        w.SetActive(true);
        for (int k : {5, 1, 3})
            AddRow(w, k, 0);
        w.SetActive(false);
    }
    TTzVFile t("Kills");
    Configure(t, "Kills.dbf");
    t.SaveToDisk = false;
    t.SetAppendMode(LStatusType::DESCENDING);
    t.SetActive(true);
    std::vector<int> order;
    for (t.First(); !t.Eof(); t.Next())
        order.push_back(t.FieldByName("KillerID").AsInteger());
    EXPECT_EQ(order, (std::vector<int>{5, 3, 1}));

    t.SetAppendMode(LStatusType::ASCENDING);
    order.clear();
    for (t.First(); !t.Eof(); t.Next())
        order.push_back(t.FieldByName("KillerID").AsInteger());
    EXPECT_EQ(order, (std::vector<int>{1, 3, 5}));
    AddRow(t, 2, 0);
    t.First();
    t.Next();
    EXPECT_EQ(t.FieldByName("KillerID").AsInteger(), 2);
}

} // namespace
