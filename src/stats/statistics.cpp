#include "stats/statistics.h"

#include "dbf/dbferror.h"
#include "platform/datetime.h"
#include "platform/dialogs.h"
#include "platform/settingsstore.h"
#include "session/profile.h"
#include "stats/statsview.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

const char *const Statistics::PlayersFields[17] = {
    "Name,C,30,0",     "dbID,N,10,0",    "GameID,N,4,0", "Connect,N,20,13", "TotalTime,N,20,13",
    "LastTime,C,19,0", "IP,C,30,0",      "Kills,N,10,0", "TKills,N,10,0",   "Deaths,N,10,0",
    "TDeaths,N,10,0",  "Wins,N,5,0",     "Losses,N,5,0", "Ties,N,5,0",      "Score,N,10,0",
    "AdjScore,N,12,4", "LagWhines,N,5,0"};

const char *const Statistics::KillsFields[20] = {
    "KillerID,N,10,0", "VictimID,N,10,0", "Kills,N,8,0",   "TeamKills,N,8,0", "Fall,N,8,0",
    "Chaingun,N,8,0",  "Turret,N,8,0",    "Plasma,N,8,0",  "Disc,N,8,0",      "Grenade,N,8,0",
    "Laser,N,8,0",     "Mortar,N,8,0",    "Blaster,N,8,0", "Elf,N,8,0",       "Mine,N,8,0",
    "Explosion,N,8,0", "Crushed,N,8,0",   "Rocket,N,8,0",  "Suicide,N,8,0",   "Other,N,8,0"};

const char *const Statistics::MissionsFields[13] = {
    "dbID,N,10,0",      "Mission,C,40,0",   "FlagGrab,N,8,0",   "FlagCap,N,8,0", "FlagDrop,N,8,0",
    "FlagRescue,N,8,0", "FlagDefend,N,8,0", "FlagCrDfnd,N,8,0", "ObjCap,N,8,0",  "ObjHold,N,8,0",
    "ObjDefend,N,8,0",  "ObjEnDstry,N,8,0", "ObjFrDstry,N,8,0"};

const char *const Statistics::KillCauses[16] = {
    "Fall",    "Chaingun", "Turret", "Plasma",    "Disc",    "Grenade", "Laser",   "Mortar",
    "Blaster", "Elf",      "Mine",   "Explosion", "Crushed", "Rocket",  "Suicide", "Other"};

const char *const Statistics::MissionColumns[11] = {
    "FlagGrab", "FlagCap", "FlagDrop",  "FlagRescue", "FlagDefend", "FlagCrDfnd",
    "ObjCap",   "ObjHold", "ObjDefend", "ObjEnDstry", "ObjFrDstry"};

namespace {

const QString StatsKey = QStringLiteral("Stats");
const QString TrackKillsKey = QStringLiteral("TrackKills");
const QString TrackMissionsKey = QStringLiteral("TrackMissions");
const QString DbIdKey = QStringLiteral("dbID");

// Text fields hold the profile's text in Latin-1, as the console delivers it.
std::string latin1(const QString &text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string cutKey(const QString &text, int width) {
    std::string key = latin1(text);
    if (key.size() > static_cast<std::size_t>(width)) key.resize(static_cast<std::size_t>(width));
    while (!key.empty() && key.back() == ' ')
        key.pop_back();
    return key;
}

// The column of list named `column` (letter case counting, as the handlers name them), or
// nullptr.
template <std::size_t N> const char *columnOf(const char *const (&list)[N], const QString &column) {
    for (const char *name : list)
        if (column == QLatin1String(name)) return name;
    return nullptr;
}

void addTo(StatsTable &table, const char *field, int amount) {
    dbf::TField &f = table.FieldByName(field);
    f.SetAsInteger(saturatingAdd(f.AsInteger(), amount));
}

std::uint64_t idKey(std::int32_t id) {
    return static_cast<std::uint32_t>(id);
}

// Re-enables a table's controls however the block is left.
class ControlsHold {
public:
    explicit ControlsHold(StatsTable &table) : m_table(table) { m_table.DisableControls(); }
    ~ControlsHold() { m_table.EnableControls(); }
    ControlsHold(const ControlsHold &) = delete;
    ControlsHold &operator=(const ControlsHold &) = delete;

private:
    StatsTable &m_table;
};

} // namespace

Statistics::Statistics(Profile &profile, Roster &roster, const QString &hostName)
    : m_profile(profile), m_roster(roster), m_hostName(hostName) {
    // Engine errors come back as exceptions, so that one profile's failing table does not
    // stop the program.
    m_engine.errors().exceptions = true;
}

Statistics::~Statistics() = default;

std::string Statistics::nameKey(const QString &name) {
    return cutKey(name, NameWidth);
}

std::string Statistics::missionKey(const QString &mission) {
    return cutKey(mission, MissionWidth);
}

StatsTable *Statistics::table(int index) const {
    switch (index) {
    case 0:
        return PlayersTable.get();
    case 1:
        return KillsTable.get();
    case 2:
        return MissionsTable.get();
    default:
        return nullptr;
    }
}

bool Statistics::tablesOpen() const {
    return PlayersTable && PlayersTable->Active();
}

// --- errors ----------------------------------------------------------------------------

template <typename Body> void Statistics::guarded(Body &&body) {
    QString error;
    try {
        body();
        return;
    } catch (const dbf::ERedadError &e) {
        error = QString::fromLocal8Bit(e.what());
    } catch (const dbf::EDatabaseError &e) {
        error = QString::fromLocal8Bit(e.what());
    }
    fail(error);
}

void Statistics::fail(const QString &text) {
    if (m_failing) return; // already switching off; the first message is on its way
    m_failing = true;
    abandonTables();
    StatsEnabled = false;
    m_profile.settings().writeBool(m_profile.section(), StatsKey, false);
    if (m_view) {
        m_view->showStatsState(false, TrackKills, TrackMissions);
        m_view->statsTablesChanged();
    }
    // The box is modal and runs the event loop: the tables are closed before it shows.
    m_profile.dialogs().message(platform::Dialogs::Icon::Error, text);
    m_failing = false;
}

void Statistics::abandonTables() {
    for (int i = 0; i < 3; ++i) {
        StatsTable *t = table(i);
        if (!t || !t->Active()) continue;
        const bool save = t->SaveToDisk;
        t->SaveToDisk = false; // what is in memory may be half done: the files stay as they are
        try {
            t->SetActive(false);
        } catch (const std::exception &) {
            // Nothing is written, so nothing can be lost here.
        }
        t->SaveToDisk = save;
    }
    m_journal.close(); // what it holds is replayed at the next open
    clearIndexes();
    PlayersChanged = KillsChanged = MissionsChanged = false;
    tablesReset();
}

// --- tables ----------------------------------------------------------------------------

void Statistics::CreateTables() {
    auto make = [this](const char *name, const char *const *defs, int count) {
        auto t = std::make_unique<StatsTable>(name);
        t->SetEngine(m_engine);
        t->DbfFields.clear();
        for (int i = 0; i < count; ++i)
            t->DbfFields.emplace_back(defs[i]);
        return t;
    };
    clearIndexes();
    PlayersTable = make("PlayersTable", PlayersFields, 17);
    KillsTable = make("KillsTable", KillsFields, 20);
    MissionsTable = make("MissionsTable", MissionsFields, 13);
    UpdateTablePaths();
    for (int i = 0; i < 3; ++i) {
        table(i)->PopulateFromDisk = true;
        table(i)->SaveToDisk = true;
        table(i)->SetRecordSink(
            [this, i](std::int32_t recNo, const std::uint8_t *record, std::size_t size) {
                m_journal.putRow(i, recNo, record, size);
                for (StatsRowListener *listener : m_rowListeners)
                    listener->statsRowWritten(i, recNo, record);
            });
    }
    PlayersChanged = KillsChanged = MissionsChanged = false;
    tablesReset();
}

void Statistics::UpdateTablePaths() {
    static const char *const files[3] = {"/Players.dbf", "/Kills.dbf", "/Missions.dbf"};
    guarded([&] {
        for (int i = 0; i < 3; ++i) {
            if (StatsTable *t = table(i))
                t->SetDbfFileName(QFile::encodeName(m_profile.directory() + QLatin1String(files[i]))
                                      .toStdString());
        }
    });
}

void Statistics::clearIndexes() {
    m_playerByName.clear();
    m_playerById.clear();
    m_connectedRows.clear();
    m_maxDbId = 0;
    m_killRow.clear();
    m_missionRow.clear();
    m_missionNumbers.clear();
}

QString Statistics::journalPath() const {
    return m_profile.directory() + QLatin1String("/Stats.jnl");
}

void Statistics::replayJournal(bool (&replayed)[3]) {
    if (m_journal.isOpen()) return;
    std::vector<RecordingJournal::Layout> layouts;
    for (int i = 0; i < 3; ++i)
        layouts.push_back(RecordingJournal::layoutOf(
            static_cast<std::uint32_t>(table(i)->FieldBufferBytes()), table(i)->DbfFields));
    bool *marks[3] = {&PlayersChanged, &KillsChanged, &MissionsChanged};
    m_journal.open(QFile::encodeName(journalPath()).toStdString(), layouts,
                   [&](int i, std::int32_t row, const std::uint8_t *bytes, std::size_t size) {
                       StatsTable &t = *table(i);
                       if (row == 0)
                           t.Zap();
                       else if (!t.PutRecord(row, bytes, size))
                           return false;
                       *marks[i] = true;
                       replayed[i] = true;
                       return true;
                   });
}

namespace {
// The work buffers of the row indexes (a table's entries and their grouped copy), shared by the
// indexers of one open: the tables are indexed one after the other, and memory filled for the
// first is reused for the next rather than taken fresh from the system for each.
struct IndexWork {
    void reserve(std::size_t count) {
        if (count <= capacity) return;
        entries = dbf::MakeLargeBlock<RowIndex::Entry>(count);
        grouped = dbf::MakeLargeBlock<RowIndex::Entry>(count);
        capacity = count;
    }
    dbf::LargeBlock<RowIndex::Entry> entries;
    dbf::LargeBlock<RowIndex::Entry> grouped;
    std::size_t capacity = 0;
};
} // namespace

// The indexes of one table, built from its rows in table order: while the table loads (the
// engine shows each record as it is read) or by a scan of the rows in memory.
class Statistics::TableIndexer : public dbf::TTzLLDataSet::LoadVisitor {
public:
    TableIndexer(Statistics &stats, int table, IndexWork &work)
        : m_stats(stats), m_table(table), m_work(work) {}

    void BeginLoad(std::int32_t records) override { begin(records, dbf::HideDeleted()); }

    void VisitLoaded(std::int32_t recNo, const std::uint8_t *buffer) override {
        if (m_hideDeleted && buffer[0] != 0) return;
        index(recNo, buffer);
    }

    // The rows seen are indexed.
    void finish() {
        RowIndex *index = m_table == 1   ? &m_stats.m_killRow
                          : m_table == 2 ? &m_stats.m_missionRow
                                         : nullptr;
        if (index) index->insertAll(m_work.entries.get(), m_count, m_work.grouped.get());
        m_capacity = m_count = 0;
    }

    // Indexes the rows the table holds now (the scan leaves out hidden deleted rows itself).
    void scan() {
        StatsTable &t = *m_stats.table(m_table);
        begin(t.RecordCount(), false);
        t.ScanRows([&](std::int32_t recNo, const std::uint8_t *buffer) { index(recNo, buffer); });
        finish();
    }

private:
    void begin(std::int32_t records, bool hideDeleted) {
        StatsTable &t = *m_stats.table(m_table);
        const auto count = static_cast<std::size_t>(std::max(records, 0));
        // The players' indexes are filled row by row; the others gather entries first.
        if (m_table != 0) m_work.reserve(count);
        m_capacity = m_table != 0 ? count : 0;
        m_count = 0;
        m_hideDeleted = hideDeleted;
        m_lastNumber = -1;
        m_lastName.clear();
        switch (m_table) {
        case 0:
            m_stats.m_playerByName.clear();
            m_stats.m_playerById.clear();
            m_stats.m_connectedRows.clear();
            m_stats.m_maxDbId = 0;
            m_stats.m_playerByName.reserve(count);
            m_stats.m_playerById.reserve(count);
            m_fields = {t.Desc("NAME"), t.Desc("DBID"), t.Desc("CONNECT")};
            break;
        case 1:
            m_stats.m_killRow.clear();
            m_fields = {t.Desc("KILLERID"), t.Desc("VICTIMID"), nullptr};
            break;
        default:
            m_stats.m_missionRow.clear();
            m_stats.m_missionNumbers.clear();
            m_fields = {t.Desc("DBID"), t.Desc("MISSION"), nullptr};
            break;
        }
    }

    void index(std::int32_t recNo, const std::uint8_t *buffer) {
        switch (m_table) {
        case 0: {
            const std::int32_t dbId = StatsTable::IntAt(*m_fields[1], buffer);
            const std::string_view playerName = StatsTable::TextAt(*m_fields[0], buffer);
            if (m_stats.m_playerByName.find(playerName) == m_stats.m_playerByName.end())
                m_stats.m_playerByName.emplace(playerName, recNo);
            m_stats.m_playerById.insert(idKey(dbId), recNo);
            m_stats.m_maxDbId = std::max(m_stats.m_maxDbId, dbId);
            if (StatsTable::FloatAt(*m_fields[2], buffer) != 0)
                m_stats.m_connectedRows.insert(recNo);
            return;
        }
        case 1:
            add(RowIndex::pair(StatsTable::IntAt(*m_fields[0], buffer),
                               StatsTable::IntAt(*m_fields[1], buffer)),
                recNo);
            return;
        default: {
            // Rows of one mission tend to follow each other: the last name looked up is kept.
            const std::string_view name = StatsTable::TextAt(*m_fields[1], buffer);
            if (m_lastNumber < 0 || name != m_lastName) {
                m_lastName.assign(name);
                m_lastNumber = m_stats.missionNumber(name, true);
            }
            add(RowIndex::pair(StatsTable::IntAt(*m_fields[0], buffer), m_lastNumber), recNo);
            return;
        }
        }
    }

    void add(std::uint64_t key, std::int32_t recNo) {
        if (m_count < m_capacity) m_work.entries[m_count++] = {key, recNo};
    }

    Statistics &m_stats;
    const int m_table;
    IndexWork &m_work;
    std::array<const dbf::FieldDesc *, 3> m_fields{};
    std::size_t m_capacity = 0;
    std::size_t m_count = 0;
    bool m_hideDeleted = false;
    std::string m_lastName;
    std::int32_t m_lastNumber = -1;
};

std::int32_t Statistics::missionNumber(std::string_view key, bool add) {
    const auto it = m_missionNumbers.find(key);
    if (it != m_missionNumbers.end()) return it->second;
    if (!add) return -1;
    const auto number = static_cast<std::int32_t>(m_missionNumbers.size());
    m_missionNumbers.emplace(key, number);
    return number;
}

std::int32_t Statistics::findPlayerById(std::int32_t dbId) const {
    return m_playerById.find(idKey(dbId));
}

void Statistics::addPlayerRow(std::int32_t recNo, const std::string &name, std::int32_t dbId) {
    m_playerByName.try_emplace(name, recNo);
    m_playerById.insert(idKey(dbId), recNo);
    m_maxDbId = std::max(m_maxDbId, dbId);
}

void Statistics::showTables() {
    if (m_view) m_view->statsTablesChanged();
}

void Statistics::OpenTables() {
    guarded([&] {
        // The indexes are built while the tables load, each as soon as its table has loaded; a
        // table that was open already, or that the journal then changes, is indexed again over
        // its rows as they now are.
        IndexWork work;
        std::vector<std::unique_ptr<TableIndexer>> indexers;
        bool indexed[3] = {false, false, false};
        for (int i = 0; i < 3; ++i) {
            indexers.push_back(std::make_unique<TableIndexer>(*this, i, work));
            StatsTable &t = *table(i);
            if (t.Active()) continue;
            t.SetLoadVisitor(indexers.back().get());
            struct Unset {
                StatsTable &t;
                ~Unset() { t.SetLoadVisitor(nullptr); }
            } unset{t};
            t.SetActive(true);
            indexed[i] = t.LoadVisited();
            if (indexed[i]) indexers.back()->finish();
        }
        // What was recorded after the last commit comes back from the journal.
        bool replayed[3] = {false, false, false};
        replayJournal(replayed);
        for (int i = 0; i < 3; ++i)
            if (!indexed[i] || replayed[i]) indexers[static_cast<std::size_t>(i)]->scan();
        // Connections left open in the files (the program stopped without closing) are
        // dropped without being counted.
        closeOutConnections(false);
    });
    tablesReset();
    showTables();
}

void Statistics::CloseTables() {
    if (!PlayersTable) return;
    guarded([&] {
        closeOutConnections(true);
        m_journal.sync(true);
        for (int i = 0; i < 3; ++i)
            table(i)->SetActive(false); // writes a table with unsaved changes
        m_journal.checkpoint();
        m_journal.close();
        clearIndexes();
        PlayersChanged = KillsChanged = MissionsChanged = false;
    });
    tablesReset();
    showTables();
}

void Statistics::CommitTables() {
    if (!PlayersTable) return;
    guarded([&] {
        bool *marks[3] = {&PlayersChanged, &KillsChanged, &MissionsChanged};
        // The journal is whole on the disk before any table holds its changes.
        m_journal.sync(true);
        for (int i = 0; i < 3; ++i) {
            StatsTable &t = *table(i);
            // The table itself is changed when its file's header counted too few records.
            if (!t.Active() || !(*marks[i] || t.Changed())) continue;
            t.WriteToDisk();
            *marks[i] = false;
        }
        // Every table is on disk: what the journal holds is in the files now.
        bool written = true;
        for (int i = 0; i < 3; ++i)
            written = written && !(table(i)->Active() && table(i)->Changed());
        if (written) m_journal.checkpoint();
    });
}

int Statistics::NextDbId() {
    platform::SettingsStore &settings = m_profile.settings();
    // A missing or broken setting must not hand out ids the table already holds.
    qint64 last = settings.readInt(m_profile.section(), DbIdKey).value_or(0);
    if (tablesOpen()) last = std::max<qint64>(last, m_maxDbId);
    last = std::max<qint64>(last, 0);
    const int id = last >= INT_MAX ? INT_MAX : static_cast<int>(last + 1);
    // One per new player: the file gets it with the next coalesced write.
    settings.writeCoalesced(m_profile.section(), DbIdKey, QString::number(id));
    return id;
}

// --- recording -------------------------------------------------------------------------

void Statistics::RecordConnect(int clientId) {
    guarded([&] { recordConnect(clientId); });
}

void Statistics::recordConnect(int clientId) {
    PlayerSlot *slot = m_roster.slot(clientId);
    if (!slot || !tablesOpen()) return;
    StatsTable &t = *PlayersTable;
    const std::string key = nameKey(slot->Name);
    const double now = platform::now();
    const auto row = m_playerByName.find(key);
    if (row == m_playerByName.end()) {
        t.ClearRecord();
        t.FieldByName("Name").SetAsString(latin1(slot->Name));
        const int id = NextDbId();
        t.FieldByName("dbID").SetAsInteger(id);
        t.FieldByName("GameID").SetAsInteger(clientId);
        t.FieldByName("Connect").SetAsFloat(now);
        t.FieldByName("IP").SetAsString(latin1(slot->Address));
        t.AppendRec();
        addPlayerRow(t.RecNo(), key, id);
    } else {
        t.GotoRow(row->second);
        t.FieldByName("GameID").SetAsInteger(clientId);
        t.FieldByName("Connect").SetAsFloat(now);
        t.FieldByName("IP").SetAsString(latin1(slot->Address));
        t.ReplaceRec();
    }
    if (t.FieldByName("Connect").AsFloat() != 0) m_connectedRows.insert(t.RecNo());
    slot->DbId = t.FieldByName("DBID").AsInteger();
    PlayersChanged = true;
}

void Statistics::RecordDisconnect(int clientId) {
    guarded([&] {
        PlayerSlot *slot = m_roster.slot(clientId);
        if (!slot || !tablesOpen()) return;
        StatsTable &t = *PlayersTable;
        const std::int32_t row = findPlayerById(slot->DbId);
        if (row == 0) {
            t.GotoEnd();
            return;
        }
        const double now = platform::now();
        t.GotoRow(row);
        t.FieldByName("GameID").SetAsInteger(0);
        t.FieldByName("LastTime").SetAsString(latin1(platform::formatDateTime(now)));
        dbf::TField &connect = t.FieldByName("Connect");
        const double since = connect.AsFloat();
        if (since != 0) {
            dbf::TField &total = t.FieldByName("TotalTime");
            total.SetAsFloat(total.AsFloat() + (now - since));
            connect.SetAsFloat(0);
        }
        t.ReplaceRec();
        m_connectedRows.erase(row);
        PlayersChanged = true;
    });
}

void Statistics::RecordKill(int killerId, int victimId, bool teamKill, const QString &column) {
    guarded([&] {
        if (!TrackKills) return;
        const PlayerSlot *victim = m_roster.slot(victimId);
        if (!victim) return; // the kill handler sends only client ids
        const PlayerSlot *killer = m_roster.slot(killerId);
        const std::int32_t killerDb = killer ? killer->DbId : 0;
        const std::int32_t victimDb = victim->DbId;
        const char *cause = columnOf(KillCauses, column);
        if (!cause) cause = "Other";

        if (PlayersTable && PlayersTable->Active()) {
            StatsTable &t = *PlayersTable;
            bool changed = false;
            const auto count = [&](std::int32_t dbId, const char *field) {
                const std::int32_t row = findPlayerById(dbId);
                if (row == 0) {
                    t.GotoEnd();
                    return;
                }
                t.GotoRow(row);
                addTo(t, field, 1);
                t.ReplaceRec();
                changed = true;
            };
            count(killerDb, teamKill ? "TKills" : "Kills");
            count(victimDb, teamKill ? "TDeaths" : "Deaths");
            if (changed) PlayersChanged = true;
        }

        if (KillsTable && KillsTable->Active()) {
            StatsTable &t = *KillsTable;
            const std::uint64_t key = RowIndex::pair(killerDb, victimDb);
            const std::int32_t row = m_killRow.find(key);
            if (row == 0) {
                t.ClearRecord();
                t.FieldByName("KillerID").SetAsInteger(killerDb);
                t.FieldByName("VictimID").SetAsInteger(victimDb);
                t.FieldByName(cause).SetAsInteger(1);
                t.FieldByName(teamKill ? "TeamKills" : "Kills").SetAsInteger(1);
                t.AppendRec();
                m_killRow.insert(key, t.RecNo());
            } else {
                t.GotoRow(row);
                addTo(t, cause, 1);
                addTo(t, teamKill ? "TeamKills" : "Kills", 1);
                t.ReplaceRec();
            }
            KillsChanged = true;
        }
    });
}

void Statistics::RecordMissionEvent(int clientId, const QString &missionName,
                                    const QString &column) {
    guarded([&] {
        if (!TrackMissions) return;
        const PlayerSlot *slot = m_roster.slot(clientId);
        if (!slot || !MissionsTable || !MissionsTable->Active() || slot->DbId < 1) return;
        const char *field = columnOf(MissionColumns, column);
        if (!field) return;
        StatsTable &t = *MissionsTable;
        const std::int32_t number = missionNumber(missionKey(missionName), true);
        const std::uint64_t key = RowIndex::pair(slot->DbId, number);
        const std::int32_t row = m_missionRow.find(key);
        if (row == 0) {
            t.ClearRecord();
            t.FieldByName("dbID").SetAsInteger(slot->DbId);
            t.FieldByName("Mission").SetAsString(latin1(missionName));
            t.FieldByName(field).SetAsInteger(1);
            t.AppendRec();
            m_missionRow.insert(key, t.RecNo());
        } else {
            t.GotoRow(row);
            addTo(t, field, 1);
            t.ReplaceRec();
        }
        MissionsChanged = true;
    });
}

void Statistics::RecordScore(int clientId, int points) {
    guarded([&] {
        const PlayerSlot *slot = m_roster.slot(clientId);
        if (!slot || !tablesOpen()) return;
        StatsTable &t = *PlayersTable;
        const std::int32_t row = findPlayerById(slot->DbId);
        if (row == 0) {
            t.GotoEnd();
            return;
        }
        t.GotoRow(row);
        addTo(t, "Score", points);
        t.ReplaceRec();
        PlayersChanged = true;
    });
}

void Statistics::RecordMatchResult(const QList<int> &teamScores) {
    guarded([&] {
        const int teams = static_cast<int>(std::min<qsizetype>(teamScores.size(), 8));
        if (teams < 1 || !tablesOpen()) return;
        int best = 0;
        bool tie = false;
        for (int i = 1; i < teams; ++i) {
            if (teamScores[i] == teamScores[best]) {
                tie = true;
            } else if (teamScores[i] > teamScores[best]) {
                best = i;
                tie = false;
            }
        }
        StatsTable &t = *PlayersTable;
        bool changed = false;
        const QList<PlayerSlot *> players = m_roster.ConnectedPlayers;
        std::set<std::int32_t> credited; // each player's row once, however often listed
        for (const PlayerSlot *p : players) {
            // Observers and players without a reported team neither win nor lose.
            if (p->Team < 0 || p->Team >= teams) continue;
            const std::int32_t row = findPlayerById(p->DbId);
            if (row == 0) {
                t.GotoEnd();
                continue;
            }
            if (!credited.insert(row).second) continue;
            t.GotoRow(row);
            const int score = teamScores[p->Team];
            if (tie && score == teamScores[best])
                addTo(t, "Ties", 1);
            else if (score == teamScores[best])
                addTo(t, "Wins", 1);
            else
                addTo(t, "Losses", 1);
            t.ReplaceRec();
            changed = true;
        }
        if (changed) PlayersChanged = true;
    });
}

void Statistics::CloseOutConnections(bool accumulate) {
    guarded([&] { closeOutConnections(accumulate); });
}

void Statistics::closeOutConnections(bool accumulate) {
    if (!tablesOpen()) return;
    StatsTable &t = *PlayersTable;
    {
        ControlsHold hold(t);
        const double now = platform::now();
        // Only rows with a connection time need a change; they are visited in table order.
        std::set<std::int32_t> rows;
        rows.swap(m_connectedRows);
        for (const std::int32_t row : rows) {
            t.GotoRow(row);
            dbf::TField &connect = t.FieldByName("Connect");
            const double since = connect.AsFloat();
            if (since == 0) continue;
            if (accumulate) {
                dbf::TField &total = t.FieldByName("TotalTime");
                total.SetAsFloat(total.AsFloat() + (now - since));
            }
            connect.SetAsFloat(0);
            t.FieldByName("GameID").SetAsInteger(0);
            t.ReplaceRec();
        }
        t.GotoEnd(); // a pass over every row ends past the last one
    }
    registerConnectedPlayers();
    PlayersChanged = true;
}

void Statistics::RegisterConnectedPlayers() {
    guarded([&] { registerConnectedPlayers(); });
}

void Statistics::registerConnectedPlayers() {
    const QList<PlayerSlot *> players = m_roster.ConnectedPlayers;
    for (const PlayerSlot *p : players)
        recordConnect(p->ClientId);
}

void Statistics::ClearTables() {
    if (!PlayersTable) return;
    guarded([&] { clearTables(); });
    showTables();
}

void Statistics::clearTables() {
    const bool recording = tablesOpen();
    for (int i = 0; i < 3; ++i) {
        StatsTable &t = *table(i);
        const bool wasOpen = t.Active();
        if (!wasOpen) {
            // Recording is off: the table is opened empty (its file is not read), written
            // empty and closed again.
            t.PopulateFromDisk = false;
            try {
                t.SetActive(true);
            } catch (...) {
                t.PopulateFromDisk = true;
                throw;
            }
            t.PopulateFromDisk = true;
        }
        m_journal.putEmpty(i);
        t.Zap();
        t.WriteToDisk();
        if (!wasOpen) t.SetActive(false);
    }
    // Nothing recorded before the clearing may come back.
    if (m_journal.isOpen())
        m_journal.checkpoint();
    else
        RecordingJournal::discard(QFile::encodeName(journalPath()).toStdString());
    clearIndexes();
    PlayersChanged = KillsChanged = MissionsChanged = false;
    tablesReset();
    m_profile.settings().write(m_profile.section(), DbIdKey, QStringLiteral("0"));
    if (recording) registerConnectedPlayers();
}

// --- switches --------------------------------------------------------------------------

void Statistics::SetStatsEnabled(bool on) {
    StatsEnabled = on;
    m_profile.settings().writeBool(m_profile.section(), StatsKey, on);
    if (on)
        OpenTables();
    else
        CloseTables();
}

bool Statistics::ToggleStats() {
    const bool on = !StatsEnabled;
    if (m_view) m_view->showStatsState(on, TrackKills, TrackMissions);
    SetStatsEnabled(on);
    return StatsEnabled;
}

void Statistics::SetTrackKills(bool on) {
    TrackKills = on;
    m_profile.settings().writeBool(m_profile.section(), TrackKillsKey, on);
}

void Statistics::SetTrackMissions(bool on) {
    TrackMissions = on;
    m_profile.settings().writeBool(m_profile.section(), TrackMissionsKey, on);
}

bool Statistics::ConfirmAndClear() {
    const QString text =
        QStringLiteral("Are you absolutely sure you want to clear the Vexmoor Database for ") +
        m_hostName + QLatin1Char('?');
    if (!m_profile.dialogs().confirm(text)) return false;
    ClearTables();
    return true;
}

bool CommitIntervalExit(platform::SettingsStore &settings, int minutes, int remembered) {
    if (minutes == remembered) return false;
    settings.write(QStringLiteral("Vexmoor"), QStringLiteral("CommitInterval"),
                   QString::number(minutes));
    return true;
}
