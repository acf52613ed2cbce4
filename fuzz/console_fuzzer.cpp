// Fuzz target: the console's byte stream. The bytes reach a profile as if read from its
// socket: cut into lines by the line framer in chunks, each line classified and every report
// dispatched through its handler, with statistics recording and the event log on. No network.
// The first byte chooses the chunk size, the rest is the stream. The same bytes are also
// taken as a preference file, as mission-list lines and as texts put into commands: what the
// program accepts from them must come out as single, well-formed command lines.
#include "admin/preferences.h"
#include "missions/missions.h"
#include "session/consolecommand.h"
#include "session/framer.h"
#include "session/server.h"
#include "support/testsupport.h"

#include <QCoreApplication>
#include <QDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

QCoreApplication &application() {
    static int argc = 1;
    static char name[] = "fuzz_console";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// A command line the program sends: one line, ending in the marker and the line feed.
void checkCommand(const QString &command) {
    if (!command.endsWith(console::Marker + QLatin1Char('\n')) ||
        command.indexOf(QLatin1Char('\n')) != command.size() - 1 ||
        command.contains(QLatin1Char('\r')))
        std::abort();
}

// Every text put into a literal stays inside it, and every accepted preference file or
// mission name gives well-formed commands only.
void checkBuilders(const QByteArray &bytes) {
    const QString text = LineFramer::decode(bytes);
    const QString literal = console::literal(text);
    if (!console::isLiteralBody(QStringView(literal).sliced(1, literal.size() - 2))) std::abort();
    if (!console::isLiteralBody(console::normalizedLiteralBody(text))) std::abort();
    checkCommand(console::command(QStringLiteral("x = ") + literal + QLatin1Char(';')));

    QStringList commands;
    QString problem;
    if (parsePreferenceFile(bytes, commands, problem)) {
        for (const QString &command : commands)
            checkCommand(command);
    } else if (problem.isEmpty() || !commands.isEmpty()) {
        std::abort();
    }

    for (const QString &line : text.split(QLatin1Char('\n'))) {
        TMission mission;
        if (!parseMissionListLine(line, mission) || !isSafeMissionName(mission.Name)) continue;
        // A safe name quoted as a literal is the name between two quotes, nothing else.
        if (console::literal(mission.Name) != QLatin1Char('"') + mission.Name + QLatin1Char('"'))
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    application();
    if (size == 0) return 0;
    const qsizetype chunkSize = 1 + data[0] % 64;
    const QByteArray stream(reinterpret_cast<const char *>(data + 1),
                            static_cast<qsizetype>(size - 1));

    checkBuilders(stream);

    // A fresh profile each time, so that every input starts from the same state.
    testing_support::ProfileFixture fx;
    fx.profile->eventLog().SetLogToFile(true);
    fx.profile->stats().SetStatsEnabled(true);
    testing_support::RecordingView view;
    fx.profile->AttachView(&view);

    LineFramer framer;
    for (qsizetype at = 0; at < stream.size(); at += chunkSize)
        for (const QString &line : framer.feed(stream.mid(at, chunkSize)))
            fx.profile->ClassifyLine(line);
    if (framer.hasRemainder()) fx.profile->ClassifyLine(framer.takeRemainder());
    fx.profile->stats().CommitTables();
    QCoreApplication::processEvents();

    fx.profile->DetachView();
    fx.profile->stats().CloseTables();
    return 0;
}
