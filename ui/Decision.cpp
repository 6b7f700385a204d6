#include "ui/Decision.h"

#include "ui/Dialogs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace corvane::gui {

TFDecision::TFDecision(QWidget* parent) : QDialog(parent) {
    setObjectName("FDecision");
    setWindowTitle("Frage");
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Label1->setMinimumWidth(Label1->fontMetrics().averageCharWidth() * 36);
    btJa = new QPushButton(DialogTexts().Yes, this);
    btJa->setObjectName("btJa");
    btNein = new QPushButton(DialogTexts().No, this);
    btNein->setObjectName("btNein");
    btCancel = new QPushButton(DialogTexts().Cancel, this);
    btCancel->setObjectName("btCancel");

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* b : {btJa, btNein, btCancel})
        buttons->addWidget(b);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(btJa, &QPushButton::clicked, this, &TFDecision::btJaClick);
    connect(btNein, &QPushButton::clicked, this, &TFDecision::btNeinClick);
    connect(btCancel, &QPushButton::clicked, this, &TFDecision::btCancelClick);
}

TFDecision::~TFDecision() = default;

void TFDecision::Prepare(const QString& question, bool defaultYes, bool showCancel,
                         const QString& title) {
    setWindowTitle(title.isEmpty() ? DialogTexts().MessageCaption : title);
    SetFittingText(*Label1, question, MaxTextWidth(*this));
    cancelOffered_ = showCancel;
    btCancel->setVisible(showCancel);
    btCancel->setText(question.contains("Esc=Ende") ? QStringLiteral("Ende")
                                                    : DialogTexts().Cancel);
    QPushButton* preferred = defaultYes ? btJa : btNein;
    for (QPushButton* b : {btJa, btNein, btCancel})
        b->setDefault(b == preferred);
    preferred->setFocus();
    answer_ = 0;
}

void TFDecision::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) PlaceDialog(*this, true);
    QDialog::showEvent(event);
    (btJa->isDefault() ? btJa : btNein)->setFocus();
}

void TFDecision::btJaClick() {
    answer_ = 1;
    accept();
}

void TFDecision::btNeinClick() {
    answer_ = 0;
    accept();
}

void TFDecision::btCancelClick() {
    answer_ = -1;
    QDialog::reject();
}

void TFDecision::reject() {
    // A caller that offers no Cancel expects Yes or No: leaving the window then means No.
    if (cancelOffered_)
        btCancelClick();
    else
        btNeinClick();
}

} // namespace corvane::gui
