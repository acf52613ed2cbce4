#pragma once

// A speech engine that records what it is asked to do; the test decides when speech ends.

#include "eventlog/speechengine.h"

#include <QStringList>

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
    }
    void speak(const QString &text) override {
        spoken.append(text);
        playing = true;
    }
    // The current speech comes to its end.
    void finish() { playing = false; }

    QStringList names;
    QStringList calls;
    QStringList spoken;
    int selected = 0;
    int speed = -1;
    bool playing = false;
    bool refuseSelect = false;
};

} // namespace eventlog_testing
