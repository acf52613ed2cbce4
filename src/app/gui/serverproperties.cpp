#include "app/gui/serverproperties.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>

TServerProperties::TServerProperties(QWidget *parent)
    : QDialog(parent), m_ip(new QLineEdit(this)), m_port(new QSpinBox(this)),
      m_password(new QLineEdit(this)) {
    setWindowTitle(QStringLiteral("Server Properties"));
    m_ip->setObjectName(QStringLiteral("Server_IP"));
    m_port->setObjectName(QStringLiteral("Server_Port"));
    m_port->setRange(0, 65535);
    m_password->setObjectName(QStringLiteral("Server_Password"));
    m_password->setEchoMode(QLineEdit::Password);
    auto *form = new QFormLayout(this);
    form->addRow(QStringLiteral("Telnet IP"), m_ip);
    form->addRow(QStringLiteral("Telnet Port"), m_port);
    form->addRow(QStringLiteral("Password"), m_password);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

QString TServerProperties::ip() const {
    return m_ip->text();
}
int TServerProperties::port() const {
    return m_port->value();
}
QString TServerProperties::password() const {
    return m_password->text();
}

void TServerProperties::setValues(const QString &ip, int port, const QString &password) {
    m_ip->setText(ip);
    m_port->setValue(port);
    m_password->setText(password);
}
