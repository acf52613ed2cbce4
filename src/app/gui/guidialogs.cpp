#include "app/gui/guidialogs.h"

#include "app/gui/colorword.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

void GuiDialogs::message(Icon icon, const QString &text) {
    if (m_answers) return m_answers->message(icon, text);
    static const QMessageBox::Icon icons[] = {QMessageBox::Critical, QMessageBox::Warning,
                                              QMessageBox::Information};
    QMessageBox box(icons[static_cast<int>(icon)], QStringLiteral("Vexmoor"), text, QMessageBox::Ok,
                    m_parent);
    box.exec();
}

bool GuiDialogs::confirm(const QString &text) {
    if (m_answers) return m_answers->confirm(text);
    QMessageBox box(QMessageBox::Question, QStringLiteral("Vexmoor"), text,
                    QMessageBox::Yes | QMessageBox::Abort, m_parent);
    return box.exec() == QMessageBox::Yes;
}

bool GuiDialogs::inputQuery(const QString &caption, const QString &prompt, QString &text) {
    if (m_answers) return m_answers->inputQuery(caption, prompt, text);
    bool ok = false;
    const QString answer =
        QInputDialog::getText(m_parent, caption, prompt, QLineEdit::Normal, text, &ok);
    if (ok) text = answer;
    return ok;
}

void GuiDialogs::beep() {
    if (m_answers) return m_answers->beep();
    QApplication::beep();
}

bool GuiDialogs::fileDialog(bool save, const QString &filter, const QString &defaultExt,
                            QString &fileName) {
    // "Description|*.ext" becomes "Description (*.ext)".
    QString qtFilter = filter;
    if (const qsizetype bar = filter.indexOf(QLatin1Char('|')); bar >= 0)
        qtFilter = filter.left(bar) + QStringLiteral(" (") + filter.mid(bar + 1) + QLatin1Char(')');
    QFileDialog dialog(m_parent, QString(), fileName, qtFilter);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(defaultExt);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    fileName = dialog.selectedFiles().constFirst();
    return true;
}

bool GuiDialogs::openFile(const QString &filter, const QString &defaultExt, QString &fileName) {
    if (m_answers) return m_answers->openFile(filter, defaultExt, fileName);
    return fileDialog(false, filter, defaultExt, fileName);
}

bool GuiDialogs::saveFile(const QString &filter, const QString &defaultExt, QString &fileName) {
    if (m_answers) return m_answers->saveFile(filter, defaultExt, fileName);
    return fileDialog(true, filter, defaultExt, fileName);
}

bool GuiDialogs::chooseFolder(const QString &title, QString &folder) {
    if (m_answers) return m_answers->chooseFolder(title, folder);
    const QString chosen = QFileDialog::getExistingDirectory(m_parent, title, folder);
    if (chosen.isEmpty()) return false;
    folder = chosen;
    return true;
}

bool GuiDialogs::chooseColor(quint32 &color) {
    if (m_answers) return m_answers->chooseColor(color);
    const QColor chosen = QColorDialog::getColor(fromColorWord(color), m_parent);
    if (!chosen.isValid()) return false;
    color = toColorWord(chosen);
    return true;
}
