#include "ui/InfoChoice.h"

#include "ui/Dialogs.h"
#include "ui/SyncMain.h"

#include <QApplication>
#include <QGridLayout>
#include <QPointer>
#include <QVBoxLayout>
#include <algorithm>

namespace corvane::gui {

tFileNameLabel::tFileNameLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void tFileNameLabel::SetFileName(const QString& name) {
    name_ = name;
    setToolTip(name);
    updateGeometry();
    Elide();
}

QSize tFileNameLabel::sizeHint() const {
    const QMargins m = contentsMargins();
    return {fontMetrics().horizontalAdvance(name_) + m.left() + m.right() + 2,
            QLabel::sizeHint().height()};
}

QSize tFileNameLabel::minimumSizeHint() const {
    return {fontMetrics().averageCharWidth() * 20, QLabel::minimumSizeHint().height()};
}

void tFileNameLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    Elide();
}

void tFileNameLabel::Elide() {
    const QString shown = fontMetrics().elidedText(name_, Qt::ElideMiddle, contentsRect().width());
    if (shown != text()) setText(shown);
}

namespace {

QLabel* NewLabel(QWidget* parent, const char* name, const QString& text = {}) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

TFInfoChoice::TFInfoChoice(QWidget* parent) : TFChoice(parent) {
    setObjectName("FInfoChoice");
    QFont bold = lbMessage->font();
    bold.setBold(true);
    lbMessage->setFont(bold);

    lbSourceFile = NewLabel(this, "lbSourceFile", "Source File:");
    lbSourceFilename = new tFileNameLabel(this);
    lbSourceFilename->setObjectName("lbSourceFilename");
    lbSourceSize = NewLabel(this, "lbSourceSize");
    lbSourceDate = NewLabel(this, "lbSourceDate");
    lbDestFile = NewLabel(this, "lbDestFile", "Destination File:");
    lbDestFilename = new tFileNameLabel(this);
    lbDestFilename->setObjectName("lbDestFilename");
    lbDestSize = NewLabel(this, "lbDestSize");
    lbDestDate = NewLabel(this, "lbDestDate");
    lbSourceFile->setBuddy(lbSourceFilename);
    lbDestFile->setBuddy(lbDestFilename);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->addWidget(lbSourceFile, 0, 0);
    grid->addWidget(lbSourceFilename, 0, 1, 1, 3);
    grid->addWidget(lbSourceSize, 1, 1);
    grid->addWidget(lbSourceDate, 1, 2);
    grid->addWidget(lbDestFile, 2, 0);
    grid->addWidget(lbDestFilename, 2, 1, 1, 3);
    grid->addWidget(lbDestSize, 3, 1);
    grid->addWidget(lbDestDate, 3, 2);
    grid->setColumnStretch(3, 1);
    grid->setRowMinimumHeight(2, lbDestFile->sizeHint().height() + 8);
    grid->setAlignment(lbDestFile, Qt::AlignBottom);
    grid->setAlignment(lbDestFilename, Qt::AlignBottom);
    DetailsLayout()->addLayout(grid);
    DetailsLayout()->addSpacing(4);
}

TFInfoChoice::~TFInfoChoice() = default;

TFInfoChoice* TFInfoChoice::Instance() {
    static QPointer<TFInfoChoice> instance;
    if (!instance) instance = new TFInfoChoice(TFSyncMain::Instance());
    return instance;
}

void TFInfoChoice::SetFileInfo(const tFileChoice& choice) {
    QStringList options;
    for (const auto& option : choice.Options)
        options << FromBytes(option);
    SetOptions(options, false);
    // The caption labels are emptied with the details: a delete confirmation has no source.
    const bool source = !choice.SourceName.empty();
    lbSourceFile->setText(source ? QStringLiteral("Source File:") : QString());
    lbSourceFilename->SetFileName(source ? FromBytes(choice.SourceName) : QString());
    lbSourceSize->setText(source ? FromBytes(choice.SourceSize).trimmed() : QString());
    lbSourceDate->setText(source ? FromBytes(choice.SourceDate).trimmed() : QString());
    const bool dest = !choice.DestName.empty();
    lbDestFile->setText(dest ? QStringLiteral("Destination File:") : QString());
    lbDestFilename->SetFileName(dest ? FromBytes(choice.DestName) : QString());
    lbDestSize->setText(dest ? FromBytes(choice.DestSize).trimmed() : QString());
    lbDestDate->setText(dest ? FromBytes(choice.DestDate).trimmed() : QString());
}

int TFInfoChoice::ChooseWithFileInfo(const tFileChoice& choice) {
    SetFileInfo(choice);
    const int result = ShowModal(FromBytes(choice.Message), choice.Preselected);
    while (isVisible())
        QApplication::processEvents();
    return result;
}

} // namespace corvane::gui
