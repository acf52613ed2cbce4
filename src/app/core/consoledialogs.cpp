#include "app/core/consoledialogs.h"

#include <cstdio>

namespace {
void print(const QString &prefix, const QString &text) {
    QString oneLine = text;
    oneLine.replace(QLatin1Char('\n'), QLatin1String(" - "));
    std::fprintf(stderr, "%s%s\n", qPrintable(prefix), qPrintable(oneLine));
    std::fflush(stderr);
}
} // namespace

void ConsoleDialogs::message(Icon icon, const QString &text) {
    static const QString prefixes[] = {QStringLiteral("error: "), QStringLiteral("warning: "),
                                       QString()};
    print(prefixes[static_cast<int>(icon)], text);
}

bool ConsoleDialogs::confirm(const QString &text) {
    print(QStringLiteral("declined: "), text);
    return false;
}

bool ConsoleDialogs::inputQuery(const QString &, const QString &prompt, QString &) {
    print(QStringLiteral("no input for: "), prompt);
    return false;
}
