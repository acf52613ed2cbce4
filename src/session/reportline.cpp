#include "session/reportline.h"

#include <limits>

const QString &ReportFields::operator[](int i) const {
    static const QString empty;
    return i >= 0 && i < FieldCount ? Fields[static_cast<size_t>(i)] : empty;
}

QChar ReportFields::code() const {
    return FieldCount > 0 && !Fields[0].isEmpty() ? Fields[0].front() : QChar();
}

bool SplitFields(const QString &line, QChar separator, ReportFields &fields) {
    if (line.isEmpty() || line.front() != separator) return false;
    fields.FieldCount = 0;
    qsizetype start = 1;
    for (qsizetype end = line.indexOf(separator, start); end >= 0;
         start = end + 1, end = line.indexOf(separator, start)) {
        if (fields.FieldCount == ReportFields::MaxFields) break;
        fields.Fields[static_cast<size_t>(fields.FieldCount++)] = line.mid(start, end - start);
    }
    for (int i = fields.FieldCount; i < ReportFields::MaxFields; ++i)
        fields.Fields[static_cast<size_t>(i)].clear();
    return true;
}

QString trimControl(const QString &text) {
    qsizetype b = 0, e = text.size();
    while (b < e && text[b].unicode() <= 32)
        ++b;
    while (e > b && text[e - 1].unicode() <= 32)
        --e;
    return text.mid(b, e - b);
}

namespace {
// Parses [blanks][sign]digits starting at text; sets end to the first unparsed position.
bool scanInt(const QString &text, qint64 &value, qsizetype &end) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    const qsizetype digits = i;
    qint64 v = 0;
    while (i < text.size() && text[i].isDigit() && text[i].unicode() < 128) {
        v = v * 10 + (text[i].unicode() - '0');
        if (v > std::numeric_limits<int>::max() + qint64(1)) return false;
        ++i;
    }
    end = i;
    value = negative ? -v : v;
    return i > digits;
}
} // namespace

bool parseInt(const QString &text, int &value) {
    qint64 v = 0;
    qsizetype end = 0;
    if (!scanInt(text, v, end) || end != text.size()) return false;
    if (v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min()) return false;
    value = static_cast<int>(v);
    return true;
}

int leadingInt(const QString &text) {
    qint64 v = 0;
    qsizetype end = 0;
    if (!scanInt(text, v, end)) return 0;
    if (v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min()) return 0;
    return static_cast<int>(v);
}

bool parseDecimal(const QString &text, double &value) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (ok) value = v;
    return ok;
}

bool isClientId(int id) {
    return id >= FirstClientId && id < FirstClientId + MaxPlayers;
}

bool parseClientId(const QString &text, int &id) {
    int v = 0;
    if (!parseInt(text, v) || !isClientId(v)) return false;
    id = v;
    return true;
}
