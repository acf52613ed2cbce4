#pragma once

// Shared pieces of the widget tests: finding controls by object name and answering the
// window's real modal boxes.

#include <QApplication>
#include <QDeadlineTimer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <stdexcept>

namespace testing_support {

// The control of w with the object name; a missing one ends the test with a failure that
// names it (gtest reports the exception), instead of a crash further on.
template <typename T = QWidget> T *child(const QWidget &w, const QString &name) {
    T *found = w.findChild<T *>(name);
    if (!found)
        throw std::runtime_error("no control " + name.toStdString() + " of the expected type");
    return found;
}
template <typename T = QWidget> T *child(const QWidget &w, const char *name) {
    return child<T>(w, QString::fromLatin1(name));
}

// Hands the next modal box that opens within timeoutMs (message box, question, input
// dialog) to answer, which must close it. Returns at once; the box opens later, from the
// code under test. A box that never opens leaves nothing behind to answer a later one.
inline void answerNextBox(std::function<void(QWidget &)> answer, int timeoutMs = 5000) {
    auto *poll = new QTimer;
    poll->setInterval(10);
    auto deadline = std::make_shared<QDeadlineTimer>(timeoutMs);
    QObject::connect(poll, &QTimer::timeout, [poll, deadline, answer = std::move(answer)] {
        QWidget *box = QApplication::activeModalWidget();
        if (!box && !deadline->hasExpired()) return;
        poll->stop();
        poll->deleteLater();
        if (box) answer(*box);
    });
    poll->start();
}

} // namespace testing_support
