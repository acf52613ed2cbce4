#include "platform/paths.h"

#include <QDir>

namespace platform {

namespace {
QString xdgDir(const char *variable, const char *fallback) {
    const QString value = qEnvironmentVariable(variable);
    // Relative values are invalid by the XDG rules and are ignored.
    if (!value.isEmpty() && QDir::isAbsolutePath(value)) return value;
    return QDir::homePath() + QLatin1Char('/') + QLatin1String(fallback);
}
} // namespace

QString configDir() {
    return xdgDir("XDG_CONFIG_HOME", ".config") + QStringLiteral("/vexmoor");
}

QString settingsFilePath() {
    return configDir() + QStringLiteral("/Vexmoor.ini");
}

QString dataDir() {
    return xdgDir("XDG_DATA_HOME", ".local/share") + QStringLiteral("/vexmoor");
}

QString profileDir(const QString &host, int port) {
    return dataDir() + QLatin1Char('/') + host + QLatin1Char('.') + QString::number(port);
}

} // namespace platform
