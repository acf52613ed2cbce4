#pragma once

#include <QTextEdit>

// The console view: one coloured line per console line, never more than fit its height.
// The oldest lines are dropped as new ones come; a long line that wraps goes as a whole.
// A change of size empties it, since the number of lines that fit changed.
class ConsoleView : public QTextEdit {
    Q_OBJECT
public:
    explicit ConsoleView(QWidget *parent = nullptr);

    // Appends one line in the colour.
    void Console_add(const QString &text, const QColor &color);
    // The view's background.
    void setBackground(const QColor &color);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // Drops the first line while the content is higher than the view.
    void RemoveFirstLines();
};
