#include "platform/inifile.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using platform::IniFile;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vexmoor-ini-XXXXXX";
        dir = mkdtemp(pattern);
        file = dir / "sub" / "Vexmoor.ini";
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string contents() const {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void writeRaw(const std::string &text) const {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }
    fs::path dir, file;
};

TEST_F(IniFileTest, MissingFileReadsDefaultsAndFirstWriteCreatesItOwnerOnly) {
    IniFile ini(file);
    EXPECT_EQ(ini.read("Vexmoor", "Nick", "none"), "none");
    EXPECT_TRUE(ini.sections().empty());
    ASSERT_TRUE(ini.write("10.0.0.1:28001", "Password", "s3cret"));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(contents(), "[10.0.0.1:28001]\nPassword=s3cret\n");
}

TEST_F(IniFileTest, NamesMatchWithoutCaseAndValuesStayExact) {
    writeRaw("[Vexmoor]\r\nNick= Bob  \r\nspeech_kill=\r\n");
    IniFile ini(file);
    EXPECT_EQ(ini.read("VEXMOOR", "nick"), " Bob  ");
    EXPECT_EQ(ini.read("vexmoor", "Speech_Kill", "x"), "");
    ini.write("VexMoor", "NICK", "Al=ice");
    // The key keeps its spelling in the file; a value may hold '='.
    EXPECT_EQ(ini.read("Vexmoor", "Nick"), "Al=ice");
    EXPECT_NE(contents().find("Nick=Al=ice"), std::string::npos);
}

TEST_F(IniFileTest, SectionsInFileOrderAndNewKeysJoinTheirSection) {
    writeRaw("; comment\n[b:1]\nPassword=x\n\n[Vexmoor]\nNick=n\n\n[a:2]\nPassword=y\n");
    IniFile ini(file);
    EXPECT_EQ(ini.sections(), (std::vector<std::string>{"b:1", "Vexmoor", "a:2"}));
    ini.write("b:1", "Log", "1");
    auto pairs = ini.pairs("B:1");
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[1], (std::pair<std::string, std::string>{"Log", "1"}));
    // The blank line before the next section stays where it was.
    EXPECT_NE(contents().find("Password=x\nLog=1\n\n[Vexmoor]"), std::string::npos);
    ini.write("new:3", "Password", "");
    EXPECT_EQ(ini.sections().back(), "new:3");
}

TEST_F(IniFileTest, EraseSectionRemovesItsKeysAndLeavesOthers) {
    writeRaw("[a:1]\nPassword=x\n[notes]\nText=keep\n[A:1]\nLog=1\n");
    IniFile ini(file);
    ini.eraseSection("a:1");
    EXPECT_EQ(ini.sections(), std::vector<std::string>{"notes"});
    EXPECT_EQ(ini.read("notes", "Text"), "keep");
    EXPECT_TRUE(ini.eraseSection("missing"));
}

TEST_F(IniFileTest, LineBreaksInValuesCannotInjectKeys) {
    IniFile ini(file);
    ini.write("s:1", "Password", "pw\nStats=1");
    EXPECT_EQ(ini.read("s:1", "Password"), "pw");
    EXPECT_EQ(ini.read("s:1", "Stats", "missing"), "missing");
}

TEST_F(IniFileTest, ChangesByAnotherWriterAreSeen) {
    IniFile first(file);
    first.write("Vexmoor", "Nick", "one");
    IniFile second(file);
    second.write("Vexmoor", "Nick", "two-longer");
    EXPECT_EQ(first.read("Vexmoor", "Nick"), "two-longer");
}

TEST_F(IniFileTest, UnwritableLocationReportsFailure) {
    IniFile ini("/proc/vexmoor-cannot-exist/Vexmoor.ini");
    EXPECT_FALSE(ini.write("a", "b", "c"));
    EXPECT_EQ(ini.read("a", "b", "d"), "d");
}

} // namespace
