#pragma once

#include <QList>
#include <QString>

class TVexmoorServer;

// The admin commands of the Server page. Each acts on the displayed profile (nullptr: none),
// asks for its text through the profile's dialogs and sends one console line per target.
// Players are given as client ids, in the player list's display order; the commands read
// their names, addresses and teams from the profile's roster. Every command but the drop on
// the team list does nothing unless the profile's console is connected; none changes the
// roster (the server's reports do).
namespace admin {

enum ClientMessageKind { SendMessage = 0, CenterPrint = 1, TopPrint = 2, BottomPrint = 3 };

// Commands for everybody.
void ListPlayers(TVexmoorServer *server);
void MessageAll(TVexmoorServer *server);
void CenterPrintAll(TVexmoorServer *server);
void TopPrintAll(TVexmoorServer *server);
void BottomPrintAll(TVexmoorServer *server);
// Every listed player to an automatic team, then a notice to all; no question asked.
void BalanceTeams(TVexmoorServer *server, const QList<int> &listed);

// Commands for the selected players.
void ClientMessage(TVexmoorServer *server, ClientMessageKind kind, const QList<int> &selected);
void KickClients(TVexmoorServer *server, const QList<int> &selected);
// Asks the duration once and the mask per player; a cancelled mask skips only that player.
void BanClients(TVexmoorServer *server, const QList<int> &selected);
// Asks for a team number from -2 to (teams - 1); players already on it are left alone.
void TeamChange(TVexmoorServer *server, const QList<int> &selected);
// The selection dropped on the team list's row at position row (-1: below the rows).
void TeamListDrop(TVexmoorServer *server, const QList<int> &selected, int row);

// The prompt of the team change for a team list of this many rows.
QString teamChangePrompt(int teamRows);

} // namespace admin
