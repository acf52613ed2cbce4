#pragma once

#include "eventlog/speechengine.h"

#include <QList>
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

    std::unique_ptr<QTextToSpeech> m_tts;
    QList<QVoice> m_voices;
    bool m_errorSeen = false; // an error was reported since the flag was cleared
};

} // namespace platform
