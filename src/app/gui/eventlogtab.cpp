#include "app/gui/eventlogtab.h"

#include "app/core/settings.h"
#include "eventlog/announcer.h"
#include "eventlog/eventlog.h"
#include "session/context.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
struct SpeakBox {
    const char *name;
    const char *caption;
};
// In category order.
constexpr SpeakBox SpeakBoxes[] = {
    {"Speak_MissionScores", "Mission / Score Info"}, {"Speak_Vote", "Vote Actions"},
    {"Speak_Connect", "Connect / Disconnect"},       {"Speak_TeamAssign", "Team Assign / Change"},
    {"Speak_FlagObjectives", "Flags / Objectives"},  {"Speak_Kill", "Kill / Suicide"},
    {"Speak_PlayerMsg", "Player Messages"}};
} // namespace

EventLogTab::EventLogTab(TabContext &context, QWidget *parent) : Tab(context, parent) {
    auto *layout = new QHBoxLayout(this);
    auto *left = new QVBoxLayout;
    m_playByPlay = new QPlainTextEdit(this);
    m_playByPlay->setObjectName(QStringLiteral("PlayByPlay"));
    m_playByPlay->setReadOnly(true);
    m_playByPlay->setMaximumBlockCount(PlayByPlayLines);
    m_playByPlay->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_logFile = new QCheckBox(QStringLiteral("Log to File"), this);
    m_logFile->setObjectName(QStringLiteral("Display_LogFile"));
    left->addWidget(m_playByPlay, 1);
    left->addWidget(m_logFile);
    layout->addLayout(left, 1);

    auto *speech = new QGroupBox(QStringLiteral("Speech Settings"), this);
    speech->setObjectName(QStringLiteral("SpeechSettings"));
    auto *panel = new QVBoxLayout(speech);
    auto *form = new QFormLayout;
    m_voice = new QComboBox(speech);
    m_voice->setObjectName(QStringLiteral("TTSMode"));
    m_speed = new QSpinBox(speech);
    m_speed->setObjectName(QStringLiteral("TTSSpeed"));
    m_speed->setRange(-99999, 99999); // no limits of its own
    m_speed->setSingleStep(5);
    form->addRow(QStringLiteral("Voice"), m_voice);
    form->addRow(QStringLiteral("Speed"), m_speed);
    panel->addLayout(form);
    Announcer *announcer = m_context.Server.Speech;
    for (size_t i = 0; i < m_speak.size(); ++i) {
        m_speak[i] = new QCheckBox(QString::fromLatin1(SpeakBoxes[i].caption), speech);
        m_speak[i]->setObjectName(QString::fromLatin1(SpeakBoxes[i].name));
        m_speak[i]->setChecked(!announcer || announcer->categoryOn(int(i)));
        panel->addWidget(m_speak[i]);
        connect(m_speak[i], &QCheckBox::clicked, this, [this, i](bool on) {
            if (Announcer *a = m_context.Server.Speech) a->SetCategory(int(i), on);
        });
    }
    panel->addStretch();
    layout->addWidget(speech);

    if (announcer) {
        m_voice->addItems(announcer->voiceList());
        m_voice->setCurrentIndex(announcer->voiceIndex());
        m_speed->setValue(announcer->speed());
    } else {
        m_voice->addItem(QStringLiteral("None"));
        m_speed->setValue(Announcer::DefaultSpeed);
    }
    connect(m_logFile, &QCheckBox::clicked, this, &EventLogTab::Display_LogFileClick);
    connect(m_voice, &QComboBox::activated, this, &EventLogTab::TTSModeChange);
    connect(m_speed, &QSpinBox::valueChanged, this, &EventLogTab::TTSSpeedChange);
}

void EventLogTab::fillPlayByPlay(const QStringList &entries) {
    m_pending.clear();
    m_playByPlay->setPlainText(entries.join(QLatin1Char('\n')));
    m_playByPlay->moveCursor(QTextCursor::End);
}

void EventLogTab::PlayByPlay_add(const QString &entry) {
    // Entries of one burst are appended together when the event loop next runs: one
    // layout instead of one per entry. Only the newest PlayByPlayLines can stay.
    m_pending.append(entry);
    if (m_pending.size() > PlayByPlayLines) m_pending.removeFirst();
    if (m_flushQueued) return;
    m_flushQueued = true;
    QMetaObject::invokeMethod(this, &EventLogTab::flushPlayByPlay, Qt::QueuedConnection);
}

void EventLogTab::flushPlayByPlay() {
    m_flushQueued = false;
    if (m_pending.isEmpty()) return;
    // The view drops its oldest lines beyond PlayByPlayLines.
    m_playByPlay->appendPlainText(m_pending.join(QLatin1Char('\n')));
    m_pending.clear();
}

void EventLogTab::setLogFileCheck(bool on) {
    m_logFile->setChecked(on);
}

void EventLogTab::Display_LogFileClick(bool on) {
    if (m_log) m_log->SetLogToFile(on);
}

void EventLogTab::TTSModeChange(int index) {
    Announcer *a = m_context.Server.Speech;
    if (!a) return;
    a->TTSModeChange(index);
}

void EventLogTab::TTSSpeedChange(int speed) {
    if (Announcer *a = m_context.Server.Speech) a->TTSSpeedChange(speed);
}

void EventLogTab::applyColors() {
    applyTextColors(m_context.Prefs, {m_playByPlay});
}
