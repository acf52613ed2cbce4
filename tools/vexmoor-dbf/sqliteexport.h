// vexmoor-dbf export --sqlite: tables into one SQLite database.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace dbftool {

// Writes each table as an SQL table named after its file (Kills.dbf -> "Kills") with typed
// columns: "_recno" INTEGER PRIMARY KEY, "_deleted" INTEGER (0/1), then the fields (C TEXT,
// N/F without decimals and M INTEGER, N/F with decimals REAL, L INTEGER 0/1, D TEXT
// YYYY-MM-DD or NULL). Everything is written to a temporary file next to the output in one
// transaction and renamed over it at the end, so a failure leaves no output behind. An
// existing output file is replaced only with force. Throws Failure.
int ExportSqlite(const std::string &output, const std::vector<std::string> &tables, bool force,
                 std::ostream &err);

} // namespace dbftool
