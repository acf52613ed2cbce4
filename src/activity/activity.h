#pragma once

#include "activity/activityview.h"
#include "game/roster.h"
#include "platform/datetime.h"

#include <QStringList>
#include <array>

class Profile;

// Per weekday (0 = Sunday) and hour: the number of samples folded into the hour's average.
using HourlyCountArray = std::array<std::array<qint32, 24>, 7>;

// An hour slot: weekday 0 (Sunday) to 6, hour 0 to 23.
struct HourSlot {
    int day = 0;
    int hour = 0;
    bool operator==(const HourSlot &) const = default;
};

// The slot of the hour that ended at the last full hour before t: [today][h - 1], or
// [yesterday][23] during hour 0.
HourSlot previousHourSlot(platform::DateTime t);
// The slot t falls into.
HourSlot hourSlot(platform::DateTime t);
// Days, then ":hh:nn:ss" of a duration in days ("0:01:02:03"); negative durations show as 0.
QString formatUptime(double days);

// Connection and play-time figures, uptime, and the hourly player averages per weekday.
// Arrivals and departures come from the roster, whose players it counts.
class Activity : public RosterListener {
public:
    // The activity file: counts, then averages, each one record of 168 little-endian values.
    static constexpr int RecordSize = 7 * 24 * 4;
    static constexpr int FileSize = 2 * RecordSize;

    Activity(Profile &profile, const Roster &roster);

    // The Activity page while the profile is displayed, else nullptr.
    void setView(ActivityView *view) { m_view = view; }

    // The roster's arrivals and departures.
    void playerArrived(PlayerSlot &player) override;
    void playerLeft(PlayerSlot &player) override;

    QStringList NamesThisHour; // sorted, duplicates (in any letter case) ignored
    HourlyCountArray HourlyCounts{};
    HourlyAverageArray HourlyAverages{};
    qint32 TotalConnections = 0;
    qint32 CompletedSessions = 0;
    platform::DateTime SessionStart = 0;
    double TotalPlayTime = 0;
    platform::DateTime LastConnection = 0;
    double ShortestPlayTime = 999999.0;
    double LongestPlayTime = 0;

    // "activity" in the profile directory.
    QString fileName() const;
    void ClearActivity();
    // Reads the activity file; a missing, unreadable or short file leaves the arrays as they
    // are. Slots with a negative count or an average that is not a number read as empty.
    void LoadActivity();
    // Writes the activity file; false when it could not be written.
    bool SaveActivity() const;

    // Adds a name to NamesThisHour unless it is there in any letter case.
    void AddNameThisHour(const QString &name);
    // NamesThisHour := the names of the players connected now.
    void RefillNamesThisHour();
    // Folds the names of the past hour into the slot of the hour that just ended, starts the
    // new hour with the players connected now and saves the file.
    void SampleActivity();
    // The value the current hour's slot would get if it were sampled now.
    double ProjectedValue() const;

    // While displayed: all labels and the chart.
    void ShowActivityFigures();
    // While displayed: the projected value of the current hour on the chart.
    void Chart_update();
    // The Reset Graph button: every count and average 0, the chart redrawn, the file saved.
    void ResetGraph();

    // Called every second: the uptime shown, and the hourly sample once the hour has changed.
    void UpdateUptime();
    void CheckActivityTime();

private:
    void sampleAt(platform::DateTime t);
    // Every label of the page but the uptime.
    void showFigures();

    Profile &m_profile;
    const Roster &m_roster;
    ActivityView *m_view = nullptr;
    qint64 m_sampledHour; // the hour (counted from the epoch) of the last sample
};
