#include "report.h"

namespace sim {

QString formatReport(const QStringList &fields) {
    QString line(QLatin1Char('"'));
    for (const QString &f : fields) {
        QString clean = f;
        clean.replace(QLatin1Char('"'), QLatin1Char('\''));
        clean.replace(QLatin1Char('\n'), QLatin1Char(' '));
        clean.replace(QLatin1Char('\r'), QLatin1Char(' '));
        line += clean;
        line += QLatin1Char('"');
    }
    return line;
}

QStringList parseReport(const QString &line) {
    QStringList fields;
    if (!line.startsWith(QLatin1Char('"'))) return fields;
    qsizetype start = 1;
    for (;;) {
        const qsizetype q = line.indexOf(QLatin1Char('"'), start);
        if (q < 0) break;
        fields << line.mid(start, q - start);
        start = q + 1;
    }
    return fields;
}

QString escapeText(const QString &text) {
    QString out = text;
    out.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    out.remove(QLatin1Char('\r'));
    out.replace(QLatin1Char('"'), QLatin1Char('\''));
    out.replace(QLatin1String("\n"), QLatin1String("\\n"));
    return out;
}

QString unescapeLiteral(const QString &body) {
    QString out;
    out.reserve(body.size());
    for (qsizetype i = 0; i < body.size(); ++i) {
        const QChar c = body.at(i);
        if (c != QLatin1Char('\\') || i + 1 >= body.size()) {
            out += c;
            continue;
        }
        const QChar n = body.at(i + 1);
        if (n == QLatin1Char('n'))
            out += QLatin1Char('\n');
        else if (n == QLatin1Char('t'))
            out += QLatin1Char('\t');
        else if (n == QLatin1Char('"') || n == QLatin1Char('\\') || n == QLatin1Char('\''))
            out += n;
        else {
            out += c;
            out += n;
        }
        ++i;
    }
    return out;
}

QList<QByteArray> cutLines(const QByteArray &bytes, std::mt19937 &rng) {
    QList<QByteArray> pieces;
    QByteArray current;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        end = end < 0 ? bytes.size() : end + 1;
        const QByteArray segment = bytes.mid(start, end - start);
        if (segment.size() >= 2) {
            const qsizetype cut = 1 + qsizetype(rng() % quint32(segment.size() - 1));
            current += segment.left(cut);
            pieces << current;
            current = segment.mid(cut);
        } else {
            current += segment;
        }
        start = end;
    }
    if (!current.isEmpty()) pieces << current;
    return pieces;
}

} // namespace sim
