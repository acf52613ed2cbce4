#pragma once

#include <QString>

class TVexmoorServer;
struct ReportFields;

// The profile's cached copy of the game server's variables.
struct ServerVariables {
    QString HostName;
    int HostPort = 0;
    QString HostInfo; // escaped form
    QString JoinMOTD; // escaped form
    int MaxPlayers = 0;
    int TimeLimit = 0;
    int WarmupTime = 0;
    QString ClientPassword;
    int TeamDmgScale = 0; // percent
    int MinVotes = 0;
    int VotingTime = 0;
    int MinVotesPct = 0;   // percent
    int VoteWinMargin = 0; // percent
    bool AutoAssignTeams = false;
    bool TourneyMode = false;
    bool BlockAdmin = false;
    bool BlockTeamDmg = false;
    bool BlockMission = false;
    bool BlockGameType = false;
};

// Multi-line text to a console string literal, and back for display.
QString escapeConsoleText(const QString &text);
QString unescapeConsoleText(const QString &text);
// Percent to the console's fraction in its shortest form ("0.05", "1", "0").
QString percentToFraction(int percent);
// Percent to a fraction with exactly two decimals, for preference files ("0.50").
QString percentToFixedFraction(int percent);
// A reported fraction to percent, rounded to the nearest integer, halves to even.
int fractionToPercent(double fraction);
// True for "true" in any letter case and for "1".
bool boolWord(const QString &text);

// The preferences cache of a profile and its preference files.
class Preferences {
public:
    explicit Preferences(TVexmoorServer &server) : Server(server) {}

    ServerVariables Vars;
    // Set once a variables report ("Q" sub-code 0 or 1) has filled the cache in this run.
    bool Reported = false;

    // The "Q" report of the current report line.
    void PreferencesReport(const ReportFields &fields);
    // Writes the cache as console assignments, one per line, CR LF. False when the file
    // could not be written.
    bool SavePreferenceFile(const QString &fileName) const;
    // Sends every line of the file with the command marker, then asks for the preferences.
    void LoadPreferenceFile(const QString &fileName);
    void ShowPreferences();

private:
    TVexmoorServer &Server;
};
