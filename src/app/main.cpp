#include "app/gui/mainwindow.h"
#include "platform/paths.h"
#include "platform/settingsstore.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vexmoor"));
    platform::SettingsStore settings(platform::settingsFilePath());
    TVexmoor window(settings);
    window.show();
    return QApplication::exec();
}
