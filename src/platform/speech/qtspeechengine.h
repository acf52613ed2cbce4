#pragma once

#include "eventlog/speechengine.h"

#include <QElapsedTimer>
#include <QList>
#include <QTimer>
#include <QVoice>
#include <memory>

class QTextToSpeech;

namespace platform {

// The announcer's speech back end on Qt's text-to-speech module. The first Qt speech engine
// that works and has voices is used; its voices are the engines the announcer lists.
class QtSpeechEngine : public SpeechEngine {
public:
    // The back end, or nothing when no Qt speech engine with a voice is installed.
    static std::unique_ptr<QtSpeechEngine> create();
    ~QtSpeechEngine() override;

    QStringList engineNames() const override;
    bool selectEngine(int index) override;
    void setSpeed(int speed) override;
    bool speaking() const override;
    void stop() override;
    void speak(const QString &text) override;

    // The Qt engine in use ("flite", "speechd", ...).
    QString backendName() const;

private:
    QtSpeechEngine(std::unique_ptr<QTextToSpeech> tts, QList<QVoice> voices);
    // Follows the utterance started last until it ends, then reports the end once.
    void followSpeech();
    void finishSpeech();

    std::unique_ptr<QTextToSpeech> m_tts;
    QList<QVoice> m_voices;
    bool m_errorSeen = false; // an error was reported since the flag was cleared
    // The utterance started last: not yet reported ended; seen speaking; time since say().
    bool m_pending = false;
    bool m_started = false;
    QElapsedTimer m_sinceSay;
    QTimer m_follow; // checks the state while an utterance is pending
};

} // namespace platform
