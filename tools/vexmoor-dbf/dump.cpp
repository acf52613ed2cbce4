// dump: every record of a table as aligned text, CSV or JSON lines, written from a read-only
// mapping of the file through one large output buffer.
#include "dump.h"

#include "dbftool.h"
#include "tablemap.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <ostream>
#include <string_view>

namespace dbftool {

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 20;

// The output buffer: records are written in place and handed to the stream a megabyte at a
// time.
class OutBuffer {
public:
    OutBuffer(std::ostream &out, std::size_t recordBound)
        : m_out(out), m_size(kChunk + recordBound), m_data(new char[m_size]), m_pos(m_data.get()) {}

    // Where the next record goes; room for one record's bound is always left.
    char *&pos() { return m_pos; }
    // Texts that are not records (the heading line) are smaller than one record's bound.
    void put(std::string_view text) {
        endRecord();
        m_pos = Copy(m_pos, text);
    }
    void endRecord() {
        if (static_cast<std::size_t>(m_pos - m_data.get()) >= kChunk) flush();
    }
    void flush() {
        m_out.write(m_data.get(), m_pos - m_data.get());
        m_pos = m_data.get();
        if (!m_out) throw Failure{"standard output: write error"};
    }
    static char *Copy(char *to, std::string_view text) {
        std::memcpy(to, text.data(), text.size());
        return to + text.size();
    }

private:
    std::ostream &m_out;
    std::size_t m_size;
    std::unique_ptr<char[]> m_data;
    char *m_pos;
};

char *Spaces(char *out, std::size_t n) {
    std::memset(out, ' ', n);
    return out + n;
}

// Record number right-aligned in seven characters (wider when it needs more).
char *RecordNumber(char *out, std::int32_t n) {
    char digits[12];
    char *end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    const auto len = static_cast<std::size_t>(end - digits);
    if (len < 7) out = Spaces(out, 7 - len);
    std::memcpy(out, digits, len);
    return out + len;
}

// One field's plain text (text and CSV forms); quote tells whether CSV must quote it.
char *PutValue(char *out, const Column &c, const std::uint8_t *rec, bool oem, bool &quote,
               bool visible = false) {
    const std::uint8_t *field = rec + c.offset;
    quote = false;
    switch (c.kind) {
    case ValueKind::Text:
        return PutText(out, field, c.width, oem, quote, visible);
    case ValueKind::Integer:
        return PutInteger(out, field, c.width);
    case ValueKind::Decimal:
        return PutDecimal(out, field, c.width, c.decimals);
    case ValueKind::Date:
        return c.width >= 8 ? PutDate(out, field) : out;
    case ValueKind::Logical:
        *out = PutLogical(field, c.width);
        return out + 1;
    }
    return out;
}

void DumpText(const MappedTable &t, OutBuffer &buf) {
    const auto &cols = t.columns();
    const bool oem = t.table().convertOem;
    std::string head = "  RECNO  ";
    std::vector<std::size_t> widths;
    for (const Column &c : cols) {
        const std::size_t w = std::max<std::size_t>(
            c.name.size(), static_cast<std::size_t>(c.kind == ValueKind::Date ? 10 : c.width));
        widths.push_back(w);
        head += ' ' + c.name + std::string(w - c.name.size(), ' ');
    }
    buf.put(head + '\n');
    for (std::int32_t n = 1; n <= t.count(); ++n) {
        const std::uint8_t *rec = t.record(n);
        char *out = RecordNumber(buf.pos(), n);
        *out++ = ' ';
        *out++ = rec[0] == '*' ? '*' : ' ';
        for (std::size_t i = 0; i < cols.size(); ++i) {
            *out++ = ' ';
            bool quote = false;
            char *start = out;
            out = PutValue(out, cols[i], rec, oem, quote, true);
            // Padded by characters, not bytes, so UTF-8 text stays aligned.
            std::size_t shown = 0;
            if (cols[i].kind == ValueKind::Text) {
                for (const char *p = start; p < out; ++p)
                    shown += (static_cast<unsigned char>(*p) & 0xC0) != 0x80;
            } else {
                shown = static_cast<std::size_t>(out - start);
            }
            if (i + 1 < cols.size() && shown < widths[i]) out = Spaces(out, widths[i] - shown);
        }
        *out++ = '\n';
        buf.pos() = out;
        buf.endRecord();
    }
}

void DumpCsv(const MappedTable &t, OutBuffer &buf) {
    const auto &cols = t.columns();
    const bool oem = t.table().convertOem;
    std::string head = "DELETED";
    for (const Column &c : cols)
        head += ',' + CsvField(c.name);
    buf.put(head + '\n');
    for (std::int32_t n = 1; n <= t.count(); ++n) {
        const std::uint8_t *rec = t.record(n);
        char *out = buf.pos();
        if (rec[0] == '*') *out++ = '*';
        for (const Column &c : cols) {
            *out++ = ',';
            bool quote = false;
            char *start = out;
            out = PutValue(out, c, rec, oem, quote);
            if (quote) {
                // Rare: quote the value in place, doubling its quotes.
                const std::string value(start, out);
                out = OutBuffer::Copy(start, CsvField(value));
            }
        }
        *out++ = '\n';
        buf.pos() = out;
        buf.endRecord();
    }
}

void DumpJson(const MappedTable &t, OutBuffer &buf) {
    const auto &cols = t.columns();
    const bool oem = t.table().convertOem;
    // Each field's key, written once: ,"NAME":
    std::vector<std::string> keys;
    for (const Column &c : cols) {
        std::string key = ",\"";
        std::string name = c.name;
        char escaped[6 * 12];
        char *end = PutJsonText(escaped, reinterpret_cast<const std::uint8_t *>(name.data()),
                                static_cast<int>(std::min<std::size_t>(name.size(), 11)), false);
        key.append(escaped, end);
        keys.push_back(key + "\":");
    }
    for (std::int32_t n = 1; n <= t.count(); ++n) {
        const std::uint8_t *rec = t.record(n);
        char *out = buf.pos();
        std::memcpy(out, "{\"_recno\":", 10);
        out = std::to_chars(out + 10, out + 22, n).ptr;
        out = OutBuffer::Copy(out, rec[0] == '*' ? ",\"_deleted\":true" : ",\"_deleted\":false");
        for (std::size_t i = 0; i < cols.size(); ++i) {
            const Column &c = cols[i];
            const std::uint8_t *field = rec + c.offset;
            out = OutBuffer::Copy(out, keys[i]);
            switch (c.kind) {
            case ValueKind::Text:
                *out++ = '"';
                out = PutJsonText(out, field, c.width, oem);
                *out++ = '"';
                break;
            case ValueKind::Integer:
                out = PutInteger(out, field, c.width);
                break;
            case ValueKind::Decimal: {
                char *start = out;
                out = PutDecimal(out, field, c.width, c.decimals);
                if (out == start || *start == '*') out = OutBuffer::Copy(start, "null");
                break;
            }
            case ValueKind::Date: {
                char *start = out + 1;
                char *end = c.width >= 8 ? PutDate(start, field) : start;
                if (end == start) {
                    out = OutBuffer::Copy(out, "null");
                } else {
                    *out = '"';
                    *end = '"';
                    out = end + 1;
                }
                break;
            }
            case ValueKind::Logical:
                out = OutBuffer::Copy(out, PutLogical(field, c.width) == 'T' ? "true" : "false");
                break;
            }
        }
        *out++ = '}';
        *out++ = '\n';
        buf.pos() = out;
        buf.endRecord();
    }
}

} // namespace

int Dump(const std::string &file, DumpFormat format, std::ostream &out) {
    MappedTable table(file);
    std::size_t bound = 64;
    for (const Column &c : table.columns())
        bound += table.maxFieldText() + 2 * c.name.size() + 32;
    OutBuffer buf(out, bound);
    switch (format) {
    case DumpFormat::Text:
        DumpText(table, buf);
        break;
    case DumpFormat::Csv:
        DumpCsv(table, buf);
        break;
    case DumpFormat::Json:
        DumpJson(table, buf);
        break;
    }
    buf.flush();
    return 0;
}

} // namespace dbftool
