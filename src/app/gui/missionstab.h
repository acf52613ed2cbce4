#pragma once

#include "app/gui/tab.h"
#include "missions/missionview.h"

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class MissionList;
class Missions;

// The "Missions" page: the mission list of the displayed profile and its buttons. The list
// mirrors the profile's rows; every operator action goes to the profile's catalogue, which
// then redraws the rows through the view operations below.
class MissionsTab : public Tab, public MissionView {
    Q_OBJECT
public:
    explicit MissionsTab(TabContext &context, QWidget *parent = nullptr);

    // The displayed profile's missions and its settings section (none: no profile).
    void setMissions(Missions *missions, const QString &section);
    void applyColors() override;

    // MissionView
    void insertMissionRow(int row, const TMission &mission) override;
    void removeMissionRow(int row) override;
    void redrawMissionRow(int row, const TMission &mission) override;
    void reorderMissionRows(const QList<TMission *> &rows) override;
    void clearMissionList() override;
    // The mission panels of the status bar, given on as missionPanelChanged.
    void showMissionName(const QString &name) override;
    void showMissionType(const QString &type) override;
    void showTimeLeft(const QString &text) override;

    // The operator's actions.
    void Display_MissionListColumnClick(int column);
    void Display_MissionListDragDrop(int target);
    void Display_MissionListDblClick(QTreeWidgetItem *item);
    void Button_RandomClick();
    void Button_SaveMissionsClick();
    void Button_LoadMissionsClick();
    void Button_NextMissionClick();
    void Button_ExecMissionClick();

signals:
    // Status panel 2 (mission name), 3 (type) or 4 (time left) shows text.
    void missionPanelChanged(int panel, const QString &text);

private:
    void fillItem(QTreeWidgetItem &item, const TMission &mission) const;
    int selectedRow() const;
    void selectMission(const TMission *mission);
    // The header marks the sort column while the rows are in sorted order.
    void showSortColumn(bool sorted);

    MissionList *m_list;
    QPushButton *m_random;
    QPushButton *m_load;
    QPushButton *m_save;
    QPushButton *m_exec;
    QPushButton *m_next;
    Missions *m_missions = nullptr;
    QString m_section;
};
