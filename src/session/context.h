#pragma once

class Announcer;
namespace platform {
class Dialogs;
class SettingsStore;
} // namespace platform

// What every profile of a run shares: the settings store, the dialogs, and the window's
// process-wide sort keys.
struct ServerContext {
    platform::SettingsStore &Settings;
    platform::Dialogs &Dialogs;
    int PlayerSortKey = 1;       // player list order (0 name, 1 team, 2 score)
    int MissionSortColumn = 2;   // mission list order
    Announcer *Speech = nullptr; // speaks the displayed profile's events; none without an engine
};
