#pragma once

#include "app/gui/tab.h"
#include "game/rosterview.h"
#include "session/view.h"

class QLineEdit;
class QTextEdit;

// The "Server" page: team list above player list, console and command line, the bar of
// per-client buttons and the bar of global buttons.
class ServerTab : public Tab, public RosterView {
    Q_OBJECT
public:
    explicit ServerTab(TabContext &context, QWidget *parent = nullptr);

    void Console_add(const QString &text, ConsoleColor color);
    void clearConsole();
    void clearCommandLine();
    void showServerMode(bool active);

private:
    void sendFreeCommand();

    QTextEdit *m_console;
    QLineEdit *m_commandLine;
};
