#include "game/events.h"

#include "session/server.h"

void GameEvents::Connected() {}
void GameEvents::Disconnected() {}
void GameEvents::TeamChange() {}
void GameEvents::ReportPlayerEvent() {}
void GameEvents::Kill() {}
void GameEvents::MissionStart() {}
void GameEvents::MatchResult() {}
void GameEvents::Vote() {}
