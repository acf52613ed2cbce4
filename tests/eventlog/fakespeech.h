#pragma once

// A speech engine that records what it is asked to do; the test decides when speech ends.
// Like a real engine it shows new speech as playing only later, from the event loop.

#include "eventlog/speechengine.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

namespace eventlog_testing {

class FakeSpeechEngine : public SpeechEngine {
public:
    explicit FakeSpeechEngine(QStringList names = {QStringLiteral("Mary"), QStringLiteral("Mike")})
        : names(std::move(names)) {}

    QStringList engineNames() const override { return names; }
    bool selectEngine(int index) override {
        calls.append(QStringLiteral("select ") + QString::number(index));
        if (index < 1 || index > names.size() || refuseSelect) return false;
        selected = index;
        return true;
    }
    void setSpeed(int s) override { speed = s; }
    bool speaking() const override { return playing; }
    void stop() override {
        calls.append(QStringLiteral("stop"));
        playing = false;
        ++utterance;
    }
    void speak(const QString &text) override {
        spoken.append(text);
        QTimer::singleShot(0, &events, [this, started = ++utterance] {
            if (started == utterance) playing = true;
        });
    }
    // The current speech comes to its end, and the engine says so.
    void finish() {
        playing = false;
        ++utterance;
        if (onFinished) onFinished();
    }

    QStringList names;
    QStringList calls;
    QStringList spoken;
    int selected = 0;
    int speed = -1;
    bool playing = false;
    bool refuseSelect = false;
    int utterance = 0; // counts speech started, stopped and finished
    QObject events;    // delivers the delayed state changes while the engine lives
};

} // namespace eventlog_testing
