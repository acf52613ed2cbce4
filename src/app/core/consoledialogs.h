#pragma once

#include "platform/dialogs.h"

#include <QTextStream>

// Dialogs for a program without a window: messages are printed, questions are declined.
class ConsoleDialogs : public platform::Dialogs {
public:
    void message(Icon icon, const QString &text) override;
    bool confirm(const QString &text) override;
    bool inputQuery(const QString &caption, const QString &prompt, QString &text) override;
};
