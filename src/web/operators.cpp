#include "web/operators.h"

#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

namespace web {

namespace {

constexpr qint64 MaxFileBytes = 1 << 20;

QByteArray hashOf(const QByteArray &password) {
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, password.constData(), quint64(password.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return {};
    return QByteArray(out);
}

bool hashMatches(const QByteArray &hash, const QByteArray &password) {
    return !hash.isEmpty() && crypto_pwhash_str_verify(hash.constData(), password.constData(),
                                                       quint64(password.size())) == 0;
}

// The file's change time and size in one number, -2 when it is missing.
qint64 stampOf(const QString &fileName) {
    struct stat st {};
    if (::lstat(QFile::encodeName(fileName).constData(), &st) != 0) return -2;
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec + st.st_size * 7919;
}

void setError(QString *error, const QString &text) {
    if (error) *error = text;
}

} // namespace

bool initCrypto() {
    return sodium_init() >= 0;
}

QByteArray randomToken() {
    unsigned char bytes[32];
    randombytes_buf(bytes, sizeof bytes);
    return QByteArray(reinterpret_cast<const char *>(bytes), sizeof bytes).toHex();
}

QString roleName(Role role) {
    return role == Role::Admin ? QStringLiteral("admin") : QStringLiteral("viewer");
}

std::optional<Role> roleFromName(const QString &name) {
    if (name == QLatin1String("admin")) return Role::Admin;
    if (name == QLatin1String("viewer")) return Role::Viewer;
    return std::nullopt;
}

OperatorStore::OperatorStore(QString fileName) : m_fileName(std::move(fileName)) {}

bool OperatorStore::validName(const QString &name) {
    if (name.isEmpty() || name.size() > 32) return false;
    for (QChar c : name)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('.') &&
            c != QLatin1Char('-') && c != QLatin1Char('_'))
            return false;
    return true;
}

bool OperatorStore::validServer(const QString &server) {
    if (server == QLatin1String("*")) return true;
    const qsizetype colon = server.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0 || server.size() > 64) return false;
    bool ok = false;
    const int port = server.mid(colon + 1).toInt(&ok);
    QHostAddress address;
    return ok && port >= 1 && port <= 65535 && address.setAddress(server.left(colon)) &&
           address.protocol() == QAbstractSocket::IPv4Protocol;
}

bool OperatorStore::load(QString *error) {
    const QByteArray path = QFile::encodeName(m_fileName);
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            m_operators.clear();
            m_loadedStamp = -2;
            return true;
        }
        setError(error,
                 m_fileName + QStringLiteral(": ") + QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    QByteArray data;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        data.append(buffer, n);
        if (data.size() > MaxFileBytes) break;
    }
    ::close(fd);
    if (data.size() > MaxFileBytes) {
        setError(error, m_fileName + QStringLiteral(": larger than 1 MiB"));
        return false;
    }
    QList<Operator> list;
    int number = 0;
    for (const QByteArray &raw : data.split('\n')) {
        ++number;
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        const QStringList parts = line.split(QLatin1Char('\t'));
        std::optional<Role> role = parts.size() == 4 ? roleFromName(parts[1]) : std::nullopt;
        if (!role || !validName(parts[0]) || !parts[3].startsWith(QLatin1String("$argon2id$"))) {
            setError(error,
                     QStringLiteral("%1: line %2 is not an operator").arg(m_fileName).arg(number));
            return false;
        }
        Operator op{parts[0], *role, parts[2].split(QLatin1Char(','), Qt::SkipEmptyParts),
                    parts[3].toLatin1()};
        list.append(op);
    }
    m_operators = list;
    m_loadedStamp = stampOf(m_fileName);
    return true;
}

void OperatorStore::reloadIfChanged() {
    if (stampOf(m_fileName) != m_loadedStamp) load();
}

bool OperatorStore::save(QString *error) const {
    QByteArray data;
    for (const Operator &op : m_operators)
        data += op.name.toUtf8() + '\t' + roleName(op.role).toLatin1() + '\t' +
                op.servers.join(QLatin1Char(',')).toLatin1() + '\t' + op.hash + '\n';
    const QByteArray path = QFile::encodeName(m_fileName);
    const QString folder = QFileInfo(m_fileName).absolutePath();
    if (!QFileInfo::exists(folder)) {
        if (!QDir().mkpath(folder)) {
            setError(error, folder + QStringLiteral(": cannot be created"));
            return false;
        }
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    }
    const QByteArray temporary = path + ".new";
    ::unlink(temporary.constData());
    const int fd =
        ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        setError(error,
                 m_fileName + QStringLiteral(": ") + QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    qsizetype written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + written, size_t(data.size() - written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += n;
    }
    const bool ok = written == data.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok || ::rename(temporary.constData(), path.constData()) != 0) {
        setError(error, m_fileName + QStringLiteral(": cannot be written"));
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

std::optional<Operator> OperatorStore::find(const QString &name) const {
    for (const Operator &op : m_operators)
        if (op.name == name) return op;
    return std::nullopt;
}

bool OperatorStore::add(const QString &name, const QByteArray &password, Role role,
                        const QStringList &servers, QString *error) {
    if (!validName(name)) {
        setError(error, QStringLiteral("a name has 1 to 32 letters, digits, '.', '-' or '_'"));
        return false;
    }
    if (password.size() < MinPasswordLength || password.size() > MaxPasswordLength) {
        setError(error, QStringLiteral("a password has %1 to %2 characters")
                            .arg(MinPasswordLength)
                            .arg(MaxPasswordLength));
        return false;
    }
    if (servers.isEmpty()) {
        setError(error, QStringLiteral("--servers needs ADDR[,ADDR...] or *"));
        return false;
    }
    for (const QString &s : servers)
        if (!validServer(s)) {
            setError(error, s + QStringLiteral(" is not * or IP:PORT"));
            return false;
        }
    const QByteArray hash = hashOf(password);
    if (hash.isEmpty()) {
        setError(error, QStringLiteral("the password could not be hashed (out of memory)"));
        return false;
    }
    remove(name);
    m_operators.append(Operator{name, role, servers, hash});
    return true;
}

bool OperatorStore::remove(const QString &name) {
    return m_operators.removeIf([&](const Operator &op) { return op.name == name; }) > 0;
}

std::optional<Operator> OperatorStore::verify(const QString &name,
                                              const QByteArray &password) const {
    if (password.size() > MaxPasswordLength) return std::nullopt;
    // Made before the first check of any name, so that no first failure is slower.
    if (m_dummyHash.isEmpty()) m_dummyHash = hashOf(randomToken());
    const std::optional<Operator> op = find(name);
    if (!op) {
        hashMatches(m_dummyHash, password);
        return std::nullopt;
    }
    if (!hashMatches(op->hash, password)) return std::nullopt;
    return op;
}

QByteArray OperatorStore::hashToCheck(const QString &name) const {
    if (m_dummyHash.isEmpty()) m_dummyHash = hashOf(randomToken());
    const std::optional<Operator> op = find(name);
    return op ? op->hash : m_dummyHash;
}

bool OperatorStore::matches(const QByteArray &hash, const QByteArray &password) {
    return password.size() <= MaxPasswordLength && hashMatches(hash, password);
}

} // namespace web
