#include "session/consolecommand.h"

namespace console {

namespace {

bool isControl(char16_t c) {
    return c < 32 || c == 127;
}

void appendEscapedControl(QString &out, char16_t c) {
    if (c == u'\n') {
        out += QLatin1String("\\n");
    } else if (c == u'\t') {
        out += QLatin1String("\\t");
    } else {
        static constexpr char hex[] = "0123456789ABCDEF";
        out += QLatin1String("\\x");
        out += QLatin1Char(hex[(c >> 4) & 0xF]);
        out += QLatin1Char(hex[c & 0xF]);
    }
}

bool isHex(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

// The length of the escape that starts with the backslash at i, or 0 when none does.
qsizetype escapeLength(QStringView text, qsizetype i) {
    if (i + 1 >= text.size()) return 0;
    const char16_t n = text[i + 1].unicode();
    if (n == u'\\' || n == u'"' || n == u'n' || n == u't') return 2;
    if (n == u'x' && i + 3 < text.size() && isHex(text[i + 2]) && isHex(text[i + 3])) return 4;
    return 0;
}

QString oneLine(const QString &text) {
    QString out = text;
    for (QChar &c : out)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) c = QLatin1Char(' ');
    return out;
}

} // namespace

QString literalBody(const QString &text) {
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\')
            out += QLatin1String("\\\\");
        else if (u == u'"')
            out += QLatin1String("\\\"");
        else if (isControl(u))
            appendEscapedControl(out, u);
        else
            out += c;
    }
    return out;
}

QString literal(const QString &text) {
    return QLatin1Char('"') + literalBody(text) + QLatin1Char('"');
}

QString normalizedLiteralBody(const QString &escaped) {
    QString out;
    out.reserve(escaped.size() + 8);
    const QStringView text(escaped);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u == u'\\') {
            if (const qsizetype n = escapeLength(text, i); n > 0) {
                out += text.mid(i, n);
                i += n - 1;
            } else {
                out += QLatin1String("\\\\");
            }
        } else if (u == u'"') {
            out += QLatin1String("\\\"");
        } else if (isControl(u)) {
            appendEscapedControl(out, u);
        } else {
            out += text[i];
        }
    }
    return out;
}

bool isLiteralBody(QStringView body) {
    for (qsizetype i = 0; i < body.size(); ++i) {
        const char16_t u = body[i].unicode();
        if (u == u'\\') {
            const qsizetype n = escapeLength(body, i);
            if (n == 0) return false;
            i += n - 1;
        } else if (u == u'"' || isControl(u)) {
            return false;
        }
    }
    return true;
}

QString command(const QString &statement) {
    return oneLine(statement) + Marker + QLatin1Char('\n');
}

QString plainLine(const QString &text) {
    return oneLine(text) + QLatin1Char('\n');
}

bool isEcho(QStringView line) {
    return line.endsWith(Marker.sliced(1)); // the echo arrives trimmed
}

} // namespace console
