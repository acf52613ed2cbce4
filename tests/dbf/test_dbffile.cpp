#include "dbf/codepage.h"
#include "dbf/dbffile.h"
#include "dbf/storedint_p.h"
#include "dbftest_util.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

using namespace dbf;
using dbftest::EngineTest;
using dbftest::Le16;
using dbftest::Le32;
using dbftest::ReadBytes;
using dbftest::WriteBytes;

namespace {

const std::vector<FieldDef> kStats = {
    {"Name", 'C', 30, 0}, {"dbID", 'N', 10, 0}, {"GameID", 'N', 4, 0}};

class DbfFileTest : public EngineTest {};

// ---------------------------------------------------------------------------------------------
// Creating

TEST_F(DbfFileTest, CreatedHeaderHasTheDocumentedBytes) {
    ASSERT_TRUE(CreateDbf(Path("stats"), kStats));
    auto b = ReadBytes(Path("stats.DBF"));
    ASSERT_EQ(b.size(), 130u);
    EXPECT_EQ(b[0], 0x03);
    EXPECT_GE(b[1], 124); // written with today's date
    EXPECT_GE(b[2], 1);
    EXPECT_LE(b[2], 12);
    EXPECT_EQ(Le32(b, 4), 0u);
    EXPECT_EQ(Le16(b, 8), 129);
    EXPECT_EQ(Le16(b, 10), 45);
    EXPECT_EQ(b[128], 0x0D);
    EXPECT_EQ(b[129], 0x1A);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(&b[32])), "NAME");
    EXPECT_EQ(b[32 + 11], 'C');
    EXPECT_EQ(b[32 + 16], 30);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(&b[64])), "DBID");
    EXPECT_EQ(b[64 + 16], 10);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(&b[96])), "GAMEID");
    for (int i = 12; i < 32; ++i)
        EXPECT_EQ(b[static_cast<std::size_t>(i)], 0) << i;
}

TEST_F(DbfFileTest, CreateAppliesItsOwnRules) {
    ASSERT_TRUE(CreateDbf(Path("t.dbf"), {{"  verylongfieldname  ", 'c', 5, 3},
                                          {"d", 'D', 3, 2},
                                          {"l", 'L', 9, 0},
                                          {"n", 'N', 8, 2},
                                          {"m", 'm', 1, 1}}));
    auto b = ReadBytes(Path("t.dbf"));
    EXPECT_EQ(b[0], 0x8B); // memo field
    // trailing blanks go, then the cut to 10, then the leading blanks
    EXPECT_EQ(std::string(reinterpret_cast<char *>(&b[32])), "VERYLONG");
    EXPECT_EQ(b[32 + 11], 'C');
    EXPECT_EQ(b[32 + 17], 0); // decimals only for N and F
    EXPECT_EQ(b[64 + 16], 8);
    EXPECT_EQ(b[96 + 16], 1);
    EXPECT_EQ(b[128 + 17], 2);
    EXPECT_EQ(b[160 + 11], 'M');
    EXPECT_EQ(b[160 + 16], 10);
    EXPECT_EQ(Le16(b, 10), 1 + 5 + 8 + 1 + 8 + 10);
}

TEST_F(DbfFileTest, CreateRefusesBadDefinitionsAndCreatesNothing) {
    std::vector<std::pair<int, std::string>> seen;
    SetErrorHandler([&](int code, const std::string &msg) { seen.emplace_back(code, msg); });
    EXPECT_FALSE(CreateDbf(Path("a"), {{"  ", 'C', 5, 0}}));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].first, 220);
    EXPECT_EQ(seen[0].second, "Empty field name [CreateDbf(" + Path("a") + ".DBF)]");
    EXPECT_EQ(seen[1].first, 211);
    EXPECT_EQ(seen[1].second, "Invalid dBASE field definition [CreateDBF]");
    seen.clear();
    EXPECT_FALSE(CreateDbf(Path("b"), {{"X", 'Q', 5, 0}}));
    EXPECT_FALSE(CreateDbf(Path("c"), {{"X", 'N', 0, 0}}));
    EXPECT_FALSE(CreateDbf(Path("d"), {}));
    EXPECT_EQ(seen.size(), 3u);
    for (const char *n : {"a.DBF", "b.DBF", "c.DBF", "d.DBF"})
        EXPECT_FALSE(std::filesystem::exists(Path(n))) << n;
}

// ---------------------------------------------------------------------------------------------
// Stored text and the field buffer

TEST(NumberText, FormatsRightAlignedWithDecimalsAndOverflow) {
    EXPECT_EQ(FormatNumber(36498.5, 20, 13), " 36498.5000000000000");
    EXPECT_EQ(FormatNumber(123456.5, 6, 2), "******");
    EXPECT_EQ(FormatNumber(42, 10, 0), "        42");
    EXPECT_EQ(FormatNumber(-7, 4, 0), "  -7");
    EXPECT_EQ(FormatNumber(3.14159, 6, 2), "  3.14");
    EXPECT_EQ(FormatNumber(-0.001, 6, 2), "  0.00"); // no negative zero
    EXPECT_EQ(FormatNumber(12345, 4, 0), "****");
    EXPECT_EQ(FormatNumber(1.0 / 0.0, 5, 0), "*****");
    EXPECT_EQ(ParseNumber("   12.50 "), 12.5);
    EXPECT_EQ(ParseNumber("          "), 0);
    EXPECT_EQ(ParseNumber("******"), 0);
    EXPECT_EQ(ParseInt32(" 99999999999"), 2147483647);
    EXPECT_EQ(ParseInt32("-99999999999"), -2147483647 - 1);
    EXPECT_EQ(FormatNumber(1e300, 20, 2), std::string(20, '*'));
    EXPECT_EQ(FormatNumber(0.125, 6, 2), "  0.12") << "exact ties round to even, as printf does";
    EXPECT_EQ(FormatNumber(2.5, 3, 0), "  3") << "whole numbers round half away from zero";
    // Against the C library's own "%.*f", right-aligned, on values of every magnitude.
    std::uint64_t seed = 42;
    for (int i = 0; i < 5000; ++i) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        const double value =
            static_cast<double>(static_cast<std::int64_t>(seed >> 11) - (1ll << 52)) /
            std::pow(10.0, static_cast<double>(seed % 12));
        const int decimals = static_cast<int>(seed >> 60) % 7;
        char expected[400];
        const int n = std::snprintf(expected, sizeof expected, "%.*f", decimals,
                                    decimals == 0 ? std::round(value) : value);
        std::string want(expected, static_cast<std::size_t>(n));
        if (want.front() == '-' && want.find_first_not_of("-0.") == std::string::npos)
            want.erase(0, 1); // no negative zero
        want = want.size() > 20 ? std::string(20, '*') : std::string(20 - want.size(), ' ') + want;
        EXPECT_EQ(FormatNumber(value, 20, decimals), want) << value << " " << decimals;
    }
}

// The quick reading of stored integers must give exactly what the general reading gives, for
// the usual right-aligned numbers and for everything that leaves its quick path.
TEST(NumberText, QuickIntegerReadingAgreesWithTheGeneralOne) {
    auto same = [](const std::string &text) {
        const auto *bytes = reinterpret_cast<const std::uint8_t *>(text.data());
        const int width = static_cast<int>(text.size());
        EXPECT_EQ(ReadFieldInt32(bytes, width), ParseInt32(text)) << '"' << text << '"';
        // The load's reading of the engine's own form: exactly the texts a write of the value
        // gives back, with that value.
        std::int32_t v = 12345;
        const bool own = ReadEngineInt32(bytes, width, v);
        EXPECT_EQ(own, width > 0 && FormatNumber(ParseInt32(text), width, 0) == text)
            << '"' << text << '"';
        if (own) EXPECT_EQ(v, ParseInt32(text)) << '"' << text << '"';
    };
    for (const char *text : {"",
                             " ",
                             "0",
                             "        0",
                             "       42",
                             "      4294",
                             "2147483647",
                             "2147483648",
                             "-2147483648",
                             "-2147483649",
                             "  -7",
                             "  +7",
                             "12  ",
                             "1 2",
                             "12345678",
                             "        12345678",
                             "12345678        ",
                             "1234567890123456",
                             "9999999999999999",
                             "0000000000000012",
                             "  1.5",
                             "   -1.5",
                             "  2.5",
                             "1e3",
                             "  12a",
                             "abc",
                             "- 5",
                             "\t42",
                             "      \x01",
                             "12\t",
                             "\xB2\xB3",
                             "        1       ",
                             "1       1",
                             "       7",
                             "      07",
                             "      -7",
                             "      -0",
                             "-1234567",
                             "  -1234567",
                             " 12345678",
                             "        -2147483648",
                             "          2147483647",
                             "          2147483648"})
        same(text);
    // Widths 1..20, right-aligned, left-aligned and mixed texts of digits, blanks and signs.
    std::uint64_t seed = 0x9E3779B97F4A7C15ull;
    auto next = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return seed;
    };
    const std::string alphabet = "0123456789          -+.eE*";
    for (int i = 0; i < 20000; ++i) {
        const int width = static_cast<int>(next() % 20) + 1;
        std::string text(static_cast<std::size_t>(width), ' ');
        const auto digits = static_cast<int>(next() % static_cast<std::uint64_t>(width + 1));
        switch (next() % 3) {
        case 0: // right-aligned digits, the common form
            for (int k = width - digits; k < width; ++k)
                text[static_cast<std::size_t>(k)] = static_cast<char>('0' + next() % 10);
            break;
        case 1: // left-aligned
            for (int k = 0; k < digits; ++k)
                text[static_cast<std::size_t>(k)] = static_cast<char>('0' + next() % 10);
            break;
        default:
            for (char &c : text)
                c = alphabet[next() % alphabet.size()];
            break;
        }
        same(text);
    }
}

TEST(FieldBuffer, RecordRoundTripOfEveryType) {
    std::vector<FieldDesc> f = {{"NAME", 'C', 5, 0, 0, 0},  {"SCORE", 'N', 8, 2, 0, 0},
                                {"KILLS", 'N', 6, 0, 0, 0}, {"OK", 'L', 1, 0, 0, 0},
                                {"DAY", 'D', 8, 0, 0, 0},   {"MEMO", 'M', 10, 0, 0, 0}};
    int recLen = 0;
    const int bufSize = LayoutFields(f, &recLen);
    EXPECT_EQ(bufSize, 1 + 6 + 8 + 4 + 1 + 11 + 4);
    EXPECT_EQ(recLen, 1 + 5 + 8 + 6 + 1 + 8 + 10);
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(bufSize));
    ClearFieldBuffer(f, buf.data(), bufSize);
    SetString(f[0], buf.data(), "Bobby Tables"); // cut to the width
    SetNumber(f[1], buf.data(), -12.345);
    SetNumber(f[2], buf.data(), 3e12); // beyond int32: saturates
    SetLogical(f[3], buf.data(), true);
    SetString(f[4], buf.data(), "12/31/2023");
    SetNumber(f[5], buf.data(), 77);
    buf[0] = 1;
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(recLen));
    BufferToRecord(f, buf.data(), raw.data(), recLen);
    EXPECT_EQ(std::string(raw.begin(), raw.end()), "*Bobby  -12.35******T20231231        77");
    std::vector<std::uint8_t> back(static_cast<std::size_t>(bufSize));
    RecordToBuffer(f, raw.data(), back.data());
    EXPECT_EQ(back[0], 1);
    EXPECT_EQ(GetString(f[0], back.data()), "Bobby");
    EXPECT_DOUBLE_EQ(GetNumber(f[1], back.data()), -12.35);
    EXPECT_EQ(GetNumber(f[2], back.data()), 0); // the stars read as 0
    EXPECT_TRUE(GetLogical(f[3], back.data()));
    EXPECT_EQ(GetString(f[4], back.data()), "12/31/2023");
    EXPECT_EQ(GetNumber(f[5], back.data()), 77);
}

TEST(FieldBuffer, ShortTextPadsAndLogicalLettersRead) {
    std::vector<FieldDesc> f = {{"NAME", 'C', 6, 0, 0, 0}, {"L", 'L', 1, 0, 0, 0}};
    int recLen = 0;
    const int bufSize = LayoutFields(f, &recLen);
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(bufSize));
    ClearFieldBuffer(f, buf.data(), bufSize);
    EXPECT_EQ(GetString(f[0], buf.data()), "      ");
    SetString(f[0], buf.data(), "Bob");
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(recLen));
    BufferToRecord(f, buf.data(), raw.data(), recLen);
    RecordToBuffer(f, raw.data(), buf.data());
    EXPECT_EQ(GetString(f[0], buf.data()), "Bob   ");
    for (char c : std::string("TtYy")) {
        raw[7] = static_cast<std::uint8_t>(c);
        RecordToBuffer(f, raw.data(), buf.data());
        EXPECT_TRUE(GetLogical(f[1], buf.data())) << c;
    }
    for (char c : std::string("FfNn? ")) {
        raw[7] = static_cast<std::uint8_t>(c);
        RecordToBuffer(f, raw.data(), buf.data());
        EXPECT_FALSE(GetLogical(f[1], buf.data())) << c;
    }
}

// ---------------------------------------------------------------------------------------------
// Date form

TEST(DateFormTest, DerivedFromTheSystemFormat) {
    auto f = DateFormFromSystem("yyyy-MM-dd", '-');
    EXPECT_EQ(f.order, DateOrder::YMD);
    EXPECT_EQ(f.separator, '.');
    EXPECT_TRUE(f.fourDigitYear);
    f = DateFormFromSystem("dd/MM/yy", '/');
    EXPECT_EQ(f.order, DateOrder::DMY);
    EXPECT_EQ(f.separator, '/');
    EXPECT_FALSE(f.fourDigitYear);
    EXPECT_EQ(DateFormFromSystem("d-M-YYYY", '-').separator, '-');
    EXPECT_EQ(DateFormFromSystem("dd.MM.yyyy", '.').separator, '.');
    f = DateFormFromSystem("dd MM yyyy", ' ');
    EXPECT_EQ(f.order, DateOrder::MDY);
    EXPECT_EQ(f.separator, '/');
}

TEST(DateFormTest, ConvertsBothWaysWithTheCenturyRule) {
    const DateForm mdy4{DateOrder::MDY, '/', true};
    const DateForm dmy2{DateOrder::DMY, '.', false};
    const DateForm ymd2{DateOrder::YMD, '.', false};
    EXPECT_EQ(StoredToDateForm("20240229", mdy4), "02/29/2024");
    EXPECT_EQ(StoredToDateForm("20240229", dmy2), "29.02.24");
    EXPECT_EQ(StoredToDateForm("19991231", ymd2), "99.12.31");
    EXPECT_EQ(StoredToDateForm("        ", mdy4), "  /  /    ");
    EXPECT_EQ(StoredToDateForm("        ", dmy2), "  .  .  ");
    EXPECT_EQ(DateFormToStored("02/29/2024", mdy4), "20240229");
    EXPECT_EQ(DateFormToStored("29.02.24", dmy2), "20240229");
    EXPECT_EQ(DateFormToStored("31.12.49", dmy2), "20491231");
    EXPECT_EQ(DateFormToStored("01.01.50", dmy2), "19500101");
    EXPECT_EQ(DateFormToStored("99.12.31", ymd2), "19991231");
    for (const char *blank : {"  /  /  ", "  -  -  ", "  .  .  ", "  /  /    ", ""})
        EXPECT_EQ(DateFormToStored(blank, mdy4), "        ") << blank;
    EXPECT_EQ(DateFormToStored("13/40/2020", mdy4), "        ");
    EXPECT_EQ(DateFormToStored("ab/cd/efgh", mdy4), "        ");
    EXPECT_EQ(ExpandYear(0), 2000);
    EXPECT_EQ(ExpandYear(49), 2049);
    EXPECT_EQ(ExpandYear(50), 1950);
    EXPECT_EQ(ExpandYear(99), 1999);
}

// ---------------------------------------------------------------------------------------------
// Field-definition strings

TEST(FieldDefString, ParsesTrimsAndExcludes) {
    auto p = ParseFieldDef(" Connect , N , 20 , 13 ", "PlayersTable");
    ASSERT_EQ(p.status, FieldDefStatus::Ok);
    EXPECT_EQ(p.def.name, "Connect");
    EXPECT_EQ(p.def.type, 'N');
    EXPECT_EQ(p.def.width, 20);
    EXPECT_EQ(p.def.decimals, 13);
    EXPECT_FALSE(p.corrected);
    EXPECT_TRUE(p.message.empty());
    EXPECT_EQ(ParseFieldDef("AVeryLongFieldName,C,5,0", "T").def.name, "AVeryLongF");
    EXPECT_EQ(ParseFieldDef("Skip,X,5,0", "T").status, FieldDefStatus::Excluded);
    EXPECT_EQ(ParseFieldDef("Name,C,30", "T").status, FieldDefStatus::Rejected);
    EXPECT_EQ(ParseFieldDef("Name,C,30,0,1", "T").status, FieldDefStatus::Rejected);
}

TEST(FieldDefString, CorrectsAndComposesTheMessage) {
    auto p = ParseFieldDef("Score,N,25,19", "PlayersTable");
    EXPECT_EQ(p.def.type, 'N');
    EXPECT_EQ(p.def.width, 20);
    EXPECT_EQ(p.def.decimals, 18);
    EXPECT_EQ(p.message, "Invalid field definition for PlayersTable: Score,N,25,19. Will use "
                         "corrected definition: Score,N,20,18");
    p = ParseFieldDef("Pct,N,5,4", "T");
    EXPECT_EQ(p.def.width, 5);
    EXPECT_EQ(p.def.decimals, 3);
    p = ParseFieldDef("Name,n,30,0", "T");
    EXPECT_EQ(p.def.type, 'C');
    EXPECT_TRUE(p.corrected);
    p = ParseFieldDef("Memo,C,300,2", "T");
    EXPECT_EQ(p.def.width, 254);
    EXPECT_EQ(p.def.decimals, 0);
    // Written width and decimals both too large: the result must still hold a value.
    p = ParseFieldDef("Big,N,25,24", "T");
    EXPECT_EQ(p.def.width, 20);
    EXPECT_EQ(p.def.decimals, 18);
    p = ParseFieldDef("Tiny,N,1,1", "T");
    EXPECT_EQ(p.def.decimals, 0);
}

// ---------------------------------------------------------------------------------------------
// Opening

class OpenTest : public DbfFileTest {
protected:
    // A valid table with two records, then returned as bytes for tampering.
    std::vector<std::uint8_t> MakeTable() {
        EXPECT_TRUE(CreateDbf(Path("t.dbf"), kStats));
        auto t = OpenDbf(Path("t.dbf"), true);
        std::vector<std::uint8_t> raw(45, ' ');
        std::memcpy(raw.data() + 1, "Alice", 5);
        EXPECT_TRUE(PutDbfRecord(*t, 1, raw.data()));
        std::memcpy(raw.data() + 1, "Bob  ", 5);
        EXPECT_TRUE(PutDbfRecord(*t, 2, raw.data()));
        EXPECT_TRUE(CloseDbf(std::move(t)));
        return ReadBytes(Path("t.dbf"));
    }
    std::string Name() const { return Path("t.dbf"); }
};

TEST_F(OpenTest, AcceptedVersionBytes) {
    auto b = MakeTable();
    for (std::uint8_t v : {0x03, 0x83, 0x8B, 0xF5, 0x05}) {
        b[0] = v;
        WriteBytes(Name(), b);
        auto t = OpenDbf(Name(), false);
        ASSERT_TRUE(t) << int(v);
        EXPECT_EQ(t->hasMemo, (v & 0x80) != 0) << int(v);
        EXPECT_EQ(t->recCount, 2);
        EXPECT_EQ(t->fields.size(), 3u);
    }
}

TEST_F(OpenTest, RefusedVersionByte) {
    auto b = MakeTable();
    b[0] = 0x30;
    WriteBytes(Name(), b);
    EXPECT_DBF_ERROR(OpenDbf(Name(), false), 210,
                     Name() + " is not a dBASE database.(Invalid version byte)+ [USE/OpenDBF]");
}

TEST_F(OpenTest, MalformedHeadersAreRefused) {
    const auto good = MakeTable();
    struct Case {
        const char *what;
        std::function<void(std::vector<std::uint8_t> &)> tamper;
        int code;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"short", [](auto &b) { b.resize(20); }, 210, "(Prolog is less than 32 bytes)"},
        {"no descriptors",
         [](auto &b) {
             b[8] = 32;
             b[9] = 0;
         },
         210, "(Number of fields is out of range) [Use/OpenDbf]"},
        {"header too long",
         [](auto &b) {
             b[8] = 0xFF;
             b[9] = 0x7F;
         },
         210, "Number of fields is out of range"},
        {"header beyond file",
         [](auto &b) {
             b[8] = 0x00;
             b[9] = 0x10;
         },
         100, "Error reading "},
        {"record length 0",
         [](auto &b) {
             b[10] = 0;
             b[11] = 0;
         },
         210, "Record length does not match"},
        {"record length off", [](auto &b) { b[10] = 44; }, 210, "Record length does not match"},
        {"count too large", [](auto &b) { b[4] = 3; }, 210, "shorter than its record count"},
        {"huge count", [](auto &b) { b[7] = 0xFF; }, 210, "Record count is out of range"},
        {"zero width",
         [](auto &b) {
             b[64 + 16] = 0;
             b[10] = 35;
         },
         210, "has width 0"},
        {"bad type", [](auto &b) { b[64 + 11] = 'Z'; }, 211,
         "Field: DBID [Z] in " + Name() + " is not a valid field type"},
        {"old layout short", [](auto &b) { b[0] = 0x02; }, 210,
         "(Header is less than 521 bytes) [Use/OpenDBF]"},
    };
    for (const Case &c : cases) {
        auto b = good;
        c.tamper(b);
        WriteBytes(Name(), b);
        SCOPED_TRACE(c.what);
        EXPECT_DBF_ERROR(OpenDbf(Name(), false), c.code, c.text);
    }
}

TEST_F(OpenTest, MissingFileReportsTheSystemCode) {
    EXPECT_DBF_ERROR(OpenDbf(Path("none"), false), 2,
                     "Failure to open " + Path("none.DBF") + " [USE/OpenDbf]");
}

TEST_F(OpenTest, TruncatedAfterOpenIsAnEngineError) {
    MakeTable();
    auto t = OpenDbf(Name(), false);
    ASSERT_TRUE(t);
    ASSERT_EQ(::truncate(Name().c_str(), 129 + 45 + 10), 0);
    std::vector<std::uint8_t> raw(45);
    EXPECT_TRUE(GetDbfRecord(*t, 1, raw.data()));
    EXPECT_DBF_ERROR(GetDbfRecord(*t, 2, raw.data()), 213, "File:  " + Name() + "  [GetDbfRecord]");
    EXPECT_DBF_ERROR(GetDbfRecord(*t, 3, raw.data()), 212,
                     "Invalid record number = 3 (" + Name() + ")  [GetDbfRecord]");
}

TEST_F(OpenTest, OldLayoutIsReadAndItsHeaderUpdated) {
    std::vector<std::uint8_t> b(521, 0);
    b[0] = 0x02;
    b[1] = 1; // one record
    b[6] = 1 + 4 + 3;
    std::memcpy(&b[8], "NAME", 4);
    b[8 + 11] = 'C';
    b[8 + 12] = 4;
    std::memcpy(&b[24], "NUM", 3);
    b[24 + 11] = 'N';
    b[24 + 12] = 3;
    b[40] = 0x0D;
    for (char c : std::string(" Zed 42"))
        b.push_back(static_cast<std::uint8_t>(c));
    b.push_back(0x1A);
    WriteBytes(Name(), b);
    auto t = OpenDbf(Name(), true);
    ASSERT_TRUE(t);
    EXPECT_TRUE(t->oldLayout);
    ASSERT_EQ(t->fields.size(), 2u);
    EXPECT_EQ(t->headerLength, 521);
    std::vector<std::uint8_t> raw(8), buf(static_cast<std::size_t>(t->bufferSize));
    ASSERT_TRUE(GetDbfRecord(*t, 1, raw.data()));
    RecordToBuffer(t->fields, raw.data(), buf.data());
    EXPECT_EQ(GetString(t->fields[0], buf.data()), "Zed ");
    EXPECT_EQ(GetNumber(t->fields[1], buf.data()), 42);
    ASSERT_TRUE(PutDbfRecord(*t, 2, raw.data()));
    ASSERT_TRUE(CloseDbf(std::move(t)));
    auto after = ReadBytes(Name());
    EXPECT_EQ(Le16(after, 1), 2);
    EXPECT_GE(after[3], 1); // month
    EXPECT_EQ(Le16(after, 6), 8);
    EXPECT_EQ(after.back(), 0x1A);
    EXPECT_EQ(after.size(), 521u + 16 + 1);

    b[40] = 'X'; // no terminator among the descriptors
    for (int i = 2; i < 32; ++i)
        b[static_cast<std::size_t>(8 + 16 * i)] = 'F';
    WriteBytes(Name(), b);
    EXPECT_DBF_ERROR(OpenDbf(Name(), false), 210, "(Number of fields is out of range)");
}

// ---------------------------------------------------------------------------------------------
// Writing and closing

TEST_F(OpenTest, RewriteOnlyAddsNoEndMarker) {
    auto b = MakeTable();
    EXPECT_EQ(Le32(b, 4), 2u);
    ASSERT_EQ(b.size(), 129u + 90 + 1);
    EXPECT_EQ(b.back(), 0x1A);
    b.pop_back(); // drop the marker, then only rewrite a record
    b[1] = b[2] = b[3] = 0;
    WriteBytes(Name(), b);
    auto t = OpenDbf(Name(), false);
    std::vector<std::uint8_t> raw(45);
    ASSERT_TRUE(GetDbfRecord(*t, 2, raw.data()));
    raw[1] = 'R';
    ASSERT_TRUE(PutDbfRecord(*t, 2, raw.data()));
    EXPECT_EQ(t->state, ChangeState::Changed);
    ASSERT_TRUE(CloseDbf(std::move(t)));
    auto after = ReadBytes(Name());
    EXPECT_EQ(after.size(), b.size());
    EXPECT_NE(after[1], 0); // date rewritten
    EXPECT_EQ(after[129 + 45 + 1], 'R');
}

TEST_F(OpenTest, OemTextOnDiskAnsiInMemory) {
    ASSERT_TRUE(CreateDbf(Name(), {{"NAME", 'C', 4, 0}}));
    auto t = OpenDbf(Name(), true);
    std::uint8_t raw[5] = {' ', 0xE9, 0xC4, 0xA3, 'a'}; // é Ä £ in Windows-1252
    ASSERT_TRUE(PutDbfRecord(*t, 1, raw));
    EXPECT_EQ(raw[1], 0xE9); // the caller's record stays ANSI
    ASSERT_TRUE(CloseDbf(std::move(t)));
    auto b = ReadBytes(Name());
    EXPECT_EQ(b[66], 0x82);
    EXPECT_EQ(b[67], 0x8E);
    EXPECT_EQ(b[68], 0x9C);
    t = OpenDbf(Name(), true, false); // ANSI table language: no conversion
    std::uint8_t back[5];
    ASSERT_TRUE(GetDbfRecord(*t, 1, back));
    EXPECT_EQ(back[1], 0x82);
}

TEST(CodePage, TablesAreInversePermutations) {
    for (int c = 0; c < 256; ++c) {
        std::uint8_t b = static_cast<std::uint8_t>(c);
        AnsiToOem(&b, 1);
        if (c < 128) {
            EXPECT_EQ(b, c);
        }
        OemToAnsi(&b, 1);
        EXPECT_EQ(b, c);
    }
    EXPECT_EQ(kOemToAnsi[0x81 - 128], 0xFC); // ü
    EXPECT_EQ(kOemToAnsi[0xA4 - 128], 0xF1); // ñ
    EXPECT_EQ(kOemToAnsi[0xE1 - 128], 0xDF); // ß
    EXPECT_EQ(kAnsiToOem[0xA0 - 128], 0xFF); // no-break space
    EXPECT_EQ(AnsiUpper(std::string("abc\xE9\xFF")), "ABC\xC9\x9F");
}

// ---------------------------------------------------------------------------------------------
// Locks and sharing

TEST_F(OpenTest, SharingAndByteRangeLocksConflictBetweenOpens) {
    MakeTable();
    auto a = OpenDbf(Name(), false);
    auto b = OpenDbf(Name(), false);
    ASSERT_TRUE(a && b);
    EXPECT_DBF_ERROR(OpenDbf(Name(), true), 32, "Failure to open");
    EXPECT_TRUE(LockRegion(a->fd, kAppendLockOffset, 1));
    EXPECT_FALSE(LockRegion(b->fd, kAppendLockOffset, 1));
    EXPECT_FALSE(LockRegion(b->fd, kFileLockOffset, kFileLockLength));
    EXPECT_TRUE(LockRegion(b->fd, RecordLockOffset(5), 1)); // beyond the append byte
    EXPECT_TRUE(UnlockRegion(a->fd, kAppendLockOffset, 1));
    EXPECT_TRUE(LockRegion(b->fd, kAppendLockOffset, 1));
    a.reset();
    b.reset();
    auto ex = OpenDbf(Name(), true);
    ASSERT_TRUE(ex);
    EXPECT_DBF_ERROR(OpenDbf(Name(), false), 32, "Failure to open");
}

} // namespace
