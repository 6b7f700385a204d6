#include "ui/PageControls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace corvane::gui {

// ---------------------------------------------------------------------------------------
// tRadioGroup

tRadioGroup::tRadioGroup(const QString& name, const QString& caption, const QStringList& items,
                         QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)) {
    setObjectName(name);
    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        b->setObjectName(name + "_" + QString::number(i));
        group_->addButton(b, i);
        layout->addWidget(b);
    }
    connect(group_, &QButtonGroup::buttonClicked, this, [this] { emit Clicked(); });
}

int tRadioGroup::ItemIndex() const { return group_->checkedId(); }

void tRadioGroup::SetItemIndex(int index) {
    if (QAbstractButton* b = group_->button(index)) b->setChecked(true);
}

QRadioButton* tRadioGroup::Item(int index) const {
    return static_cast<QRadioButton*>(group_->button(index));
}

// ---------------------------------------------------------------------------------------
// Control helpers

namespace controls {

void Hint(QWidget* w, const char* text) { w->setToolTip(QString::fromUtf8(text)); }
void Help(QWidget* w, int context) { w->setProperty("HelpContext", context); }

QCheckBox* Check(QWidget* parent, const char* name, const char* caption, bool on) {
    auto* b = Named(new QCheckBox(QString::fromUtf8(caption), parent), name);
    b->setChecked(on);
    return b;
}

QLabel* Text(QWidget* parent, const char* name, const char* caption) {
    return Named(new QLabel(QString::fromUtf8(caption), parent), name);
}

QLineEdit* Edit(QWidget* parent, const char* name, const char* text) {
    return Named(new QLineEdit(QString::fromUtf8(text), parent), name);
}

QLineEdit* Number(QWidget* parent, const char* name, const char* text, int max) {
    auto* e = Edit(parent, name, text);
    e->setValidator(new QIntValidator(0, max, e));
    e->setMaxLength(QString::number(max).size());
    e->setFixedWidth(e->fontMetrics().horizontalAdvance(QString(QString::number(max).size() + 1, '0')) + 14);
    return e;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
    return Named(new QPushButton(QString::fromUtf8(caption), parent), name);
}

QToolButton* BrowseButton(QWidget* parent, const char* name) {
    auto* b = Named(new QToolButton(parent), name);
    b->setIcon(parent->style()->standardIcon(QStyle::SP_DirOpenIcon));
    b->setToolTip("Browse for a folder");
    return b;
}

} // namespace controls
} // namespace corvane::gui
