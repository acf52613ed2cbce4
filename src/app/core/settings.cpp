#include "app/core/settings.h"

const std::array<const char *, 19> GlobalPrefs::ColorKeys = {
    "Background",   "GeneralText",  "TribesText",   "StatText",     "GlobalMsg",
    "UnknownMsg",   "Team0",        "Team1",        "Team2",        "Team3",
    "Activity_Sun", "Activity_Mon", "Activity_Tue", "Activity_Wed", "Activity_Thu",
    "Activity_Fri", "Activity_Sat", "Activity_BG",  "Activity_FG"};

const std::array<quint32, 19> GlobalPrefs::DefaultColors = {
    16777215, 0,     8421504, 32896, 8421376,  128,      255,      0, 33023,   16711680,
    255,      43775, 65535,   65280, 16755200, 11162880, 13391308, 0, 16744576};

GlobalPrefs ReadPrefs(const platform::SettingsStore &store) {
    GlobalPrefs p;
    const auto key = [](const char *k) { return QString::fromLatin1(k); };
    p.MuteCodes = store.readBool(GlobalSection, QStringLiteral("MuteCodes"), false);
    p.Nick = store.read(GlobalSection, QStringLiteral("Nick"));
    if (const auto v = store.readInt(GlobalSection, QStringLiteral("CommitInterval")))
        p.CommitInterval = p.CommitTimerMinutes = *v;
    p.Colors = GlobalPrefs::DefaultColors;
    for (size_t i = 0; i < p.Colors.size(); ++i)
        if (const auto v = store.readInt(GlobalSection, key(GlobalPrefs::ColorKeys[i])))
            p.Colors[i] = static_cast<quint32>(*v) & 0x00FFFFFFu;
    return p;
}

void ReadServers(const platform::SettingsStore &store,
                 const std::function<void(const QString &, const QString &, int)> &add) {
    for (const QString &section : store.sections()) {
        if (section == GlobalSection) continue;
        const qsizetype colon = section.indexOf(QLatin1Char(':'));
        if (colon < 0) continue;
        const auto port = platform::parseSettingsInt(section.mid(colon + 1));
        if (!port) continue;
        add(store.read(section, QStringLiteral("Password")), section.left(colon), *port);
    }
}
