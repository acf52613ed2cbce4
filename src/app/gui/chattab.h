#pragma once

#include "app/gui/tab.h"

// The "Chat" page: nick, chat memo, chat entry, Clear and Page buttons.
class ChatTab : public Tab {
    Q_OBJECT
public:
    explicit ChatTab(TabContext &context, QWidget *parent = nullptr);

    // A line "nick: text"; the memo keeps at most 50 lines.
    void Chat_add(const QString &line);
    void clearChat();
};
