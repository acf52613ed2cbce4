#pragma once

// The table engine's data grid: the records of a dataset as rows, its fields as columns, with
// a title row and an indicator column. It follows the dataset through a data link and reads
// only the records it shows, so a table of a million rows paints as fast as one of ten.
//
// The grid browses: it moves the dataset (keys, clicks) but never edits it.

#include "dbf/dataset.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

class TTzGrid;

// Grid options (a set of flags).
enum TTzGridOption : unsigned {
    dgEditing = 1u << 0,
    dgAlwaysShowEditor = 1u << 1,
    dgTitles = 1u << 2,
    dgIndicator = 1u << 3,
    dgColumnResize = 1u << 4,
    dgColLines = 1u << 5,
    dgRowLines = 1u << 6,
    dgTabs = 1u << 7,
    dgRowSelect = 1u << 8,
    dgAlwaysShowSelection = 1u << 9,
    dgConfirmDelete = 1u << 10,
    dgConfirmRestore = 1u << 11,
};
using TTzGridOptions = unsigned;

// How logical fields are drawn.
enum class TTzBooleanBox {
    bbCheckBox,
    bbCheckMark,
    bbText,
    bbFillBox,
    bbFillBoxRed,
    bbRButton,
    bbRButtonRed,
    bbDot,
    bbDotRed
};

// The colours of one row. Background and font start invalid ("not set": the column's own
// colours apply); a handler of OnChangeColorsEvent may change any of them for the row.
struct TTzRowColors {
    QColor fixed;
    QColor background;
    QColor font;
    QColor selectedBackground;
    QColor selectedFont;
    QColor deletedBackground;
    QColor deletedFont;
};

// Called before a data row is drawn: the grid, the row's record number and its colours.
using TTzChangeColorsEvent = std::function<void(TTzGrid &, std::int32_t, TTzRowColors &)>;

// The grid's link to its dataset. Every notification only marks the grid out of date; the
// grid catches up once the event loop runs, so a burst of record commands costs one repaint.
class TTzGridDataLink : public dbf::TTzDataLink {
public:
    explicit TTzGridDataLink(TTzGrid &grid) : m_grid(grid) {}

    // Reads one record for display (texts of every field and its deletion flag).
    bool readRow(std::int32_t recNo, std::vector<std::string> &texts, bool &deleted);
    // Records read for display since the link was made.
    long long rowsRead() const { return m_rowsRead; }

protected:
    void ActiveChanged() override;
    void LayoutChanged() override;
    void DataSetChanged() override;
    void DataSetScrolled(int distance) override;
    void RecordChanged(dbf::TField *field) override;
    void EditingChanged() override;

private:
    TTzGrid &m_grid;
    long long m_rowsRead = 0;
};

class TTzGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TTzGrid(QWidget *parent = nullptr);
    ~TTzGrid() override;

    // The dataset shown (nullptr: none).
    dbf::TTzDataSet *dataSet() const { return m_link.DataSet(); }
    void setDataSet(dbf::TTzDataSet *dataset);
    TTzGridDataLink &dataLink() { return m_link; }

    TTzGridOptions options() const { return m_options; }
    void setOptions(TTzGridOptions options);
    bool readOnly() const { return m_readOnly; }
    void setReadOnly(bool on) { m_readOnly = on; }
    TTzBooleanBox booleanBox() const { return m_booleanBox; }
    void setBooleanBox(TTzBooleanBox box);
    QFont titleFont() const { return m_titleFont; }
    void setTitleFont(const QFont &font);
    QColor fixedColor() const { return m_fixedColor; }
    void setFixedColor(const QColor &color);

    TTzChangeColorsEvent OnChangeColorsEvent;

    // Geometry.
    int dataRowHeight() const;
    int titleRowHeight() const;
    int indicatorWidth() const;
    // Data rows that fit in the viewport (the last one may be cut).
    int visibleRowCount() const;
    // Whole data rows that fit.
    int fullRowCount() const;
    // Record number shown in the first data row (0 when nothing is shown).
    std::int32_t topRow() const;
    // Record number of the row shown as current (0: none).
    std::int32_t currentRow() const { return m_shownRecNo; }

    // Columns: one per field of the open dataset, in field order; one empty column while the
    // dataset is closed.
    int columnCount() const { return static_cast<int>(m_columns.size()); }
    QString columnTitle(int column) const;
    int columnWidth(int column) const;
    void setColumnWidth(int column, int width);
    int currentColumn() const { return m_currentColumn; }

    // What the last paint showed: the data rows from the top, each with its record number and
    // the texts of its cells.
    int shownRowCount() const { return m_shownCount; }
    std::int32_t shownRecNo(int row) const;
    QStringList shownRow(int row) const;

    // Brings the grid up to date with its dataset now instead of at the next event loop pass.
    void syncNow();

signals:
    // The dataset moved to another record through the grid.
    void currentChanged(std::int32_t recNo);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool next) override;

private:
    friend class TTzGridDataLink;

    struct Column {
        QString title;
        int width = 64;
        bool rightAligned = false;
        bool logical = false;
    };

    // Data link notifications.
    void dataChanged(bool layout);
    void rebuildColumns();
    void updateScrollBars();
    // Moves the view so that the dataset's current record is shown.
    void showCurrent();
    void moveTo(std::int32_t recNo);
    void moveBy(int distance);
    // The first (last false) or last record.
    void moveToEnd(bool last);
    // The operator moved the dataset: the grid shows its record from now on.
    void followDataSet();
    void moveToColumn(int column);

    void paintTitles(class QPainter &p, int left);
    void paintRow(QPainter &p, int y, std::int32_t recNo, const std::vector<std::string> &texts,
                  bool deleted, bool current, int left);
    void paintLogical(QPainter &p, const QRect &cell, bool value, const QColor &pen);
    void paintIndicator(QPainter &p, const QRect &cell);
    void paintRaised(QPainter &p, const QRect &cell);
    int dataLeft() const;
    int totalColumnsWidth() const;
    int columnAt(int x, bool *onBorder) const;
    std::int32_t recordAt(int y) const;
    std::int32_t recordCount() const;

    TTzGridDataLink m_link;
    std::vector<Column> m_columns;
    TTzGridOptions m_options;
    bool m_readOnly = false;
    TTzBooleanBox m_booleanBox = TTzBooleanBox::bbCheckBox;
    QFont m_titleFont;
    QColor m_fixedColor;
    QTimer m_syncTimer;
    bool m_layoutPending = false;
    std::int32_t m_count = 0; // records of the dataset at the last sync
    // The row the grid shows as current: the record the operator moved to, which stays put
    // while recording moves the dataset.
    std::int32_t m_shownRecNo = 0;
    int m_currentColumn = 0;
    int m_resizing = -1; // column whose right border is being dragged
    int m_resizeStart = 0;
    int m_resizeWidth = 0;
    struct ShownRow {
        std::int32_t recNo = 0;
        bool deleted = false;
        std::vector<std::string> texts;
    };
    std::vector<ShownRow> m_shown; // rows of the last paint (storage reused)
    int m_shownCount = 0;
};
