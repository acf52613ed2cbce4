// vexmoord: runs every stored profile without a window. Each profile connects at start,
// handles its reports as a profile that is not displayed, and reconnects by itself; the
// tables are closed and the settings written on SIGINT, SIGTERM or SIGHUP. Connection states go to
// standard output, errors to standard error, one line each, so a service manager's journal keeps
// both.
//
// Exit status: 0 a clean stop (or --check found everything in order), 1 the settings file or
// a profile directory can not be used, 2 a bad command line, 6 no profile is configured.

#include "app/core/consoledialogs.h"
#include "app/core/profilelist.h"
#include "app/core/settings.h"
#include "app/core/stopsignals.h"
#include "app/headless/operatorcli.h"
#include "app/headless/webactions.h"
#include "app/headless/webadapter.h"
#include "app/headless/webnotify.h"
#include "platform/datetime.h"
#include "platform/paths.h"
#include "platform/settingsstore.h"
#include "web/notifier.h"
#include "web/webserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>

#ifndef VEXMOOR_VERSION
#define VEXMOOR_VERSION "0"
#endif

namespace {

enum ExitStatus { ExitOk = 0, ExitFailure = 1, ExitUsage = 2, ExitNotConfigured = 6 };

const char *kUsage = "usage: vexmoord [--check] [--web ADDRESS:PORT]\n"
                     "       vexmoord --add-operator NAME [--role admin|viewer]\n"
                     "                [--servers ADDR[,ADDR...]|*]   (password on stdin)\n"
                     "       vexmoord --remove-operator NAME | --list-operators\n"
                     "Runs the server profiles of the settings file without a window.\n"
                     "  --check    report the settings file and each profile with its directory,\n"
                     "             without connecting, and exit\n"
                     "  --web ADDRESS:PORT\n"
                     "             serve the web pages on this address (also Web= in section\n"
                     "             [Vexmoor]; off unless given); over TLS with WebCertificate=\n"
                     "             and WebKey=, behind a TLS proxy with WebProxy=1\n"
                     "  --add-operator NAME, --remove-operator NAME, --list-operators\n"
                     "             manage the web's operators (file operators beside the\n"
                     "             settings); --role viewer (default) or admin, --servers *\n"
                     "             (default) or the IP:PORT of the servers the role holds for\n"
                     "  --help     show this text\n"
                     "  --version  show the version\n"
                     "Exit status: 0 ok, 1 settings or profile directory unusable, 2 bad command\n"
                     "line, 6 no profile configured.\n";

void say(const QString &text) {
    std::printf("[%s] %s\n", qPrintable(platform::formatTime(platform::now())), qPrintable(text));
    std::fflush(stdout);
}

void complain(const QString &text) {
    std::fprintf(stderr, "vexmoord: %s\n", qPrintable(text));
    std::fflush(stderr);
}

// The settings file must be a readable file, or missing (no profiles yet).
bool settingsUsable(const QString &path) {
    const QFileInfo info(path);
    if (!info.exists()) return true;
    if (info.isDir()) {
        complain(path + QStringLiteral(": is a directory, not the settings file"));
        return false;
    }
    if (!info.isReadable()) {
        complain(path + QStringLiteral(": cannot be read (permission denied)"));
        return false;
    }
    return true;
}

// What becomes of a profile directory: empty when it is (or can be made) usable, else why not.
QString directoryProblem(const QString &path) {
    const QFileInfo info(path);
    if (info.exists()) {
        if (!info.isDir()) return QStringLiteral("is not a directory");
        if (!info.isWritable()) return QStringLiteral("is not writable");
        return {};
    }
    // The nearest existing ancestor decides whether it can be created.
    QString parent = QFileInfo(path).absolutePath();
    while (!QFileInfo::exists(parent) && parent != QStringLiteral("/"))
        parent = QFileInfo(parent).absolutePath();
    const QFileInfo p(parent);
    if (!p.isDir() || !p.isWritable()) return QStringLiteral("cannot be created");
    return {};
}

// Tells that the settings hold no profile and how to add one.
int notConfigured(const platform::SettingsStore &settings) {
    complain(QStringLiteral("no profiles in %1 - add a section [ip:port] with Password=...")
                 .arg(settings.fileName()));
    return ExitNotConfigured;
}

int check(const platform::SettingsStore &settings) {
    std::printf("settings: %s\n", qPrintable(settings.fileName()));
    int profiles = 0, bad = 0;
    ReadServers(settings, [&](const QString &, const QString &ip, int port) {
        ++profiles;
        if (const QString unsafe = hostProblem(ip); !unsafe.isEmpty()) {
            ++bad;
            std::fflush(stdout);
            complain(QStringLiteral("settings section [%1:%2] is skipped: %3")
                         .arg(ip)
                         .arg(port)
                         .arg(unsafe));
            return;
        }
        const QString dir = platform::profileDir(ip, port);
        const QString problem = directoryProblem(dir);
        const char *state = !problem.isEmpty()        ? nullptr
                            : QFileInfo(dir).exists() ? "exists"
                                                      : "will be created";
        if (state) {
            std::printf("profile %s:%d: %s (%s)\n", qPrintable(ip), port, qPrintable(dir), state);
        } else {
            ++bad;
            std::fflush(stdout);
            complain(QStringLiteral("profile %1:%2: %3 %4").arg(ip).arg(port).arg(dir, problem));
        }
    });
    std::fflush(stdout);
    if (profiles == 0) {
        return notConfigured(settings);
    }
    std::printf("%d profile(s), %d unusable\n", profiles, bad);
    return bad ? ExitFailure : ExitOk;
}

} // namespace

int main(int argc, char *argv[]) {
    // Everything the companion creates (profile directories, tables, logs) is private.
    ::umask(077);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vexmoord"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VEXMOOR_VERSION));

    bool checkOnly = false;
    QString webAddress;
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (const std::optional<int> status =
            runOperatorCommand(args, operatorsFileBeside(platform::settingsFilePath())))
        return *status;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(kUsage, stdout);
            return ExitOk;
        }
        if (a == QLatin1String("--version")) {
            std::printf("vexmoord %s\n", VEXMOOR_VERSION);
            return ExitOk;
        }
        if (a == QLatin1String("--check")) {
            checkOnly = true;
            continue;
        }
        if (a == QLatin1String("--web") || a.startsWith(QLatin1String("--web="))) {
            if (a.size() > 5) {
                webAddress = a.mid(6);
            } else if (i + 1 < args.size()) {
                webAddress = args[++i];
            } else {
                complain(QStringLiteral("--web needs ADDRESS:PORT (see vexmoord --help)"));
                return ExitUsage;
            }
            QHostAddress address;
            quint16 port = 0;
            if (!web::WebServer::parseAddress(webAddress, address, port)) {
                complain(QStringLiteral("--web needs ADDRESS:PORT with an IP address, not ") +
                         webAddress);
                return ExitUsage;
            }
            continue;
        }
        complain((a.startsWith(QLatin1Char('-')) ? QStringLiteral("unknown option ")
                                                 : QStringLiteral("unexpected argument ")) +
                 a + QStringLiteral(" (see vexmoord --help)"));
        return ExitUsage;
    }

    const QString settingsPath = platform::settingsFilePath();
    if (!settingsUsable(settingsPath)) return ExitFailure;
    platform::SettingsStore settings(settingsPath);
    if (checkOnly) return check(settings);

    StopSignals stopSignals;
    if (!stopSignals.active()) {
        complain(QStringLiteral("cannot set up signal handling"));
        return ExitFailure;
    }

    // Every profile holds a console connection and its open table and log files: a daemon of
    // hundreds of profiles needs more descriptors than the usual soft limit.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    // Writes of a second go to the file together (each profile stores a counter per new
    // player); whatever waits is written when the run ends.
    settings.setWriteDelay(1000);

    ConsoleDialogs dialogs;
    ServerContext context{settings, dialogs};
    ProfileList profiles(context);

    const GlobalPrefs prefs = ReadPrefs(settings);
    profiles.setCommitInterval(prefs.CommitTimerMinutes);

    QObject::connect(&profiles, &ProfileList::stateChanged, &app,
                     [](TVexmoorServer *p, const QString &state) {
                         say(p->section() + QStringLiteral(": ") + state);
                     });
    QObject::connect(&stopSignals, &StopSignals::received, &app, [&] {
        say(QStringLiteral("closing the tables of every profile"));
        profiles.closeAll();
        settings.flush();
        QCoreApplication::exit(ExitOk);
    });

    profiles.ReadServers();
    if (profiles.count() == 0) {
        return notConfigured(settings);
    }
    say(QStringLiteral("settings: ") + settings.fileName());
    say(QStringLiteral("profile data: ") + platform::dataDir());

    // The web face, when the command line or the settings ask for it.
    if (webAddress.isEmpty())
        webAddress = settings.read(GlobalSection, QStringLiteral("Web")).trimmed();
    std::unique_ptr<web::Source> source;
    const std::unique_ptr<web::Notifier> webhooks = startNotifications(settings, profiles, source);
    std::unique_ptr<web::WebServer> webServer;
    if (!webAddress.isEmpty()) {
        QHostAddress address;
        quint16 port = 0;
        if (!web::WebServer::parseAddress(webAddress, address, port)) {
            complain(QStringLiteral("Web=%1 in [Vexmoor] is not ADDRESS:PORT").arg(webAddress));
            return ExitFailure;
        }
        if (!source) source = makeProfileSource(profiles);
        webServer = std::make_unique<web::WebServer>(*source);
        const QString certificate = settings.read(GlobalSection, QStringLiteral("WebCertificate"));
        const QString key = settings.read(GlobalSection, QStringLiteral("WebKey"));
        if ((!certificate.isEmpty() || !key.isEmpty()) &&
            !webServer->setTls(certificate.trimmed(), key.trimmed())) {
            complain(QStringLiteral("WebCertificate=/WebKey= in [Vexmoor]: ") +
                     webServer->errorString());
            return ExitFailure;
        }
        if (!startOperators(settingsPath, profiles, *source, *webServer, address, webhooks.get(),
                            settings.readBool(GlobalSection, QStringLiteral("WebProxy"), false)))
            return ExitFailure;
        if (!webServer->listen(address, port)) {
            complain(QStringLiteral("cannot serve the web on %1: %2")
                         .arg(webAddress, webServer->errorString()));
            return ExitFailure;
        }
        const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                                 ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
                                 : address.toString();
        say(QStringLiteral("web: %1://%2:%3/")
                .arg(webServer->secure() ? QStringLiteral("https") : QStringLiteral("http"), host)
                .arg(webServer->port()));
    }
    for (int i = 0; i < profiles.count(); ++i)
        profiles.at(i)->ToggleConnection();
    // Connections the operator of this daemon started are kept up whoever closes them.
    for (int i = 0; i < profiles.count(); ++i)
        profiles.at(i)->ReconnectPending = true;
    return QCoreApplication::exec();
}
