#include "ui/GetInput.h"

#include "ui/Dialogs.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace corvane::gui {

QStringList tInputHistory::AnswersFor(const QString& prompt) const {
    QStringList answers;
    for (size_t i = 0; i < Prompts.size(); ++i)
        if (Prompts[i] == prompt) answers << Answers[i];
    return answers;
}

bool tInputHistory::Contains(const QString& prompt, const QString& answer) const {
    for (size_t i = 0; i < Prompts.size(); ++i)
        if (Prompts[i] == prompt && Answers[i] == answer) return true;
    return false;
}

void tInputHistory::Add(const QString& prompt, const QString& answer) {
    if (answer.isEmpty() || Contains(prompt, answer)) return;
    Prompts.push_back(prompt);
    Answers.push_back(answer);
}

tInputHistory& InputHistory() {
    static tInputHistory history;
    return history;
}

TfGetInput::TfGetInput(QWidget* parent) : QDialog(parent) {
    setObjectName("fGetInput");
    lbLabel = new QLabel(this);
    lbLabel->setObjectName("lbLabel");
    lbLabel->setTextFormat(Qt::PlainText);
    edEdit = new QComboBox(this);
    edEdit->setObjectName("edEdit");
    edEdit->setEditable(true);
    edEdit->setInsertPolicy(QComboBox::NoInsert);
    edEdit->setMinimumContentsLength(36);
    edEdit->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    lbLabel->setBuddy(edEdit);
    edPassword = new QLineEdit(this);
    edPassword->setObjectName("edPassword");
    edPassword->setEchoMode(QLineEdit::Password);
    edPassword->hide();
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setTextFormat(Qt::PlainText);
    Label1->hide();
    OK = new QPushButton("&OK", this);
    OK->setObjectName("OK");
    OK->setDefault(true);
    Abbrechen = new QPushButton(this);
    Abbrechen->setObjectName("Abbrechen");
    Abbrechen->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OK);
    buttons->addWidget(Abbrechen);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbLabel);
    layout->addWidget(edEdit);
    layout->addWidget(edPassword);
    layout->addWidget(Label1);
    layout->addSpacing(6);
    layout->addLayout(buttons);

    connect(OK, &QPushButton::clicked, this, &TfGetInput::OKClick);
    connect(Abbrechen, &QPushButton::clicked, this, &TfGetInput::AbbrechenClick);
}

TfGetInput::~TfGetInput() = default;

void TfGetInput::Prepare(const QString& prompt, int maxLength, const QString& defaultText,
                         const QString& note) {
    prompt_ = prompt;
    setWindowTitle(DialogTexts().InputTitle);
    Abbrechen->setText(DialogTexts().InputCancel);
    // A buddy label reads "&" as a mnemonic; the prompt is shown as given.
    const int maxWidth = MaxTextWidth(*this);
    SetFittingText(*lbLabel, prompt, maxWidth);
    lbLabel->setText(QString(lbLabel->text()).replace('&', QStringLiteral("&&")));
    edEdit->clear();
    edEdit->addItems(InputHistory().AnswersFor(prompt));
    edEdit->lineEdit()->setMaxLength(maxLength > 0 ? maxLength : 32767);
    edEdit->setEditText(defaultText);
    edEdit->lineEdit()->selectAll();
    if (!note.isEmpty()) SetFittingText(*Label1, note, maxWidth);
    Label1->setVisible(!note.isEmpty());
    edEdit->setFocus();
    accepted_ = false;
}

QString TfGetInput::Answer() const {
    return accepted_ ? edEdit->currentText() : QString();
}

void TfGetInput::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) PlaceDialog(*this, true);
    QDialog::showEvent(event);
    edEdit->setFocus();
}

void TfGetInput::OKClick() {
    InputHistory().Add(prompt_, edEdit->currentText());
    accepted_ = true;
    accept();
}

void TfGetInput::AbbrechenClick() {
    reject();
}

void TfGetInput::reject() {
    accepted_ = false;
    QDialog::reject();
    if (InputHistory().Size() > MaxHistory) ShowInfo("Fehler im Puffer");
}

} // namespace corvane::gui
