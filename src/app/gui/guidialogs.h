#pragma once

#include "platform/dialogs.h"

class QWidget;

// Modal message and input boxes and the standard choosers of the window.
class GuiDialogs : public platform::Dialogs {
public:
    void setParent(QWidget *parent) { m_parent = parent; }
    // Tests hand every box to answers instead of showing it (nullptr: show them again).
    void setAnswers(platform::Dialogs *answers) { m_answers = answers; }

    void message(Icon icon, const QString &text) override;
    bool confirm(const QString &text) override;
    bool inputQuery(const QString &caption, const QString &prompt, QString &text) override;
    void beep() override;
    bool openFile(const QString &filter, const QString &defaultExt, QString &fileName) override;
    bool saveFile(const QString &filter, const QString &defaultExt, QString &fileName) override;
    bool chooseFolder(const QString &title, QString &folder) override;
    bool chooseColor(quint32 &color) override;

private:
    bool fileDialog(bool save, const QString &filter, const QString &defaultExt, QString &fileName);

    QWidget *m_parent = nullptr;
    platform::Dialogs *m_answers = nullptr;
};
