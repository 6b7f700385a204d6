#include "widgets/CheckListBox.h"

#include <QStyledItemDelegate>

namespace corvane::gui {

namespace {

constexpr int kDataRole = Qt::UserRole;

// The toolkit cycles a user-tristate item unchecked -> partially -> checked; a check list
// goes to checked first and offers the grayed state last.
class tCheckCycleDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        const QVariant before = index.data(Qt::CheckStateRole);
        const bool handled = QStyledItemDelegate::editorEvent(event, model, option, index);
        const QVariant after = index.data(Qt::CheckStateRole);
        if (handled && before.isValid() && before != after &&
            (index.flags() & Qt::ItemIsUserTristate)) {
            const auto old = static_cast<Qt::CheckState>(before.toInt());
            const Qt::CheckState next = old == Qt::Unchecked ? Qt::Checked
                                        : old == Qt::Checked ? Qt::PartiallyChecked
                                                             : Qt::Unchecked;
            model->setData(index, next, Qt::CheckStateRole);
        }
        return handled;
    }
};

Qt::ItemFlags ItemFlags(bool allowGrayed) {
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
    if (allowGrayed) flags |= Qt::ItemIsUserTristate;
    return flags;
}

} // namespace

tCheckListBox::tCheckListBox(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new tCheckCycleDelegate(this));
    setUniformItemSizes(true);
}

int tCheckListBox::AddItem(const QString& text, const QByteArray& data) {
    auto* item = new QListWidgetItem(text, this);
    item->setFlags(ItemFlags(allowGrayed_));
    item->setCheckState(Qt::Unchecked);
    item->setData(kDataRole, data);
    return count() - 1;
}

QByteArray tCheckListBox::Data(int row) const {
    const QListWidgetItem* it = item(row);
    return it ? it->data(kDataRole).toByteArray() : QByteArray();
}

tCheckListBox::tState tCheckListBox::State(int row) const {
    const QListWidgetItem* it = item(row);
    if (!it) return Unchecked;
    switch (it->checkState()) {
    case Qt::Checked: return Checked;
    case Qt::PartiallyChecked: return Grayed;
    default: return Unchecked;
    }
}

void tCheckListBox::SetState(int row, tState state) {
    QListWidgetItem* it = item(row);
    if (!it) return;
    it->setCheckState(state == Checked  ? Qt::Checked
                      : state == Grayed ? Qt::PartiallyChecked
                                        : Qt::Unchecked);
}

void tCheckListBox::SetAllowGrayed(bool allow) {
    allowGrayed_ = allow;
    for (int row = 0; row < count(); ++row) item(row)->setFlags(ItemFlags(allow));
}

} // namespace corvane::gui
