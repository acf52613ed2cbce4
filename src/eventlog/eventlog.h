#pragma once

#include <QString>
#include <QStringList>

class TVexmoorServer;

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

// The time-stamped event entries of a profile: history, view, events.log and speech.
class EventLog {
public:
    explicit EventLog(TVexmoorServer &server) : Server(server) {}

    QStringList EventHistory; // the last 100 entries
    bool LogFileReady = false;
    bool LogToFile = false;

    void LogEvent(const QString &text, const QString &spoken, int category);
    void AppendToLogFile(const QString &line);
    void PrepareLogFile();
    QString logFilePath() const;

private:
    TVexmoorServer &Server;
};
