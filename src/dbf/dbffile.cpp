#include "dbf/dbffile.h"

#include "dbf/codepage.h"
#include "dbf/dbferror.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace dbf {

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) < 33;
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::uint16_t Get16(const std::uint8_t *p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Get32(const std::uint8_t *p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void Put16(std::uint8_t *p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t *p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

bool ValidType(char t) {
    return t == 'C' || t == 'D' || t == 'F' || t == 'L' || t == 'M' || t == 'N';
}

// Full read/write at an offset; returns bytes transferred or -1.
long long ReadAt(int fd, void *buf, std::size_t len, std::int64_t off) {
    std::size_t done = 0;
    while (done < len) {
        ssize_t r = ::pread(fd, static_cast<char *>(buf) + done, len - done,
                            static_cast<off_t>(off + static_cast<std::int64_t>(done)));
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        done += static_cast<std::size_t>(r);
    }
    return static_cast<long long>(done);
}

long long WriteAt(int fd, const void *buf, std::size_t len, std::int64_t off) {
    std::size_t done = 0;
    while (done < len) {
        ssize_t r = ::pwrite(fd, static_cast<const char *>(buf) + done, len - done,
                             static_cast<off_t>(off + static_cast<std::int64_t>(done)));
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        done += static_cast<std::size_t>(r);
    }
    return static_cast<long long>(done);
}

std::int32_t GetInt32(const std::uint8_t *p) {
    std::int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void PutInt32(std::uint8_t *p, std::int32_t v) {
    std::memcpy(p, &v, sizeof v);
}

double GetDouble(const std::uint8_t *p) {
    double v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void PutDouble(std::uint8_t *p, double v) {
    std::memcpy(p, &v, sizeof v);
}

bool HoldsDouble(const FieldDesc &f) {
    return (f.type == 'N' || f.type == 'F') && f.decimals > 0;
}

std::int32_t SaturateInt32(double v) {
    if (std::isnan(v)) return 0;
    v = std::round(v);
    if (v >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

DateForm &DateFormStorage() {
    static DateForm form;
    return form;
}

std::uint8_t &MemoVersion() {
    static std::uint8_t v = 0x8B;
    return v;
}

std::string NotDbase(const std::string &file, const std::string &reason, const char *tail) {
    return file + " is not a dBASE database." + " (" + reason + ")" + tail;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Field layout

int FieldBufferBytes(char type, int width, int decimals) {
    switch (type) {
    case 'C':
        return width + 1;
    case 'D':
        return 11;
    case 'N':
    case 'F':
        return decimals > 0 ? 8 : 4;
    case 'M':
        return 4;
    case 'L':
        return 1;
    default:
        return width + 1;
    }
}

int LayoutFields(std::vector<FieldDesc> &fields, int *recordLength) {
    int pos = 1;
    int bufPos = 1;
    for (FieldDesc &f : fields) {
        f.offset = pos;
        f.bufOffset = bufPos;
        pos += f.width;
        bufPos += FieldBufferBytes(f.type, f.width, f.decimals);
    }
    if (recordLength) *recordLength = pos;
    return bufPos;
}

// ---------------------------------------------------------------------------------------------
// Field-definition strings

ParsedFieldDef ParseFieldDef(std::string_view text, std::string_view componentName) {
    ParsedFieldDef out;
    if (std::count(text.begin(), text.end(), ',') != 3) return out;
    std::string_view items[4];
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        std::size_t comma = i < 3 ? text.find(',', start) : text.size();
        items[i] = TrimBlanks(text.substr(start, comma - start));
        start = comma + 1;
    }
    auto readInt = [](std::string_view s) {
        int v = 0;
        if (!s.empty() && s.front() == '+') s.remove_prefix(1);
        auto res = std::from_chars(s.data(), s.data() + s.size(), v);
        if (res.ec != std::errc()) v = 0;
        return v;
    };
    const std::string name(items[0].substr(0, 10));
    const char type = items[1].empty() ? ' ' : items[1].front();
    const int width = readInt(items[2]);
    const int decimals = readInt(items[3]);
    if (type == 'X') {
        out.status = FieldDefStatus::Excluded;
        out.def = FieldDef{name, type, width, decimals};
        return out;
    }
    char t = type;
    int w = width;
    int d = decimals;
    if (!ValidType(type)) t = 'C';
    if (type == 'N' && width > 20) w = 20;
    if (type == 'N' && decimals > 18) d = 18;
    if (type == 'N' && decimals != 0 && width - decimals < 2) d = width - 2;
    if (type == 'C' && width > 254) {
        w = 254;
        d = 0;
    }
    // The rules above look at the definition as written; keep the result usable as well.
    if (t == 'N' || t == 'F') {
        if (d > 0 && w - d < 2) d = w - 2;
        if (d < 0) d = 0;
    }
    out.status = FieldDefStatus::Ok;
    out.def = FieldDef{name, t, w, d};
    if (t != type || w != width || d != decimals) {
        out.corrected = true;
        char buf[512];
        std::snprintf(buf, sizeof buf,
                      "Invalid field definition for %.*s: %s,%c,%d,%d. Will use corrected "
                      "definition: %s,%c,%d,%d",
                      static_cast<int>(componentName.size()), componentName.data(), name.c_str(),
                      type == '\0' ? ' ' : type, width, decimals, name.c_str(), t, w, d);
        out.message = buf;
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Date form

DateForm DateFormFromSystem(std::string_view fmt, char separator) {
    DateForm form;
    std::string upper(fmt);
    for (char &c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    form.fourDigitYear = upper.find("YYYY") != std::string::npos;
    const char first = upper.empty() ? ' ' : upper.front();
    if (first == 'Y') {
        form.order = DateOrder::YMD;
        form.separator = '.';
    } else if (first == 'D' && (separator == '/' || separator == '-' || separator == '.')) {
        form.order = DateOrder::DMY;
        form.separator = separator;
    } else {
        form.order = DateOrder::MDY;
        form.separator = '/';
    }
    return form;
}

void SetDateForm(const DateForm &form) {
    DateFormStorage() = form;
}
const DateForm &CurrentDateForm() {
    return DateFormStorage();
}

int ExpandYear(int y) {
    if (y < 0 || y > 99) return y;
    return y < 50 ? 2000 + y : 1900 + y;
}

namespace {

std::string ComposeDate(const DateForm &form, std::string_view y, std::string_view m,
                        std::string_view d) {
    const char s = form.separator;
    std::string out;
    switch (form.order) {
    case DateOrder::YMD:
        out = std::string(y) + s + std::string(m) + s + std::string(d);
        break;
    case DateOrder::DMY:
        out = std::string(d) + s + std::string(m) + s + std::string(y);
        break;
    case DateOrder::MDY:
        out = std::string(m) + s + std::string(d) + s + std::string(y);
        break;
    }
    return out;
}

} // namespace

std::string BlankDateForm(const DateForm &form) {
    return ComposeDate(form, form.fourDigitYear ? "    " : "  ", "  ", "  ");
}

std::string StoredToDateForm(std::string_view stored, const DateForm &form) {
    if (stored.size() < 8 || TrimBlanks(stored.substr(0, 8)).empty()) return BlankDateForm(form);
    std::string_view year = stored.substr(0, 4);
    if (!form.fourDigitYear) year = year.substr(2, 2);
    return ComposeDate(form, year, stored.substr(4, 2), stored.substr(6, 2));
}

std::string DateFormToStored(std::string_view text, const DateForm &form) {
    const std::string blank(8, ' ');
    std::string_view t = TrimBlanks(text);
    if (t.empty()) return blank;
    // Split at the separators (any of "/-." is accepted).
    std::string_view parts[3];
    int n = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= t.size(); ++i) {
        if (i == t.size() || t[i] == '/' || t[i] == '-' || t[i] == '.') {
            if (n == 3) return blank;
            parts[n++] = TrimBlanks(t.substr(start, i - start));
            start = i + 1;
        }
    }
    if (n != 3) return blank;
    int values[3];
    for (int i = 0; i < 3; ++i) {
        if (parts[i].empty() || parts[i].size() > 4) return blank;
        auto res = std::from_chars(parts[i].data(), parts[i].data() + parts[i].size(), values[i]);
        if (res.ec != std::errc() || res.ptr != parts[i].data() + parts[i].size()) return blank;
    }
    int yi = 0, mi = 1, di = 2;
    if (form.order == DateOrder::DMY) {
        yi = 2;
        di = 0;
    } else if (form.order == DateOrder::MDY) {
        mi = 0;
        di = 1;
        yi = 2;
    }
    int year = values[yi];
    if (parts[yi].size() <= 2) year = ExpandYear(year);
    const int month = values[mi];
    const int day = values[di];
    if (month < 1 || month > 12 || day < 1 || day > 31 || year < 0 || year > 9999) return blank;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", year, month, day);
    return buf;
}

// ---------------------------------------------------------------------------------------------
// Numbers

std::string FormatNumber(double value, int width, int decimals) {
    if (width <= 0) return {};
    if (decimals < 0) decimals = 0;
    if (!std::isfinite(value)) return std::string(static_cast<std::size_t>(width), '*');
    if (decimals == 0) value = std::round(value);
    // The largest double has 309 digits before the point; fields hold at most 255 characters.
    char buf[320 + 256];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed,
                                         std::min(decimals, 255));
    if (ec != std::errc()) return std::string(static_cast<std::size_t>(width), '*');
    std::string text(buf, end);
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    if (text.size() > static_cast<std::size_t>(width))
        return std::string(static_cast<std::size_t>(width), '*');
    return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text;
}

double ParseNumber(std::string_view text) {
    text = TrimBlanks(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double v = 0;
    auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (res.ec != std::errc() || !std::isfinite(v)) return 0;
    return v;
}

std::int32_t ParseInt32(std::string_view text) {
    return SaturateInt32(ParseNumber(text));
}

namespace {

constexpr std::uint64_t EveryByte(std::uint8_t b) {
    return 0x0101010101010101ull * b;
}

// Eight characters read as one little-endian word (the first character in the lowest byte):
// blanks followed by digits. Returns their value, or -1 for anything else; `blank` gets 0x80 in
// every byte that is a blank.
inline std::int64_t EightDigits(std::uint64_t text, std::uint64_t &blank) {
    const std::uint64_t x = text ^ EveryByte(' ');
    // Exact per byte: no carries between bytes.
    blank = ~(((x & EveryByte(0x7F)) + EveryByte(0x7F)) | x) & EveryByte(0x80);
    // The blanks must lead: 0xFF in each blank byte then forms a mask of the low bytes.
    const std::uint64_t lead = (blank >> 7) * 0xFF;
    if ((lead & (lead + 1)) != 0) return -1;
    std::uint64_t v = text + (blank >> 3); // a blank (0x20) becomes '0' (0x30)
    if ((v & EveryByte(0xF0)) != EveryByte(0x30) ||
        ((v + EveryByte(0x06)) & EveryByte(0xF0)) != EveryByte(0x30))
        return -1;
    v -= EveryByte('0');
    v = v * 10 + (v >> 8); // pairs of digits
    v = (((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
         (((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
        32;
    return static_cast<std::int64_t>(static_cast<std::uint32_t>(v));
}

} // namespace

std::int32_t ReadFieldInt32(const std::uint8_t *field, int width) {
    if (width <= 0) return 0;
    const char *p = reinterpret_cast<const char *>(field);
    const char *e = p + width;
    if constexpr (std::endian::native == std::endian::little) {
        if (width >= 8 && width <= 16) {
            // The last eight characters at once, the few before them one by one.
            std::uint64_t word = 0, blanks = 0;
            std::memcpy(&word, e - 8, 8);
            const std::int64_t low = EightDigits(word, blanks);
            const char *q = p;
            while (q < e - 8 && *q == ' ')
                ++q;
            std::int64_t high = 0;
            const bool highDigits = q < e - 8;
            for (; q < e - 8; ++q) {
                const unsigned d = static_cast<unsigned>(*q - '0');
                if (d > 9) break;
                high = high * 10 + d;
            }
            if (low >= 0 && q == e - 8 && (!highDigits || blanks == 0)) {
                const std::int64_t v = high * 100000000 + low;
                if (v <= std::numeric_limits<std::int32_t>::max())
                    return static_cast<std::int32_t>(v);
            }
        }
    }
    // Short fields, signs, trailing blanks: one character at a time.
    while (p < e && *p == ' ')
        ++p;
    while (e > p && e[-1] == ' ')
        --e;
    if (p == e) return 0;
    const char *digits = p;
    const bool negative = *digits == '-';
    if (negative || *digits == '+') ++digits;
    if (digits < e && e - digits <= 10) {
        std::int64_t v = 0;
        const char *q = digits;
        for (; q < e; ++q) {
            const unsigned d = static_cast<unsigned>(*q - '0');
            if (d > 9) break;
            v = v * 10 + d;
        }
        if (q == e) {
            if (negative) v = -v;
            if (v >= std::numeric_limits<std::int32_t>::min() &&
                v <= std::numeric_limits<std::int32_t>::max())
                return static_cast<std::int32_t>(v);
        }
    }
    // Fractions, exponents, other blanks, overflow: the general reading.
    return ParseInt32(std::string_view(p, static_cast<std::size_t>(e - p)));
}

// ---------------------------------------------------------------------------------------------
// Field buffer

std::string FieldText(const FieldDesc &f, const std::uint8_t *buf) {
    const std::uint8_t *p = buf + f.bufOffset;
    switch (f.type) {
    case 'C': {
        std::size_t len = std::min<std::size_t>(p[0], static_cast<std::size_t>(f.width));
        return std::string(reinterpret_cast<const char *>(p + 1), len);
    }
    case 'D': {
        std::size_t len = std::min<std::size_t>(p[0], 10);
        return std::string(reinterpret_cast<const char *>(p + 1), len);
    }
    case 'L':
        return p[0] ? "T" : "F";
    case 'M':
        return FormatNumber(GetInt32(p), f.width, 0);
    default:
        if (HoldsDouble(f)) return FormatNumber(GetDouble(p), f.width, f.decimals);
        return FormatNumber(GetInt32(p), f.width, 0);
    }
}

std::string GetString(const FieldDesc &f, const std::uint8_t *buf) {
    return FieldText(f, buf);
}

double GetNumber(const FieldDesc &f, const std::uint8_t *buf) {
    const std::uint8_t *p = buf + f.bufOffset;
    switch (f.type) {
    case 'N':
    case 'F':
        return HoldsDouble(f) ? GetDouble(p) : GetInt32(p);
    case 'M':
        return GetInt32(p);
    case 'L':
        return p[0] ? 1 : 0;
    default:
        return ParseNumber(FieldText(f, buf));
    }
}

bool GetLogical(const FieldDesc &f, const std::uint8_t *buf) {
    if (f.type == 'L') return buf[f.bufOffset] != 0;
    return GetNumber(f, buf) != 0;
}

void SetString(const FieldDesc &f, std::uint8_t *buf, std::string_view value) {
    std::uint8_t *p = buf + f.bufOffset;
    switch (f.type) {
    case 'C': {
        std::size_t len = std::min(value.size(), static_cast<std::size_t>(f.width));
        p[0] = static_cast<std::uint8_t>(len);
        std::memcpy(p + 1, value.data(), len);
        break;
    }
    case 'D': {
        std::size_t len = std::min<std::size_t>(value.size(), 10);
        p[0] = static_cast<std::uint8_t>(len);
        std::memcpy(p + 1, value.data(), len);
        break;
    }
    case 'L': {
        char c = value.empty() ? ' ' : value.front();
        p[0] = (c == 'T' || c == 't' || c == 'Y' || c == 'y') ? 1 : 0;
        break;
    }
    default:
        SetNumber(f, buf, ParseNumber(value));
        break;
    }
}

void SetNumber(const FieldDesc &f, std::uint8_t *buf, double value) {
    std::uint8_t *p = buf + f.bufOffset;
    switch (f.type) {
    case 'N':
    case 'F':
        if (HoldsDouble(f))
            PutDouble(p, value);
        else
            PutInt32(p, SaturateInt32(value));
        break;
    case 'M':
        PutInt32(p, SaturateInt32(value));
        break;
    case 'L':
        p[0] = value != 0 ? 1 : 0;
        break;
    case 'C': {
        char text[64];
        std::snprintf(text, sizeof text, "%.15g", value);
        SetString(f, buf, text);
        break;
    }
    default:
        break;
    }
}

void SetLogical(const FieldDesc &f, std::uint8_t *buf, bool value) {
    if (f.type == 'L')
        buf[f.bufOffset] = value ? 1 : 0;
    else if (f.type == 'C')
        SetString(f, buf, value ? "T" : "F");
    else
        SetNumber(f, buf, value ? 1 : 0);
}

void ClearFieldBuffer(const std::vector<FieldDesc> &fields, std::uint8_t *buf, int bufSize) {
    std::memset(buf, 0, static_cast<std::size_t>(bufSize));
    const std::string blankDate = BlankDateForm();
    for (const FieldDesc &f : fields) {
        std::uint8_t *p = buf + f.bufOffset;
        if (f.type == 'C') {
            p[0] = static_cast<std::uint8_t>(f.width);
            std::memset(p + 1, ' ', static_cast<std::size_t>(f.width));
        } else if (f.type == 'D') {
            SetString(f, buf, blankDate);
        }
    }
}

void RecordToBuffer(const std::vector<FieldDesc> &fields, const std::uint8_t *raw,
                    std::uint8_t *buf) {
    buf[0] = raw[0] == '*' ? 1 : 0;
    for (const FieldDesc &f : fields) {
        const std::uint8_t *src = raw + f.offset;
        std::uint8_t *p = buf + f.bufOffset;
        std::string_view text(reinterpret_cast<const char *>(src),
                              static_cast<std::size_t>(f.width));
        switch (f.type) {
        case 'C':
            p[0] = static_cast<std::uint8_t>(f.width);
            std::memcpy(p + 1, src, static_cast<std::size_t>(f.width));
            break;
        case 'D':
            SetString(f, buf, StoredToDateForm(text));
            break;
        case 'L': {
            char c = f.width > 0 ? text.front() : ' ';
            p[0] = (c == 'T' || c == 't' || c == 'Y' || c == 'y') ? 1 : 0;
            break;
        }
        case 'M':
            PutInt32(p, ReadFieldInt32(src, f.width));
            break;
        default:
            if (HoldsDouble(f))
                PutDouble(p, ParseNumber(text));
            else
                PutInt32(p, ReadFieldInt32(src, f.width));
            break;
        }
    }
}

void BufferToRecord(const std::vector<FieldDesc> &fields, const std::uint8_t *buf,
                    std::uint8_t *raw, int recordLength) {
    std::memset(raw, ' ', static_cast<std::size_t>(recordLength));
    raw[0] = buf[0] ? '*' : ' ';
    for (const FieldDesc &f : fields) {
        std::uint8_t *dst = raw + f.offset;
        const std::uint8_t *p = buf + f.bufOffset;
        const auto width = static_cast<std::size_t>(f.width);
        switch (f.type) {
        case 'C': {
            std::size_t len = std::min<std::size_t>(p[0], width);
            std::memcpy(dst, p + 1, len);
            break;
        }
        case 'D': {
            std::string stored = DateFormToStored(FieldText(f, buf));
            std::memcpy(dst, stored.data(), std::min(stored.size(), width));
            break;
        }
        case 'L':
            if (width > 0) dst[0] = p[0] ? 'T' : 'F';
            break;
        default: {
            std::string text = FieldText(f, buf);
            std::memcpy(dst, text.data(), std::min(text.size(), width));
            break;
        }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Files

void SetMemoVersionByte(std::uint8_t version) {
    MemoVersion() = version;
}
std::uint8_t MemoVersionByte() {
    return MemoVersion();
}

std::string AddDbfExtension(const std::string &fileName) {
    std::size_t slash = fileName.find_last_of("/\\");
    std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    if (fileName.find('.', base) != std::string::npos) return fileName;
    return fileName + ".DBF";
}

DbfTable::~DbfTable() {
    if (fd >= 0) ::close(fd);
}

std::int64_t DbfTable::FileSize() const {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

std::int32_t DbfTable::CountFromFileSize() const {
    std::int64_t size = FileSize();
    if (size <= headerLength || recordLength <= 0) return 0;
    std::int64_t n = (size - headerLength) / recordLength;
    return static_cast<std::int32_t>(std::min<std::int64_t>(n, 0x7FFFFFFF));
}

bool LockRegion(int fd, std::int64_t offset, std::int64_t length, bool exclusive) {
    struct flock fl {};
    fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

bool UnlockRegion(int fd, std::int64_t offset, std::int64_t length) {
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

bool WriteDbfHeaderPrefix(DbfTable &t) {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    std::uint8_t prefix[8] = {};
    prefix[0] = t.version;
    if (t.oldLayout) {
        Put16(prefix + 1, static_cast<std::uint32_t>(t.recCount));
        prefix[3] = static_cast<std::uint8_t>(tm.tm_mon + 1);
        prefix[4] = static_cast<std::uint8_t>(tm.tm_mday);
        prefix[5] = static_cast<std::uint8_t>(tm.tm_year % 256);
        Put16(prefix + 6, static_cast<std::uint32_t>(t.recordLength));
    } else {
        prefix[1] = static_cast<std::uint8_t>(tm.tm_year % 256);
        prefix[2] = static_cast<std::uint8_t>(tm.tm_mon + 1);
        prefix[3] = static_cast<std::uint8_t>(tm.tm_mday);
        Put32(prefix + 4, static_cast<std::uint32_t>(t.recCount));
    }
    return WriteAt(t.fd, prefix, sizeof prefix, 0) == static_cast<long long>(sizeof prefix);
}

bool CloseDbf(std::unique_ptr<DbfTable> table) {
    if (!table) return true;
    bool ok = true;
    if (table->fd >= 0 && table->state != ChangeState::Unchanged) {
        ok = WriteDbfHeaderPrefix(*table);
        if (ok && table->state == ChangeState::Grown) {
            const std::uint8_t eof = 0x1A;
            const std::int64_t at =
                table->headerLength +
                static_cast<std::int64_t>(table->recCount) * table->recordLength;
            ok = WriteAt(table->fd, &eof, 1, at) == 1;
        }
        if (!ok) {
            const int err = errno;
            RaiseError(err == ENOSPC || err == 0 ? kErrDiskWrite : ErrnoToCode(err),
                       "File:  " + table->fileName + " [CloseDbf(" + table->fileName + ")]");
        }
    }
    if (table->fd >= 0 && ::close(table->fd) != 0 && ok) {
        ok = false;
        const std::string name = table->fileName;
        table->fd = -1;
        RaiseError(kErrDiskWrite, "File:  " + name + " [CloseDbf(" + name + ")]");
    }
    table->fd = -1;
    return ok;
}

bool CreateDbf(const std::string &fileName, const std::vector<FieldDef> &defs) {
    const std::string name = AddDbfExtension(fileName);
    const int nFields = static_cast<int>(defs.size());
    bool valid = nFields >= 1 && nFields <= 255;
    const int headerLength = 32 * nFields + 32;
    std::vector<std::uint8_t> header(static_cast<std::size_t>(std::max(headerLength, 32)) + 1, 0);
    int recordLength = 1;
    bool memo = false;
    for (int i = 0; valid && i < nFields; ++i) {
        const FieldDef &def = defs[static_cast<std::size_t>(i)];
        std::string_view fname = def.name;
        while (!fname.empty() && fname.back() == ' ')
            fname.remove_suffix(1);
        fname = fname.substr(0, 10);
        while (!fname.empty() && fname.front() == ' ')
            fname.remove_prefix(1);
        if (fname.empty()) {
            RaiseError(kErrInvalidParameter, "Empty field name [CreateDbf(" + name + ")]");
            valid = false;
            break;
        }
        const char type = static_cast<char>(std::toupper(static_cast<unsigned char>(def.type)));
        int width = def.width;
        int dec = def.decimals;
        switch (type) {
        case 'C':
        case 'F':
        case 'N':
            if (width <= 0 || width > 254) valid = false;
            if (type != 'C' && (dec < 0 || dec > width)) valid = false;
            break;
        case 'D':
            width = 8;
            break;
        case 'L':
            width = 1;
            break;
        case 'M':
            width = 10;
            memo = true;
            break;
        default:
            valid = false;
            break;
        }
        if (type != 'N' && type != 'F') dec = 0;
        if (!valid) break;
        std::uint8_t *d = header.data() + 32 + 32 * i;
        for (std::size_t k = 0; k < fname.size(); ++k)
            d[k] = static_cast<std::uint8_t>(std::toupper(static_cast<unsigned char>(fname[k])));
        d[11] = static_cast<std::uint8_t>(type);
        d[16] = static_cast<std::uint8_t>(width);
        d[17] = static_cast<std::uint8_t>(dec);
        recordLength += width;
    }
    if (!valid) {
        RaiseError(kErrFieldType, "Invalid dBASE field definition [CreateDBF]");
        return false;
    }
    header[static_cast<std::size_t>(headerLength)] = 0x0D;
    Put16(header.data() + 8, static_cast<std::uint32_t>(headerLength + 1));
    Put16(header.data() + 10, static_cast<std::uint32_t>(recordLength));
    header[0] = memo ? MemoVersionByte() : 0x03;

    auto table = std::make_unique<DbfTable>();
    table->fileName = name;
    table->fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (table->fd < 0) {
        RaiseError(ErrnoToCode(errno), "Error writing " + name + ". [CreateDbf]");
        return false;
    }
    if (WriteAt(table->fd, header.data(), header.size(), 0) < headerLength) {
        const int err = errno;
        table.reset();
        RaiseError(err == ENOSPC || err == 0 ? kErrDiskWrite : ErrnoToCode(err),
                   "Error writing " + name + ". [CreateDbf]");
        return false;
    }
    table->version = header[0];
    table->headerLength = headerLength + 1;
    table->recordLength = recordLength;
    table->recCount = 0;
    table->exclusive = true;
    table->state = ChangeState::Grown;
    // No memo handler is plugged into this engine: a table with M fields gets no memo file.
    return CloseDbf(std::move(table));
}

std::unique_ptr<DbfTable> OpenDbf(const std::string &fileName, bool exclusive, bool convertOem) {
    const std::string name = AddDbfExtension(fileName);
    auto t = std::make_unique<DbfTable>();
    t->fileName = name;
    t->exclusive = exclusive;
    t->convertOem = convertOem;
    t->fd = ::open(name.c_str(), O_RDWR | O_CLOEXEC);
    if (t->fd < 0) {
        RaiseError(ErrnoToCode(errno), "Failure to open " + name + " [USE/OpenDbf]");
        return nullptr;
    }
    // Sharing: every open holds the lock-base byte, shared for a shared open and exclusively
    // for an exclusive one, so the two kinds of open exclude each other across processes.
    if (!LockRegion(t->fd, kLockBase, 1, exclusive)) {
        t.reset();
        RaiseError(kErrSharingViolation, "Failure to open " + name + " [USE/OpenDbf]");
        return nullptr;
    }
    std::uint8_t head[32];
    if (ReadAt(t->fd, head, sizeof head, 0) < 32) {
        t.reset();
        RaiseError(kErrNotDbase, NotDbase(name, "Prolog is less than 32 bytes", " [USE/OpenDBF]"));
        return nullptr;
    }
    const int low = head[0] & 7;
    if (low != 2 && low != 3 && low != 5) {
        t.reset();
        RaiseError(kErrNotDbase, name + " is not a dBASE database." + "(" + "Invalid version byte" +
                                     ")+ [USE/OpenDBF]");
        return nullptr;
    }
    t->version = head[0];
    t->hasMemo = (head[0] & 0x80) != 0;
    const std::int64_t fileSize = t->FileSize();
    auto refuse = [&](int code, const std::string &text) {
        t.reset();
        RaiseError(code, text);
        return nullptr;
    };

    std::vector<FieldDesc> fields;
    if (low == 2) {
        t->oldLayout = true;
        if (fileSize < 521)
            return refuse(kErrNotDbase, name + " is not a dBASE database." + "(" +
                                            "Header is less than 521 bytes" + ") [Use/OpenDBF]");
        std::uint8_t old[521];
        if (ReadAt(t->fd, old, sizeof old, 0) < 521)
            return refuse(kErrDiskRead, "Error reading " + name + " [Use/OpenDbf]");
        t->recCount = Get16(old + 1);
        t->recordLength = Get16(old + 6);
        t->headerLength = 521;
        bool terminated = false;
        for (int i = 0; i < 32; ++i) {
            const std::uint8_t *d = old + 8 + 16 * i;
            if (d[0] == 0x0D) {
                terminated = true;
                break;
            }
            FieldDesc f;
            f.name.assign(reinterpret_cast<const char *>(d),
                          strnlen(reinterpret_cast<const char *>(d), 11));
            f.type = static_cast<char>(d[11]);
            f.width = d[12];
            f.decimals = d[15];
            fields.push_back(std::move(f));
        }
        if (!terminated || fields.empty())
            return refuse(kErrNotDbase, name + " is not a dBASE database." + "(" +
                                            "Number of fields is out of range" + ") [Use/OpenDbf]");
    } else {
        t->headerLength = Get16(head + 8);
        t->recordLength = Get16(head + 10);
        const std::uint32_t count = Get32(head + 4);
        const int descBytes = t->headerLength - 32;
        if (descBytes < 32 || descBytes > 8191)
            return refuse(kErrNotDbase,
                          NotDbase(name, "Number of fields is out of range", " [Use/OpenDbf]"));
        if (count > 0x7FFFFFFFu)
            return refuse(kErrNotDbase,
                          NotDbase(name, "Record count is out of range", " [USE/OpenDBF]"));
        t->recCount = static_cast<std::int32_t>(count);
        std::vector<std::uint8_t> desc(static_cast<std::size_t>(descBytes));
        if (ReadAt(t->fd, desc.data(), desc.size(), 32) < descBytes)
            return refuse(kErrDiskRead, "Error reading " + name + " [Use/OpenDbf]");
        const int n = descBytes / 32;
        for (int i = 0; i < n; ++i) {
            const std::uint8_t *d = desc.data() + 32 * i;
            if (d[0] == 0x0D) break; // header padding after the terminator
            FieldDesc f;
            f.name.assign(reinterpret_cast<const char *>(d),
                          strnlen(reinterpret_cast<const char *>(d), 11));
            f.type = static_cast<char>(d[11]);
            f.width = d[16];
            f.decimals = d[17];
            fields.push_back(std::move(f));
        }
        if (fields.empty())
            return refuse(kErrNotDbase,
                          NotDbase(name, "Number of fields is out of range", " [Use/OpenDbf]"));
    }
    for (FieldDesc &f : fields) {
        for (char &c : f.name)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (f.type == 'B' || f.type == 'G' || f.type == 'b' || f.type == 'g') f.type = 'M';
        if (!ValidType(f.type))
            return refuse(kErrFieldType, "Field: " + f.name + " [" + std::string(1, f.type) +
                                             "] in " + name + " is not a valid field type");
        if (f.width == 0)
            return refuse(kErrNotDbase,
                          NotDbase(name, "Field " + f.name + " has width 0", " [USE/OpenDBF]"));
        if (f.type != 'N' && f.type != 'F') f.decimals = 0;
    }
    int sumLength = 0;
    t->bufferSize = LayoutFields(fields, &sumLength);
    if (t->recordLength != sumLength)
        return refuse(kErrNotDbase,
                      NotDbase(name, "Record length does not match the fields", " [USE/OpenDBF]"));
    const std::int64_t needed =
        t->headerLength + static_cast<std::int64_t>(t->recCount) * t->recordLength;
    if (fileSize < needed)
        return refuse(kErrNotDbase,
                      NotDbase(name, "File is shorter than its record count", " [USE/OpenDBF]"));
    t->fields = std::move(fields);
    return t;
}

bool GetDbfRecord(DbfTable &t, std::int32_t n, std::uint8_t *raw) {
    if (n < 1 || n > t.recCount) {
        RaiseError(kErrRange, "Invalid record number = " + std::to_string(n) + " (" + t.fileName +
                                  ")  [GetDbfRecord]");
        return false;
    }
    const std::int64_t at = t.headerLength + static_cast<std::int64_t>(n - 1) * t.recordLength;
    const long long got = ReadAt(t.fd, raw, static_cast<std::size_t>(t.recordLength), at);
    if (got != t.recordLength) {
        RaiseError(got < 0 ? kErrDiskRead : kErrUnexpectedEof,
                   "File:  " + t.fileName + "  [GetDbfRecord]");
        return false;
    }
    if (t.convertOem) OemToAnsi(raw + 1, static_cast<std::size_t>(t.recordLength - 1));
    return true;
}

bool GetDbfFieldText(DbfTable &t, std::int32_t n, const FieldDesc &f, std::string &out) {
    if (n < 1 || n > t.recCount) {
        RaiseError(kErrRange, "Invalid record number = " + std::to_string(n) + " (" + t.fileName +
                                  ")  [GetDbfRecord]");
        return false;
    }
    out.resize(static_cast<std::size_t>(f.width));
    const std::int64_t at =
        t.headerLength + static_cast<std::int64_t>(n - 1) * t.recordLength + f.offset;
    const long long got = ReadAt(t.fd, out.data(), out.size(), at);
    if (got != f.width) {
        RaiseError(got < 0 ? kErrDiskRead : kErrUnexpectedEof,
                   "File:  " + t.fileName + "  [GetDbfRecord]");
        return false;
    }
    if (t.convertOem) OemToAnsi(reinterpret_cast<std::uint8_t *>(out.data()), out.size());
    return true;
}

bool PutDbfRecord(DbfTable &t, std::int32_t n, std::uint8_t *raw) {
    const std::string where = "File:  " + t.fileName + " [Replace/Append/PutDbfRecord]";
    const bool append = n > t.recCount;
    if (n < 1 || (append && (t.recCount == 0x7FFFFFFF || (t.oldLayout && t.recCount >= 0xFFFF)))) {
        RaiseError(kErrRange, where);
        return false;
    }
    if (append) n = t.recCount + 1;
    std::vector<std::uint8_t> out(raw, raw + t.recordLength);
    if (t.convertOem) AnsiToOem(out.data() + 1, out.size() - 1);
    const std::int64_t at = t.headerLength + static_cast<std::int64_t>(n - 1) * t.recordLength;
    if (WriteAt(t.fd, out.data(), out.size(), at) != t.recordLength) {
        const int err = errno;
        RaiseError(err == ENOSPC || err == 0 ? kErrDiskWrite : ErrnoToCode(err), where);
        return false;
    }
    if (append) {
        t.recCount = n;
        t.state = ChangeState::Grown;
    } else if (t.state == ChangeState::Unchanged) {
        t.state = ChangeState::Changed;
    }
    return true;
}

bool PutDbfDeleteFlag(DbfTable &t, std::int32_t n, bool deleted) {
    const std::string where = "File:  " + t.fileName + " [DeleteRec/RecallRec]";
    if (n < 1 || n > t.recCount) {
        RaiseError(kErrRange, where);
        return false;
    }
    const std::uint8_t flag = deleted ? '*' : ' ';
    const std::int64_t at = t.headerLength + static_cast<std::int64_t>(n - 1) * t.recordLength;
    if (WriteAt(t.fd, &flag, 1, at) != 1) {
        RaiseError(errno == ENOSPC || errno == 0 ? kErrDiskWrite : ErrnoToCode(errno), where);
        return false;
    }
    if (t.state == ChangeState::Unchanged) t.state = ChangeState::Changed;
    return true;
}

} // namespace dbf
