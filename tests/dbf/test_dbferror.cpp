#include "dbf/dbffile.h"
#include "dbf/workarea.h"
#include "dbftest_util.h"

using namespace dbf;
using dbftest::EngineTest;

namespace {

TEST(ErrorText, DescriptionsAndFullText) {
    EXPECT_EQ(ErrorDescription(212), "Request beyond range");
    EXPECT_EQ(ErrorDescription(18), "Too many open files");
    EXPECT_EQ(ErrorDescription(54), "Network busy");
    EXPECT_EQ(ErrorDescription(60), "Remote adapter incompatible");
    EXPECT_EQ(ErrorDescription(205), "Floating point overflow");
    EXPECT_EQ(ErrorDescription(241), "Invalid time specified");
    EXPECT_EQ(ErrorDescription(1103), "Invalid Operation ");
    EXPECT_EQ(ErrorDescription(1250), "Network Error");
    EXPECT_EQ(ErrorDescription(1300), "File format not supported");
    EXPECT_EQ(ErrorDescription(7), "Undefined error");
    EXPECT_EQ(FullErrorText(215, "No database in use [GoTop]  WorkArea = 1"),
              "Error # 215 (No database in use)\r\nNo database in use [GoTop]  WorkArea = 1");
}

class ReportingTest : public EngineTest {};

TEST_F(ReportingTest, ExceptionCarriesCodeAndFullText) {
    try {
        GoTop();
        FAIL() << "no exception";
    } catch (const ERedadError &e) {
        EXPECT_EQ(e.code(), 215);
        EXPECT_STREQ(
            e.what(),
            "Error # 215 (No database in use)\r\nNo database in use [GoTop]  WorkArea = 1");
    }
    EXPECT_EQ(LastErrorCode(), 215);
    EXPECT_EQ(LastErrorMessage(), "No database in use [GoTop]  WorkArea = 1");
    Select(1); // a selecting command clears the error
    EXPECT_EQ(LastErrorCode(), 0);
}

TEST_F(ReportingTest, HandlerReplacesExceptionAndReportingCanBeOff) {
    std::vector<int> codes;
    SetErrorHandler([&](int code, const std::string &) { codes.push_back(code); });
    GO(1);
    EXPECT_EQ(codes, std::vector<int>{215});
    SetErrorHandler({});
    {
        ReportingScope quiet;
        EXPECT_FALSE(ImmediateReporting());
        SKIP(1);
        EXPECT_EQ(LastErrorCode(), 215);
    }
    EXPECT_TRUE(ImmediateReporting());
}

TEST_F(ReportingTest, InfoMessagesGoToTheInstalledHandler) {
    std::string shown;
    SetInfoHandler([&](const std::string &t) { shown = t; });
    ShowInfoMessage(ParseFieldDef("Pct,N,5,4", "Tbl").message);
    EXPECT_EQ(shown, "Invalid field definition for Tbl: Pct,N,5,4. Will use corrected "
                     "definition: Pct,N,5,3");
    SetInfoHandler({});
}

using HaltDeathTest = ReportingTest;

TEST_F(HaltDeathTest, HaltingModeShowsTheBoxAndExitsWithTheCode) {
    SetExceptionsMode(false);
    EXPECT_EXIT(GoTop(), ::testing::ExitedWithCode(215),
                "Program halted\\..*Error # 215 \\(No database in use\\)");
    // The message box is a callback; codes above 255 keep their low byte as exit status.
    EXPECT_EXIT(
        {
            SetHaltHandler([](const std::string &caption, const std::string &text) {
                std::fprintf(stderr, "[%s] %s", caption.c_str(), text.c_str());
            });
            RaiseError(1103, "Database is not open [Stats.Zap]");
        },
        ::testing::ExitedWithCode(1103 & 0xFF),
        "\\[Program halted\\.\\] Error # 1103 \\(Invalid Operation \\)");
}

TEST_F(HaltDeathTest, HaltClosesTheTablesFirst) {
    ASSERT_TRUE(CreateDbf(Path("keep.dbf"), {{"N", 'N', 3, 0}}));
    SetExceptionsMode(false);
    EXPECT_EXIT(
        {
            USE(Path("keep.dbf") + " EXCLUSIVE");
            ClearRecord();
            PutFieldNumber(1, 7);
            Append();
            GO(5); // beyond the count: halts
        },
        ::testing::ExitedWithCode(212), "Invalid record number = 5");
    SetExceptionsMode(true);
    auto b = dbftest::ReadBytes(Path("keep.dbf"));
    EXPECT_EQ(dbftest::Le32(b, 4), 1u); // the header update was written at the halt
    EXPECT_EQ(b.back(), 0x1A);
}

} // namespace
