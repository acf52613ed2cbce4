#include "dbf/dbffile.h"
#include "dbf/workarea.h"
#include "dbftest_util.h"

#include <cstring>

using namespace dbf;
using dbftest::EngineTest;
using dbftest::Le32;
using dbftest::ReadBytes;

namespace {

const std::vector<FieldDef> kPlayers = {
    {"Name", 'C', 10, 0}, {"dbID", 'N', 6, 0}, {"Score", 'N', 8, 2}, {"Admin", 'L', 1, 0}};

class WorkAreaTest : public EngineTest {
protected:
    // Creates players.dbf and opens it in the current work area.
    void OpenPlayers(const std::string &options = " EXCLUSIVE") {
        ASSERT_TRUE(CreateDbf(Path("players.dbf"), kPlayers));
        ASSERT_TRUE(USE(Path("players.dbf") + options));
    }
    void Add(const std::string &name, int id, double score = 0) {
        ClearRecord();
        PutFieldString(1, name);
        PutFieldNumber(2, id);
        PutFieldNumber(3, score);
        Append();
    }
    // An in-memory table with the players' fields in the current work area.
    void OpenMemory(const std::string &options = "") {
        buf_.assign(64, 0xEE);
        ASSERT_TRUE(USE("mem VIRTUAL FILE" + options, buf_.data(), buf_.size()));
        ASSERT_TRUE(AddStru(kPlayers));
    }
    std::vector<std::string> Names() {
        std::vector<std::string> out;
        GoTop();
        while (!dEOF()) {
            std::string s = GetFieldString(1);
            out.push_back(s.substr(0, s.find_last_not_of(' ') + 1));
            SKIP(1);
        }
        return out;
    }
    std::vector<std::uint8_t> buf_;
};

// ---------------------------------------------------------------------------------------------
// Work areas and USE

TEST_F(WorkAreaTest, SelectRangesAndFreeArea) {
    EXPECT_EQ(CurrentWorkArea(), 1);
    EXPECT_DBF_ERROR(Select(34), 220, "Invalid workarea selected = [Select(34)]");
    EXPECT_TRUE(Select(33));
    EXPECT_EQ(CurrentWorkArea(), 33);
    std::vector<std::vector<std::uint8_t>> bufs(kWorkAreaCount, std::vector<std::uint8_t>(8));
    for (int i = 1; i <= kWorkAreaCount; ++i) {
        ASSERT_TRUE(Select(0));
        EXPECT_EQ(CurrentWorkArea(), i);
        ASSERT_TRUE(USE("t" + std::to_string(i) + " LINKED LIST",
                        bufs[static_cast<std::size_t>(i - 1)].data(), 8));
    }
    EXPECT_DBF_ERROR(Select(0), 220, "No free workarea available [Select(0)]");
    CloseAll();
    EXPECT_EQ(CurrentWorkArea(), 1);
    EXPECT_FALSE(WorkAreaInUse(1));
}

TEST_F(WorkAreaTest, CommandsOnAnEmptyWorkAreaReport215) {
    ASSERT_TRUE(Select(2));
    EXPECT_DBF_ERROR(GoTop(), 215, "No database in use [GoTop]  WorkArea = 2");
    EXPECT_DBF_ERROR(Append(), 215, "[APPEND]");
    EXPECT_DBF_ERROR(RecCount(), 215, "[RecCount]");
    // Without immediate reporting the command returns its neutral result.
    ReportingScope quiet;
    EXPECT_EQ(RecCount(), 0);
    EXPECT_EQ(LastErrorCode(), 215);
    EXPECT_FALSE(dEOF());
}

TEST_F(WorkAreaTest, UseParsesAliasExclusiveAndRefusesDuplicates) {
    OpenPlayers("");
    EXPECT_EQ(Alias(), "PLAYERS");
    EXPECT_EQ(TableName(), Path("players.dbf")); // the file name keeps its case
    EXPECT_FALSE(IsExclusive());
    ASSERT_TRUE(Select(2));
    EXPECT_DBF_ERROR(USE(Path("players.dbf")), 220, "Alias name \"PLAYERS\" already in use. [USE]");
    EXPECT_FALSE(WorkAreaInUse(2));
    ASSERT_TRUE(USE(Path("players.dbf") + " ALIAS second"));
    EXPECT_EQ(Alias(), "SECOND");
    ASSERT_TRUE(USE(""));
    EXPECT_FALSE(WorkAreaInUse(2));
}

TEST_F(WorkAreaTest, UseChecksTheCallersBuffer) {
    ASSERT_TRUE(CreateDbf(Path("players.dbf"), kPlayers));
    std::vector<std::uint8_t> buf(100);
    EXPECT_DBF_ERROR(USE(Path("players.dbf"), buf.data(), 0), 220,
                     "Buffer is NIL or size is zero, attempting to open");
    EXPECT_DBF_ERROR(USE(Path("players.dbf"), buf.data(), 100), 266,
                     "Database record/buffer size mismatch: " + Path("players.dbf") +
                         " [USE()]\n\rRecord Size=25, Buffer Size=100");
    EXPECT_FALSE(WorkAreaInUse(1));
    ASSERT_TRUE(USE(Path("players.dbf"), buf.data(), 25));
    EXPECT_EQ(FieldAddress(0), buf.data());
    EXPECT_EQ(FieldAddress(2), buf.data() + 12);
    EXPECT_DBF_ERROR(USE("mem VIRTUAL FILE"), 220,
                     "NIL buffer pointer [USE(mem VIRTUAL FILE,Nil,0)]");
}

TEST_F(WorkAreaTest, FieldFunctions) {
    OpenPlayers();
    EXPECT_EQ(FieldCount(), 4);
    EXPECT_EQ(Field(1), "NAME");
    EXPECT_EQ(FieldType(3), 'N');
    EXPECT_EQ(FieldLen(3), 8);
    EXPECT_EQ(FieldDec(3), 2);
    EXPECT_EQ(FieldNo("dbid"), 2);
    EXPECT_EQ(FieldNo(" Score "), 3);
    EXPECT_EQ(FieldNo("nothing"), 0);
    EXPECT_DBF_ERROR(FieldType(0), 220, "Invalid field number. [FieldType(0)]");
    EXPECT_DBF_ERROR(FieldLen(5), 220, "Invalid field number. [FieldLen(5)]");
    EXPECT_DBF_ERROR(FieldDec(9), 220, "Invalid field number. [FieldDec(9)]");
    EXPECT_DBF_ERROR(Field(-1), 220, "Invalid field number. [Field(-1)]");
    EXPECT_DBF_ERROR(FieldAddress(5), 220, "Invalid field number. [FieldAddress(5)]");
}

// ---------------------------------------------------------------------------------------------
// Movement at the edges

TEST_F(WorkAreaTest, EmptyTableMovement) {
    OpenPlayers();
    EXPECT_TRUE(dEOF());
    EXPECT_TRUE(dBOF());
    EXPECT_EQ(RecNo(), 0);
    GoTop();
    GoBottom();
    EXPECT_EQ(RecNo(), 0);
    const std::string db = "Database \"" + Path("players.dbf") + "\"";
    EXPECT_DBF_ERROR(SKIP(-1), 212, db + " is empty. [SKIP]");
    EXPECT_DBF_ERROR(GO(1), 212, "Invalid record number = 1 " + db + " [GO]");
    EXPECT_TRUE(dEOF() && dBOF());
    EXPECT_DBF_ERROR(Replace(), 212, db + " is empty. [REPLACE]");
}

TEST_F(WorkAreaTest, SkipAndGoAtTheEdges) {
    OpenPlayers();
    Add("Ann", 1);
    Add("Ben", 2);
    Add("Cid", 3);
    EXPECT_EQ(RecNo(), 3);
    const std::string db = "Database \"" + Path("players.dbf") + "\"";
    GoTop();
    SKIP(-1);
    EXPECT_TRUE(dBOF());
    EXPECT_EQ(RecNo(), 1);
    SKIP(2);
    EXPECT_FALSE(dBOF());
    EXPECT_EQ(GetFieldNumber(2), 3);
    SKIP(1);
    EXPECT_TRUE(dEOF());
    EXPECT_EQ(RecNo(), 4);
    EXPECT_EQ(GetFieldNumber(2), 0); // buffer cleared at EOF
    EXPECT_EQ(GetFieldString(1), std::string(10, ' '));
    EXPECT_DBF_ERROR(SKIP(1), 212, db + " is past EOF. [SKIP]");
    EXPECT_DBF_ERROR(Replace(), 212, db + " is at EOF. [REPLACE]");
    EXPECT_DBF_ERROR(DeleteRec(), 212, db + " at EOF [DeleteRec]");
    SKIP(-1);
    EXPECT_EQ(RecNo(), 3);
    SKIP(-10);
    EXPECT_EQ(RecNo(), 1);
    EXPECT_TRUE(dBOF());
    SKIP(10);
    EXPECT_TRUE(dEOF());
    GO(2);
    EXPECT_EQ(GetFieldNumber(2), 2);
    EXPECT_FALSE(dEOF() || dBOF());
    EXPECT_DBF_ERROR(GO(7), 212, "Invalid record number = 7 " + db + " [GO]");
    EXPECT_TRUE(dEOF());
    EXPECT_EQ(RecNo(), 4);
    GoBottom();
    EXPECT_EQ(GetFieldNumber(2), 3);
    SKIP(0);
    EXPECT_EQ(GetFieldNumber(2), 3);
}

TEST_F(WorkAreaTest, HiddenDeletedRecordsAreSkipped) {
    OpenMemory();
    Add("Ann", 1);
    Add("Ben", 2);
    Add("Cid", 3);
    GO(2);
    DeleteRec();
    EXPECT_TRUE(Deleted());
    SetHideDeleted(true);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Ann", "Cid"}));
    EXPECT_FALSE(Locate("NAME", std::string("Ben")));
    SetHideDeleted(false);
    EXPECT_TRUE(Locate("NAME", std::string("Ben")));
    RecallRec();
    EXPECT_FALSE(Deleted());
}

// ---------------------------------------------------------------------------------------------
// Disk data commands

TEST_F(WorkAreaTest, AppendNormalisesAndCloseWritesTheHeader) {
    OpenPlayers();
    ClearRecord();
    PutFieldString(1, "A name longer than ten");
    PutFieldNumber(2, 1234567); // does not fit 6 characters
    PutFieldNumber(3, 2.345678);
    PutFieldLogical(4, true);
    Append();
    EXPECT_EQ(GetFieldString(1), "A name lon");
    EXPECT_EQ(GetFieldNumber(2), 0);
    EXPECT_DOUBLE_EQ(GetFieldNumber(3), 2.35);
    EXPECT_TRUE(GetFieldLogical(4));
    EXPECT_EQ(TableChangeState(), ChangeState::Grown);
    CloseAll();
    auto b = ReadBytes(Path("players.dbf"));
    EXPECT_EQ(Le32(b, 4), 1u);
    ASSERT_EQ(b.size(), 161u + 26 + 1);
    EXPECT_EQ(std::string(b.begin() + 161, b.begin() + 187), " A name lon******    2.35T");
    EXPECT_EQ(b.back(), 0x1A);
}

TEST_F(WorkAreaTest, ReplaceDeleteAndRecallWriteThrough) {
    OpenPlayers();
    Add("Ann", 1);
    Add("Ben", 2);
    GO(1);
    PutFieldNumber(3, 99.5);
    Replace();
    DeleteRec();
    GO(2);
    GO(1);
    EXPECT_DOUBLE_EQ(GetFieldNumber(3), 99.5);
    EXPECT_TRUE(Deleted());
    RecallRec();
    CloseAll();
    auto b = ReadBytes(Path("players.dbf"));
    EXPECT_EQ(b[161], ' ');
    EXPECT_EQ(std::string(b.begin() + 178, b.begin() + 186), "   99.50");
}

TEST_F(WorkAreaTest, ZapEmptiesDiskAndMemoryTables) {
    OpenPlayers("");
    ASSERT_TRUE(FLock());
    Add("Ann", 1);
    Add("Ben", 2);
    EXPECT_TRUE(Zap());
    EXPECT_EQ(RecCount(), 0);
    EXPECT_TRUE(dEOF() && dBOF());
    EXPECT_FALSE(IsExclusive()); // re-opened shared
    auto b = ReadBytes(Path("players.dbf"));
    EXPECT_EQ(b.size(), 162u);
    EXPECT_EQ(b[161], 0x1A);
    EXPECT_EQ(Le32(b, 4), 0u);
    ASSERT_TRUE(ALock());
    Add("Cid", 3);
    EXPECT_EQ(RecCount(), 1);

    ASSERT_TRUE(Select(2));
    OpenMemory();
    Add("Ann", 1);
    EXPECT_TRUE(Zap());
    EXPECT_EQ(RecCount(), 0);
    EXPECT_TRUE(dEOF() && dBOF());
    Add("Ben", 2);
    EXPECT_EQ(Names(), std::vector<std::string>{"Ben"});
}

TEST_F(WorkAreaTest, ZapOfATableOpenElsewhereRemovesNothing) {
    OpenPlayers("");
    ASSERT_TRUE(ALock());
    Add("Ann", 1);
    Unlock();
    ASSERT_TRUE(Select(2));
    ASSERT_TRUE(USE(Path("players.dbf") + " ALIAS other"));
    EXPECT_DBF_ERROR(Zap(), 32, "Failure to open");
    EXPECT_TRUE(WorkAreaInUse(2));
    EXPECT_EQ(RecCount(), 1);
    GoTop();
    EXPECT_EQ(GetFieldNumber(2), 1);
}

// ---------------------------------------------------------------------------------------------
// Locks

TEST_F(WorkAreaTest, SharedAppendNeedsTheAppendLock) {
    OpenPlayers("");
    ClearRecord();
    EXPECT_DBF_ERROR(Append(), 5,
                     "File must be locked to append: " + Path("players.dbf") + " [APPEND]");
    ASSERT_TRUE(ALock());
    EXPECT_EQ(CurrentLockState(), LockState::Append);
    EXPECT_TRUE(ALock());
    EXPECT_FALSE(FLock()); // another kind of lock is held
    Add("Ann", 1);

    ASSERT_TRUE(Select(2));
    ASSERT_TRUE(USE(Path("players.dbf") + " ALIAS other"));
    EXPECT_EQ(RecCount(), 1); // recomputed from the file size
    EXPECT_FALSE(ALock());    // held by work area 1
    ASSERT_TRUE(Select(1));
    Unlock();
    EXPECT_EQ(CurrentLockState(), LockState::None);
    ASSERT_TRUE(Select(2));
    EXPECT_TRUE(ALock());
    Add("Ben", 2);
    ASSERT_TRUE(Select(1));
    EXPECT_EQ(RecCount(), 2);
    GoBottom();
    EXPECT_EQ(GetFieldNumber(2), 2);
}

TEST_F(WorkAreaTest, SharedReplaceNeedsARecordOrFileLock) {
    OpenPlayers("");
    ASSERT_TRUE(ALock());
    Add("Ann", 1);
    Add("Ben", 2);
    Unlock();
    GO(1);
    EXPECT_DBF_ERROR(Replace(), 1200, "Record #1 in " + Path("players.dbf") + " [REPLACE]");
    EXPECT_DBF_ERROR(DeleteRec(), 1200, "Record not locked [DeleteRec]");
    EXPECT_DBF_ERROR(RecallRec(), 1200, "Record not locked [RecallRec]");
    EXPECT_FALSE(IsLocked(1));
    ASSERT_TRUE(RLock(1));
    EXPECT_TRUE(IsLocked(1));
    EXPECT_FALSE(IsLocked(2));
    Replace();
    DeleteRec();

    ASSERT_TRUE(Select(2));
    ASSERT_TRUE(USE(Path("players.dbf") + " ALIAS other"));
    EXPECT_FALSE(RLock(1));
    EXPECT_TRUE(RLock(2));
    EXPECT_FALSE(FLock()); // work area 1 holds record 1
    ASSERT_TRUE(Select(1));
    UnlockRec(1);
    EXPECT_DBF_ERROR(UnlockRec(1), 220, "Record not locked. [UnlockRec(1)]");
    ASSERT_TRUE(Select(2));
    EXPECT_TRUE(RLock(1));
    Unlock();
    EXPECT_TRUE(FLock());
    EXPECT_TRUE(IsLocked(2));
    GO(1);
    Replace();
}

TEST_F(WorkAreaTest, InMemoryTablesRefuseFileOperations) {
    OpenMemory();
    EXPECT_DBF_ERROR(ALock(), 1100, "[ALOCK]");
    EXPECT_DBF_ERROR(IsLocked(1), 1100, "[IsLocked]");
    ASSERT_TRUE(Select(2));
    OpenPlayers();
    EXPECT_DBF_ERROR(AddStru(kPlayers), 1100, "[AddStru]");
}

// ---------------------------------------------------------------------------------------------
// In-memory tables

TEST_F(WorkAreaTest, AddStruRulesAndErrors) {
    std::vector<std::uint8_t> buf(40);
    ASSERT_TRUE(USE("vf VIRTUAL FILE ALIAS stats", buf.data(), buf.size()));
    EXPECT_EQ(Alias(), "STATS");
    EXPECT_TRUE(IsInMemory());
    EXPECT_DBF_ERROR(AddStru({{"bad", 'q', 3, 0}}), 211,
                     "Invalid type \"q\" in VFile field list. Alias= STATS [AddStru]");
    EXPECT_DBF_ERROR(AddStru({{"n", 'N', 0, 0}}), 211, "[AddStru]");
    EXPECT_DBF_ERROR(AddStru({{"big", 'C', 60, 0}}), 266, "[AddStru]");
    ASSERT_TRUE(AddStru({{"  notes  ", 'm', 3, 3}, {"day", 'd', 2, 1}, {"ok", 'l', 5, 0}}));
    EXPECT_EQ(Field(1), "NOTES");
    EXPECT_EQ(FieldType(1), 'N'); // memo becomes N,10,0 in memory
    EXPECT_EQ(FieldLen(1), 10);
    EXPECT_EQ(FieldDec(1), 0);
    EXPECT_EQ(FieldLen(2), 10); // four-digit years
    EXPECT_EQ(FieldAddress(3) - FieldAddress(0), 1 + 4 + 11);
}

TEST_F(WorkAreaTest, ClearRecordThenAppendStoresBlanksAndZeros) {
    OpenMemory();
    ClearRecord();
    Append();
    EXPECT_EQ(RecCount(), 1);
    GoTop();
    EXPECT_EQ(GetFieldString(1), std::string(10, ' '));
    EXPECT_EQ(GetFieldNumber(2), 0);
    EXPECT_EQ(GetFieldNumber(3), 0);
    EXPECT_FALSE(GetFieldLogical(4));
    EXPECT_FALSE(Deleted());

    std::vector<std::uint8_t> raw(6, 0xAB);
    ASSERT_TRUE(Select(2));
    ASSERT_TRUE(USE("plain LINKED LIST", raw.data(), raw.size()));
    ClearRecord();
    EXPECT_EQ(raw, std::vector<std::uint8_t>(6, 0));
}

TEST_F(WorkAreaTest, AppendModesPlaceRecords) {
    OpenMemory(" LIFO");
    Add("A", 1);
    Add("B", 2);
    EXPECT_EQ(RecNo(), 1);
    Add("C", 3);
    EXPECT_EQ(Names(), (std::vector<std::string>{"C", "B", "A"}));

    ASSERT_TRUE(Select(2));
    OpenMemory(" INSERTION ALIAS ins");
    Add("A", 1);
    Add("C", 3);
    GO(1);
    Add("B", 2); // after the current record
    EXPECT_EQ(RecNo(), 2);
    EXPECT_EQ(Names(), (std::vector<std::string>{"A", "B", "C"}));
    // at EOF the record goes to the end
    Add("D", 4);
    EXPECT_EQ(Names(), (std::vector<std::string>{"A", "B", "C", "D"}));

    ASSERT_TRUE(Select(3));
    OpenMemory(" DESCENDING ALIAS sorted");
    ClearRecord();
    EXPECT_DBF_ERROR(Append(), 1100, "[APPEND]");
    SetKeyMaker([](const std::uint8_t *b) {
        return std::string(reinterpret_cast<const char *>(b + 2), 10);
    });
    for (const char *n : {"m", "z", "a", "q", "m2"})
        Add(n, 0);
    EXPECT_EQ(Names(), (std::vector<std::string>{"z", "q", "m2", "m", "a"}));
    SetAppendMode(LStatusType::ASCENDING);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "m", "m2", "q", "z"}));
    Add("n", 0);
    EXPECT_EQ(RecNo(), 4);
}

TEST_F(WorkAreaTest, LinkedListPositioningMatchesRecordNumbers) {
    OpenMemory(" LIFO");
    for (int i = 1; i <= 200; ++i)
        Add("r" + std::to_string(i), i);
    // Record n holds the (201 - n)-th appended record; reach it from all directions.
    for (int n : {1, 200, 100, 101, 2, 199, 57, 143}) {
        GO(n);
        EXPECT_EQ(GetFieldNumber(2), 201 - n) << n;
        EXPECT_EQ(RecNo(), n);
    }
    GO(150);
    SKIP(-149);
    EXPECT_EQ(RecNo(), 1);
    SKIP(199);
    EXPECT_EQ(GetFieldNumber(2), 1);
    PutFieldNumber(2, -1);
    Replace();
    GoTop();
    GoBottom();
    EXPECT_EQ(GetFieldNumber(2), -1);
    EXPECT_DBF_ERROR(GO(201), 212, "Invalid record number = 201 Database \"MEM\" [GO]");
}

// Many records appended at once must land exactly as one Append after another would place
// them, in every append mode, with the table left on the last one and one move notified.
TEST_F(WorkAreaTest, AppendRecordsPlacesLikeRepeatedAppends) {
    const std::vector<std::string> names = {"m", "z", "a", "q", "m2", "b"};
    for (const char *mode : {"", " LIFO", " INSERTION", " DESCENDING"}) {
        SCOPED_TRACE(mode);
        const auto key = [](const std::uint8_t *b) {
            return std::string(reinterpret_cast<const char *>(b + 2), 10);
        };
        // One by one in area 1.
        ASSERT_TRUE(Select(1));
        OpenMemory(mode);
        SetKeyMaker(key);
        Add("first", 0);
        Add("second", 0);
        GO(1);
        for (std::size_t i = 0; i < names.size(); ++i)
            Add(names[i], static_cast<int>(i));
        const std::vector<std::string> expected = Names();
        GO(1);
        for (std::size_t i = 0; i < names.size(); ++i)
            Add(names[i], static_cast<int>(i));
        const std::int32_t expectedRecNo = RecNo();
        USE("");

        // All at once in area 2, from field buffers laid one after another.
        ASSERT_TRUE(Select(2));
        std::vector<std::uint8_t> own;
        own.swap(buf_);
        OpenMemory(mode);
        SetKeyMaker(key);
        Add("first", 0);
        Add("second", 0);
        std::vector<std::uint8_t> records;
        for (std::size_t i = 0; i < names.size(); ++i) {
            ClearRecord();
            PutFieldString(1, names[i]);
            PutFieldNumber(2, static_cast<double>(i));
            records.insert(records.end(), buf_.begin(), buf_.end());
        }
        int moves = 0;
        SetAfterMoveNotifier([&] { ++moves; });
        GO(1);
        moves = 0;
        AppendRecords(records.data(), static_cast<std::int32_t>(names.size()));
        EXPECT_EQ(moves, 1);
        EXPECT_EQ(Names(), expected);
        GO(1);
        AppendRecords(records.data(), static_cast<std::int32_t>(names.size()));
        EXPECT_EQ(RecNo(), expectedRecNo);
        EXPECT_EQ(GetFieldString(1).substr(0, 1), "b"); // the buffer holds the last one
        SetAfterMoveNotifier({});
        USE("");
    }
}

TEST_F(WorkAreaTest, AFailedAppendOfManyKeepsTheMoveNotifier) {
    OpenMemory(" DESCENDING"); // no key maker: every append fails
    int moves = 0;
    SetAfterMoveNotifier([&] { ++moves; });
    std::vector<std::uint8_t> records(buf_.size() * 2, 0);
    EXPECT_DBF_ERROR(AppendRecords(records.data(), 2), 1100, "[APPEND]");
    EXPECT_EQ(RecCount(), 0);
    EXPECT_EQ(moves, 0);
    ASSERT_TRUE(CurrentAfterMoveNotifier());
    SetKeyMaker([](const std::uint8_t *) { return std::string(); });
    AppendRecords(records.data(), 2);
    EXPECT_EQ(RecCount(), 2);
    EXPECT_EQ(moves, 1);
}

// Large in-memory tables span several storage chunks; appends at the end, insertions at the
// front and bulk appends must keep every record where the append modes put it.
TEST_F(WorkAreaTest, LargeTablesKeepTheirOrderAcrossStorageChunks) {
    OpenMemory();
    constexpr int Bulk = 100000; // more records of 64 bytes than one chunk holds
    std::vector<std::uint8_t> records;
    records.reserve(static_cast<std::size_t>(Bulk) * buf_.size());
    for (int i = 1; i <= Bulk; ++i) {
        ClearRecord();
        PutFieldNumber(2, i);
        records.insert(records.end(), buf_.begin(), buf_.end());
    }
    AppendRecords(records.data(), Bulk);
    ASSERT_EQ(RecCount(), Bulk);
    EXPECT_EQ(RecNo(), Bulk);
    std::int32_t visited = 0;
    bool inOrder = true;
    VisitRecords([&](std::int32_t n, const std::uint8_t *record) {
        std::int32_t id = 0;
        std::memcpy(&id, record + 1 + 11, sizeof id);
        inOrder = inOrder && n == ++visited && id == n;
    });
    EXPECT_EQ(visited, Bulk);
    EXPECT_TRUE(inOrder);
    SetAppendMode(LStatusType::LIFO);
    Add("front", -1); // the first insertion elsewhere than the end
    SetAppendMode(LStatusType::FIFO);
    AppendRecords(records.data(), 3);
    ASSERT_EQ(RecCount(), Bulk + 4);
    for (int n : {1, 2, Bulk / 2, Bulk, Bulk + 1, Bulk + 2, Bulk + 4}) {
        GO(n);
        const double want = n == 1 ? -1 : n <= Bulk + 1 ? n - 1 : n - Bulk - 1;
        EXPECT_EQ(GetFieldNumber(2), want) << n;
    }
    // Reading the stored records in place sees the same order, without moving.
    GO(5);
    std::vector<std::int32_t> ids;
    std::int32_t expectedNo = 0;
    VisitRecords([&](std::int32_t n, const std::uint8_t *record) {
        EXPECT_EQ(n, ++expectedNo);
        std::int32_t id = 0;
        std::memcpy(&id, record + 1 + 11, sizeof id);
        ids.push_back(id);
    });
    EXPECT_EQ(RecNo(), 5);
    ASSERT_EQ(ids.size(), static_cast<std::size_t>(Bulk + 4));
    EXPECT_EQ(ids.front(), -1);
    EXPECT_EQ(ids[1], 1);
    EXPECT_EQ(ids[Bulk], Bulk);
    EXPECT_EQ(ids.back(), 3);
}

TEST_F(WorkAreaTest, AfterMoveNotifierRunsOnMovement) {
    OpenMemory();
    int moves = 0;
    SetAfterMoveNotifier([&] { ++moves; });
    Add("A", 1);
    Add("B", 2);
    moves = 0;
    GoTop();
    SKIP(1);
    GO(1);
    GoBottom();
    EXPECT_EQ(moves, 4);
}

// ---------------------------------------------------------------------------------------------
// Locate and Continue, on both kinds of table

class LocateTest : public WorkAreaTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        WorkAreaTest::SetUp();
        if (GetParam())
            OpenMemory();
        else
            OpenPlayers();
        Add("Bobby", 1, 1.5);
        Add("BOB", 2, 2.25);
        Add("Alice", 3, 1.5);
        Add("Bob", 4, 10);
        Add("bobcat", 5, 0);
    }
};

TEST_P(LocateTest, DefaultIsCaseSensitivePrefix) {
    EXPECT_TRUE(Locate("name", std::string("Bob")));
    EXPECT_EQ(RecNo(), 1);
    EXPECT_TRUE(Continue());
    EXPECT_EQ(RecNo(), 4);
    EXPECT_FALSE(Continue());
    EXPECT_TRUE(dEOF());
    EXPECT_EQ(RecNo(), 6);
    EXPECT_FALSE(Continue()); // scans nothing, stays at EOF
    EXPECT_TRUE(dEOF());
    EXPECT_TRUE(Locate("NAME", std::string("Bob   "))); // trailing blanks of the value ignored
    EXPECT_EQ(RecNo(), 1);
}

TEST_P(LocateTest, Options) {
    EXPECT_TRUE(Locate("NAME NOCASE", std::string("bob")));
    EXPECT_EQ(RecNo(), 1);
    EXPECT_TRUE(Continue());
    EXPECT_EQ(RecNo(), 2);
    EXPECT_TRUE(Locate(" name  contained ", std::string("ice")));
    EXPECT_EQ(RecNo(), 3);
    EXPECT_TRUE(Locate("NAME CONTAINED NOCASE", std::string("CAT")));
    EXPECT_EQ(RecNo(), 5);
    // EXACT compares whole texts: the disk text carries the blanks up to the width.
    const std::string exact = GetParam() ? "Bob" : "Bob       ";
    EXPECT_TRUE(Locate("NAME EXACT", exact));
    EXPECT_EQ(RecNo(), 4);
    EXPECT_FALSE(Locate("NAME EXACT", std::string("Bo")));
    EXPECT_TRUE(dEOF());
}

TEST_P(LocateTest, NumbersCompareAsFormattedText) {
    EXPECT_TRUE(Locate("DBID", std::int32_t{4}));
    EXPECT_EQ(RecNo(), 4);
    EXPECT_TRUE(Locate("SCORE", 1.5));
    EXPECT_EQ(RecNo(), 1);
    EXPECT_TRUE(Continue());
    EXPECT_EQ(RecNo(), 3);
    EXPECT_TRUE(Locate("SCORE", 2.249)); // rounds to the field's 2 decimals
    EXPECT_EQ(RecNo(), 2);
    EXPECT_TRUE(Locate("DBID", std::string("5")));
    EXPECT_EQ(RecNo(), 5);
    double d = 10;
    EXPECT_TRUE(LocateRaw("SCORE", &d));
    EXPECT_EQ(RecNo(), 4);
    EXPECT_FALSE(Locate("DBID", std::int32_t{9}));
    EXPECT_TRUE(dEOF());
}

TEST_P(LocateTest, ErrorsAndMultiFieldLocate) {
    EXPECT_DBF_ERROR(Locate("  ", std::string("x")), 220,
                     "No field name specified [Locate/Count/Sum]");
    // the locate expression is trimmed first, so a lone option is taken as the field name
    EXPECT_DBF_ERROR(Locate(" NOCASE", std::string("x")), 220,
                     "Unrecognized field name [Locate/Count/Sum(NOCASE)]");
    EXPECT_DBF_ERROR(Locate("NICK", std::string("x")), 220,
                     "Unrecognized field name [Locate/Count/Sum(NICK)]");
    EXPECT_TRUE(LocateMulti("DBID;NAME", std::string("Ali"), " NOCASE"));
    EXPECT_EQ(RecNo(), 3);
    EXPECT_TRUE(LocateMulti("NAME extra;DBID", std::string("2"), ""));
    EXPECT_EQ(RecNo(), 2);
    EXPECT_FALSE(LocateMulti("NAME", std::string("Zed"), " EXACT"));
    EXPECT_TRUE(dEOF());
}

TEST_F(WorkAreaTest, ContinueWithoutLocate) {
    OpenMemory();
    EXPECT_DBF_ERROR(Continue(), 220,
                     "Call to CONTINUE not preceeded by call to LOCATE. [Continue]");
}

INSTANTIATE_TEST_SUITE_P(DiskAndMemory, LocateTest, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Memory" : "Disk"; });

} // namespace
