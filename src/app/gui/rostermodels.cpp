#include "app/gui/rostermodels.h"

#include "app/gui/colorword.h"

#include <QColor>
#include <algorithm>
#include <numeric>

QColor RosterColors::color(size_t index) const {
    return fromColorWord(words ? (*words)[index] : 0);
}

namespace {
// A column's caption and alignment; its values are drawn with the same alignment.
QVariant header(int section, Qt::Orientation orientation, int role,
                const std::array<const char *, 3> &captions, const std::array<bool, 3> &centred) {
    if (orientation != Qt::Horizontal || section < 0 || section > 2) return {};
    if (role == Qt::DisplayRole) return QString::fromLatin1(captions[size_t(section)]);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(centred[size_t(section)] ? Qt::AlignCenter
                                                            : Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}
} // namespace

// --- players -------------------------------------------------------------------------

PlayerModel::PlayerModel(const RosterColors &colors, QObject *parent)
    : QAbstractTableModel(parent), m_colors(colors) {}

int PlayerModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int PlayerModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant PlayerModel::data(const QModelIndex &index, int role) const {
    const PlayerSlot *p = slotAt(index.row());
    if (!p) return {};
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == 0) return p->Name;
        if (index.column() == 1) return m_showTeams ? QString::number(p->Team) : QString();
        return QString::number(p->Score);
    case Qt::ForegroundRole:
        return m_colors.team(p->Team);
    case Qt::BackgroundRole:
        return m_colors.background();
    case HasFlagRole:
        return p->HasFlag;
    case ClientIdRole:
        return p->ClientId;
    default:
        return {};
    }
}

QVariant PlayerModel::headerData(int section, Qt::Orientation orientation, int role) const {
    return header(section, orientation, role, {"Players", "Team", "Score"}, {false, false, true});
}

Qt::ItemFlags PlayerModel::flags(const QModelIndex &index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled
                           : Qt::NoItemFlags;
}

void PlayerModel::append(PlayerSlot &slot) {
    const int row = int(m_rows.size());
    beginInsertRows({}, row, row);
    m_rows.append(&slot);
    endInsertRows();
}

void PlayerModel::remove(const PlayerSlot &slot) {
    for (int row = int(m_rows.size()) - 1; row >= 0; --row) {
        if (m_rows[row] != &slot) continue;
        beginRemoveRows({}, row, row);
        m_rows.removeAt(row);
        endRemoveRows();
    }
}

void PlayerModel::changed(const PlayerSlot &slot) {
    for (int row = 0; row < int(m_rows.size()); ++row)
        if (m_rows[row] == &slot) emit dataChanged(index(row, 0), index(row, 2));
}

void PlayerModel::changedAll() {
    if (!m_rows.isEmpty()) emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, 2));
}

void PlayerModel::clear() {
    if (m_rows.isEmpty()) return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void PlayerModel::sortBy(int sortKey) {
    QList<int> order(m_rows.size()); // new position -> old row
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [this, sortKey](int a, int b) {
        return comparePlayers(*m_rows[a], *m_rows[b], sortKey) < 0;
    });
    if (std::is_sorted(order.begin(), order.end())) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QList<int> moved(order.size()); // old row -> new position
    QList<PlayerSlot *> rows(order.size());
    for (int r = 0; r < int(order.size()); ++r) {
        moved[order[r]] = r;
        rows[r] = m_rows[order[r]];
    }
    m_rows = rows;
    // The persistent indexes (among them the selection) follow their rows.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &i : before)
        after.append(index(moved[i.row()], i.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void PlayerModel::setShowTeams(bool show) {
    if (show == m_showTeams) return;
    m_showTeams = show;
    changedAll();
}

// --- teams ---------------------------------------------------------------------------

TeamModel::TeamModel(const RosterColors &colors, QObject *parent)
    : QAbstractTableModel(parent), m_colors(colors) {}

int TeamModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TeamModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant TeamModel::data(const QModelIndex &index, int role) const {
    const int t = index.row();
    if (!index.isValid() || t >= int(m_rows.size())) return {};
    switch (role) {
    case Qt::DisplayRole: {
        if (!drawn() || t >= int(m_teams->size())) return QString();
        const TeamSlot &team = (*m_teams)[size_t(t)];
        if (index.column() == 0) return m_rows[t]->Name;
        return QString::number(index.column() == 1 ? team.Size : team.Score);
    }
    case Qt::ForegroundRole:
        return m_colors.team(t);
    case Qt::BackgroundRole:
        return m_colors.background();
    default:
        return {};
    }
}

QVariant TeamModel::headerData(int section, Qt::Orientation orientation, int role) const {
    return header(section, orientation, role, {"Team", "Size", "Score"}, {false, true, true});
}

Qt::ItemFlags TeamModel::flags(const QModelIndex &index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsDropEnabled : Qt::ItemIsDropEnabled;
}

void TeamModel::setTeams(const std::array<TeamSlot, 8> *teams) {
    m_teams = teams;
    changedAll();
}

void TeamModel::append(TeamSlot &team) {
    const int row = int(m_rows.size());
    beginInsertRows({}, row, row);
    m_rows.append(&team);
    endInsertRows();
    // A second row makes every row drawn.
    changedAll();
}

void TeamModel::changedAll() {
    if (!m_rows.isEmpty()) emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, 2));
}

void TeamModel::clear() {
    if (m_rows.isEmpty()) return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}
