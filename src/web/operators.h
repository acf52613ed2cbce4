#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace web {

// Prepares the password hashing; false when the crypto library can not be used.
bool initCrypto();

// 32 random bytes as 64 hexadecimal digits.
QByteArray randomToken();

enum class Role { Viewer, Admin };

QString roleName(Role role);
std::optional<Role> roleFromName(const QString &name);

// One web operator: a name, a role and the servers the role holds for ("*": every server).
struct Operator {
    QString name;
    Role role = Role::Viewer;
    QStringList servers;
    QByteArray hash; // Argon2id, in the crypto library's string form

    bool covers(const QString &address) const {
        return servers.contains(QStringLiteral("*")) || servers.contains(address);
    }
    bool mayAct(const QString &address) const { return role == Role::Admin && covers(address); }
};

// The operators of the web, kept in one private file: a line per operator with its name,
// role, servers and password hash, separated by tabs. The file is written whole, to a new
// file renamed over the old one, and never read or written through a link.
class OperatorStore {
public:
    static constexpr int MinPasswordLength = 12;
    static constexpr int MaxPasswordLength = 1024;

    explicit OperatorStore(QString fileName);

    QString fileName() const { return m_fileName; }
    // Reads the file; a missing file is an empty store. False with error when it can not
    // be read or holds a line that is not an operator.
    bool load(QString *error = nullptr);
    bool save(QString *error = nullptr) const;
    // Reads the file again when it changed since the last read.
    void reloadIfChanged();

    const QList<Operator> &operators() const { return m_operators; }
    std::optional<Operator> find(const QString &name) const;

    // Adds the operator or replaces the one of that name. False with error for a bad name,
    // a short password or a server that is not "*" or IP:PORT.
    bool add(const QString &name, const QByteArray &password, Role role, const QStringList &servers,
             QString *error = nullptr);
    bool remove(const QString &name);

    // The operator when the name and password match. An unknown name is checked against a
    // hash of its own, so that both failures take the same time.
    std::optional<Operator> verify(const QString &name, const QByteArray &password) const;

    // The hash a password typed for the name is checked against: the operator's, or for an
    // unknown name one of its own, so that both checks take the same time.
    QByteArray hashToCheck(const QString &name) const;
    // True when the password is the hash's. Slow (Argon2id) and safe on any thread.
    static bool matches(const QByteArray &hash, const QByteArray &password);

    // 1 to 32 letters, digits, '.', '-' or '_'.
    static bool validName(const QString &name);
    static bool validServer(const QString &server);

private:
    QString m_fileName;
    QList<Operator> m_operators;
    qint64 m_loadedStamp = -1;
    mutable QByteArray m_dummyHash;
};

} // namespace web
