#include "missions/missions.h"

#include "session/server.h"

Missions::Missions(TVexmoorServer &server) : Server(server) {}
Missions::~Missions() {
    ClearMissions();
}

void Missions::ClearMissions() {
    qDeleteAll(MissionCatalogue);
    MissionCatalogue.clear();
    CurrentMission = nullptr;
}
void Missions::ScanMissions() {}
void Missions::LoadMissionList(const QString &) {}
void Missions::ShowMissions() {}
void Missions::DetachMissionItems() {}
void Missions::SetCurrentMission(const QString &name) {
    CurrentMissionName = name;
}
void Missions::SendNextMission() {}
void Missions::UpdatePlayClock() {}
