// Writes that put only the changes into a table file: the file ends byte for byte as a whole
// rewrite leaves it, whichever way the table changed, and a write cut off at any byte leaves
// the table as before or (after the next open) as after.
#include "dbf/dataset.h"
#include "dbf/tablejournal.h"
#include "dbf/vfile.h"

#include "dbftest_util.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace dbf;
using dbftest::ReadBytes;
using dbftest::WriteBytes;

const std::vector<std::string> kFields = {"KillerID,N,10,0", "VictimID,N,10,0", "Kills,N,8,0",
                                          "Note,C,12,0",     "Ratio,N,10,3",    "Flag,L,1,0",
                                          "When,D,8,0"};

class IncrementalTest : public dbftest::EngineTest {
protected:
    void Configure(TTzVFile &t, const std::string &file = "Kills.dbf") {
        t.DbfFields = kFields;
        t.SetDbfFileName(Path(file));
        t.PopulateFromDisk = true;
        t.SaveToDisk = true;
    }
    static void Put(TTzVFile &t, int killer, int victim, const std::string &note) {
        t.FieldByName("KillerID").SetAsInteger(killer);
        t.FieldByName("VictimID").SetAsInteger(victim);
        t.FieldByName("Kills").SetAsInteger(killer * 7 - victim);
        t.FieldByName("Note").SetAsString(note);
        t.FieldByName("Ratio").SetAsFloat(killer / 3.0);
        t.FieldByName("Flag").SetAsBoolean(killer % 2 == 1);
        t.FieldByName("When").SetAsDateTime(EncodeDate(2021, 3, killer % 28 + 1));
    }
    static void Append(TTzVFile &t, int killer, int victim, const std::string &note = "new") {
        t.ClearRecord();
        Put(t, killer, victim, note);
        t.AppendRec();
    }
    static void Replace(TTzVFile &t, int recNo, int kills) {
        t.SetRecNo(recNo);
        t.FieldByName("Kills").SetAsInteger(kills);
        t.FieldByName("Note").SetAsString("Änderung");
        t.ReplaceRec();
    }
    // A table file of `rows` rows written by the engine.
    void MakeFile(int rows) {
        std::filesystem::remove(Path("Kills.dbf"));
        TTzVFile t("Kills");
        Configure(t);
        t.SetActive(true);
        for (int i = 1; i <= rows; ++i)
            Append(t, i, i + 1, "row " + std::to_string(i));
        t.SetActive(false);
    }
    // What a whole rewrite of the table gives (written to another file).
    std::vector<std::uint8_t> WholeBytes(TTzVFile &t) {
        std::filesystem::remove(Path("Whole.dbf"));
        const std::string name = t.DbfFileName();
        t.SetDbfFileName(Path("Whole.dbf"));
        EXPECT_TRUE(t.WriteToDisk());
        EXPECT_FALSE(t.LastWriteIncremental()) << "a file of another name is written whole";
        t.SetDbfFileName(name);
        return ReadBytes(Path("Whole.dbf"));
    }
};

TEST_F(IncrementalTest, EveryWriteEndsAsAWholeRewriteWouldLeaveTheFile) {
    using Change = std::function<void(TTzVFile &)>;
    struct Case {
        const char *name;
        std::function<void(std::vector<std::uint8_t> &)> damage; // of the file before loading
        Change change;
        bool incremental; // how the first write after the change goes
    };
    const auto appends = [](TTzVFile &t) {
        for (int i = 0; i < 5; ++i)
            Append(t, 100 + i, i);
    };
    const auto replaces = [](TTzVFile &t) {
        Replace(t, 1, -1);
        Replace(t, 17, 2147483647);
        Replace(t, 17, 5); // the same record twice
        Replace(t, 40, 0);
    };
    const std::vector<Case> cases = {
        {"appends", {}, appends, true},
        {"replaces", {}, replaces, true},
        {"mixed, with deletion flags",
         {},
         [&](TTzVFile &t) {
             replaces(t);
             appends(t);
             Replace(t, 42, 9); // a new record written over again
             t.SetRecNo(3);
             t.Delete();
             t.SetRecNo(41);
             t.Delete();
         },
         true},
        {"no change (the date and count only)", {}, [](TTzVFile &) {}, true},
        {"stale header count", [](std::vector<std::uint8_t> &b) { b[4] = 37; }, appends, false},
        {"trailing garbage",
         [](std::vector<std::uint8_t> &b) {
             b.insert(b.end(), {'x', 'y', 'z'});
         },
         replaces, false},
        {"no end mark", [](std::vector<std::uint8_t> &b) { b.pop_back(); }, replaces, false},
        {"record not in the engine's form",
         [](std::vector<std::uint8_t> &b) {
             const std::size_t at = dbftest::Le16(b, 8) + 1; // first record's KillerID
             b[at + 8] = '0';
             b[at + 9] = '1'; // "        01"
         },
         appends, false},
        {"number beyond the field's range",
         [](std::vector<std::uint8_t> &b) {
             const std::size_t at = dbftest::Le16(b, 8) + 1;
             const char text[] = "2147483648"; // reads as 2147483647
             std::memcpy(b.data() + at, text, 10);
         },
         replaces, false},
        {"rows removed (zapped)",
         {},
         [&](TTzVFile &t) {
             t.Zap();
             appends(t);
         },
         false},
        {"rows reordered",
         {},
         [](TTzVFile &t) { t.SetAppendMode(LStatusType::DESCENDING); },
         false},
        {"row inserted at the front",
         {},
         [](TTzVFile &t) {
             t.SetAppendMode(LStatusType::LIFO);
             Append(t, 1000, 1);
         },
         false},
        {"file changed by someone else",
         {},
         [&](TTzVFile &t) {
             replaces(t);
             auto b = ReadBytes(Path("Kills.dbf"));
             b.push_back('!');
             WriteBytes(Path("Kills.dbf"), b);
         },
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        MakeFile(40);
        if (c.damage) {
            auto b = ReadBytes(Path("Kills.dbf"));
            c.damage(b);
            WriteBytes(Path("Kills.dbf"), b);
        }
        TTzVFile t("Kills");
        Configure(t);
        t.SetActive(true);
        c.change(t);
        ASSERT_TRUE(t.WriteToDisk());
        EXPECT_EQ(t.LastWriteIncremental(), c.incremental);
        EXPECT_EQ(ReadBytes(Path("Kills.dbf")), WholeBytes(t));

        // Whichever way it went, the next commit writes only its changes (appended at the end).
        t.SetAppendMode(LStatusType::FIFO);
        t.SetDbfFileName(Path("Kills.dbf"));
        ASSERT_TRUE(t.WriteToDisk()); // whole: the last write went to Whole.dbf
        Replace(t, 2, 77);
        Append(t, 500, 501);
        ASSERT_TRUE(t.WriteToDisk());
        EXPECT_TRUE(t.LastWriteIncremental());
        EXPECT_EQ(ReadBytes(Path("Kills.dbf")), WholeBytes(t));
        EXPECT_EQ(ReadBytes(JournalPath(Path("Kills.dbf"))).size(), 0u) << "emptied";
        t.SaveToDisk = false;
    }
}

// File operations that fail once `budget` bytes have been written.
class FailingIO : public TTzWriteIO {
public:
    long budget = -1;
    long written = 0;
    int Write(const void *data, std::size_t size) override {
        if (!Spend(size)) return ENOSPC;
        return TTzWriteIO::Write(data, size);
    }
    int WriteAt(const void *data, std::size_t size, std::uint64_t offset) override {
        if (budget >= 0 && static_cast<long>(size) > budget) {
            // A torn write: the bytes that fit reach the file.
            TTzWriteIO::WriteAt(data, static_cast<std::size_t>(budget), offset);
            budget = 0;
            return EIO;
        }
        if (!Spend(size)) return EIO;
        return TTzWriteIO::WriteAt(data, size, offset);
    }

private:
    bool Spend(std::size_t size) {
        written += static_cast<long>(size);
        if (budget < 0) return true;
        if (static_cast<long>(size) > budget) {
            budget = 0;
            return false;
        }
        budget -= static_cast<long>(size);
        return true;
    }
};

TEST_F(IncrementalTest, WriteCutOffAtAnyByteLeavesTheTableBeforeOrAfter) {
    const auto change = [](TTzVFile &t) {
        Replace(t, 4, 444);
        Replace(t, 20, 2020);
        Append(t, 90, 91);
        Append(t, 92, 93);
    };
    MakeFile(20);
    const auto before = ReadBytes(Path("Kills.dbf"));
    long total = 0;
    std::vector<std::uint8_t> after;
    {
        TTzVFile t("Kills");
        Configure(t);
        t.SetActive(true);
        change(t);
        FailingIO io;
        t.SetWriteIO(&io);
        ASSERT_TRUE(t.WriteToDisk());
        ASSERT_TRUE(t.LastWriteIncremental());
        total = io.written;
        after = ReadBytes(Path("Kills.dbf"));
        t.SetActive(false);
    }
    ASSERT_NE(before, after);
    int sawBefore = 0, sawAfter = 0;
    for (long budget = 0; budget <= total; ++budget) {
        SCOPED_TRACE(budget);
        WriteBytes(Path("Kills.dbf"), before);
        {
            TTzVFile t("Kills");
            Configure(t);
            t.SetActive(true);
            change(t);
            FailingIO io;
            io.budget = budget;
            t.SetWriteIO(&io);
            bool ok = false;
            try {
                ok = t.WriteToDisk();
            } catch (const ERedadError &) {
            }
            EXPECT_EQ(ok, budget == total);
            // The process ends here without another write.
            t.SaveToDisk = false;
        }
        // The next open finishes or drops the cut-off write.
        TTzVFile r("Kills");
        Configure(r);
        r.SetActive(true);
        const auto now = ReadBytes(Path("Kills.dbf"));
        EXPECT_TRUE(now == before || now == after);
        sawBefore += now == before;
        sawAfter += now == after;
        EXPECT_EQ(r.RecordCount(), now == after ? 22 : 20);
        std::vector<std::string> left;
        for (const auto &e : std::filesystem::directory_iterator(dir_))
            if (e.path().filename() != "Kills.dbf.jnl" || std::filesystem::file_size(e) > 0)
                left.push_back(e.path().filename().string());
        EXPECT_EQ(left, std::vector<std::string>{"Kills.dbf"})
            << "no temporary file, no journal with bytes in it";
        r.SaveToDisk = false;
    }
    EXPECT_GT(sawBefore, 0);
    EXPECT_GT(sawAfter, 1) << "cuts inside the table writes are finished by the journal";
}

TEST_F(IncrementalTest, JournalOfAnOlderFileIsNeverReplayed) {
    MakeFile(10);
    TTzVFile t("Kills");
    Configure(t);
    t.SetActive(true);
    Replace(t, 3, 33);
    // The in-place write fails half-way: the journal stays, the table is torn.
    FailingIO io;
    io.budget = 0;
    struct TornIO : FailingIO {
        bool journalDone = false;
        int Open(const std::string &path) override {
            journalDone = true;
            return TTzWriteIO::Open(path);
        }
        int WriteAt(const void *, std::size_t, std::uint64_t) override { return EIO; }
    } torn;
    t.SetWriteIO(&torn);
    EXPECT_THROW(t.WriteToDisk(), ERedadError);
    ASSERT_TRUE(torn.journalDone);
    ASSERT_TRUE(std::filesystem::exists(JournalPath(Path("Kills.dbf"))));
    // The next write replaces the whole file and drops the journal with it.
    t.SetWriteIO(nullptr);
    Replace(t, 5, 55);
    ASSERT_TRUE(t.WriteToDisk());
    EXPECT_FALSE(t.LastWriteIncremental());
    EXPECT_FALSE(std::filesystem::exists(JournalPath(Path("Kills.dbf"))));
    const auto written = ReadBytes(Path("Kills.dbf"));
    // A journal left behind by a crash right after such a rewrite names the old file.
    WriteBytes(JournalPath(Path("Kills.dbf")), [&] {
        TableRedo redo;
        const std::uint8_t junk[4] = {'j', 'u', 'n', 'k'};
        redo.Add(40, junk, 4);
        return redo.Encode(1, 1, 100);
    }());
    t.SaveToDisk = false;
    t.SetActive(false);
    TTzVFile r("Kills");
    Configure(r);
    r.SetActive(true);
    EXPECT_EQ(ReadBytes(Path("Kills.dbf")), written);
    EXPECT_FALSE(std::filesystem::exists(JournalPath(Path("Kills.dbf"))));
    r.SetRecNo(5);
    EXPECT_EQ(r.FieldByName("Kills").AsInteger(), 55);
}

TEST_F(IncrementalTest, WritesNeverFollowLinksAndLeavePrivateFiles) {
    MakeFile(5);
    WriteBytes(Path("victim"), {'k', 'e', 'e', 'p'});
    // Links where the old fixed temporary name and the journal go.
    std::filesystem::create_symlink(Path("victim"), Path("Kills.dbf.tmp"));
    std::filesystem::create_symlink(Path("victim"), JournalPath(Path("Kills.dbf")));
    TTzVFile t("Kills");
    Configure(t); // opening does not follow the journal's link either
    t.SetActive(true);
    Replace(t, 2, 22);
    ASSERT_TRUE(t.WriteToDisk());
    Append(t, 9, 9);
    ASSERT_TRUE(t.WriteToDisk());
    t.SetDbfFileName(Path("Kills.dbf")); // a whole rewrite
    Replace(t, 1, 11);
    ASSERT_TRUE(t.WriteToDisk());
    EXPECT_EQ(ReadBytes(Path("victim")), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(std::filesystem::status(Path("Kills.dbf")).permissions() &
                  std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    t.SaveToDisk = false;
}

} // namespace
