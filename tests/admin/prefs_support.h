#pragma once

// The preferences page's view, and the preferences of a profile that records what it sends.
#include "admin/preferences.h"
#include "missions/missions.h"
#include "session/reportline.h"
#include "support/fakeprofile.h"

#include <gtest/gtest.h>
#include <memory>

namespace prefs_test {

using namespace testing_support;

struct PageView : RecordingView {
    void showPreferences(const PreferencesPage &p) override {
        page = p;
        ++shown;
    }
    PreferencesPage page;
    int shown = 0;
};

// The preferences of a profile that records the commands it sends; it starts disconnected.
class ConnectedProfile : public ::testing::Test {
protected:
    ConnectedProfile() { profile.connected = false; }
    ~ConnectedProfile() override { platform::setClockForTesting({}); }

    Preferences &prefs() { return *preferences; }
    void connect() { profile.connected = true; }
    // Every line sent since the last call, without the line feeds.
    QStringList sent() { return profile.take(); }
    // One report line through the "Q" handler.
    void report(const QString &line) {
        ReportFields fields;
        SplitFields(line, QLatin1Char('"'), fields);
        prefs().PreferencesReport(fields);
    }

    FakeProfile profile;
    TempEnv &env = profile.env;
    FakeDialogs &dialogs = profile.dialogBoxes;
    int sortColumn = 2;
    Missions missions{profile, sortColumn};
    std::unique_ptr<Preferences> preferences = std::make_unique<Preferences>(profile, missions);
};

} // namespace prefs_test
