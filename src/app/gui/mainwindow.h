#pragma once

#include "app/core/profilelist.h"
#include "app/core/settings.h"
#include "app/gui/guidialogs.h"
#include "session/view.h"

#include <QMainWindow>
#include <array>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QTextEdit;
class QToolButton;
class Announcer;
class TServerProperties;

// The main window: the server list and its buttons, the pages of the displayed profile and
// the status bar. It is the View of the displayed profile.
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
    void SwitchServerButtons(bool on);

    // View
    void setStatusPanel(int panel, const QString &text) override;
    void showConnected(bool connected) override;
    void SwitchGlobalButtons(bool on) override;
    void Console_add(const QString &text, ConsoleColor color) override;
    void clearConsole() override;
    void clearCommandLine() override;
    bool muteCodes() const override { return m_prefs.MuteCodes; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void addProfile(const QString &password, const QString &ip, int port);
    void sendFreeCommand();

    platform::SettingsStore &m_settings;
    GuiDialogs m_dialogs;
    ServerContext m_context;
    std::unique_ptr<ProfileList> m_profiles;
    GlobalPrefs m_prefs;
    std::unique_ptr<Announcer> m_speech;
    TServerProperties *m_serverDialog;

    QToolButton *m_connect;
    QComboBox *m_serverList;
    QToolButton *m_add;
    QToolButton *m_edit;
    QToolButton *m_remove;
    QTextEdit *m_console;
    QLineEdit *m_commandLine;
    std::array<QLabel *, 6> m_panels{};
    bool m_closed = false;
};
