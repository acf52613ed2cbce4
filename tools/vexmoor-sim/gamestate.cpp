#include "gamestate.h"

#include "report.h"

#include <algorithm>
#include <limits>

namespace sim {

namespace {

// Scores of hostile reports stay at the int limits, as the program's own do.
void addClamped(int &score, int value) {
    const long long sum = static_cast<long long>(score) + value;
    score = static_cast<int>(std::clamp<long long>(sum, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
}

// Variable names ignore case, and an array index may be written with or without quotes:
// $nextMission["Alpha"] and $nextMission[Alpha] are the same variable.
QString key(const QString &name) {
    QString k = name.trimmed().toLower();
    k.remove(QLatin1Char('"'));
    return k;
}

bool toInt(const QString &s, int &out) {
    bool ok = false;
    out = s.trimmed().toInt(&ok);
    return ok;
}

} // namespace

QString GameState::defaultTeamName(int team) {
    static const char *const names[] = {"Blood Eagle", "Diamond Sword", "Children of the Phoenix",
                                        "Starwolf"};
    if (team >= 0 && team < 4) return QString::fromLatin1(names[team]);
    return QStringLiteral("Team %1").arg(team);
}

QStringList GameState::defaultMissions() {
    return {QStringLiteral("Raindance"), QStringLiteral("Broadside"), QStringLiteral("Snowblind"),
            QStringLiteral("Crossfire"), QStringLiteral("IceRidge")};
}

GameState::GameState(int teamCount, QStringList missions, int timeLimitMinutes)
    : m_missions(missions.isEmpty() ? defaultMissions() : std::move(missions)) {
    teamCount = std::clamp(teamCount, 1, MaxTeams);
    for (int t = 0; t < teamCount; ++t)
        m_teams.append({defaultTeamName(t), 0});
    m_mission = m_missions.first();
    m_missionSeconds = timeLimitMinutes * 60.0;

    const QPair<const char *, QString> defaults[] = {
        {"$Server::HostName", QStringLiteral("Vexmoor Test Server")},
        {"$Server::Port", QStringLiteral("28001")},
        {"$Server::MaxPlayers", QStringLiteral("32")},
        {"$Server::TimeLimit", QString::number(timeLimitMinutes)},
        {"$Server::WarmupTime", QStringLiteral("20")},
        {"$Server::AutoAssignTeams", QStringLiteral("true")},
        {"$Server::TeamDamageScale", QStringLiteral("0")},
        {"$Server::TourneyMode", QStringLiteral("false")},
        {"$Server::MinVotes", QStringLiteral("1")},
        {"$Server::MinVotesPct", QStringLiteral("0.5")},
        {"$Server::VoteWinMargin", QStringLiteral("0.55")},
        {"$Server::VotingTime", QStringLiteral("20")},
        {"$Server::Password", QString()},
        {"$Server::Info", QStringLiteral("Vexmoor simulated server\nAll events are made up")},
        {"$Server::JoinMOTD", QStringLiteral("Welcome to the \"Vexmoor\" test server!\nHave fun")},
        {"$Vexmoor::BlockADM", QStringLiteral("0")},
        {"$Vexmoor::BlockTD", QStringLiteral("0")},
        {"$Vexmoor::BlockGT", QStringLiteral("0")},
        {"$Vexmoor::BlockMIS", QStringLiteral("0")},
    };
    for (const auto &[name, value] : defaults)
        setVariable(QString::fromLatin1(name), value);
}

QString GameState::nextMission() const {
    const QString link = variable(QStringLiteral("$nextMission[%1]").arg(m_mission));
    if (!link.isEmpty()) return link;
    const qsizetype i = m_missions.indexOf(m_mission);
    return m_missions.at((i + 1) % m_missions.size()); // i == -1 gives the first
}

int GameState::indexOf(int id) const {
    for (qsizetype i = 0; i < m_players.size(); ++i)
        if (m_players.at(i).id == id) return int(i);
    return -1;
}

const Player *GameState::player(int id) const {
    const int i = indexOf(id);
    return i < 0 ? nullptr : &m_players.at(i);
}

int GameState::autoTeamFor(int id) const {
    const Player *p = player(id);
    QList<int> sizes(m_teams.size(), 0);
    for (const Player &q : m_players)
        if (q.id != id && q.team >= 0 && q.team < sizes.size()) ++sizes[q.team];
    int best = -1;
    for (int t = 0; t < sizes.size(); ++t) {
        if (p && p->team == t && sizes.size() > 1) continue;
        if (best < 0 || sizes[t] < sizes[best]) best = t;
    }
    return best;
}

QString GameState::variable(const QString &name) const {
    return m_vars.value(key(name)).second;
}

bool GameState::hasVariable(const QString &name) const {
    return m_vars.contains(key(name));
}

void GameState::setVariable(const QString &name, const QString &value) {
    auto it = m_vars.find(key(name));
    if (it == m_vars.end())
        m_vars.insert(key(name), {name, value});
    else
        it->second = value;
}

QStringList GameState::variableNames() const {
    QStringList names;
    for (const auto &v : m_vars)
        names << v.first;
    return names;
}

void GameState::apply(const QString &line) {
    const QStringList f = parseReport(line);
    if (f.isEmpty() || f.first().isEmpty()) return;
    const QChar code = f.first().at(0);
    int id = 0, value = 0;
    switch (code.unicode()) {
    case 'C': {
        if (f.size() < 5 || !toInt(f[1], id)) return;
        const int i = indexOf(id);
        if (i >= 0) m_players.removeAt(i);
        m_players.append({id, f[2], f[3], f[4], -1, 0});
        break;
    }
    case 'D':
        if (f.size() >= 2 && toInt(f[1], id) && indexOf(id) >= 0) m_players.removeAt(indexOf(id));
        break;
    case 'A':
        if (f.size() >= 3 && toInt(f[1], id) && toInt(f[2], value) && indexOf(id) >= 0)
            m_players[indexOf(id)].team = value;
        break;
    case 'E':
    case 'F':
    case 'G':
    case 'H':
    case 'I':
    case 'J':
    case 'O':
    case 'P':
    case 'R':
    case 'Y':
    case 'Z':
        if (f.size() >= 3 && toInt(f[1], id) && toInt(f[2], value) && indexOf(id) >= 0)
            addClamped(m_players[indexOf(id)].score, value);
        break;
    case 'K':
    case 'T': {
        int victim = 0;
        int weapon = 0; // empty for a suicide, else a number
        if (f.size() < 5 || !toInt(f[1], id) || !toInt(f[2], victim) || !toInt(f[4], value) ||
            (!f[3].isEmpty() && !toInt(f[3], weapon)))
            return;
        if (indexOf(id) < 0) return;
        if (id == victim || f[0] == QLatin1String("T"))
            value =
                value == std::numeric_limits<int>::min() ? std::numeric_limits<int>::max() : -value;
        addClamped(m_players[indexOf(id)].score, value);
        break;
    }
    case 'B':
        if (f.size() >= 3 && toInt(f[1], id) && toInt(f[2], value) && id >= 0 &&
            id < m_teams.size())
            addClamped(m_teams[id].score, value);
        break;
    case 'M':
        if (f.size() < 2) return;
        m_mission = f[1];
        m_missionSeconds = f.size() >= 3 ? f[2].toDouble() : 0;
        for (Player &p : m_players)
            p.score = 0;
        for (Team &t : m_teams)
            t.score = 0;
        break;
    case 'V':
        if (f.size() < 2) return;
        if (f[1] == QLatin1String("tourney"))
            setVariable(QStringLiteral("$Server::TourneyMode"), QStringLiteral("true"));
        else if (f[1] == QLatin1String("ffa"))
            setVariable(QStringLiteral("$Server::TourneyMode"), QStringLiteral("false"));
        else if (f[1] == QLatin1String("etd"))
            setVariable(QStringLiteral("$Server::TeamDamageScale"), QStringLiteral("1"));
        else if (f[1] == QLatin1String("dtd"))
            setVariable(QStringLiteral("$Server::TeamDamageScale"), QStringLiteral("0"));
        break;
    default:
        break;
    }
}

QStringList GameState::statusReport(double secondsLeft) const {
    return {formatReport({QStringLiteral("Q"), QStringLiteral("3"), m_mission,
                          QString::number(secondsLeft, 'f', 0)})};
}

// Each list starts with a record whose number selects nothing, which empties the client's
// list, so that a list asked for again replaces the old one instead of adding to it.
QStringList GameState::teamsReport() const {
    QStringList lines{
        formatReport({QStringLiteral("2"), QStringLiteral("-1"), QStringLiteral("0"), QString()})};
    for (int t = 0; t < m_teams.size(); ++t)
        lines << formatReport({QStringLiteral("2"), QString::number(t),
                               QString::number(m_teams[t].score), m_teams[t].name});
    return lines;
}

QStringList GameState::playersReport() const {
    QStringList lines{formatReport({QStringLiteral("1"), QStringLiteral("0"), QString(), QString(),
                                    QStringLiteral("-1"), QStringLiteral("0"), QString()})};
    for (const Player &p : m_players)
        lines << formatReport({QStringLiteral("1"), QString::number(p.id), p.name, p.address,
                               QString::number(p.team), QString::number(p.score), p.gender});
    return lines;
}

QStringList GameState::preferencesReport() const {
    auto v = [this](const char *name) { return variable(QString::fromLatin1(name)); };
    return {formatReport({QStringLiteral("Q"), QStringLiteral("0"), v("$Server::HostName"),
                          v("$Server::Port"), v("$Server::MaxPlayers"), v("$Server::TimeLimit"),
                          v("$Server::WarmupTime"), v("$Server::AutoAssignTeams"),
                          v("$Server::TeamDamageScale"), v("$Server::TourneyMode"),
                          v("$Server::MinVotes"), v("$Server::MinVotesPct"),
                          v("$Server::VoteWinMargin"), v("$Server::VotingTime"),
                          v("$Vexmoor::BlockADM"), v("$Vexmoor::BlockTD"), v("$Vexmoor::BlockGT"),
                          v("$Vexmoor::BlockMIS"), v("$Server::Password")}),
            formatReport({QStringLiteral("Q"), QStringLiteral("1"), escapeText(v("$Server::Info")),
                          escapeText(v("$Server::JoinMOTD"))})};
}

} // namespace sim
