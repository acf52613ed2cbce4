#pragma once

#include "game/roster.h"
#include "stats/recordingjournal.h"
#include "stats/rowindex.h"
#include "stats/statstable.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

class Profile;
class StatsView;

// Told of each row the tables of one profile are given (recorded, replaced, deleted or
// recalled), and of the tables being opened, closed, emptied or dropped, after which what it
// learnt of the rows before is to be read again from the tables.
class StatsRowListener {
public:
    virtual ~StatsRowListener() = default;
    // table: 0 Players, 1 Kills, 2 Missions; record: the row's field buffer.
    virtual void statsRowWritten(int table, std::int32_t recNo, const std::uint8_t *record) = 0;
    virtual void statsTablesReset() = 0;
};

// The statistics tables of a profile (Players, Kills, Missions) and the rules that record
// into them.
//
// The tables are in-memory tables that are read from their files when recording is switched
// on and written back by CommitTables (each write puts only what changed into the file) and
// when they are closed. Between two commits every recorded row also goes at once to the
// profile's recording journal (recordingjournal.h), which opening the tables replays, so that a
// process that is killed loses nothing it recorded. Rows are found
// through hash indexes (player name, player id, killer/victim pair, player/mission pair) that
// every change keeps up to date; each index holds the first row of its key in table order,
// which is the row a search from the top of the table finds.
//
// An engine error while the tables are opened, recorded into or written switches recording
// of this profile off: the tables are dropped without writing over their files, and the
// engine's message is shown. Other profiles go on.
class Statistics : public RosterListener {
    // The profile's own table engine (its 33 work areas and error mode), so that any number of
    // profiles record at once. First member: it outlives the tables.
    dbf::TableEngine m_engine;

public:
    // hostName: the server's host name, which the question before clearing names.
    Statistics(Profile &profile, Roster &roster, const QString &hostName);
    ~Statistics();
    Statistics(const Statistics &) = delete;
    Statistics &operator=(const Statistics &) = delete;

    bool StatsEnabled = false;
    bool TrackKills = true;
    bool TrackMissions = true;
    bool PlayersChanged = false;
    bool KillsChanged = false;
    bool MissionsChanged = false;

    std::unique_ptr<StatsTable> PlayersTable;
    std::unique_ptr<StatsTable> KillsTable;
    std::unique_ptr<StatsTable> MissionsTable;

    // The field definitions of the three tables.
    static const char *const PlayersFields[17];
    static const char *const KillsFields[20];
    static const char *const MissionsFields[13];
    // The Kills columns that count a cause, and the Missions columns of flag and objective
    // events.
    static const char *const KillCauses[16];
    static const char *const MissionColumns[11];

    // Widths of the keys as the tables store them.
    static constexpr int NameWidth = 30;
    static constexpr int MissionWidth = 40;

    // The Stats page while the profile is displayed, else nullptr.
    void setView(StatsView *view) { m_view = view; }
    // Listeners to the written rows; each must be removed before it is destroyed.
    void addRowListener(StatsRowListener *listener) { m_rowListeners.push_back(listener); }
    void removeRowListener(StatsRowListener *listener) { std::erase(m_rowListeners, listener); }

    // The roster's arrivals, departures and score changes are recorded.
    void playerArrived(PlayerSlot &player) override { RecordConnect(player.ClientId); }
    void playerLeft(PlayerSlot &player) override { RecordDisconnect(player.ClientId); }
    void scoreChanged(PlayerSlot &player, int points) override {
        RecordScore(player.ClientId, points);
    }

    // Recording calls of the roster and the game event handlers.
    void RecordConnect(int clientId);
    void RecordDisconnect(int clientId);
    // The victim must be a client id (2049..2176); a killer that is none is the world.
    void RecordKill(int killerId, int victimId, bool teamKill, const QString &column);
    void RecordMissionEvent(int clientId, const QString &missionName, const QString &column);
    void RecordScore(int clientId, int points);
    // One final score per team, team 0 first (at most 8 are used).
    void RecordMatchResult(const QList<int> &teamScores);

    // Builds the three (closed) tables and points them at the profile directory.
    void CreateTables();
    // Points the tables at the files in the profile's (new) directory.
    void UpdateTablePaths();
    // Opens the tables (rows read from their files) and drops stale connection times.
    void OpenTables();
    // Ends every connection record (time counted), then closes the tables, which writes each
    // table that has unsaved changes. Does nothing while the tables are closed.
    void CloseTables();
    // The Normalize operation: every open connection in the Players table is closed (its time
    // counted into TotalTime when accumulate is true), then the connected players are
    // registered again from now on.
    void CloseOutConnections(bool accumulate = true);
    // Registers every connected player (RecordConnect), in order of arrival.
    void RegisterConnectedPlayers();
    // Empties the three tables on disk and restarts the ids; the players connected now get
    // new rows when recording is on. With recording off the table files are emptied only.
    void ClearTables();
    // Writes every open table whose changed mark is set.
    void CommitTables();
    // Flushes the recording journal to the disk (called every second; at most once a second).
    void SyncJournal() { m_journal.sync(); }
    // The recording journal's file in the profile directory, and the bytes of its header and
    // whole entries (0 while it is closed).
    QString journalPath() const;
    qint64 journalSize() const {
        return m_journal.isOpen() ? static_cast<qint64>(m_journal.size()) : 0;
    }

    // The next player id of this profile (stored at once in the setting "dbID").
    int NextDbId();

    // Switching recording on and off (setting "Stats"), and the Track switches (settings
    // "TrackKills", "TrackMissions").
    void SetStatsEnabled(bool on);
    void SetTrackKills(bool on);
    void SetTrackMissions(bool on);

    // The Stats page's buttons: the recording switch (shown, then switched), Normalize, and
    // Clear after the operator's confirmation. Each returns what it did.
    bool ToggleStats();
    void Normalize() { CloseOutConnections(true); }
    bool ConfirmAndClear();

    // The table the Stats page lists at index 0 (Players), 1 (Kills), 2 (Missions).
    StatsTable *table(int index) const;
    bool tablesOpen() const;

    // The key forms of a name and a mission name: cut to the field width, trailing blanks
    // removed, as the tables hold them.
    static std::string nameKey(const QString &name);
    static std::string missionKey(const QString &mission);

private:
    template <typename Body> void guarded(Body &&body);
    void fail(const QString &text);
    void abandonTables();
    void clearIndexes();
    class TableIndexer;
    // Replays the recording journal onto the tables; replayed[i] is set for each table it
    // changed.
    void replayJournal(bool (&replayed)[3]);
    void closeOutConnections(bool accumulate);
    void registerConnectedPlayers();
    void recordConnect(int clientId);
    void clearTables();
    void showTables();
    void tablesReset() {
        for (StatsRowListener *listener : m_rowListeners)
            listener->statsTablesReset();
    }

    std::int32_t findPlayerById(std::int32_t dbId) const;
    std::int32_t missionNumber(std::string_view key, bool add);
    void addPlayerRow(std::int32_t recNo, const std::string &name, std::int32_t dbId);

    Profile &m_profile;
    Roster &m_roster;
    const QString &m_hostName;
    StatsView *m_view = nullptr;
    std::vector<StatsRowListener *> m_rowListeners;
    bool m_failing = false;
    RecordingJournal m_journal;

    // Text keys found by a view of the text as well as by a string.
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    using TextMap = std::unordered_map<std::string, std::int32_t, TextHash, std::equal_to<>>;

    // Players: first row of each name and of each id; the rows whose Connect is set; the
    // highest id in the table.
    TextMap m_playerByName;
    RowIndex m_playerById;
    std::set<std::int32_t> m_connectedRows;
    std::int32_t m_maxDbId = 0;
    // Kills: first row of each (killer, victim). Missions: first row of each (player,
    // mission number), the missions numbered in order of appearance.
    RowIndex m_killRow;
    RowIndex m_missionRow;
    TextMap m_missionNumbers;
};

namespace platform {
class SettingsStore;
}
// Leaving the Stats page's interval box: when the value (minutes) differs from the one it had
// on entering, it is written to "CommitInterval" of the global section and true is returned;
// the caller then sets the commit timer from it (0 or less stops the interval commits).
bool CommitIntervalExit(platform::SettingsStore &settings, int minutes, int remembered);
