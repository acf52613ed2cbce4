// Field definitions and layout, the date form, the stored text of numbers and the typed field
// buffer of dBASE tables (the table files themselves: dbffile.cpp).
#include "dbf/dbffile.h"
#include "dbf/storedint_p.h"

#include "dbf/codepage.h"
#include "dbf/dbferror.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>

namespace dbf {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) < 33)
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) < 33)
        s.remove_suffix(1);
    return s;
}

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char &c : out)
        c = Upper(c);
    return out;
}

namespace {

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

} // namespace

bool IsFieldType(char type) {
    return type == 'C' || type == 'D' || type == 'F' || type == 'L' || type == 'M' || type == 'N';
}

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
        items[i] = Trim(text.substr(start, comma - start));
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
    if (!IsFieldType(type)) t = 'C';
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
    const std::string upper = Upper(fmt);
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
    if (stored.size() < 8 || Trim(stored.substr(0, 8)).empty()) return BlankDateForm(form);
    std::string_view year = stored.substr(0, 4);
    if (!form.fourDigitYear) year = year.substr(2, 2);
    return ComposeDate(form, year, stored.substr(4, 2), stored.substr(6, 2));
}

std::string DateFormToStored(std::string_view text, const DateForm &form) {
    const std::string blank(8, ' ');
    std::string_view t = Trim(text);
    if (t.empty()) return blank;
    // Split at the separators (any of "/-." is accepted).
    std::string_view parts[3];
    int n = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= t.size(); ++i) {
        if (i == t.size() || t[i] == '/' || t[i] == '-' || t[i] == '.') {
            if (n == 3) return blank;
            parts[n++] = Trim(t.substr(start, i - start));
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
    text = Trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double v = 0;
    auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (res.ec != std::errc() || !std::isfinite(v)) return 0;
    return v;
}

std::int32_t ParseInt32(std::string_view text) {
    return SaturateInt32(ParseNumber(text));
}

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

} // namespace dbf
