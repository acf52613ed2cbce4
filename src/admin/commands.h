#pragma once

#include <QList>
#include <QString>

class Profile;
class Roster;

namespace admin {

enum ClientMessageKind { SendMessage = 0, CenterPrint = 1, TopPrint = 2, BottomPrint = 3 };

// The prompt of the team change for a team list of this many rows.
QString teamChangePrompt(int teamRows);

} // namespace admin

// The admin commands of the Server page for one profile. Each asks for its text through the
// profile's dialogs and sends one console line per target. Players are given as client ids,
// in the player list's display order; the commands read their names, addresses and teams from
// the roster. Every command but the drop on the team list does nothing unless the profile's
// console is connected; none changes the roster (the server's reports do).
class AdminCommands {
public:
    AdminCommands(Profile &profile, const Roster &roster) : m_profile(profile), m_roster(roster) {}

    // Commands for everybody.
    void ListPlayers();
    void MessageAll();
    void CenterPrintAll();
    void TopPrintAll();
    void BottomPrintAll();
    // Every listed player to an automatic team, then a notice to all; no question asked.
    void BalanceTeams(const QList<int> &listed);

    // Commands for the selected players.
    void ClientMessage(admin::ClientMessageKind kind, const QList<int> &selected);
    void KickClients(const QList<int> &selected);
    // Asks the duration once and the mask per player; a cancelled mask skips only that player.
    void BanClients(const QList<int> &selected);
    // Asks for a team number from -2 to (teams - 1); players already on it are left alone.
    void TeamChange(const QList<int> &selected);
    // The selection dropped on the team list's row at position row (-1: below the rows).
    void TeamListDrop(const QList<int> &selected, int row);

private:
    bool ask(const QString &caption, const QString &prompt, QString &text);
    // "Function(\"T\"); //VX" for everybody, after asking for T.
    void printAll(const QString &function, const QString &prefix = {});
    void pickTeam(int id, int team);
    // Moves every selected player that is not on the team yet.
    void moveToTeam(const QList<int> &selected, int team);
    int teamRows() const;

    Profile &m_profile;
    const Roster &m_roster;
};
