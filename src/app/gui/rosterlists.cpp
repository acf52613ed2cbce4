#include "app/gui/rosterlists.h"

#include "app/gui/colorword.h"
#include "app/gui/icons.h"

#include <QDrag>
#include <QDragMoveEvent>
#include <QHeaderView>
#include <QPainter>

const QString PlayerDragData::Format = QStringLiteral("application/x-vexmoor-players");

// --- drawing -------------------------------------------------------------------------

void RosterDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                           const QModelIndex &index) const {
    const bool invert = option.state & QStyle::State_Selected;
    const QRect r = option.rect;
    painter->fillRect(r, invert ? m_colors.generalText() : m_colors.background());
    const QString text = index.data(Qt::DisplayRole).toString();
    int x = r.left() + 1;
    if (index.column() == 0 && index.data(HasFlagRole).toBool()) {
        Icons::flag().paint(painter, QRect(x, r.top(), FlagWidth, FlagWidth));
        x = r.left() + FlagWidth + 1;
    }
    if (text.isEmpty()) return;
    painter->save();
    painter->setFont(option.font);
    painter->setPen(invert ? m_colors.background()
                           : index.data(Qt::ForegroundRole).value<QColor>());
    const QRect textRect(x, r.top() + 1, r.right() - x, r.height() - 1);
    painter->setClipRect(r);
    // Under its caption: a column's values take the alignment of its header.
    const auto align =
        index.model()->headerData(index.column(), Qt::Horizontal, Qt::TextAlignmentRole).toInt();
    const Qt::Alignment horizontal = (align & Qt::AlignHCenter) ? Qt::AlignHCenter : Qt::AlignLeft;
    painter->drawText(textRect, horizontal | Qt::AlignTop | Qt::TextSingleLine,
                      option.fontMetrics.elidedText(text, Qt::ElideRight, textRect.width()));
    painter->restore();
}

QSize RosterDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const {
    return QSize(40, qMax(FlagWidth, option.fontMetrics.height() + 2) + 1);
}

RosterList::RosterList(const RosterColors &colors, QWidget *parent)
    : QTreeView(parent), m_colors(colors) {
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setItemsExpandable(false);
    setAllColumnsShowFocus(true);
    setItemDelegate(new RosterDelegate(colors, this));
    header()->setStretchLastSection(true); // no blank strip right of the last column
    header()->setSectionsMovable(false);
    header()->setHighlightSections(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void RosterList::applyColors() {
    QPalette p = palette();
    setEnabledColor(p, QPalette::Base, m_colors.background());
    setEnabledColor(p, QPalette::Text, m_colors.generalText());
    setPalette(p);
    viewport()->update();
}

void RosterList::drawRow(QPainter *painter, const QStyleOptionViewItem &option,
                         const QModelIndex &index) const {
    QStyleOptionViewItem cell = option;
    cell.state.setFlag(QStyle::State_Selected, inverted(index));
    // The whole row, beyond the last column too.
    painter->fillRect(QRect(0, option.rect.top(), viewport()->width(), option.rect.height()),
                      cell.state & QStyle::State_Selected ? m_colors.generalText()
                                                          : m_colors.background());
    const QHeaderView *h = header();
    for (int column = 0; column < h->count(); ++column) {
        if (h->isSectionHidden(column)) continue;
        cell.rect = QRect(h->sectionViewportPosition(column), option.rect.top(),
                          h->sectionSize(column), option.rect.height());
        itemDelegate()->paint(painter, cell, index.siblingAtColumn(column));
    }
}

// --- players -------------------------------------------------------------------------

bool PlayerList::inverted(const QModelIndex &index) const {
    return selectionModel() && selectionModel()->isRowSelected(index.row(), index.parent());
}

void PlayerList::startDrag(Qt::DropActions) {
    if (!selectionModel() || !selectionModel()->hasSelection()) return;
    auto *drag = new QDrag(this);
    drag->setMimeData(new PlayerDragData(this));
    drag->exec(Qt::MoveAction);
}

// --- teams ---------------------------------------------------------------------------

bool TeamList::inverted(const QModelIndex &index) const {
    return index.row() == m_dropRow;
}

bool TeamList::accepts(const QDropEvent *event) const {
    const auto *data = qobject_cast<const PlayerDragData *>(event->mimeData());
    return data && m_dragSource && data->source() == m_dragSource;
}

void TeamList::setDropRow(int row) {
    if (row == m_dropRow) return;
    m_dropRow = row;
    viewport()->update();
}

void TeamList::dragEnterEvent(QDragEnterEvent *event) {
    if (!accepts(event)) return event->ignore();
    event->acceptProposedAction();
}

void TeamList::dragMoveEvent(QDragMoveEvent *event) {
    if (!accepts(event)) return event->ignore();
    setDropRow(indexAt(event->position().toPoint()).row());
    event->acceptProposedAction();
}

void TeamList::dragLeaveEvent(QDragLeaveEvent *) {
    setDropRow(-1);
}

void TeamList::dropEvent(QDropEvent *event) {
    setDropRow(-1);
    if (!accepts(event)) return event->ignore();
    event->acceptProposedAction();
    emit playersDropped(indexAt(event->position().toPoint()).row());
}
