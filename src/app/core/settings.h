#pragma once

#include "platform/settingsstore.h"

#include <QString>
#include <array>
#include <functional>

// The global section of the settings file.
inline const QString GlobalSection = QStringLiteral("Vexmoor");

// The global settings, as read once at start-up.
struct GlobalPrefs {
    bool MuteCodes = false;
    QString Nick;
    int CommitInterval = 30; // minutes, as the Interval field shows them
    // The commit timer's minutes: always the interval the field shows (the recording journal
    // keeps what is recorded between commits, so a fresh install commits every 30 minutes).
    int CommitTimerMinutes = 30;
    // Colours in key order: Background, GeneralText, TribesText, StatText, GlobalMsg,
    // UnknownMsg, Team0..Team3, Activity_Sun..Activity_Sat, Activity_BG, Activity_FG.
    std::array<quint32, 19> Colors{};

    static const std::array<const char *, 19> ColorKeys;
    static const std::array<quint32, 19> DefaultColors;
};

// Reads the global keys of the window and the profiles (unparsable integers and colours keep
// their defaults). The speech keys belong to the announcer, which reads them itself.
GlobalPrefs ReadPrefs(const platform::SettingsStore &store);

// Calls add(password, ip, port) for each profile section in file order: every section but
// "Vexmoor" whose name has a ':' followed by a decimal port.
void ReadServers(const platform::SettingsStore &store,
                 const std::function<void(const QString &, const QString &, int)> &add);
