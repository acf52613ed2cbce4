#include "game/roster.h"

#include "game/rosterview.h"
#include "session/reportline.h"

#include <algorithm>
#include <utility>

namespace {

// Characters that speech would read aloud or stumble over.
const QString Punctuation = QStringLiteral("!@#$%^&*()-_=+[]{}\\|:;<>/");

char16_t upperAscii(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// Character codes, with a..z taken as A..Z; a prefix comes first.
int compareNames(const QString &a, const QString &b) {
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype k = 0; k < n; ++k) {
        const char16_t ca = upperAscii(a[k].unicode());
        const char16_t cb = upperAscii(b[k].unicode());
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool isTeam(int team) {
    return team >= 0 && team < 8;
}

bool isIndex(int i) {
    return i >= 0 && i < MaxPlayers;
}

} // namespace

QString BlankChars(const QString &name) {
    QString result = name;
    for (QChar &c : result)
        if (Punctuation.contains(c)) c = QLatin1Char(' ');
    return result;
}

QString SpokenName(const QString &name) {
    QString result = BlankChars(name);
    for (QChar &c : result)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) c = QChar(c.unicode() - u'A' + u'a');
    return result;
}

int genderOf(const QString &word) {
    return word == QLatin1String("Female") ? 0 : 1;
}

int comparePlayers(const PlayerSlot &a, const PlayerSlot &b, int sortKey) {
    if (sortKey >= 2 && a.Score != b.Score) return a.Score > b.Score ? -1 : 1;
    if (sortKey >= 1 && a.Team != b.Team) return a.Team < b.Team ? -1 : 1;
    return compareNames(a.Name, b.Name);
}

PlayerSlot *Roster::slot(int clientId) {
    return const_cast<PlayerSlot *>(std::as_const(*this).slot(clientId));
}

const PlayerSlot *Roster::slot(int clientId) const {
    return isClientId(clientId) ? &PlayerSlots[static_cast<size_t>(clientId - FirstClientId)]
                                : nullptr;
}

PlayerSlot *Roster::connected(int clientId) {
    PlayerSlot *p = slot(clientId);
    return p && ConnectedPlayers.contains(p) ? p : nullptr;
}

// --- report handlers -----------------------------------------------------------------

void Roster::PlayerListed(const ReportFields &f) {
    int id = 0, team = 0, score = 0;
    if (!parseInt(f[1], id) || !parseInt(f[4], team) || !parseInt(f[5], score)) return;
    AddPlayer(f[2], f[3], id, team, score, genderOf(f[6]));
}

void Roster::TeamListed(const ReportFields &f) {
    int team = 0, score = 0;
    if (!parseInt(f[1], team) || !parseInt(f[2], score)) return;
    DefineTeam(f[3], team, score);
}

void Roster::TeamScore(const ReportFields &f) {
    int team = 0;
    if (!parseInt(f[1], team)) return;
    AddTeamScore(team, leadingInt(f[2]));
}

// --- players -------------------------------------------------------------------------

void Roster::AddPlayer(const QString &name, const QString &address, int clientId, int team,
                       int score, int gender) {
    PlayerSlot *p = slot(clientId);
    if (!p) {
        ResetPlayers();
        ClearTeamSizes();
        return;
    }
    if (connected(clientId)) {
        // The server tells of a player it told of before (a listing after an arrival): the
        // details change in place. A different name means the first occupant left unseen.
        if (p->Name != name) {
            RemovePlayer(clientId);
        } else {
            relistPlayer(*p, address, team, score, gender);
            return;
        }
    }
    p->Name = name;
    p->Address = address;
    p->Gender = gender;
    p->Team = team;
    p->Score = score;
    p->ClientId = clientId;
    p->HasFlag = false;
    p->ConnectTime = platform::now();
    p->SpokenName = SpokenName(name);
    ConnectedPlayers.append(p);
    p->ListItem = m_view != nullptr;
    if (m_view) m_view->addPlayerRow(*p);
    AddTeamSize(team, +1);
    for (RosterListener *listener : m_listeners)
        listener->playerArrived(*p);
    if (m_view) m_view->sortPlayerList(m_sortKey);
}

void Roster::relistPlayer(PlayerSlot &p, const QString &address, int team, int score, int gender) {
    p.Address = address;
    p.Gender = gender;
    p.Score = score;
    if (p.Team != team) {
        AddTeamSize(p.Team, -1);
        p.Team = team;
        AddTeamSize(team, +1);
    }
    if (p.ListItem && m_view) m_view->redrawPlayerRow(p);
    sortPlayers(1);
}

void Roster::RemovePlayer(int clientId) {
    PlayerSlot *p = slot(clientId);
    // A slot nobody occupies has no arrival time: its "play time" would count from day 0.
    if (!p || !ConnectedPlayers.contains(p)) return;
    AddTeamSize(p->Team, -1);
    ConnectedPlayers.removeAll(p);
    for (RosterListener *listener : m_listeners)
        listener->playerLeft(*p);
    p->Name.clear();
    p->Address.clear();
    p->Team = -1;
    p->Score = 0;
    p->DbId = -1;
    p->HasFlag = false;
    p->ConnectTime = 0;
    if (p->ListItem && m_view) m_view->removePlayerRow(*p);
    p->ListItem = false;
}

void Roster::ResetPlayers() {
    for (size_t i = 0; i < PlayerSlots.size(); ++i) {
        PlayerSlot &p = PlayerSlots[i];
        p = PlayerSlot{};
        p.ClientId = static_cast<int>(i);
    }
    ConnectedPlayers.clear();
    if (m_view) m_view->clearPlayerList();
}

void Roster::ClearScores() {
    for (PlayerSlot &p : PlayerSlots) {
        p.Score = 0;
        p.HasFlag = false;
    }
    if (RosterView *view = m_view) {
        view->repaintPlayerList();
        sortPlayers(2);
    }
}

void Roster::AddPlayerScore(int i, int points) {
    if (isIndex(i)) {
        PlayerSlot &p = PlayerSlots[static_cast<size_t>(i)];
        p.Score = saturatingAdd(p.Score, points);
        if (p.ListItem && m_view) m_view->redrawPlayerRow(p);
        for (RosterListener *listener : m_listeners)
            listener->scoreChanged(p, points);
    }
    sortPlayers(2);
}

void Roster::SetFlagMark(int i, bool mark) {
    if (!isIndex(i)) return;
    PlayerSlot &p = PlayerSlots[static_cast<size_t>(i)];
    p.HasFlag = mark;
    if (p.ListItem && m_view) m_view->redrawPlayerRow(p);
}

void Roster::SetPlayerTeam(int i, int team) {
    if (isIndex(i)) {
        PlayerSlot &p = PlayerSlots[static_cast<size_t>(i)];
        p.Team = team;
        if (p.ListItem && m_view) m_view->redrawPlayerRow(p);
    }
    sortPlayers(1);
}

void Roster::sortPlayers(int minimumKey) {
    if (m_view && m_sortKey >= minimumKey) m_view->sortPlayerList(m_sortKey);
}

// --- teams ---------------------------------------------------------------------------

void Roster::ResetTeams() {
    for (TeamSlot &t : TeamSlots) {
        t.Name.clear();
        t.Score = 0;
        t.ListItem = false;
    }
    DefinedTeams.clear();
    if (m_view) m_view->clearTeamList();
}

void Roster::ClearTeamSizes() {
    for (TeamSlot &t : TeamSlots)
        t.Size = 0;
    if (m_view) m_view->repaintTeamList();
}

void Roster::AddTeamSize(int team, int delta) {
    if (!isTeam(team)) return;
    TeamSlot &t = TeamSlots[static_cast<size_t>(team)];
    t.Size += delta;
    if (t.ListItem && m_view) m_view->redrawTeamRow(t);
}

void Roster::AddTeamScore(int team, int points) {
    if (!isTeam(team)) return;
    TeamSlot &t = TeamSlots[static_cast<size_t>(team)];
    t.Score = saturatingAdd(t.Score, points);
    if (t.ListItem && m_view) m_view->redrawTeamRow(t);
}

void Roster::DefineTeam(const QString &name, int team, int score) {
    if (!isTeam(team)) {
        ResetTeams();
        return;
    }
    TeamSlot &t = TeamSlots[static_cast<size_t>(team)];
    t.Name = name;
    t.Score = score;
    // A team listed again (every status report lists them all) updates its entry.
    if (DefinedTeams.contains(&t)) {
        if (t.ListItem && m_view) m_view->redrawTeamRow(t);
        return;
    }
    DefinedTeams.append(&t);
    t.ListItem = m_view != nullptr;
    if (m_view) m_view->addTeamRow(t);
}

// --- attaching -----------------------------------------------------------------------

void Roster::FillPlayerView() {
    if (!m_view) return;
    m_view->clearPlayerList();
    for (PlayerSlot *p : ConnectedPlayers) {
        m_view->addPlayerRow(*p);
        p->ListItem = true;
    }
}

void Roster::ClearPlayerView() {
    for (PlayerSlot *p : ConnectedPlayers)
        p->ListItem = false;
    if (m_view) m_view->clearPlayerList();
}

void Roster::FillTeamView() {
    if (!m_view) return;
    m_view->clearTeamList();
    for (TeamSlot *t : DefinedTeams) {
        m_view->addTeamRow(*t);
        t->ListItem = true;
    }
    m_view->repaintTeamList();
}

void Roster::ClearTeamView() {
    for (TeamSlot *t : DefinedTeams)
        t->ListItem = false;
    if (m_view) m_view->clearTeamList();
}
