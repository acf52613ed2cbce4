#include "game/roster.h"

#include "session/reportline.h"
#include "session/server.h"

#include <algorithm>

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
    return isClientId(clientId) ? &PlayerSlots[static_cast<size_t>(clientId - FirstClientId)]
                                : nullptr;
}

PlayerSlot *Roster::connected(int clientId) {
    PlayerSlot *p = slot(clientId);
    return p && ConnectedPlayers.contains(p) ? p : nullptr;
}

// --- report handlers -----------------------------------------------------------------

void Roster::PlayerListed() {
    const ReportFields &f = Server.Report;
    int id = 0, team = 0, score = 0;
    if (!parseInt(f[1], id) || !parseInt(f[4], team) || !parseInt(f[5], score)) return;
    AddPlayer(f[2], f[3], id, team, score, genderOf(f[6]));
}

void Roster::TeamListed() {
    const ReportFields &f = Server.Report;
    int team = 0, score = 0;
    if (!parseInt(f[1], team) || !parseInt(f[2], score)) return;
    DefineTeam(f[3], team, score);
}

void Roster::TeamScore() {
    const ReportFields &f = Server.Report;
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
    if (ConnectedPlayers.contains(p)) {
        // The server tells of a player it told of before (a listing after an arrival): the
        // details change in place. A different name means the first occupant left unseen.
        if (p->Name != name) {
            RemovePlayer(clientId);
        } else {
            relistPlayer(*p, address, team, score, gender);
            return;
        }
    }
    Activity &figures = Server.activity;
    const platform::DateTime t = platform::now();
    p->Name = name;
    p->Address = address;
    p->Gender = gender;
    p->Team = team;
    p->Score = score;
    p->ClientId = clientId;
    p->HasFlag = false;
    p->ConnectTime = t;
    figures.LastConnection = t;
    p->SpokenName = SpokenName(name);
    ConnectedPlayers.append(p);
    p->ListItem = Server.View != nullptr;
    if (Server.View) Server.View->addPlayerRow(*p);
    AddTeamSize(team, +1);
    figures.AddNameThisHour(name);
    ++figures.TotalConnections;
    Server.stats.RecordConnect(clientId);
    if (Server.View) {
        figures.Chart_update();
        Server.View->sortPlayerList(Server.Context.PlayerSortKey);
        showFigures();
    }
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
    if (p.ListItem && Server.View) Server.View->redrawPlayerRow(p);
    sortPlayers(1);
}

void Roster::RemovePlayer(int clientId) {
    PlayerSlot *p = slot(clientId);
    // A slot nobody occupies has no arrival time: its "play time" would count from day 0.
    if (!p || !ConnectedPlayers.contains(p)) return;
    Activity &figures = Server.activity;
    Server.stats.RecordDisconnect(p->ClientId);
    AddTeamSize(p->Team, -1);
    const double play = platform::now() - p->ConnectTime;
    ++figures.CompletedSessions;
    figures.TotalPlayTime += play;
    if (play < figures.ShortestPlayTime) figures.ShortestPlayTime = play;
    if (play > figures.LongestPlayTime) figures.LongestPlayTime = play;
    p->Name.clear();
    p->Address.clear();
    p->Team = -1;
    p->Score = 0;
    p->DbId = -1;
    p->HasFlag = false;
    p->ConnectTime = 0;
    ConnectedPlayers.removeAll(p);
    if (p->ListItem && Server.View) Server.View->removePlayerRow(*p);
    p->ListItem = false;
    if (Server.View) showFigures();
}

void Roster::showFigures() {
    const Activity &figures = Server.activity;
    ActivityFigureTexts texts;
    texts.Current = QString::number(ConnectedPlayers.size());
    texts.Total = QString::number(figures.TotalConnections);
    if (figures.LastConnection != 0)
        texts.Last = platform::formatDate(figures.LastConnection) + QLatin1Char('\n') +
                     platform::formatTime(figures.LastConnection);
    if (figures.ShortestPlayTime < 999999.0)
        texts.Low = platform::formatTime(figures.ShortestPlayTime);
    if (figures.LongestPlayTime > 0) texts.High = platform::formatTime(figures.LongestPlayTime);
    if (figures.CompletedSessions > 0)
        texts.Average = platform::formatTime(figures.TotalPlayTime / figures.CompletedSessions);
    Server.View->showActivityFigures(texts);
}

void Roster::ResetPlayers() {
    for (size_t i = 0; i < PlayerSlots.size(); ++i) {
        PlayerSlot &p = PlayerSlots[i];
        p = PlayerSlot{};
        p.ClientId = static_cast<int>(i);
    }
    ConnectedPlayers.clear();
    if (Server.View) Server.View->clearPlayerList();
}

void Roster::ClearScores() {
    for (PlayerSlot &p : PlayerSlots) {
        p.Score = 0;
        p.HasFlag = false;
    }
    if (RosterView *view = Server.View) {
        view->repaintPlayerList();
        sortPlayers(2);
    }
}

void Roster::AddPlayerScore(int i, int points) {
    if (isIndex(i)) {
        PlayerSlot &p = PlayerSlots[static_cast<size_t>(i)];
        p.Score += points;
        if (p.ListItem && Server.View) Server.View->redrawPlayerRow(p);
        Server.stats.RecordScore(i + FirstClientId, points);
    }
    sortPlayers(2);
}

void Roster::SetFlagMark(int i, bool mark) {
    if (!isIndex(i)) return;
    PlayerSlot &p = PlayerSlots[static_cast<size_t>(i)];
    p.HasFlag = mark;
    if (p.ListItem && Server.View) Server.View->redrawPlayerRow(p);
}

void Roster::SetPlayerTeam(int i, int team) {
    if (isIndex(i)) {
        PlayerSlot &p = PlayerSlots[static_cast<size_t>(i)];
        p.Team = team;
        if (p.ListItem && Server.View) Server.View->redrawPlayerRow(p);
    }
    sortPlayers(1);
}

void Roster::sortPlayers(int minimumKey) {
    if (Server.View && Server.Context.PlayerSortKey >= minimumKey)
        Server.View->sortPlayerList(Server.Context.PlayerSortKey);
}

// --- teams ---------------------------------------------------------------------------

void Roster::ResetTeams() {
    for (TeamSlot &t : TeamSlots) {
        t.Name.clear();
        t.Score = 0;
        t.ListItem = false;
    }
    DefinedTeams.clear();
    if (Server.View) Server.View->clearTeamList();
}

void Roster::ClearTeamSizes() {
    for (TeamSlot &t : TeamSlots)
        t.Size = 0;
    if (Server.View) Server.View->repaintTeamList();
}

void Roster::AddTeamSize(int team, int delta) {
    if (!isTeam(team)) return;
    TeamSlot &t = TeamSlots[static_cast<size_t>(team)];
    t.Size += delta;
    if (t.ListItem && Server.View) Server.View->redrawTeamRow(t);
}

void Roster::AddTeamScore(int team, int points) {
    if (!isTeam(team)) return;
    TeamSlot &t = TeamSlots[static_cast<size_t>(team)];
    t.Score += points;
    if (t.ListItem && Server.View) Server.View->redrawTeamRow(t);
}

void Roster::DefineTeam(const QString &name, int team, int score) {
    if (!isTeam(team)) {
        ResetTeams();
        return;
    }
    TeamSlot &t = TeamSlots[static_cast<size_t>(team)];
    t.Name = name;
    t.Score = score;
    DefinedTeams.append(&t);
    t.ListItem = Server.View != nullptr;
    if (Server.View) Server.View->addTeamRow(t);
}

// --- attaching -----------------------------------------------------------------------

void Roster::FillPlayerView() {
    if (!Server.View) return;
    Server.View->clearPlayerList();
    for (PlayerSlot *p : ConnectedPlayers) {
        Server.View->addPlayerRow(*p);
        p->ListItem = true;
    }
}

void Roster::ClearPlayerView() {
    for (PlayerSlot *p : ConnectedPlayers)
        p->ListItem = false;
    if (Server.View) Server.View->clearPlayerList();
}

void Roster::FillTeamView() {
    if (!Server.View) return;
    Server.View->clearTeamList();
    for (TeamSlot *t : DefinedTeams) {
        Server.View->addTeamRow(*t);
        t->ListItem = true;
    }
    Server.View->repaintTeamList();
}

void Roster::ClearTeamView() {
    for (TeamSlot *t : DefinedTeams)
        t->ListItem = false;
    if (Server.View) Server.View->clearTeamList();
}
