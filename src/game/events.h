#pragma once

#include <QString>
#include <functional>
#include <optional>

class TVexmoorServer;
struct PlayerSlot;

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
// reads the fields of the current report line from its profile.
class GameEvents {
public:
    explicit GameEvents(TVexmoorServer &server) : Server(server) {}

    void Connected();         // "C"
    void Disconnected();      // "D"
    void TeamChange();        // "A"
    void ReportPlayerEvent(); // flag and objective codes
    void Kill();              // "K" and "T"
    void MissionStart();      // "M"
    void MatchResult();       // "S"
    void Vote();              // "V"

    // Called with every sentence the handlers write to the event log (shown text, spoken
    // text, speech category), after it has been written.
    std::function<void(const QString &, const QString &, int)> SentenceObserver;

private:
    void say(const QString &text, const QString &spoken, int category);

    TVexmoorServer &Server;
};
