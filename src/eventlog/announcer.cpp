#include "eventlog/announcer.h"

#include "platform/dialogs.h"
#include "platform/settingsstore.h"

namespace {
const QString GlobalSection = QStringLiteral("Vexmoor");
const QString EngineKey = QStringLiteral("SAPIEngine");
const QString NoVoice = QStringLiteral("None");
const QString Initialized = QStringLiteral(" initialized.");

constexpr const char *CategoryKeys[Announcer::CategoryCount] = {
    "Speech_MissionScores",  "Speech_Vote", "Speech_Connect",  "Speech_TeamAssign",
    "Speech_FlagObjectives", "Speech_Kill", "Speech_PlayerMsg"};

bool validCategory(int category) {
    return category >= 0 && category < Announcer::CategoryCount;
}
} // namespace

Announcer::Announcer(platform::SettingsStore &settings, platform::Dialogs &dialogs)
    : m_settings(settings), m_dialogs(dialogs), m_voices{NoVoice} {}

Announcer::~Announcer() = default;

QString Announcer::categoryKey(int category) {
    return validCategory(category) ? QString::fromLatin1(CategoryKeys[category]) : QString();
}

void Announcer::InitTTS(std::unique_ptr<SpeechEngine> engine) {
    m_engine = std::move(engine);
    m_voices = QStringList{NoVoice};
    m_voiceIndex = 0;
    m_speaking = false;
    if (!m_engine) return;
    // A failing engine fails every announcement: it is reported once, and again only after
    // speech has worked or the operator has changed the voice or the speed. The mark is set
    // before the box opens, since announcements go on while it is shown.
    m_engine->onError = [this](const QString &text) {
        m_utteranceFailed = true;
        if (m_errorReported) return;
        m_errorReported = true;
        m_dialogs.message(platform::Dialogs::Icon::Error, text);
    };
    m_engine->onFinished = [this] {
        m_speaking = false;
        if (!m_utteranceFailed) m_errorReported = false;
    };
    m_engine->setSpeed(m_speed);
    m_voices.append(m_engine->engineNames());
}

void Announcer::ReadSpeechPrefs() {
    for (int c = 0; c < CategoryCount; ++c)
        m_categories[static_cast<size_t>(c)] =
            m_settings.readBool(GlobalSection, categoryKey(c), true);
    if (m_engine) RestoreEngine();
}

void Announcer::RestoreEngine() {
    if (!m_engine) return;
    const QString stored = m_settings.read(GlobalSection, EngineKey);
    if (stored.isEmpty()) return;
    // Item 0 is no engine; only installed engines can be restored.
    for (int i = 1; i < m_voices.size(); ++i) {
        if (m_voices[i].compare(stored, Qt::CaseInsensitive) == 0) {
            if (speakSelected(i)) m_voiceIndex = i;
            return;
        }
    }
}

bool Announcer::speakSelected(int index) {
    if (!m_engine->selectEngine(index)) return false;
    startSpeech(m_voices[index] + Initialized);
    return true;
}

void Announcer::startSpeech(const QString &text) {
    m_speaking = true;
    m_utteranceFailed = false;
    m_engine->speak(text);
}

void Announcer::TTSModeChange(int index) {
    if (index < 0 || index >= m_voices.size()) return;
    m_voiceIndex = index;
    m_errorReported = false;
    if (!m_engine || index == 0) return; // "None" keeps the stored engine for the next run
    if (speakSelected(index)) m_settings.write(GlobalSection, EngineKey, m_voices[index]);
}

void Announcer::TTSSpeedChange(int speed) {
    m_speed = speed;
    m_errorReported = false;
    if (m_engine) m_engine->setSpeed(speed);
}

bool Announcer::categoryOn(int category) const {
    return validCategory(category) && m_categories[static_cast<size_t>(category)];
}

void Announcer::SetCategory(int category, bool on) {
    if (!validCategory(category)) return;
    m_categories[static_cast<size_t>(category)] = on;
    m_settings.writeBool(GlobalSection, categoryKey(category), on);
}

void Announcer::Announce(const QString &text, int category) {
    if (!m_engine || m_voiceIndex == 0) return;
    // The engine tells of new speech only later: several announcements in one turn of the
    // event loop must still see each other.
    if (m_speaking && category >= SpeakingCategory) return;
    SpeakingCategory = category;
    m_engine->stop();
    startSpeech(text);
}
