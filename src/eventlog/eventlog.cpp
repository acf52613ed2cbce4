#include "eventlog/eventlog.h"

#include "eventlog/announcer.h"
#include "eventlog/eventlogview.h"
#include "platform/datetime.h"
#include "platform/privatefile.h"
#include "platform/settingsstore.h"
#include "session/profile.h"

QString visibleText(const QString &text) {
    QString out = text;
    for (QChar &c : out) {
        const char16_t u = c.unicode();
        if ((u < 32 && u != u'\t') || (u >= 127 && u < 160)) c = QChar(0xFFFD);
    }
    return out;
}

void EventLog::LogEvent(const QString &text, const QString &spoken, int category) {
    const QString entry = QLatin1Char('[') + platform::formatTime(platform::now()) +
                          QStringLiteral("] ") + visibleText(text);
    AppendToLogFile(entry);
    while (EventHistory.size() >= HistoryLimit)
        EventHistory.removeFirst();
    EventHistory.append(entry);
    for (EventLogListener *listener : std::as_const(m_listeners))
        listener->eventLogged(entry, text, category);
    if (!m_view) return; // a profile that is not displayed is neither shown nor spoken
    m_view->PlayByPlay_add(entry);
    if (m_speech && m_speech->categoryOn(category))
        m_speech->Announce(spoken.isEmpty() ? text : spoken, category);
}

void EventLog::AppendToLogFile(const QString &line) {
    if (!LogToFile || !LogFileReady) return;
    // A file removed since it was prepared is not made again: the line is lost. The log is
    // 8-bit text, like the console it records.
    platform::appendToFile(logFilePath(), visibleText(line).toLatin1() + "\r\n", false);
}

void EventLog::PrepareLogFile() {
    LogFileReady = platform::ensureRegularFile(logFilePath());
}

void EventLog::SetLogToFile(bool on) {
    LogToFile = on;
    if (LogToFile) PrepareLogFile();
    m_profile.settings().writeBool(m_profile.section(), QStringLiteral("Log"), LogToFile);
}

QString EventLog::logFilePath() const {
    return m_profile.directory() + QStringLiteral("/events.log");
}
