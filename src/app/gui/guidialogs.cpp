#include "app/gui/guidialogs.h"

#include "app/gui/colorword.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>

GuiDialogs::GuiDialogs()
    : m_scripted(QGuiApplication::platformName() == QLatin1String("offscreen")) {}

void GuiDialogs::queueAnswer(bool ok, const QString &text) {
    m_answers.push_back({ok, text, 0, {}});
}

void GuiDialogs::queueDialog(std::function<void(QDialog &)> fill) {
    m_answers.push_back({true, QString(), 0, std::move(fill)});
}

void GuiDialogs::queueColor(quint32 color) {
    m_answers.push_back({true, QString(), color, {}});
}

bool GuiDialogs::answered(Box box, const QString &text, Answer &answer) {
    m_shown.append({box, text});
    if (!m_answers.empty()) {
        answer = m_answers.front();
        m_answers.pop_front();
        return true;
    }
    answer = Answer{};
    return m_scripted;
}

bool GuiDialogs::exec(QDialog &dialog) {
    Answer a;
    if (answered(Box::Dialog, dialog.windowTitle(), a)) {
        dialog.setResult(QDialog::Rejected);
        if (a.fill) a.fill(dialog);
        if (a.ok) dialog.accept();
        return dialog.result() == QDialog::Accepted;
    }
    return dialog.exec() == QDialog::Accepted;
}

void GuiDialogs::message(Icon icon, const QString &text) {
    if (m_delegate) return m_delegate->message(icon, text);
    m_shown.append({Box::Message, text});
    if (m_scripted) return;
    static const QMessageBox::Icon icons[] = {QMessageBox::Critical, QMessageBox::Warning,
                                              QMessageBox::Information};
    QMessageBox box(icons[static_cast<int>(icon)], QStringLiteral("Vexmoor"), text, QMessageBox::Ok,
                    m_parent);
    box.setTextFormat(Qt::PlainText); // server texts (host names, missions) are never markup
    box.exec();
}

bool GuiDialogs::confirm(const QString &text) {
    if (m_delegate) return m_delegate->confirm(text);
    Answer a;
    if (answered(Box::Confirm, text, a)) return a.ok;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Vexmoor"), text,
                    QMessageBox::Yes | QMessageBox::Abort, m_parent);
    box.setTextFormat(Qt::PlainText);
    // Every question guards a destructive step: Enter and Escape both abort it.
    box.setDefaultButton(QMessageBox::Abort);
    box.setEscapeButton(QMessageBox::Abort);
    return box.exec() == QMessageBox::Yes;
}

bool GuiDialogs::inputQuery(const QString &caption, const QString &prompt, QString &text) {
    if (m_delegate) return m_delegate->inputQuery(caption, prompt, text);
    Answer a;
    if (answered(Box::Input, prompt, a)) {
        if (a.ok) text = a.text;
        return a.ok;
    }
    QInputDialog dialog(m_parent);
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setTextValue(text);
    // Prompts carry team and player names: shown as text, never as markup.
    for (QLabel *label : dialog.findChildren<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    if (dialog.exec() != QDialog::Accepted) return false;
    text = dialog.textValue();
    return true;
}

void GuiDialogs::beep() {
    if (m_delegate) return m_delegate->beep();
    ++m_beeps;
    QApplication::beep();
}

bool GuiDialogs::fileDialog(bool save, const QString &filter, const QString &defaultExt,
                            QString &fileName) {
    Answer a;
    if (answered(save ? Box::SaveFile : Box::OpenFile, filter, a)) {
        if (!a.ok || a.text.isEmpty()) return false;
        fileName = a.text;
        if (save && !defaultExt.isEmpty() && QFileInfo(fileName).suffix().isEmpty())
            fileName += QLatin1Char('.') + defaultExt;
        return true;
    }
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
    if (m_delegate) return m_delegate->openFile(filter, defaultExt, fileName);
    return fileDialog(false, filter, defaultExt, fileName);
}

bool GuiDialogs::saveFile(const QString &filter, const QString &defaultExt, QString &fileName) {
    if (m_delegate) return m_delegate->saveFile(filter, defaultExt, fileName);
    return fileDialog(true, filter, defaultExt, fileName);
}

bool GuiDialogs::chooseFolder(const QString &title, QString &folder) {
    if (m_delegate) return m_delegate->chooseFolder(title, folder);
    Answer a;
    if (answered(Box::Folder, title, a)) {
        if (a.ok) folder = a.text;
        return a.ok;
    }
    const QString chosen = QFileDialog::getExistingDirectory(
        m_parent, title, folder, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (chosen.isEmpty()) return false;
    folder = QFileInfo(chosen).absoluteFilePath();
    return true;
}

bool GuiDialogs::chooseColor(quint32 &color) {
    if (m_delegate) return m_delegate->chooseColor(color);
    Answer a;
    if (answered(Box::Color, QString(), a)) {
        if (a.ok) color = a.color & 0x00FFFFFFu;
        return a.ok;
    }
    const QColor chosen = QColorDialog::getColor(fromColorWord(color), m_parent);
    if (!chosen.isValid()) return false;
    color = toColorWord(chosen);
    return true;
}
