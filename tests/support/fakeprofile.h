#pragma once

// A profile without a console: it records the commands its features send, in a temporary
// settings and data location, with dialogs that tests answer.

#include "session/profile.h"
#include "support/testsupport.h"

#include <QDir>
#include <QStringList>
#include <utility>

namespace testing_support {

class FakeProfile : public Profile {
public:
    FakeProfile() { QDir().mkpath(directory()); }

    void SendCommand(const QString &text) override {
        if (!connected) return;
        QStringList lines = text.split(QLatin1Char('\n'));
        lines.removeLast(); // after the last line feed
        sent.append(lines);
    }
    bool isConnected() const override { return connected; }
    bool activeMode() const override { return active; }
    QString section() const override { return QStringLiteral("127.0.0.1:28001"); }
    QString directory() const override { return env.path() + QStringLiteral("/profile"); }
    platform::SettingsStore &settings() override { return *env.settings; }
    platform::Dialogs &dialogs() override { return *boxes; }

    // The lines sent since the last call, without their line feeds.
    QStringList take() { return std::exchange(sent, {}); }

    TempEnv env;
    FakeDialogs dialogBoxes;
    platform::Dialogs *boxes = &dialogBoxes; // the boxes the features show
    QStringList sent;
    bool connected = true;
    bool active = true;
};

} // namespace testing_support
