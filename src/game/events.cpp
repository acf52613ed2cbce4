#include "game/events.h"

#include "admin/preferences.h"
#include "eventlog/eventlog.h"
#include "game/roster.h"
#include "missions/missions.h"
#include "session/consolecommand.h"
#include "session/profile.h"
#include "session/reportline.h"
#include "stats/statistics.h"

#include <algorithm>
#include <iterator>

namespace {

using Flag = PlayerEventKind::Flag;
using Form = WeaponKind::Form;

constexpr PlayerEventKind PlayerEventKinds[] = {
    {'E', "defended a flag", "FlagDefend", Flag::Unchanged},
    {'F', "captured a flag", "FlagCap", Flag::Cleared},
    {'G', "grabbed a flag", "FlagGrab", Flag::Set},
    {'H', "held an objective", "ObjHold", Flag::Unchanged},
    {'I', "defended a flag carrier", "FlagCrDfnd", Flag::Unchanged},
    {'J', "defended an objective", "ObjDefend", Flag::Unchanged},
    {'O', "captured an objective", "ObjCap", Flag::Unchanged},
    {'P', "dropped a flag", "FlagDrop", Flag::Cleared},
    {'R', "rescued a flag", "FlagRescue", Flag::Unchanged},
    {'Y', "destroyed a friendly objective", "ObjFrDstry", Flag::Unchanged},
    {'Z', "destroyed an enemy objective", "ObjEnDstry", Flag::Unchanged},
};

// Indexed by weapon number.
constexpr WeaponKind Weapons[] = {
    {"Fall", Form::Fall, " has fallen to ", " death."},
    {"Chaingun", Form::Victim, " killed ", " with the chaingun."},
    {"Turret", Form::Victim, " killed ", " with a turret."},
    {"Plasma", Form::Victim, " killed ", " with the plasma gun."},
    {"Disc", Form::Victim, " killed ", " with the disc launcher."},
    {"Grenade", Form::Victim, " killed ", " with a grenade."},
    {"Laser", Form::Victim, " killed ", " with the laser rifle."},
    {"Mortar", Form::Victim, " killed ", " with a mortar."},
    {"Blaster", Form::Victim, " killed ", " with the blaster."},
    {"Elf", Form::Victim, " killed ", " with the elf gun."},
    {"Crushed", Form::Victim, " crushed ", "."},
    {"Explosion", Form::Victim, " killed ", " with an explosion."},
    {"Rocket", Form::Victim, " killed ", " with a rocket."},
    {"Mine", Form::Victim, " killed ", " with a mine."},
};
constexpr WeaponKind OtherWeapon = {"Other", Form::Victim, " killed ", "."};
constexpr WeaponKind SuicideWeapon = {"Suicide", Form::Suicide, " committed suicide.", ""};

// The vote words and what each sets.
struct VoteKind {
    const char *Word;
    const char *Sentence;
    void (*Apply)(ServerVariables &);
};
constexpr VoteKind VoteKinds[] = {
    {"tourney", "The players have voted to enter tournament mode.",
     [](ServerVariables &v) { v.TourneyMode = true; }},
    {"ffa", "The players have voted to enter free-for-all mode.",
     [](ServerVariables &v) { v.TourneyMode = false; }},
    {"etd", "The players have voted to enable team damage.",
     [](ServerVariables &v) { v.TeamDmgScale = 100; }},
    {"dtd", "The players have voted to disable team damage.",
     [](ServerVariables &v) { v.TeamDmgScale = 0; }},
};

constexpr int MaxTeams = 8;

QString text(const char *literal) {
    return QString::fromLatin1(literal);
}

} // namespace

const Pronoun Pronouns[2] = {{"her", "herself"}, {"his", "himself"}};

std::optional<PlayerEventKind> playerEventKind(QChar code) {
    for (const PlayerEventKind &kind : PlayerEventKinds)
        if (code == QLatin1Char(kind.Code)) return kind;
    return std::nullopt;
}

WeaponKind weaponKind(int weapon) {
    if (weapon >= 0 && weapon < static_cast<int>(std::size(Weapons)))
        return Weapons[static_cast<size_t>(weapon)];
    return OtherWeapon;
}

WeaponKind suicideKind() {
    return SuicideWeapon;
}

void GameEvents::say(const QString &shown, const QString &spoken, int category) {
    m_eventLog.LogEvent(shown, spoken, category);
    if (SentenceObserver) SentenceObserver(shown, spoken, category);
}

void GameEvents::Connected(const ReportFields &f) {
    int id = 0;
    if (!parseClientId(f[1], id)) return;
    m_roster.AddPlayer(f[2], f[3], id, -1, 0, genderOf(f[4]));
    const PlayerSlot &p = *m_roster.slot(id);
    const QString ending = QStringLiteral(" connected to the game.");
    say(p.Name + ending, p.SpokenName + ending, ConnectDisconnect);
}

void GameEvents::Disconnected(const ReportFields &f) {
    int id = 0;
    if (!parseClientId(f[1], id)) return;
    // Nobody to take leave of: no sentence, and no play time counted from day 0.
    const PlayerSlot *p = m_roster.connected(id);
    if (!p) return;
    const QString ending = QStringLiteral(" disconnected from the game.");
    say(p->Name + ending, p->SpokenName + ending, ConnectDisconnect);
    m_roster.RemovePlayer(id);
}

void GameEvents::TeamChange(const ReportFields &f) {
    int id = 0, team = 0;
    if (!parseClientId(f[1], id) || !parseInt(f[2], team)) return;
    Roster &roster = m_roster;
    const PlayerSlot &p = *roster.slot(id);
    QString ending;
    if (team == -2) {
        ending = QStringLiteral(" has become an observer.");
    } else if (team == -1) {
        ending = QStringLiteral(" is no longer on a team.");
    } else if (team >= 0 && team < roster.DefinedTeams.size() && team < MaxTeams) {
        ending = QStringLiteral(" has joined team \"") +
                 roster.TeamSlots[static_cast<size_t>(team)].Name + QStringLiteral("\".");
    }
    if (!ending.isEmpty()) say(p.Name + ending, p.SpokenName + ending, TeamChanges);
    roster.AddTeamSize(p.Team, -1);
    roster.SetPlayerTeam(id - FirstClientId, team);
    roster.AddTeamSize(team, +1);
}

void GameEvents::ReportPlayerEvent(const ReportFields &f) {
    const std::optional<PlayerEventKind> kind = playerEventKind(f.code());
    int id = 0, points = 0;
    if (!kind || !parseClientId(f[1], id) || !parseInt(f[2], points)) return;
    const int index = id - FirstClientId;
    const PlayerSlot &p = *m_roster.slot(id);
    const QString pointsText = points != 0 ? QStringLiteral("(%1 points)").arg(points) : QString();
    const QString rest = QLatin1Char(' ') + text(kind->Verb) + QStringLiteral(". ") + pointsText;
    say(p.Name + rest, p.SpokenName + rest, FlagsObjectives);
    const QString &mission = m_missions.CurrentMissionName;
    if (!mission.isEmpty()) m_stats.RecordMissionEvent(id, mission, text(kind->Column));
    m_roster.AddPlayerScore(index, points);
    if (kind->FlagMark != Flag::Unchanged) m_roster.SetFlagMark(index, kind->FlagMark == Flag::Set);
}

void GameEvents::Kill(const ReportFields &f) {
    int killerId = 0, victimId = 0, weapon = 0, points = 0;
    if (!parseInt(f[1], killerId)) return;
    if (!parseClientId(f[2], victimId)) return;
    const bool suicide = f[3].isEmpty();
    if (!suicide && !parseInt(f[3], weapon)) return;
    if (!parseInt(f[4], points)) return;

    Roster &roster = m_roster;
    const PlayerSlot *killer = roster.slot(killerId);
    const PlayerSlot &victim = *roster.slot(victimId);
    const WeaponKind kind = suicide ? suicideKind() : weaponKind(weapon);
    // A suicide or a fall needs a player to tell of.
    if (!killer && kind.SentenceForm != Form::Victim) return;

    const bool self = killerId == victimId;
    const QString killerText = killer ? killer->Name : QStringLiteral("\"The World\"");
    const QString killerSpoken = killer ? killer->SpokenName : QStringLiteral("The World");
    QString shown, spoken;
    switch (kind.SentenceForm) {
    case Form::Suicide:
        shown = killerText + text(kind.Verb);
        spoken = killerSpoken + text(kind.Verb);
        break;
    case Form::Fall: {
        const QString rest = text(kind.Verb) +
                             text(Pronouns[killer->Gender == 0 ? 0 : 1].Possessive) +
                             text(kind.Ending);
        shown = killerText + rest;
        spoken = killerSpoken + rest;
        break;
    }
    case Form::Victim: {
        const QString reflexive = text(Pronouns[victim.Gender == 0 ? 0 : 1].Reflexive);
        const QString verb = text(kind.Verb), ending = text(kind.Ending);
        shown = killerText + verb + (self ? reflexive : victim.Name) + ending;
        spoken = killerSpoken + verb + (self ? reflexive : victim.SpokenName) + ending;
        break;
    }
    }
    const bool teamKill = f[0] == QLatin1String("T");
    m_stats.RecordKill(killerId, victimId, teamKill, text(kind.Column));
    if (killer)
        roster.AddPlayerScore(killerId - FirstClientId,
                              self || teamKill ? saturatingNegate(points) : points);
    // Logged once recorded: a kill that the log shows is in the statistics (journal).
    say(shown, spoken, KillsSuicides);
}

void GameEvents::MissionStart(const ReportFields &f) {
    const QString name = f[1];
    m_roster.ClearScores();
    m_missions.SetCurrentMission(name);
    m_missions.SendNextMission();
    m_missions.SetTimeLeft(f[2]);
    const platform::DateTime t = platform::now();
    if (m_profile.isConnected() && m_profile.activeMode())
        m_profile.SendCommand(console::command(QStringLiteral("Vexmoor_GetTeams();")));
    say(QStringLiteral("Mission \"") + name + QStringLiteral("\" started (") +
            platform::formatDate(t) + QStringLiteral(")."),
        QString(), MissionScore);
}

void GameEvents::MatchResult(const ReportFields &f) {
    const int n = std::min(f.FieldCount - 1, MaxTeams); // further scores have no team slot
    if (n < 1) return;                                  // no score, no result
    QList<int> scores;
    for (int k = 0; k < n; ++k)
        scores.append(leadingInt(f[k + 1]));
    int best = 0;
    bool tie = false;
    for (int k = 1; k < n; ++k) {
        if (scores[k] == scores[best]) {
            tie = true;
        } else if (scores[k] > scores[best]) {
            best = k;
            tie = false;
        }
    }
    m_stats.RecordMatchResult(scores);
    const auto &teams = m_roster.TeamSlots;
    QString sentence;
    if (!tie) {
        sentence = QStringLiteral("Team ") + teams[static_cast<size_t>(best)].Name +
                   QStringLiteral(" wins the match with ") + QString::number(scores[best]) +
                   QStringLiteral(" points.");
    } else {
        sentence = QStringLiteral("Tie Game at ") + QString::number(scores[best]) +
                   QStringLiteral(" points.");
        for (int k = 0; k < n; ++k)
            if (scores[k] == scores[best])
                sentence += QStringLiteral(", ") + teams[static_cast<size_t>(k)].Name;
    }
    say(sentence, QString(), MissionScore);
}

void GameEvents::Vote(const ReportFields &f) {
    const QString &word = f[1];
    for (const VoteKind &vote : VoteKinds) {
        if (word == QLatin1String(vote.Word)) {
            vote.Apply(m_prefs.Vars);
            say(text(vote.Sentence), QString(), Votes);
            break;
        }
    }
    m_prefs.ShowPreferences();
}
