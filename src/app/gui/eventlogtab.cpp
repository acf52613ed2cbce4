#include "app/gui/eventlogtab.h"

EventLogTab::EventLogTab(TabContext &context, QWidget *parent) : Tab(context, parent) {}
