#pragma once

// The console's command interpreter with the Vexmoor script loaded. It knows the few
// game functions the admin tool calls and the script's Vexmoor_Get* functions; everything
// it prints comes back as lines, split into what only the caller sees and the report
// lines of game events that every logged-in console sees.

#include "gamestate.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace sim {

struct ConsoleOutput {
    QStringList reply;     // printed on the console of the sender only
    QStringList broadcast; // game events and echo(): printed on every logged-in console
    QStringList calls;     // names of the functions called, as written
};

// One statement of a command line: a call with its arguments, or an assignment.
struct Statement {
    enum Kind { Call, Assign, Read, Invalid } kind = Invalid;
    QString name;     // function or variable name as written
    QStringList args; // call arguments, string literals unescaped, other tokens trimmed
    QString value;    // assigned value
};

// Splits a command line into statements: the comment from "//" on is dropped, ";"
// separates statements; quotes protect both.
QList<Statement> parseCommandLine(const QString &line);

class Console {
public:
    explicit Console(GameState &state) : m_state(state) {}

    // Seconds left in the running mission, asked for the status report.
    void setClock(std::function<double()> secondsLeft) { m_secondsLeft = std::move(secondsLeft); }

    ConsoleOutput execute(const QString &line);

private:
    void call(const Statement &s, ConsoleOutput &out);
    QString missionStart(const QString &name) const;

    GameState &m_state;
    std::function<double()> m_secondsLeft;
};

} // namespace sim
