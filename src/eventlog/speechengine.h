#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// A text-to-speech back end as the announcer uses it. Its engines (voices) are numbered
// from 1 in the order of engineNames().
class SpeechEngine {
public:
    virtual ~SpeechEngine() = default;

    // The display names of the installed engines, engine 1 first.
    virtual QStringList engineNames() const = 0;
    // Later speech uses engine index (1..count); false when there is no such engine.
    virtual bool selectEngine(int index) = 0;
    // The speaking rate for later speech, in the Speed field's numbers (175 is normal).
    virtual void setSpeed(int speed) = 0;
    // True while the engine reports speech playing. Engines report their state some time
    // after speak(), so this is false for a while after speech has been started.
    virtual bool speaking() const = 0;
    // Ends the current speech at once; stopped speech reports no end through onFinished.
    virtual void stop() = 0;
    // Starts speaking the text and returns at once.
    virtual void speak(const QString &text) = 0;

    // Set by the owner: called with a description whenever a call of the back end fails.
    std::function<void(const QString &)> onError;
    // Set by the owner: called when the speech started last has come to its end (or failed).
    std::function<void()> onFinished;
};

// The Speed field's numbers as a rate from -1 (slowest) through 0 (normal, 175) to 1
// (fastest). Halving the speed reaches -1 and doubling it reaches 1; beyond that the rate
// stays at the end of its range. Never decreases as the speed grows.
double speechRate(int speed);
