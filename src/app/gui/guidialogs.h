#pragma once

#include "platform/dialogs.h"

#include <QList>
#include <deque>
#include <functional>

class QDialog;
class QWidget;

// The window's modal boxes and choosers. Every box it opens is recorded. Answers can be
// queued ahead (tests do): a question, input query, chooser or window dialog then takes the
// first queued answer instead of opening. In scripted mode (on by default on the offscreen
// platform) a box with no queued answer is declined and a message is only recorded, so
// nothing ever waits for an operator. Tests may also hand every box to another Dialogs.
class GuiDialogs : public platform::Dialogs {
public:
    enum class Box { Message, Confirm, Input, Color, OpenFile, SaveFile, Folder, Dialog };
    struct Shown {
        Box box;
        QString text; // the message, question, prompt, filter or title
    };

    GuiDialogs();
    void setParent(QWidget *parent) { m_parent = parent; }
    // Every box goes to answers instead (nullptr: back to the queue and the real boxes).
    void setAnswers(platform::Dialogs *answers) { m_delegate = answers; }

    // The answer to the next question, input query, file or folder chooser or dialog: ok
    // (Yes / OK / chosen) or not, with the text typed or the path chosen.
    void queueAnswer(bool ok, const QString &text = QString());
    // The next window dialog is filled in by fill and then confirmed with OK.
    void queueDialog(std::function<void(QDialog &)> fill);
    // The colour the next colour chooser confirms (0x00BBGGRR).
    void queueColor(quint32 color);
    void setScripted(bool on) { m_scripted = on; }
    bool scripted() const { return m_scripted; }
    const QList<Shown> &shown() const { return m_shown; }
    void clearShown() { m_shown.clear(); }
    int beeps() const { return m_beeps; }

    // Runs one of the window's own modal dialogs; true when it was accepted. A queued
    // answer accepts it (through its own accept(), so its checks run) or rejects it
    // without showing it.
    bool exec(QDialog &dialog);

    void message(Icon icon, const QString &text) override;
    bool confirm(const QString &text) override;
    bool inputQuery(const QString &caption, const QString &prompt, QString &text) override;
    void beep() override;
    bool openFile(const QString &filter, const QString &defaultExt, QString &fileName) override;
    bool saveFile(const QString &filter, const QString &defaultExt, QString &fileName) override;
    bool chooseFolder(const QString &title, QString &folder) override;
    bool chooseColor(quint32 &color) override;

private:
    struct Answer {
        bool ok = false;
        QString text;
        quint32 color = 0;
        std::function<void(QDialog &)> fill;
    };
    // Records the box; true with the answer to use instead of opening it (a queued one, or
    // a refusal in scripted mode).
    bool answered(Box box, const QString &text, Answer &answer);
    bool fileDialog(bool save, const QString &filter, const QString &defaultExt, QString &fileName);

    QWidget *m_parent = nullptr;
    platform::Dialogs *m_delegate = nullptr;
    std::deque<Answer> m_answers;
    QList<Shown> m_shown;
    bool m_scripted = false;
    int m_beeps = 0;
};
