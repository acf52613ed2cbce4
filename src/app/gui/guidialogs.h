#pragma once

#include "platform/dialogs.h"

class QWidget;

// Modal message and input boxes of the window.
class GuiDialogs : public platform::Dialogs {
public:
    void setParent(QWidget *parent) { m_parent = parent; }
    void message(Icon icon, const QString &text) override;
    bool confirm(const QString &text) override;
    bool inputQuery(const QString &caption, const QString &prompt, QString &text) override;
    void beep() override;
    bool chooseColor(quint32 &color) override;

private:
    QWidget *m_parent = nullptr;
};
