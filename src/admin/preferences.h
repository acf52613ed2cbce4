#pragma once

#include "admin/preferencesview.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

class Missions;
class Profile;
struct ReportFields;

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

// The six check boxes of the preferences page.
enum class PrefCheckBox {
    AutoAssignTeams,
    TourneyMode,
    BlockAdmin,
    BlockGameType,
    BlockTeamDmg,
    BlockMission
};

// The preferences cache of a profile, the commands that the preferences page sends, the "Q"
// report and the preference files.
//
// The page's handlers forward to the methods below and do nothing else with the server: an
// edit field passes its text on leaving together with the value it remembered when it gained
// focus; a check box passes its new state and whether the operator's mouse press left its
// click marker. Every handler updates the cache; commands go out only while connected.
// The commands of a preference file: every line that is not blank must be an assignment
// "variable=value;" of one of the variables a saved file holds (the $Server:: variables of
// the page and the four $Vexmoor::Block switches) with a value of its kind: a string literal
// with only the escapes \\, \", \n, \t and \xHH, a decimal integer, a decimal fraction,
// True/False, or 0/1. Anything else could run any command on the server: then the whole file
// is refused and problem names the first line that is not such an assignment.
bool parsePreferenceFile(const QByteArray &bytes, QStringList &commands, QString &problem);

class Preferences {
public:
    // missions: the catalogue whose path the page shows and whose running mission the status
    // report names.
    Preferences(Profile &profile, Missions &missions);

    // The page while the profile is displayed, else nullptr.
    void setView(PreferencesView *view) { m_view = view; }

    ServerVariables Vars;
    // The server-side script the session runs (setting "VexmoorScript").
    QString ScriptFile;
    // Called after a report or the host name field may have changed the host name.
    std::function<void()> HostNameChanged;
    // Set once a variables report ("Q" sub-code 0 or 1) has filled the cache in this run.
    bool Reported = false;

    // The "Q" report of the current report line. Sends nothing.
    void PreferencesReport(const ReportFields &fields);
    // Writes the cache as console assignments, one per line, CR LF. False when the file
    // could not be written.
    bool SavePreferenceFile(const QString &fileName) const;
    // Sends every line of the file with the command marker, then asks for the preferences;
    // sends nothing while not connected. The cache is not changed. Only a file made of the
    // assignments a saved file holds is sent (see parsePreferenceFile); any other is refused
    // whole with a message naming the file and the line. True when the lines were sent.
    bool LoadPreferenceFile(const QString &fileName);
    // The replay after a reconnection: restoreFileName() is sent like LoadPreferenceFile
    // (read only when it is a regular file, not a link) and then deleted. A refused file
    // gives its message in refusal instead of a box; the preferences are asked for either way.
    bool RestorePreferences(QString &refusal);
    // The file that keeps the cache over an unexpected disconnect: "vxtemp.vxp" in the profile
    // directory.
    QString restoreFileName() const;
    // Copies the cache into the page while the profile is displayed.
    void ShowPreferences();
    // The Refresh button: asks the server for its variables.
    void Refresh();

    // Leaving the fields of the page. The text fields act when the text differs from the
    // remembered one, the memos always.
    void HostNameExit(const QString &text, const QString &remembered);
    void HostInfoExit(const QString &memoText);
    void JoinMOTDExit(const QString &memoText);
    void ClientPasswordExit(const QString &text, const QString &remembered);
    void MaxPlayersExit(int value, int remembered);
    void TimeLimitExit(int value, int remembered);
    void WarmupTimeExit(int value, int remembered);
    void MinVotesExit(int value, int remembered);
    void VotingTimeExit(int value, int remembered);
    // The three percent fields carry percent; the server gets the fraction.
    void MinVotesPctExit(int value, int remembered);
    void VoteWinMarginExit(int value, int remembered);
    void TeamDmgScaleExit(int value, int remembered);
    // The script file field: no command; becomes the profile's script and is stored.
    void VexmoorScriptExit(const QString &text);

    // A click on one of the six check boxes (also when the program set the box). Returns
    // true when the box's click marker is to be removed.
    bool CheckBoxClick(PrefCheckBox box, bool checked, bool markerPresent);

private:
    void send(const QString &command);
    bool replay(const QString &fileName, bool followLinks, QString &refusal);
    void numberExit(int &cached, const char *variable, int value, int remembered, bool percent);

    void hostNameChanged();

    Profile &m_profile;
    Missions &m_missions;
    PreferencesView *m_view = nullptr;
};
