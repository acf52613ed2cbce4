// vexmoor-sim: a stand-in game server console for the demo, integration tests and
// benchmarks. Runs until killed.

#include "simserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>

#ifndef VEXMOOR_VERSION
#define VEXMOOR_VERSION "0"
#endif

namespace {

void say(const QString &text) {
    std::fputs(qPrintable(text + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

// Mission names from the *.dsc files of a directory, in name order; training missions
// are left out as the admin tool leaves them out.
QStringList missionsIn(const QString &path) {
    QStringList names;
    const QDir dir(path);
    const QStringList files =
        dir.entryList({QStringLiteral("*.dsc")}, QDir::Files | QDir::Readable, QDir::Name);
    for (const QString &file : files) {
        QFile f(dir.filePath(file));
        bool training = false;
        if (f.open(QIODevice::ReadOnly | QIODevice::Text)) {
            QTextStream in(&f);
            while (!in.atEnd()) {
                const QString line = in.readLine().trimmed();
                if (line.left(12).compare(QLatin1String("$MDESC::Type"), Qt::CaseInsensitive))
                    continue;
                training = line.contains(QLatin1String("\"training\""), Qt::CaseInsensitive);
                break;
            }
        }
        if (!training) names << file.left(file.size() - 4);
    }
    return names;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vexmoor-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VEXMOOR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated Tribes remote console with the Vexmoor script loaded."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOpt(QStringLiteral("port"),
                                     QStringLiteral("Port to listen on (0: any free port)."),
                                     QStringLiteral("port"), QStringLiteral("28001"));
    const QCommandLineOption bindOpt(QStringLiteral("bind"),
                                     QStringLiteral("Address to listen on."),
                                     QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption passwordOpt(QStringLiteral("password"),
                                         QStringLiteral("Console password."),
                                         QStringLiteral("text"), QStringLiteral("secret"));
    const QCommandLineOption refuseOpt(QStringLiteral("refuse-password"),
                                       QStringLiteral("Refuse every password."));
    const QCommandLineOption dropAfterOpt(
        QStringLiteral("drop-after"),
        QStringLiteral("Close a connection after N lines sent since its login."),
        QStringLiteral("N"));
    const QCommandLineOption dropAtOpt(
        QStringLiteral("drop-at"),
        QStringLiteral("Close a connection at: connect, password, login or session."),
        QStringLiteral("moment"));
    const QCommandLineOption dropCountOpt(
        QStringLiteral("drop-count"),
        QStringLiteral("How many connections the drop rules hit, in order (0: all)."),
        QStringLiteral("K"), QStringLiteral("1"));
    const QCommandLineOption splitOpt(QStringLiteral("split"),
                                      QStringLiteral("Cut every line across separate writes."));
    const QCommandLineOption splitDelayOpt(QStringLiteral("split-delay"),
                                           QStringLiteral("Milliseconds between pieces."),
                                           QStringLiteral("ms"), QStringLiteral("2"));
    const QCommandLineOption burstOpt(
        QStringLiteral("burst"),
        QStringLiteral("After the session start send N report lines at full speed."),
        QStringLiteral("N"));
    const QCommandLineOption matchOpt(QStringLiteral("match"),
                                      QStringLiteral("Match to play: scripted, random or none."),
                                      QStringLiteral("mode"), QStringLiteral("scripted"));
    const QCommandLineOption loopOpt(QStringLiteral("loop"),
                                     QStringLiteral("Play the scripted match again and again."));
    const QCommandLineOption seedOpt(QStringLiteral("seed"), QStringLiteral("Match seed."),
                                     QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption playersOpt(QStringLiteral("players"),
                                        QStringLiteral("Players in the match (1..128)."),
                                        QStringLiteral("n"), QStringLiteral("8"));
    const QCommandLineOption teamsOpt(QStringLiteral("teams"), QStringLiteral("Teams (1..8)."),
                                      QStringLiteral("n"), QStringLiteral("2"));
    const QCommandLineOption speedOpt(QStringLiteral("speed"),
                                      QStringLiteral("Match events per second."),
                                      QStringLiteral("n"), QStringLiteral("2"));
    const QCommandLineOption missionsOpt(QStringLiteral("missions-dir"),
                                         QStringLiteral("Take mission names from *.dsc files."),
                                         QStringLiteral("dir"));
    const QCommandLineOption lfOpt(QStringLiteral("lf"),
                                   QStringLiteral("End lines with LF only (default CR LF)."));
    const QCommandLineOption printScriptOpt(
        QStringLiteral("print-script"),
        QStringLiteral("Print the scripted match's lines and exit."));
    parser.addOptions({portOpt, bindOpt, passwordOpt, refuseOpt, dropAfterOpt, dropAtOpt,
                       dropCountOpt, splitOpt, splitDelayOpt, burstOpt, matchOpt, loopOpt, seedOpt,
                       playersOpt, teamsOpt, speedOpt, missionsOpt, lfOpt, printScriptOpt});
    // Bad command lines get one line on stderr and status 2; --help and --version status 0.
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "vexmoor-sim: %s (see vexmoor-sim --help)\n",
                     qPrintable(parser.errorText()));
        return 2;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "vexmoor-sim: unexpected argument %s (see vexmoor-sim --help)\n",
                     qPrintable(parser.positionalArguments().first()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version"))) parser.showVersion();

    // Counts and ports are whole numbers; only the speed may have a fraction.
    auto number = [&parser](const QCommandLineOption &opt, double low, double high,
                            bool whole = true) {
        bool ok = false;
        const double v = parser.value(opt).trimmed().toDouble(&ok);
        if (!ok || v < low || v > high || (whole && v != static_cast<double>(qint64(v)))) {
            std::fprintf(stderr, "vexmoor-sim: --%s must be a %s from %g to %g, not \"%s\"\n",
                         qPrintable(opt.names().first()), whole ? "whole number" : "number", low,
                         high, qPrintable(parser.value(opt)));
            std::exit(2);
        }
        return v;
    };

    sim::SimOptions o;
    o.password = parser.value(passwordOpt);
    o.refusePassword = parser.isSet(refuseOpt);
    if (parser.isSet(dropAfterOpt)) o.dropAfterLines = int(number(dropAfterOpt, 0, 1e9));
    if (parser.isSet(dropAtOpt)) {
        const QString m = parser.value(dropAtOpt);
        if (m == QLatin1String("connect"))
            o.dropAt = sim::DropMoment::Connect;
        else if (m == QLatin1String("password"))
            o.dropAt = sim::DropMoment::Password;
        else if (m == QLatin1String("login"))
            o.dropAt = sim::DropMoment::Login;
        else if (m == QLatin1String("session"))
            o.dropAt = sim::DropMoment::Session;
        else {
            std::fprintf(stderr,
                         "vexmoor-sim: --drop-at must be connect, password, login or session\n");
            return 2;
        }
    }
    o.dropConnections = int(number(dropCountOpt, 0, 1e9));
    o.split = parser.isSet(splitOpt);
    o.splitDelayMs = int(number(splitDelayOpt, 0, 10000));
    if (parser.isSet(burstOpt)) o.burstLines = int(number(burstOpt, 0, 1e9));
    const QString match = parser.value(matchOpt);
    if (match == QLatin1String("scripted"))
        o.match = sim::MatchMode::Scripted;
    else if (match == QLatin1String("random"))
        o.match = sim::MatchMode::Random;
    else if (match == QLatin1String("none"))
        o.match = sim::MatchMode::None;
    else {
        std::fprintf(stderr, "vexmoor-sim: --match must be scripted, random or none\n");
        return 2;
    }
    o.loop = parser.isSet(loopOpt);
    o.matchConfig.seed = quint32(number(seedOpt, 0, 4294967295.0));
    o.matchConfig.players = int(number(playersOpt, 1, sim::MaxPlayers));
    o.matchConfig.teams = int(number(teamsOpt, 1, sim::MaxTeams));
    o.speed = number(speedOpt, 0, 1e6, false);
    if (parser.isSet(missionsOpt)) {
        const QFileInfo dir(parser.value(missionsOpt));
        if (!dir.isDir()) {
            std::fprintf(stderr, "vexmoor-sim: %s: %s\n", qPrintable(parser.value(missionsOpt)),
                         dir.exists() ? "is not a directory" : "no such directory");
            return 2;
        }
        o.matchConfig.missions = missionsIn(parser.value(missionsOpt));
        if (o.matchConfig.missions.isEmpty()) {
            std::fprintf(stderr, "vexmoor-sim: no missions in %s\n",
                         qPrintable(parser.value(missionsOpt)));
            return 2;
        }
    }
    if (parser.isSet(lfOpt)) o.lineEnd = "\n";

    sim::SimServer server(o);
    if (parser.isSet(printScriptOpt)) {
        for (const QString &line : server.scriptedLines())
            say(line);
        return 0;
    }
    const QHostAddress address(parser.value(bindOpt));
    if (address.isNull()) {
        std::fprintf(stderr, "vexmoor-sim: --bind must be an IP address, not \"%s\"\n",
                     qPrintable(parser.value(bindOpt)));
        return 2;
    }
    const auto port = quint16(number(portOpt, 0, 65535));
    if (!server.listen(port, address)) {
        std::fprintf(stderr, "vexmoor-sim: cannot listen on %s:%u: %s\n",
                     qPrintable(address.toString()), unsigned(port),
                     qPrintable(server.errorString()));
        return 1;
    }
    say(QStringLiteral("listening on %1:%2").arg(address.toString()).arg(server.port()));

    QObject::connect(&server, &sim::SimServer::clientConnected, [](int id, const QString &peer) {
        say(QStringLiteral("client %1 connected from %2").arg(id).arg(peer));
    });
    QObject::connect(&server, &sim::SimServer::clientLoggedIn,
                     [](int id) { say(QStringLiteral("client %1 logged in").arg(id)); });
    QObject::connect(&server, &sim::SimServer::loginRefused,
                     [](int id) { say(QStringLiteral("client %1 login refused").arg(id)); });
    QObject::connect(&server, &sim::SimServer::clientDisconnected,
                     [](int id) { say(QStringLiteral("client %1 disconnected").arg(id)); });
    QObject::connect(&server, &sim::SimServer::burstFinished, [&server](int id) {
        say(QStringLiteral("client %1 burst sent (%2 lines)").arg(id).arg(server.linesSent(id)));
    });
    QObject::connect(&server, &sim::SimServer::matchFinished,
                     [] { say(QStringLiteral("match finished")); });
    return app.exec();
}
