#include "app/gui/statstab.h"

StatsTab::StatsTab(TabContext &context, QWidget *parent) : Tab(context, parent) {}
