#include "admin/commands.h"

#include "game/roster.h"
#include "platform/dialogs.h"
#include "session/consolecommand.h"
#include "session/profile.h"
#include "session/reportline.h"

namespace {

const QString MessagePrompt = QStringLiteral("Message to send");

// A console string literal holding the text as typed.
QString quoted(const QString &text) {
    return console::literal(text);
}

} // namespace

QString admin::teamChangePrompt(int rows) {
    return QStringLiteral("-2=observer, -1=automatic, 0..") + QString::number(rows - 1) +
           QStringLiteral("=team#.");
}

bool AdminCommands::ask(const QString &caption, const QString &prompt, QString &text) {
    return m_profile.dialogs().inputQuery(caption, prompt, text);
}

void AdminCommands::printAll(const QString &function, const QString &prefix) {
    if (!m_profile.isConnected()) return;
    QString text;
    if (!ask(function, MessagePrompt, text)) return;
    m_profile.SendCommand(console::command(function + QLatin1Char('(') + prefix + quoted(text) +
                                           QStringLiteral(");")));
}

void AdminCommands::pickTeam(int id, int team) {
    m_profile.SendCommand(console::command(QStringLiteral("processMenuPickTeam(") +
                                           QString::number(id) + QLatin1Char(',') +
                                           QString::number(team) + QStringLiteral(",2048);")));
}

void AdminCommands::moveToTeam(const QList<int> &selected, int team) {
    for (int id : selected) {
        const PlayerSlot *player = m_roster.slot(id);
        if (player && player->Team != team) pickTeam(id, team);
    }
}

int AdminCommands::teamRows() const {
    return int(m_roster.DefinedTeams.size());
}

void AdminCommands::ListPlayers() {
    if (m_profile.isConnected())
        m_profile.SendCommand(console::command(QStringLiteral("ListPlayers();")));
}

void AdminCommands::MessageAll() {
    printAll(QStringLiteral("MessageAll"), QStringLiteral("0,"));
}

void AdminCommands::CenterPrintAll() {
    printAll(QStringLiteral("CenterPrintAll"));
}

void AdminCommands::TopPrintAll() {
    printAll(QStringLiteral("TopPrintAll"));
}

void AdminCommands::BottomPrintAll() {
    printAll(QStringLiteral("BottomPrintAll"));
}

void AdminCommands::BalanceTeams(const QList<int> &listed) {
    if (!m_profile.isConnected()) return;
    for (int id : listed)
        if (isClientId(id)) pickTeam(id, -1);
    m_profile.SendCommand(
        console::command(QStringLiteral("CenterPrintAll(\"<jc> *** Auto-Balanced Teams ***\");")));
}

void AdminCommands::ClientMessage(admin::ClientMessageKind kind, const QList<int> &selected) {
    static const char *const captions[] = {"Message Client(s)", "CenterPrint Client(s)",
                                           "TopPrint Client(s)", "BottomPrint Client(s)"};
    // The print functions take a blank before their parenthesis, SendMessage none.
    static const char *const functions[] = {"Client::SendMessage(", "CenterPrint (", "TopPrint (",
                                            "BottomPrint ("};
    if (!m_profile.isConnected() || kind < admin::SendMessage || kind > admin::BottomPrint ||
        selected.isEmpty())
        return;
    QString text;
    if (!ask(QLatin1String(captions[kind]), MessagePrompt, text)) return;
    const QString middle = kind == admin::SendMessage ? QStringLiteral(",0,") : QStringLiteral(",");
    for (int id : selected) {
        if (!isClientId(id)) continue;
        m_profile.SendCommand(console::command(QLatin1String(functions[kind]) +
                                               QString::number(id) + middle + quoted(text) +
                                               QStringLiteral(");")));
    }
}

void AdminCommands::KickClients(const QList<int> &selected) {
    if (!m_profile.isConnected() || selected.isEmpty()) return;
    QString text;
    if (!ask(QStringLiteral("Kick Message"), MessagePrompt, text)) return;
    for (int id : selected) {
        if (!isClientId(id)) continue;
        m_profile.SendCommand(console::command(QStringLiteral("Net::Kick(") + QString::number(id) +
                                               QLatin1Char(',') + quoted(text) +
                                               QStringLiteral(");")));
    }
}

void AdminCommands::BanClients(const QList<int> &selected) {
    if (!m_profile.isConnected() || selected.isEmpty()) return;
    QString duration; // sent as typed
    if (!ask(QStringLiteral("Ban Duration"),
             QStringLiteral("Please enter the ban duration in seconds."), duration))
        return;
    for (int id : selected) {
        const PlayerSlot *player = m_roster.slot(id);
        if (!player) continue;
        QString mask = player->Address;
        if (!ask(QStringLiteral("Ban ") + player->Name, QStringLiteral("Please enter the ban mask"),
                 mask))
            continue;
        // The connection may have ended while the box was open.
        if (!m_profile.isConnected()) return;
        m_profile.SendCommand(console::command(QStringLiteral("BanList::add(") + quoted(mask) +
                                               QLatin1Char(',') + duration + QStringLiteral(");")));
    }
}

void AdminCommands::TeamChange(const QList<int> &selected) {
    if (!m_profile.isConnected() || selected.isEmpty()) return;
    const int rows = teamRows();
    QString answer;
    if (!ask(QStringLiteral("Change Team"), admin::teamChangePrompt(rows), answer)) return;
    int team = 0;
    if (!parseInt(answer, team) || team < -2 || team >= rows) return;
    moveToTeam(selected, team);
}

void AdminCommands::TeamListDrop(const QList<int> &selected, int row) {
    const int team = row >= 0 && row < teamRows() ? row : -1;
    moveToTeam(selected, team);
}
