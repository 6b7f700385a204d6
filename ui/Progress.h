// The progress window of the analysis steps: a bar mode and a text mode, nesting, and a
// cancel flag that the working loop reads through SetProgress.
//
// Texts and the bar position are kept here and put on screen by Refresh, at most once per
// RefreshInterval while the window is visible (the UI port refreshes it as often when it
// lets events run): the scan changes them once per folder, and drawing each change would
// cost more than the scan itself.
#pragma once

#include "ui/NxForm.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <chrono>
#include <cstdint>
#include <string_view>

class QLabel;
class QProgressBar;
class QPushButton;

namespace corvane::gui {

class TFProgress : public tNxForm<QDialog> {
    Q_OBJECT
public:
    static constexpr int DesignWidth = 424;
    static constexpr int BarHeight = 57; // the height without the button
    static constexpr std::chrono::milliseconds RefreshInterval{100};

    explicit TFProgress(QWidget* parent = nullptr);
    ~TFProgress() override; // FormDestroy: sets the process-wide "destroyed" flag

    // The one instance: created (owned by the main window when there is one) when missing;
    // nullptr once it has been destroyed, so that calls after the end of the program do
    // nothing.
    static TFProgress* Instance();
    // The instance if it exists, without creating one.
    static TFProgress* Existing();
    static bool Destroyed();
    // Open progress uses of the process (0 when none).
    static int Nesting();

    // Clears Cancelled, counts one level, shows the bar 0..maximum (and the window when it
    // is hidden, disabling the window that was active). Lets events run.
    void StartProgress(int64_t maximum, bool showButton);
    // As StartProgress, with text in place of the bar; the window grows to fit the text.
    void StartProgressText(std::string_view text, bool showButton, std::string_view title);
    // Starts text mode when hidden, otherwise only replaces the text. Lets events run.
    void ShowProgressText(std::string_view text, bool showButton, std::string_view title);
    // Moves the bar (starting it without a button when hidden); false once the button was
    // pressed. Does not let events run.
    bool SetProgress(int64_t position);
    // Ends one level; the last one hides the window and enables the remembered window again.
    void EndProgress();

    // The window caption: applied at the next Refresh while visible.
    void SetCaption(const QString& caption);
    QString Caption() const { return caption_; }
    void SetButtonCaption(std::string_view caption);
    // The English texts the main window switches to: caption "Progress", button "Cancel".
    void SetEnglishTexts();
    // The whole text of Label1 (the label may show it shortened in the middle).
    QString Label1Text() const { return text_; }

    // Puts caption, text and bar position on screen when they changed.
    void Refresh();
    // Refreshes and lets pending events run up to times times (fewer when none are left);
    // unless force, only when RefreshInterval has passed since the last refresh.
    void LetEventsRun(int times, bool force = false);

    bool Cancelled = false;

    // Handlers.
    void btCancelClick();
    void FormClose();
    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Escape: the button's action when it is shown; the window never hides by itself.
    void reject() override;

private:
    void Begin(bool showButton);
    void ShowWindow();
    // Places bar, labels and button and gives the window its size for the current mode.
    void Arrange(bool growToText);
    void ApplyLabelText();
    int BarValue() const;

    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lbSubtitle = nullptr;
    QPushButton* btCancel = nullptr;

    QPointer<QWidget> activeWindow_;
    bool activeWasEnabled_ = false;
    int64_t maximum_ = 0, position_ = 0;
    bool textMode_ = false, buttonShown_ = false;
    QString caption_, text_, shownText_;
    int width_ = DesignWidth;
    std::chrono::steady_clock::time_point nextRefresh_{};
};

} // namespace corvane::gui
