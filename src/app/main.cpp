#include "app/gui/icons.h"
#include "app/gui/mainwindow.h"
#include "platform/paths.h"
#include "platform/settingsstore.h"

#include <QApplication>

// Start: the application (titled "Vexmoor"), the settings store, the main window (which
// builds its pages, the tray icon and the server dialog and restores the stored profiles),
// then the event loop until the main window closes.
int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vexmoor"));
    QApplication::setDesktopFileName(QStringLiteral("vexmoor"));
    QApplication::setWindowIcon(Icons::app());
    // The run ends when the main window closes, not when the last visible window does: while
    // the main window sits in the tray, closing a message box must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    platform::SettingsStore settings(platform::settingsFilePath());
    TVexmoor window(settings);
    window.show();
    return QApplication::exec();
}
