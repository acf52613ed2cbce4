// Helpers shared by the DBF engine tests: a scratch directory, raw file access and a checker
// for engine errors (the tests run the engine in exceptions mode).
#pragma once

#include "dbf/dbferror.h"
#include "dbf/workarea.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace dbftest {

inline std::vector<std::uint8_t> ReadBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string &path, const std::vector<std::uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline std::uint32_t Le32(const std::vector<std::uint8_t> &b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

inline std::uint16_t Le16(const std::vector<std::uint8_t> &b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

// Runs stmt and expects an ERedadError with the code whose text contains `part`.
#define EXPECT_DBF_ERROR(stmt, expectedCode, part)                                                 \
    do {                                                                                           \
        bool thrown_ = false;                                                                      \
        try {                                                                                      \
            stmt;                                                                                  \
        } catch (const dbf::ERedadError &e_) {                                                     \
            thrown_ = true;                                                                        \
            EXPECT_EQ(e_.code(), (expectedCode)) << e_.what();                                     \
            EXPECT_NE(std::string(e_.what()).find(part), std::string::npos) << e_.what();          \
        }                                                                                          \
        EXPECT_TRUE(thrown_) << "no engine error from " #stmt;                                     \
    } while (0)

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        dbf::SetExceptionsMode(true);
        dbf::SetImmediateReporting(true);
        dbf::SetErrorHandler({});
        dbf::SetHideDeleted(false);
        dbf::SetTableLanguage(dbf::TTzTableLanguage::tlOem);
        dbf::CloseAll();
        dbf::ClearError();
        char tmpl[] = "/tmp/dbftestXXXXXX";
        dir_ = ::mkdtemp(tmpl);
    }
    void TearDown() override {
        try {
            dbf::CloseAll();
        } catch (...) {
        }
        std::filesystem::remove_all(dir_);
    }
    std::string Path(const std::string &name) const { return dir_ + "/" + name; }

    std::string dir_;
};

} // namespace dbftest
