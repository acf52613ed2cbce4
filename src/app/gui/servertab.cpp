#include "app/gui/servertab.h"

#include "admin/commands.h"
#include "app/core/settings.h"
#include "app/gui/consoleview.h"
#include "app/gui/icons.h"
#include "app/gui/rosterlists.h"
#include "game/roster.h"
#include "session/context.h"
#include "session/profile.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr int ButtonWidth = 92;

// Columns of both lists: name, then two narrow number columns.
void setColumns(RosterList *list) {
    static const int widths[] = {115, 40, 40};
    for (int c = 0; c < 3; ++c)
        list->header()->resizeSection(c, widths[c]);
    list->header()->setMinimumSectionSize(24);
    list->setMinimumWidth(115 + 40 + 40 + 4);
}

} // namespace

ServerTab::ServerTab(TabContext &context, QWidget *parent)
    : Tab(context, parent), m_colors{&context.Prefs.Colors},
      m_playerModel(new PlayerModel(m_colors, this)), m_teamModel(new TeamModel(m_colors, this)) {
    m_teamList = new TeamList(m_colors, this);
    m_teamList->setObjectName(QStringLiteral("Display_TeamList"));
    m_teamList->setModel(m_teamModel);
    m_teamList->setSelectionMode(QAbstractItemView::NoSelection);
    m_teamList->setFocusPolicy(Qt::NoFocus);
    m_teamList->setAcceptDrops(true);
    m_teamList->setDragDropMode(QAbstractItemView::DropOnly);
    m_teamList->setDropIndicatorShown(false);
    m_teamList->header()->setSectionsClickable(false);
    setColumns(m_teamList);
    // Room for four teams; more scroll.
    // (The list is empty here, so the row height comes from the delegate's rule.)
    const int rowHeight =
        qMax(int(RosterDelegate::FlagWidth), m_teamList->fontMetrics().height() + 2) + 1;
    m_teamList->setFixedHeight(m_teamList->header()->sizeHint().height() + 4 * rowHeight +
                               2 * m_teamList->frameWidth());

    m_playerList = new PlayerList(m_colors, this);
    m_playerList->setObjectName(QStringLiteral("Display_PlayerList"));
    m_playerList->setModel(m_playerModel);
    m_playerList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_playerList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_playerList->setDragEnabled(true);
    m_playerList->setDragDropMode(QAbstractItemView::DragOnly);
    m_playerList->header()->setSectionsClickable(true);
    m_playerList->header()->setSortIndicatorShown(false);
    setColumns(m_playerList);
    m_teamList->setDragSource(m_playerList);
    // The team list's columns stay under the player list's.
    connect(
        m_playerList->header(), &QHeaderView::sectionResized, this,
        [this](int column, int, int size) { m_teamList->header()->resizeSection(column, size); });

    m_console = new ConsoleView(this);
    m_console->setObjectName(QStringLiteral("Console"));
    m_commandLine = new QLineEdit(this);
    m_commandLine->setObjectName(QStringLiteral("Edit1"));
    m_commandLine->installEventFilter(this);

    auto *clientBar = new QVBoxLayout;
    clientBar->setSpacing(2);
    addButton(clientBar, "Button_MessageClient", QStringLiteral("Message"),
              QStringLiteral("Message Client(s)"), &ServerTab::Button_MessageClientClick);
    addButton(clientBar, "Button_CenterPrintClient", QStringLiteral("Center Print"),
              QStringLiteral("CenterPrint  Client(s)"), &ServerTab::Button_CenterPrintClientClick);
    addButton(clientBar, "Button_TopPrintClient", QStringLiteral("Top Print"),
              QStringLiteral("TopPrint Client(s)"), &ServerTab::Button_TopPrintClientClick);
    addButton(clientBar, "Button_BottomPrintClient", QStringLiteral("Bottom Print"),
              QStringLiteral("BottomPrint Client(s)"), &ServerTab::Button_BottomPrintClientClick);
    addButton(clientBar, "Button_KickClient", QStringLiteral("Kick"),
              QStringLiteral("Kick Client(s)"), &ServerTab::Button_KickClientClick);
    addButton(clientBar, "Button_BanClient", QStringLiteral("Ban"), QStringLiteral("Ban Client(s)"),
              &ServerTab::Button_BanClientClick);
    addButton(clientBar, "Button_TeamChange", QStringLiteral("Change Team"),
              QStringLiteral("Change Client(s) Team"), &ServerTab::Button_TeamChangeClick);
    clientBar->addStretch();

    auto *globalBar = new QVBoxLayout;
    globalBar->setSpacing(2);
    addButton(globalBar, "Button_ListPlayers", QStringLiteral("List Players"),
              QStringLiteral("ListPlayers"), &ServerTab::Button_ListPlayersClick);
    addButton(globalBar, "Button_MessageAll", QStringLiteral("Message All"),
              QStringLiteral("Message All"), &ServerTab::Button_MessageAllClick);
    addButton(globalBar, "Button_CenterPrintAll", QStringLiteral("Center All"),
              QStringLiteral("CenterPrintAll"), &ServerTab::Button_CenterPrintAllClick);
    addButton(globalBar, "Button_TopPrintAll", QStringLiteral("Top All"),
              QStringLiteral("TopPrintAll"), &ServerTab::Button_TopPrintAllClick);
    addButton(globalBar, "Button_BottomPrintAll", QStringLiteral("Bottom All"),
              QStringLiteral("BottomPrintAll"), &ServerTab::Button_BottomPrintAllClick);
    addButton(globalBar, "Button_BalanceTeams", QStringLiteral("Balance Teams"),
              QStringLiteral("Balance Teams"), &ServerTab::Button_BalanceTeamsClick);
    globalBar->addStretch();

    auto *lists = new QVBoxLayout;
    lists->setSpacing(4);
    lists->addWidget(m_teamList);
    lists->addWidget(m_playerList, 1);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setHorizontalSpacing(6);
    grid->addLayout(lists, 0, 0, 2, 1);
    grid->addLayout(clientBar, 0, 1, 2, 1);
    grid->addWidget(m_console, 0, 2);
    grid->addWidget(m_commandLine, 1, 2);
    grid->addLayout(globalBar, 0, 3, 2, 1);
    grid->setColumnStretch(2, 1);

    connect(m_playerList->header(), &QHeaderView::sectionClicked, this,
            &ServerTab::Display_PlayerListColumnClick);
    connect(m_playerList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ServerTab::selectionChanged);
    connect(m_playerModel, &QAbstractItemModel::rowsRemoved, this, &ServerTab::selectionChanged);
    connect(m_playerModel, &QAbstractItemModel::modelReset, this, &ServerTab::selectionChanged);
    connect(m_teamList, &TeamList::playersDropped, this, &ServerTab::Display_TeamListDragDrop);
    connect(m_commandLine, &QLineEdit::returnPressed, this, [this] { commandKey(Qt::Key_Return); });
}

QToolButton *ServerTab::addButton(QVBoxLayout *bar, const char *name, const QString &caption,
                                  const QString &hint, void (ServerTab::*handler)()) {
    auto *b = new QToolButton(this);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(caption);
    b->setToolTip(hint);
    // Every button of a bar as wide as the widest caption needs, and at least ButtonWidth.
    b->setMinimumWidth(ButtonWidth);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    connect(b, &QToolButton::clicked, this, handler);
    bar->addWidget(b);
    return b;
}

void ServerTab::setProfile(Profile *console, const Roster *roster, AdminCommands *commands) {
    m_profile = console;
    m_commands = commands;
    // Rows belong to the profile they were filled from.
    m_playerModel->clear();
    m_teamModel->clear();
    m_teamModel->setTeams(roster ? &roster->TeamSlots : nullptr);
    teamRowsChanged();
    m_console->clearLines();
    applyColors();
}

void ServerTab::applyColors() {
    m_teamList->applyColors();
    m_playerList->applyColors();
    m_console->setBackground(m_colors.background());
    applyTextColors(m_context.Prefs, {m_commandLine});
}

void ServerTab::showEvent(QShowEvent *event) {
    applyColors();
    Tab::showEvent(event);
}

// --- console and command line --------------------------------------------------------

void ServerTab::Console_add(const QString &text, ConsoleColor color) {
    // TribesText is the third colour word; the console colours follow in enum order.
    m_console->Console_add(text, m_colors.color(2 + static_cast<size_t>(color)));
}

void ServerTab::clearConsole() {
    m_console->clearLines();
}

void ServerTab::clearCommandLine() {
    m_commandLine->clear();
}

bool ServerTab::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_commandLine && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        // Enter never beeps nor reaches a default button, online or not.
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            commandKey(key);
            return true;
        }
        if (key == Qt::Key_Up) return commandKey(key);
    }
    return Tab::eventFilter(watched, event);
}

bool ServerTab::commandKey(int key) {
    if (!m_profile || !m_profile->isConnected()) return false;
    if (key == Qt::Key_Up) {
        // The hint keeps the last command sent; before any, the entry is emptied.
        m_commandLine->setText(m_commandLine->toolTip());
        return true;
    }
    const QString text = m_commandLine->text();
    m_profile->SendCommand(text + QLatin1Char('\n'));
    m_commandLine->setToolTip(text);
    m_commandLine->clear();
    return true;
}

// --- lists ---------------------------------------------------------------------------

void ServerTab::addPlayerRow(PlayerSlot &slot) {
    m_playerModel->append(slot);
}

void ServerTab::removePlayerRow(const PlayerSlot &slot) {
    m_playerModel->remove(slot);
}

void ServerTab::redrawPlayerRow(const PlayerSlot &slot) {
    m_playerModel->changed(slot);
}

void ServerTab::repaintPlayerList() {
    m_playerModel->changedAll();
    m_playerList->viewport()->update();
}

void ServerTab::sortPlayerList(int sortKey) {
    m_playerModel->sortBy(sortKey);
}

void ServerTab::clearPlayerList() {
    m_playerModel->clear();
}

void ServerTab::addTeamRow(TeamSlot &team) {
    m_teamModel->append(team);
    teamRowsChanged();
}

void ServerTab::redrawTeamRow(const TeamSlot &) {
    // Rows show the team of their position, so any row may show this team.
    m_teamModel->changedAll();
}

void ServerTab::repaintTeamList() {
    m_teamModel->changedAll();
    m_teamList->viewport()->repaint();
}

void ServerTab::clearTeamList() {
    m_teamModel->clear();
    teamRowsChanged();
}

void ServerTab::teamRowsChanged() {
    // Players show their team number only while there is more than one team row.
    m_playerModel->setShowTeams(m_teamModel->rowCount() > 1);
}

void ServerTab::selectionChanged() {
    emit clientSelectionChanged(m_playerList->selectionModel()->hasSelection());
}

QList<int> ServerTab::selectedClientIds() const {
    QModelIndexList rows = m_playerList->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QList<int> ids;
    for (const QModelIndex &i : rows)
        ids.append(m_playerModel->slotAt(i.row())->ClientId);
    return ids;
}

QList<int> ServerTab::listedClientIds() const {
    QList<int> ids;
    for (int row = 0; row < m_playerModel->rowCount(); ++row)
        ids.append(m_playerModel->slotAt(row)->ClientId);
    return ids;
}

void ServerTab::Display_PlayerListColumnClick(int column) {
    // "Players" by name, "Team" by team then name, "Score" by score, team, name.
    m_context.Server.PlayerSortKey = column;
    sortPlayerList(column);
}

void ServerTab::Display_TeamListDragDrop(int row) {
    const QList<int> selected = selectedClientIds();
    if (selected.isEmpty()) return;
    if (m_commands) m_commands->TeamListDrop(selected, row);
    m_playerList->viewport()->update();
}

// --- commands ------------------------------------------------------------------------

void ServerTab::Button_ListPlayersClick() {
    if (m_commands) m_commands->ListPlayers();
}
void ServerTab::Button_MessageAllClick() {
    if (m_commands) m_commands->MessageAll();
}
void ServerTab::Button_CenterPrintAllClick() {
    if (m_commands) m_commands->CenterPrintAll();
}
void ServerTab::Button_TopPrintAllClick() {
    if (m_commands) m_commands->TopPrintAll();
}
void ServerTab::Button_BottomPrintAllClick() {
    if (m_commands) m_commands->BottomPrintAll();
}
void ServerTab::Button_BalanceTeamsClick() {
    if (m_commands) m_commands->BalanceTeams(listedClientIds());
}
void ServerTab::Button_MessageClientClick() {
    if (m_commands) m_commands->ClientMessage(admin::SendMessage, selectedClientIds());
}
void ServerTab::Button_CenterPrintClientClick() {
    if (m_commands) m_commands->ClientMessage(admin::CenterPrint, selectedClientIds());
}
void ServerTab::Button_TopPrintClientClick() {
    if (m_commands) m_commands->ClientMessage(admin::TopPrint, selectedClientIds());
}
void ServerTab::Button_BottomPrintClientClick() {
    if (m_commands) m_commands->ClientMessage(admin::BottomPrint, selectedClientIds());
}
void ServerTab::Button_KickClientClick() {
    if (m_commands) m_commands->KickClients(selectedClientIds());
}
void ServerTab::Button_BanClientClick() {
    if (m_commands) m_commands->BanClients(selectedClientIds());
}
void ServerTab::Button_TeamChangeClick() {
    if (m_commands) m_commands->TeamChange(selectedClientIds());
}
