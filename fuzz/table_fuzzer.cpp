// Fuzz target: a table file. The bytes are written as a .DBF file and opened the ways the
// programs open one: loaded into the three statistics tables (the in-memory path), rewritten
// from there, and read through the engine's disk-backed work area and the vexmoor-dbf tool.
// Every field of every record is read. A commit of a changed row and a new one is written onto
// a copy of the file (only the changes, when the file allows it) and must give the same bytes
// as a whole rewrite.
#include "dbf/dbferror.h"
#include "dbf/workarea.h"
#include "dbftool.h"
#include "stats/statistics.h"
#include "stats/statstable.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Scratch {
    Scratch() {
        char tmpl[] = "/tmp/vexmoor-fuzz-tableXXXXXX";
        dir = ::mkdtemp(tmpl);
        dbf::SetExceptionsMode(true);
        dbf::SetInfoHandler([](const std::string &) {});
    }
    std::string dir;
};

// Reads every field of every record the way the statistics do.
void loadAsStatistics(const std::string &file, const std::string &copy, const char *const *defs,
                      int count) {
    StatsTable table("Fuzz");
    for (int i = 0; i < count; ++i)
        table.DbfFields.emplace_back(defs[i]);
    table.SetDbfFileName(file);
    table.PopulateFromDisk = true;
    table.SaveToDisk = false;
    table.ShowProgress = false;
    try {
        table.SetActive(true);
        const dbf::TDbfFieldProps *props = table.FieldProps();
        std::int64_t sum = 0;
        table.ScanRows([&](std::int32_t, const std::uint8_t *record) {
            for (const dbf::FieldDesc &f : props->Descs()) {
                if (f.type == 'C')
                    sum += static_cast<std::int64_t>(StatsTable::TextAt(f, record).size());
                else if (f.type == 'N' || f.type == 'F')
                    sum += StatsTable::IntAt(f, record) +
                           static_cast<std::int64_t>(StatsTable::FloatAt(f, record) != 0);
            }
        });
        std::vector<std::string> texts;
        bool deleted = false;
        for (std::int32_t n = 1; n <= table.RecordCount(); ++n)
            table.ReadRow(n, texts, deleted);
        table.SetDbfFileName(copy); // the next write goes beside the input
        table.WriteToDisk();
        table.SetActive(false);
        (void)sum;
    } catch (const dbf::ERedadError &) {
    } catch (const dbf::EDatabaseError &) {
    }
}

std::vector<char> bytesOf(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

// A commit onto the loaded file against a whole rewrite of the same rows.
void commitOnto(const std::string &file, const std::string &work, const std::string &whole) {
    {
        std::ofstream out(work, std::ios::binary | std::ios::trunc);
        const std::vector<char> bytes = bytesOf(file);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    StatsTable table("Fuzz");
    for (const char *def : Statistics::KillsFields)
        table.DbfFields.emplace_back(def);
    table.SetDbfFileName(work);
    table.PopulateFromDisk = true;
    table.SaveToDisk = false;
    table.ShowProgress = false;
    try {
        table.SetActive(true);
        if (table.RecordCount() > 0) {
            table.GotoRow(1);
            dbf::TField &kills = table.FieldByName("Kills");
            kills.SetAsInteger(kills.AsInteger() + 1);
            table.ReplaceRec();
        }
        table.ClearRecord();
        table.FieldByName("KillerID").SetAsInteger(7);
        table.AppendRec();
        table.WriteToDisk();
        table.SetDbfFileName(whole);
        table.WriteToDisk();
        if (bytesOf(work) != bytesOf(whole)) std::abort(); // the two writes must agree
        table.SetActive(false);
    } catch (const dbf::ERedadError &) {
    } catch (const dbf::EDatabaseError &) {
    }
}

// The work-area commands on the file opened as a disk table.
void readAsDiskTable(const std::string &file) {
    try {
        dbf::Select(1);
        if (!dbf::USE(file)) return;
        for (dbf::GoTop(); !dbf::dEOF(); dbf::SKIP(1)) {
            for (int i = 1; i <= dbf::FieldCount(); ++i) {
                dbf::GetFieldString(i);
                dbf::GetFieldNumber(i);
            }
        }
        if (dbf::FieldCount() > 0) dbf::Locate(dbf::Field(1), std::string("A"));
    } catch (const dbf::ERedadError &) {
    }
    try {
        dbf::USE("");
    } catch (const dbf::ERedadError &) {
    }
}

void runTool(const std::vector<std::string> &args) {
    std::istringstream in;
    std::ostringstream out, err;
    dbftool::Run(args, in, out, err);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static Scratch scratch;
    const std::string file = scratch.dir + "/FUZZ.DBF";
    const std::string copy = scratch.dir + "/COPY.DBF";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
    }
    loadAsStatistics(file, copy, Statistics::PlayersFields, std::size(Statistics::PlayersFields));
    loadAsStatistics(file, copy, Statistics::KillsFields, std::size(Statistics::KillsFields));
    loadAsStatistics(file, copy, Statistics::MissionsFields, std::size(Statistics::MissionsFields));
    commitOnto(file, scratch.dir + "/WORK.DBF", copy);
    readAsDiskTable(file);
    runTool({"info", file});
    runTool({"dump", file});
    runTool({"dump", "--csv", file});
    ::unlink(copy.c_str());
    return 0;
}
