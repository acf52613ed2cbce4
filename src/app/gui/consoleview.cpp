#include "app/gui/consoleview.h"

#include <QAbstractTextDocumentLayout>
#include <QResizeEvent>
#include <QTextBlock>
#include <QTextCursor>

ConsoleView::ConsoleView(QWidget *parent) : QTextEdit(parent) {
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QTextEdit::WidgetWidth);
    // The content never outgrows the view, so there is nothing to scroll to.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QFont f = font();
    f.setPointSize(8);
    setFont(f);
    document()->setDocumentMargin(2);
}

void ConsoleView::Console_add(const QString &text, const QColor &color) {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(color);
    if (!document()->isEmpty()) cursor.insertBlock(QTextBlockFormat(), format);
    cursor.insertText(text, format);
    RemoveFirstLines();
}

void ConsoleView::RemoveFirstLines() {
    QTextDocument *doc = document();
    const qreal room = viewport()->height();
    while (doc->blockCount() > 1 && doc->documentLayout()->documentSize().height() > room) {
        QTextCursor first(doc->firstBlock());
        first.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
        first.removeSelectedText();
    }
}

void ConsoleView::setBackground(const QColor &color) {
    QPalette p = palette();
    p.setColor(QPalette::Base, color);
    setPalette(p);
}

void ConsoleView::resizeEvent(QResizeEvent *event) {
    QTextEdit::resizeEvent(event);
    if (event->size() != event->oldSize()) clear();
}
