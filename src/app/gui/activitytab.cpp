#include "app/gui/activitytab.h"

ActivityTab::ActivityTab(TabContext &context, QWidget *parent) : Tab(context, parent) {}
