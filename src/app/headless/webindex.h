#pragma once

#include "stats/statistics.h"
#include "web/source.h"

#include <QList>
#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// What the web answers of one profile's statistics, kept up to date row by row as the
// recording writes them: the Players table's rows with their ranking in every order and a
// name search, and each player's Kills and Missions rows. The first question after the tables
// were opened (or emptied, or closed) reads the tables once; from then on every written row
// changes only what it touches, and a ranking takes in the rows changed since it was last
// asked for by a merge, never a sort of the whole table. Lives on the profiles' thread.
class WebIndex : public StatsRowListener {
public:
    explicit WebIndex(Statistics &stats);
    ~WebIndex() override;
    WebIndex(const WebIndex &) = delete;
    WebIndex &operator=(const WebIndex &) = delete;

    void statsRowWritten(int table, std::int32_t recNo, const std::uint8_t *record) override;
    void statsTablesReset() override;

    web::LeaderPage leaderboard(web::SortKey key, qint64 offset, qint64 limit,
                                const QString &search);
    // The Players row of id (the first one of the id), or nullptr.
    const web::Standing *standing(qint32 id);
    // The player's kills by cause, victims and killers, and mission figures.
    void fillDetail(qint32 id, web::PlayerDetail &detail);

private:
    struct KillRow {
        qint32 killer = 0;
        qint32 victim = 0;
        qint64 count = 0; // kills and team kills
        std::array<qint32, 16> causes{};
    };
    struct MissionRow {
        qint32 id = 0;
        QString mission;
        std::array<qint32, 11> counts{};
    };
    struct Ranking {
        bool built = false;
        std::vector<int> ranks;     // slots, highest first by their placed values
        std::vector<double> placed; // per slot: the value it is ranked by (NaN: not yet)
        std::vector<int> pending;   // slots changed since (each once)
    };
    static constexpr int RowAbsent = -2; // a row not read (deleted): a write to it reloads
    static constexpr int RowRepeat = -1; // a later row of an id: the first one counts

    void build();
    void buildPlayers();
    void buildKills();
    void buildMissions();
    void playerRow(std::int32_t recNo, const std::uint8_t *record);
    void killRow(std::int32_t recNo, const std::uint8_t *record);
    void missionRow(std::int32_t recNo, const std::uint8_t *record);
    web::Standing readStanding(const std::uint8_t *record) const;
    KillRow readKill(const std::uint8_t *record) const;
    MissionRow readMission(const std::uint8_t *record) const;
    int addSlot(web::Standing standing);
    void changed(int slot);
    const std::vector<int> &ranked(web::SortKey key);
    void indexName(int slot);
    const std::vector<int> &matching(const std::string &needle);

    Statistics &m_stats;
    bool m_built = false;

    // Players.
    std::array<const dbf::FieldDesc *, 12> m_playerFields{};
    bool m_playersReadable = false;
    std::vector<web::Standing> m_standings;
    std::vector<std::string> m_folded; // names in lower case, UTF-8
    std::unordered_map<qint32, int> m_slotOfId;
    std::vector<int> m_slotOfRow; // by record number - 1
    std::vector<qint32> m_idOfRow;
    std::vector<std::uint8_t> m_pendingIn; // per slot: a bit per order it is pending in
    std::array<Ranking, 8> m_orders;
    // Three-byte pieces of the folded names and the slots whose name held them (a slot may be
    // listed for a name it no longer has: the search checks the name).
    bool m_trigramsBuilt = false;
    std::unordered_map<std::uint32_t, std::vector<int>> m_trigrams;
    std::vector<std::uint8_t> m_match;
    // The slots whose names held a needle, for the last few needles asked for.
    std::unordered_map<std::string, std::vector<int>> m_searches;

    // Kills.
    std::array<const dbf::FieldDesc *, 4> m_killFields{};
    std::array<const dbf::FieldDesc *, 16> m_causeFields{};
    bool m_killsReadable = false;
    std::vector<KillRow> m_kills; // by record number - 1
    std::vector<std::uint8_t> m_killPresent;
    std::unordered_map<qint32, std::vector<std::int32_t>> m_rowsAsKiller, m_rowsAsVictim;

    // Missions.
    std::array<const dbf::FieldDesc *, 2> m_missionFields{};
    std::array<const dbf::FieldDesc *, 11> m_missionColumns{};
    bool m_missionsReadable = false;
    std::vector<MissionRow> m_missions; // by record number - 1
    std::vector<std::uint8_t> m_missionPresent;
    std::unordered_map<qint32, std::vector<std::int32_t>> m_missionRowsOf;
};
