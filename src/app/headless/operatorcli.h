#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The operator commands of vexmoord: --add-operator NAME [--role admin|viewer]
// [--servers ADDR[,ADDR...]|*] (the password is read from standard input), --remove-operator
// NAME and --list-operators. Returns the exit status when args hold one of them, nothing
// otherwise.
std::optional<int> runOperatorCommand(const QStringList &args, const QString &operatorsFile);

// The operators file beside the settings file.
QString operatorsFileBeside(const QString &settingsFile);

class ProfileList;
class QHostAddress;
namespace web {
class Notifier;
class Source;
class WebServer;
} // namespace web

// Lets the operators of the operators file log in to the web, act and read the audit. False
// (with a message) when the file can not be read.
bool startOperators(const QString &settingsFile, ProfileList &profiles, web::Source &source,
                    web::WebServer &server, const QHostAddress &address, web::Notifier *notifier,
                    bool behindProxy);
