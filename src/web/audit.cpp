#include "web/audit.h"

#include <QDateTime>
#include <QFile>
#include <QStringList>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace web::audit {

namespace {

constexpr qint64 ReadWindow = 1 << 20;
constexpr int MaxFieldLength = 4096;

// Backslashes, tabs and line ends are written as escapes, other control characters dropped:
// a game text can neither start a new line nor a new field.
QString escaped(const QString &text) {
    QString out;
    out.reserve(qMin(text.size(), qsizetype(MaxFieldLength)) + 8);
    for (QChar c : text.left(MaxFieldLength)) {
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('\t'))
            out += QLatin1String("\\t");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            out += QLatin1String("\\r");
        else if (c.unicode() >= 32 && c.unicode() != 127)
            out += c;
    }
    return out;
}

QString unescaped(const QString &text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\\') || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar n = text[++i];
        out += n == QLatin1Char('t')   ? QLatin1Char('\t')
               : n == QLatin1Char('n') ? QLatin1Char('\n')
               : n == QLatin1Char('r') ? QLatin1Char('\r')
                                       : n;
    }
    return out;
}

} // namespace

QString fileName(const QString &directory) {
    return directory + QStringLiteral("/audit.log");
}

bool append(const QString &directory, AuditEntry e) {
    if (directory.isEmpty()) return false;
    if (e.time.isEmpty())
        e.time = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddThh:mm:ssZ"));
    const QByteArray line =
        QStringList{escaped(e.time),   escaped(e.operatorName), escaped(e.remote),
                    escaped(e.action), escaped(e.command),      escaped(e.outcome)}
            .join(QLatin1Char('\t'))
            .toUtf8() +
        '\n';
    const int fd = ::open(QFile::encodeName(fileName(directory)).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    // One write per line: appends of one line never interleave.
    ssize_t n;
    do {
        n = ::write(fd, line.constData(), size_t(line.size()));
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    return n == line.size();
}

QList<AuditEntry> read(const QString &directory, int max) {
    QList<AuditEntry> list;
    const int fd = ::open(QFile::encodeName(fileName(directory)).constData(),
                          O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 || max <= 0) {
        if (fd >= 0) ::close(fd);
        return list;
    }
    const off_t size = ::lseek(fd, 0, SEEK_END);
    const off_t start = size > ReadWindow ? size - ReadWindow : 0;
    QByteArray data(qsizetype(size - start), Qt::Uninitialized);
    const ssize_t got = size > 0 ? ::pread(fd, data.data(), size_t(data.size()), start) : 0;
    ::close(fd);
    if (got < 0) return list;
    data.truncate(got);
    QList<QByteArray> lines = data.split('\n');
    if (start > 0 && !lines.isEmpty()) lines.removeFirst(); // cut in the middle
    for (const QByteArray &raw : lines) {
        const QStringList f = QString::fromUtf8(raw).split(QLatin1Char('\t'));
        if (f.size() != 6) continue;
        list.append({unescaped(f[0]), unescaped(f[1]), unescaped(f[2]), unescaped(f[3]),
                     unescaped(f[4]), unescaped(f[5])});
    }
    if (list.size() > max) list = list.mid(list.size() - max);
    return list;
}

} // namespace web::audit
