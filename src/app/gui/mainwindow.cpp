#include "app/gui/mainwindow.h"

#include "app/gui/abouttab.h"
#include "app/gui/activitytab.h"
#include "app/gui/chattab.h"
#include "app/gui/eventlogtab.h"
#include "app/gui/icons.h"
#include "app/gui/missionstab.h"
#include "app/gui/preferencestab.h"
#include "app/gui/serverproperties.h"
#include "app/gui/servertab.h"
#include "app/gui/statstab.h"
#include "eventlog/announcer.h"
#ifdef VEXMOOR_HAVE_QTSPEECH
#include "platform/speech/qtspeechengine.h"
#endif
#include "platform/settingsstore.h"
#include "session/server.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
QToolButton *toolButton(QWidget *parent, const char *name, const QIcon &icon, const QString &hint) {
    auto *b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(icon);
    b->setIconSize(QSize(20, 20));
    b->setToolTip(hint);
    b->setAutoRaise(true);
    return b;
}
} // namespace

TVexmoor::TVexmoor(platform::SettingsStore &settings, QWidget *parent)
    : QMainWindow(parent), m_settings(settings), m_context{settings, m_dialogs},
      m_profiles(std::make_unique<ProfileList>(m_context)), m_tabContext{settings, m_dialogs,
                                                                         m_prefs, m_context,
                                                                         *m_profiles},
      m_serverDialog(new TServerProperties(m_dialogs, this)) {
    setObjectName(QStringLiteral("Vexmoor"));
    setWindowTitle(QStringLiteral("Vexmoor"));
    setWindowIcon(Icons::app());
    m_dialogs.setParent(this);
    createTray();

    // The speech control and the global settings come before the pages, which show them.
    m_speech = std::make_unique<Announcer>(m_settings, m_dialogs);
#ifdef VEXMOOR_HAVE_QTSPEECH
    m_speech->InitTTS(platform::QtSpeechEngine::create());
#else
    m_speech->InitTTS(nullptr);
#endif
    m_prefs = ReadPrefs(m_settings);
    m_speech->ReadSpeechPrefs();
    m_context.Speech = m_speech.get();

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 0);
    auto *top = new QHBoxLayout;
    m_connect = toolButton(central, "Button_Connect", Icons::lightOff(),
                           QStringLiteral("Open / Close Connection"));
    m_connect->setIconSize(QSize(24, 24));
    m_connect->setCheckable(true);
    m_serverList = new QComboBox(central);
    m_serverList->setObjectName(QStringLiteral("ServerList"));
    m_serverList->setEditable(false);
    m_serverList->setMinimumWidth(220);
    m_serverList->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_add =
        toolButton(central, "Button_AddServer", Icons::addServer(), QStringLiteral("Add Server"));
    m_edit = toolButton(central, "Button_EditServer", Icons::editServer(),
                        QStringLiteral("Edit Server"));
    m_remove = toolButton(central, "Button_RemoveServer", Icons::removeServer(),
                          QStringLiteral("Remove Server"));
    top->addWidget(m_connect);
    top->addStretch();
    top->addWidget(m_add);
    top->addWidget(m_edit);
    top->addWidget(m_remove);
    top->addWidget(m_serverList);
    layout->addLayout(top);

    m_pages = new QTabWidget(central);
    m_pages->setObjectName(QStringLiteral("Pages"));
    m_pages->tabBar()->setExpanding(false);
    m_serverTab = new ServerTab(m_tabContext, m_pages);
    m_missionsTab = new MissionsTab(m_tabContext, m_pages);
    m_statsTab = new StatsTab(m_tabContext, m_pages);
    m_activityTab = new ActivityTab(m_tabContext, m_pages);
    m_chatTab = new ChatTab(m_tabContext, m_pages);
    m_preferencesTab = new PreferencesTab(m_tabContext, m_pages);
    m_eventLogTab = new EventLogTab(m_tabContext, m_pages);
    m_aboutTab = new AboutTab(m_tabContext, m_pages);
    m_pages->addTab(m_serverTab, QStringLiteral("Server"));
    m_pages->addTab(m_missionsTab, QStringLiteral("Missions"));
    m_pages->addTab(m_statsTab, QStringLiteral("Stats"));
    m_pages->addTab(m_activityTab, QStringLiteral("Activity"));
    m_pages->addTab(m_chatTab, QStringLiteral("Chat"));
    m_pages->addTab(m_preferencesTab, QStringLiteral("Preferences"));
    m_pages->addTab(m_eventLogTab, QStringLiteral("Event Log"));
    m_pages->addTab(m_aboutTab, QStringLiteral("About"));
    m_pages->setCurrentIndex(0);
    layout->addWidget(m_pages);
    setCentralWidget(central);

    // Six panels: state, address, mission name, mission type, time left, and an empty one.
    static const int widths[] = {75, 120, 150, 150, 60, 50};
    for (size_t i = 0; i < m_panels.size(); ++i) {
        m_panels[i] = new QLabel(this);
        m_panels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        m_panels[i]->setTextFormat(Qt::PlainText); // mission names and types come from the server
        m_panels[i]->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        m_panels[i]->setMinimumWidth(widths[i]);
        if (i >= 1 && i <= 4) m_panels[i]->setAlignment(Qt::AlignCenter);
        statusBar()->addWidget(m_panels[i], i + 1 == m_panels.size() ? 1 : 0);
    }
    m_panels[0]->setText(QStringLiteral("Offline"));

    connect(m_connect, &QToolButton::clicked, this, &TVexmoor::Button_ConnectClick);
    connect(m_add, &QToolButton::clicked, this, &TVexmoor::Button_AddServerClick);
    connect(m_edit, &QToolButton::clicked, this, &TVexmoor::Button_EditServerClick);
    connect(m_remove, &QToolButton::clicked, this, &TVexmoor::Button_RemoveServerClick);
    connect(m_serverList, &QComboBox::currentIndexChanged, this, &TVexmoor::ServerListChange);
    connect(m_serverTab, &ServerTab::clientSelectionChanged, this, &TVexmoor::SwitchClientButtons);
    connect(m_missionsTab, &MissionsTab::missionPanelChanged, this, &TVexmoor::setStatusPanel);
    connect(m_preferencesTab, &PreferencesTab::serverModeClicked, this, [this] {
        if (CurrentServer) CurrentServer->ToggleMode();
    });
    connect(m_preferencesTab, &PreferencesTab::colorsChanged, this, [this] {
        for (int i = 0; i < m_pages->count(); ++i)
            static_cast<Tab *>(m_pages->widget(i))->applyColors();
    });
    // One name change can make two entries alike or tell them apart again: every entry is
    // renamed.
    connect(m_profiles.get(), &ProfileList::listNameChanged, this, &TVexmoor::updateListNames);

    SwitchServerButtons(false);
    SwitchGlobalButtons(false);
    SwitchClientButtons(false);
    m_connect->setEnabled(false);
    showConnected(false);
    m_edit->setEnabled(false);
    m_remove->setEnabled(false);

    for (int i = 0; i < m_pages->count(); ++i)
        static_cast<Tab *>(m_pages->widget(i))->applyColors();
    m_profiles->setCommitInterval(m_prefs.CommitTimerMinutes);
    {
        const platform::SettingsStore::Batch batch(m_settings); // one write for all profiles
        ::ReadServers(m_settings, [this](const QString &password, const QString &ip, int port) {
            ServerAdd(password, ip, port);
        });
    }

    // Designed at 600 x 400; a little more room for the lists. Centred on the screen.
    resize(800, 560);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TVexmoor::~TVexmoor() {
    if (CurrentServer) CurrentServer->DetachView();
    CurrentServer = nullptr;
    m_context.Speech = nullptr; // the announcer goes before the profiles
    if (m_tray) m_tray->hide();
}

void TVexmoor::createTray() {
    m_trayMenu = new QMenu(this);
    m_trayMenu->setObjectName(QStringLiteral("PopupMenu1"));
    QAction *show = m_trayMenu->addAction(QStringLiteral("Show"));
    show->setObjectName(QStringLiteral("Show1"));
    QAction *exit = m_trayMenu->addAction(QStringLiteral("Exit"));
    exit->setObjectName(QStringLiteral("Exit1"));
    connect(show, &QAction::triggered, this, &TVexmoor::showFromTray);
    connect(exit, &QAction::triggered, this, [this] {
        close();
        QCoreApplication::quit(); // also when the window sat hidden in the tray
    });
    m_tray = new QSystemTrayIcon(Icons::app(), this);
    m_tray->setObjectName(QStringLiteral("TrayIcon"));
    m_tray->setToolTip(QStringLiteral("Vexmoor"));
    m_tray->setContextMenu(m_trayMenu);
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) showFromTray();
            });
    // Without a notification area the window minimises as usual, so it can always come back.
    m_hideToTray = QSystemTrayIcon::isSystemTrayAvailable();
    if (m_hideToTray) m_tray->show();
}

void TVexmoor::showFromTray() {
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void TVexmoor::changeEvent(QEvent *event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized() || !m_hideToTray) return;
    if (m_tray && QSystemTrayIcon::isSystemTrayAvailable()) m_tray->show();
    // Hidden once the state change is through; the tray icon brings it back.
    QTimer::singleShot(0, this, [this] {
        if (isMinimized()) hide();
    });
}

void TVexmoor::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    clearConsole(); // the number of lines that fit has changed
}

void TVexmoor::ServerAdd(const QString &password, const QString &ip, int port) {
    SwitchServerButtons(true);
    TVexmoorServer *p = m_profiles->ServerAdd(password, ip, port);
    {
        const QSignalBlocker block(m_serverList);
        m_serverList->addItem(p->section());
        m_serverList->setCurrentIndex(m_serverList->count() - 1);
    }
    updateListNames();
    ServerListChange();
    m_connect->setEnabled(true);
}

void TVexmoor::updateListNames() {
    const QSignalBlocker block(m_serverList);
    for (int i = 0; i < m_serverList->count() && i < m_profiles->count(); ++i)
        m_serverList->setItemText(i, m_profiles->distinctName(*m_profiles->at(i)));
}

void TVexmoor::ServerListChange() {
    if (CurrentServer) CurrentServer->DetachView();
    TVexmoorServer *p = m_profiles->at(m_serverList->currentIndex());
    CurrentServer = p;
    SwitchClientButtons(false); // the player list is refilled with nothing selected
    // Each page gets the feature it drives, before the profile attaches and fills them.
    m_serverTab->setProfile(p, p ? &p->roster() : nullptr, p ? &p->commands() : nullptr);
    m_missionsTab->setMissions(p ? &p->missions() : nullptr, p ? p->section() : QString());
    m_statsTab->setStatistics(p ? &p->stats() : nullptr);
    m_activityTab->setActivity(p ? &p->activity() : nullptr);
    m_chatTab->setConsole(p);
    m_preferencesTab->setPreferences(p ? &p->prefs() : nullptr, p ? &p->missions() : nullptr);
    m_eventLogTab->setEventLog(p ? &p->eventLog() : nullptr);
    if (p) p->AttachView(this);
}

void TVexmoor::ResetDefaults() {
    m_serverTab->clearPlayerList();
    m_serverTab->clearTeamList();
    clearConsole();
    clearCommandLine();
    m_missionsTab->clearMissionList();
    clearChat();
    m_eventLogTab->fillPlayByPlay({});
    m_statsTab->showStatsState(false, true, true);
    m_activityTab->Chart_refresh(HourlyAverageArray{});
    m_activityTab->showActivityFigures({QStringLiteral("0"), QStringLiteral("0"), {}, {}, {}, {}});
    m_activityTab->setUptime(QString());
    m_preferencesTab->showPreferences(PreferencesPage{});
    m_eventLogTab->setLogFileCheck(false);
    for (QLabel *panel : m_panels)
        panel->clear();
    m_panels[0]->setText(QStringLiteral("Offline"));
    showConnected(false);
    m_edit->setEnabled(false);
    m_remove->setEnabled(false);
}

void TVexmoor::switchGroup(std::initializer_list<const char *> names, bool on) {
    for (const char *name : names) {
        if (auto *control = findChild<QWidget *>(QString::fromLatin1(name)))
            control->setEnabled(on);
    }
}

void TVexmoor::SwitchServerButtons(bool on) {
    switchGroup({"Button_LoadMissions",
                 "Button_SaveMissions",
                 "Button_Random",
                 "Button_EnableStats",
                 "Button_Normalize",
                 "Button_ClearTable",
                 "Button_ResetGraph",
                 "Button_ServerMode",
                 "Button_MissionsPath",
                 "ServerList",
                 "Edit1",
                 "TableList",
                 "Display_MissionsPath",
                 "Display_VexmoorScript",
                 "Display_HostName",
                 "Display_HostPort",
                 "Display_HostInfo",
                 "Display_JoinMOTD",
                 "Display_MaxPlayers",
                 "Display_TimeLimit",
                 "Display_WarmupTime",
                 "Display_ClientPassword",
                 "Display_TeamDmgScale",
                 "Display_AutoAssignTeams",
                 "Display_TourneyMode",
                 "Display_BlockAdmin",
                 "Display_BlockTeamDmg",
                 "Display_BlockMission",
                 "Display_BlockGameType",
                 "Display_MinVotes",
                 "Display_VotingTime",
                 "Display_MinVotesPct",
                 "Display_VoteWinMargin",
                 "Display_LogFile"},
                on);
}

void TVexmoor::SwitchGlobalButtons(bool on) {
    switchGroup({"Button_ListPlayers", "Button_MessageAll", "Button_CenterPrintAll",
                 "Button_TopPrintAll", "Button_BottomPrintAll", "Button_BalanceTeams",
                 "Button_ExecMission", "Button_NextMission", "Button_Page", "Button_Refresh",
                 "Button_LoadPreferences", "Button_SavePreferences", "Chat_Edit"},
                on);
}

void TVexmoor::SwitchClientButtons(bool on) {
    switchGroup({"Button_MessageClient", "Button_CenterPrintClient", "Button_TopPrintClient",
                 "Button_BottomPrintClient", "Button_KickClient", "Button_BanClient",
                 "Button_TeamChange"},
                on);
}

void TVexmoor::Button_ConnectClick() {
    if (CurrentServer) CurrentServer->ToggleConnection();
    showConnected(CurrentServer && CurrentServer->isConnected());
}

void TVexmoor::Button_AddServerClick() {
    // The dialog shows what it held last.
    m_serverDialog->setConflictCheck(
        [this](const QString &ip, int port) { return m_profiles->addressConflict(ip, port); });
    if (!m_dialogs.exec(*m_serverDialog)) return;
    ServerAdd(m_serverDialog->password(), m_serverDialog->ip(), m_serverDialog->port());
    m_settings.flush(); // the operator's new profile reaches the file at once
}

void TVexmoor::Button_EditServerClick() {
    TVexmoorServer *p = CurrentServer;
    if (!p || p->isConnected()) return;
    m_serverDialog->setValues(p->Host, p->Port, p->Password);
    m_serverDialog->setConflictCheck([this, p](const QString &ip, int port) {
        return m_profiles->addressConflict(ip, port, p);
    });
    if (!m_dialogs.exec(*m_serverDialog)) return;
    if (m_serverDialog->ip() != p->Host || m_serverDialog->port() != p->Port)
        p->ChangeAddress(m_serverDialog->ip(), m_serverDialog->port());
    p->Password = m_serverDialog->password();
    m_settings.write(p->section(), QStringLiteral("Password"), p->Password);
    p->UpdateListName();
    setStatusPanel(1, p->section());
}

void TVexmoor::Button_RemoveServerClick() {
    if (CurrentServer && CurrentServer->isConnected()) return;
    if (!m_dialogs.confirm(
            QStringLiteral("Are you absolutely sure you want to COMPLETELY remove the ") +
            m_serverList->currentText() +
            QStringLiteral(" profile?  All databases and logs will be deleted !!")))
        return;
    const int index = m_serverList->currentIndex();
    if (index < 0) return;
    {
        const QSignalBlocker block(m_serverList);
        if (CurrentServer) CurrentServer->DetachView();
        CurrentServer = nullptr;
        m_serverList->removeItem(index);
        m_profiles->remove(index);
        if (m_serverList->count() == 0) {
            m_serverList->clear();
            ResetDefaults();
            SwitchServerButtons(false);
            SwitchGlobalButtons(false);
            SwitchClientButtons(false);
            m_connect->setEnabled(false);
        } else {
            m_serverList->setCurrentIndex(0);
        }
    }
    updateListNames();
    ServerListChange();
}

void TVexmoor::setStatusPanel(int panel, const QString &text) {
    if (panel >= 0 && panel < static_cast<int>(m_panels.size()))
        m_panels[static_cast<size_t>(panel)]->setText(text);
}

void TVexmoor::showConnected(bool connected) {
    m_connect->setChecked(connected);
    m_connect->setIcon(connected ? Icons::lightOn() : Icons::lightOff());
    m_edit->setEnabled(!connected);
    m_remove->setEnabled(!connected);
}

// The window's own view operations on the controls its pages hold.
void TVexmoor::enablePreferenceFiles(bool on) {
    switchGroup({"Button_LoadPreferences", "Button_SavePreferences"}, on);
}
void TVexmoor::showServerMode(bool active) {
    m_preferencesTab->showServerMode(active);
}
void TVexmoor::Console_add(const QString &text, ConsoleColor color) {
    m_serverTab->Console_add(text, color);
}
void TVexmoor::clearConsole() {
    m_serverTab->clearConsole();
}
void TVexmoor::clearCommandLine() {
    m_serverTab->clearCommandLine();
}
bool TVexmoor::muteCodes() const {
    return m_prefs.MuteCodes;
}
void TVexmoor::Chat_add(const QString &line) {
    m_chatTab->Chat_add(line);
}
void TVexmoor::clearChat() {
    m_chatTab->clearChat();
}
RosterView *TVexmoor::rosterView() {
    return m_serverTab;
}
EventLogView *TVexmoor::eventLogView() {
    return m_eventLogTab;
}
MissionView *TVexmoor::missionView() {
    return m_missionsTab;
}
PreferencesView *TVexmoor::preferencesView() {
    return m_preferencesTab;
}
ActivityView *TVexmoor::activityView() {
    return m_activityTab;
}
StatsView *TVexmoor::statsView() {
    return m_statsTab;
}

void TVexmoor::closeEvent(QCloseEvent *event) {
    if (!m_closed) {
        m_closed = true;
        m_profiles->closeAll();
        if (m_tray) m_tray->hide();
    }
    event->accept();
    QCoreApplication::quit(); // closing the main window ends the program
}
