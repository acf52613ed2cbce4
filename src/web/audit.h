#pragma once

#include <QList>
#include <QString>

namespace web {

// One line of a profile's audit.log: what an operator did or tried, from where, what was
// sent to the game server and how it ended.
struct AuditEntry {
    QString time; // UTC, yyyy-MM-ddThh:mm:ssZ
    QString operatorName;
    QString remote;
    QString action;
    QString command;
    QString outcome;
};

// The audit of a profile: "audit.log" in its directory, one line per entry with tab-separated
// fields. The program only ever appends to it (a private file, never through a link).
namespace audit {

QString fileName(const QString &directory);
// Appends the entry (time now when empty); false when the file can not be written.
bool append(const QString &directory, AuditEntry entry);
// The newest max entries, oldest first, from the last MiB of the file.
QList<AuditEntry> read(const QString &directory, int max);

} // namespace audit
} // namespace web
