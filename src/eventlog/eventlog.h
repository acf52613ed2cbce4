#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class Announcer;
class EventLogView;
class Profile;

// Speech categories of event sentences; a lower number interrupts a higher one.
enum SpeechCategory {
    MissionScore = 0,
    Votes = 1,
    ConnectDisconnect = 2,
    TeamChanges = 3,
    FlagsObjectives = 4,
    KillsSuicides = 5,
    PlayerMessages = 6,
};

// text with every control character (below 32 except tab, 127 and 128..159) replaced by
// U+FFFD, so that a name from the server can neither forge a line of the log nor drive a
// terminal. The log file, 8-bit text, holds "?" in its place.
QString visibleText(const QString &text);

// Hears of every entry a profile's event log takes, displayed or not.
class EventLogListener {
public:
    virtual ~EventLogListener() = default;
    // entry: "[hh:nn:ss] " + text, as the history holds it.
    virtual void eventLogged(const QString &entry, const QString &text, int category) = 0;
};

// The time-stamped event entries of a profile: the history of the newest 100, the
// play-by-play view while the profile is displayed, events.log when logging to file is on,
// and speech for the displayed profile.
class EventLog {
public:
    static constexpr int HistoryLimit = 100;

    // speech: the run's announcer as the window sets it (none without speech).
    EventLog(Profile &profile, Announcer *const &speech) : m_profile(profile), m_speech(speech) {}

    // The play-by-play view while the profile is displayed, else nullptr.
    void setView(EventLogView *view) { m_view = view; }
    // Listeners are told of each entry after the history took it.
    void addListener(EventLogListener *listener) { m_listeners.append(listener); }
    void removeListener(EventLogListener *listener) { m_listeners.removeAll(listener); }

    QStringList EventHistory;  // the newest entries, oldest first
    bool LogFileReady = false; // events.log exists or could be created
    bool LogToFile = false;    // the profile's "Log" setting

    // One event: "[hh:nn:ss] " + visibleText(text) goes to the file, the history and, while
    // displayed, to the view and (spoken, or text when spoken is empty) to speech.
    void LogEvent(const QString &text, const QString &spoken, int category);
    // Appends one line with CR LF to events.log when logging is on and the file is ready;
    // the file is opened and closed for every line (never through a link), and a line that cannot
    // be written is dropped without a message.
    void AppendToLogFile(const QString &line);
    // Makes sure events.log exists (creating it empty) and sets LogFileReady accordingly.
    void PrepareLogFile();
    // The "Log to File" check box was clicked: switches logging, prepares the file when on
    // and stores the "Log" setting.
    void SetLogToFile(bool on);
    QString logFilePath() const;

private:
    Profile &m_profile;
    Announcer *const &m_speech;
    EventLogView *m_view = nullptr;
    QList<EventLogListener *> m_listeners;
};
