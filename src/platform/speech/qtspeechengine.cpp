#include "platform/speech/qtspeechengine.h"

#include <QTextToSpeech>

namespace platform {

namespace {

// Polling interval while speech is pending, and how long an utterance may take to be
// reported speaking before it counts as ended (an engine that drops it reports nothing).
constexpr int FollowIntervalMs = 100;
constexpr qint64 StartTimeoutMs = 2000;

// Every voice of every language the engine offers, each name once, in the engine's order.
QList<QVoice> allVoices(QTextToSpeech &tts) {
    QList<QVoice> voices;
    QStringList names;
    const QLocale original = tts.locale();
    auto collect = [&] {
        for (const QVoice &voice : tts.availableVoices()) {
            if (names.contains(voice.name())) continue;
            names.append(voice.name());
            voices.append(voice);
        }
    };
    collect();
    const QList<QLocale> locales = tts.availableLocales();
    for (const QLocale &locale : locales) {
        if (locale == original) continue;
        tts.setLocale(locale);
        collect();
    }
    if (tts.locale() != original) tts.setLocale(original);
    return voices;
}

} // namespace

std::unique_ptr<QtSpeechEngine> QtSpeechEngine::create() {
    for (const QString &engine : QTextToSpeech::availableEngines()) {
        auto tts = std::make_unique<QTextToSpeech>(engine);
        if (tts->state() == QTextToSpeech::Error) continue;
        QList<QVoice> voices = allVoices(*tts);
        if (voices.isEmpty()) continue;
        return std::unique_ptr<QtSpeechEngine>(new QtSpeechEngine(std::move(tts), voices));
    }
    return nullptr;
}

QtSpeechEngine::QtSpeechEngine(std::unique_ptr<QTextToSpeech> tts, QList<QVoice> voices)
    : m_tts(std::move(tts)), m_voices(std::move(voices)) {
    QObject::connect(m_tts.get(), &QTextToSpeech::errorOccurred, m_tts.get(),
                     [this](QTextToSpeech::ErrorReason, const QString &text) {
                         m_errorSeen = true;
                         if (onError) onError(text);
                     });
    // State changes arrive some time after the calls that cause them, and a stop followed
    // by new speech may show no change at all: the state is followed, not the signals only.
    QObject::connect(m_tts.get(), &QTextToSpeech::stateChanged, m_tts.get(),
                     [this] { followSpeech(); });
    m_follow.setInterval(FollowIntervalMs);
    QObject::connect(&m_follow, &QTimer::timeout, m_tts.get(), [this] { followSpeech(); });
}

void QtSpeechEngine::followSpeech() {
    if (!m_pending) return;
    switch (m_tts->state()) {
    case QTextToSpeech::Speaking:
    case QTextToSpeech::Paused:
        m_started = true;
        break;
    case QTextToSpeech::Error:
        finishSpeech();
        break;
    case QTextToSpeech::Ready:
        if (m_started || m_sinceSay.elapsed() >= StartTimeoutMs) finishSpeech();
        break;
    }
}

void QtSpeechEngine::finishSpeech() {
    m_pending = false;
    m_started = false;
    m_follow.stop();
    if (onFinished) onFinished();
}

QtSpeechEngine::~QtSpeechEngine() = default;

QString QtSpeechEngine::backendName() const {
    return m_tts->engine();
}

QStringList QtSpeechEngine::engineNames() const {
    QStringList names;
    for (const QVoice &voice : m_voices)
        names.append(voice.name());
    return names;
}

bool QtSpeechEngine::selectEngine(int index) {
    if (index < 1 || index > m_voices.size()) return false;
    const QVoice &voice = m_voices[index - 1];
    m_errorSeen = false;
    if (m_tts->locale() != voice.locale()) m_tts->setLocale(voice.locale());
    m_tts->setVoice(voice);
    return !m_errorSeen;
}

void QtSpeechEngine::setSpeed(int speed) {
    m_tts->setRate(speechRate(speed));
}

bool QtSpeechEngine::speaking() const {
    return m_tts->state() == QTextToSpeech::Speaking;
}

void QtSpeechEngine::stop() {
    // Stopped speech reports no end; its late state change must not end newer speech.
    m_pending = false;
    m_started = false;
    m_follow.stop();
    m_tts->stop(QTextToSpeech::BoundaryHint::Immediate);
}

void QtSpeechEngine::speak(const QString &text) {
    m_pending = true;
    m_started = false;
    m_sinceSay.start();
    m_follow.start();
    m_tts->say(text);
}

} // namespace platform
