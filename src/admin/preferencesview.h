#pragma once

#include <QString>

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

// What the preferences page shows of a profile: its cache with the two long texts unescaped
// (lines separated by line feeds), the missions path and the script file. A default page is
// the blank page (texts empty, numbers 0, boxes off).
struct PreferencesPage : ServerVariables {
    QString MissionsPath;
    QString ScriptFile;
};

// The part of the window's View that shows the server preferences page. Every operation
// has a do-nothing default; the window overrides what it draws.
class PreferencesView {
public:
    virtual ~PreferencesView() = default;
    // Fills every field and check box of the page. Setting the boxes must not leave click
    // markers; a box handler that runs for it finds the cache already holding the value.
    virtual void showPreferences(const PreferencesPage & /*page*/) {}
};
