#include "app/gui/guidialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

void GuiDialogs::message(Icon icon, const QString &text) {
    static const QMessageBox::Icon icons[] = {QMessageBox::Critical, QMessageBox::Warning,
                                              QMessageBox::Information};
    QMessageBox box(icons[static_cast<int>(icon)], QStringLiteral("Vexmoor"), text, QMessageBox::Ok,
                    m_parent);
    box.exec();
}

bool GuiDialogs::confirm(const QString &text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Vexmoor"), text,
                    QMessageBox::Yes | QMessageBox::Abort, m_parent);
    return box.exec() == QMessageBox::Yes;
}

bool GuiDialogs::inputQuery(const QString &caption, const QString &prompt, QString &text) {
    bool ok = false;
    const QString answer =
        QInputDialog::getText(m_parent, caption, prompt, QLineEdit::Normal, text, &ok);
    if (ok) text = answer;
    return ok;
}

void GuiDialogs::beep() {
    QApplication::beep();
}
