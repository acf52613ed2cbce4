#pragma once

#include <QString>

// The console command of an operators' chat message: the server prints the literal's
// content, "!" nick and text as a chat report line, back to every connected instance.
// Inside the literal a backslash is doubled so that it arrives as typed; a double quote
// becomes a single quote, because the printed line is split at double quotes; a control
// character (a line end would cut the command) becomes a blank.
QString chatCommand(const QString &nick, const QString &text);

// The text of a page: a chat message that also beeps at every receiving instance.
inline const QString PageText = QStringLiteral("BEEP!");
