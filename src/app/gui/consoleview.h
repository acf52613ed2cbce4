#pragma once

#include <QColor>
#include <QString>
#include <QTextEdit>
#include <deque>

// The console view: one coloured line per console line, never more than fit its height.
// The oldest lines are dropped as new ones come; a long line that wraps goes as a whole.
// A change of size empties it, since the number of lines that fit changed.
//
// Lines given in one go (a burst of console output) are laid out together when the event
// loop next runs: of those, only the ones that can still be on screen are inserted, so a
// burst costs one layout, not one per line, and the document never holds more than fits.
class ConsoleView : public QTextEdit {
    Q_OBJECT
public:
    explicit ConsoleView(QWidget *parent = nullptr);

    // Appends one line in the colour.
    void Console_add(const QString &text, const QColor &color);
    // Empties the view, lines not yet shown included.
    void clearLines();
    // Shows the lines given since the last time (the event loop does this by itself).
    void flush();
    // The view's background.
    void setBackground(const QColor &color);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // The most lines that can be on screen at once (each takes at least one row).
    int lineCapacity() const;
    // Drops the first lines while the content is higher than the view.
    void RemoveFirstLines();

    struct Line {
        QString text;
        QColor color;
    };
    std::deque<Line> m_pending;
    bool m_flushQueued = false;
};
