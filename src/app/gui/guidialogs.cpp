#include "app/gui/guidialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>

namespace {
QColor fromWord(quint32 c) {
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}
quint32 toWord(const QColor &c) {
    return quint32(c.red()) | quint32(c.green()) << 8 | quint32(c.blue()) << 16;
}
} // namespace

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
    m_shown.append({Box::Message, text});
    if (m_scripted) return;
    static const QMessageBox::Icon icons[] = {QMessageBox::Critical, QMessageBox::Warning,
                                              QMessageBox::Information};
    QMessageBox box(icons[static_cast<int>(icon)], QStringLiteral("Vexmoor"), text, QMessageBox::Ok,
                    m_parent);
    box.exec();
}

bool GuiDialogs::confirm(const QString &text) {
    Answer a;
    if (answered(Box::Confirm, text, a)) return a.ok;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Vexmoor"), text,
                    QMessageBox::Yes | QMessageBox::Abort, m_parent);
    return box.exec() == QMessageBox::Yes;
}

bool GuiDialogs::inputQuery(const QString &caption, const QString &prompt, QString &text) {
    Answer a;
    if (answered(Box::Input, prompt, a)) {
        if (a.ok) text = a.text;
        return a.ok;
    }
    bool ok = false;
    const QString answer =
        QInputDialog::getText(m_parent, caption, prompt, QLineEdit::Normal, text, &ok);
    if (ok) text = answer;
    return ok;
}

void GuiDialogs::beep() {
    ++m_beeps;
    QApplication::beep();
}

bool GuiDialogs::chooseColor(quint32 &color) {
    Answer a;
    if (answered(Box::Color, QString(), a)) {
        if (a.ok) color = a.color & 0x00FFFFFFu;
        return a.ok;
    }
    const QColor chosen = QColorDialog::getColor(fromWord(color), m_parent);
    if (!chosen.isValid()) return false;
    color = toWord(chosen);
    return true;
}

bool GuiDialogs::openFileName(const QString &caption, const QString &filter, QString &fileName) {
    Answer a;
    if (answered(Box::OpenFile, caption, a)) {
        if (a.ok) fileName = a.text;
        return a.ok;
    }
    const QString chosen = QFileDialog::getOpenFileName(m_parent, caption, fileName, filter);
    if (chosen.isEmpty()) return false;
    fileName = chosen;
    return true;
}

bool GuiDialogs::saveFileName(const QString &caption, const QString &filter,
                              const QString &defaultExtension, QString &fileName) {
    Answer a;
    QString chosen;
    if (answered(Box::SaveFile, caption, a)) {
        if (!a.ok) return false;
        chosen = a.text;
    } else {
        QFileDialog box(m_parent, caption, fileName, filter);
        box.setAcceptMode(QFileDialog::AcceptSave);
        box.setDefaultSuffix(defaultExtension);
        if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) return false;
        chosen = box.selectedFiles().constFirst();
    }
    if (chosen.isEmpty()) return false;
    if (!defaultExtension.isEmpty() && QFileInfo(chosen).suffix().isEmpty())
        chosen += QLatin1Char('.') + defaultExtension;
    fileName = chosen;
    return true;
}

bool GuiDialogs::chooseFolder(const QString &title, QString &dir) {
    Answer a;
    if (answered(Box::Folder, title, a)) {
        if (a.ok) dir = a.text;
        return a.ok;
    }
    const QString chosen = QFileDialog::getExistingDirectory(
        m_parent, title, dir, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (chosen.isEmpty()) return false;
    dir = QFileInfo(chosen).absoluteFilePath();
    return true;
}
