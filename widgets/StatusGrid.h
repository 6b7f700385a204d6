// The status grid: the plan of a run as a table over tStatusList. The model keeps nothing per
// row (every text, colour and tooltip is derived from the row's entry when it is painted), so
// a plan of a million rows costs the view no more than the header's section table.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QElapsedTimer>
#include <QStyledItemDelegate>
#include <QTableView>
#include <string>
#include <utility>

namespace corvane {
class tStatusList;
struct TFileListEntry;
} // namespace corvane

namespace corvane::gui {

// Per channel a + truncate((b - a) * step / steps), in floating point.
QColor BlendColor(QColor a, QColor b, int step, int steps);

// The colours a cell starts from before the plan's own colours are applied.
struct tGridPalette {
    QColor Grid = Qt::white; // data cells
    QColor GridText = Qt::black;
    QColor Fixed = QColor(240, 240, 240); // column 0
    QColor FixedText = Qt::black;
    QColor Selected = QColor(0, 0, 255); // selected or focused cell of column 0
    QColor SelectedText = Qt::white;
};

struct tCellColors {
    QColor Background;
    QColor Font;
};

// Background and font colour of cell (col) of a data row showing entry e (nullptr: a row
// without an entry). Folder rows run from a light to a darker blue across all columns; file
// rows are shaded by ShownIndex and action, their text coloured by action, with red size and
// date cells where a copy replaces a larger or a newer file; selected cells are 20 % darker.
tCellColors SetCellColors(const TFileListEntry* e, int col, bool selected, bool focused,
                          const tGridPalette& palette = {});

// Alignment of the cells of column col: dates and action centred, sizes right, else left.
Qt::Alignment CellAlignment(int col);

// A folder row: its cells 0 to 2 are painted as one cell with the folder's path.
bool IsFolderRow(const TFileListEntry& e);

// Why the row got its action, in a few words ("left is newer", "only on the left", ...).
// row is a grid row (1 is the first data row); "" for rows without an entry.
std::string ActionReason(const tStatusList& list, int row);

// The table model: model row m is grid row m + 1 of the status list (grid row 0 is the
// header, shown by the view's header).
class TStatusGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TStatusGridModel(QObject* parent = nullptr);

    // Shows list (nullptr: an empty grid). The list must outlive the model or be replaced.
    void SetList(tStatusList* list);
    tStatusList* List() const { return list_; }

    // After BuildStatusList: the rows are new.
    void Reload();
    // Grid rows top..bottom changed their texts or colours.
    void RowsChanged(int top, int bottom);
    // Grid rows top..bottom are about to leave the list; remove() takes them out of
    // RowIndex between the model's begin and end notifications.
    template <class Fn> void RemoveRows(int top, int bottom, Fn&& remove) {
        beginRemoveRows({}, top - 1, bottom - 1);
        std::forward<Fn>(remove)();
        endRemoveRows();
    }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The text of a grid cell as shown (names decoded from their bytes).
    QString CellText(int row, int col) const;

private:
    tStatusList* list_ = nullptr;
};

// Paints the cells as the grid rules say (colours above, folder rows spanning columns 0-2).
class TStatusGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// The view: whole rows, one contiguous range of them selected, fixed row height.
class TStatusGrid : public QTableView {
    Q_OBJECT
public:
    explicit TStatusGrid(QWidget* parent = nullptr);

    TStatusGridModel* GridModel() const { return model_; }
    tGridPalette Palette() const;

    // The selected range of grid rows (first data row is 1); {-1, -1} when nothing is
    // selected.
    std::pair<int, int> SelectedRows() const;
    // Selects grid rows top..bottom and makes top the current row.
    void SelectRows(int top, int bottom);

    // The row height: 17, or the font's line height when that is larger.
    int RowHeight() const;
    // Sets the column widths from the design widths, widened where the font needs it; the
    // name column stretches.
    void FitColumns();

    // Type-ahead: selects the next row whose name starts with what was typed (ASCII case
    // ignored); reads the entries directly, so a miss costs no cell texts.
    void keyboardSearch(const QString& search) override;

signals:
    // A key that stands for a plan command (arrows, Delete, Space, Backspace, <, >, =).
    void CommandKey(int key);
    // The context menu was asked for at globalPos.
    void PopupRequested(QPoint globalPos);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    TStatusGridModel* model_;
    bool fitted_ = false;
    QString searchText_;
    QElapsedTimer searchTimer_;
};

} // namespace corvane::gui
