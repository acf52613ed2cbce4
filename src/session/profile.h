#pragma once

#include <QString>

namespace platform {
class Dialogs;
class SettingsStore;
} // namespace platform

// What the features of a server profile use of it: its console, its mode, where its settings
// and files are kept, and the boxes it shows. The profile implements it and hands it to the
// features it owns.
class Profile {
public:
    virtual ~Profile() = default;

    // Sends one complete command (ending in a line feed) on the console connection; nothing
    // goes out while it is not connected.
    virtual void SendCommand(const QString &text) = 0;
    virtual bool isConnected() const = 0;
    // Active mode: the profile runs the server-side script and drives the rotation.
    virtual bool activeMode() const = 0;
    // The profile's settings section ("host:port") and directory.
    virtual QString section() const = 0;
    virtual QString directory() const = 0;
    virtual platform::SettingsStore &settings() = 0;
    virtual platform::Dialogs &dialogs() = 0;
};
