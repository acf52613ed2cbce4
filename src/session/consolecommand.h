#pragma once

#include <QString>

// Every line the program sends to a game console is built here, so that one set of rules
// holds for all of them:
// - a text goes into a command only as a string literal made by literal(), which escapes
//   whatever could end the literal, start an escape or cut the line;
// - a composed command ends in the marker " //VX" and a line feed, and nothing inside it
//   can start a second line;
// - a console line that ends in the marker is the echo of one of those commands.
namespace console {

// The marker that ends every command the program composes.
inline constexpr QLatin1StringView Marker(" //VX");

// The body of a console string literal holding text exactly: a backslash and a double
// quote are escaped, a line feed becomes \n, a tab \t and any other control character
// \xHH, so that the literal neither ends early nor spans lines.
QString literalBody(const QString &text);
// text as a complete console string literal: double quote, literalBody, double quote.
QString literal(const QString &text);
// A body that is already in the console's escaped form (a server's report of a text, or
// the preferences' escaped multi-line texts) made safe to place between double quotes: the
// escapes \\, \", \n, \t and \xHH stay, any other backslash is doubled, a bare double quote
// is escaped and control characters are escaped as in literalBody.
QString normalizedLiteralBody(const QString &escaped);
// True when body can stand between two double quotes as it is: every double quote and
// backslash is part of one of the escapes \\, \", \n, \t or \xHH, and no control character
// occurs.
bool isLiteralBody(QStringView body);

// The complete line of a command the program composes: statement, the marker and a line
// feed. Line ends inside statement become blanks, so that it stays one line.
QString command(const QString &statement);
// One line sent without the marker (the password): line ends inside it become blanks.
QString plainLine(const QString &text);
// True when a console line is the echo of a command the program composed.
bool isEcho(QStringView line);

} // namespace console
