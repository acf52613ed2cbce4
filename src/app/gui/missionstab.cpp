#include "app/gui/missionstab.h"

#include "app/core/settings.h"
#include "app/gui/guidialogs.h"
#include "missions/missions.h"
#include "session/context.h"

#include <QApplication>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <functional>

namespace {

// The mission-list file choosers: filter and default extension.
struct FileDialogKind {
    QString filter;
    QString defaultExt;
};
const FileDialogKind VXLSaveDialog{QStringLiteral("Vexmoor Mission List|*.vxl"),
                                   QStringLiteral("vxl")};
const FileDialogKind VXLOpenDialog = VXLSaveDialog;
const QString MissionRowFormat = QStringLiteral("application/x-vexmoor-mission-row");
constexpr int MissionRole = Qt::UserRole;

// The current-mission image: a small flag, drawn at the screen's pixel density. The other
// rows get an empty image of the same size so that every name starts at the same place.
QPixmap emptyRowImage() {
    const qreal dpr = qApp->devicePixelRatio();
    QPixmap pixmap(QSize(16, 16) * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QIcon currentMissionIcon() {
    QPixmap pixmap = emptyRowImage();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.drawLine(QPointF(4, 2), QPointF(4, 14.5));
    QPainterPath flag;
    flag.moveTo(4.5, 2.5);
    flag.lineTo(13.5, 5.5);
    flag.lineTo(4.5, 8.5);
    flag.closeSubpath();
    p.fillPath(flag, QColor(0, 160, 60));
    return QIcon(pixmap);
}

} // namespace

// The mission list: a drag carries the list's own mark, so only a drag that started on this
// list is accepted; the drop is handed to the page instead of moving items itself.
class MissionList : public QTreeWidget {
public:
    explicit MissionList(QWidget *parent) : QTreeWidget(parent) {}

    std::function<void(int target)> dropped;

protected:
    QStringList mimeTypes() const override { return {MissionRowFormat}; }
    QMimeData *mimeData(const QList<QTreeWidgetItem *> &) const override {
        auto *data = new QMimeData;
        data->setData(MissionRowFormat, ownMark());
        return data;
    }
    void dragEnterEvent(QDragEnterEvent *event) override { acceptOwn(event); }
    void dragMoveEvent(QDragMoveEvent *event) override { acceptOwn(event); }
    void dropEvent(QDropEvent *event) override {
        if (!isOwn(event)) return event->ignore();
        const QModelIndex target = indexAt(event->position().toPoint());
        event->setDropAction(Qt::IgnoreAction); // the page moves the row
        event->accept();
        if (dropped) dropped(target.isValid() ? target.row() : -1);
    }

private:
    QByteArray ownMark() const {
        return QByteArray::number(QCoreApplication::applicationPid()) + ':' +
               QByteArray::number(reinterpret_cast<quintptr>(this));
    }
    bool isOwn(const QDropEvent *event) const {
        return event->mimeData()->data(MissionRowFormat) == ownMark();
    }
    void acceptOwn(QDragMoveEvent *event) {
        if (isOwn(event))
            event->acceptProposedAction();
        else
            event->ignore();
    }
};

MissionsTab::MissionsTab(TabContext &context, QWidget *parent) : Tab(context, parent) {
    m_list = new MissionList(this);
    m_list->setObjectName(QStringLiteral("Display_MissionList"));
    m_list->setColumnCount(3);
    m_list->setHeaderLabels(
        {QStringLiteral("Mission"), QStringLiteral("Type"), QStringLiteral("Enable")});
    m_list->headerItem()->setTextAlignment(2, Qt::AlignCenter);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setDragEnabled(true);
    m_list->setAcceptDrops(true);
    m_list->setDragDropMode(QAbstractItemView::DragDrop);
    m_list->setDefaultDropAction(Qt::MoveAction);
    m_list->setColumnWidth(0, 200);
    m_list->setColumnWidth(1, 149);
    QHeaderView *header = m_list->header();
    header->setSectionsClickable(true);
    header->setStretchLastSection(true);
    showSortColumn(false); // catalogue order until the operator sorts

    m_random = commandButton("Button_Random", QStringLiteral("Randomize"),
                             QStringLiteral("Shuffle the mission rotation"));
    m_load = commandButton("Button_LoadMissions", QStringLiteral("Load..."),
                           QStringLiteral("Load Mission List"));
    m_save = commandButton("Button_SaveMissions", QStringLiteral("Save..."),
                           QStringLiteral("Save Mission List"));
    m_exec = commandButton("Button_ExecMission", QStringLiteral("Exec Mission"),
                           QStringLiteral("Load the selected mission now"));
    m_next = commandButton("Button_NextMission", QStringLiteral("Next Mission"),
                           QStringLiteral("Go on to the next mission"));

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(m_exec);
    buttons->addWidget(m_next);
    buttons->addSpacing(16);
    buttons->addWidget(m_random);
    buttons->addSpacing(16);
    buttons->addWidget(m_load);
    buttons->addWidget(m_save);
    buttons->addStretch();
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);

    connect(header, &QHeaderView::sectionClicked, this,
            &MissionsTab::Display_MissionListColumnClick);
    m_list->dropped = [this](int target) { Display_MissionListDragDrop(target); };
    connect(m_list, &QTreeWidget::itemDoubleClicked, this,
            &MissionsTab::Display_MissionListDblClick);
    connect(m_random, &QPushButton::clicked, this, &MissionsTab::Button_RandomClick);
    connect(m_load, &QPushButton::clicked, this, &MissionsTab::Button_LoadMissionsClick);
    connect(m_save, &QPushButton::clicked, this, &MissionsTab::Button_SaveMissionsClick);
    connect(m_exec, &QPushButton::clicked, this, &MissionsTab::Button_ExecMissionClick);
    connect(m_next, &QPushButton::clicked, this, &MissionsTab::Button_NextMissionClick);
}

void MissionsTab::setMissions(Missions *missions, const QString &section) {
    m_missions = missions;
    m_section = section;
    if (!missions) m_list->clear();
    showSortColumn(false);
}

void MissionsTab::applyColors() {
    applyTextColors(m_context.Prefs, {m_list});
}

void MissionsTab::showSortColumn(bool sorted) {
    QHeaderView *header = m_list->header();
    header->setSortIndicatorShown(sorted);
    if (sorted) header->setSortIndicator(m_context.Server.MissionSortColumn, Qt::AscendingOrder);
}

// --- the rows ----------------------------------------------------------------------------

void MissionsTab::fillItem(QTreeWidgetItem &item, const TMission &mission) const {
    static const QIcon marker = currentMissionIcon();
    static const QIcon none(emptyRowImage());
    item.setText(0, mission.Name);
    item.setText(1, mission.MissionType);
    item.setText(2, enableText(mission));
    item.setTextAlignment(2, Qt::AlignCenter);
    item.setIcon(0, mission.Marked ? marker : none);
    item.setData(0, MissionRole, QVariant::fromValue(quintptr(&mission)));
    item.setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
}

void MissionsTab::insertMissionRow(int row, const TMission &mission) {
    auto *item = new QTreeWidgetItem;
    fillItem(*item, mission);
    m_list->insertTopLevelItem(row, item);
}

void MissionsTab::removeMissionRow(int row) {
    delete m_list->takeTopLevelItem(row);
}

void MissionsTab::redrawMissionRow(int row, const TMission &mission) {
    if (QTreeWidgetItem *item = m_list->topLevelItem(row)) fillItem(*item, mission);
}

void MissionsTab::reorderMissionRows(const QList<TMission *> &rows) {
    const QTreeWidgetItem *selected = m_list->currentItem();
    const quintptr keep = selected ? selected->data(0, MissionRole).value<quintptr>() : 0;
    m_list->clear();
    for (int row = 0; row < rows.size(); ++row)
        insertMissionRow(row, *rows.at(row));
    selectMission(reinterpret_cast<const TMission *>(keep));
    showSortColumn(true); // only a sort reorders the rows
}

void MissionsTab::clearMissionList() {
    m_list->clear();
    showSortColumn(false); // refilled in catalogue order
}

void MissionsTab::showMissionName(const QString &name) {
    emit missionPanelChanged(2, name);
}

void MissionsTab::showMissionType(const QString &type) {
    emit missionPanelChanged(3, type);
}

void MissionsTab::showTimeLeft(const QString &text) {
    emit missionPanelChanged(4, text);
}

int MissionsTab::selectedRow() const {
    const QList<QTreeWidgetItem *> items = m_list->selectedItems();
    return items.isEmpty() ? -1 : m_list->indexOfTopLevelItem(items.constFirst());
}

void MissionsTab::selectMission(const TMission *mission) {
    if (!mission) return;
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        QTreeWidgetItem *item = m_list->topLevelItem(row);
        if (item->data(0, MissionRole).value<quintptr>() == quintptr(mission)) {
            m_list->setCurrentItem(item);
            return;
        }
    }
}

// --- the operator's actions --------------------------------------------------------------

void MissionsTab::Display_MissionListColumnClick(int column) {
    if (m_missions)
        m_missions->ColumnClick(column);
    else
        m_context.Server.MissionSortColumn = column;
    showSortColumn(m_missions && m_list->topLevelItemCount() > 0);
}

void MissionsTab::Display_MissionListDragDrop(int target) {
    const int source = selectedRow();
    if (!m_missions || source < 0 || source == target) return;
    const TMission *moved = m_missions->Rows.value(source);
    m_missions->DragDrop(source, target);
    selectMission(moved);
    showSortColumn(false); // the operator's order now
}

void MissionsTab::Display_MissionListDblClick(QTreeWidgetItem *item) {
    if (m_missions && item) m_missions->ToggleEnabled(m_list->indexOfTopLevelItem(item));
}

void MissionsTab::Button_RandomClick() {
    if (m_missions) m_missions->Randomize();
}

void MissionsTab::Button_SaveMissionsClick() {
    if (!m_missions) return;
    QString fileName = m_context.Settings.read(m_section, QStringLiteral("LastMissionList"));
    if (m_context.Dialogs.saveFile(VXLSaveDialog.filter, VXLSaveDialog.defaultExt, fileName))
        m_missions->SaveMissionList(fileName);
}

void MissionsTab::Button_LoadMissionsClick() {
    if (!m_missions) return;
    QString fileName = m_context.Settings.read(m_section, QStringLiteral("LastMissionList"));
    if (m_context.Dialogs.openFile(VXLOpenDialog.filter, VXLOpenDialog.defaultExt, fileName))
        m_missions->LoadMissionList(fileName);
}

void MissionsTab::Button_NextMissionClick() {
    if (m_missions) m_missions->NextMission();
}

void MissionsTab::Button_ExecMissionClick() {
    if (m_missions) m_missions->ExecMission(selectedRow());
}
