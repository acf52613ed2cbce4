// vexmoor-dbf: the statistics tables outside the program.
//
//   vexmoor-dbf info FILE              header, field descriptors, record count
//   vexmoor-dbf dump [--csv] FILE      records as text, or CSV with a header row; deleted
//                                      records are marked "*"
//   vexmoor-dbf create [--force] FILE DEF...   a new empty table ("Name,C,30,0" ...)
//   vexmoor-dbf append [--header] FILE         CSV rows from standard input
//
// Text is UTF-8 on the terminal and Windows-1252 in the engine (OEM code page in the file).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace dbftool {

// Runs one command line (without the program name); returns the exit code. Errors go to err
// as "vexmoor-dbf: ..." lines.
int Run(const std::vector<std::string> &args, std::istream &in, std::ostream &out,
        std::ostream &err);

// CSV (RFC 4180): fields separated by ",", quoted with '"' when they hold a comma, a quote or
// a line break.
std::string CsvField(const std::string &text);
// Splits CSV text into rows; false (with the line number in error) on an unterminated quote.
bool ParseCsv(const std::string &text, std::vector<std::vector<std::string>> &rows,
              std::string &error);

// Windows-1252 <-> UTF-8. Characters without a Windows-1252 form become "?" and are counted.
std::string AnsiToUtf8(const std::string &ansi);
std::string Utf8ToAnsi(const std::string &utf8, int *unmappable = nullptr);

} // namespace dbftool
