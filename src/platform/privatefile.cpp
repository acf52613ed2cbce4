#include "platform/privatefile.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

bool writeAll(int fd, const char *data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string local(const QString &path) {
    return QFile::encodeName(path).toStdString();
}

// Opens path for appending; the file must be a regular file reached without a link.
int openAppend(const std::string &path, bool create) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT && create)
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0600);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

bool replaceFile(const std::string &path, std::string_view data) {
    std::string tmp = path + ".XXXXXX";
    // mkostemp creates the file exclusively (O_EXCL) with mode 0600 and a random name.
    const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    ::fchmod(fd, 0600);
    const bool ok = writeAll(fd, data.data(), data.size()) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

bool replaceFile(const QString &path, const QByteArray &data) {
    return replaceFile(local(path),
                       std::string_view(data.constData(), static_cast<size_t>(data.size())));
}

bool appendToFile(const QString &path, const QByteArray &data, bool create) {
    const int fd = openAppend(local(path), create);
    if (fd < 0) return false;
    const bool ok = writeAll(fd, data.constData(), static_cast<size_t>(data.size()));
    return ::close(fd) == 0 && ok;
}

bool ensureRegularFile(const QString &path) {
    const int fd = openAppend(local(path), true);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool readRegularFile(const QString &path, ReadLimit limit, QByteArray &data, bool *truncated) {
    data.clear();
    if (truncated) *truncated = false;
    const std::string name = local(path);
    // O_NONBLOCK: opening a FIFO without a writer returns at once instead of waiting.
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (limit.followLinks ? 0 : O_NOFOLLOW);
    const int fd = ::open(name.c_str(), flags);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    const qint64 max = std::max<qint64>(0, limit.maxBytes);
    const qint64 expected = std::min<qint64>(max, st.st_size);
    data.reserve(static_cast<qsizetype>(expected));
    char buffer[65536];
    bool ok = true;
    while (data.size() < max) {
        const size_t want = static_cast<size_t>(std::min<qint64>(sizeof buffer, max - data.size()));
        const ssize_t n = ::read(fd, buffer, want);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        data.append(buffer, n);
    }
    if (ok && truncated && data.size() >= max) {
        char probe = 0;
        ssize_t n;
        do {
            n = ::read(fd, &probe, 1);
        } while (n < 0 && errno == EINTR);
        *truncated = n > 0;
    }
    ::close(fd);
    if (!ok) data.clear();
    return ok;
}

bool makePrivateDir(const QString &path) {
    const std::string name = local(path);
    if (name.empty()) return false;
    // Each missing level is made in turn, private from the start.
    for (size_t slash = name.find('/', 1); slash != std::string::npos;
         slash = name.find('/', slash + 1))
        ::mkdir(name.substr(0, slash).c_str(), 0700);
    if (::mkdir(name.c_str(), 0700) != 0 && errno != EEXIST) return false;
    const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        // A link to a directory is used as it is; its target's mode is not ours to change.
        struct stat st {};
        return errno == ELOOP && ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    if (ok && (st.st_mode & 077) != 0 && st.st_uid == ::geteuid()) ::fchmod(fd, 0700);
    ::close(fd);
    return ok;
}

} // namespace platform
