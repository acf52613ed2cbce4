#include "missions/missions.h"

#include "missions/missionview.h"
#include "platform/dialogs.h"
#include "platform/privatefile.h"
#include "platform/settingsstore.h"
#include "session/consolecommand.h"
#include "session/profile.h"
#include "session/reportline.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>

namespace {

const QString TypeKey = QStringLiteral("$MDESC::Type");

// Character codes with a..z taken as A..Z; a prefix comes first.
int compareText(const QString &a, const QString &b) {
    auto upper = [](QChar c) {
        const char16_t u = c.unicode();
        return u >= u'a' && u <= u'z' ? char16_t(u - 32) : u;
    };
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const int d = int(upper(a[i])) - int(upper(b[i]));
        if (d != 0) return d;
    }
    return int(a.size() - b.size());
}

// How much of a description file is read for its type line, and of a mission-list file.
constexpr qint64 DescriptionLimit = 1024 * 1024;
constexpr qint64 MissionListLimit = 4 * 1024 * 1024;
// How many refused names the notice lists by name.
constexpr int NoticeNames = 20;

// The lines of a text file: UTF-8 when the bytes are valid UTF-8, else the 8-bit code page
// the game's own files use. Only a regular file is read (a FIFO or device is refused
// without waiting), and only up to limit bytes; a line cut by the limit is dropped. False
// when the file cannot be read.
bool readLines(const QString &fileName, qint64 limit, QStringList &lines,
               bool *truncated = nullptr) {
    QByteArray bytes;
    bool cut = false;
    if (!platform::readRegularFile(fileName, {limit}, bytes, &cut)) return false;
    if (cut) bytes.truncate(bytes.lastIndexOf('\n') + 1);
    if (truncated) *truncated = cut;
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (utf8.hasError()) text = QString::fromLatin1(bytes);
    lines = text.split(QLatin1Char('\n'));
    return true;
}

// A name as the notice shows it: control characters visible.
QString shownName(const QString &name) {
    QString out = name;
    for (QChar &c : out)
        if (c.unicode() < 32 || c.unicode() == 127) c = QChar(0xFFFD);
    return out;
}

} // namespace

int compareMissions(const TMission &a, const TMission &b, int column) {
    int r = 0;
    if (column == MissionEnableColumn) r = compareText(enableText(b), enableText(a));
    if (r == 0 && (column == MissionTypeColumn || column == MissionEnableColumn))
        r = compareText(a.MissionType, b.MissionType);
    if (r == 0) r = compareText(a.Name, b.Name);
    return r;
}

bool isSafeMissionName(const QString &name) {
    return std::none_of(name.cbegin(), name.cend(), [](QChar c) {
        const char16_t u = c.unicode();
        return u == u'"' || u == u'\\' || u == u';' || u < 32 || u == 127;
    });
}

QString enableText(const TMission &mission) {
    return mission.Enabled ? QStringLiteral("Y") : QStringLiteral("N");
}

MissionDescription parseMissionDescription(const QStringList &lines) {
    for (const QString &raw : lines) {
        const QString line = trimControl(raw);
        if (QStringView(line).left(TypeKey.size()).compare(TypeKey, Qt::CaseInsensitive) != 0)
            continue;
        // The type line: nothing after it counts.
        const qsizetype quote = line.indexOf(QLatin1Char('"'));
        if (quote < 0) return {};
        const qsizetype start = quote + 1;
        return {true, line.mid(start, std::max<qsizetype>(0, line.size() - 2 - start))};
    }
    return {};
}

bool parseMissionListLine(const QString &raw, TMission &mission) {
    const QString line = trimControl(raw);
    if (line.isEmpty()) return false;
    const qsizetype first = line.indexOf(QLatin1Char(','));
    if (first < 0) return false;
    const qsizetype second = line.indexOf(QLatin1Char(','), first + 1);
    if (second < 0) return false;
    const QString flag = trimControl(line.mid(second + 1));
    if (flag.isEmpty()) return false;
    mission.Name = line.left(first);
    mission.MissionType = line.mid(first + 1, second - first - 1);
    mission.Enabled = flag != QLatin1String("N");
    return true;
}

QString missionListLine(const TMission &mission) {
    return mission.Name + QLatin1Char(',') + mission.MissionType + QLatin1Char(',') +
           enableText(mission);
}

// --- the catalogue -------------------------------------------------------------------

Missions::Missions(Profile &profile, int &sortColumn)
    : m_profile(profile), m_sortColumn(sortColumn) {}

Missions::~Missions() {
    // The window may be gone already: only the records are freed.
    qDeleteAll(MissionCatalogue);
}

void Missions::ClearMissions() {
    if (m_view) m_view->clearMissionList();
    Rows.clear();
    qDeleteAll(MissionCatalogue);
    MissionCatalogue.clear();
    CurrentMission = nullptr;
}

void Missions::ScanMissions() {
    if (!MissionsPath.isEmpty() && QFileInfo(MissionsPath).isDir()) {
        ClearMissions();
        // Sorted by name so that the rotation does not depend on the file system's order.
        const QDir dir(MissionsPath);
        const QStringList files =
            dir.entryList({QStringLiteral("*.dsc")}, QDir::Files | QDir::Hidden | QDir::System,
                          QDir::Name | QDir::IgnoreCase);
        QStringList refused;
        for (const QString &file : files) {
            if (isSafeMissionName(file.left(file.size() - 4)))
                readDescriptionFile(file);
            else
                refused << file.left(file.size() - 4);
        }
        tellRefused(MissionsPath, refused, false);
    }
    if (m_view) {
        ShowMissions();
        SortMissionList();
    }
}

void Missions::readDescriptionFile(const QString &fileName) {
    QStringList lines;
    if (!readLines(QDir(MissionsPath).filePath(fileName), DescriptionLimit, lines)) return;
    const MissionDescription d = parseMissionDescription(lines);
    if (!d.found || d.type.compare(QLatin1String("Training"), Qt::CaseInsensitive) == 0) return;
    auto *mission = new TMission;
    mission->Name = fileName.left(fileName.size() - 4);
    mission->MissionType = d.type;
    MissionCatalogue.append(mission);
}

void Missions::ShowMissions() {
    MissionView *view = m_view;
    if (!view) return;
    view->clearMissionList();
    Rows.clear();
    for (TMission *mission : MissionCatalogue) {
        mission->Marked = mission->Name == CurrentMissionName;
        mission->ListItem = true;
        Rows.append(mission);
        view->insertMissionRow(int(Rows.size() - 1), *mission);
    }
}

void Missions::DetachMissionItems() {
    for (TMission *mission : MissionCatalogue) {
        mission->ListItem = false;
        mission->Marked = false;
    }
    Rows.clear();
    if (m_view) m_view->clearMissionList();
}

TMission *Missions::FindMission(const QString &name) const {
    for (TMission *mission : MissionCatalogue)
        if (mission->Name == name) return mission;
    return nullptr;
}

int Missions::rowOf(const TMission *mission) const {
    return int(Rows.indexOf(mission));
}

void Missions::setMark(int row, bool mark) {
    TMission *mission = Rows.at(row);
    mission->Marked = mark;
    if (m_view) m_view->redrawMissionRow(row, *mission);
}

void Missions::SetCurrentMission(const QString &name) {
    // Every marked row loses its image, also a row marked by name while no record was linked.
    for (int row = 0; row < Rows.size(); ++row)
        if (Rows.at(row)->Marked) setMark(row, false);
    CurrentMissionName = name;
    CurrentMission = FindMission(name);
    MissionView *view = m_view;
    if (!view) return;
    if (CurrentMission)
        if (const int row = rowOf(CurrentMission); row >= 0) setMark(row, true);
    ShowMissionPanels();
}

void Missions::ShowMissionPanels() {
    if (!m_view) return;
    m_view->showMissionName(CurrentMissionName);
    m_view->showMissionType(CurrentMission ? CurrentMission->MissionType : QString());
}

void Missions::SendNextMission() {
    if (!CurrentMission || !m_profile.activeMode() || !m_profile.isConnected()) return;
    const qsizetype count = MissionCatalogue.size();
    const qsizetype current = MissionCatalogue.indexOf(CurrentMission);
    if (current < 0) return;
    for (qsizetype step = 1; step < count; ++step) {
        const TMission *next = MissionCatalogue.at((current + step) % count);
        if (!next->Enabled) continue;
        m_profile.SendCommand(console::command(
            QStringLiteral("$nextMission[") + console::literal(CurrentMission->Name) +
            QStringLiteral("] = ") + console::literal(next->Name) + QLatin1Char(';')));
        return;
    }
}

// --- mission-list files ----------------------------------------------------------------

bool Missions::SaveMissionList(const QString &fileName) {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) return false;
    QByteArray bytes;
    for (const TMission *mission : MissionCatalogue)
        bytes += missionListLine(*mission).toUtf8() + "\r\n";
    file.write(bytes);
    // The file is replaced only when everything was written.
    if (!file.commit()) return false;
    m_profile.dialogs().message(platform::Dialogs::Icon::Information,
                                fileName + QStringLiteral(" saved successfully"));
    return true;
}

void Missions::LoadMissionList(const QString &fileName) {
    m_profile.settings().write(m_profile.section(), QStringLiteral("LastMissionList"), fileName);
    QStringList lines;
    bool truncated = false;
    if (readLines(fileName, MissionListLimit, lines, &truncated)) {
        ClearMissions();
        QStringList refused;
        for (const QString &line : lines) {
            TMission parsed;
            if (!parseMissionListLine(line, parsed)) continue;
            if (isSafeMissionName(parsed.Name))
                MissionCatalogue.append(new TMission(parsed));
            else
                refused << parsed.Name;
        }
        tellRefused(fileName, refused, truncated);
    }
    if (m_view) ShowMissions();
    if (!CurrentMissionName.isEmpty()) SetCurrentMission(CurrentMissionName);
}

void Missions::tellRefused(const QString &source, const QStringList &refused, bool truncated) {
    if (refused.isEmpty() && !truncated) return;
    QString text;
    if (!refused.isEmpty()) {
        QStringList names;
        for (qsizetype i = 0; i < refused.size() && i < NoticeNames; ++i)
            names << shownName(refused.at(i));
        text = QStringLiteral("%1 mission(s) of %2 were left out: a mission name may not hold a "
                              "double quote, a backslash, a semicolon or a control character, "
                              "because it is sent to the server inside console commands.\n%3")
                   .arg(refused.size())
                   .arg(source, names.join(QStringLiteral(", ")));
        if (refused.size() > NoticeNames)
            text += QStringLiteral(" and %1 more").arg(refused.size() - NoticeNames);
    }
    if (truncated) {
        if (!text.isEmpty()) text += QStringLiteral("\n");
        text += QStringLiteral("%1 is longer than %2 MiB: only its beginning was read.")
                    .arg(source)
                    .arg(MissionListLimit / (1024 * 1024));
    }
    m_profile.dialogs().message(platform::Dialogs::Icon::Warning, text);
}

// --- the mission list ------------------------------------------------------------------

void Missions::ColumnClick(int column) {
    if (column < MissionNameColumn || column > MissionEnableColumn) return;
    m_sortColumn = column;
    SortMissionList();
}

void Missions::SortMissionList() {
    if (Rows.isEmpty()) return;
    const int column = m_sortColumn;
    std::stable_sort(Rows.begin(), Rows.end(), [column](const TMission *a, const TMission *b) {
        return compareMissions(*a, *b, column) < 0;
    });
    if (m_view) m_view->reorderMissionRows(Rows);
}

void Missions::MoveMissionItem(int source, int target) {
    const int rows = int(Rows.size());
    if (source < 0 || source >= rows || source == target) return;
    if (target >= rows) target = -1;
    TMission *mission = Rows.at(source);
    TMission *targetMission = target >= 0 ? Rows.at(target) : nullptr;

    MissionView *view = m_view;
    if (view) view->removeMissionRow(source);
    Rows.removeAt(source);
    const int row = target >= 0 ? target : int(Rows.size());
    Rows.insert(row, mission);
    if (view) view->insertMissionRow(row, *mission);

    const qsizetype from = MissionCatalogue.indexOf(mission);
    const qsizetype to =
        targetMission ? MissionCatalogue.indexOf(targetMission) : MissionCatalogue.size() - 1;
    if (from < 0 || to < 0) return;
    MissionCatalogue.removeAt(from);
    MissionCatalogue.insert(to, mission);
}

void Missions::DragDrop(int selected, int target) {
    if (selected != target) MoveMissionItem(selected, target);
}

void Missions::ToggleEnabled(int row) {
    if (row < 0 || row >= Rows.size()) return;
    TMission *mission = Rows.at(row);
    mission->Enabled = !mission->Enabled;
    if (m_view) m_view->redrawMissionRow(row, *mission);
}

void Missions::Randomize() {
    const auto ticks = std::chrono::system_clock::now().time_since_epoch().count();
    Randomize(static_cast<std::uint32_t>(ticks ^ (ticks >> 32)));
}

void Missions::Randomize(std::uint32_t seed) {
    const int rows = int(Rows.size());
    if (rows == 0) return;
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> pick(0, rows - 1);
    for (int i = 0; i < rows; ++i)
        MoveMissionItem(i, pick(generator));
}

void Missions::ExecMission(int selected) {
    if (!m_profile.isConnected() || selected < 0 || selected >= Rows.size()) return;
    m_profile.SendCommand(console::command(QStringLiteral("Server::LoadMission(") +
                                           console::literal(Rows.at(selected)->Name) +
                                           QStringLiteral(");")));
}

void Missions::NextMission() {
    if (m_profile.isConnected())
        m_profile.SendCommand(console::command(QStringLiteral("Server::NextMission();")));
}

// --- the missions path -----------------------------------------------------------------

void Missions::setMissionsPath(const QString &path) {
    MissionsPath = path;
    m_profile.settings().write(m_profile.section(), QStringLiteral("MissionsPath"), path);
    ScanMissions();
}

QString Missions::MissionsPathExit(const QString &text, const QString &remembered) {
    if (text == remembered) return text;
    QString path = text;
    // One trailing separator goes; a lone separator (the root) stays.
    if (path.size() > 1 && (path.endsWith(QLatin1Char('\\')) || path.endsWith(QLatin1Char('/'))))
        path.chop(1);
    setMissionsPath(path);
    return path;
}

bool Missions::MissionsPathChosen(const QString &folder, const QString &fieldText) {
    if (folder.isEmpty() || folder == fieldText) return false;
    setMissionsPath(folder);
    return true;
}

// --- the mission clock -----------------------------------------------------------------

void Missions::SetTimeLeft(const QString &text) {
    constexpr double MaxSeconds = 1e9; // about 31 years
    double seconds = 0;
    if (!parseDecimal(text, seconds) || !std::isfinite(seconds) || std::fabs(seconds) > MaxSeconds)
        seconds = 0;
    MissionEndTime = platform::now() + seconds / platform::SecondsPerDay;
}

void Missions::UpdatePlayClock() {
    MissionView *view = m_view;
    if (!view) return;
    if (MissionEndTime > 0)
        view->showTimeLeft(platform::formatTime(std::fabs(MissionEndTime - platform::now())));
    else
        view->showTimeLeft(QString());
}
