#include "admin/commands.h"

#include "game/roster.h"
#include "platform/dialogs.h"
#include "session/reportline.h"
#include "session/server.h"

namespace admin {

namespace {

const QString Marker = QStringLiteral(" //VX\n");
const QString MessagePrompt = QStringLiteral("Message to send");

bool connected(const TVexmoorServer *server) {
    return server && server->isConnected();
}

// A console string literal holding the text as typed: backslashes and double quotes are
// escaped, so they neither end the literal nor start an escape.
QString quoted(const QString &text) {
    QString body = text;
    body.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    body.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + body + QLatin1Char('"');
}

// The input box: true with the answer in text on OK.
bool ask(TVexmoorServer &server, const QString &caption, const QString &prompt, QString &text) {
    return server.Context.Dialogs.inputQuery(caption, prompt, text);
}

// "Function(\"T\"); //VX" for everybody, after asking for T.
void printAll(TVexmoorServer *server, const QString &function, const QString &prefix = {}) {
    if (!connected(server)) return;
    QString text;
    if (!ask(*server, function, MessagePrompt, text)) return;
    server->SendCommand(function + QLatin1Char('(') + prefix + quoted(text) + QStringLiteral(");") +
                        Marker);
}

void pickTeam(TVexmoorServer &server, int id, int team) {
    server.SendCommand(QStringLiteral("processMenuPickTeam(") + QString::number(id) +
                       QLatin1Char(',') + QString::number(team) + QStringLiteral(",2048);") +
                       Marker);
}

// Moves every selected player that is not on the team yet.
void moveToTeam(TVexmoorServer &server, const QList<int> &selected, int team) {
    for (int id : selected) {
        const PlayerSlot *player = server.roster.slot(id);
        if (player && player->Team != team) pickTeam(server, id, team);
    }
}

int teamRows(const TVexmoorServer &server) {
    return int(server.roster.DefinedTeams.size());
}

} // namespace

void ListPlayers(TVexmoorServer *server) {
    if (connected(server)) server->SendCommand(QStringLiteral("ListPlayers();") + Marker);
}

void MessageAll(TVexmoorServer *server) {
    printAll(server, QStringLiteral("MessageAll"), QStringLiteral("0,"));
}

void CenterPrintAll(TVexmoorServer *server) {
    printAll(server, QStringLiteral("CenterPrintAll"));
}

void TopPrintAll(TVexmoorServer *server) {
    printAll(server, QStringLiteral("TopPrintAll"));
}

void BottomPrintAll(TVexmoorServer *server) {
    printAll(server, QStringLiteral("BottomPrintAll"));
}

void BalanceTeams(TVexmoorServer *server, const QList<int> &listed) {
    if (!connected(server)) return;
    for (int id : listed)
        if (isClientId(id)) pickTeam(*server, id, -1);
    server->SendCommand(QStringLiteral("CenterPrintAll(\"<jc> *** Auto-Balanced Teams ***\");") +
                        Marker);
}

void ClientMessage(TVexmoorServer *server, ClientMessageKind kind, const QList<int> &selected) {
    static const char *const captions[] = {"Message Client(s)", "CenterPrint Client(s)",
                                           "TopPrint Client(s)", "BottomPrint Client(s)"};
    // The print functions take a blank before their parenthesis, SendMessage none.
    static const char *const functions[] = {"Client::SendMessage(", "CenterPrint (", "TopPrint (",
                                            "BottomPrint ("};
    if (!connected(server) || kind < SendMessage || kind > BottomPrint || selected.isEmpty())
        return;
    QString text;
    if (!ask(*server, QLatin1String(captions[kind]), MessagePrompt, text)) return;
    const QString middle = kind == SendMessage ? QStringLiteral(",0,") : QStringLiteral(",");
    for (int id : selected) {
        if (!isClientId(id)) continue;
        server->SendCommand(QLatin1String(functions[kind]) + QString::number(id) + middle +
                            quoted(text) + QStringLiteral(");") + Marker);
    }
}

void KickClients(TVexmoorServer *server, const QList<int> &selected) {
    if (!connected(server) || selected.isEmpty()) return;
    QString text;
    if (!ask(*server, QStringLiteral("Kick Message"), MessagePrompt, text)) return;
    for (int id : selected) {
        if (!isClientId(id)) continue;
        server->SendCommand(QStringLiteral("Net::Kick(") + QString::number(id) + QLatin1Char(',') +
                            quoted(text) + QStringLiteral(");") + Marker);
    }
}

void BanClients(TVexmoorServer *server, const QList<int> &selected) {
    if (!connected(server) || selected.isEmpty()) return;
    QString duration; // sent as typed
    if (!ask(*server, QStringLiteral("Ban Duration"),
             QStringLiteral("Please enter the ban duration in seconds."), duration))
        return;
    for (int id : selected) {
        const PlayerSlot *player = server->roster.slot(id);
        if (!player) continue;
        QString mask = player->Address;
        if (!ask(*server, QStringLiteral("Ban ") + player->Name,
                 QStringLiteral("Please enter the ban mask"), mask))
            continue;
        // The connection may have ended while the box was open.
        if (!server->isConnected()) return;
        server->SendCommand(QStringLiteral("BanList::add(") + quoted(mask) + QLatin1Char(',') +
                            duration + QStringLiteral(");") + Marker);
    }
}

QString teamChangePrompt(int rows) {
    return QStringLiteral("-2=observer, -1=automatic, 0..") + QString::number(rows - 1) +
           QStringLiteral("=team#.");
}

void TeamChange(TVexmoorServer *server, const QList<int> &selected) {
    if (!connected(server) || selected.isEmpty()) return;
    const int rows = teamRows(*server);
    QString answer;
    if (!ask(*server, QStringLiteral("Change Team"), teamChangePrompt(rows), answer)) return;
    int team = 0;
    if (!parseInt(answer, team) || team < -2 || team >= rows) return;
    moveToTeam(*server, selected, team);
}

void TeamListDrop(TVexmoorServer *server, const QList<int> &selected, int row) {
    if (!server) return;
    const int team = row >= 0 && row < teamRows(*server) ? row : -1;
    moveToTeam(*server, selected, team);
}

} // namespace admin
