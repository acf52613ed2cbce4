#include "session/adminchat.h"

#include "session/consolecommand.h"

namespace {
QString chatField(const QString &text) {
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('"'))
            out += QLatin1Char('\'');
        else if (c.unicode() < 32 || c.unicode() == 127)
            out += QLatin1Char(' ');
        else
            out += c;
    }
    return out;
}
} // namespace

QString chatCommand(const QString &nick, const QString &text) {
    return console::command(QStringLiteral("echo(\"\\\"!\\\"") + chatField(nick) +
                            QStringLiteral("\\\"") + chatField(text) + QStringLiteral("\\\"\");"));
}
