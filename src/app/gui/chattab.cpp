#include "app/gui/chattab.h"

ChatTab::ChatTab(TabContext &context, QWidget *parent) : Tab(context, parent) {}

void ChatTab::Chat_add(const QString &) {}

void ChatTab::clearChat() {}
