#pragma once

#include "app/gui/rostermodels.h"

#include <QMimeData>
#include <QStyledItemDelegate>
#include <QTreeView>

// Draws one cell of a roster row: the cell filled with the row's background, the text at
// one pixel from the left and top, the flag before a player's name. A selected row (the
// drop target, in the team list) is inverted: general text colour behind background-coloured
// text.
class RosterDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    RosterDelegate(const RosterColors &colors, QObject *parent = nullptr)
        : QStyledItemDelegate(parent), m_colors(colors) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // Width of the flag and its gap before the name.
    static constexpr int FlagWidth = 16;

private:
    const RosterColors &m_colors;
};

// A report-style list whose rows are drawn whole by the roster delegate: the row is filled
// across the view's width, each column is drawn by the delegate, no focus frame.
class RosterList : public QTreeView {
    Q_OBJECT
public:
    RosterList(const RosterColors &colors, QWidget *parent = nullptr);
    // The list's background from the colour settings.
    void applyColors();

protected:
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option,
                 const QModelIndex &index) const override;
    // Whether the row is drawn inverted.
    virtual bool inverted(const QModelIndex &index) const = 0;

    const RosterColors &m_colors;
};

// The player list: multiple selection; a drag of the selection starts by itself.
class PlayerList : public RosterList {
    Q_OBJECT
public:
    using RosterList::RosterList;

protected:
    bool inverted(const QModelIndex &index) const override;
    void startDrag(Qt::DropActions supportedActions) override;
};

// What a drag of players carries: the list it started from. The team list takes only
// drags that come from its player list.
class PlayerDragData : public QMimeData {
    Q_OBJECT
public:
    static const QString Format;
    explicit PlayerDragData(const QObject *source) : m_source(source) {
        setData(Format, QByteArray());
    }
    const QObject *source() const { return m_source; }

private:
    const QObject *m_source;
};

// The team list: takes drops of players; the row under a drag is inverted.
class TeamList : public RosterList {
    Q_OBJECT
public:
    using RosterList::RosterList;
    // The list whose drags are taken.
    void setDragSource(const QObject *source) { m_dragSource = source; }
    int dropRow() const { return m_dropRow; }

signals:
    // Players were dropped on the row (-1: not on a row).
    void playersDropped(int row);

protected:
    bool inverted(const QModelIndex &index) const override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    bool accepts(const QDropEvent *event) const;
    void setDropRow(int row);

    const QObject *m_dragSource = nullptr;
    int m_dropRow = -1;
};
