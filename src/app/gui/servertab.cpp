#include "app/gui/servertab.h"

#include "app/core/settings.h"
#include "session/server.h"

#include <QLineEdit>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {
// 0x00BBGGRR to a colour.
QColor fromColorWord(quint32 c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}
} // namespace

ServerTab::ServerTab(TabContext &context, QWidget *parent) : Tab(context, parent) {
    auto *layout = new QVBoxLayout(this);
    m_console = new QTextEdit(this);
    m_console->setObjectName(QStringLiteral("Console"));
    m_console->setReadOnly(true);
    m_console->document()->setMaximumBlockCount(2000);
    m_commandLine = new QLineEdit(this);
    m_commandLine->setObjectName(QStringLiteral("Edit1"));
    layout->addWidget(m_console);
    layout->addWidget(m_commandLine);
    connect(m_commandLine, &QLineEdit::returnPressed, this, &ServerTab::sendFreeCommand);
}

void ServerTab::sendFreeCommand() {
    if (!m_server || !m_server->isConnected()) return;
    m_server->SendCommand(m_commandLine->text() + QLatin1Char('\n'));
    m_commandLine->clear();
}

void ServerTab::Console_add(const QString &text, ConsoleColor color) {
    // Colour words in the order of ConsoleColor, from the colour settings.
    static constexpr size_t colorIndex[] = {2, 3, 4, 5, 6, 7, 8, 9};
    m_console->setTextColor(
        fromColorWord(m_context.Prefs.Colors[colorIndex[static_cast<int>(color)]]));
    m_console->append(text);
}

void ServerTab::clearConsole() {
    m_console->clear();
}

void ServerTab::clearCommandLine() {
    m_commandLine->clear();
}

void ServerTab::showServerMode(bool) {}
