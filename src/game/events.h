#pragma once

#include <QString>
#include <functional>
#include <optional>

class EventLog;
class Missions;
class Preferences;
class Profile;
class Roster;
class Statistics;
struct PlayerSlot;
struct ReportFields;

// The flag and objective codes: the verb of the sentence, the Missions-table column counted,
// and what happens to the player's flag mark.
struct PlayerEventKind {
    enum class Flag { Unchanged, Set, Cleared };
    char Code;
    const char *Verb;
    const char *Column;
    Flag FlagMark;
};
// The kind of a flag or objective code letter, or nothing for another letter.
std::optional<PlayerEventKind> playerEventKind(QChar code);

// The weapon number of a kill report: the Kills-table column counted and the words of the
// sentence, which is killer + Verb + victim + Ending. The fall names the killer's possessive
// pronoun in place of the victim; a suicide names nobody after the killer.
struct WeaponKind {
    enum class Form { Victim, Fall, Suicide };
    const char *Column;
    Form SentenceForm;
    const char *Verb;
    const char *Ending;
};
// The kind of a weapon number; unknown numbers give the "Other" kind.
WeaponKind weaponKind(int weapon);
// The kind of a suicide (an empty weapon field).
WeaponKind suicideKind();

// The pronouns of a gender (0 female, 1 male): possessive and reflexive.
struct Pronoun {
    const char *Possessive;
    const char *Reflexive;
};
extern const Pronoun Pronouns[2];

// Turns game reports into state changes, statistics calls and event sentences. Each handler
// gets the fields of one report line.
class GameEvents {
public:
    // The parts of the profile that the reports change.
    struct Parts {
        Profile &profile;
        Roster &roster;
        EventLog &eventLog;
        Missions &missions;
        Statistics &stats;
        Preferences &prefs;
    };
    explicit GameEvents(const Parts &parts)
        : m_profile(parts.profile), m_roster(parts.roster), m_eventLog(parts.eventLog),
          m_missions(parts.missions), m_stats(parts.stats), m_prefs(parts.prefs) {}

    void Connected(const ReportFields &f);         // "C"
    void Disconnected(const ReportFields &f);      // "D"
    void TeamChange(const ReportFields &f);        // "A"
    void ReportPlayerEvent(const ReportFields &f); // flag and objective codes
    void Kill(const ReportFields &f);              // "K" and "T"
    void MissionStart(const ReportFields &f);      // "M"
    void MatchResult(const ReportFields &f);       // "S"
    void Vote(const ReportFields &f);              // "V"

    // Called with every sentence the handlers write to the event log (shown text, spoken
    // text, speech category), after it has been written.
    std::function<void(const QString &, const QString &, int)> SentenceObserver;

private:
    void say(const QString &text, const QString &spoken, int category);

    Profile &m_profile;
    Roster &m_roster;
    EventLog &m_eventLog;
    Missions &m_missions;
    Statistics &m_stats;
    Preferences &m_prefs;
};
