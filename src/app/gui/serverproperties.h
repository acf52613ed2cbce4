#pragma once

#include <QDialog>
#include <functional>

class GuiDialogs;
class QLineEdit;
class QSpinBox;

// "Server Properties": the telnet IP, port and console password of a profile. One dialog
// serves the whole run and keeps what its fields last held. OK closes it only for an
// address that can name a settings section and a profile directory and that no other
// profile has; otherwise a message says what is wrong and the dialog stays open.
class TServerProperties : public QDialog {
    Q_OBJECT
public:
    // Returns a message when another profile has the address, else an empty text.
    using ConflictCheck = std::function<QString(const QString &ip, int port)>;

    explicit TServerProperties(GuiDialogs &dialogs, QWidget *parent = nullptr);

    QString ip() const;
    int port() const;
    QString password() const;
    void setValues(const QString &ip, int port, const QString &password);
    void setConflictCheck(ConflictCheck check) { m_conflict = std::move(check); }

    // What is wrong with an address, or an empty text: the IP must not be empty nor hold a
    // path separator, "..", a colon or a control character; the port is 1..65535.
    static QString checkAddress(const QString &ip, int port);

    void accept() override;

private:
    GuiDialogs &m_dialogs;
    QLineEdit *m_ip;
    QSpinBox *m_port;
    QLineEdit *m_password;
    ConflictCheck m_conflict;
};
