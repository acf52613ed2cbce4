// vexmoor-dbf: commands, CSV handling, and refusal of bad input and bad files.
#include "dbftool.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/dbftoolXXXXXX";
        dir_ = ::mkdtemp(tmpl);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const std::string &name) const { return dir_ + "/" + name; }

    int Run(std::vector<std::string> args, const std::string &input = {}) {
        std::istringstream in(input);
        std::ostringstream out, err;
        int rc = dbftool::Run(args, in, out, err);
        out_ = out.str();
        err_ = err.str();
        return rc;
    }

    std::string dir_, out_, err_;
};

TEST_F(ToolTest, CreateAppendAndDumpRoundTrip) {
    const std::string file = Path("players.dbf");
    ASSERT_EQ(
        Run({"create", file, "Name,C,10,0", "dbID,N,6,0", "Score,N,8,2", "On,L,1,0", "Seen,D,8,0"}),
        0)
        << err_;
    ASSERT_EQ(Run({"append", file},
                  "Bob,1,12.345,T,2024-02-29\n\"Smith, \"\"J\"\"\",2,-1,F,\nJosé,3,0,y,20000101\n"),
              0)
        << err_;
    ASSERT_EQ(Run({"append", "--header", file}, "dbid,NAME\n4,Zoë\n"), 0) << err_;

    ASSERT_EQ(Run({"dump", "--csv", file}), 0) << err_;
    EXPECT_EQ(out_, "DELETED,NAME,DBID,SCORE,ON,SEEN\n"
                    ",Bob,1,12.35,T,2024-02-29\n"
                    ",\"Smith, \"\"J\"\"\",2,-1.00,F,\n"
                    ",José,3,0.00,T,2000-01-01\n"
                    ",Zoë,4,0.00,F,\n");

    ASSERT_EQ(Run({"info", file}), 0) << err_;
    EXPECT_NE(out_.find("Records:       4\n"), std::string::npos) << out_;
    EXPECT_NE(out_.find("Header length: 193\n"), std::string::npos) << out_;
    EXPECT_NE(out_.find("SCORE       N         8    2"), std::string::npos) << out_;

    ASSERT_EQ(Run({"dump", file}), 0);
    EXPECT_NE(out_.find("      4   Zoë"), std::string::npos) << out_;
}

TEST_F(ToolTest, BadRowsAppendNothing) {
    const std::string file = Path("t.dbf");
    ASSERT_EQ(Run({"create", file, "N,N,4,0", "D,D,8,0", "L,L,1,0"}), 0);
    const auto size = std::filesystem::file_size(file);
    struct Case {
        std::string input, message;
    } cases[] = {
        {"1,2024-01-01,T\nx,,F\n", "line 2, field N: \"x\" is not a number"},
        {"12345,,F\n", "does not fit in 4 characters"},
        {"1.5,,F\n", "not a whole number"},
        {"1,2023-02-29,T\n", "is not a date"},
        {"1,,maybe\n", "is not a logical value"},
        {"1,2\n", "line 1: 2 values, the table needs 3"},
        {"1,\"open,T\n", "unterminated quoted value"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Run({"append", file}, c.input), 1) << c.input;
        EXPECT_NE(err_.find(c.message), std::string::npos) << err_;
        EXPECT_EQ(std::filesystem::file_size(file), size) << c.input;
    }
    EXPECT_EQ(Run({"append", "--header", file}, "N,Bogus\n1,2\n"), 1);
    EXPECT_NE(err_.find("unknown field: Bogus"), std::string::npos) << err_;
}

TEST_F(ToolTest, RefusesBadFilesAndArguments) {
    EXPECT_EQ(Run({}), 2);
    EXPECT_EQ(Run({"frobnicate", "x"}), 2);
    EXPECT_EQ(Run({"dump", "--xml", "x"}), 2);
    EXPECT_EQ(Run({"info", Path("missing.dbf")}), 1);
    EXPECT_NE(err_.find("no such file"), std::string::npos);

    const std::string junk = Path("junk.dbf");
    std::ofstream(junk) << "not a table at all, but long enough to have thirty-two bytes";
    EXPECT_EQ(Run({"dump", junk}), 1);
    EXPECT_NE(err_.find("is not a dBASE database"), std::string::npos) << err_;

    const std::string file = Path("a.dbf");
    EXPECT_EQ(Run({"create", file, "Name,C,10"}), 1);
    EXPECT_NE(err_.find("bad field definition"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(file));
    ASSERT_EQ(Run({"create", file, "Name,C,10,0"}), 0);
    EXPECT_EQ(Run({"create", file, "Other,C,10,0"}), 1);
    EXPECT_NE(err_.find("--force"), std::string::npos);
    EXPECT_EQ(Run({"create", "--force", file, "Score,N,25,19"}), 0);
    EXPECT_NE(err_.find("Will use corrected definition"), std::string::npos) << err_;
    EXPECT_EQ(Run({"create", file, "--force", "A,C,1,0", "a,N,2,0"}), 1);
    EXPECT_NE(err_.find("defined twice"), std::string::npos);
}

TEST_F(ToolTest, DumpsADateFieldNarrowerThanADateWithoutReadingPastTheRecord) {
    // One record of 2 bytes: the deletion flag and a D field of width 1 holding "2".
    const std::string hex = "037c0306010000004100020000000000000000000000000000000000000000005748"
                            "454e000000000000004400000000010000000000000000000000000000000d2032";
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    const std::string file = Path("when.dbf");
    std::ofstream(file, std::ios::binary) << bytes;
    ASSERT_EQ(Run({"dump", "--csv", file}), 0) << err_;
    EXPECT_EQ(out_, "DELETED,WHEN\n,\n");
}

// Stored texts come from game servers: the text dump shows control characters as U+FFFD so
// that none reaches the terminal; CSV and JSON keep the data exact, quoted or escaped.
TEST_F(ToolTest, DumpsControlCharactersVisiblyOrEscaped) {
    const std::string file = Path("names.dbf");
    ASSERT_EQ(Run({"create", file, "Name,C,24,0"}), 0) << err_;
    const std::string hostile = "\x1b]0;owned\x07\x1b[2JBob\x7f";
    ASSERT_EQ(Run({"append", file}, "\"" + hostile + "\"\n\"Kim\r[12:00:00] x\"\nTab\there\n"), 0)
        << err_;
    const std::string mark = "\xEF\xBF\xBD";
    ASSERT_EQ(Run({"dump", file}), 0) << err_;
    EXPECT_NE(out_.find(mark + "]0;owned" + mark + mark + "[2JBob" + mark), std::string::npos)
        << out_;
    EXPECT_NE(out_.find("Kim" + mark + "[12:00:00] x"), std::string::npos) << out_;
    EXPECT_NE(out_.find("Tab\there"), std::string::npos) << out_; // a tab stays
    for (const char c : out_)
        EXPECT_FALSE((static_cast<unsigned char>(c) < 32 && c != '\n' && c != '\t') || c == 0x7f)
            << "control character " << int(c);

    ASSERT_EQ(Run({"dump", "--csv", file}), 0) << err_;
    EXPECT_EQ(out_, "DELETED,NAME\n,\"" + hostile + "\"\n,\"Kim\r[12:00:00] x\"\n,Tab\there\n");

    ASSERT_EQ(Run({"dump", "--json", file}), 0) << err_;
    EXPECT_NE(out_.find("\"NAME\":\"\\u001b]0;owned\\u0007\\u001b[2JBob\\u007f\""),
              std::string::npos)
        << out_;
    EXPECT_NE(out_.find("\"NAME\":\"Kim\\r[12:00:00] x\""), std::string::npos) << out_;
}

TEST(ToolCsv, ParsesQuotesLineBreaksAndCrLf) {
    std::vector<std::vector<std::string>> rows;
    std::string error;
    ASSERT_TRUE(dbftool::ParseCsv("a,\"b,c\"\r\n\"x\"\"y\",\"two\nlines\"\n,\n", rows, error));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"a", "b,c"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"x\"y", "two\nlines"}));
    EXPECT_EQ(rows[2], (std::vector<std::string>{"", ""}));
    EXPECT_EQ(dbftool::CsvField("plain"), "plain");
    EXPECT_EQ(dbftool::CsvField("a\"b"), "\"a\"\"b\"");
}

TEST(ToolText, ConvertsBetweenUtf8AndWindows1252) {
    EXPECT_EQ(dbftool::AnsiToUtf8("\xC5\x80\x9F"), "Å€Ÿ");
    int bad = 0;
    EXPECT_EQ(dbftool::Utf8ToAnsi("Å€Ÿ", &bad), "\xC5\x80\x9F");
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(dbftool::Utf8ToAnsi("日\xFF", &bad), "??");
    EXPECT_EQ(bad, 2);
}

} // namespace
