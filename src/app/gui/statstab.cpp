#include "app/gui/statstab.h"

#include "app/core/profilelist.h"
#include "app/core/settings.h"
#include "app/gui/icons.h"
#include "app/gui/tzgrid.h"
#include "stats/statistics.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {
QToolButton *flatButton(QWidget *parent, const char *name, const QString &text,
                        const QString &hint) {
    auto *b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(text);
    b->setToolTip(hint);
    b->setAutoRaise(true);
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setEnabled(false);
    return b;
}

QLabel *glyphHolder(QWidget *parent, const char *name, bool lit) {
    auto *l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setPixmap((lit ? Icons::bulbOn() : Icons::bulbOff()).pixmap(20));
    l->hide();
    return l;
}
} // namespace

StatsTab::StatsTab(TabContext &context, QWidget *parent)
    : Tab(context, parent),
      m_buttonEnableStats(flatButton(this, "Button_EnableStats", QStringLiteral("Disabled"),
                                     QStringLiteral("Enable Stats Tracking"))),
      m_buttonNormalize(flatButton(this, "Button_Normalize", QStringLiteral("Normalize"),
                                   QStringLiteral("Normalize Database"))),
      m_buttonClearTable(flatButton(this, "Button_ClearTable", QStringLiteral("Clear"),
                                    QStringLiteral("Clear Database"))),
      m_trackKills(new QCheckBox(QStringLiteral("Kills"), this)),
      m_trackMissions(new QCheckBox(QStringLiteral("Missions"), this)),
      m_commitInterval(new QSpinBox(this)), m_tableList(new QComboBox(this)),
      m_imageBulbOn(glyphHolder(this, "Image_BulbOn", true)),
      m_imageBulbOff(glyphHolder(this, "Image_BulbOff", false)), m_tzGrid1(new TTzGrid(this)) {
    m_buttonEnableStats->setIcon(Icons::bulbOff());
    m_trackKills->setObjectName(QStringLiteral("TrackKills"));
    m_trackMissions->setObjectName(QStringLiteral("TrackMissions"));
    m_trackKills->setEnabled(false);
    m_trackMissions->setEnabled(false);
    m_commitInterval->setObjectName(QStringLiteral("CommitInterval"));
    // Minutes; 0 stops the interval commits. The timer holds no more than the maximum.
    m_commitInterval->setRange(0, ProfileList::MaxCommitInterval);
    m_commitInterval->setToolTip(QStringLiteral("Commit Interval (in minutes)"));
    m_commitInterval->setValue(30);
    m_commitInterval->installEventFilter(this);
    m_tableList->setObjectName(QStringLiteral("TableList"));
    m_tableList->addItems(
        {QStringLiteral("Players"), QStringLiteral("Kills"), QStringLiteral("Missions")});
    m_tableList->setCurrentIndex(0);
    m_tableList->setEnabled(false);
    m_tzGrid1->setObjectName(QStringLiteral("TzGrid1"));
    m_tzGrid1->setOptions(dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines |
                          dgRowSelect);
    m_tzGrid1->setReadOnly(true);

    auto *trackLabel = new QLabel(QStringLiteral("Track:"), this);
    auto *intervalLabel = new QLabel(QStringLiteral("Interval"), this);
    intervalLabel->setToolTip(QStringLiteral("Commit Interval (in minutes)"));
    intervalLabel->setBuddy(m_commitInterval);
    auto *top = new QHBoxLayout;
    top->addWidget(m_buttonEnableStats);
    top->addWidget(m_buttonNormalize);
    top->addWidget(m_buttonClearTable);
    top->addSpacing(12);
    top->addWidget(trackLabel);
    top->addWidget(m_trackKills);
    top->addWidget(m_trackMissions);
    top->addSpacing(12);
    top->addWidget(intervalLabel);
    top->addWidget(m_commitInterval);
    top->addStretch();
    top->addWidget(m_tableList);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_tzGrid1, 1);

    connect(m_buttonEnableStats, &QToolButton::clicked, this, &StatsTab::Button_EnableStatsClick);
    connect(m_buttonNormalize, &QToolButton::clicked, this, &StatsTab::Button_NormalizeClick);
    connect(m_buttonClearTable, &QToolButton::clicked, this, &StatsTab::Button_ClearTableClick);
    connect(m_trackKills, &QCheckBox::clicked, this, &StatsTab::TrackKillsClick);
    connect(m_trackMissions, &QCheckBox::clicked, this, &StatsTab::TrackMissionsClick);
    connect(m_tableList, &QComboBox::currentIndexChanged, this, &StatsTab::TableListChange);
}

void StatsTab::setStatistics(Statistics *stats) {
    m_stats = stats;
    m_tzGrid1->setDataSet(nullptr);
    if (!stats) showStatsState(false, m_trackKills->isChecked(), m_trackMissions->isChecked());
    showCommitInterval();
}

void StatsTab::showStatsState(bool enabled, bool trackKills, bool trackMissions) {
    m_buttonEnableStats->setIcon(enabled ? Icons::bulbOn() : Icons::bulbOff());
    m_buttonEnableStats->setText(enabled ? QStringLiteral("Enabled") : QStringLiteral("Disabled"));
    m_trackKills->setEnabled(enabled);
    m_trackMissions->setEnabled(enabled);
    m_trackKills->setChecked(trackKills);
    m_trackMissions->setChecked(trackMissions);
}

void StatsTab::applyColors() {
    applyTextColors(m_context.Prefs, {m_tzGrid1});
    m_tzGrid1->viewport()->update();
}

void StatsTab::TableListChange() {
    if (!m_stats) return;
    if (StatsTable *table = m_stats->table(m_tableList->currentIndex()))
        m_tzGrid1->setDataSet(table);
}

void StatsTab::statsTablesChanged() {
    m_tzGrid1->syncNow();
}

void StatsTab::Button_EnableStatsClick() {
    if (m_stats) m_stats->ToggleStats();
}

void StatsTab::Button_NormalizeClick() {
    if (m_stats) m_stats->Normalize();
}

void StatsTab::Button_ClearTableClick() {
    if (m_stats) m_stats->ConfirmAndClear();
}

void StatsTab::TrackKillsClick() {
    if (m_stats) m_stats->SetTrackKills(m_trackKills->isChecked());
}

void StatsTab::TrackMissionsClick() {
    if (m_stats) m_stats->SetTrackMissions(m_trackMissions->isChecked());
}

void StatsTab::CommitIntervalEnter() {
    m_commitInterval->setProperty("remembered", m_commitInterval->value());
}

void StatsTab::CommitIntervalExit() {
    const int minutes = m_commitInterval->value();
    if (!::CommitIntervalExit(m_context.Settings, minutes,
                              m_commitInterval->property("remembered").toInt()))
        return;
    m_context.Prefs.CommitInterval = minutes;
    m_context.Profiles.setCommitInterval(minutes);
}

void StatsTab::showCommitInterval() {
    if (!m_commitInterval->hasFocus()) m_commitInterval->setValue(m_context.Prefs.CommitInterval);
}

void StatsTab::showEvent(QShowEvent *event) {
    showCommitInterval();
    Tab::showEvent(event);
}

bool StatsTab::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_commitInterval) {
        if (event->type() == QEvent::FocusIn) CommitIntervalEnter();
        if (event->type() == QEvent::FocusOut) CommitIntervalExit();
    }
    return Tab::eventFilter(watched, event);
}
