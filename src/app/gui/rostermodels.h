#pragma once

#include "game/roster.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QList>
#include <array>

// Extra item roles of the roster models.
enum RosterRole {
    HasFlagRole = Qt::UserRole + 1, // bool: the player carries a flag
    ClientIdRole,                   // int: the player's client id
};

// The colour words (0x00BBGGRR) the lists are drawn with, from the colour settings.
struct RosterColors {
    const std::array<quint32, 19> *words = nullptr; // GlobalPrefs::Colors

    QColor background() const { return color(0); }
    QColor generalText() const { return color(1); }
    // Teams 0..3 have their own colour; every other number is drawn in the general colour.
    QColor team(int team) const { return team >= 0 && team <= 3 ? color(6 + team) : color(1); }
    QColor color(size_t index) const;
};

// The player list: one row per listing of a slot, in the order rows were added until the
// next sort. The columns are "Players", "Team" and "Score"; the team number is shown only
// while the team list has more than one row.
class PlayerModel : public QAbstractTableModel {
    Q_OBJECT
public:
    PlayerModel(const RosterColors &colors, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }

    PlayerSlot *slotAt(int row) const { return m_rows.value(row); }
    void append(PlayerSlot &slot);
    void remove(const PlayerSlot &slot);
    void changed(const PlayerSlot &slot);
    void changedAll();
    void clear();
    // Orders the rows by comparePlayers with the key; equal rows keep their order.
    void sortBy(int sortKey);
    // Whether the team column shows numbers (more than one team row).
    void setShowTeams(bool show);

private:
    const RosterColors &m_colors;
    QList<PlayerSlot *> m_rows;
    bool m_showTeams = false;
};

// The team list: the row at position t shows team t of the displayed profile; rows are
// drawn only while there is a profile and more than one row. Columns "Team", "Size", "Score".
class TeamModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TeamModel(const RosterColors &colors, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // The displayed profile's teams (nullptr: none).
    void setTeams(const std::array<TeamSlot, 8> *teams);
    void append(TeamSlot &team);
    void changedAll();
    void clear();

private:
    // Whether rows show anything at all.
    bool drawn() const { return m_teams && m_rows.size() > 1; }

    const RosterColors &m_colors;
    const std::array<TeamSlot, 8> *m_teams = nullptr;
    QList<TeamSlot *> m_rows;
};
