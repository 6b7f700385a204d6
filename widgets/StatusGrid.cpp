#include "widgets/StatusGrid.h"

#include "engine/StatusList.h"
#include "profiles/FileList.h"
#include "profiles/Profile.h"
#include "widgets/Bytes.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPainter>
#include <algorithm>
#include <climits>

namespace corvane::gui {

namespace {

constexpr int kLastColumn = tStatusList::ColumnCount - 1;
const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);
const QColor kNavy(0, 0, 128);
const QColor kMaroon(128, 0, 0);
const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);
const QColor kFolderDark(0, 199, 249);
const QColor kFolderLight(176, 239, 255);
const QColor kOddRow(234, 234, 234);
const QColor kOddRowDestination(248, 248, 248);
const QColor kEvenRowSource(246, 246, 246);
const QColor kGridLine(216, 216, 216);

bool IsSizeColumn(int col) {
    return col == 3 || col == 6;
}
bool IsDateColumn(int col) {
    return col == 2 || col == 5;
}

QColor FileFont(const TFileListEntry& e, int col, QColor gridText) {
    switch (e.Action) {
    case tAction::actCopyToRight:
        if ((IsSizeColumn(col) && e.LeftSize() < e.RightSize()) ||
            (IsDateColumn(col) && e.Left.Time < e.Right.Time))
            return kRed;
        return kNavy;
    case tAction::actCopyToLeft:
        if ((IsSizeColumn(col) && e.RightSize() < e.LeftSize()) ||
            (IsDateColumn(col) && e.Left.Time > e.Right.Time))
            return kRed;
        return kMaroon;
    case tAction::actMove:
        return kGreen;
    case tAction::actDelete:
        return kRed;
    default:
        return gridText;
    }
}

std::string FolderName(const std::string& movedPath) {
    return movedPath.empty() || movedPath == "/" ? std::string("the base folder") : movedPath;
}

std::string SideName(bool left) {
    return left ? "left" : "right";
}

// Why an entry has action a, from its two sides and the profile's modes.
std::string PlannedReason(const tProfile& p, const TFileListEntry& e, tAction a) {
    const bool both = e.Left.Present && e.Right.Present;
    const bool mirror = ExactMirrorInEffect(p);
    const std::string onlyOn = "only on the " + SideName(e.Left.Present);
    if (e.LeftIsFolder) {
        switch (a) {
        case tAction::actCopyToRight:
            return "folder only on the left: made on the right";
        case tAction::actCopyToLeft:
            return "folder only on the right: made on the left";
        case tAction::actDelete:
            return "folder not on the model side: exact mirror removes it";
        case tAction::actMove:
            return "folder of moved files";
        default:
            if (both) return "folder on both sides";
            if (!e.Left.Present && !e.Right.Present) return "folder";
            return "folder " + onlyOn + ": made when files are copied into it";
        }
    }
    switch (a) {
    case tAction::actCopyToRight:
    case tAction::actCopyToLeft: {
        const bool toRight = a == tAction::actCopyToRight;
        const std::string from = SideName(toRight);
        if (!(toRight ? e.Right : e.Left).Present) return "only on the " + from;
        const int64_t source = toRight ? e.Left.Time : e.Right.Time;
        const int64_t dest = toRight ? e.Right.Time : e.Left.Time;
        if (source > dest) return from + " is newer";
        if (mirror && source < dest)
            return SideName(!toRight) + " is newer, but the exact mirror copies the model (" +
                   from + ")";
        return "the " + from + " copy replaces the other";
    }
    case tAction::actLeaveAlone:
        if (both && e.Left.Time != e.Right.Time)
            return "times differ within the tolerance, sizes match: left alone";
        return "left alone";
    case tAction::actConflict:
        return "a file on one side, a folder of the same name on the other: conflict";
    case tAction::actMove:
        if (e.Right.Present)
            return "moved: on the left it lies in " + FolderName(e.MovedPath()) +
                   ", so it is moved there on the right";
        return "moved: on the right it lies in " + FolderName(e.MovedPath()) +
               ", so it is moved there on the left";
    case tAction::actSkipped:
        return "not carried out (error " + std::to_string(e.ExecResult) + ")";
    case tAction::actDelete:
        if (both) return "deleted on both sides";
        return "not on the model side: exact mirror deletes it";
    case tAction::actNone:
    default:
        if (e.IsVersionFile) return "an old version: never copied or deleted";
        if (both) {
            if (e.Left.Time == e.Right.Time)
                return e.LeftSize() == e.RightSize() ? "same time and size"
                                                     : "sizes differ but times match: not copied";
            return "nothing to do";
        }
        if (!e.Left.Present && !e.Right.Present) return "on neither side";
        return onlyOn + ", nothing planned";
    }
}

std::string ActionName(tAction a) {
    switch (a) {
    case tAction::actCopyToRight:
        return "copy to the right";
    case tAction::actCopyToLeft:
        return "copy to the left";
    case tAction::actMove:
        return "move";
    case tAction::actDelete:
        return "delete";
    case tAction::actConflict:
        return "conflict";
    default:
        return "nothing";
    }
}

} // namespace

QColor BlendColor(QColor a, QColor b, int step, int steps) {
    if (steps == 0) return a;
    auto channel = [&](int x, int y) {
        return x + static_cast<int>(static_cast<double>(y - x) * step / steps);
    };
    return QColor(channel(a.red(), b.red()), channel(a.green(), b.green()),
                  channel(a.blue(), b.blue()));
}

tCellColors SetCellColors(const TFileListEntry* e, int col, bool selected, bool focused,
                          const tGridPalette& palette) {
    tCellColors c;
    const bool marked = selected || focused;
    c.Background = marked ? palette.Selected : (col == 0 ? palette.Fixed : palette.Grid);
    c.Font = col == 0 ? (marked ? palette.SelectedText : palette.FixedText) : palette.GridText;

    QColor left = kWhite, right = kWhite;
    const tAction action = e ? e->Action : tAction::actNone;
    if (e && e->LeftIsFolder) {
        if (action == tAction::actCopyToRight) {
            left = kFolderDark;
            right = kFolderLight;
        } else if (action == tAction::actCopyToLeft) {
            left = kFolderLight;
            right = kFolderDark;
        } else {
            left = right = kFolderDark;
        }
        c.Background = BlendColor(left, right, col, kLastColumn);
        c.Font = palette.GridText;
    } else {
        if (col == 0) return c;
        if (e) c.Font = FileFont(*e, col, palette.GridText);
        if (e && (e->ShownIndex & 1) != 0) {
            left = right = kOddRow;
            if (action == tAction::actCopyToRight) right = kOddRowDestination;
            if (action == tAction::actCopyToLeft) left = kOddRowDestination;
        } else {
            if (action == tAction::actCopyToRight) left = kEvenRowSource;
            if (action == tAction::actCopyToLeft) right = kEvenRowSource;
        }
        const bool shaded = left != kWhite || right != kWhite;
        c.Background = shaded ? BlendColor(left, right, col - 1, kLastColumn - 1) : kWhite;
    }
    if (selected || (focused && (left != kWhite || right != kWhite)))
        c.Background = BlendColor(c.Background, kBlack, 2, 10);
    return c;
}

Qt::Alignment CellAlignment(int col) {
    switch (col) {
    case 2:
    case 4:
    case 5:
        return Qt::AlignHCenter;
    case 3:
    case 6:
        return Qt::AlignRight;
    default:
        return Qt::AlignLeft;
    }
}

bool IsFolderRow(const TFileListEntry& e) {
    return (e.Left.Present && e.LeftIsFolder) || (e.Right.Present && e.RightIsFolder);
}

std::string ActionReason(const tStatusList& list, int row) {
    const TFileListEntry* e = list.RowEntry(row);
    if (!e) return {};
    const tProfile& p = list.Profile();
    if (e->Action == tAction::actNone && e->DefaultAction == tAction::actNone) {
        const std::string leftDate = list.CellText(row, 2), rightDate = list.CellText(row, 5);
        if (leftDate == "(deleted)" || rightDate == "(deleted)") return "deleted just now";
        if (leftDate == "(renamed)" || rightDate == "(renamed)") return "renamed just now";
    }
    std::string reason = PlannedReason(p, *e, e->Action);
    if (e->Action != e->DefaultAction)
        reason = "set by hand (planned: " + ActionName(e->DefaultAction) + "); " + reason;
    return reason;
}

// --- model -------------------------------------------------------------------------------

TStatusGridModel::TStatusGridModel(QObject* parent) : QAbstractTableModel(parent) {}

void TStatusGridModel::SetList(tStatusList* list) {
    beginResetModel();
    list_ = list;
    endResetModel();
}

void TStatusGridModel::Reload() {
    beginResetModel();
    endResetModel();
}

void TStatusGridModel::RowsChanged(int top, int bottom) {
    if (!list_ || top < 1 || bottom < top) return;
    emit dataChanged(index(top - 1, 0), index(bottom - 1, kLastColumn));
}

int TStatusGridModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !list_) return 0;
    return list_->RowCount() - 1;
}

int TStatusGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : tStatusList::ColumnCount;
}

QString TStatusGridModel::CellText(int row, int col) const {
    return list_ ? FromBytes(list_->CellText(row, col)) : QString();
}

QVariant TStatusGridModel::data(const QModelIndex& index, int role) const {
    if (!list_ || !index.isValid()) return {};
    const int row = index.row() + 1;
    switch (role) {
    case Qt::DisplayRole:
        return CellText(row, index.column());
    case Qt::ToolTipRole:
        return FromBytes(ActionReason(*list_, row));
    case Qt::TextAlignmentRole:
        return static_cast<int>(CellAlignment(index.column()) | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant TStatusGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromLatin1(tStatusList::HeaderText(section).data(),
                                   static_cast<int>(tStatusList::HeaderText(section).size()));
    case Qt::TextAlignmentRole:
        return static_cast<int>(CellAlignment(section) | Qt::AlignVCenter);
    case Qt::ToolTipRole:
        if (!list_) return {};
        if (section == 2 || section == 3)
            return QStringLiteral("Left: ") + FromBytes(list_->Profile().LeftPath);
        if (section == 5 || section == 6)
            return QStringLiteral("Right: ") + FromBytes(list_->Profile().RightPath);
        return {};
    default:
        return {};
    }
}

Qt::ItemFlags TStatusGridModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

// --- delegate ----------------------------------------------------------------------------

void TStatusGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const auto* model = static_cast<const TStatusGridModel*>(index.model());
    const auto* view = qobject_cast<const TStatusGrid*>(option.widget);
    const tStatusList* list = model->List();
    const int row = index.row() + 1, col = index.column();
    const TFileListEntry* e = list ? list->RowEntry(row) : nullptr;
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const bool focused = option.state.testFlag(QStyle::State_HasFocus);
    const tCellColors colors =
        SetCellColors(e, col, selected, focused, view ? view->Palette() : tGridPalette{});

    const QRect cell = option.rect;
    QRect textArea = cell;
    QString text;
    Qt::Alignment align;
    const bool folder = e && col < 3 && IsFolderRow(*e);
    if (folder && view) {
        // One text across columns 0 to 2; each cell paints its own part of it.
        const int left = view->columnViewportPosition(0);
        const int right = view->columnViewportPosition(2) + view->columnWidth(2);
        textArea = QRect(left, cell.top(), right - left, cell.height());
        text = QString(15, QLatin1Char(' ')) + model->CellText(row, 1);
        align = Qt::AlignLeft;
    } else {
        text = model->CellText(row, col);
        align = CellAlignment(col);
    }

    painter->save();
    painter->setClipRect(cell);
    painter->fillRect(cell, colors.Background);
    painter->setPen(kGridLine);
    painter->drawLine(cell.bottomLeft(), cell.bottomRight());
    if (!folder || col == 2) painter->drawLine(cell.topRight(), cell.bottomRight());
    painter->setPen(colors.Font);
    painter->setFont(option.font);
    const QRect textRect = textArea.adjusted(3, 0, -4, 0);
    const QString shown = option.fontMetrics.elidedText(text, Qt::ElideRight, textRect.width());
    painter->drawText(textRect, static_cast<int>(align | Qt::AlignVCenter | Qt::TextSingleLine),
                      shown);
    painter->restore();
}

QSize TStatusGridDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return {tStatusList::ColumnWidths[1], option.fontMetrics.height() + 2};
}

// --- view --------------------------------------------------------------------------------

TStatusGrid::TStatusGrid(QWidget* parent) : QTableView(parent), model_(new TStatusGridModel(this)) {
    setModel(model_);
    setItemDelegate(new TStatusGridDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(1);
    QHeaderView* columns = horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(false);
    columns->setHighlightSections(false);
    columns->setSectionsMovable(false);
    // The names take the width the other columns leave, so both sides stay in view.
    columns->setSectionResizeMode(1, QHeaderView::Stretch);
    columns->setMinimumSectionSize(24);
    FitColumns();
}

tGridPalette TStatusGrid::Palette() const {
    tGridPalette p;
    p.Fixed = palette().color(QPalette::Button);
    p.FixedText = palette().color(QPalette::ButtonText);
    return p;
}

std::pair<int, int> TStatusGrid::SelectedRows() const {
    const QItemSelection selection = selectionModel()->selection();
    if (selection.isEmpty()) return {-1, -1};
    int top = INT_MAX, bottom = -1;
    for (const QItemSelectionRange& range : selection) {
        top = std::min(top, range.top());
        bottom = std::max(bottom, range.bottom());
    }
    return {top + 1, bottom + 1};
}

void TStatusGrid::SelectRows(int top, int bottom) {
    const int rows = model_->rowCount();
    if (top < 1 || bottom < top || bottom > rows) {
        selectionModel()->clearSelection();
        return;
    }
    const QItemSelection selection(model_->index(top - 1, 0),
                                   model_->index(bottom - 1, kLastColumn));
    selectionModel()->setCurrentIndex(model_->index(top - 1, 1), QItemSelectionModel::NoUpdate);
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

int TStatusGrid::RowHeight() const {
    return std::max(17, fontMetrics().height() + 3);
}

void TStatusGrid::FitColumns() {
    verticalHeader()->setDefaultSectionSize(RowHeight());
    const QFontMetrics fm = fontMetrics();
    const int pad = 10;
    const int digits = std::max(3, static_cast<int>(QString::number(model_->rowCount()).size()));
    const int needed[tStatusList::ColumnCount] = {
        fm.horizontalAdvance(QString(digits, QLatin1Char('0'))) + pad,
        0,
        fm.horizontalAdvance(QStringLiteral("00.00.0000 00:00:00")) + pad,
        fm.horizontalAdvance(QStringLiteral("1023.999 MB")) + pad,
        fm.horizontalAdvance(QStringLiteral("CONFLICT")) + pad,
        fm.horizontalAdvance(QStringLiteral("00.00.0000 00:00:00")) + pad,
        fm.horizontalAdvance(QStringLiteral("1023.999 MB")) + pad,
    };
    // The first fit sets every width; later ones only widen what has become too narrow, so
    // that widths the user chose stay.
    for (int c = 0; c < tStatusList::ColumnCount; ++c) {
        const int width = std::max(tStatusList::ColumnWidths[c], needed[c]);
        if (!fitted_ || columnWidth(c) < width) setColumnWidth(c, width);
    }
    fitted_ = true;
}

void TStatusGrid::keyboardSearch(const QString& search) {
    const tStatusList* list = model_->List();
    if (!list || search.isEmpty()) return;
    const bool goOn =
        searchTimer_.isValid() && searchTimer_.elapsed() < QApplication::keyboardInputInterval();
    searchText_ = goOn ? searchText_ + search : search;
    searchTimer_.start();
    const QByteArray prefix = QFile::encodeName(searchText_).toLower();
    const int rows = list->RowCount() - 1;
    if (rows <= 0) return;
    // A new search starts below the current row; a longer text first tries the current row.
    const int current = currentIndex().isValid() ? currentIndex().row() + 1 : 0;
    const int first = goOn && current > 0 ? current : current + 1;
    for (int k = 0; k < rows; ++k) {
        const int row = (first - 1 + k) % rows + 1;
        const TFileListEntry* e = list->RowEntry(row);
        if (!e || e->Name().size() < static_cast<size_t>(prefix.size())) continue;
        bool match = true;
        for (qsizetype i = 0; i < prefix.size() && match; ++i) {
            char c = e->Name()[static_cast<size_t>(i)];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            match = c == prefix[i];
        }
        if (!match) continue;
        SelectRows(row, row);
        scrollTo(model_->index(row - 1, 1));
        return;
    }
}

void TStatusGrid::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods =
        event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Left:
    case Qt::Key_Greater:
    case Qt::Key_Less:
    case Qt::Key_Delete:
    case Qt::Key_Space:
    case Qt::Key_Equal:
    case Qt::Key_Backspace:
        if (mods == Qt::NoModifier) {
            emit CommandKey(event->key());
            event->accept();
            return;
        }
        break;
    default:
        break;
    }
    QTableView::keyPressEvent(event);
}

void TStatusGrid::contextMenuEvent(QContextMenuEvent* event) {
    QPoint at = event->globalPos();
    if (event->reason() != QContextMenuEvent::Mouse && currentIndex().isValid())
        at = viewport()->mapToGlobal(visualRect(currentIndex()).bottomLeft());
    emit PopupRequested(at);
    event->accept();
}

void TStatusGrid::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) FitColumns();
    QTableView::changeEvent(event);
}

} // namespace corvane::gui
