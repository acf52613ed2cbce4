#pragma once

// Shared pieces of the tests: an isolated settings/data location, dialogs that tests answer,
// and a view that records what a profile shows.

#include "activity/activityview.h"
#include "admin/preferencesview.h"
#include "eventlog/eventlogview.h"
#include "game/rosterview.h"
#include "missions/missionview.h"
#include "platform/dialogs.h"
#include "platform/settingsstore.h"
#include "session/server.h"
#include "session/view.h"
#include "stats/statsview.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <utility>

namespace testing_support {

// Points XDG_CONFIG_HOME and XDG_DATA_HOME into a fresh temporary directory for its lifetime
// and opens the settings store there.
class TempEnv {
public:
    TempEnv() {
        qputenv("XDG_CONFIG_HOME", (dir.path() + QStringLiteral("/config")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", (dir.path() + QStringLiteral("/data")).toLocal8Bit());
        settings = std::make_unique<platform::SettingsStore>(
            dir.path() + QStringLiteral("/config/vexmoor/Vexmoor.ini"));
    }
    QString path() const { return dir.path(); }

    QTemporaryDir dir;
    std::unique_ptr<platform::SettingsStore> settings;
};

// Records every box; answers questions and input queries from queues (default: decline).
class FakeDialogs : public platform::Dialogs {
public:
    void message(Icon icon, const QString &text) override { messages.append({icon, text}); }
    bool confirm(const QString &text) override {
        questions.append(text);
        if (confirmAnswers.empty()) return false;
        const bool a = confirmAnswers.front();
        confirmAnswers.pop_front();
        return a;
    }
    bool inputQuery(const QString &, const QString &prompt, QString &text) override {
        prompts.append(prompt);
        if (inputAnswers.empty()) return false;
        auto [ok, answer] = inputAnswers.front();
        inputAnswers.pop_front();
        if (ok) text = answer;
        return ok;
    }
    void beep() override { ++beeps; }
    // File, folder and colour choosers: the next queued answer, declined when none is left.
    bool openFile(const QString &filter, const QString &, QString &fileName) override {
        return choose(filter, fileAnswers, fileName);
    }
    bool saveFile(const QString &filter, const QString &, QString &fileName) override {
        return choose(filter, fileAnswers, fileName);
    }
    bool chooseFolder(const QString &title, QString &folder) override {
        return choose(title, fileAnswers, folder);
    }
    bool chooseColor(quint32 &color) override {
        choosers.append(QStringLiteral("color"));
        if (colorAnswers.empty()) return false;
        auto [ok, answer] = colorAnswers.front();
        colorAnswers.pop_front();
        if (ok) color = answer;
        return ok;
    }

    QList<std::pair<Icon, QString>> messages;
    QStringList questions;
    QStringList prompts;
    std::deque<bool> confirmAnswers;
    std::deque<std::pair<bool, QString>> inputAnswers;
    int beeps = 0;
    QStringList choosers; // the filter or title of every chooser shown
    std::deque<std::pair<bool, QString>> fileAnswers;
    std::deque<std::pair<bool, quint32>> colorAnswers;

private:
    bool choose(const QString &what, std::deque<std::pair<bool, QString>> &answers,
                QString &value) {
        choosers.append(what);
        if (answers.empty()) return false;
        auto [ok, answer] = answers.front();
        answers.pop_front();
        if (ok) value = answer;
        return ok;
    }
};

// Records the console lines, status panels and chat lines a profile shows. It is every
// feature's view as well (tests override what they watch); the mission panels are status
// panels 2, 3 and 4, as in the window.
class RecordingView : public View,
                      public RosterView,
                      public EventLogView,
                      public MissionView,
                      public PreferencesView,
                      public ActivityView,
                      public StatsView {
public:
    RosterView *rosterView() override { return this; }
    EventLogView *eventLogView() override { return this; }
    MissionView *missionView() override { return this; }
    PreferencesView *preferencesView() override { return this; }
    ActivityView *activityView() override { return this; }
    StatsView *statsView() override { return this; }
    void showMissionName(const QString &name) override { setStatusPanel(2, name); }
    void showMissionType(const QString &type) override { setStatusPanel(3, type); }
    void showTimeLeft(const QString &text) override { setStatusPanel(4, text); }

    void setStatusPanel(int panel, const QString &text) override {
        if (panel >= 0 && panel < 6) panels[panel] = text;
    }
    void showConnected(bool c) override { connected = c; }
    void SwitchGlobalButtons(bool on) override { globalButtons = on; }
    void Console_add(const QString &text, ConsoleColor color) override {
        console.append(text);
        colors.append(color);
    }
    void clearConsole() override {
        console.clear();
        colors.clear();
        ++consoleClears;
    }
    bool muteCodes() const override { return mute; }
    void Chat_add(const QString &line) override { chat.append(line); }
    void showServerMode(bool active) override { activeMode = active; }

    QString panels[6];
    bool connected = false;
    bool globalButtons = false;
    bool mute = false;
    bool activeMode = false;
    int consoleClears = 0;
    QStringList console;
    QList<ConsoleColor> colors;
    QStringList chat;
};

// A profile with its context, in a temporary environment.
struct ProfileFixture {
    explicit ProfileFixture(const QString &host = QStringLiteral("127.0.0.1"), int port = 28001,
                            const QString &password = QStringLiteral("secret"))
        : context{*env.settings, dialogs},
          profile(std::make_unique<TVexmoorServer>(password, host, port, context)) {}

    TempEnv env;
    FakeDialogs dialogs;
    ServerContext context;
    std::unique_ptr<TVexmoorServer> profile;
};

// Runs the event loop until pred holds or timeoutMs passes; returns pred().
template <typename Pred> bool waitFor(Pred pred, int timeoutMs = 5000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!pred() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    return pred();
}

} // namespace testing_support
