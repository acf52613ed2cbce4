#include "app/headless/operatorcli.h"

#include "app/headless/webactions.h"
#include "web/actions.h"
#include "web/notifier.h"
#include "web/operators.h"
#include "web/websessions.h"

#include <QFileInfo>
#include <QHostAddress>
#include <cstdio>
#include <memory>
#include <termios.h>
#include <unistd.h>

namespace {

int fail(const QString &text, int status) {
    std::fprintf(stderr, "vexmoord: %s\n", qPrintable(text));
    return status;
}

// One line of standard input without its line end; the terminal does not echo it.
QByteArray readPassword() {
    termios saved{};
    const bool terminal = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        std::fputs("Password: ", stderr);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    QByteArray line;
    for (int c; (c = std::fgetc(stdin)) != EOF && c != '\n';)
        if (line.size() <= web::OperatorStore::MaxPasswordLength) line.append(char(c));
    if (line.endsWith('\r')) line.chop(1);
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputs("\n", stderr);
    }
    return line;
}

} // namespace

QString operatorsFileBeside(const QString &settingsFile) {
    return QFileInfo(settingsFile).absolutePath() + QStringLiteral("/operators");
}

std::optional<int> runOperatorCommand(const QStringList &args, const QString &operatorsFile) {
    QString add, removeName, role = QStringLiteral("viewer"), servers;
    bool list = false, haveServers = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const auto value = [&](QString &into) {
            if (i + 1 >= args.size()) return false;
            into = args[++i];
            return true;
        };
        if (a == QLatin1String("--add-operator")) {
            if (!value(add)) return fail(QStringLiteral("--add-operator needs NAME"), 2);
        } else if (a == QLatin1String("--remove-operator")) {
            if (!value(removeName)) return fail(QStringLiteral("--remove-operator needs NAME"), 2);
        } else if (a == QLatin1String("--role")) {
            if (!value(role)) return fail(QStringLiteral("--role needs admin or viewer"), 2);
        } else if (a == QLatin1String("--servers")) {
            if (!value(servers))
                return fail(QStringLiteral("--servers needs ADDR[,ADDR...] or *"), 2);
            haveServers = true;
        } else if (a == QLatin1String("--list-operators")) {
            list = true;
        }
    }
    if (add.isEmpty() && removeName.isEmpty() && !list) {
        if (haveServers || args.contains(QStringLiteral("--role")))
            return fail(QStringLiteral("--role and --servers go with --add-operator"), 2);
        return std::nullopt;
    }
    if (int(!add.isEmpty()) + int(!removeName.isEmpty()) + int(list) > 1)
        return fail(QStringLiteral("one operator command at a time"), 2);
    for (const QString &a : args)
        if (a.startsWith(QLatin1String("--")) && a != QLatin1String("--add-operator") &&
            a != QLatin1String("--remove-operator") && a != QLatin1String("--list-operators") &&
            a != QLatin1String("--role") && a != QLatin1String("--servers"))
            return fail(a + QStringLiteral(" does not go with the operator commands"), 2);
    if (!web::initCrypto()) return fail(QStringLiteral("the crypto library can not be used"), 1);

    web::OperatorStore store(operatorsFile);
    QString error;
    if (!store.load(&error)) return fail(error, 1);
    if (list) {
        for (const web::Operator &op : store.operators())
            std::printf("%s\t%s\t%s\n", qPrintable(op.name), qPrintable(web::roleName(op.role)),
                        qPrintable(op.servers.join(QLatin1Char(','))));
        return 0;
    }
    if (!removeName.isEmpty()) {
        if (!store.remove(removeName)) return fail(QStringLiteral("no operator ") + removeName, 1);
    } else {
        const std::optional<web::Role> r = web::roleFromName(role);
        if (!r) return fail(QStringLiteral("--role is admin or viewer, not ") + role, 2);
        if (!web::OperatorStore::validName(add))
            return fail(QStringLiteral("an operator name has 1 to 32 letters, digits, '.', '-' "
                                       "or '_'"),
                        2);
        if (!haveServers) servers = QStringLiteral("*");
        const QByteArray password = readPassword();
        if (!store.add(add, password, *r, servers.split(QLatin1Char(','), Qt::SkipEmptyParts),
                       &error))
            return fail(error, 2);
    }
    if (!store.save(&error)) return fail(error, 1);
    std::printf("%s: %s\n", qPrintable(operatorsFile),
                removeName.isEmpty()
                    ? qPrintable(QStringLiteral("operator ") + add + " saved")
                    : qPrintable(QStringLiteral("operator ") + removeName + " removed"));
    return 0;
}

bool startOperators(const QString &settingsFile, ProfileList &profiles, web::Source &source,
                    web::WebServer &server, const QHostAddress &address, web::Notifier *notifier,
                    bool behindProxy) {
    // Everything lives as long as the run.
    static std::unique_ptr<web::OperatorStore> store;
    static std::unique_ptr<web::ActionTarget> actions;
    static std::unique_ptr<web::OperatorGate> gate;
    if (!web::initCrypto()) {
        fail(QStringLiteral("the crypto library can not be used"), 1);
        return false;
    }
    store = std::make_unique<web::OperatorStore>(operatorsFileBeside(settingsFile));
    QString error;
    if (!store->load(&error)) {
        fail(error, 1);
        return false;
    }
    actions = makeProfileActions(profiles);
    gate = std::make_unique<web::OperatorGate>(*store, *actions, source);
    server.setGate(gate.get());
    if (notifier)
        gate->actionDone = [notifier, &source](const QString &where, const QString &text) {
            const std::optional<web::ServerInfo> s = source.server(where);
            notifier->notify(where, (s ? s->name : where) + QStringLiteral(": ") + text);
        };
    gate->setSecure(server.secure());
    gate->setBehindProxy(behindProxy);
    if (!server.secure() && !address.isLoopback())
        std::fprintf(stderr,
                     "vexmoord: warning: the web listens on %s without TLS: logins and session "
                     "cookies cross the network in clear text (set WebCertificate= and WebKey= or "
                     "put it behind a TLS proxy)\n",
                     qPrintable(address.toString()));
    return true;
}
