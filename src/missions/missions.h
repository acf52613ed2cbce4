#pragma once

#include "platform/datetime.h"

#include <QList>
#include <QString>
#include <memory>

class TVexmoorServer;

struct TMission {
    QString MissionName;
    QString MissionType;
    bool Enabled = true;
};

// The mission catalogue of a profile, which is also its rotation order.
class Missions {
public:
    explicit Missions(TVexmoorServer &server);
    ~Missions();

    QList<TMission *> MissionCatalogue; // owned
    TMission *CurrentMission = nullptr;
    QString CurrentMissionName;
    platform::DateTime MissionEndTime = 0; // 0: none reported
    QString MissionsPath;

    void ClearMissions();
    void ScanMissions();
    void LoadMissionList(const QString &fileName);
    void ShowMissions();
    void DetachMissionItems();
    void SetCurrentMission(const QString &name);
    void SendNextMission();
    // The mission time left, shown while attached (called every second).
    void UpdatePlayClock();

private:
    TVexmoorServer &Server;
};
