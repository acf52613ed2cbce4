// Dataset classes: opening, field objects, record commands, navigation and data links.
#include "dbf/dataset.h"
#include "dbf/vfile.h"

#include "dbftest_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace dbf;

const std::vector<std::string> kPlayers = {
    "Name,C,30,0",       "dbID,N,10,0",     "GameID,N,4,0", "Connect,N,20,13",
    "TotalTime,N,20,13", "LastTime,C,19,0", "IP,C,30,0",    "Kills,N,10,0",
    "AdjScore,N,12,4",   "Active,L,1,0",    "Seen,D,8,0"};

class DataSetTest : public dbftest::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        SetInfoHandler([this](const std::string &text) { infos_.push_back(text); });
    }
    void TearDown() override {
        SetInfoHandler({});
        EngineTest::TearDown();
    }

    void Configure(TTzVFile &t, const std::string &file = "Players.dbf") {
        t.DbfFields = kPlayers;
        t.SetDbfFileName(Path(file));
        t.PopulateFromDisk = true;
        t.SaveToDisk = true;
    }

    void AddPlayer(TTzVFile &t, const std::string &name, int id) {
        t.ClearRecord();
        t.FieldByName("Name").SetAsString(name);
        t.FieldByName("dbID").SetAsInteger(id);
        t.AppendRec();
    }

    std::vector<std::string> infos_;
};

TEST_F(DataSetTest, OpeningRefusesMissingDefinitionsAndFileName) {
    TTzVFile noName("Players");
    noName.DbfFields = kPlayers;
    EXPECT_DBF_ERROR(noName.SetActive(true), kErrInvalidOperation,
                     "DBF file name has not been specified for Players");
    EXPECT_FALSE(noName.Active());

    TTzVFile empty("Kills");
    empty.SetDbfFileName(Path("Kills"));
    try {
        empty.SetActive(true);
        ADD_FAILURE() << "opened without field definitions";
    } catch (const EDatabaseError &e) {
        EXPECT_STREQ(e.what(), "Kills.DbfFields undefined. Set Active to TRUE");
    }
    ASSERT_EQ(infos_.size(), 1u);
    EXPECT_EQ(infos_[0], "FieldList.Count is <= 0 trying to create a database");

    TTzVFile bad("Bad");
    bad.SetDbfFileName(Path("bad"));
    bad.DbfFields = {"Name,C,30,0", "dbID,N,10"};
    EXPECT_THROW(bad.SetActive(true), EDatabaseError);
    EXPECT_FALSE(bad.Active());
    EXPECT_EQ(bad.WorkArea(), 0);
}

TEST_F(DataSetTest, FileNameGetsDbfExtensionOnlyWhenItHasNone) {
    EXPECT_EQ(WithDbfExtension("  stats "), "stats.DBF");
    EXPECT_EQ(WithDbfExtension("players.dbf"), "players.dbf");
    EXPECT_EQ(WithDbfExtension("stats."), "stats.");
    EXPECT_EQ(WithDbfExtension("dir.v1/stats"), "dir.v1/stats.DBF");
    EXPECT_EQ(WithDbfExtension(""), "");
}

TEST_F(DataSetTest, RecordCommandOnClosedTableReportsNotOpen) {
    TTzVFile t("Players");
    EXPECT_DBF_ERROR(t.Zap(), kErrInvalidOperation, "Database is not open [Players.Zap]");
    EXPECT_DBF_ERROR(t.LocateRec("NAME", "Bob"), kErrInvalidOperation,
                     "Database is not open [Players.LocateRec]");
    TTzVFile unnamed;
    EXPECT_DBF_ERROR(unnamed.AppendRec(), kErrInvalidOperation,
                     "Error # 1103 (Invalid Operation )\r\nDatabase is not open [.AppendRec]");
}

TEST_F(DataSetTest, OpenWithoutFileGivesEmptyTableAtBothEnds) {
    TTzVFile t("Players");
    Configure(t);
    t.SetActive(true);
    EXPECT_TRUE(t.Active());
    EXPECT_EQ(t.RecordCount(), 0);
    EXPECT_TRUE(t.Eof());
    EXPECT_TRUE(t.Bof());
    EXPECT_EQ(t.FieldCount(), 11);
    EXPECT_EQ(t.Fields(0).FieldName(), "NAME");
    EXPECT_FALSE(t.LocateRec("NAME", "Bob"));
    EXPECT_TRUE(t.Eof());
    EXPECT_TRUE(t.Bof());
    t.SetActive(false);
    EXPECT_FALSE(std::filesystem::exists(Path("Players.dbf"))) << "unchanged table written";
}

TEST_F(DataSetTest, ClearRecordThenAppendStoresWrittenFieldsAndBlanks) {
    TTzVFile t("Players");
    Configure(t);
    t.SetActive(true);
    AddPlayer(t, "Zed", 1);

    t.ClearRecord();
    EXPECT_EQ(t.State(), TDataSetState::dsEdit);
    EXPECT_EQ(t.FieldByName("NAME").AsString(), "") << "blank record copied back";
    t.FieldByName("Name").SetAsString("Bob");
    t.FieldByName("GameID").SetAsInteger(2050);
    t.AppendRec();

    EXPECT_EQ(t.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(t.RecordCount(), 2);
    EXPECT_EQ(t.RecNo(), 2);
    EXPECT_FALSE(t.Eof());
    EXPECT_EQ(t.FieldByName("name").AsString(), "Bob");
    EXPECT_EQ(t.FieldByName("gameid").AsInteger(), 2050);
    EXPECT_EQ(t.FieldByName("DBID").AsInteger(), 0);
    EXPECT_EQ(t.FieldByName("Kills").AsInteger(), 0);
    EXPECT_EQ(t.FieldByName("TotalTime").AsFloat(), 0.0);
    EXPECT_EQ(t.FieldByName("IP").AsString(), "");
    EXPECT_FALSE(t.FieldByName("Active").AsBoolean());
    EXPECT_TRUE(t.FieldByName("Seen").IsNull());
    EXPECT_FALSE(t.FieldByName("Kills").IsNull());
    EXPECT_TRUE(t.Changed());

    // The first record kept its values.
    t.First();
    EXPECT_EQ(t.FieldByName("NAME").AsString(), "Zed");
    EXPECT_EQ(t.FieldByName("DBID").AsInteger(), 1);
}

TEST_F(DataSetTest, ClearRecordOnEmptyTableEntersInsertState) {
    TTzVFile t("Players");
    Configure(t);
    t.SetActive(true);
    t.ClearRecord();
    EXPECT_EQ(t.State(), TDataSetState::dsInsert);
    t.FieldByName("Name").SetAsString("First");
    t.AppendRec();
    EXPECT_EQ(t.RecordCount(), 1);
    EXPECT_FALSE(t.Eof());
    EXPECT_FALSE(t.Bof());
    EXPECT_EQ(t.FieldByName("Name").AsString(), "First");
}

TEST_F(DataSetTest, FieldsFoundByNameWithoutRegardToCase) {
    TTzVFile t("Players");
    Configure(t);
    t.SetActive(true);
    EXPECT_EQ(&t.FieldByName("NAME"), &t.FieldByName("name"));
    EXPECT_EQ(&t.FieldByName("DBID"), &t.FieldByName("dbID"));
    EXPECT_EQ(t.FindField("Nope"), nullptr);
    EXPECT_THROW(t.FieldByName("Nope"), EDatabaseError);
    EXPECT_EQ(t.FieldByName("Connect").DataType(), TFieldType::ftFloat);
    EXPECT_EQ(t.FieldByName("Connect").Precision(), 20);
    EXPECT_EQ(t.FieldByName("dbID").DataType(), TFieldType::ftInteger);
    EXPECT_EQ(t.FieldByName("Name").Size(), 30);
    EXPECT_EQ(t.FieldByName("Active").DataType(), TFieldType::ftBoolean);
    auto *seen = dynamic_cast<TTzDateField *>(&t.FieldByName("Seen"));
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(seen->EditMask, "99/99/9999;1; ");
    EXPECT_EQ(t.FieldProps()->NumberOf("lasttime"), 6);
    EXPECT_EQ(t.FieldProps()->NumberOf("missing"), 0);
}

TEST_F(DataSetTest, FieldValuesAreCutRoundedAndConverted) {
    TTzVFile t("Players");
    Configure(t);
    t.SetActive(true);
    t.ClearRecord();
    t.FieldByName("Name").SetAsString(std::string(40, 'x') + "yz");
    t.FieldByName("Connect").SetAsFloat(45321.51234567890123456);
    t.FieldByName("AdjScore").SetAsFloat(2.71828);
    t.FieldByName("Seen").SetAsDateTime(EncodeDate(2024, 2, 29) + 0.75);
    t.FieldByName("Active").SetAsBoolean(true);
    t.FieldByName("Kills").SetAsFloat(7.6);
    t.AppendRec();

    EXPECT_EQ(t.FieldByName("Name").AsString(), std::string(30, 'x'));
    double connect = t.FieldByName("Connect").AsFloat();
    EXPECT_DOUBLE_EQ(connect, 45321.5123456789);
    EXPECT_NEAR(connect, 45321.5123456789012, 1e-9);
    EXPECT_DOUBLE_EQ(t.FieldByName("AdjScore").AsFloat(), 2.7183);
    EXPECT_EQ(t.FieldByName("Seen").AsDateTime(), EncodeDate(2024, 2, 29));
    EXPECT_EQ(t.FieldByName("Seen").AsString(), "02/29/2024");
    EXPECT_TRUE(t.FieldByName("Active").AsBoolean());
    EXPECT_EQ(t.FieldByName("Active").DisplayText(), "True");
    EXPECT_EQ(t.FieldByName("Kills").AsInteger(), 8);
    EXPECT_THROW(t.FieldByName("Kills").SetAsString("many"), EDatabaseError);

    // A write without edit state goes straight to the current record with ReplaceRec.
    t.FieldByName("Kills").SetAsInteger(t.FieldByName("Kills").AsInteger() + 1);
    t.ReplaceRec();
    t.First();
    EXPECT_EQ(t.FieldByName("Kills").AsInteger(), 9);
}

TEST_F(DataSetTest, DateHelpersRoundTrip) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
    int y, m, d;
    DecodeDate(36526.99, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20000101);
    DecodeDate(EncodeDate(1600, 2, 29), y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 16000229);
}

TEST_F(DataSetTest, LocateRecMatchesPrefixCaseSensitivelyAndEndsOnLastRecord) {
    TTzVFile t("Players");
    Configure(t);
    t.SetActive(true);
    AddPlayer(t, "Bobby", 1);
    AddPlayer(t, "Alice", 2);
    AddPlayer(t, "Carol", 3);

    EXPECT_TRUE(t.LocateRec("NAME", "Bob"));
    EXPECT_EQ(t.RecNo(), 1);
    EXPECT_FALSE(t.Eof());
    EXPECT_EQ(t.FieldByName("DBID").AsInteger(), 1);

    EXPECT_FALSE(t.LocateRec("NAME", "BOB"));
    EXPECT_TRUE(t.Eof());
    EXPECT_FALSE(t.Bof());
    EXPECT_EQ(t.RecNo(), 3) << "not found: the dataset shows the last record";
    EXPECT_EQ(t.FieldByName("Name").AsString(), "Carol");

    EXPECT_TRUE(t.LocateRec("NAME NOCASE", "BOB"));
    EXPECT_TRUE(t.LocateRec("dbID", 2));
    EXPECT_EQ(t.FieldByName("Name").AsString(), "Alice");
    EXPECT_TRUE(t.LocateRec("dbID", 3.0)) << "value taken in the field's type";
    EXPECT_FALSE(t.LocateRec("dbID", 9));
    EXPECT_TRUE(t.Eof());
    EXPECT_DBF_ERROR(t.LocateRec("NOSUCH", "x"), kErrInvalidParameter, "Unrecognized field name");
}

TEST_F(DataSetTest, ContinueWalksTheRowsOfOneKey) {
    TTzVFile kills("Kills");
    kills.DbfFields = {"KillerID,N,10,0", "VictimID,N,10,0", "Kills,N,8,0", "Disc,N,8,0"};
    kills.SetDbfFileName(Path("Kills.dbf"));
    kills.SetActive(true);
    const int pairs[][2] = {{1, 2}, {2, 1}, {1, 3}, {1, 4}, {3, 1}};
    for (auto &p : pairs) {
        kills.ClearRecord();
        kills.FieldByName("KillerID").SetAsInteger(p[0]);
        kills.FieldByName("VictimID").SetAsInteger(p[1]);
        kills.AppendRec();
    }
    // The lookup of the recording code: the killer's rows until the victim matches.
    auto findPair = [&](int killer, int victim) {
        kills.LocateRec("KillerID", killer);
        while (!kills.Eof()) {
            if (kills.FieldByName("VictimID").AsInteger() == victim) return true;
            kills.Continue();
        }
        return false;
    };
    EXPECT_TRUE(findPair(1, 4));
    EXPECT_EQ(kills.RecNo(), 4);
    EXPECT_FALSE(findPair(1, 5));
    EXPECT_TRUE(kills.Eof());
    EXPECT_EQ(kills.RecNo(), 5);
    EXPECT_TRUE(findPair(3, 1));

    // A new pair appended after a failed search.
    EXPECT_FALSE(findPair(4, 4));
    kills.ClearRecord();
    kills.FieldByName("KillerID").SetAsInteger(4);
    kills.FieldByName("VictimID").SetAsInteger(4);
    kills.FieldByName("Disc").SetAsInteger(1);
    kills.AppendRec();
    EXPECT_EQ(kills.RecordCount(), 6);
    EXPECT_TRUE(findPair(4, 4));
    EXPECT_EQ(kills.FieldByName("Disc").AsInteger(), 1);
    EXPECT_EQ(kills.FieldByName("Kills").AsInteger(), 0);
}

TEST_F(DataSetTest, MultiFieldLocateHonoursCaseAndPartialOptions) {
    TTzVFile t("Players");
    Configure(t);
    t.SetActive(true);
    AddPlayer(t, "Bobby", 1);
    t.ClearRecord();
    t.FieldByName("IP").SetAsString("bob");
    t.AppendRec();

    EXPECT_FALSE(t.Locate("Name;IP", "Bob"));
    EXPECT_TRUE(t.Locate("Name;IP", "Bob", {.caseInsensitive = true}));
    EXPECT_EQ(t.RecNo(), 2);
    EXPECT_TRUE(t.Locate("Name;IP", "Bob", {.caseInsensitive = false, .partialKey = true}));
    EXPECT_EQ(t.RecNo(), 1);
}

TEST_F(DataSetTest, FirstAndMoveByVisitEveryRecordOnce) {
    TTzVFile t("Players");
    Configure(t);
    t.SetActive(true);
    for (int i = 1; i <= 5; ++i)
        AddPlayer(t, "P" + std::to_string(i), i);

    // The close-out loop of the statistics: First, change, ReplaceRec, MoveBy(1).
    t.DisableControls();
    t.First();
    EXPECT_TRUE(t.Bof());
    int visited = 0;
    while (!t.Eof()) {
        t.FieldByName("GameID").SetAsInteger(100 + t.FieldByName("dbID").AsInteger());
        t.ReplaceRec();
        t.MoveBy(1);
        ++visited;
    }
    t.EnableControls();
    EXPECT_EQ(visited, 5);
    EXPECT_EQ(t.RecNo(), 5);

    t.First();
    EXPECT_EQ(t.MoveBy(2), 2);
    EXPECT_EQ(t.FieldByName("GameID").AsInteger(), 103);
    EXPECT_EQ(t.MoveBy(10), 2);
    EXPECT_TRUE(t.Eof());
    EXPECT_EQ(t.MoveBy(-10), -4);
    EXPECT_TRUE(t.Bof());
    EXPECT_EQ(t.RecNo(), 1);
    t.Last();
    EXPECT_EQ(t.RecNo(), 5);
    EXPECT_TRUE(t.Eof());
    t.SetRecNo(3);
    EXPECT_EQ(t.FieldByName("Name").AsString(), "P3");
}

TEST_F(DataSetTest, ZapEmptiesTheTableAndMarksItChanged) {
    TTzVFile t("Players");
    Configure(t);
    t.SetActive(true);
    AddPlayer(t, "A", 1);
    t.WriteToDisk();
    EXPECT_FALSE(t.Changed());
    EXPECT_TRUE(t.Zap());
    EXPECT_TRUE(t.Changed());
    EXPECT_EQ(t.RecordCount(), 0);
    EXPECT_TRUE(t.Eof());
    EXPECT_TRUE(t.Bof());
    t.SetActive(false);

    TTzVFile again("Players");
    Configure(again);
    again.SetActive(true);
    EXPECT_EQ(again.RecordCount(), 0) << "the zapped table was written on close";
}

class CountingLink : public TTzDataLink {
public:
    int active = 0, changed = 0, scrolled = 0, record = 0, editing = 0;

protected:
    void ActiveChanged() override { ++active; }
    void DataSetChanged() override { ++changed; }
    void DataSetScrolled(int) override { ++scrolled; }
    void RecordChanged(TField *) override { ++record; }
    void EditingChanged() override { ++editing; }
};

TEST_F(DataSetTest, DataLinksFollowTheDatasetUnlessControlsAreDisabled) {
    TTzVFile t("Players");
    Configure(t);
    CountingLink link;
    link.SetDataSet(&t);
    int afterSet = link.active;
    t.SetActive(true);
    EXPECT_GT(link.active, afterSet);
    EXPECT_TRUE(link.Active());

    AddPlayer(t, "A", 1);
    AddPlayer(t, "B", 2);
    EXPECT_GT(link.record, 0);
    EXPECT_GT(link.changed, 0);
    t.First();
    int scrolled = link.scrolled;
    t.Next();
    EXPECT_EQ(link.scrolled, scrolled + 1);

    CountingLink snapshot;
    int changed = link.changed, record = link.record;
    scrolled = link.scrolled;
    t.DisableControls();
    t.DisableControls();
    t.First();
    t.Next();
    t.FieldByName("Kills").SetAsInteger(3);
    t.ReplaceRec();
    EXPECT_EQ(link.changed, changed);
    EXPECT_EQ(link.record, record);
    EXPECT_EQ(link.scrolled, scrolled);
    t.EnableControls();
    EXPECT_EQ(link.changed, changed) << "still disabled once";
    t.EnableControls();
    EXPECT_EQ(link.changed, changed + 1) << "one change notice when enabled again";

    {
        CountingLink shortLived;
        shortLived.SetDataSet(&t);
    }
    t.First(); // the destroyed link is no longer called
    t.SetActive(false);
    EXPECT_FALSE(link.Active());
}

TEST_F(DataSetTest, ReadRowLeavesTheDatasetAndUnpostedWritesAlone) {
    TTzVFile t("Players");
    Configure(t);
    t.SetActive(true);
    AddPlayer(t, "A", 1);
    AddPlayer(t, "B", 2);
    AddPlayer(t, "C", 3);
    t.SetRecNo(2);
    t.FieldByName("Kills").SetAsInteger(42); // not yet replaced

    std::vector<std::string> texts;
    bool deleted = true;
    ASSERT_TRUE(t.ReadRow(3, texts, deleted));
    EXPECT_FALSE(deleted);
    ASSERT_EQ(texts.size(), 11u);
    EXPECT_EQ(texts[0], "C");
    EXPECT_EQ(texts[1], "3");
    EXPECT_FALSE(t.ReadRow(4, texts, deleted));
    EXPECT_EQ(t.RecNo(), 2);

    t.ReplaceRec();
    EXPECT_EQ(t.FieldByName("Name").AsString(), "B");
    EXPECT_EQ(t.FieldByName("Kills").AsInteger(), 42);
}

TEST_F(DataSetTest, DeleteAndRestoreRunTheRestoreEvents) {
    TTzVFile t("Players");
    Configure(t);
    t.SetActive(true);
    AddPlayer(t, "A", 1);
    std::vector<std::string> events;
    t.BeforeRestore = [&](TTzDataSet &) { events.push_back("before"); };
    t.AfterRestore = [&](TTzDataSet &) { events.push_back("after"); };
    t.Delete();
    EXPECT_TRUE(t.RecordDeleted());
    std::vector<std::string> texts;
    bool deleted = false;
    ASSERT_TRUE(t.ReadRow(1, texts, deleted));
    EXPECT_TRUE(deleted);
    t.SetRecordDeleted(false);
    EXPECT_FALSE(t.RecordDeleted());
    EXPECT_EQ(events, (std::vector<std::string>{"before", "after"}));
}

TEST_F(DataSetTest, GridStylePostEditsAndInserts) {
    TTzVFile t("Players");
    Configure(t);
    t.SetActive(true);
    t.Insert();
    EXPECT_EQ(t.State(), TDataSetState::dsInsert);
    t.FieldByName("Name").SetAsString("New");
    t.Post();
    EXPECT_EQ(t.RecordCount(), 1);
    t.Edit();
    t.FieldByName("Name").SetAsString("Renamed");
    t.Cancel();
    EXPECT_EQ(t.FieldByName("Name").AsString(), "New");
    t.Edit();
    t.FieldByName("Name").SetAsString("Renamed");
    t.Post();
    t.First();
    EXPECT_EQ(t.FieldByName("Name").AsString(), "Renamed");
}

TEST_F(DataSetTest, ClosedDatasetRefusesFrameworkCalls) {
    TTzVFile t("Players");
    EXPECT_THROW(t.First(), EDatabaseError);
    EXPECT_THROW(t.MoveBy(1), EDatabaseError);
    Configure(t);
    t.SetActive(true);
    TField &f = t.FieldByName("Name");
    (void)f;
    t.SetActive(false);
    EXPECT_EQ(t.FindField("Name"), nullptr);
}

// A dataset acts in its own engine whichever engine is current: the engines' work areas, current
// work areas and error modes are apart, so a full default engine does not stop another one.
TEST_F(DataSetTest, EachEngineHasItsOwnWorkAreasAndErrorMode) {
    std::vector<std::unique_ptr<TTzVFile>> filling;
    for (int i = 0; i < kWorkAreaCount; ++i) {
        filling.push_back(std::make_unique<TTzVFile>("T" + std::to_string(i)));
        Configure(*filling.back(), "T" + std::to_string(i) + ".dbf");
        filling.back()->SetActive(true);
    }
    EXPECT_DBF_ERROR(Select(0), kErrInvalidParameter, "No free workarea available [Select(0)]");
    AddPlayer(*filling[0], "Theirs", 8);
    Select(5);

    TableEngine other;
    other.errors().immediate = false; // this engine reports nothing by itself
    TTzVFile own("Own");
    own.SetEngine(other);
    own.AppendRec(); // closed: error 1103, kept as the other engine's last error
    EXPECT_EQ(other.errors().code, kErrInvalidOperation);
    EXPECT_EQ(LastErrorCode(), kErrNone);

    Configure(own, "Own.dbf");
    own.SetActive(true);
    EXPECT_EQ(own.WorkArea(), 1);
    EXPECT_THROW(own.SetEngine(DefaultEngine()), EDatabaseError);
    AddPlayer(own, "Mine", 7);
    EXPECT_EQ(CurrentWorkArea(), 5); // the other engine's commands left this one alone
    {
        EngineScope scope(other);
        EXPECT_EQ(CurrentWorkArea(), 1);
        EXPECT_EQ(RecCount(), 1);
        EXPECT_FALSE(ExceptionsMode());
    }
    EXPECT_TRUE(ExceptionsMode());
    own.SetActive(false);
    filling[0]->SetActive(false);
    for (const auto &[file, name] : {std::pair{"Own.dbf", "Mine"}, {"T0.dbf", "Theirs"}}) {
        TTzVFile back("Back");
        Configure(back, file);
        back.SetActive(true);
        ASSERT_EQ(back.RecordCount(), 1) << file;
        EXPECT_EQ(back.FieldByName("Name").AsString(), name);
        back.SetActive(false);
    }
}

} // namespace
