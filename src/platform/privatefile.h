#pragma once

#include <QByteArray>
#include <QString>
#include <string>
#include <string_view>

// Files the program writes hold private data (passwords, logs) and live in directories that
// other programs may share: they are created private (0600, directories 0700), never opened
// through a link, and replaced through a fresh file of a random name made exclusively.
// Files it reads from others are read only when they are regular files, without blocking
// on the open and only up to a limit.
namespace platform {

// Replaces path with data: the data goes to a new private file of a random name beside path
// (created exclusively, so a planted file or link is never reused), which is then renamed
// over path. A link at path is replaced, never followed. False on failure, path unchanged.
bool replaceFile(const std::string &path, std::string_view data);
bool replaceFile(const QString &path, const QByteArray &data);

// Appends data to path without following a link at path. The file must be a regular file;
// create makes a missing one (private). False on failure.
bool appendToFile(const QString &path, const QByteArray &data, bool create);
// Creates path as a new private empty file; true also when a regular file (not a link) is
// already there.
bool ensureRegularFile(const QString &path);

struct ReadLimit {
    qint64 maxBytes;
    bool followLinks = true;
};
// Reads up to limit.maxBytes of path when it is a regular file (a FIFO, device or directory
// is refused without blocking; with followLinks false, a link is refused). truncated tells
// when the file held more. False when the file could not be read.
bool readRegularFile(const QString &path, ReadLimit limit, QByteArray &data,
                     bool *truncated = nullptr);

// Creates the directory and any missing parents private (0700). An existing directory that
// is not a link is made private too. True when the directory exists afterwards.
bool makePrivateDir(const QString &path);

} // namespace platform
