// The decision dialog: a question with Yes, No and (when asked) Cancel, built for each
// question by AskDecision.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

namespace corvane::gui {

class TFDecision : public QDialog {
    Q_OBJECT
public:
    explicit TFDecision(QWidget* parent = nullptr);
    ~TFDecision() override;

    // Sets the caption, question and buttons: the default button (and the focus) is btJa
    // when defaultYes, else btNein; btCancel is shown only with showCancel and reads
    // "Ende" when the question contains "Esc=Ende".
    void Prepare(const QString& question, bool defaultYes, bool showCancel, const QString& title);
    // 1 after Yes, -1 after Cancel (Escape while Cancel is offered), otherwise 0.
    int Result() const { return answer_; }

    QLabel* Label1 = nullptr;
    QPushButton* btJa = nullptr;
    QPushButton* btNein = nullptr;
    QPushButton* btCancel = nullptr;

public slots:
    void btJaClick();
    void btNeinClick();
    void btCancelClick();

protected:
    void showEvent(QShowEvent* event) override;
    // Escape and the window's close button.
    void reject() override;

private:
    int answer_ = 0;
    bool cancelOffered_ = false;
};

} // namespace corvane::gui
