#include "eventlog/eventlog.h"

#include "session/server.h"

void EventLog::LogEvent(const QString &, const QString &, int) {}
void EventLog::AppendToLogFile(const QString &) {}
void EventLog::PrepareLogFile() {}
QString EventLog::logFilePath() const {
    return Server.directory() + QStringLiteral("/events.log");
}
