// Fuzz target: the console's byte stream. The bytes reach a profile as if read from its
// socket: cut into lines by the line framer in chunks, each line classified and every report
// dispatched through its handler, with statistics recording and the event log on. No network.
// The first byte chooses the chunk size, the rest is the stream.
#include "session/framer.h"
#include "session/server.h"
#include "support/testsupport.h"

#include <QCoreApplication>
#include <QDir>

#include <cstddef>
#include <cstdint>

namespace {

QCoreApplication &application() {
    static int argc = 1;
    static char name[] = "fuzz_console";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    application();
    if (size == 0) return 0;
    const qsizetype chunkSize = 1 + data[0] % 64;
    const QByteArray stream(reinterpret_cast<const char *>(data + 1),
                            static_cast<qsizetype>(size - 1));

    // A fresh profile each time, so that every input starts from the same state.
    testing_support::ProfileFixture fx;
    fx.profile->eventLog.SetLogToFile(true);
    fx.profile->stats.SetStatsEnabled(true);
    testing_support::RecordingView view;
    fx.profile->AttachView(&view);

    LineFramer framer;
    for (qsizetype at = 0; at < stream.size(); at += chunkSize)
        for (const QString &line : framer.feed(stream.mid(at, chunkSize)))
            fx.profile->ClassifyLine(line);
    if (framer.hasRemainder()) fx.profile->ClassifyLine(framer.takeRemainder());
    fx.profile->stats.CommitTables();
    QCoreApplication::processEvents();

    fx.profile->DetachView();
    fx.profile->stats.CloseTables();
    return 0;
}
