// The search commands of the work areas: Locate, Continue and the multi-field Locate.
#include "dbf/workarea.h"

#include "dbf/codepage.h"
#include "dbf/workarea_p.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>
#include <variant>

namespace dbf {

using namespace area_detail;

namespace {

struct Matcher {
    LocateState s;
    FieldDesc f;
    bool fastInt = false;
    std::int32_t intTarget = 0;
    bool fastDouble = false;
    double dblTarget = 0;
    double dblSlack = 0;

    bool MatchText(std::string_view text) const {
        const std::string_view search = s.search;
        if (s.contained) {
            if (!s.nocase) return text.find(search) != std::string_view::npos;
            auto it = std::search(
                text.begin(), text.end(), search.begin(), search.end(), [](char a, char b) {
                    return AnsiUpper(static_cast<std::uint8_t>(a)) == static_cast<std::uint8_t>(b);
                });
            return it != text.end() || search.empty();
        }
        if (!s.exact && text.size() > search.size()) text = text.substr(0, search.size());
        if (text.size() != search.size()) return false;
        if (!s.nocase) return text == search;
        for (std::size_t i = 0; i < text.size(); ++i)
            if (AnsiUpper(static_cast<std::uint8_t>(text[i])) !=
                static_cast<std::uint8_t>(search[i]))
                return false;
        return true;
    }

    // In-memory record (field buffer copy).
    bool MatchBuffer(const std::uint8_t *buf) const {
        const std::uint8_t *p = buf + f.bufOffset;
        switch (f.type) {
        case 'C': {
            const std::size_t len = std::min<std::size_t>(p[0], static_cast<std::size_t>(f.width));
            return MatchText(std::string_view(reinterpret_cast<const char *>(p + 1), len));
        }
        case 'D':
            return MatchText(DateFormToStored(FieldText(f, buf)));
        default:
            break;
        }
        if (fastInt) {
            std::int32_t v;
            std::memcpy(&v, p, sizeof v);
            return v == intTarget;
        }
        if (fastDouble) {
            double v;
            std::memcpy(&v, p, sizeof v);
            if (!(std::fabs(v - dblTarget) <= dblSlack)) return false;
        }
        return MatchText(FieldText(f, buf));
    }
};

std::string ValueToSearchText(const FieldDesc &f, const LocateValue &value) {
    auto asNumber = [&]() -> double {
        if (auto s = std::get_if<std::string>(&value)) return ParseNumber(*s);
        if (auto d = std::get_if<double>(&value)) return *d;
        if (auto i = std::get_if<std::int32_t>(&value)) return *i;
        return std::get<bool>(value) ? 1 : 0;
    };
    switch (f.type) {
    case 'C':
    case 'M':
        if (auto s = std::get_if<std::string>(&value)) return *s;
        if (f.type == 'M') return FormatNumber(asNumber(), f.width, 0);
        if (auto b = std::get_if<bool>(&value)) return *b ? "T" : "F";
        {
            char text[64];
            std::snprintf(text, sizeof text, "%.15g", asNumber());
            return text;
        }
    case 'L':
        if (auto s = std::get_if<std::string>(&value)) {
            const char c = s->empty() ? ' ' : s->front();
            return (c == 'T' || c == 't' || c == 'Y' || c == 'y') ? "T" : "F";
        }
        return asNumber() != 0 ? "T" : "F";
    case 'D':
        if (auto s = std::get_if<std::string>(&value)) return DateFormToStored(*s);
        return std::string(8, ' ');
    default:
        return FormatNumber(asNumber(), f.width, f.decimals);
    }
}

// Parses "<field> [NOCASE] [EXACT] [CONTAINED]"; 0 after reporting an error.
int ParseLocateSpec(WorkArea &wa, std::string_view spec, LocateState &st) {
    std::string s(Trim(Upper(spec)));
    st = LocateState{};
    for (bool more = true; more;) {
        more = false;
        for (auto [word, flag] : {std::pair<std::string_view, bool *>{" NOCASE", &st.nocase},
                                  {" EXACT", &st.exact},
                                  {" CONTAINED", &st.contained}}) {
            if (s.size() >= word.size() &&
                s.compare(s.size() - word.size(), word.size(), word) == 0) {
                *flag = true;
                s.erase(s.size() - word.size());
                s = std::string(Trim(s));
                more = true;
            }
        }
    }
    if (s.empty()) {
        RaiseError(kErrInvalidParameter, "No field name specified [Locate/Count/Sum]");
        return 0;
    }
    const int n = FieldNo(s);
    if (n == 0) {
        RaiseError(kErrInvalidParameter, "Unrecognized field name [Locate/Count/Sum(" + s + ")]");
        return 0;
    }
    (void)wa;
    return n;
}

Matcher MakeMatcher(WorkArea &wa) {
    Matcher m;
    m.s = wa.locate;
    m.f = wa.fields[static_cast<std::size_t>(wa.locate.field - 1)];
    const bool numeric = m.f.type == 'N' || m.f.type == 'F' || m.f.type == 'M';
    if (wa.inMemory && numeric && !m.s.contained && m.s.search.find('*') == std::string::npos) {
        const bool holdsDouble = (m.f.type == 'N' || m.f.type == 'F') && m.f.decimals > 0;
        if (!holdsDouble && m.s.search.size() == static_cast<std::size_t>(m.f.width)) {
            m.fastInt = true;
            m.intTarget = ParseInt32(m.s.search);
        } else if (holdsDouble) {
            m.fastDouble = true;
            m.dblTarget = ParseNumber(m.s.search);
            m.dblSlack = 2 * std::pow(10.0, -m.f.decimals) + std::fabs(m.dblTarget) * 1e-9;
        }
    }
    return m;
}

// Scans from record `from`; positions on the match or at EOF.
bool Scan(WorkArea &wa, std::int32_t from) {
    const std::int32_t count = Count(wa);
    const Matcher m = MakeMatcher(wa);
    std::int32_t found = 0;
    if (wa.inMemory) {
        const bool hide = E().hideDeleted;
        for (std::int32_t n = std::max(from, 1); n <= count; ++n) {
            const std::uint8_t *rec = wa.store.Record(n);
            if (hide && rec[0]) continue;
            if (m.MatchBuffer(rec)) {
                found = n;
                break;
            }
        }
    } else {
        std::string text;
        for (std::int32_t n = std::max(from, 1); n <= count; ++n) {
            if (E().hideDeleted) {
                FieldDesc flag;
                flag.width = 1;
                flag.offset = 0;
                std::string f;
                if (!GetDbfFieldText(*wa.disk, n, flag, f)) return false;
                if (f[0] == '*') continue;
            }
            if (!GetDbfFieldText(*wa.disk, n, m.f, text)) return false;
            if (m.MatchText(text)) {
                found = n;
                break;
            }
        }
    }
    if (found) {
        GO(found);
        return LastErrorCode() == 0;
    }
    GoBottom();
    if (Count(wa) > 0 && !wa.eof) SKIP(1);
    return false;
}

} // namespace

bool Locate(std::string_view fieldSpec, const LocateValue &value) {
    ClearError();
    WorkArea *wa = Need("Locate");
    if (!wa) return false;
    LocateState st;
    const int n = ParseLocateSpec(*wa, fieldSpec, st);
    if (n == 0) return false;
    st.field = n;
    st.search = ValueToSearchText(wa->fields[static_cast<std::size_t>(n - 1)], value);
    if (!st.exact)
        while (!st.search.empty() && st.search.back() == ' ')
            st.search.pop_back();
    if (st.nocase) st.search = AnsiUpper(st.search);
    st.active = true;
    wa->locate = st;
    return Scan(*wa, 1);
}

bool LocateRaw(std::string_view fieldSpec, const void *value) {
    ClearError();
    WorkArea *wa = Need("Locate");
    if (!wa) return false;
    LocateState st;
    const int n = ParseLocateSpec(*wa, fieldSpec, st);
    if (n == 0) return false;
    const FieldDesc &f = wa->fields[static_cast<std::size_t>(n - 1)];
    LocateValue v;
    if (f.type == 'C' || f.type == 'D') {
        v = std::string(static_cast<const char *>(value));
    } else if (f.type == 'L') {
        v = *static_cast<const std::uint8_t *>(value) != 0;
    } else if ((f.type == 'N' || f.type == 'F') && f.decimals > 0) {
        double d;
        std::memcpy(&d, value, sizeof d);
        v = d;
    } else {
        std::int32_t i;
        std::memcpy(&i, value, sizeof i);
        v = i;
    }
    return Locate(fieldSpec, v);
}

bool Continue() {
    ClearError();
    WorkArea *wa = Need("Continue");
    if (!wa) return false;
    if (!wa->locate.active) {
        RaiseError(kErrInvalidParameter,
                   "Call to CONTINUE not preceeded by call to LOCATE. [Continue]");
        return false;
    }
    return Scan(*wa, wa->current + 1);
}

bool LocateMulti(std::string_view fieldList, const LocateValue &value, std::string_view options) {
    std::size_t start = 0;
    const std::string opts(Trim(options));
    while (start <= fieldList.size()) {
        std::size_t end = fieldList.find(';', start);
        if (end == std::string_view::npos) end = fieldList.size();
        std::string_view item = Trim(fieldList.substr(start, end - start));
        item = item.substr(0, item.find(' '));
        if (!item.empty()) {
            std::string spec(item);
            if (!opts.empty()) spec += " " + opts;
            if (Locate(spec, value)) return true;
            if (LastErrorCode() != 0) return false;
        }
        start = end + 1;
    }
    return false;
}

} // namespace dbf
