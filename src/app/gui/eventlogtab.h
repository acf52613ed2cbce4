#pragma once

#include "app/gui/tab.h"
#include "eventlog/eventlogview.h"

#include <QStringList>
#include <array>

class EventLog;
class QCheckBox;
class QComboBox;
class QPlainTextEdit;
class QSpinBox;

// The "Event Log" page: the play-by-play of the displayed profile (newest 100 entries),
// "Log to File", and the speech settings (voice, speed, the seven categories).
class EventLogTab : public Tab, public EventLogView {
    Q_OBJECT
public:
    static constexpr int PlayByPlayLines = 100;

    explicit EventLogTab(TabContext &context, QWidget *parent = nullptr);

    // The displayed profile's event log (none: no profile).
    void setEventLog(EventLog *log) { m_log = log; }

    void fillPlayByPlay(const QStringList &entries) override;
    void PlayByPlay_add(const QString &entry) override;
    void setLogFileCheck(bool on) override;
    void applyColors() override;

    void Display_LogFileClick(bool on);
    void TTSModeChange(int index);
    void TTSSpeedChange(int speed);
    // Shows the entries given since the last time (the event loop does this by itself).
    void flushPlayByPlay();

private:
    QPlainTextEdit *m_playByPlay;
    QCheckBox *m_logFile;
    QComboBox *m_voice;
    QSpinBox *m_speed;
    std::array<QCheckBox *, 7> m_speak{};
    QStringList m_pending;
    bool m_flushQueued = false;
    EventLog *m_log = nullptr;
};
