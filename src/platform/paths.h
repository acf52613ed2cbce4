#pragma once

#include <QString>

namespace platform {

// Where the program keeps its files. Both follow XDG_CONFIG_HOME / XDG_DATA_HOME.
QString configDir();        // per-user config dir + "/vexmoor"
QString settingsFilePath(); // configDir() + "/Vexmoor.ini"
QString dataDir();          // per-user data dir + "/vexmoor"; the profile directories live here
QString profileDir(const QString &host, int port); // dataDir() + "/" + host + "." + port

} // namespace platform
