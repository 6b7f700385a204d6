// The choice dialog: a message and a list of options, one of which is chosen. Created once
// at start; ChooseOption fills and shows it for each question.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

namespace corvane::gui {

class TFChoice : public QDialog {
    Q_OBJECT
public:
    explicit TFChoice(QWidget* parent = nullptr);
    ~TFChoice() override;

    // The one instance, created when missing (owned by the main window when one exists).
    static TFChoice* Instance();

    // Fills rgChoice with options (rebuilt), shows message, preselects option number
    // preselected (from 1) and waits: the chosen number from 1 after OK, 0 after Cancel.
    int Choose(const QString& message, const QStringList& options, int preselected);

    // The options shown: replaced in place when their count is unchanged, else rebuilt.
    void SetOptions(const QStringList& options, bool rebuild);
    // The checked option's number from 1, or 0 when none is checked.
    int SelectedNumber() const;
    // OK is offered only while an option is checked.
    static bool OkEnabled(int selectedNumber) { return selectedNumber > 0; }

    QLabel* lbMessage = nullptr;
    QGroupBox* rgChoice = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;

protected:
    // Shows the dialog modally with message and preselection already set; the result as
    // Choose returns it.
    int ShowModal(const QString& message, int preselected);
    void showEvent(QShowEvent* event) override;
    // Room between the message and the options, for the file details of TFInfoChoice.
    QVBoxLayout* DetailsLayout() const { return details_; }

private:
    void ApplyTexts();
    void UpdateOk();

    QButtonGroup* group_ = nullptr;
    QVBoxLayout* items_ = nullptr;
    QVBoxLayout* details_ = nullptr;
    QList<QRadioButton*> buttons_;
};

} // namespace corvane::gui
