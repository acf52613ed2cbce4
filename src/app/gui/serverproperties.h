#pragma once

#include <QDialog>

class QLineEdit;
class QSpinBox;

// "Server Properties": the telnet IP, port and console password of a profile. One dialog
// serves the whole run and keeps what its fields last held.
class TServerProperties : public QDialog {
    Q_OBJECT
public:
    explicit TServerProperties(QWidget *parent = nullptr);

    QString ip() const;
    int port() const;
    QString password() const;
    void setValues(const QString &ip, int port, const QString &password);

private:
    QLineEdit *m_ip;
    QSpinBox *m_port;
    QLineEdit *m_password;
};
