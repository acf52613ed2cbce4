#pragma once

#include <QString>

struct PlayerSlot;
struct TeamSlot;

// The part of the window's View that shows players and teams. Every operation has a do-nothing
// default; the window overrides what it draws.
//
// The player list holds one row per listing of a slot; each row carries its slot and is drawn
// from it. The team list holds one row per defined team; the row at position t shows team t.
class RosterView {
public:
    virtual ~RosterView() = default;

    // Player list: a new last row carrying the slot (caption: its Name).
    virtual void addPlayerRow(PlayerSlot & /*slot*/) {}
    // Deletes the rows that carry the slot.
    virtual void removePlayerRow(const PlayerSlot & /*slot*/) {}
    // The slot's data (flag mark, team, score) changed: its rows are drawn again.
    virtual void redrawPlayerRow(const PlayerSlot & /*slot*/) {}
    // Every row is drawn again.
    virtual void repaintPlayerList() {}
    // Orders the rows by comparePlayers (game/roster.h) with the given key.
    virtual void sortPlayerList(int /*sortKey*/) {}
    virtual void clearPlayerList() {}

    // Team list: a new last row carrying the team (caption: its Name).
    virtual void addTeamRow(TeamSlot & /*team*/) {}
    // The team's size or score changed.
    virtual void redrawTeamRow(const TeamSlot & /*team*/) {}
    // Every row is drawn again at once.
    virtual void repaintTeamList() {}
    virtual void clearTeamList() {}
};
