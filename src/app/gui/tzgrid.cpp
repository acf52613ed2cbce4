#include "app/gui/tzgrid.h"

#include "app/gui/tzprogress.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

namespace {
// How long the grid lets dataset notifications gather before it catches up: a burst of
// record commands costs one repaint, and a flood of them at most 20 repaints a second.
constexpr int SyncDelayMs = 50;
constexpr int TextMargin = 2;
constexpr int ResizeGrip = 3;
constexpr int MinColumnWidth = 8;
} // namespace

// --- data link -----------------------------------------------------------------------------

bool TTzGridDataLink::readRow(std::int32_t recNo, std::vector<std::string> &texts, bool &deleted) {
    if (!Active()) return false;
    ++m_rowsRead;
    return DataSet()->ReadRow(recNo, texts, deleted);
}

void TTzGridDataLink::ActiveChanged() {
    m_grid.dataChanged(true);
}
void TTzGridDataLink::LayoutChanged() {
    m_grid.dataChanged(true);
}
void TTzGridDataLink::DataSetChanged() {
    m_grid.dataChanged(false);
}
void TTzGridDataLink::DataSetScrolled(int) {
    m_grid.dataChanged(false);
}
void TTzGridDataLink::RecordChanged(dbf::TField *) {
    m_grid.dataChanged(false);
}
void TTzGridDataLink::EditingChanged() {
    m_grid.dataChanged(false);
}

// --- grid ----------------------------------------------------------------------------------

TTzGrid::TTzGrid(QWidget *parent)
    : QAbstractScrollArea(parent), m_link(*this),
      m_options(dgEditing | dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines |
                dgTabs | dgConfirmDelete | dgConfirmRestore),
      m_titleFont(font()), m_fixedColor(palette().color(QPalette::Button)) {
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
    m_syncTimer.setSingleShot(true);
    m_syncTimer.setInterval(SyncDelayMs);
    connect(&m_syncTimer, &QTimer::timeout, this, &TTzGrid::syncNow);
    rebuildColumns();
}

TTzGrid::~TTzGrid() {
    m_link.SetDataSet(nullptr);
}

void TTzGrid::setDataSet(dbf::TTzDataSet *dataset) {
    if (dataset == m_link.DataSet()) return;
    m_link.SetDataSet(dataset); // notifies ActiveChanged
    m_shownRecNo = 0;
    verticalScrollBar()->setValue(0);
    syncNow();
}

void TTzGrid::setOptions(TTzGridOptions options) {
    m_options = options;
    updateScrollBars();
    viewport()->update();
}

void TTzGrid::setBooleanBox(TTzBooleanBox box) {
    m_booleanBox = box;
    viewport()->update();
}

void TTzGrid::setTitleFont(const QFont &font) {
    m_titleFont = font;
    updateScrollBars();
    viewport()->update();
}

void TTzGrid::setFixedColor(const QColor &color) {
    m_fixedColor = color;
    viewport()->update();
}

int TTzGrid::dataRowHeight() const {
    return QFontMetrics(font()).height() + 3 + ((m_options & dgRowLines) ? 1 : 0);
}

int TTzGrid::titleRowHeight() const {
    if (!(m_options & dgTitles)) return 0;
    return QFontMetrics(m_titleFont).height() + 4;
}

int TTzGrid::indicatorWidth() const {
    return (m_options & dgIndicator) ? std::max(12, dataRowHeight() * 3 / 4) : 0;
}

int TTzGrid::visibleRowCount() const {
    const int h = viewport()->height() - titleRowHeight();
    const int rh = dataRowHeight();
    return h <= 0 ? 0 : (h + rh - 1) / rh;
}

int TTzGrid::fullRowCount() const {
    return std::max(1, (viewport()->height() - titleRowHeight()) / dataRowHeight());
}

std::int32_t TTzGrid::topRow() const {
    return m_count > 0 ? verticalScrollBar()->value() + 1 : 0;
}

QString TTzGrid::columnTitle(int column) const {
    return column >= 0 && column < columnCount() ? m_columns[static_cast<size_t>(column)].title
                                                 : QString();
}

int TTzGrid::columnWidth(int column) const {
    return column >= 0 && column < columnCount() ? m_columns[static_cast<size_t>(column)].width : 0;
}

void TTzGrid::setColumnWidth(int column, int width) {
    if (column < 0 || column >= columnCount()) return;
    m_columns[static_cast<size_t>(column)].width = std::max(MinColumnWidth, width);
    updateScrollBars();
    viewport()->update();
}

std::int32_t TTzGrid::recordCount() const {
    dbf::TTzDataSet *ds = dataSet();
    return ds && ds->Active() ? ds->RecordCount() : 0;
}

std::int32_t TTzGrid::shownRecNo(int row) const {
    return row >= 0 && row < m_shownCount ? m_shown[static_cast<size_t>(row)].recNo : 0;
}

QStringList TTzGrid::shownRow(int row) const {
    QStringList texts;
    if (row < 0 || row >= m_shownCount) return texts;
    for (const std::string &t : m_shown[static_cast<size_t>(row)].texts)
        texts << QString::fromStdString(t);
    return texts;
}

void TTzGrid::dataChanged(bool layout) {
    m_layoutPending = m_layoutPending || layout;
    if (!m_syncTimer.isActive()) m_syncTimer.start();
}

void TTzGrid::syncNow() {
    m_syncTimer.stop();
    if (TTzProgress100::running()) {
        // The engine is in the middle of a table copy: catch up when it is done.
        m_syncTimer.start();
        return;
    }
    const bool layout = m_layoutPending;
    if (layout) {
        m_layoutPending = false;
        rebuildColumns();
    }
    m_count = recordCount();
    updateScrollBars();
    if (layout) {
        // A table opened, closed or rebuilt: the grid starts on the dataset's record.
        dbf::TTzDataSet *ds = dataSet();
        m_shownRecNo = ds && ds->Active() ? ds->RecNo() : 0;
        showCurrent();
    } else {
        // Recording moves the dataset from record to record; the grid keeps the row and the
        // scroll position the operator chose, and only shows the new values.
        m_shownRecNo = std::clamp(m_shownRecNo, m_count > 0 ? 1 : 0, m_count);
    }
    viewport()->update();
}

void TTzGrid::rebuildColumns() {
    const bool keepWidths = !m_columns.empty();
    std::vector<Column> old = std::move(m_columns);
    m_columns.clear();
    dbf::TTzDataSet *ds = dataSet();
    const QFontMetrics fm(font());
    const QFontMetrics tfm(m_titleFont);
    if (ds && ds->Active()) {
        const dbf::TDbfFieldProps *props = ds->FieldProps();
        for (int i = 0; i < ds->FieldCount(); ++i) {
            const dbf::TField &f = ds->Fields(i);
            Column c;
            c.title = QString::fromStdString(f.DisplayName());
            c.logical = f.DataType() == dbf::TFieldType::ftBoolean;
            c.rightAligned = f.DataType() == dbf::TFieldType::ftInteger ||
                             f.DataType() == dbf::TFieldType::ftFloat;
            const dbf::TDTField *d = props ? props->ByNumber(f.FieldNo()) : nullptr;
            // As wide as the field's values can be, or its title when that is wider.
            const int chars = d ? std::max(1, d->width) : 10;
            c.width = std::max(tfm.horizontalAdvance(c.title), chars * fm.horizontalAdvance('0')) +
                      2 * TextMargin + 2;
            // A column of the same field keeps the width the operator gave it.
            if (keepWidths)
                for (const Column &o : old)
                    if (o.title == c.title) c.width = o.width;
            m_columns.push_back(c);
        }
    }
    if (m_columns.empty()) m_columns.push_back(Column{});
    m_currentColumn = std::clamp(m_currentColumn, 0, columnCount() - 1);
    updateScrollBars();
}

int TTzGrid::dataLeft() const {
    return indicatorWidth();
}

int TTzGrid::totalColumnsWidth() const {
    int w = 0;
    for (const Column &c : m_columns)
        w += c.width;
    return w;
}

void TTzGrid::updateScrollBars() {
    const int rows = fullRowCount();
    QScrollBar *v = verticalScrollBar();
    v->setRange(0, std::max(0, m_count - rows));
    v->setPageStep(rows);
    v->setSingleStep(1);
    QScrollBar *h = horizontalScrollBar();
    const int room = viewport()->width() - dataLeft();
    h->setRange(0, std::max(0, totalColumnsWidth() - room));
    h->setPageStep(std::max(1, room));
    h->setSingleStep(16);
}

void TTzGrid::showCurrent() {
    if (m_shownRecNo < 1) return;
    QScrollBar *v = verticalScrollBar();
    const int top = v->value() + 1;
    const int rows = fullRowCount();
    if (m_shownRecNo < top)
        v->setValue(m_shownRecNo - 1);
    else if (m_shownRecNo > top + rows - 1)
        v->setValue(m_shownRecNo - rows);
}

void TTzGrid::moveTo(std::int32_t recNo) {
    dbf::TTzDataSet *ds = dataSet();
    if (!ds || !ds->Active() || recNo < 1) return;
    ds->SetRecNo(std::min(recNo, ds->RecordCount()));
    followDataSet();
    emit currentChanged(ds->RecNo());
}

void TTzGrid::moveBy(int distance) {
    dbf::TTzDataSet *ds = dataSet();
    if (!ds || !ds->Active()) return;
    // From the row the grid shows, wherever recording has left the dataset since.
    if (m_shownRecNo > 0 && ds->RecNo() != m_shownRecNo) ds->SetRecNo(m_shownRecNo);
    ds->MoveBy(distance);
    followDataSet();
    emit currentChanged(ds->RecNo());
}

void TTzGrid::moveToEnd(bool last) {
    dbf::TTzDataSet *ds = dataSet();
    if (ds && ds->Active()) {
        if (last)
            ds->Last();
        else
            ds->First();
    }
    followDataSet();
}

void TTzGrid::followDataSet() {
    dbf::TTzDataSet *ds = dataSet();
    m_shownRecNo = ds && ds->Active() ? ds->RecNo() : 0;
    syncNow();
    showCurrent();
}

void TTzGrid::moveToColumn(int column) {
    m_currentColumn = std::clamp(column, 0, columnCount() - 1);
    int x = 0;
    for (int i = 0; i < m_currentColumn; ++i)
        x += m_columns[static_cast<size_t>(i)].width;
    QScrollBar *h = horizontalScrollBar();
    const int room = viewport()->width() - dataLeft();
    const int w = m_columns[static_cast<size_t>(m_currentColumn)].width;
    if (x < h->value())
        h->setValue(x);
    else if (x + w > h->value() + room)
        h->setValue(x + w - room);
    viewport()->update();
}

// --- keys and mouse ------------------------------------------------------------------------

void TTzGrid::keyPressEvent(QKeyEvent *event) {
    const bool rowSelect = m_options & dgRowSelect;
    const int top = verticalScrollBar()->value() + 1;
    const int lastVisible = std::min(top + fullRowCount() - 1, m_count);
    if (event->modifiers() & Qt::ControlModifier) {
        switch (event->key()) {
        case Qt::Key_PageUp:
        case Qt::Key_Up:
            moveTo(top);
            return;
        case Qt::Key_PageDown:
        case Qt::Key_Down:
            moveTo(lastVisible);
            return;
        case Qt::Key_Home:
            moveToEnd(false);
            return;
        case Qt::Key_End:
            moveToEnd(true);
            return;
        case Qt::Key_Left:
            moveToColumn(0);
            return;
        case Qt::Key_Right:
            moveToColumn(columnCount() - 1);
            return;
        case Qt::Key_Delete:
            // The grid browses: records are never deleted or restored through it.
            return;
        default:
            QAbstractScrollArea::keyPressEvent(event);
            return;
        }
    }
    const bool onlyOneColumn = columnCount() <= 1;
    switch (event->key()) {
    case Qt::Key_Tab:
        moveToColumn(m_currentColumn + 1);
        return;
    case Qt::Key_Backtab:
        moveToColumn(m_currentColumn - 1);
        return;
    case Qt::Key_PageUp:
        moveBy(-fullRowCount());
        return;
    case Qt::Key_PageDown:
        moveBy(fullRowCount());
        return;
    case Qt::Key_Home:
        if (rowSelect || onlyOneColumn) {
            moveToEnd(false);
        } else {
            moveToColumn(0);
        }
        return;
    case Qt::Key_End:
        if (rowSelect || onlyOneColumn) {
            moveToEnd(true);
        } else {
            moveToColumn(columnCount() - 1);
        }
        return;
    case Qt::Key_Left:
        if (rowSelect)
            moveBy(-1);
        else
            moveToColumn(m_currentColumn - 1);
        return;
    case Qt::Key_Right:
        if (rowSelect)
            moveBy(1);
        else
            moveToColumn(m_currentColumn + 1);
        return;
    case Qt::Key_Up:
        moveBy(-1);
        return;
    case Qt::Key_Down:
        moveBy(1);
        return;
    case Qt::Key_Insert:
    case Qt::Key_F2:
    case Qt::Key_Escape:
        // No records are inserted or edited through the grid.
        return;
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}

int TTzGrid::columnAt(int x, bool *onBorder) const {
    if (onBorder) *onBorder = false;
    int right = dataLeft() - horizontalScrollBar()->value();
    if (x < dataLeft()) return -1;
    for (int i = 0; i < columnCount(); ++i) {
        right += m_columns[static_cast<size_t>(i)].width;
        if (onBorder && std::abs(x - right) <= ResizeGrip) {
            *onBorder = true;
            return i;
        }
        if (x < right) return i;
    }
    return -1;
}

std::int32_t TTzGrid::recordAt(int y) const {
    const int row = (y - titleRowHeight()) / dataRowHeight();
    if (y < titleRowHeight()) return 0;
    const std::int32_t recNo = verticalScrollBar()->value() + 1 + row;
    return recNo <= m_count ? recNo : 0;
}

void TTzGrid::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint pos = event->position().toPoint();
    bool onBorder = false;
    const int column = columnAt(pos.x(), &onBorder);
    if ((m_options & dgColumnResize) && pos.y() < titleRowHeight() && onBorder) {
        m_resizing = column;
        m_resizeStart = pos.x();
        m_resizeWidth = columnWidth(column);
        return;
    }
    if (column >= 0) m_currentColumn = column;
    if (const std::int32_t recNo = recordAt(pos.y())) moveTo(recNo);
}

void TTzGrid::mouseMoveEvent(QMouseEvent *event) {
    const QPoint pos = event->position().toPoint();
    if (m_resizing >= 0) {
        setColumnWidth(m_resizing, m_resizeWidth + pos.x() - m_resizeStart);
        return;
    }
    bool onBorder = false;
    columnAt(pos.x(), &onBorder);
    const bool grip = (m_options & dgColumnResize) && pos.y() < titleRowHeight() && onBorder;
    viewport()->setCursor(grip ? Qt::SplitHCursor : Qt::ArrowCursor);
}

bool TTzGrid::focusNextPrevChild(bool next) {
    // With dgTabs, Tab and Shift+Tab move between the columns instead of leaving the grid.
    if (m_options & dgTabs) return false;
    return QAbstractScrollArea::focusNextPrevChild(next);
}

void TTzGrid::mouseReleaseEvent(QMouseEvent *) {
    m_resizing = -1;
}

void TTzGrid::changeEvent(QEvent *event) {
    if (event->type() == QEvent::FontChange) {
        rebuildColumns();
        viewport()->update();
    }
    QAbstractScrollArea::changeEvent(event);
}

void TTzGrid::focusInEvent(QFocusEvent *event) {
    viewport()->update();
    QAbstractScrollArea::focusInEvent(event);
}

void TTzGrid::focusOutEvent(QFocusEvent *event) {
    viewport()->update();
    QAbstractScrollArea::focusOutEvent(event);
}

void TTzGrid::resizeEvent(QResizeEvent *event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void TTzGrid::scrollContentsBy(int, int) {
    viewport()->update();
}

// --- painting ------------------------------------------------------------------------------

void TTzGrid::paintRaised(QPainter &p, const QRect &cell) {
    if (!((m_options & dgColLines) && (m_options & dgRowLines))) return;
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(cell.topLeft(), cell.topRight());
    p.drawLine(cell.topLeft(), cell.bottomLeft());
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(cell.bottomLeft(), cell.bottomRight());
    p.drawLine(cell.topRight(), cell.bottomRight());
}

void TTzGrid::paintTitles(QPainter &p, int left) {
    const int h = titleRowHeight();
    if (h == 0) return;
    p.setFont(m_titleFont);
    int x = left;
    for (const Column &c : m_columns) {
        const QRect cell(x, 0, c.width, h);
        x += c.width;
        if (cell.right() < dataLeft() || cell.left() > viewport()->width()) continue;
        p.fillRect(cell, m_fixedColor);
        paintRaised(p, cell);
        p.setPen(palette().color(QPalette::ButtonText));
        p.drawText(cell.adjusted(TextMargin, 0, -TextMargin, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   c.title);
    }
    if (x < viewport()->width())
        p.fillRect(QRect(x, 0, viewport()->width() - x, h), palette().color(QPalette::Base));
}

void TTzGrid::paintIndicator(QPainter &p, const QRect &cell) {
    dbf::TTzDataSet *ds = dataSet();
    const dbf::TDataSetState state = ds ? ds->State() : dbf::TDataSetState::dsBrowse;
    const int s = std::min(cell.height() - 4, cell.width() - 2);
    if (s < 4) return;
    // Right-aligned and vertically centred in the cell.
    const QRectF box(cell.right() - s - 1, cell.top() + (cell.height() - s) / 2.0, s, s);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(palette().color(QPalette::ButtonText));
    if (state == dbf::TDataSetState::dsInsert) {
        // An asterisk: three crossed bars.
        QPen pen(palette().color(QPalette::ButtonText), std::max(1.5, s / 6.0));
        p.setPen(pen);
        const QPointF c = box.center();
        const double r = s / 2.0 - 1;
        for (int i = 0; i < 3; ++i) {
            const double a = i * 3.14159265 / 3;
            const QPointF d(r * std::cos(a), r * std::sin(a));
            p.drawLine(c - d, c + d);
        }
    } else if (state == dbf::TDataSetState::dsEdit) {
        // An I-beam: the text cursor of an edit.
        QPen pen(palette().color(QPalette::ButtonText), std::max(1.2, s / 8.0));
        p.setPen(pen);
        const double x = box.center().x();
        p.drawLine(QPointF(x, box.top()), QPointF(x, box.bottom()));
        p.drawLine(QPointF(x - s / 4.0, box.top()), QPointF(x + s / 4.0, box.top()));
        p.drawLine(QPointF(x - s / 4.0, box.bottom()), QPointF(x + s / 4.0, box.bottom()));
    } else {
        // A solid arrow pointing at the row.
        QPainterPath arrow;
        arrow.moveTo(box.left() + s * 0.25, box.top() + s * 0.1);
        arrow.lineTo(box.right() - s * 0.1, box.center().y());
        arrow.lineTo(box.left() + s * 0.25, box.bottom() - s * 0.1);
        arrow.closeSubpath();
        p.drawPath(arrow);
    }
    p.restore();
}

void TTzGrid::paintLogical(QPainter &p, const QRect &cell, bool value, const QColor &pen) {
    const int side = std::min(cell.width(), cell.height()) - 2;
    if (side < 4) return;
    const QRect box(cell.left() + (cell.width() - side) / 2,
                    cell.top() + (cell.height() - side) / 2, side, side);
    const bool red = m_booleanBox == TTzBooleanBox::bbFillBoxRed ||
                     m_booleanBox == TTzBooleanBox::bbRButtonRed ||
                     m_booleanBox == TTzBooleanBox::bbDotRed;
    const QColor mark = red ? QColor(Qt::red) : pen;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(pen, 1));
    switch (m_booleanBox) {
    case TTzBooleanBox::bbCheckBox:
    case TTzBooleanBox::bbFillBox:
    case TTzBooleanBox::bbFillBoxRed:
        p.drawRect(box);
        break;
    case TTzBooleanBox::bbRButton:
    case TTzBooleanBox::bbRButtonRed:
        p.drawEllipse(box);
        break;
    default:
        break;
    }
    if (value) {
        p.setPen(QPen(mark, 2));
        const QRect in = box.adjusted(3, 3, -3, -3);
        switch (m_booleanBox) {
        case TTzBooleanBox::bbCheckBox:
            p.drawLine(in.topLeft(), in.bottomRight());
            p.drawLine(in.topRight(), in.bottomLeft());
            break;
        case TTzBooleanBox::bbCheckMark:
            p.drawPolyline(QPolygonF{QPointF(in.left(), in.center().y()),
                                     QPointF(in.left() + in.width() / 3.0, in.bottom()),
                                     QPointF(in.right(), in.top())});
            break;
        case TTzBooleanBox::bbFillBox:
        case TTzBooleanBox::bbFillBoxRed:
            p.fillRect(in, mark);
            break;
        default:
            p.setPen(Qt::NoPen);
            p.setBrush(mark);
            p.drawEllipse(in);
            break;
        }
    }
    p.restore();
}

void TTzGrid::paintRow(QPainter &p, int y, std::int32_t recNo,
                       const std::vector<std::string> &texts, bool deleted, bool current,
                       int left) {
    TTzRowColors colors{m_fixedColor,
                        QColor(),
                        QColor(),
                        palette().color(QPalette::Highlight),
                        palette().color(QPalette::HighlightedText),
                        QColor(Qt::red),
                        palette().color(QPalette::Text)};
    if (OnChangeColorsEvent) OnChangeColorsEvent(*this, recNo, colors);
    QColor background =
        colors.background.isValid() ? colors.background : palette().color(QPalette::Base);
    QColor text = colors.font.isValid() ? colors.font : palette().color(QPalette::Text);
    if (deleted) {
        background = colors.deletedBackground;
        text = colors.deletedFont;
    }
    const bool selected =
        current && (m_options & dgRowSelect) && (hasFocus() || (m_options & dgAlwaysShowSelection));
    if (selected) {
        background = colors.selectedBackground;
        text = colors.selectedFont;
    }
    const int rh = dataRowHeight();
    const int lineH = (m_options & dgRowLines) ? 1 : 0;
    const int lineW = (m_options & dgColLines) ? 1 : 0;
    const QColor lines = palette().color(QPalette::Mid);
    int x = left;
    for (size_t i = 0; i < m_columns.size(); ++i) {
        const Column &c = m_columns[i];
        const QRect cell(x, y, c.width - lineW, rh - lineH);
        x += c.width;
        if (cell.right() < dataLeft() || cell.left() > viewport()->width()) continue;
        p.fillRect(cell, background);
        const QString value = i < texts.size() ? QString::fromStdString(texts[i]) : QString();
        if (c.logical && m_booleanBox != TTzBooleanBox::bbText) {
            paintLogical(p, cell, value.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0,
                         text);
        } else {
            p.setPen(text);
            p.drawText(cell.adjusted(TextMargin, 0, -TextMargin, 0),
                       (c.rightAligned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, value);
        }
        if (lineW) {
            p.setPen(lines);
            p.drawLine(cell.right() + 1, y, cell.right() + 1, y + rh - 1);
        }
    }
    if (lineH) {
        p.setPen(lines);
        p.drawLine(left, y + rh - 1, x - 1, y + rh - 1);
    }
    if (selected && hasFocus()) {
        QPen focus(text, 1, Qt::DotLine);
        p.setPen(focus);
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(std::max(left, dataLeft()), y, x - std::max(left, dataLeft()) - 1,
                         rh - lineH - 1));
    }
}

void TTzGrid::paintEvent(QPaintEvent *) {
    QPainter p(viewport());
    const QColor base = palette().color(QPalette::Base);
    const int width = viewport()->width();
    const int height = viewport()->height();
    const int left = dataLeft() - horizontalScrollBar()->value();
    const int titleH = titleRowHeight();
    const int rh = dataRowHeight();
    const int indW = indicatorWidth();

    dbf::TTzDataSet *ds = dataSet();
    // While the engine copies a table it must not be read (the copy holds the work area).
    const bool readable = ds && ds->Active() && !TTzProgress100::running();
    if (!readable && ds && ds->Active()) m_syncTimer.start();
    const std::int32_t current = readable ? m_shownRecNo : 0;

    int y = titleH;
    p.save();
    p.setClipRect(QRect(indW, titleH, width - indW, height - titleH));
    p.setFont(font());
    m_shownCount = 0;
    if (readable) {
        const std::int32_t top = verticalScrollBar()->value() + 1;
        const int rows = visibleRowCount();
        if (m_shown.size() < static_cast<size_t>(rows)) m_shown.resize(static_cast<size_t>(rows));
        for (int i = 0; i < rows; ++i) {
            const std::int32_t recNo = top + i;
            ShownRow &row = m_shown[static_cast<size_t>(i)];
            if (recNo > m_count || !m_link.readRow(recNo, row.texts, row.deleted)) break;
            row.recNo = recNo;
            paintRow(p, y, recNo, row.texts, row.deleted, recNo == current, left);
            ++m_shownCount;
            y += rh;
        }
    }
    if (y < height) p.fillRect(QRect(indW, y, width - indW, height - y), base);
    p.restore();

    p.setClipRect(QRect(indW, 0, width - indW, titleH));
    paintTitles(p, left);
    p.setClipping(false);

    if (indW > 0) {
        // The corner cell and the indicator column, drawn over whatever scrolled beneath.
        if (titleH > 0) {
            const QRect corner(0, 0, indW, titleH);
            p.fillRect(corner, m_fixedColor);
            paintRaised(p, corner);
        }
        int iy = titleH;
        for (int i = 0; i < m_shownCount; ++i) {
            const QRect cell(0, iy, indW, rh);
            p.fillRect(cell, m_fixedColor);
            paintRaised(p, cell);
            if (m_shown[static_cast<size_t>(i)].recNo == current) paintIndicator(p, cell);
            iy += rh;
        }
        if (iy < height) p.fillRect(QRect(0, iy, indW, height - iy), base);
    }
}
