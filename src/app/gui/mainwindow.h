#pragma once

#include "app/core/profilelist.h"
#include "app/core/settings.h"
#include "app/gui/guidialogs.h"
#include "app/gui/tab.h"
#include "session/view.h"

#include <QMainWindow>
#include <array>
#include <memory>

class QComboBox;
class QMenu;
class QSystemTrayIcon;
class QLabel;
class QTabWidget;
class QToolButton;
class Announcer;
class TServerProperties;
class ServerTab;
class MissionsTab;
class StatsTab;
class ActivityTab;
class ChatTab;
class PreferencesTab;
class EventLogTab;
class AboutTab;

// The main window: the server list and its buttons, the pages of the displayed profile and
// the status bar. It is the View of the displayed profile: it hands each feature the page
// that shows it, and itself shows the status bar, the console, the chat and the control
// groups.
class TVexmoor : public QMainWindow, public View {
    Q_OBJECT
public:
    explicit TVexmoor(platform::SettingsStore &settings, QWidget *parent = nullptr);
    ~TVexmoor() override;

    ProfileList &profiles() { return *m_profiles; }
    TVexmoorServer *CurrentServer = nullptr;
    GuiDialogs &dialogs() { return m_dialogs; }

    // Operator actions (the buttons' handlers).
    void Button_ConnectClick();
    void Button_AddServerClick();
    void Button_EditServerClick();
    void Button_RemoveServerClick();
    void ServerListChange();
    // Blanks every page when no profile is left.
    void ResetDefaults();

    // The tray: "Show" brings the window back; minimising hides it there when the desktop
    // has a notification area (otherwise minimise is an ordinary minimise).
    void showFromTray();
    bool hidesToTray() const { return m_hideToTray; }
    // Tests force the tray behaviour where the platform has no notification area.
    void setHideToTray(bool on) { m_hideToTray = on; }

    // The three control groups, switched on or off as a whole.
    void SwitchServerButtons(bool on);
    void SwitchGlobalButtons(bool on) override;
    void SwitchClientButtons(bool on);

    // View: status bar and top bar.
    void setStatusPanel(int panel, const QString &text) override;
    void showConnected(bool connected) override;
    void enablePreferenceFiles(bool on) override;
    void showServerMode(bool active) override;
    // View: console and chat.
    void Console_add(const QString &text, ConsoleColor color) override;
    void clearConsole() override;
    void clearCommandLine() override;
    bool muteCodes() const override;
    void Chat_add(const QString &line) override;
    void clearChat() override;
    // View: the pages that show the features.
    RosterView *rosterView() override;
    EventLogView *eventLogView() override;
    MissionView *missionView() override;
    PreferencesView *preferencesView() override;
    ActivityView *activityView() override;
    StatsView *statsView() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void ServerAdd(const QString &password, const QString &ip, int port);
    void createTray();
    // Sets every server list entry's text (a host name, with the address where two agree).
    void updateListNames();
    // Enables or disables the named controls, wherever they are in the window.
    void switchGroup(std::initializer_list<const char *> names, bool on);

    platform::SettingsStore &m_settings;
    GuiDialogs m_dialogs;
    ServerContext m_context;
    std::unique_ptr<ProfileList> m_profiles;
    GlobalPrefs m_prefs;
    TabContext m_tabContext;
    std::unique_ptr<Announcer> m_speech;
    TServerProperties *m_serverDialog;

    QToolButton *m_connect;
    QComboBox *m_serverList;
    QToolButton *m_add;
    QToolButton *m_edit;
    QToolButton *m_remove;
    QTabWidget *m_pages;
    ServerTab *m_serverTab;
    MissionsTab *m_missionsTab;
    StatsTab *m_statsTab;
    ActivityTab *m_activityTab;
    ChatTab *m_chatTab;
    PreferencesTab *m_preferencesTab;
    EventLogTab *m_eventLogTab;
    AboutTab *m_aboutTab;
    std::array<QLabel *, 6> m_panels{};
    QSystemTrayIcon *m_tray = nullptr;
    QMenu *m_trayMenu = nullptr;
    bool m_hideToTray = false;
    bool m_closed = false;
};
