// vexmoor-dbf dump: a table's records on an output stream.
#pragma once

#include <iosfwd>
#include <string>

namespace dbftool {

enum class DumpFormat {
    Text, // aligned columns with the record number and a "*" for deleted records
    Csv,  // a DELETED column first, then the fields; RFC 4180 quoting
    Json, // one object per line: "_recno", "_deleted", then the fields by name
};

// Writes every record; throws Failure on a table that can not be read.
int Dump(const std::string &file, DumpFormat format, std::ostream &out);

} // namespace dbftool
