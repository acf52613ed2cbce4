#pragma once

// The table engine's progress window: a borderless stay-on-top box centred over the active
// window with a caption and a row of 100 "|" marks, one removed per advance. It is shown while
// a table of 100 records or more is read from or written to its file.

#include "dbf/progress.h"

#include <QElapsedTimer>
#include <QWidget>

class QLabel;

// A small borderless message window with one line of text.
class TTzMsg : public QWidget {
    Q_OBJECT
public:
    explicit TTzMsg(const QString &caption, QWidget *parent = nullptr);
    QString caption() const;

protected:
    QLabel *m_caption;
};

class TTzProgress100 : public TTzMsg, public dbf::TTzProgress100 {
    Q_OBJECT
public:
    explicit TTzProgress100(const QString &caption, QWidget *parent = nullptr);
    ~TTzProgress100() override;

    void Advance() override;
    // Marks left (100 at the start).
    int marksLeft() const { return m_left; }

    // Whether a progress window is open, i.e. the engine is in the middle of a table copy
    // and its tables must not be read (the grid waits).
    static bool running();

    // The factory the engine builds its progress windows with.
    static dbf::TTzProgressFactory factory();

private:
    void showNow();

    QLabel *m_marks;
    int m_left = 100;
    QElapsedTimer m_sinceShown;
};

// Installs TTzProgress100 as the engine's progress window for its lifetime and puts back
// the previous factory afterwards.
class TzProgressInstaller {
public:
    TzProgressInstaller();
    ~TzProgressInstaller();
    TzProgressInstaller(const TzProgressInstaller &) = delete;
    TzProgressInstaller &operator=(const TzProgressInstaller &) = delete;

private:
    dbf::TTzProgressFactory m_previous;
};
