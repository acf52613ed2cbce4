// A table file opened through the engine and mapped read-only, and the fast conversion of its
// stored fields to output text. Shared by dump and export; internal to vexmoor-dbf.
#pragma once

#include "dbf/dbffile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dbftool {

// A failure that ends the command with one "vexmoor-dbf: ..." line.
struct Failure {
    std::string message;
};

// Opens an existing table; throws Failure with a one-line reason (missing, a directory, not
// readable, damaged).
std::unique_ptr<dbf::DbfTable> OpenTable(const std::string &file);

// How a field is written out.
enum class ValueKind { Text, Integer, Decimal, Date, Logical };

struct Column {
    std::string name; // as stored (upper case)
    ValueKind kind = ValueKind::Text;
    int offset = 0; // in the stored record
    int width = 0;
    int decimals = 0;
};

// A table whose records are read straight from a read-only mapping of its file.
class MappedTable {
public:
    explicit MappedTable(const std::string &file);
    ~MappedTable();
    MappedTable(const MappedTable &) = delete;
    MappedTable &operator=(const MappedTable &) = delete;

    const dbf::DbfTable &table() const { return *m_table; }
    const std::vector<Column> &columns() const { return m_columns; }
    // Records to read: the header's count, or fewer when the file holds fewer.
    std::int32_t count() const { return m_count; }
    // Stored record n (1-based), code page as in the file.
    const std::uint8_t *record(std::int32_t n) const {
        return m_records + static_cast<std::size_t>(n - 1) * m_recordLength;
    }
    // The largest text one stored field can turn into (JSON escapes included).
    std::size_t maxFieldText() const { return m_maxFieldText; }

private:
    std::unique_ptr<dbf::DbfTable> m_table;
    std::vector<Column> m_columns;
    std::int32_t m_count = 0;
    std::size_t m_recordLength = 0;
    const std::uint8_t *m_records = nullptr;
    void *m_map = nullptr;
    std::size_t m_mapSize = 0;
    std::size_t m_maxFieldText = 0;
};

// Field text writers: each writes the value of one stored field at out and returns the end.
// They produce exactly the text of the engine's typed field buffer conversion.

// Characters without trailing blanks, converted from the file's code page to UTF-8.
// Every stored byte becomes one character. quote receives whether CSV must quote it.
// visible: every control character (below 32 except tab, 127 and U+0080..U+009F) is written
// as U+FFFD, so that a stored text can not drive the terminal that shows it; quote is then
// set as for the exact text. Without visible the text is exact and quote is also set for a
// control character, so that CSV delimits it.
char *PutText(char *out, const std::uint8_t *field, int width, bool convertOem, bool &quote,
              bool visible = false);
// As PutText, escaped for a JSON string (without the quotes).
char *PutJsonText(char *out, const std::uint8_t *field, int width, bool convertOem);
// The whole number of an N/F field without decimals or an M field.
char *PutInteger(char *out, const std::uint8_t *field, int width);
// The number of an N/F field with decimals, in the field's fixed-point form without blanks.
char *PutDecimal(char *out, const std::uint8_t *field, int width, int decimals);
// YYYY-MM-DD, or nothing when the field does not hold eight digits.
char *PutDate(char *out, const std::uint8_t *field);
// T or F.
inline char PutLogical(const std::uint8_t *field, int width) {
    const char c = width > 0 ? static_cast<char>(field[0]) : ' ';
    return (c == 'T' || c == 't' || c == 'Y' || c == 'y') ? 'T' : 'F';
}

} // namespace dbftool
