// The web's read interface over the profiles: the one place where the web meets
// TVexmoorServer. It answers from the live rosters and event entries, and from each profile's
// WebIndex (the statistics kept up to date row by row as they are recorded), and
// turns the profiles' signals and event-log entries into the interface's signals.

#include "app/headless/webadapter.h"

#include "app/core/profilelist.h"
#include "app/headless/webindex.h"
#include "platform/datetime.h"
#include "web/source.h"

#include <QHash>
#include <algorithm>
#include <cmath>
#include <deque>
#include <unordered_map>

namespace {

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
            p->eventLog().removeListener(m_taps[p].get());
            m_taps.erase(p);
            m_indexes.erase(p);
            m_entries.remove(p);
            emit serverListChanged();
        });
        connect(&profiles, &ProfileList::listNameChanged, this,
                [this] { emit serverListChanged(); });
        connect(&profiles, &ProfileList::stateChanged, this,
                [this](TVexmoorServer *p, const QString &state) {
                    m_entries[p].state = state;
                    emit serverChanged(p->section());
                });
    }

    ~ProfileSource() override {
        for (auto &[p, tap] : m_taps)
            p->eventLog().removeListener(tap.get());
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
        for (const TeamSlot *t : p->roster().DefinedTeams)
            r.teams.append({int(t - p->roster().TeamSlots.data()), t->Name, t->Size, t->Score});
        for (const PlayerSlot *s : p->roster().ConnectedPlayers)
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
        for (const TMission *m : p->missions().MissionCatalogue)
            list.append({m->Name, m->MissionType, m->Enabled, m == p->missions().CurrentMission});
        return list;
    }

    web::ActivityInfo activity(const QString &address) const override {
        web::ActivityInfo a;
        const TVexmoorServer *p = find(address);
        if (!p) return a;
        const Activity &act = p->activity();
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

    web::LeaderPage leaderboard(const QString &address, web::SortKey key, qint64 offset,
                                qint64 limit, const QString &search) const override {
        const TVexmoorServer *p = find(address);
        if (!p) return {};
        return indexOf(p).leaderboard(key, offset, limit, search);
    }

    std::optional<web::PlayerDetail> player(const QString &address, qint32 id) const override {
        const TVexmoorServer *p = find(address);
        if (!p) return std::nullopt;
        WebIndex &index = indexOf(p);
        const web::Standing *figures = index.standing(id);
        if (!figures) return std::nullopt;
        web::PlayerDetail d;
        d.figures = *figures;
        for (const PlayerSlot *s : p->roster().ConnectedPlayers)
            if (s->DbId == id) d.online = true;
        index.fillDetail(id, d);
        return d;
    }

private:
    struct Entry {
        QString state = QStringLiteral("Offline");
        qint64 seq = 0;
        std::deque<web::EventInfo> events;
    };

    void add(TVexmoorServer *p) {
        if (m_entries.contains(p)) return;
        // What the log holds from before is known without its category.
        Entry entry;
        for (const QString &line : std::as_const(p->eventLog().EventHistory))
            entry.events.push_back({++entry.seq, line.mid(1, 8), line.mid(11), -1});
        m_entries.insert(p, entry);
        auto &tap = m_taps[p];
        tap = std::make_unique<Tap>(*this, p);
        p->eventLog().addListener(tap.get());
        m_indexes[p] = std::make_unique<WebIndex>(p->stats());
        connect(p, &TVexmoorServer::reportHandled, this,
                [this, p] { emit serverChanged(p->section()); });
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
        s.mission = p.missions().CurrentMissionName;
        if (p.missions().CurrentMission) s.missionType = p.missions().CurrentMission->MissionType;
        if (p.missions().MissionEndTime > 0)
            s.timeLeft = std::max(
                0, int(std::lround((p.missions().MissionEndTime - platform::now()) * 86400)));
        s.players = int(p.roster().ConnectedPlayers.size());
        s.maxPlayers = p.prefs().Vars.MaxPlayers;
        return s;
    }

    WebIndex &indexOf(const TVexmoorServer *p) const {
        return *m_indexes.at(const_cast<TVexmoorServer *>(p));
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
    std::unordered_map<TVexmoorServer *, std::unique_ptr<WebIndex>> m_indexes;
    mutable QHash<const TVexmoorServer *, Entry> m_entries;
};

} // namespace

std::unique_ptr<web::Source> makeProfileSource(ProfileList &profiles) {
    return std::make_unique<ProfileSource>(profiles);
}
