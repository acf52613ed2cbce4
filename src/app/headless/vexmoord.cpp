// vexmoord: runs every stored profile without a window. Each profile connects at start,
// handles its reports as a profile that is not displayed, and reconnects by itself; the
// tables are closed on SIGINT or SIGTERM.

#include "app/core/consoledialogs.h"
#include "app/core/profilelist.h"
#include "app/core/settings.h"
#include "platform/datetime.h"
#include "platform/paths.h"
#include "platform/settingsstore.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &c, 1);
}

void say(const QString &text) {
    std::printf("[%s] %s\n", qPrintable(platform::formatTime(platform::now())), qPrintable(text));
    std::fflush(stdout);
}
} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vexmoord"));

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return 1;
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    platform::SettingsStore settings(platform::settingsFilePath());
    ConsoleDialogs dialogs;
    ServerContext context{settings, dialogs};
    ProfileList profiles(context);

    const GlobalPrefs prefs = ReadPrefs(settings);
    profiles.setCommitInterval(prefs.CommitTimerMinutes);

    QObject::connect(&profiles, &ProfileList::stateChanged, &app,
                     [](TVexmoorServer *p, const QString &state) {
                         say(p->section() + QStringLiteral(": ") + state);
                     });
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
        char c = 0;
        [[maybe_unused]] const auto n = ::read(signalPipe[0], &c, 1);
        say(QStringLiteral("closing the tables of every profile"));
        profiles.closeAll();
        QCoreApplication::exit(0);
    });

    profiles.ReadServers();
    if (profiles.count() == 0)
        say(QStringLiteral("no profiles in ") + settings.fileName() +
            QStringLiteral(" - add a section [ip:port] with Password=..."));
    say(QStringLiteral("settings: ") + settings.fileName());
    say(QStringLiteral("profile data: ") + platform::dataDir());
    for (int i = 0; i < profiles.count(); ++i)
        profiles.at(i)->ToggleConnection();
    // Connections the operator of this daemon started are kept up whoever closes them.
    for (int i = 0; i < profiles.count(); ++i)
        profiles.at(i)->ReconnectPending = true;
    return QCoreApplication::exec();
}
