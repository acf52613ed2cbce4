#pragma once

#include "app/gui/tab.h"

class Profile;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;

// The "Chat" page: the operators' chat through the displayed server's console. The nick,
// the memo of received lines (at most 50), the entry (Enter sends, Up recalls the last
// message), Clear and Page.
class ChatTab : public Tab {
    Q_OBJECT
public:
    static constexpr int MemoLines = 50;
    static constexpr int NickLength = 8;
    static constexpr int TextLength = 200;

    explicit ChatTab(TabContext &context, QWidget *parent = nullptr);

    // A received line "nick: text"; the oldest line goes when the memo is full.
    void Chat_add(const QString &line);
    void clearChat();
    void applyColors() override;

    void Button_PageClick();
    // The displayed profile's console (none: no profile).
    void setConsole(Profile *console) { m_profile = console; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void send(const QString &text);
    void Chat_NickExit();
    // The displayed profile's console is connected.
    bool online() const;

    QLineEdit *m_nick;
    QPlainTextEdit *m_memo;
    QLineEdit *m_entry;
    QToolButton *m_clear;
    QToolButton *m_page;
    QString m_nickOnEnter; // the nick when the field gained focus
    QString m_lastSent;    // one-deep recall
    Profile *m_profile = nullptr;
};
