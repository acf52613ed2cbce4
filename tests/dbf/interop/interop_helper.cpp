// Drives an in-memory table (TTzVFile) for the interoperability test.
//
//   dbf_interop_helper write FILE DEF... < rows.csv   rows appended with ClearRecord/AppendRec,
//                                                      then WriteToDisk
//   dbf_interop_helper read FILE DEF...               the table loaded from FILE, printed as
//                                                      CSV: DELETED, then the fields
//
// CSV values: C text, N numbers, L "T"/"F", D "YYYY-MM-DD" or empty. No quoting is needed for
// the test data except quotes around values with commas (not used).
#include "dbf/dataset.h"
#include "dbf/dbferror.h"
#include "dbf/vfile.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> SplitCsv(const std::string &line) {
    std::vector<std::string> out;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            out.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    out.push_back(field);
    return out;
}

std::string Quote(const std::string &s) {
    if (s.find_first_of(",\"\n") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string ValueText(dbf::TField &f) {
    switch (f.DataType()) {
    case dbf::TFieldType::ftBoolean:
        return f.AsBoolean() ? "T" : "F";
    case dbf::TFieldType::ftDate: {
        if (f.IsNull()) return {};
        int y, m, d;
        dbf::DecodeDate(f.AsDateTime(), y, m, d);
        char text[16];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
        return text;
    }
    case dbf::TFieldType::ftFloat: {
        char text[64];
        std::snprintf(text, sizeof text, "%.*f", f.Decimals(), f.AsFloat());
        return text;
    }
    default:
        return f.AsString();
    }
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 4) {
        std::cerr << "usage: dbf_interop_helper write|read FILE DEF...\n";
        return 2;
    }
    dbf::SetExceptionsMode(true);
    std::string mode = argv[1];
    try {
        dbf::TTzVFile table("Interop");
        for (int i = 3; i < argc; ++i)
            table.DbfFields.push_back(argv[i]);
        table.SetDbfFileName(argv[2]);
        table.ShowProgress = false;
        if (mode == "write") {
            table.SetActive(true);
            std::string line;
            while (std::getline(std::cin, line)) {
                if (line.empty()) continue;
                std::vector<std::string> values = SplitCsv(line);
                table.ClearRecord();
                for (std::size_t i = 0;
                     i < values.size() && static_cast<int>(i) < table.FieldCount(); ++i) {
                    dbf::TField &f = table.Fields(static_cast<int>(i));
                    const std::string &v = values[i];
                    if (f.DataType() == dbf::TFieldType::ftDate) {
                        if (v.empty()) continue;
                        int y = std::stoi(v.substr(0, 4)), m = std::stoi(v.substr(5, 2)),
                            d = std::stoi(v.substr(8, 2));
                        f.SetAsDateTime(dbf::EncodeDate(y, m, d));
                    } else if (f.DataType() == dbf::TFieldType::ftFloat ||
                               f.DataType() == dbf::TFieldType::ftInteger) {
                        f.SetAsFloat(std::stod(v));
                    } else {
                        f.SetAsString(v);
                    }
                }
                table.AppendRec();
            }
            if (!table.WriteToDisk()) return 1;
            table.SaveToDisk = false;
            table.SetActive(false);
            return 0;
        }
        if (mode == "read") {
            table.PopulateFromDisk = true;
            table.SetActive(true);
            std::cout << "DELETED";
            for (int i = 0; i < table.FieldCount(); ++i)
                std::cout << "," << table.Fields(i).FieldName();
            std::cout << "\n";
            for (table.First(); !table.Eof(); table.Next()) {
                std::cout << (table.RecordDeleted() ? "*" : "");
                for (int i = 0; i < table.FieldCount(); ++i)
                    std::cout << "," << Quote(ValueText(table.Fields(i)));
                std::cout << "\n";
                if (table.RecNo() == table.RecordCount()) break;
            }
            table.SetActive(false);
            return 0;
        }
    } catch (const std::exception &e) {
        std::cerr << "dbf_interop_helper: " << e.what() << "\n";
        return 1;
    }
    std::cerr << "unknown mode " << mode << "\n";
    return 2;
}
