#include "activity/activity.h"

#include "session/server.h"

void Activity::ClearActivity() {
    HourlyCounts = {};
    HourlyAverages = {};
}
void Activity::LoadActivity() {}
void Activity::ShowActivityFigures() {}
void Activity::UpdateUptime() {}
void Activity::CheckActivityTime() {}
