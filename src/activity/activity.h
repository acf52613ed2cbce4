#pragma once

#include "platform/datetime.h"

#include <QStringList>
#include <array>

class TVexmoorServer;

// Connection and play-time figures, uptime, and the hourly player averages per weekday.
class Activity {
public:
    explicit Activity(TVexmoorServer &server) : Server(server) {}

    QStringList NamesThisHour; // sorted, duplicates ignored
    std::array<std::array<qint32, 24>, 7> HourlyCounts{};
    std::array<std::array<float, 24>, 7> HourlyAverages{};
    qint32 TotalConnections = 0;
    qint32 CompletedSessions = 0;
    platform::DateTime SessionStart = 0;
    double TotalPlayTime = 0;
    platform::DateTime LastConnection = 0;
    double ShortestPlayTime = 999999.0;
    double LongestPlayTime = 0;

    void ClearActivity();
    void LoadActivity();
    void ShowActivityFigures();
    // Called every second: the uptime shown, and the hourly sample at an hour boundary.
    void UpdateUptime();
    void CheckActivityTime();

private:
    TVexmoorServer &Server;
};
