// The text input dialog: a prompt, an editable drop-down offering the earlier answers to
// the same prompt, an optional note. Built for each question by AskForText.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace corvane::gui {

// The answers given in this process, one (prompt, answer) pair each, in the order given.
struct tInputHistory {
    std::vector<QString> Prompts, Answers;

    // The answers given to prompt, oldest first.
    QStringList AnswersFor(const QString& prompt) const;
    bool Contains(const QString& prompt, const QString& answer) const;
    // Appends the pair unless it is already held; empty answers are not kept.
    void Add(const QString& prompt, const QString& answer);
    size_t Size() const { return Answers.size(); }
};
tInputHistory& InputHistory();

class TfGetInput : public QDialog {
    Q_OBJECT
public:
    // Above this many answers the history is reported as broken when the dialog is left.
    static constexpr size_t MaxHistory = 100000;

    explicit TfGetInput(QWidget* parent = nullptr);
    ~TfGetInput() override;

    // maxLength <= 0: no limit. An empty note hides Label1.
    void Prepare(const QString& prompt, int maxLength, const QString& defaultText,
                 const QString& note);
    bool Accepted() const { return accepted_; }
    // The field's text when OK was pressed.
    QString Answer() const;

    QLabel* lbLabel = nullptr;
    QComboBox* edEdit = nullptr;
    QLineEdit* edPassword = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* OK = nullptr;
    QPushButton* Abbrechen = nullptr;

public slots:
    void OKClick();
    void AbbrechenClick();

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override; // Escape and the window's close button

private:
    QString prompt_;
    bool accepted_ = false;
};

} // namespace corvane::gui
