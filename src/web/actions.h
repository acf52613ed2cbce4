#pragma once

#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace web {

// What an admin action did: the commands sent to the game server, or why none were.
struct ActionResult {
    int status = 200; // 200 sent; 400 a bad request; 404 no such player or mission; 409 offline
    QString error;
    QStringList commands;
    // The commands carry a password: the audit shows that they were sent, not their text.
    bool secret = false;
};

// The admin actions of the web over the profiles of a run. An action is composed by the same
// code as the window's, so the web can send nothing the window could not.
class ActionTarget {
public:
    virtual ~ActionTarget() = default;
    // Performs one action on the profile at address: {"action":"kick","client":2050,
    // "message":"..."} and the like.
    virtual ActionResult perform(const QString &address, const QJsonObject &request) = 0;
    // The profile's directory (where its audit.log is kept); empty when there is no such
    // profile.
    virtual QString directory(const QString &address) const = 0;
    virtual QStringList addresses() const = 0;
    // The network addresses of the listed players by client id (for ban masks; admins only).
    virtual QHash<int, QString> playerAddresses(const QString & /*address*/) const { return {}; }
};

} // namespace web
