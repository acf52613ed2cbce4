#include "match.h"

#include "report.h"

#include <algorithm>

namespace sim {

namespace {

struct BaseName {
    const char *name;
    bool female;
};

// Some names carry the punctuation that the admin tool blanks for speech.
constexpr BaseName baseNames[] = {
    {"Kim", true},        {"Rex", false},    {"[BE]Havoc", false}, {"Dark|Star", false},
    {"Sniper_99", false}, {"Ms.Fury", true}, {"Nova", true},       {"Tank", false},
    {"Zed", false},       {"Echo", true},    {"Blaze", false},     {"Viper", false},
    {"Hex", false},       {"Jinx", true},    {"Raven", true},      {"Ghost", false},
    {"Onyx", false},      {"Pyre", false},   {"Quill", true},      {"Sable", true},
    {"Talon", false},     {"Umbra", true},   {"Vex", false},       {"Wisp", true},
    {"Yarrow", true},     {"Zephyr", false}, {"Ash", false},       {"Brick", false},
    {"Cinder", true},     {"Dagger", false}, {"Ember", true},      {"Flint", false},
};
constexpr int baseCount = int(sizeof(baseNames) / sizeof(baseNames[0]));

QString num(int n) {
    return QString::number(n);
}

const char *const chatLines[] = {
    "nice cap!",
    "incoming on flag",
    "need a heavy at base",
    "gg all",
    "lol~wtaunt1.wav",
    "defend the gens",
    "who has our flag?",
    "shazbot!",
    "repairing turrets",
    "enemy in our base~wcoverme.wav",
};
constexpr int chatCount = int(sizeof(chatLines) / sizeof(chatLines[0]));

const char *const voteWords[] = {"tourney", "ffa", "etd", "dtd"};

// Builds a coherent stream of lines: every line is applied to a model of the server so
// that later events pick players that are really there.
class Script {
public:
    explicit Script(const MatchConfig &c)
        : config(c), model(c.teams, c.missions, c.timeLimitMinutes), rng(c.seed) {}

    void add(const QString &line) {
        lines << line;
        model.apply(line);
    }
    void add(const QStringList &fields) { add(formatReport(fields)); }

    int below(int n) { return n <= 0 ? 0 : int(rng() % quint32(n)); }

    // A random player; on a given team when team >= 0, on a team other than notTeam when
    // notTeam >= 0. Falls back to any player when none fits.
    int pick(int team = -1, int notTeam = -1, int exclude = 0) {
        const QList<Player> all = model.players();
        QList<int> fit;
        for (const Player &p : all)
            if ((team < 0 || p.team == team) &&
                (notTeam < 0 || (p.team >= 0 && p.team != notTeam)) && p.id != exclude)
                fit << p.id;
        if (fit.isEmpty())
            for (const Player &p : all)
                if (p.id != exclude || all.size() == 1) fit << p.id;
        return fit.isEmpty() ? 0 : fit.at(below(int(fit.size())));
    }
    int teamOf(int id) const {
        const Player *p = model.player(id);
        return p ? p->team : -1;
    }
    int other(int killer) { return pick(-1, std::max(0, teamOf(killer)), killer); }
    QString mission(int i) const {
        const QStringList &m = model.missions();
        return m.at(i % m.size());
    }

    void connect(int index) {
        const int id = FirstClientId + index;
        add({QStringLiteral("C"), num(id), simPlayerName(index), simPlayerAddress(index),
             simPlayerGender(index)});
        add({QStringLiteral("A"), num(id), num(index % model.teamCount())});
    }
    void kill(int weapon, int points = 1) {
        const int k = pick();
        const int victim = weapon == 0 ? k : other(k); // weapon 0 is a fall
        add({QStringLiteral("K"), num(k), num(victim), num(weapon), num(points)});
    }
    void chat() {
        const int id = pick();
        const bool team = below(3) == 0;
        lines << QStringLiteral("%1: %2 %3")
                     .arg(team ? QStringLiteral("SAYTEAM") : QStringLiteral("SAY"))
                     .arg(id)
                     .arg(QString::fromLatin1(chatLines[below(chatCount)]));
    }
    void result() {
        QStringList f{QStringLiteral("S")};
        for (const Team &t : model.teams())
            f << num(t.score);
        add(f);
    }
    void flag(const char *code, int id, int points) {
        add({QString::fromLatin1(code), num(id), num(points)});
    }

    MatchConfig config;
    GameState model;
    std::mt19937 rng;
    QStringList lines;
};

} // namespace

QString simPlayerName(int index) {
    const BaseName &b = baseNames[index % baseCount];
    const int round = index / baseCount;
    return round == 0 ? QString::fromLatin1(b.name) : QString::fromLatin1(b.name) + num(round + 1);
}

QString simPlayerAddress(int index) {
    return QStringLiteral("IP:127.0.%1.%2:%3")
        .arg(1 + index / 250)
        .arg(1 + index % 250)
        .arg(1025 + index);
}

QString simPlayerGender(int index) {
    return baseNames[index % baseCount].female ? QStringLiteral("Female") : QStringLiteral("Male");
}

QStringList scriptedMatch(const MatchConfig &config) {
    MatchConfig c = config;
    c.players = std::clamp(c.players, 1, MaxPlayers);
    c.teams = std::clamp(c.teams, 1, MaxTeams);
    Script s(c);
    const int seconds = c.timeLimitMinutes * 60;

    // Round one.
    s.add({QStringLiteral("M"), s.mission(0), num(seconds)});
    s.add({QStringLiteral("X"), QStringLiteral("scripted match"), num(int(c.seed))});
    for (int i = 0; i < c.players; ++i)
        s.connect(i);
    if (c.players >= 3) {
        const int id = FirstClientId + 2;
        const int team = s.teamOf(id);
        s.add({QStringLiteral("A"), num(id), QStringLiteral("-2")});
        s.add({QStringLiteral("A"), num(id), QStringLiteral("-1")});
        s.add({QStringLiteral("A"), num(id), num(team)});
    }
    s.chat();
    s.lines << QStringLiteral("SAY: %1 hello everybody").arg(s.pick());

    // A flag goes round: grabbed for nothing, dropped, rescued, grabbed again, its
    // carrier defended, captured; then the objective codes.
    const int carrier = s.pick(0);
    const int carrierTeam = std::max(0, s.teamOf(carrier));
    const int mate = s.pick(carrierTeam, -1, carrier);
    const int defender = s.pick(-1, carrierTeam);
    s.flag("G", carrier, 0);
    s.flag("P", carrier, 0);
    s.flag("R", defender, 3);
    s.flag("G", carrier, 5);
    s.flag("I", mate, 2);
    s.flag("F", carrier, 10);
    s.add({QStringLiteral("B"), num(carrierTeam), QStringLiteral("10")});
    s.flag("E", defender, 3);
    s.flag("H", mate, 2);
    s.flag("J", defender, 2);
    s.flag("O", mate, 5);
    s.flag("Y", defender, -5);
    s.flag("Z", mate, 5);

    // Every weapon number, then the ones the tool tells as "other".
    for (int w = 0; w <= 13; ++w)
        s.kill(w);
    s.kill(14);
    s.kill(-1);
    {
        const int p = s.pick();
        s.add({QStringLiteral("K"), num(p), num(p), QString(), QStringLiteral("1")}); // suicide
        const int q = s.pick();
        s.add({QStringLiteral("K"), num(q), num(q), QStringLiteral("5"), QStringLiteral("1")});
        s.add({QStringLiteral("K"), QStringLiteral("0"), num(s.pick()), QStringLiteral("7"),
               QStringLiteral("0")}); // the world killed
        const int t = s.pick(0);
        const int mateOfT = s.pick(std::max(0, s.teamOf(t)), -1, t);
        s.add(
            {QStringLiteral("T"), num(t), num(mateOfT), QStringLiteral("4"), QStringLiteral("1")});
        const int u = s.pick(c.teams > 1 ? 1 : 0);
        s.add({QStringLiteral("T"), num(u), num(s.pick(std::max(0, s.teamOf(u)), -1, u)),
               QStringLiteral("1"), QStringLiteral("2")});
    }
    for (const char *word : voteWords)
        s.add({QStringLiteral("V"), QString::fromLatin1(word)});
    s.lines << formatReport({QStringLiteral("!"), QStringLiteral("SimAdmin"),
                             QStringLiteral("round one is nearly over")});
    s.chat();
    if (c.players >= 2) { // someone drops out and comes back
        const int index = c.players - 1;
        s.add({QStringLiteral("D"), num(FirstClientId + index)});
        s.connect(index);
    }
    // A clear winner: the first team gets ahead by 5.
    s.add({QStringLiteral("B"), QStringLiteral("0"), QStringLiteral("15")});
    for (int t = 1; t < c.teams; ++t)
        s.add({QStringLiteral("B"), num(t), QStringLiteral("5")});
    s.result();

    // Round two: a random mix, then a tie.
    s.add({QStringLiteral("M"), s.mission(1), num(seconds)});
    static const char *const flagCodes[] = {"E", "F", "G", "H", "I", "J", "O", "P", "R", "Y", "Z"};
    const int events = std::max(12, c.players);
    for (int e = 0; e < events; ++e) {
        switch (s.below(4)) {
        case 0:
            s.flag(flagCodes[s.below(11)], s.pick(), s.below(4) * 2);
            break;
        case 1:
            s.chat();
            break;
        default:
            s.kill(s.below(15), 1);
            break;
        }
    }
    for (int t = 0; t < c.teams; ++t)
        s.add({QStringLiteral("B"), num(t), num(20 - s.model.teams().at(t).score)});
    s.result();
    s.lines << QStringLiteral("SAYTEAM: %1 gg").arg(s.pick());
    for (const Player &p : s.model.players())
        s.add({QStringLiteral("D"), num(p.id)});
    return s.lines;
}

RandomMatch::RandomMatch(const MatchConfig &config) : m_config(config), m_rng(config.seed) {
    m_config.players = std::clamp(m_config.players, 1, MaxPlayers);
}

QStringList RandomMatch::next(const GameState &state) {
    const QList<Player> players = state.players();
    auto anyone = [&] { return players.at(below(int(players.size()))).id; };
    auto report = [](const QStringList &f) { return QStringList{formatReport(f)}; };

    // Fill the server up to the wanted number of players first.
    if (players.size() < m_config.players && (players.size() < 2 || below(3) == 0)) {
        for (int i = 0; i < m_config.players; ++i) {
            if (state.player(FirstClientId + i)) continue;
            const int id = FirstClientId + i;
            return {formatReport({QStringLiteral("C"), num(id), simPlayerName(i),
                                  simPlayerAddress(i), simPlayerGender(i)}),
                    formatReport({QStringLiteral("A"), num(id), num(state.autoTeamFor(id))})};
        }
    }
    if (players.isEmpty())
        return report({QStringLiteral("X"), QStringLiteral("waiting for players")});

    static const char *const flagCodes[] = {"E", "F", "G", "H", "I", "J", "O", "P", "R", "Y", "Z"};
    const int roll = below(100);
    if (roll < 40) {
        const int k = anyone();
        const int weapon = below(16) - 1;
        return report(
            {QStringLiteral("K"), num(k), num(weapon == 0 ? k : anyone()), num(weapon), num(1)});
    }
    if (roll < 45) {
        const int k = anyone();
        return report({QStringLiteral("K"), num(k), num(k), QString(), num(1)});
    }
    if (roll < 49)
        return report({QStringLiteral("T"), num(anyone()), num(anyone()), num(below(14)), num(1)});
    if (roll < 50)
        return report({QStringLiteral("K"), num(0), num(anyone()), num(below(14)), num(0)});
    if (roll < 70)
        return report({QString::fromLatin1(flagCodes[below(11)]), num(anyone()), num(below(6))});
    if (roll < 78)
        return {QStringLiteral("%1: %2 %3")
                    .arg(below(3) == 0 ? QStringLiteral("SAYTEAM") : QStringLiteral("SAY"))
                    .arg(anyone())
                    .arg(QString::fromLatin1(chatLines[below(chatCount)]))};
    if (roll < 83)
        return report({QStringLiteral("B"), num(below(state.teamCount())), num(1 + below(10))});
    if (roll < 86) {
        const int id = anyone();
        return report({QStringLiteral("A"), num(id), num(below(state.teamCount() + 2) - 2)});
    }
    if (roll < 89) return report({QStringLiteral("D"), num(anyone())});
    if (roll < 91) return report({QStringLiteral("V"), QString::fromLatin1(voteWords[below(4)])});
    if (roll < 92)
        return report(
            {QStringLiteral("!"), QStringLiteral("SimAdmin"), QStringLiteral("still here")});
    if (roll < 93) return report({QStringLiteral("X"), QStringLiteral("tick")});
    if (roll < 95) {
        QStringList s{QStringLiteral("S")};
        for (const Team &t : state.teams())
            s << num(t.score);
        return {formatReport(s), formatReport({QStringLiteral("M"), state.nextMission(),
                                               num(m_config.timeLimitMinutes * 60)})};
    }
    const int k = anyone();
    return report({QStringLiteral("K"), num(k), num(anyone()), num(below(14)), num(1)});
}

} // namespace sim
