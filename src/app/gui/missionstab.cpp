#include "app/gui/missionstab.h"

MissionsTab::MissionsTab(TabContext &context, QWidget *parent) : Tab(context, parent) {}
