#include "dbftool.h"

#include "dump.h"
#include "sqliteexport.h"
#include "tablemap.h"

#include "dbf/dbferror.h"
#include "dbf/dbffile.h"
#include "dbf/workarea.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace dbftool {

namespace {

// Windows-1252 0x80-0x9F; 0 where the code page has no character.
const char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void PutUtf8(std::string &out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Trim(const std::string &s) {
    std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    std::size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string Upper(std::string s) {
    for (char &c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

const char *kUsage = "usage: vexmoor-dbf info FILE\n"
                     "       vexmoor-dbf dump [--csv | --json] FILE\n"
                     "       vexmoor-dbf export --sqlite OUT.db [--force] FILE...\n"
                     "       vexmoor-dbf create [--force] FILE DEF...   (DEF: Name,C,30,0)\n"
                     "       vexmoor-dbf append [--header] FILE < rows.csv\n"
                     "       vexmoor-dbf --help | --version\n";

// The engine runs in exceptions mode: its errors become ERedadError with the full text.
std::string EngineMessage(const dbf::ERedadError &e) {
    std::string text = e.what();
    std::size_t nl = text.find("\r\n");
    if (nl == std::string::npos) return text;
    return text.substr(nl + 2) + " (" + text.substr(0, nl) + ")";
}

std::string TypeName(char t) {
    switch (t) {
    case 'C':
        return "character";
    case 'D':
        return "date";
    case 'F':
        return "float";
    case 'L':
        return "logical";
    case 'M':
        return "memo";
    default:
        return "numeric";
    }
}

int Info(const std::string &file, std::ostream &out) {
    auto table = OpenTable(file);
    std::uint8_t date[3] = {0, 0, 0};
    if (!table->oldLayout) {
        if (::pread(table->fd, date, 3, 1) != 3) date[0] = date[1] = date[2] = 0;
    } else {
        std::uint8_t mdy[3];
        if (::pread(table->fd, mdy, 3, 3) == 3) {
            date[0] = mdy[2];
            date[1] = mdy[0];
            date[2] = mdy[1];
        }
    }
    char version[8];
    std::snprintf(version, sizeof version, "0x%02X", table->version);
    char updated[16];
    std::snprintf(updated, sizeof updated, "%04d-%02d-%02d", 1900 + date[0], date[1], date[2]);
    std::int32_t inFile = table->CountFromFileSize();
    out << "File:          " << table->fileName << "\n"
        << "Version:       " << version << (table->hasMemo ? " (with memo)" : "")
        << (table->oldLayout ? " (dBASE II layout)" : "") << "\n"
        << "Last update:   " << updated << "\n"
        << "Records:       " << table->recCount;
    if (inFile != table->recCount) out << " (the file holds " << inFile << ")";
    out << "\n"
        << "Header length: " << table->headerLength << "\n"
        << "Record length: " << table->recordLength << "\n"
        << "Fields:        " << table->fields.size() << "\n";
    out << "  #  Name        Type  Width  Dec  Offset\n";
    int n = 0;
    for (const dbf::FieldDesc &f : table->fields) {
        char line[96];
        std::snprintf(line, sizeof line, "%3d  %-10s  %c     %5d  %3d  %6d   %s\n", ++n,
                      f.name.c_str(), f.type, f.width, f.decimals, f.offset,
                      TypeName(f.type).c_str());
        out << line;
    }
    dbf::CloseDbf(std::move(table));
    return 0;
}

int Create(const std::string &file, const std::vector<std::string> &defs, bool force,
           std::ostream &err) {
    std::string name = dbf::AddDbfExtension(file);
    if (defs.empty()) throw Failure{"create needs at least one field definition"};
    if (!force && std::filesystem::exists(name))
        throw Failure{name + ": file exists (use --force to replace it)"};
    std::vector<dbf::FieldDef> fields;
    for (const std::string &d : defs) {
        dbf::ParsedFieldDef p = dbf::ParseFieldDef(d, "vexmoor-dbf");
        if (p.status == dbf::FieldDefStatus::Rejected)
            throw Failure{"bad field definition \"" + d +
                          "\": expected NAME,TYPE,WIDTH,DECIMALS (three commas)"};
        if (p.status == dbf::FieldDefStatus::Excluded) continue;
        if (p.corrected) err << "vexmoor-dbf: warning: " << p.message << "\n";
        for (const auto &f : fields)
            if (Upper(f.name) == Upper(p.def.name))
                throw Failure{"field " + Upper(p.def.name) + " is defined twice"};
        fields.push_back(p.def);
    }
    if (fields.empty()) throw Failure{"no fields left to create"};
    if (!dbf::CreateDbf(name, fields)) throw Failure{name + ": cannot be created"};
    return 0;
}

// Checks one CSV value against its field and stores it in the current field buffer.
void PutValue(int fieldNo, const dbf::FieldDesc &f, const std::string &text, std::size_t line,
              std::ostream &err) {
    std::string where = "line " + std::to_string(line) + ", field " + f.name + ": ";
    switch (f.type) {
    case 'C': {
        int unmappable = 0;
        std::string ansi = Utf8ToAnsi(text, &unmappable);
        if (unmappable)
            err << "vexmoor-dbf: warning: " << where << unmappable
                << " character(s) stored as \"?\"\n";
        if (ansi.size() > static_cast<std::size_t>(f.width))
            err << "vexmoor-dbf: warning: " << where << "cut to " << f.width << " characters\n";
        dbf::PutFieldString(fieldNo, ansi);
        return;
    }
    case 'L': {
        std::string t = Upper(Trim(text));
        if (t == "T" || t == "Y" || t == "TRUE" || t == "YES" || t == "1")
            dbf::PutFieldLogical(fieldNo, true);
        else if (t.empty() || t == "F" || t == "N" || t == "FALSE" || t == "NO" || t == "0")
            dbf::PutFieldLogical(fieldNo, false);
        else
            throw Failure{where + "\"" + text + "\" is not a logical value (T or F)"};
        return;
    }
    case 'D': {
        std::string t = Trim(text);
        if (t.empty()) {
            dbf::PutFieldString(fieldNo, dbf::BlankDateForm());
            return;
        }
        std::string digits;
        for (char c : t)
            if (c != '-') digits += c;
        int y = 0, m = 0, d = 0;
        bool ok = digits.size() == 8 &&
                  digits.find_first_not_of("0123456789") == std::string::npos &&
                  (t.size() == 8 || (t.size() == 10 && t[4] == '-' && t[7] == '-'));
        if (ok) {
            std::from_chars(digits.data(), digits.data() + 4, y);
            std::from_chars(digits.data() + 4, digits.data() + 6, m);
            std::from_chars(digits.data() + 6, digits.data() + 8, d);
            static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
            bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
            ok = y >= 1 && m >= 1 && m <= 12 && d >= 1 && d <= kDays[m - 1] &&
                 (m != 2 || d <= (leap ? 29 : 28));
        }
        if (!ok) throw Failure{where + "\"" + text + "\" is not a date (YYYY-MM-DD)"};
        dbf::PutFieldString(fieldNo, dbf::StoredToDateForm(digits));
        return;
    }
    default: {
        std::string t = Trim(text);
        double v = 0;
        if (!t.empty()) {
            const char *b = t.data() + (t[0] == '+' ? 1 : 0);
            auto res = std::from_chars(b, t.data() + t.size(), v);
            if (res.ec != std::errc() || res.ptr != t.data() + t.size() || !std::isfinite(v))
                throw Failure{where + "\"" + text + "\" is not a number"};
        }
        bool integral = f.decimals == 0 || f.type == 'M';
        if (integral && (v != std::floor(v) || v < -2147483648.0 || v > 2147483647.0))
            throw Failure{where + "\"" + text + "\" is not a whole number in the 32-bit range"};
        if (dbf::FormatNumber(v, f.width, integral ? 0 : f.decimals)[0] == '*')
            throw Failure{where + "\"" + text + "\" does not fit in " + std::to_string(f.width) +
                          " characters"};
        dbf::PutFieldNumber(fieldNo, v);
        return;
    }
    }
}

int AppendRows(const std::string &file, bool header, std::istream &in, std::ostream &err) {
    std::string name = dbf::AddDbfExtension(file);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::vector<std::string>> rows;
    std::string error;
    if (!ParseCsv(text, rows, error)) throw Failure{"standard input: " + error};

    // Check the structure before anything is written.
    auto probe = OpenTable(name);
    std::vector<dbf::FieldDesc> fields = probe->fields;
    dbf::CloseDbf(std::move(probe));

    std::vector<int> columnField; // per CSV column: index into fields, -1 = ignored
    std::size_t first = 0;
    if (header) {
        if (rows.empty()) throw Failure{"standard input: no header row"};
        for (const std::string &col : rows[0]) {
            std::string upper = Upper(Trim(col));
            int index = -1;
            for (std::size_t i = 0; i < fields.size(); ++i)
                if (fields[i].name == upper) index = static_cast<int>(i);
            if (index < 0 && upper != "DELETED")
                throw Failure{"header names an unknown field: " + col};
            columnField.push_back(index);
        }
        first = 1;
    } else {
        for (std::size_t i = 0; i < fields.size(); ++i)
            columnField.push_back(static_cast<int>(i));
    }

    dbf::Select(0);
    dbf::USE(name);
    struct Closer {
        ~Closer() {
            try {
                dbf::USE("");
            } catch (...) {
            }
        }
    } closer;

    // Validate every row into field buffers first, then append them all.
    std::vector<std::vector<std::uint8_t>> records;
    std::size_t size = dbf::FieldBufferSize();
    for (std::size_t r = first; r < rows.size(); ++r) {
        const auto &row = rows[r];
        std::size_t line = r + 1;
        if (row.size() == 1 && Trim(row[0]).empty()) continue; // blank line
        if (row.size() != columnField.size())
            throw Failure{"line " + std::to_string(line) + ": " + std::to_string(row.size()) +
                          " values, the table needs " + std::to_string(columnField.size())};
        dbf::ClearRecord();
        for (std::size_t c = 0; c < row.size(); ++c) {
            int fi = columnField[c];
            if (fi < 0) continue;
            PutValue(fi + 1, fields[static_cast<std::size_t>(fi)], row[c], line, err);
        }
        const std::uint8_t *buf = dbf::FieldAddress(0);
        records.emplace_back(buf, buf + size);
    }
    for (const auto &rec : records) {
        std::copy(rec.begin(), rec.end(), dbf::FieldAddress(0));
        if (!dbf::ALock()) throw Failure{name + ": the table is locked by another program"};
        dbf::Append();
        dbf::Unlock();
    }
    dbf::USE("");
    err << "vexmoor-dbf: " << records.size() << " record(s) appended to " << name << "\n";
    return 0;
}

} // namespace

std::string CsvField(const std::string &text) {
    // A control character is kept exact but inside quotes, so the field is plainly delimited.
    const bool plain = std::none_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return c == ',' || c == '"' || (u < 0x20 && c != '\t') || u == 0x7f;
    });
    if (plain) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

bool ParseCsv(const std::string &text, std::vector<std::vector<std::string>> &rows,
              std::string &error) {
    rows.clear();
    std::vector<std::string> row;
    std::string field;
    bool quoted = false, any = false;
    std::size_t line = 1, quoteLine = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == '\n') ++line;
                field += c;
            }
            continue;
        }
        any = true;
        if (c == '"' && field.empty()) {
            quoted = true;
            quoteLine = line;
        } else if (c == ',') {
            row.push_back(std::move(field));
            field.clear();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        } else if (c == '\n') {
            row.push_back(std::move(field));
            field.clear();
            rows.push_back(std::move(row));
            row.clear();
            any = false;
            ++line;
        } else {
            field += c;
        }
    }
    if (quoted) {
        error = "line " + std::to_string(quoteLine) + ": unterminated quoted value";
        return false;
    }
    if (any || !field.empty() || !row.empty()) {
        row.push_back(std::move(field));
        rows.push_back(std::move(row));
    }
    return true;
}

std::string AnsiToUtf8(const std::string &ansi) {
    std::string out;
    out.reserve(ansi.size());
    for (unsigned char c : ansi) {
        if (c < 0x80)
            out += static_cast<char>(c);
        else if (c < 0xA0)
            PutUtf8(out, kCp1252High[c - 0x80] ? kCp1252High[c - 0x80] : U'\uFFFD');
        else
            PutUtf8(out, c);
    }
    return out;
}

std::string Utf8ToAnsi(const std::string &utf8, int *unmappable) {
    std::string out;
    int bad = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        char32_t cp = 0;
        int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + static_cast<std::size_t>(len) > utf8.size()) {
            ++bad;
            out += '?';
            ++i;
            continue;
        }
        cp = len == 1 ? c : c & (0x7F >> len);
        bool ok = true;
        for (int k = 1; k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
            if ((cc & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        i += ok ? static_cast<std::size_t>(len) : 1;
        if (!ok) {
            ++bad;
            out += '?';
            continue;
        }
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += static_cast<char>(cp);
            continue;
        }
        int found = -1;
        for (int k = 0; k < 32; ++k)
            if (kCp1252High[k] != 0 && kCp1252High[k] == cp) found = k;
        if (found >= 0) {
            out += static_cast<char>(0x80 + found);
        } else {
            ++bad;
            out += '?';
        }
    }
    if (unmappable) *unmappable = bad;
    return out;
}

int Run(const std::vector<std::string> &args, std::istream &in, std::ostream &out,
        std::ostream &err) {
    dbf::SetExceptionsMode(true);
    dbf::SetImmediateReporting(true);
    dbf::SetInfoHandler(
        [&err](const std::string &text) { err << "vexmoor-dbf: warning: " << text << "\n"; });
    if (args.empty()) {
        err << kUsage;
        return 2;
    }
    if (args[0] == "-h" || args[0] == "--help") {
        out << kUsage;
        return 0;
    }
    if (args[0] == "--version") {
        out << "vexmoor-dbf " << VEXMOOR_VERSION << "\n";
        return 0;
    }
    const std::string &command = args[0];
    // Options each command takes, and how many file arguments it needs (at least, at most).
    struct Command {
        const char *name;
        std::vector<std::string> options;
        std::size_t minFiles, maxFiles;
        const char *files;
    };
    static const Command kCommands[] = {
        {"info", {}, 1, 1, "one FILE"},
        {"dump", {"--csv", "--json"}, 1, 1, "one FILE"},
        {"export", {"--force"}, 1, SIZE_MAX, "--sqlite OUT.db and at least one FILE"},
        {"create", {"--force"}, 2, SIZE_MAX, "FILE and at least one DEF"},
        {"append", {"--header"}, 1, 1, "one FILE"},
    };
    const Command *cmd = nullptr;
    for (const Command &c : kCommands)
        if (command == c.name) cmd = &c;
    if (!cmd) {
        err << "vexmoor-dbf: unknown command \"" << command << "\" (see vexmoor-dbf --help)\n";
        return 2;
    }
    std::vector<std::string> rest;
    std::vector<std::string> options;
    std::string sqliteOut;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (command == "export" && a == "--sqlite") {
            if (i + 1 == args.size() || args[i + 1].empty()) {
                err << "vexmoor-dbf: --sqlite needs an output file name\n";
                return 2;
            }
            sqliteOut = args[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            if (std::find(cmd->options.begin(), cmd->options.end(), a) == cmd->options.end()) {
                err << "vexmoor-dbf: unknown option " << a << " for " << command
                    << " (see vexmoor-dbf --help)\n";
                return 2;
            }
            options.push_back(a);
        } else {
            rest.push_back(a);
        }
    }
    auto has = [&options](const char *o) {
        return std::find(options.begin(), options.end(), o) != options.end();
    };
    if (rest.size() < cmd->minFiles || rest.size() > cmd->maxFiles ||
        (command == "export" && sqliteOut.empty())) {
        err << "vexmoor-dbf: " << command << " needs " << cmd->files
            << " (see vexmoor-dbf --help)\n";
        return 2;
    }
    if (has("--csv") && has("--json")) {
        err << "vexmoor-dbf: dump takes --csv or --json, not both\n";
        return 2;
    }
    try {
        if (command == "info") return Info(rest[0], out);
        if (command == "dump")
            return Dump(rest[0],
                        has("--csv")    ? DumpFormat::Csv
                        : has("--json") ? DumpFormat::Json
                                        : DumpFormat::Text,
                        out);
        if (command == "export") return ExportSqlite(sqliteOut, rest, has("--force"), err);
        if (command == "create")
            return Create(rest[0], {rest.begin() + 1, rest.end()}, has("--force"), err);
        return AppendRows(rest[0], has("--header"), in, err);
    } catch (const Failure &f) {
        err << "vexmoor-dbf: " << f.message << "\n";
    } catch (const dbf::ERedadError &e) {
        err << "vexmoor-dbf: " << EngineMessage(e) << "\n";
    } catch (const std::exception &e) {
        err << "vexmoor-dbf: " << e.what() << "\n";
    }
    try {
        dbf::CloseAll();
    } catch (...) {
    }
    return 1;
}

} // namespace dbftool
