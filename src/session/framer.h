#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Cuts console output into lines at line feeds. A line whose end has not arrived yet is
// kept and completed by the next chunk, so that a line the network delivers in two reads
// stays one line. The caller flushes the remainder when no more data comes for a while or
// when the connection closes. A remainder longer than MaxLine is handed out as a line of its
// own, so that a peer that never sends a line feed cannot grow it without bound.
class LineFramer {
public:
    static constexpr qsizetype MaxLine = 64 * 1024;

    // The complete lines of chunk (with whatever was pending before it), without line feeds.
    QStringList feed(const QByteArray &chunk);
    bool hasRemainder() const { return !m_pending.isEmpty(); }
    // The pending unterminated text, now taken as a line.
    QString takeRemainder();
    void clear() { m_pending.clear(); }

    // Console text is 8-bit; every byte maps to one character and back.
    static QString decode(const QByteArray &bytes) { return QString::fromLatin1(bytes); }
    static QByteArray encode(const QString &text) { return text.toLatin1(); }

private:
    QByteArray m_pending;
};
