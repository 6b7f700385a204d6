// The port for runs without a display (--run, --plan). No question is expected in an
// unattended run; one that arrives anyway gets the safe answer (No, Cancel, do not
// overwrite, do not delete) and is written to standard error. Progress goes to standard
// error as one updating line, cut to the terminal's width, when it is a terminal; asked
// to show progress always (--progress), it writes plain lines elsewhere (a log file), at
// most one a second.
#pragma once

#include "engine/UiPort.h"

#include <cstdio>

namespace corvane {

class ConsolePort : public UiPort {
public:
    explicit ConsolePort(std::FILE* err = stderr);

    // Progress also when err is not a terminal: one plain line per update, at most one a
    // second, a line only when it says something new, and the last state of a copy when
    // the copying window closes.
    void ShowProgressAlways(bool on) { always_ = on; }

    void StartProgress(int64_t maximum, bool showButton) override;
    void StartProgressText(std::string_view text, bool showButton, std::string_view title) override;
    void ShowProgressText(std::string_view text, bool showButton, std::string_view title) override;
    bool SetProgress(int64_t position) override;
    void EndProgress() override;
    void SetProgressTitle(std::string_view title) override;
    void SetProgressButtonCaption(std::string_view) override {}
    bool ProgressCancelled() const override { return false; }
    bool ProgressVisible() const override { return nesting_ > 0; }

    void ShowInfo(std::string_view text) override;
    bool AskQuestion(std::string_view text) override;
    int AskDecision(std::string_view question, bool defaultYes, bool showCancel,
                    std::string_view title) override;
    int ChooseOption(std::string_view message, const std::vector<std::string>& options,
                     int preselected) override;
    int ChooseWithFileInfo(const tFileChoice& choice) override;
    std::string AskForText(std::string_view prompt, int maxLength, bool& cancelled,
                           std::string_view defaultText, std::string_view note) override;

    void OpenCopyingStatus(tCopyingStatus& status, bool show) override;
    void CloseCopyingStatus() override;
    void ShowCopyingResult(const tCopyingResult&) override {}
    // Nobody can review a plan here: the run is cancelled.
    bool ReviewPlan(tProfile&) override { return false; }
    void ProcessEvents() override;

private:
    void Draw(std::string_view text);
    void ClearLine();
    bool Drawing() const { return terminal_ || always_; }
    // The columns of the terminal err is (COLUMNS, else 80, when it does not say).
    int Width() const;

    std::FILE* err_;
    bool terminal_;
    bool always_ = false;
    std::string lastLine_; // the last plain line, not repeated
    int nesting_ = 0;
    int64_t maximum_ = 0;
    std::string title_, text_;
    tCopyingStatus* copying_ = nullptr;
    long long lastDraw_ = 0; // milliseconds, to limit redraws
    bool lineShown_ = false;
};

} // namespace corvane
