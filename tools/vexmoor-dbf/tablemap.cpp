#include "tablemap.h"

#include "dbf/codepage.h"
#include "dbftool.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/mman.h>
#include <unistd.h>

namespace dbftool {

namespace {

// UTF-8 of every byte of the upper half, from the file's code page or from ANSI.
struct Utf8Byte {
    std::uint8_t length = 0;
    char bytes[3] = {0, 0, 0};
};

std::array<Utf8Byte, 128> MakeUtf8Table(bool fromOem) {
    std::array<Utf8Byte, 128> table{};
    for (int i = 0; i < 128; ++i) {
        const char ansi = static_cast<char>(fromOem ? dbf::kOemToAnsi[i] : 128 + i);
        const std::string utf8 = AnsiToUtf8(std::string(1, ansi));
        table[static_cast<std::size_t>(i)].length = static_cast<std::uint8_t>(utf8.size());
        std::memcpy(table[static_cast<std::size_t>(i)].bytes, utf8.data(), utf8.size());
    }
    return table;
}

const std::array<Utf8Byte, 128> &Utf8Table(bool fromOem) {
    static const std::array<Utf8Byte, 128> oem = MakeUtf8Table(true);
    static const std::array<Utf8Byte, 128> ansi = MakeUtf8Table(false);
    return fromOem ? oem : ansi;
}

int TrimmedLength(const std::uint8_t *field, int width) {
    while (width > 0 && field[width - 1] == ' ')
        --width;
    return width;
}

char *PutUtf8(char *out, std::uint8_t c, const std::array<Utf8Byte, 128> &table) {
    const Utf8Byte &u = table[c - 128u];
    std::memcpy(out, u.bytes, 3);
    return out + u.length;
}

// A stored fixed-point text that the engine's read-and-format round trip gives back unchanged:
// blanks, an optional "-", digits without a leading zero (a single "0" is fine), ".", exactly
// `decimals` digits, at most 15 digits in all, and not a negative zero.
bool IsCanonicalDecimal(const char *b, const char *e, int decimals) {
    const char *p = b;
    if (p < e && *p == '-') ++p;
    const char *intStart = p;
    while (p < e && static_cast<unsigned>(*p - '0') <= 9)
        ++p;
    const long intDigits = p - intStart;
    if (intDigits == 0 || (intDigits > 1 && *intStart == '0')) return false;
    if (p == e || *p != '.') return false;
    const char *frac = ++p;
    while (p < e && static_cast<unsigned>(*p - '0') <= 9)
        ++p;
    if (p != e || p - frac != decimals || intDigits + decimals > 15) return false;
    if (*b == '-') {
        for (const char *q = b + 1; q < e; ++q)
            if (*q != '0' && *q != '.') return true;
        return false;
    }
    return true;
}

} // namespace

std::unique_ptr<dbf::DbfTable> OpenTable(const std::string &file) {
    const std::string name = dbf::AddDbfExtension(file);
    std::error_code ec;
    const auto status = std::filesystem::status(name, ec);
    if (!std::filesystem::exists(status)) throw Failure{name + ": no such file"};
    if (std::filesystem::is_directory(status)) throw Failure{name + ": is a directory"};
    if (!std::filesystem::is_regular_file(status)) throw Failure{name + ": not a regular file"};
    if (::access(name.c_str(), R_OK | W_OK) != 0)
        throw Failure{name + ": cannot be opened (" + std::strerror(errno) +
                      "); the table needs read and write permission"};
    auto table = dbf::OpenDbf(name, false, true);
    if (!table) throw Failure{name + ": cannot be opened"};
    for (const dbf::FieldDesc &f : table->fields)
        if (f.offset < 1 || f.offset + f.width > table->recordLength)
            throw Failure{name + ": damaged: field " + f.name + " lies outside the record"};
    return table;
}

MappedTable::MappedTable(const std::string &file) : m_table(OpenTable(file)) {
    const dbf::DbfTable &t = *m_table;
    for (const dbf::FieldDesc &f : t.fields) {
        Column c{f.name, ValueKind::Integer, f.offset, f.width, f.decimals};
        switch (f.type) {
        case 'C':
            c.kind = ValueKind::Text;
            break;
        case 'D':
            c.kind = ValueKind::Date;
            break;
        case 'L':
            c.kind = ValueKind::Logical;
            break;
        case 'M':
            break;
        default:
            if (f.decimals > 0) c.kind = ValueKind::Decimal;
            break;
        }
        m_maxFieldText = std::max(m_maxFieldText, static_cast<std::size_t>(6 * f.width + 24));
        m_columns.push_back(std::move(c));
    }
    m_recordLength = static_cast<std::size_t>(t.recordLength);
    m_count = std::max(0, std::min(t.recCount, t.CountFromFileSize()));
    if (m_count == 0) return;
    m_mapSize = static_cast<std::size_t>(t.headerLength) + m_count * m_recordLength;
    m_map = ::mmap(nullptr, m_mapSize, PROT_READ, MAP_PRIVATE | MAP_POPULATE, t.fd, 0);
    if (m_map == MAP_FAILED) {
        m_map = nullptr;
        throw Failure{t.fileName + ": cannot be read (" + std::strerror(errno) + ")"};
    }
    ::madvise(m_map, m_mapSize, MADV_SEQUENTIAL);
    m_records = static_cast<const std::uint8_t *>(m_map) + t.headerLength;
}

MappedTable::~MappedTable() {
    if (m_map) ::munmap(m_map, m_mapSize);
    if (m_table) dbf::CloseDbf(std::move(m_table));
}

char *PutText(char *out, const std::uint8_t *field, int width, bool convertOem, bool &quote,
              bool visible) {
    static constexpr char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD
    const int n = TrimmedLength(field, width);
    const auto &table = Utf8Table(convertOem);
    bool special = false;
    for (int i = 0; i < n; ++i) {
        const std::uint8_t c = field[i];
        if (c < 0x80) {
            const bool control = (c < 0x20 && c != '\t') || c == 0x7F;
            special |= c == ',' || c == '"' || c == '\r' || c == '\n' || control;
            if (visible && control)
                out = std::copy_n(kReplacement, 3, out);
            else
                *out++ = static_cast<char>(c);
        } else {
            char *start = out;
            out = PutUtf8(out, c, table);
            // U+0080..U+009F, the C1 controls, are C2 80..C2 9F in UTF-8.
            if (visible && out - start == 2 && static_cast<std::uint8_t>(start[0]) == 0xC2 &&
                static_cast<std::uint8_t>(start[1]) < 0xA0)
                out = std::copy_n(kReplacement, 3, start);
        }
    }
    quote = special;
    return out;
}

char *PutJsonText(char *out, const std::uint8_t *field, int width, bool convertOem) {
    static const char kHex[] = "0123456789abcdef";
    const int n = TrimmedLength(field, width);
    const auto &table = Utf8Table(convertOem);
    for (int i = 0; i < n; ++i) {
        const std::uint8_t c = field[i];
        if (c >= 0x80) {
            char *start = out;
            out = PutUtf8(out, c, table);
            // The C1 controls U+0080..U+009F are escaped like the C0 ones.
            if (out - start == 2 && static_cast<std::uint8_t>(start[0]) == 0xC2 &&
                static_cast<std::uint8_t>(start[1]) < 0xA0) {
                const unsigned code = static_cast<std::uint8_t>(start[1]);
                out = std::copy_n("\\u00", 4, start);
                *out++ = kHex[code >> 4];
                *out++ = kHex[code & 15];
            }
        } else if (c == '"' || c == '\\') {
            *out++ = '\\';
            *out++ = static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            const char *named = c == '\n' ? "n" : c == '\r' ? "r" : c == '\t' ? "t" : nullptr;
            *out++ = '\\';
            if (named) {
                *out++ = *named;
            } else {
                std::memcpy(out, "u00", 3);
                out[3] = kHex[c >> 4];
                out[4] = kHex[c & 15];
                out += 5;
            }
        } else {
            *out++ = static_cast<char>(c);
        }
    }
    return out;
}

char *PutInteger(char *out, const std::uint8_t *field, int width) {
    return std::to_chars(out, out + 12, dbf::ReadFieldInt32(field, width)).ptr;
}

char *PutDecimal(char *out, const std::uint8_t *field, int width, int decimals) {
    const char *b = reinterpret_cast<const char *>(field);
    const char *e = b + width;
    while (b < e && *b == ' ')
        ++b;
    while (e > b && e[-1] == ' ')
        --e;
    if (IsCanonicalDecimal(b, e, decimals)) {
        std::memcpy(out, b, static_cast<std::size_t>(e - b));
        return out + (e - b);
    }
    // Anything else goes through the engine's own read and format.
    const std::string text =
        dbf::FormatNumber(dbf::ParseNumber(std::string_view(reinterpret_cast<const char *>(field),
                                                            static_cast<std::size_t>(width))),
                          width, decimals);
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return out;
    std::memcpy(out, text.data() + first, text.size() - first);
    return out + (text.size() - first);
}

char *PutDate(char *out, const std::uint8_t *field) {
    for (int i = 0; i < 8; ++i)
        if (static_cast<unsigned>(field[i] - '0') > 9) return out;
    std::memcpy(out, field, 4);
    out[4] = '-';
    std::memcpy(out + 5, field + 4, 2);
    out[7] = '-';
    std::memcpy(out + 8, field + 6, 2);
    return out + 10;
}

} // namespace dbftool
