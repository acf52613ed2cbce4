#include "session/framer.h"

QStringList LineFramer::feed(const QByteArray &chunk) {
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype lf = chunk.indexOf('\n'); lf >= 0;
         start = lf + 1, lf = chunk.indexOf('\n', start)) {
        m_pending.append(chunk.constData() + start, lf - start);
        lines.append(decode(m_pending));
        m_pending.clear();
    }
    m_pending.append(chunk.constData() + start, chunk.size() - start);
    while (m_pending.size() > MaxLine) {
        lines.append(decode(m_pending.left(MaxLine)));
        m_pending.remove(0, MaxLine);
    }
    return lines;
}

QString LineFramer::takeRemainder() {
    QString line = decode(m_pending);
    m_pending.clear();
    return line;
}
