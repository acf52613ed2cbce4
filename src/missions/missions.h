#pragma once

#include "platform/datetime.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>

class MissionView;
class Profile;

// One catalogue entry.
struct TMission {
    QString Name;
    QString MissionType;
    bool Enabled = true;
    bool ListItem = false; // the record has a row in the displayed mission list
    bool Marked = false;   // its row shows the current-mission image
};

// The columns of the mission list, which are also the sort keys.
enum MissionColumn { MissionNameColumn = 0, MissionTypeColumn = 1, MissionEnableColumn = 2 };

// The order of the mission list for a sort column: negative when a comes before b. Column 2
// puts enabled missions first, then orders by type; columns 1 and 2 then by type; every
// column last by name. Texts compare by character codes with a..z taken as A..Z.
int compareMissions(const TMission &a, const TMission &b, int column);
// False for a name that holds a double quote, a backslash, a semicolon or a control
// character: such a mission is left out of the catalogue, because its name goes into
// console commands (the rotation link, the load command).
bool isSafeMissionName(const QString &name);
// "Y" or "N", the text of the Enable column.
QString enableText(const TMission &mission);

// The result of reading one description file.
struct MissionDescription {
    bool found = false; // a type line with a double quote was seen
    QString type;
};
// Finds the type of a mission in the lines of its description file: the first line that,
// trimmed, starts with "$MDESC::Type" (any letter case). The type runs from after the
// line's first double quote up to the last two characters of the trimmed line.
MissionDescription parseMissionDescription(const QStringList &lines);
// One line of a mission-list file: name, type and flag; false for a line to skip.
bool parseMissionListLine(const QString &line, TMission &mission);
// The line a mission-list file holds for a record (without the line end).
QString missionListLine(const TMission &mission);

// The mission catalogue of a profile, which is also its rotation order, and the mission list
// that shows it while the profile is displayed.
//
// While the profile is displayed, Rows mirrors the list view's rows in their display order;
// the window draws row i from Rows[i] and forwards its row positions to the methods below.
// The view's order and the catalogue's are separate: sorting changes only the rows, moving a
// row (drag and drop, shuffle) changes both.
class Missions {
public:
    // sortColumn: the mission list's sort column, which every profile of the run shares.
    Missions(Profile &profile, int &sortColumn);
    ~Missions();
    Missions(const Missions &) = delete;
    Missions &operator=(const Missions &) = delete;

    QList<TMission *> MissionCatalogue; // owned
    TMission *CurrentMission = nullptr;
    QString CurrentMissionName;
    platform::DateTime MissionEndTime = 0; // 0: none reported
    QString MissionsPath;
    QList<TMission *> Rows; // the displayed rows, in view order; empty while detached

    // The mission list and panels while the profile is displayed, else nullptr.
    void setView(MissionView *view) { m_view = view; }

    // Rebuilds the catalogue from the description files in MissionsPath; a path that is no
    // directory leaves it as it was. Only regular files are read; missions with names that
    // are not safe are left out (the operator is told once). The displayed list is refilled
    // and sorted.
    void ScanMissions();
    // Refills the displayed list in catalogue order.
    void ShowMissions();
    // The profile stops being displayed: its rows are let go.
    void DetachMissionItems();
    void ClearMissions();
    // The first record with exactly this name, or nullptr.
    TMission *FindMission(const QString &name) const;
    // The server named the running mission.
    void SetCurrentMission(const QString &name);
    // Shows the current mission's name and type in the status bar.
    void ShowMissionPanels();
    // Links the running mission to the next enabled one of the rotation (active mode, while
    // connected).
    void SendNextMission();

    // Writes the catalogue as a mission-list file; false (and no message) when the file
    // cannot be created.
    bool SaveMissionList(const QString &fileName);
    // Replaces the catalogue with a mission-list file and remembers the file. Lines with names
    // that are not safe are left out (the operator is told once); the other lines load.
    void LoadMissionList(const QString &fileName);

    // The list's column header clicked: the process-wide sort column changes and the rows
    // are sorted.
    void ColumnClick(int column);
    void SortMissionList();
    // Moves the record of row source to the place of row target in both the rows and the
    // catalogue. A target of -1 (no row) moves it to the end of both.
    void MoveMissionItem(int source, int target);
    // A drop of the selected row onto a row (-1: onto no row).
    void DragDrop(int selected, int target);
    // A double click on a row switches its mission on or off.
    void ToggleEnabled(int row);
    // The Randomize button; the overload with a seed repeats a shuffle.
    void Randomize();
    void Randomize(std::uint32_t seed);
    // Exec Mission on the selected row (-1: none) and Next Mission.
    void ExecMission(int selected);
    void NextMission();

    // The missions path field was left. Returns the text the field shows afterwards: one
    // trailing separator is removed from a changed path.
    QString MissionsPathExit(const QString &text, const QString &remembered);
    // A folder chosen with the browse button; true when it was taken (the field then shows
    // it).
    bool MissionsPathChosen(const QString &folder, const QString &fieldText);

    // The server reported the time left in seconds: MissionEndTime follows from it. A text
    // that is no number, or a number beyond any mission's length, counts as no time left.
    void SetTimeLeft(const QString &seconds);
    // The mission time left, shown while attached (called every second).
    void UpdatePlayClock();

private:
    void readDescriptionFile(const QString &fileName);
    // Tells the operator once which names of source were left out, and whether source was
    // cut at the read limit.
    void tellRefused(const QString &source, const QStringList &refused, bool truncated);
    void setMissionsPath(const QString &path);
    void setMark(int row, bool mark);
    int rowOf(const TMission *mission) const;

    Profile &m_profile;
    int &m_sortColumn;
    MissionView *m_view = nullptr;
};
