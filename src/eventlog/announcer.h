#pragma once

#include "eventlog/speechengine.h"

#include <QString>
#include <QStringList>
#include <array>
#include <memory>

namespace platform {
class Dialogs;
class SettingsStore;
} // namespace platform

// Speaks event-log entries of the displayed profile through a speech engine. The window
// owns one; without a speech runtime it has no engine and every speech operation is
// skipped. Announcements are not queued: a new one interrupts the current one when its
// category has the higher priority (the lower number) and is dropped otherwise.
class Announcer {
public:
    static constexpr int CategoryCount = 7;
    static constexpr int DefaultSpeed = 175;

    Announcer(platform::SettingsStore &settings, platform::Dialogs &dialogs);
    ~Announcer();
    Announcer(const Announcer &) = delete;
    Announcer &operator=(const Announcer &) = delete;

    // Start-up, before the settings are read: takes the speech back end (none when no
    // runtime is installed), sets the speed from the Speed field, lists the engines after
    // "None" and selects "None".
    void InitTTS(std::unique_ptr<SpeechEngine> engine);
    // Reads the seven category switches and then, with an engine, restores SAPIEngine.
    void ReadSpeechPrefs();
    // Selects the stored engine when one of that name (any case) is installed, says so,
    // and selects it in the Voice list.
    void RestoreEngine();

    bool hasEngine() const { return m_engine != nullptr; }
    // The Voice list: "None", then the engines' names, so that item i names engine i.
    const QStringList &voiceList() const { return m_voices; }
    // The selected Voice list item; 0 is "None".
    int voiceIndex() const { return m_voiceIndex; }
    int speed() const { return m_speed; }

    // The operator picks Voice list item index.
    void TTSModeChange(int index);
    // The Speed field changed.
    void TTSSpeedChange(int speed);

    // The Speak_ check box of a category; categories outside 0..6 are never on.
    bool categoryOn(int category) const;
    // A Speak_ check box was clicked: switches the category and stores it.
    void SetCategory(int category, bool on);
    // The settings key of a category ("Speech_MissionScores" .. "Speech_PlayerMsg").
    static QString categoryKey(int category);

    // Speaks text unless speech of equal or higher priority is in progress.
    void Announce(const QString &text, int category);

    // The category of the announcement spoken last.
    int SpeakingCategory = 0;

private:
    // Selects engine index and says its name; false when the engine refused.
    bool speakSelected(int index);
    // Starts speech that counts as speaking until the engine reports its end.
    void startSpeech(const QString &text);

    platform::SettingsStore &m_settings;
    platform::Dialogs &m_dialogs;
    std::unique_ptr<SpeechEngine> m_engine;
    QStringList m_voices;
    int m_voiceIndex = 0;
    int m_speed = DefaultSpeed;
    bool m_speaking = false;      // from the start of an utterance until the engine reports its end
    bool m_errorReported = false; // a failure was shown; later ones stay silent
    bool m_utteranceFailed = false; // the engine failed since the current speech started
    std::array<bool, CategoryCount> m_categories{true, true, true, true, true, true, true};
};
