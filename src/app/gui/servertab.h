#pragma once

#include "app/gui/rostermodels.h"
#include "app/gui/tab.h"
#include "game/rosterview.h"
#include "session/view.h"

class AdminCommands;
class ConsoleView;
class PlayerList;
class Profile;
class QLineEdit;
class QToolButton;
class QVBoxLayout;
class Roster;
class TeamList;

// The "Server" page: the team list above the player list, the bar of buttons for the
// selected players, the console with the command line under it and the bar of buttons for
// everybody.
class ServerTab : public Tab, public RosterView {
    Q_OBJECT
public:
    explicit ServerTab(TabContext &context, QWidget *parent = nullptr);

    // The displayed profile: its console, roster and admin commands (none: no profile).
    void setProfile(Profile *console, const Roster *roster, AdminCommands *commands);
    void applyColors() override;

    // Console and command line.
    void Console_add(const QString &text, ConsoleColor color);
    void clearConsole();
    void clearCommandLine();

    // RosterView
    void addPlayerRow(PlayerSlot &slot) override;
    void removePlayerRow(const PlayerSlot &slot) override;
    void redrawPlayerRow(const PlayerSlot &slot) override;
    void repaintPlayerList() override;
    void sortPlayerList(int sortKey) override;
    void clearPlayerList() override;
    void addTeamRow(TeamSlot &team) override;
    void redrawTeamRow(const TeamSlot &team) override;
    void repaintTeamList() override;
    void clearTeamList() override;

    // Client ids of the selected rows, and of every row, in display order.
    QList<int> selectedClientIds() const;
    QList<int> listedClientIds() const;

    // Button handlers.
    void Button_ListPlayersClick();
    void Button_MessageAllClick();
    void Button_CenterPrintAllClick();
    void Button_TopPrintAllClick();
    void Button_BottomPrintAllClick();
    void Button_BalanceTeamsClick();
    void Button_MessageClientClick();
    void Button_CenterPrintClientClick();
    void Button_TopPrintClientClick();
    void Button_BottomPrintClientClick();
    void Button_KickClientClick();
    void Button_BanClientClick();
    void Button_TeamChangeClick();
    void Display_PlayerListColumnClick(int column);
    void Display_TeamListDragDrop(int row);

signals:
    // The selection of the player list changed: whether any player is selected (the
    // window switches the client buttons with it).
    void clientSelectionChanged(bool any);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // The colour settings are read after the pages are made: they apply when shown.
    void showEvent(QShowEvent *event) override;

private:
    QToolButton *addButton(QVBoxLayout *bar, const char *name, const QString &caption,
                           const QString &hint, void (ServerTab::*handler)());
    void selectionChanged();
    void teamRowsChanged();
    // The command line: Enter sends, Up recalls the last command sent.
    bool commandKey(int key);

    RosterColors m_colors;
    PlayerModel *m_playerModel;
    TeamModel *m_teamModel;
    TeamList *m_teamList;
    PlayerList *m_playerList;
    ConsoleView *m_console;
    QLineEdit *m_commandLine;
    Profile *m_profile = nullptr;
    AdminCommands *m_commands = nullptr;
};
