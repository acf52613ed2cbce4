#pragma once

#include "app/gui/tab.h"
#include "app/gui/tzprogress.h"
#include "stats/statsview.h"

class QCheckBox;
class Statistics;
class QComboBox;
class QLabel;
class QSpinBox;
class QToolButton;
class TTzGrid;

// The "Stats" page: the recording switch, Normalize, Clear, the Track boxes, the commit
// interval, the table chooser and the grid that shows the chosen table of the displayed
// profile.
class StatsTab : public Tab, public StatsView {
    Q_OBJECT
public:
    explicit StatsTab(TabContext &context, QWidget *parent = nullptr);

    // The displayed profile's statistics (none: no profile).
    void setStatistics(Statistics *stats);
    void applyColors() override;

    // StatsView
    void showStatsState(bool enabled, bool trackKills, bool trackMissions) override;
    void TableListChange() override;
    void statsTablesChanged() override;

    // Operator actions (the controls' handlers).
    void Button_EnableStatsClick();
    void Button_NormalizeClick();
    void Button_ClearTableClick();
    void TrackKillsClick();
    void TrackMissionsClick();
    void CommitIntervalEnter();
    void CommitIntervalExit();

    TTzGrid *grid() const { return m_tzGrid1; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // The interval box shows the interval in force unless the operator is changing it.
    void showCommitInterval();

    TzProgressInstaller m_progress;
    QToolButton *m_buttonEnableStats;
    QToolButton *m_buttonNormalize;
    QToolButton *m_buttonClearTable;
    QCheckBox *m_trackKills;
    QCheckBox *m_trackMissions;
    QSpinBox *m_commitInterval;
    QComboBox *m_tableList;
    QLabel *m_imageBulbOn;
    QLabel *m_imageBulbOff;
    TTzGrid *m_tzGrid1;
    Statistics *m_stats = nullptr;
};
