// The web's read interface over the profiles: the one place where the web meets
// TVexmoorServer. It answers from the live rosters, event entries and in-memory tables, and
// turns the profiles' signals and event-log entries into the interface's signals.

#include "app/headless/webadapter.h"

#include "app/core/profilelist.h"
#include "platform/datetime.h"
#include "web/source.h"

#include <QHash>
#include <algorithm>
#include <cmath>
#include <deque>
#include <unordered_map>

namespace {

QString text(std::string_view bytes) {
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

// The Kills table summed per player: by cause as killer, and per opponent both ways.
struct KillSummary {
    std::array<qint64, 16> causes{};
    std::unordered_map<qint32, qint64> victims;
    std::unordered_map<qint32, qint64> killers;
};

class ProfileSource : public web::Source {
public:
    explicit ProfileSource(ProfileList &profiles) : m_profiles(profiles) {
        for (int i = 0; i < profiles.count(); ++i)
            add(profiles.at(i));
        connect(&profiles, &ProfileList::profileAdded, this, [this](TVexmoorServer *p) {
            add(p);
            emit serverListChanged();
        });
        connect(&profiles, &ProfileList::profileRemoved, this, [this](TVexmoorServer *p) {
            p->eventLog.removeListener(m_taps[p].get());
            m_taps.erase(p);
            m_entries.remove(p);
            emit serverListChanged();
        });
        connect(&profiles, &ProfileList::listNameChanged, this,
                [this] { emit serverListChanged(); });
        connect(&profiles, &ProfileList::stateChanged, this,
                [this](TVexmoorServer *p, const QString &state) {
                    Entry &e = m_entries[p];
                    e.state = state;
                    ++e.version; // a session start or end may close connection records
                    emit serverChanged(p->section());
                });
    }

    ~ProfileSource() override {
        for (auto &[p, tap] : m_taps)
            p->eventLog.removeListener(tap.get());
    }

    QList<web::ServerInfo> servers() const override {
        QList<web::ServerInfo> list;
        for (int i = 0; i < m_profiles.count(); ++i)
            list.append(info(*m_profiles.at(i)));
        return list;
    }

    std::optional<web::ServerInfo> server(const QString &address) const override {
        const TVexmoorServer *p = find(address);
        if (!p) return std::nullopt;
        return info(*p);
    }

    web::RosterInfo roster(const QString &address) const override {
        web::RosterInfo r;
        const TVexmoorServer *p = find(address);
        if (!p) return r;
        for (const TeamSlot *t : p->roster.DefinedTeams)
            r.teams.append({int(t - p->roster.TeamSlots.data()), t->Name, t->Size, t->Score});
        for (const PlayerSlot *s : p->roster.ConnectedPlayers)
            r.players.append({s->ClientId, s->Name, s->Team, s->Score, std::max(s->DbId, 0)});
        return r;
    }

    QList<web::EventInfo> events(const QString &address, qint64 after,
                                 qint64 &last) const override {
        QList<web::EventInfo> list;
        last = 0;
        const TVexmoorServer *p = find(address);
        if (!p) return list;
        const Entry &e = m_entries[p];
        last = e.seq;
        for (const web::EventInfo &event : e.events)
            if (event.seq > after) list.append(event);
        return list;
    }

    QList<web::MissionInfo> rotation(const QString &address) const override {
        QList<web::MissionInfo> list;
        const TVexmoorServer *p = find(address);
        if (!p) return list;
        for (const TMission *m : p->missions.MissionCatalogue)
            list.append({m->Name, m->MissionType, m->Enabled, m == p->missions.CurrentMission});
        return list;
    }

    web::ActivityInfo activity(const QString &address) const override {
        web::ActivityInfo a;
        const TVexmoorServer *p = find(address);
        if (!p) return a;
        const Activity &act = p->activity;
        for (int d = 0; d < 7; ++d)
            for (int h = 0; h < 24; ++h) {
                const float v = act.HourlyAverages[std::size_t(d)][std::size_t(h)];
                a.hours[std::size_t(d)][std::size_t(h)] = std::isfinite(v) ? double(v) : 0.0;
            }
        a.totalConnections = act.TotalConnections;
        a.completedSessions = act.CompletedSessions;
        if (act.CompletedSessions > 0) {
            a.averagePlayTime = act.TotalPlayTime / act.CompletedSessions * 86400;
            a.shortestPlayTime = act.ShortestPlayTime * 86400;
            a.longestPlayTime = act.LongestPlayTime * 86400;
        }
        if (act.LastConnection > 0) a.lastConnection = platform::formatDateTime(act.LastConnection);
        if (act.SessionStart > 0 && p->SessionState == TVexmoorServer::Online)
            a.uptime = qint64((platform::now() - act.SessionStart) * 86400);
        a.playersThisHour = int(act.NamesThisHour.size());
        return a;
    }

    web::Standings standings(const QString &address) const override {
        const TVexmoorServer *p = find(address);
        if (!p) return std::make_shared<std::vector<web::Standing>>();
        return standingsOf(*p);
    }

    quint64 standingsVersion(const QString &address) const override {
        const TVexmoorServer *p = find(address);
        return p ? m_entries[p].version : 0;
    }

    std::optional<web::PlayerDetail> player(const QString &address, qint32 id) const override {
        const TVexmoorServer *p = find(address);
        if (!p) return std::nullopt;
        const web::Standings rows = standingsOf(*p);
        const Entry &e = m_entries[p];
        const auto at = e.rowOfId.find(id);
        if (at == e.rowOfId.end()) return std::nullopt;
        web::PlayerDetail d;
        d.figures = (*rows)[at->second];
        for (const PlayerSlot *s : p->roster.ConnectedPlayers)
            if (s->DbId == id) d.online = true;

        const KillSummary &k = killsOf(*p)[id];
        for (std::size_t i = 0; i < k.causes.size(); ++i)
            if (k.causes[i] > 0)
                d.weapons.append({QString::fromLatin1(Statistics::KillCauses[i]), k.causes[i]});
        std::stable_sort(d.weapons.begin(), d.weapons.end(),
                         [](const auto &a, const auto &b) { return a.count > b.count; });
        auto opponents = [&](const std::unordered_map<qint32, qint64> &counts) {
            QList<web::Opponent> list;
            for (const auto &[other, n] : counts) {
                const auto r = e.rowOfId.find(other);
                const QString name = other == 0             ? QStringLiteral("(the world)")
                                     : r != e.rowOfId.end() ? (*rows)[r->second].name
                                                            : QString();
                list.append({other, name, n});
            }
            std::sort(list.begin(), list.end(), [](const auto &a, const auto &b) {
                return a.count != b.count ? a.count > b.count : a.id < b.id;
            });
            if (list.size() > 10) list.resize(10);
            return list;
        };
        d.victims = opponents(k.victims);
        d.killers = opponents(k.killers);

        StatsTable *missions = p->stats.MissionsTable.get();
        if (missions && missions->Active()) {
            const dbf::FieldDesc *idField = missions->Desc("dbID");
            const dbf::FieldDesc *name = missions->Desc("Mission");
            std::array<const dbf::FieldDesc *, 11> columns{};
            for (std::size_t i = 0; i < columns.size(); ++i)
                columns[i] = missions->Desc(Statistics::MissionColumns[i]);
            if (idField && name)
                missions->ScanRows([&](std::int32_t, const std::uint8_t *row) {
                    if (StatsTable::IntAt(*idField, row) != id) return;
                    web::PlayerMission m{text(StatsTable::TextAt(*name, row)), {}};
                    for (std::size_t i = 0; i < columns.size(); ++i)
                        if (columns[i])
                            if (const qint64 n = StatsTable::IntAt(*columns[i], row); n > 0)
                                m.counts.append(
                                    {QString::fromLatin1(Statistics::MissionColumns[i]), n});
                    d.missions.append(m);
                });
        }
        return d;
    }

private:
    struct Entry {
        QString state = QStringLiteral("Offline");
        qint64 seq = 0;
        std::deque<web::EventInfo> events;
        quint64 version = 1; // of the Players table as the web sees it
        quint64 killVersion = 1;
        // Snapshots, rebuilt on the first request after a change.
        quint64 standingsBuilt = 0;
        web::Standings standings;
        std::unordered_map<qint32, std::size_t> rowOfId;
        quint64 killsBuilt = 0;
        std::unordered_map<qint32, KillSummary> kills;
    };

    void add(TVexmoorServer *p) {
        if (m_entries.contains(p)) return;
        // What the log holds from before is known without its category.
        Entry entry;
        for (const QString &line : std::as_const(p->eventLog.EventHistory))
            entry.events.push_back({++entry.seq, line.mid(1, 8), line.mid(11), -1});
        m_entries.insert(p, entry);
        auto &tap = m_taps[p];
        tap = std::make_unique<Tap>(*this, p);
        p->eventLog.addListener(tap.get());
        connect(p, &TVexmoorServer::reportHandled, this, [this, p] {
            Entry &e = m_entries[p];
            ++e.version;
            if (p->Report.FieldCount > 0 && p->Report.code() == QLatin1Char('K')) ++e.killVersion;
            emit serverChanged(p->section());
        });
    }

    void logged(TVexmoorServer *p, const QString &entry, const QString &eventText, int category) {
        Entry &e = m_entries[p];
        web::EventInfo event{++e.seq, entry.mid(1, 8), eventText, category};
        e.events.push_back(event);
        while (e.events.size() > std::size_t(EventLog::HistoryLimit))
            e.events.pop_front();
        emit eventAdded(p->section(), event);
    }

    TVexmoorServer *find(const QString &address) const {
        for (int i = 0; i < m_profiles.count(); ++i)
            if (m_profiles.at(i)->section() == address) return m_profiles.at(i);
        return nullptr;
    }

    web::ServerInfo info(const TVexmoorServer &p) const {
        web::ServerInfo s;
        s.address = p.section();
        s.name = ProfileList::listName(p);
        if (const auto e = m_entries.constFind(&p); e != m_entries.cend()) s.state = e->state;
        s.mission = p.missions.CurrentMissionName;
        if (p.missions.CurrentMission) s.missionType = p.missions.CurrentMission->MissionType;
        if (p.missions.MissionEndTime > 0)
            s.timeLeft = std::max(
                0, int(std::lround((p.missions.MissionEndTime - platform::now()) * 86400)));
        s.players = int(p.roster.ConnectedPlayers.size());
        s.maxPlayers = p.prefs.Vars.MaxPlayers;
        return s;
    }

    web::Standings standingsOf(const TVexmoorServer &p) const {
        Entry &e = m_entries[&p];
        if (e.standings && e.standingsBuilt == e.version) return e.standings;
        auto rows = std::make_shared<std::vector<web::Standing>>();
        e.rowOfId.clear();
        StatsTable *t = p.stats.PlayersTable.get();
        if (t && t->Active()) {
            const auto *name = t->Desc("Name"), *id = t->Desc("dbID"), *kills = t->Desc("Kills"),
                       *tkills = t->Desc("TKills"), *deaths = t->Desc("Deaths"),
                       *tdeaths = t->Desc("TDeaths"), *wins = t->Desc("Wins"),
                       *losses = t->Desc("Losses"), *ties = t->Desc("Ties"),
                       *score = t->Desc("Score"), *time = t->Desc("TotalTime"),
                       *last = t->Desc("LastTime");
            if (name && id && kills && tkills && deaths && tdeaths && wins && losses && ties &&
                score && time && last) {
                rows->reserve(std::size_t(t->RecordCount()));
                t->ScanRows([&](std::int32_t, const std::uint8_t *r) {
                    web::Standing s;
                    s.id = StatsTable::IntAt(*id, r);
                    s.name = text(StatsTable::TextAt(*name, r));
                    s.kills = StatsTable::IntAt(*kills, r);
                    s.teamKills = StatsTable::IntAt(*tkills, r);
                    s.deaths = StatsTable::IntAt(*deaths, r);
                    s.teamDeaths = StatsTable::IntAt(*tdeaths, r);
                    s.wins = StatsTable::IntAt(*wins, r);
                    s.losses = StatsTable::IntAt(*losses, r);
                    s.ties = StatsTable::IntAt(*ties, r);
                    s.score = StatsTable::IntAt(*score, r);
                    const double days = StatsTable::FloatAt(*time, r);
                    s.hours = std::isfinite(days) ? days * 24 : 0;
                    s.lastSeen = text(StatsTable::TextAt(*last, r));
                    // The first row of an id is the one the recording counts into.
                    if (e.rowOfId.emplace(s.id, rows->size()).second) rows->push_back(std::move(s));
                });
            }
        }
        e.standings = rows;
        e.standingsBuilt = e.version;
        return rows;
    }

    std::unordered_map<qint32, KillSummary> &killsOf(const TVexmoorServer &p) const {
        Entry &e = m_entries[&p];
        if (e.killsBuilt == e.killVersion) return e.kills;
        e.kills.clear();
        StatsTable *t = p.stats.KillsTable.get();
        if (t && t->Active()) {
            const auto *killer = t->Desc("KillerID"), *victim = t->Desc("VictimID"),
                       *kills = t->Desc("Kills"), *tkills = t->Desc("TeamKills");
            std::array<const dbf::FieldDesc *, 16> causes{};
            for (std::size_t i = 0; i < causes.size(); ++i)
                causes[i] = t->Desc(Statistics::KillCauses[i]);
            if (killer && victim && kills && tkills)
                t->ScanRows([&](std::int32_t, const std::uint8_t *r) {
                    const qint32 k = StatsTable::IntAt(*killer, r);
                    const qint32 v = StatsTable::IntAt(*victim, r);
                    const qint64 n =
                        qint64(StatsTable::IntAt(*kills, r)) + StatsTable::IntAt(*tkills, r);
                    KillSummary &ks = e.kills[k];
                    for (std::size_t i = 0; i < causes.size(); ++i)
                        if (causes[i]) ks.causes[i] += StatsTable::IntAt(*causes[i], r);
                    if (n > 0 && k != v) {
                        ks.victims[v] += n;
                        e.kills[v].killers[k] += n;
                    }
                });
        }
        e.killsBuilt = e.killVersion;
        return e.kills;
    }

    // Hears one profile's event log.
    struct Tap : EventLogListener {
        Tap(ProfileSource &source, TVexmoorServer *profile) : source(source), profile(profile) {}
        void eventLogged(const QString &entry, const QString &text, int category) override {
            source.logged(profile, entry, text, category);
        }
        ProfileSource &source;
        TVexmoorServer *profile;
    };

    ProfileList &m_profiles;
    std::unordered_map<TVexmoorServer *, std::unique_ptr<Tap>> m_taps;
    mutable QHash<const TVexmoorServer *, Entry> m_entries;
};

} // namespace

std::unique_ptr<web::Source> makeProfileSource(ProfileList &profiles) {
    return std::make_unique<ProfileSource>(profiles);
}
