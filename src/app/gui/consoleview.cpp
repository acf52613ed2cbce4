#include "app/gui/consoleview.h"

#include "app/gui/colorword.h"

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

int ConsoleView::lineCapacity() const {
    return qMax(1, viewport()->height() / qMax(1, fontMetrics().lineSpacing()) + 1);
}

void ConsoleView::Console_add(const QString &text, const QColor &color) {
    m_pending.push_back({text, color});
    // Older lines of the same burst would be pushed out before anyone sees them.
    while (static_cast<int>(m_pending.size()) > lineCapacity())
        m_pending.pop_front();
    if (m_flushQueued) return;
    m_flushQueued = true;
    QMetaObject::invokeMethod(this, &ConsoleView::flush, Qt::QueuedConnection);
}

void ConsoleView::flush() {
    m_flushQueued = false;
    if (m_pending.empty()) return;
    QTextDocument *doc = document();
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    for (const Line &line : m_pending) {
        QTextCharFormat format;
        format.setForeground(line.color);
        if (!doc->isEmpty()) cursor.insertBlock(QTextBlockFormat(), format);
        cursor.insertText(line.text, format);
    }
    cursor.endEditBlock();
    m_pending.clear();
    RemoveFirstLines();
}

void ConsoleView::RemoveFirstLines() {
    QTextDocument *doc = document();
    QAbstractTextDocumentLayout *layout = doc->documentLayout();
    const qreal room = viewport()->height();
    if (doc->blockCount() <= 1 || layout->documentSize().height() <= room) return;
    // The newest lines that fit, counted from the bottom; everything above them goes at once.
    qreal used = 2 * doc->documentMargin();
    QTextBlock keep = doc->lastBlock();
    for (QTextBlock b = doc->lastBlock(); b.isValid(); b = b.previous()) {
        used += layout->blockBoundingRect(b).height();
        if (used > room && b != doc->lastBlock()) break;
        keep = b;
    }
    if (keep != doc->firstBlock()) {
        QTextCursor first(doc);
        first.setPosition(keep.position(), QTextCursor::KeepAnchor);
        first.removeSelectedText();
    }
    // Whatever still sticks out (a rounding of the heights) goes line by line.
    while (doc->blockCount() > 1 && layout->documentSize().height() > room) {
        QTextCursor first(doc->firstBlock());
        first.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
        first.removeSelectedText();
    }
}

void ConsoleView::clearLines() {
    m_pending.clear();
    clear();
}

void ConsoleView::setBackground(const QColor &color) {
    QPalette p = palette();
    setEnabledColor(p, QPalette::Base, color);
    setPalette(p);
}

void ConsoleView::resizeEvent(QResizeEvent *event) {
    QTextEdit::resizeEvent(event);
    if (event->size() != event->oldSize()) clearLines();
}
