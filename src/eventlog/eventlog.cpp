#include "eventlog/eventlog.h"

#include "eventlog/announcer.h"
#include "eventlog/eventlogview.h"
#include "platform/datetime.h"
#include "platform/settingsstore.h"
#include "session/profile.h"

#include <QFile>

void EventLog::LogEvent(const QString &text, const QString &spoken, int category) {
    const QString entry =
        QLatin1Char('[') + platform::formatTime(platform::now()) + QStringLiteral("] ") + text;
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
    // A file removed since it was prepared is not made again: the line is lost.
    QFile file(logFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly)) return;
    // The log is 8-bit text, like the console it records.
    file.write(line.toLatin1() + "\r\n");
    file.close();
}

void EventLog::PrepareLogFile() {
    QFile file(logFilePath());
    if (file.exists()) {
        LogFileReady = true;
        return;
    }
    LogFileReady = file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    file.close();
}

void EventLog::SetLogToFile(bool on) {
    LogToFile = on;
    if (LogToFile) PrepareLogFile();
    m_profile.settings().writeBool(m_profile.section(), QStringLiteral("Log"), LogToFile);
}

QString EventLog::logFilePath() const {
    return m_profile.directory() + QStringLiteral("/events.log");
}
