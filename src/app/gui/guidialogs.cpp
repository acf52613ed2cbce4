#include "app/gui/guidialogs.h"

#include <QApplication>
#include <QColorDialog>
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

bool GuiDialogs::chooseColor(quint32 &color) {
    const QColor chosen = QColorDialog::getColor(
        QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF), m_parent);
    if (!chosen.isValid()) return false;
    color = static_cast<quint32>(chosen.red()) | static_cast<quint32>(chosen.green()) << 8 |
            static_cast<quint32>(chosen.blue()) << 16;
    return true;
}
