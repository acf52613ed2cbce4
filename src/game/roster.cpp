#include "game/roster.h"

#include "session/reportline.h"
#include "session/server.h"

PlayerSlot *Roster::slot(int clientId) {
    return isClientId(clientId) ? &PlayerSlots[static_cast<size_t>(clientId - FirstClientId)]
                                : nullptr;
}

PlayerSlot *Roster::connected(int clientId) {
    PlayerSlot *p = slot(clientId);
    return p && ConnectedPlayers.contains(p) ? p : nullptr;
}

void Roster::ResetPlayers() {
    ClearPlayerView();
    ConnectedPlayers.clear();
    for (PlayerSlot &p : PlayerSlots)
        p = PlayerSlot{};
}

void Roster::ResetTeams() {
    ClearTeamView();
    DefinedTeams.clear();
    for (TeamSlot &t : TeamSlots)
        t = TeamSlot{};
}

void Roster::FillPlayerView() {}
void Roster::ClearPlayerView() {}
void Roster::FillTeamView() {}
void Roster::ClearTeamView() {}

void Roster::PlayerListed() {}
void Roster::TeamListed() {}
void Roster::TeamScore() {}
