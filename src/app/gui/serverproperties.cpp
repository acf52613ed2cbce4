#include "app/gui/serverproperties.h"

#include "app/gui/guidialogs.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>

TServerProperties::TServerProperties(GuiDialogs &dialogs, QWidget *parent)
    : QDialog(parent), m_dialogs(dialogs), m_ip(new QLineEdit(this)), m_port(new QSpinBox(this)),
      m_password(new QLineEdit(this)) {
    setObjectName(QStringLiteral("TServerProperties"));
    setWindowTitle(QStringLiteral("Server Properties"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint);
    setModal(true);
    m_ip->setObjectName(QStringLiteral("Server_IP"));
    m_port->setObjectName(QStringLiteral("Server_Port"));
    // Any number can be typed; OK refuses one outside the port range with a message.
    m_port->setRange(-999999, 999999);
    m_port->setValue(0);
    m_password->setObjectName(QStringLiteral("Server_Password"));
    m_password->setEchoMode(QLineEdit::Password);
    // Room for a host name or an IPv6 address, a port and a long password.
    const int wide = fontMetrics().horizontalAdvance(QLatin1Char('0')) * 32;
    m_ip->setMinimumWidth(wide);
    m_password->setMinimumWidth(wide);
    m_port->setMinimumWidth(wide / 3);
    auto *form = new QFormLayout(this);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(QStringLiteral("Telnet IP"), m_ip);
    form->addRow(QStringLiteral("Telnet Port"), m_port);
    form->addRow(QStringLiteral("Password"), m_password);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &TServerProperties::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
    form->setSizeConstraint(QLayout::SetFixedSize);
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

QString TServerProperties::checkAddress(const QString &ip, int port) {
    if (ip.isEmpty())
        return QStringLiteral("Please enter the telnet IP or host name of the server.");
    const bool control = std::any_of(
        ip.cbegin(), ip.cend(), [](QChar c) { return c.unicode() < 32 || c.unicode() == 127; });
    if (control || ip.contains(QLatin1Char('/')) || ip.contains(QLatin1Char('\\')) ||
        ip.contains(QLatin1String("..")) || ip.contains(QLatin1Char(':')))
        return QStringLiteral("The telnet IP \"%1\" can not be used: it may not contain a path "
                              "separator, \"..\", a colon or a control character.")
            .arg(control ? QStringLiteral("?") : ip);
    if (port < 1 || port > 65535)
        return QStringLiteral("The telnet port must be a number from 1 to 65535.");
    return QString();
}

void TServerProperties::accept() {
    QString problem = checkAddress(ip(), port());
    if (problem.isEmpty() && m_conflict) problem = m_conflict(ip(), port());
    if (!problem.isEmpty()) {
        m_dialogs.message(GuiDialogs::Icon::Warning, problem);
        return;
    }
    QDialog::accept();
}
