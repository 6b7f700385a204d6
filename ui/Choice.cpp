#include "ui/Choice.h"

#include "ui/Dialogs.h"
#include "ui/SyncMain.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace corvane::gui {

TFChoice::TFChoice(QWidget* parent) : QDialog(parent) {
    setObjectName("FChoice");
    lbMessage = new QLabel(this);
    lbMessage->setObjectName("lbMessage");
    lbMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
    rgChoice = new QGroupBox(this);
    rgChoice->setObjectName("rgChoice");
    items_ = new QVBoxLayout(rgChoice);
    group_ = new QButtonGroup(this);
    BitBtn1 = new QPushButton(this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(this);
    BitBtn2->setObjectName("BitBtn2");
    BitBtn2->setAutoDefault(false);

    details_ = new QVBoxLayout;
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbMessage);
    layout->addSpacing(4);
    layout->addLayout(details_);
    layout->addWidget(rgChoice);
    layout->addLayout(buttons);
    setMinimumWidth(fontMetrics().averageCharWidth() * 50);
    ApplyTexts();

    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(group_, &QButtonGroup::idToggled, this, [this] { UpdateOk(); });
}

TFChoice::~TFChoice() = default;

TFChoice* TFChoice::Instance() {
    static QPointer<TFChoice> instance;
    if (!instance) instance = new TFChoice(TFSyncMain::Instance());
    return instance;
}

void TFChoice::ApplyTexts() {
    const tDialogTexts& t = DialogTexts();
    setWindowTitle(t.ChoiceCaption);
    rgChoice->setTitle(t.ChoiceGroup);
    BitBtn1->setText(t.ChoiceOk);
    BitBtn2->setText(t.ChoiceCancel);
}

void TFChoice::UpdateOk() {
    BitBtn1->setEnabled(OkEnabled(SelectedNumber()));
}

void TFChoice::SetOptions(const QStringList& options, bool rebuild) {
    if (rebuild || options.size() != buttons_.size()) {
        for (QRadioButton* b : buttons_)
            delete b;
        buttons_.clear();
        for (qsizetype i = 0; i < options.size(); ++i) {
            auto* b = new QRadioButton(rgChoice);
            group_->addButton(b, static_cast<int>(i));
            items_->addWidget(b);
            buttons_ << b;
        }
    }
    for (qsizetype i = 0; i < options.size(); ++i)
        buttons_[i]->setText(options[i]);
}

int TFChoice::SelectedNumber() const {
    return group_->checkedId() + 1;
}

int TFChoice::Choose(const QString& message, const QStringList& options, int preselected) {
    SetOptions(options, true);
    return ShowModal(message, preselected);
}

int TFChoice::ShowModal(const QString& message, int preselected) {
    ApplyTexts();
    SetFittingText(*lbMessage, message, MaxTextWidth(*this));
    // Unchecking needs a non-exclusive group for a moment.
    group_->setExclusive(false);
    for (QRadioButton* b : buttons_)
        b->setChecked(false);
    group_->setExclusive(true);
    if (preselected >= 1 && preselected <= buttons_.size()) {
        buttons_[preselected - 1]->setChecked(true);
        buttons_[preselected - 1]->setFocus();
    }
    UpdateOk();
    const int code = exec();
    return code == QDialog::Accepted ? SelectedNumber() : 0;
}

void TFChoice::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) PlaceDialog(*this, true);
    QDialog::showEvent(event);
}

} // namespace corvane::gui
