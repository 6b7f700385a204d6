// The one interface through which the core shows progress, asks questions and reports.
// The process installs one implementation at start: the Qt windows, the console (for
// runs without a display) or a scripted port in tests. The free functions below forward
// to the installed port so that engine code reads like plain calls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class tProfile;

// What the copying status window shows. The executor writes it; the port shows it each
// time pending events run. Button handlers of the window write Cancelled (and switch the
// profile's database-safe mode off).
struct tCopyingStatus {
    tProfile* Profile = nullptr;
    std::string lbCopying, lbFileNumber, lbFromDir, lbToDir, lbBytes;
    int64_t pbFileNumberPosition = 0, pbFileNumberMax = 0;
    int64_t pbBytesPosition = 0, pbBytesMax = 0;
    bool BytesVisible = false; // lbBytes and pbBytes
    // The run's figures beside the texts above (bytes and files done of the totals, the
    // speed, the time left), set at most 10 times a second; empty until the first figures.
    std::string lbFigures;
    bool AccessGroupVisible = false; // GroupBox1 " No (Exclusive) Access To: " with Memo1
    std::vector<std::string> Memo1;
    bool DatabaseModeOffVisible = false, DatabaseModeOffEnabled = false;
    bool Cancelled = false;
};

// The figures of the copying result window. Empty texts are empty label cells.
struct tCopyingResult {
    std::string lbAddedL, lbAddedR, lbMovedL, lbMovedR;
    std::string lbFoldersCreatedL, lbFoldersCreatedR, lbFoldersRemovedL, lbFoldersRemovedR;
    std::string lbDeletedL, lbDeletedR, lbFilesRenamedL, lbFilesRenamedR;
    std::string lbRenamed = "Renamed (older versions):";
    bool lbDeletedVisible = false, lbRenamedVisible = false, lbFoldersRemovedVisible = false;
    std::vector<std::string> RichEdit1; // files that could not be copied
};

// The choice dialog with file details (overwrite and delete confirmations).
struct tFileChoice {
    std::string Message;
    std::vector<std::string> Options;
    int Preselected = 1;
    std::string SourceName, SourceSize, SourceDate;
    std::string DestName, DestSize, DestDate;
};

class UiPort {
public:
    virtual ~UiPort() = default;

    // Progress window. StartProgress shows a bar 0..maximum; StartProgressText a text.
    // Each start counts one nesting level and clears the cancel flag; EndProgress hides
    // the window when the last level ends. SetProgress returns false once the button was
    // pressed.
    virtual void StartProgress(int64_t maximum, bool showButton) = 0;
    virtual void StartProgressText(std::string_view text, bool showButton,
                                   std::string_view title) = 0;
    virtual void ShowProgressText(std::string_view text, bool showButton,
                                  std::string_view title) = 0;
    virtual bool SetProgress(int64_t position) = 0;
    virtual void EndProgress() = 0;
    virtual void SetProgressTitle(std::string_view title) = 0;
    virtual void SetProgressButtonCaption(std::string_view caption) = 0;
    virtual bool ProgressCancelled() const = 0;
    virtual bool ProgressVisible() const = 0;

    // Dialogs. Every call waits for the answer.
    virtual void ShowInfo(std::string_view text) = 0;
    // true exactly when Yes was chosen.
    virtual bool AskQuestion(std::string_view text) = 0;
    // 1 Yes, 0 No, -1 Cancel.
    virtual int AskDecision(std::string_view question, bool defaultYes, bool showCancel,
                            std::string_view title) = 0;
    // The chosen option's number counted from 1, or 0 when cancelled.
    virtual int ChooseOption(std::string_view message, const std::vector<std::string>& options,
                             int preselected) = 0;
    virtual int ChooseWithFileInfo(const tFileChoice& choice) = 0;
    // The answer, or "" with cancelled set when the dialog was cancelled.
    virtual std::string AskForText(std::string_view prompt, int maxLength, bool& cancelled,
                                   std::string_view defaultText, std::string_view note) = 0;

    // Copying status window: shown (when show is set) from open to close; the port reads
    // the status each time events run.
    virtual void OpenCopyingStatus(tCopyingStatus& status, bool show) = 0;
    virtual void CloseCopyingStatus() = 0;
    // Copying result window, shown modally.
    virtual void ShowCopyingResult(const tCopyingResult& result) = 0;

    // Attended review of a planned run in the status window, shown modally. true when the
    // user pressed "Start", false for "Cancel". The plan may be changed meanwhile.
    virtual bool ReviewPlan(tProfile& profile) = 0;
    // An unattended run shows its plan without waiting while it executes it (the window's
    // buttons disabled); PlanDone ends that display. Nothing to show without windows.
    virtual void ShowPlan(tProfile& /*profile*/) {}
    virtual void PlanDone() {}

    // Lets pending window events run (button presses take effect here).
    virtual void ProcessEvents() = 0;
};

// The installed port (a console port until one is installed). Not owned.
UiPort& Ui();
void SetUiPort(UiPort* port);

// Forwarders with the names the engine uses.
inline void StartProgress(int64_t maximum, bool showButton) { Ui().StartProgress(maximum, showButton); }
inline void StartProgressText(std::string_view text, bool showButton, std::string_view title) {
    Ui().StartProgressText(text, showButton, title);
}
inline void ShowProgressText(std::string_view text, bool showButton, std::string_view title) {
    Ui().ShowProgressText(text, showButton, title);
}
inline bool SetProgress(int64_t position) { return Ui().SetProgress(position); }
inline void EndProgress() { Ui().EndProgress(); }
inline void ShowInfo(std::string_view text) { Ui().ShowInfo(text); }
inline bool AskQuestion(std::string_view text) { return Ui().AskQuestion(text); }
inline int AskDecision(std::string_view question, bool defaultYes, bool showCancel,
                       std::string_view title) {
    return Ui().AskDecision(question, defaultYes, showCancel, title);
}
inline void ProcessEvents() { Ui().ProcessEvents(); }

} // namespace corvane
