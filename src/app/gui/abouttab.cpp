#include "app/gui/abouttab.h"

AboutTab::AboutTab(TabContext &context, QWidget *parent) : Tab(context, parent) {}
