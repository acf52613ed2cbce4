#include "app/headless/webindex.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

QString text(std::string_view bytes) {
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

double killsPerDeath(const web::Standing &s) {
    return s.deaths > 0 ? double(s.kills) / double(s.deaths) : double(s.kills);
}

double valueOf(web::SortKey key, const web::Standing &s) {
    switch (key) {
    case web::SortKey::Kills:
        return double(s.kills);
    case web::SortKey::Deaths:
        return double(s.deaths);
    case web::SortKey::TeamKills:
        return double(s.teamKills);
    case web::SortKey::Score:
        return double(s.score);
    case web::SortKey::Wins:
        return double(s.wins);
    case web::SortKey::Losses:
        return double(s.losses);
    case web::SortKey::Time:
        return s.hours;
    case web::SortKey::KillsPerDeath:
        return killsPerDeath(s);
    }
    return 0;
}

std::uint32_t trigram(const char *p) {
    return std::uint32_t(std::uint8_t(p[0])) << 16 | std::uint32_t(std::uint8_t(p[1])) << 8 |
           std::uint8_t(p[2]);
}

bool deleted(const std::uint8_t *record) {
    return record[0] != 0;
}

} // namespace

WebIndex::WebIndex(Statistics &stats) : m_stats(stats) {
    m_stats.addRowListener(this);
}

WebIndex::~WebIndex() {
    m_stats.removeRowListener(this);
}

void WebIndex::statsTablesReset() {
    m_built = false;
    m_standings.clear();
    m_folded.clear();
    m_slotOfId.clear();
    m_slotOfRow.clear();
    m_idOfRow.clear();
    m_pendingIn.clear();
    for (Ranking &o : m_orders)
        o = Ranking{};
    m_trigramsBuilt = false;
    m_trigrams.clear();
    m_match.clear();
    m_searches.clear();
    m_kills.clear();
    m_killPresent.clear();
    m_rowsAsKiller.clear();
    m_rowsAsVictim.clear();
    m_missions.clear();
    m_missionPresent.clear();
    m_missionRowsOf.clear();
    m_playersReadable = m_killsReadable = m_missionsReadable = false;
}

void WebIndex::statsRowWritten(int table, std::int32_t recNo, const std::uint8_t *record) {
    if (!m_built) return; // read with the tables at the next question
    if (deleted(record)) {
        statsTablesReset();
        return;
    }
    switch (table) {
    case 0:
        playerRow(recNo, record);
        break;
    case 1:
        killRow(recNo, record);
        break;
    case 2:
        missionRow(recNo, record);
        break;
    default:
        break;
    }
}

// --- reading the tables ------------------------------------------------------------------

void WebIndex::build() {
    if (m_built) return;
    statsTablesReset();
    buildPlayers();
    buildKills();
    buildMissions();
    m_built = true;
}

void WebIndex::buildPlayers() {
    StatsTable *t = m_stats.PlayersTable.get();
    if (!t || !t->Active()) return;
    static const char *const names[12] = {"Name",   "dbID",    "Kills",     "TKills",
                                          "Deaths", "TDeaths", "Wins",      "Losses",
                                          "Ties",   "Score",   "TotalTime", "LastTime"};
    for (std::size_t i = 0; i < std::size(names); ++i)
        m_playerFields[i] = t->Desc(names[i]);
    m_playersReadable = std::all_of(m_playerFields.begin(), m_playerFields.end(),
                                    [](const dbf::FieldDesc *f) { return f != nullptr; });
    if (!m_playersReadable) return;
    const auto count = std::size_t(t->RecordCount());
    m_slotOfRow.assign(count, RowAbsent);
    m_idOfRow.assign(count, 0);
    m_standings.reserve(count);
    m_folded.reserve(count);
    m_slotOfId.reserve(count);
    t->ScanRows([&](std::int32_t recNo, const std::uint8_t *r) {
        if (std::size_t(recNo) > m_slotOfRow.size()) {
            m_slotOfRow.resize(std::size_t(recNo), RowAbsent);
            m_idOfRow.resize(std::size_t(recNo), 0);
        }
        web::Standing s = readStanding(r);
        m_idOfRow[std::size_t(recNo - 1)] = s.id;
        const bool first = !m_slotOfId.contains(s.id);
        m_slotOfRow[std::size_t(recNo - 1)] = first ? addSlot(std::move(s)) : RowRepeat;
    });
}

void WebIndex::buildKills() {
    StatsTable *t = m_stats.KillsTable.get();
    if (!t || !t->Active()) return;
    static const char *const names[4] = {"KillerID", "VictimID", "Kills", "TeamKills"};
    for (std::size_t i = 0; i < 4; ++i)
        m_killFields[i] = t->Desc(names[i]);
    for (std::size_t i = 0; i < m_causeFields.size(); ++i)
        m_causeFields[i] = t->Desc(Statistics::KillCauses[i]);
    m_killsReadable = std::all_of(m_killFields.begin(), m_killFields.end(),
                                  [](const dbf::FieldDesc *f) { return f != nullptr; });
    if (!m_killsReadable) return;
    const auto count = std::size_t(t->RecordCount());
    m_kills.resize(count);
    m_killPresent.assign(count, 0);
    t->ScanRows([&](std::int32_t recNo, const std::uint8_t *r) {
        if (std::size_t(recNo) > m_kills.size()) {
            m_kills.resize(std::size_t(recNo));
            m_killPresent.resize(std::size_t(recNo), 0);
        }
        const KillRow k = readKill(r);
        m_kills[std::size_t(recNo - 1)] = k;
        m_killPresent[std::size_t(recNo - 1)] = 1;
        m_rowsAsKiller[k.killer].push_back(recNo);
        m_rowsAsVictim[k.victim].push_back(recNo);
    });
}

void WebIndex::buildMissions() {
    StatsTable *t = m_stats.MissionsTable.get();
    if (!t || !t->Active()) return;
    m_missionFields = {t->Desc("dbID"), t->Desc("Mission")};
    for (std::size_t i = 0; i < m_missionColumns.size(); ++i)
        m_missionColumns[i] = t->Desc(Statistics::MissionColumns[i]);
    m_missionsReadable = m_missionFields[0] && m_missionFields[1];
    if (!m_missionsReadable) return;
    const auto count = std::size_t(t->RecordCount());
    m_missions.resize(count);
    m_missionPresent.assign(count, 0);
    t->ScanRows([&](std::int32_t recNo, const std::uint8_t *r) {
        if (std::size_t(recNo) > m_missions.size()) {
            m_missions.resize(std::size_t(recNo));
            m_missionPresent.resize(std::size_t(recNo), 0);
        }
        MissionRow m = readMission(r);
        m_missionRowsOf[m.id].push_back(recNo);
        m_missions[std::size_t(recNo - 1)] = std::move(m);
        m_missionPresent[std::size_t(recNo - 1)] = 1;
    });
}

web::Standing WebIndex::readStanding(const std::uint8_t *r) const {
    const auto &f = m_playerFields;
    web::Standing s;
    s.name = text(StatsTable::TextAt(*f[0], r));
    s.id = StatsTable::IntAt(*f[1], r);
    s.kills = StatsTable::IntAt(*f[2], r);
    s.teamKills = StatsTable::IntAt(*f[3], r);
    s.deaths = StatsTable::IntAt(*f[4], r);
    s.teamDeaths = StatsTable::IntAt(*f[5], r);
    s.wins = StatsTable::IntAt(*f[6], r);
    s.losses = StatsTable::IntAt(*f[7], r);
    s.ties = StatsTable::IntAt(*f[8], r);
    s.score = StatsTable::IntAt(*f[9], r);
    const double days = StatsTable::FloatAt(*f[10], r);
    s.hours = std::isfinite(days) ? days * 24 : 0;
    s.lastSeen = text(StatsTable::TextAt(*f[11], r));
    return s;
}

WebIndex::KillRow WebIndex::readKill(const std::uint8_t *r) const {
    KillRow k;
    k.killer = StatsTable::IntAt(*m_killFields[0], r);
    k.victim = StatsTable::IntAt(*m_killFields[1], r);
    k.count =
        qint64(StatsTable::IntAt(*m_killFields[2], r)) + StatsTable::IntAt(*m_killFields[3], r);
    for (std::size_t i = 0; i < k.causes.size(); ++i)
        if (m_causeFields[i]) k.causes[i] = StatsTable::IntAt(*m_causeFields[i], r);
    return k;
}

WebIndex::MissionRow WebIndex::readMission(const std::uint8_t *r) const {
    MissionRow m;
    m.id = StatsTable::IntAt(*m_missionFields[0], r);
    m.mission = text(StatsTable::TextAt(*m_missionFields[1], r));
    for (std::size_t i = 0; i < m.counts.size(); ++i)
        if (m_missionColumns[i]) m.counts[i] = StatsTable::IntAt(*m_missionColumns[i], r);
    return m;
}

// --- rows as they are written --------------------------------------------------------------

void WebIndex::playerRow(std::int32_t recNo, const std::uint8_t *record) {
    if (!m_playersReadable) return;
    const auto at = std::size_t(recNo - 1);
    web::Standing s = readStanding(record);
    if (at == m_slotOfRow.size()) { // appended
        m_idOfRow.push_back(s.id);
        const bool first = !m_slotOfId.contains(s.id);
        m_slotOfRow.push_back(first ? addSlot(std::move(s)) : RowRepeat);
        return;
    }
    if (recNo < 1 || at > m_slotOfRow.size() || m_slotOfRow[at] == RowAbsent ||
        m_idOfRow[at] != s.id) {
        statsTablesReset(); // not as the recording writes: read again
        return;
    }
    const int slot = m_slotOfRow[at];
    if (slot == RowRepeat) return;
    web::Standing &old = m_standings[std::size_t(slot)];
    const bool renamed = old.name != s.name;
    old = std::move(s);
    if (renamed) indexName(slot);
    changed(slot);
}

void WebIndex::killRow(std::int32_t recNo, const std::uint8_t *record) {
    if (!m_killsReadable) return;
    const auto at = std::size_t(recNo - 1);
    const KillRow k = readKill(record);
    if (at == m_kills.size()) {
        m_kills.push_back(k);
        m_killPresent.push_back(1);
        m_rowsAsKiller[k.killer].push_back(recNo);
        m_rowsAsVictim[k.victim].push_back(recNo);
        return;
    }
    if (recNo < 1 || at > m_kills.size() || !m_killPresent[at] || m_kills[at].killer != k.killer ||
        m_kills[at].victim != k.victim) {
        statsTablesReset();
        return;
    }
    m_kills[at] = k;
}

void WebIndex::missionRow(std::int32_t recNo, const std::uint8_t *record) {
    if (!m_missionsReadable) return;
    const auto at = std::size_t(recNo - 1);
    MissionRow m = readMission(record);
    if (at == m_missions.size()) {
        m_missionRowsOf[m.id].push_back(recNo);
        m_missions.push_back(std::move(m));
        m_missionPresent.push_back(1);
        return;
    }
    if (recNo < 1 || at > m_missions.size() || !m_missionPresent[at] || m_missions[at].id != m.id) {
        statsTablesReset();
        return;
    }
    m_missions[at] = std::move(m);
}

int WebIndex::addSlot(web::Standing standing) {
    const int slot = int(m_standings.size());
    m_slotOfId.emplace(standing.id, slot);
    m_standings.push_back(std::move(standing));
    m_folded.emplace_back();
    m_pendingIn.push_back(0);
    indexName(slot);
    changed(slot);
    return slot;
}

void WebIndex::indexName(int slot) {
    m_searches.clear(); // what a search found may change with the name
    std::string &folded = m_folded[std::size_t(slot)];
    folded = m_standings[std::size_t(slot)].name.toLower().toStdString();
    if (!m_trigramsBuilt) return;
    for (std::size_t i = 0; i + 3 <= folded.size(); ++i) {
        std::vector<int> &list = m_trigrams[trigram(folded.data() + i)];
        if (list.empty() || list.back() != slot) list.push_back(slot);
    }
}

void WebIndex::changed(int slot) {
    std::uint8_t &bits = m_pendingIn[std::size_t(slot)];
    for (std::size_t k = 0; k < m_orders.size(); ++k) {
        Ranking &o = m_orders[k];
        if (!o.built || (bits & (1u << k))) continue;
        bits = std::uint8_t(bits | (1u << k));
        o.pending.push_back(slot);
    }
}

// --- answers -----------------------------------------------------------------------------

const std::vector<int> &WebIndex::ranked(web::SortKey key) {
    const auto k = std::size_t(key);
    Ranking &o = m_orders[k];
    const std::uint8_t bit = std::uint8_t(1u << k);
    // The ranking is ordered by the values its slots were placed with, so that a changed slot
    // is found again by a binary search before it moves.
    const auto placedBefore = [&](int a, int b) {
        const double va = o.placed[std::size_t(a)], vb = o.placed[std::size_t(b)];
        if (va != vb) return va > vb;
        return m_standings[std::size_t(a)].id < m_standings[std::size_t(b)].id;
    };
    if (!o.built || o.pending.size() > std::max<std::size_t>(64, m_standings.size() / 8)) {
        for (int slot : o.pending)
            m_pendingIn[std::size_t(slot)] = std::uint8_t(m_pendingIn[std::size_t(slot)] & ~bit);
        o.pending.clear();
        o.placed.resize(m_standings.size());
        o.ranks.resize(m_standings.size());
        for (std::size_t i = 0; i < o.ranks.size(); ++i) {
            o.ranks[i] = int(i);
            o.placed[i] = valueOf(key, m_standings[i]);
        }
        std::sort(o.ranks.begin(), o.ranks.end(), placedBefore);
        o.built = true;
        return o.ranks;
    }
    // A kill moves a player by a few places: each changed slot is rotated from where it was to
    // where it now belongs.
    o.placed.resize(m_standings.size(), std::numeric_limits<double>::quiet_NaN());
    for (int slot : o.pending) {
        m_pendingIn[std::size_t(slot)] = std::uint8_t(m_pendingIn[std::size_t(slot)] & ~bit);
        double &placed = o.placed[std::size_t(slot)];
        const double now = valueOf(key, m_standings[std::size_t(slot)]);
        if (std::isnan(placed)) { // a new player
            placed = now;
            o.ranks.insert(std::lower_bound(o.ranks.begin(), o.ranks.end(), slot, placedBefore),
                           slot);
            continue;
        }
        if (now == placed) continue;
        const auto at = std::lower_bound(o.ranks.begin(), o.ranks.end(), slot, placedBefore);
        const bool up = now > placed;
        placed = now;
        if (up)
            std::rotate(std::lower_bound(o.ranks.begin(), at, slot, placedBefore), at, at + 1);
        else
            std::rotate(at, at + 1, std::lower_bound(at + 1, o.ranks.end(), slot, placedBefore));
    }
    o.pending.clear();
    return o.ranks;
}

web::LeaderPage WebIndex::leaderboard(web::SortKey key, qint64 offset, qint64 limit,
                                      const QString &search) {
    build();
    web::LeaderPage page;
    const std::vector<int> &order = ranked(key);
    if (search.isEmpty()) {
        page.total = qint64(order.size());
        for (qint64 n = offset; n < page.total && n < offset + limit; ++n)
            page.rows.append(m_standings[std::size_t(order[std::size_t(n)])]);
        return page;
    }
    const std::vector<int> &found = matching(search.toLower().toStdString());
    auto take = [&](int slot) {
        if (page.total >= offset && page.total < offset + limit)
            page.rows.append(m_standings[std::size_t(slot)]);
        ++page.total;
    };
    const Ranking &o = m_orders[std::size_t(key)];
    if (found.size() * 16 < order.size()) {
        // Few: in the ranking's order among themselves.
        std::vector<int> ranked = found;
        std::sort(ranked.begin(), ranked.end(), [&](int a, int b) {
            const double va = o.placed[std::size_t(a)], vb = o.placed[std::size_t(b)];
            if (va != vb) return va > vb;
            return m_standings[std::size_t(a)].id < m_standings[std::size_t(b)].id;
        });
        for (int slot : ranked)
            take(slot);
        return page;
    }
    m_match.assign(m_standings.size(), 0);
    for (int slot : found)
        m_match[std::size_t(slot)] = 1;
    std::size_t left = found.size();
    for (auto it = order.begin(); it != order.end() && left > 0; ++it)
        if (m_match[std::size_t(*it)]) {
            take(*it);
            --left;
        }
    return page;
}

const std::vector<int> &WebIndex::matching(const std::string &needle) {
    if (const auto it = m_searches.find(needle); it != m_searches.end()) return it->second;
    std::vector<int> found;
    if (needle.size() < 3) {
        for (std::size_t slot = 0; slot < m_folded.size(); ++slot)
            if (m_folded[slot].find(needle) != std::string::npos) found.push_back(int(slot));
    } else {
        if (!m_trigramsBuilt) {
            m_trigramsBuilt = true;
            for (std::size_t slot = 0; slot < m_standings.size(); ++slot)
                indexName(int(slot));
        }
        // The names that hold the needle's rarest piece are the only ones that can hold it.
        const std::vector<int> *fewest = nullptr;
        for (std::size_t i = 0; i + 3 <= needle.size(); ++i) {
            const auto it = m_trigrams.find(trigram(needle.data() + i));
            if (it == m_trigrams.end()) {
                fewest = nullptr;
                break;
            }
            if (!fewest || it->second.size() < fewest->size()) fewest = &it->second;
        }
        if (fewest)
            for (int slot : *fewest)
                if (m_folded[std::size_t(slot)].find(needle) != std::string::npos)
                    found.push_back(slot);
        // A slot listed twice (renamed to a name with the same piece) counts once.
        std::sort(found.begin(), found.end());
        found.erase(std::unique(found.begin(), found.end()), found.end());
    }
    if (m_searches.size() >= 64) m_searches.clear();
    return m_searches.emplace(needle, std::move(found)).first->second;
}

const web::Standing *WebIndex::standing(qint32 id) {
    build();
    const auto it = m_slotOfId.find(id);
    return it == m_slotOfId.end() ? nullptr : &m_standings[std::size_t(it->second)];
}

void WebIndex::fillDetail(qint32 id, web::PlayerDetail &d) {
    build();
    std::array<qint64, 16> causes{};
    std::unordered_map<qint32, qint64> victims, killers;
    if (const auto it = m_rowsAsKiller.find(id); it != m_rowsAsKiller.end())
        for (std::int32_t recNo : it->second) {
            const KillRow &k = m_kills[std::size_t(recNo - 1)];
            for (std::size_t i = 0; i < causes.size(); ++i)
                causes[i] += k.causes[i];
            if (k.count > 0 && k.killer != k.victim) victims[k.victim] += k.count;
        }
    if (const auto it = m_rowsAsVictim.find(id); it != m_rowsAsVictim.end())
        for (std::int32_t recNo : it->second) {
            const KillRow &k = m_kills[std::size_t(recNo - 1)];
            if (k.count > 0 && k.killer != k.victim) killers[k.killer] += k.count;
        }
    for (std::size_t i = 0; i < causes.size(); ++i)
        if (causes[i] > 0)
            d.weapons.append({QString::fromLatin1(Statistics::KillCauses[i]), causes[i]});
    std::stable_sort(d.weapons.begin(), d.weapons.end(),
                     [](const auto &a, const auto &b) { return a.count > b.count; });
    auto opponents = [&](const std::unordered_map<qint32, qint64> &counts) {
        QList<web::Opponent> list;
        for (const auto &[other, n] : counts)
            list.append({other, QString(), n});
        std::sort(list.begin(), list.end(), [](const auto &a, const auto &b) {
            return a.count != b.count ? a.count > b.count : a.id < b.id;
        });
        if (list.size() > 10) list.resize(10);
        for (web::Opponent &o : list) {
            if (o.id == 0)
                o.name = QStringLiteral("(the world)");
            else if (const auto at = m_slotOfId.find(o.id); at != m_slotOfId.end())
                o.name = m_standings[std::size_t(at->second)].name;
        }
        return list;
    };
    d.victims = opponents(victims);
    d.killers = opponents(killers);

    if (const auto it = m_missionRowsOf.find(id); it != m_missionRowsOf.end())
        for (std::int32_t recNo : it->second) {
            const MissionRow &m = m_missions[std::size_t(recNo - 1)];
            web::PlayerMission pm{m.mission, {}};
            for (std::size_t i = 0; i < m.counts.size(); ++i)
                if (m_missionColumns[i] && m.counts[i] > 0)
                    pm.counts.append(
                        {QString::fromLatin1(Statistics::MissionColumns[i]), m.counts[i]});
            d.missions.append(pm);
        }
}
