#include "app/core/stopsignals.h"
#include "app/gui/icons.h"
#include "app/gui/mainwindow.h"
#include "platform/paths.h"
#include "platform/settingsstore.h"

#include <QApplication>
#include <QSessionManager>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#ifndef VEXMOOR_VERSION
#define VEXMOOR_VERSION "0"
#endif

namespace {
int badArgument(const char *arg) {
    std::fprintf(stderr, "vexmoor: %s %s (see vexmoor --help)\n",
                 arg[0] == '-' ? "unknown option" : "unexpected argument", arg);
    return 2;
}
} // namespace

// Start: the application (titled "Vexmoor"), the settings store, the main window (which
// builds its pages, the tray icon and the server dialog and restores the stored profiles),
// then the event loop until the main window closes.
int main(int argc, char *argv[]) {
    // Our own options are answered before the toolkit needs a display; the toolkit's own
    // (-platform, -style, ...) are left to it, and whatever it does not take is refused.
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs("usage: vexmoor [toolkit options such as -platform NAME]\n"
                       "Opens the Vexmoor window with the profiles of the settings file.\n"
                       "  --help     show this text\n"
                       "  --version  show the version\n",
                       stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--version")) {
            std::printf("vexmoor %s\n", VEXMOOR_VERSION);
            return 0;
        }
        const bool afterOption = i > 1 && argv[i - 1][0] == '-' && argv[i - 1][1] != '-';
        if (!std::strncmp(argv[i], "--", 2) || (argv[i][0] != '-' && !afterOption))
            return badArgument(argv[i]);
    }
    // Profile directories, tables, logs and activity files hold what players did and where
    // from: everything the program creates is its owner's only.
    ::umask(077);
    QApplication app(argc, argv);
    if (argc > 1) return badArgument(argv[1]);
    QApplication::setApplicationName(QStringLiteral("Vexmoor"));
    QApplication::setDesktopFileName(QStringLiteral("vexmoor"));
    QApplication::setWindowIcon(Icons::app());
    // The run ends when the main window closes, not when the last visible window does: while
    // the main window sits in the tray, closing a message box must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    platform::SettingsStore settings(platform::settingsFilePath());
    // The frequent automatic writes of a second go to the file together (each profile stores
    // a counter per new player); the operator's changes reach it at once. Whatever waits is
    // written when the run ends: by the window, a signal or the desktop session's logout.
    settings.setWriteDelay(1000);
    TVexmoor window(settings);
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::received, &window, [&] {
        settings.flush();
        window.close(); // closes every profile's tables and ends the run
    });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&](QSessionManager &) { settings.flush(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, [&] { settings.flush(); });
    window.show();
    return QApplication::exec();
}
