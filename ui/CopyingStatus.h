// The copying status window of an execution: what is being copied, the position in the
// plan and within the file, files that could not be opened exclusively, and the buttons
// that abort the run or switch off its database-safe mode.
#pragma once

#include "engine/UiPort.h"
#include "ui/NxForm.h"

#include <QDialog>
#include <functional>

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace corvane {
class tProfile;
}

namespace corvane::gui {

class TFCopyingStatus : public tNxForm<QDialog> {
    Q_OBJECT
public:
    static constexpr int DesignWidth = 387, DesignHeight = 236;

    // Shows what status holds; the window writes status.Cancelled. status outlives it.
    explicit TFCopyingStatus(tCopyingStatus& status, QWidget* parent = nullptr);
    ~TFCopyingStatus() override;

    // Copies the status record into the labels and bars; only what changed since the last
    // call touches a widget.
    void ShowStatus();

    // Shows the window without waiting; it is then the only window that takes input.
    void ShowWindow();
    // Shows the window and waits until it is closed (Button1 then only closes it).
    int exec() override;

    // Called after "Turn Off Database-Safe Mode For This Profile" switched the running
    // profile's Database off, so the main window can refresh a page showing that profile.
    static std::function<void(tProfile&)>& DatabaseModeSwitchedOff();

    // Handlers.
    void Button1Click();
    void btDatabaseModeOffClick();

protected:
    // Closing by the title bar or Escape asks like Cancel; the run closes the window.
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    tCopyingStatus& status_;
    tCopyingStatus shown_; // what the widgets show now
    bool firstShow_ = true;
    bool modal_ = false; // shown by exec()

    QWidget* Panel1 = nullptr;
    QLabel* lbCopying = nullptr;
    QLabel* lbFileNumber = nullptr;
    QProgressBar* pbFileNumber = nullptr;
    QLabel* lbFigures = nullptr; // the run's figures: done of the totals, speed, time left
    QLabel* Label2 = nullptr;
    QLabel* lbFromDir = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* lbToDir = nullptr;
    QLabel* lbBytes = nullptr;
    QProgressBar* pbBytes = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* btDatabaseModeOff = nullptr;
    QPushButton* Button1 = nullptr;
};

// Sets bar to position out of maximum, scaled down when they exceed the toolkit's range.
void SetBar(QProgressBar& bar, int64_t position, int64_t maximum);

} // namespace corvane::gui
