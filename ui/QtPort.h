// The UI port of the windowed program: progress, questions, the copying windows and the
// review of a plan are carried out by the real windows.
#pragma once

#include "engine/UiPort.h"

#include <chrono>
#include <memory>

namespace corvane::gui {

class TFCopyingStatus;

class TQtPort : public UiPort {
public:
    TQtPort();
    ~TQtPort() override;

    void StartProgress(int64_t maximum, bool showButton) override;
    void StartProgressText(std::string_view text, bool showButton, std::string_view title) override;
    void ShowProgressText(std::string_view text, bool showButton, std::string_view title) override;
    bool SetProgress(int64_t position) override;
    void EndProgress() override;
    void SetProgressTitle(std::string_view title) override;
    void SetProgressButtonCaption(std::string_view caption) override;
    bool ProgressCancelled() const override;
    bool ProgressVisible() const override;

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
    void ShowCopyingResult(const tCopyingResult& result) override;
    bool ReviewPlan(tProfile& profile) override;
    void ShowPlan(tProfile& profile) override;
    void PlanDone() override;

    // Runs pending window events, at most once per EventInterval: the engine calls this
    // once per item (hundreds of thousands of times in a run), and a click needs only a
    // fraction of a second to take effect. The copying status and progress windows are
    // brought up to date at most once per ShowInterval, which is smooth to the eye and
    // keeps their drawing out of the run's time. A call between two runs costs one read
    // of a coarse clock.
    void ProcessEvents() override;
    // Shows the copying status and progress as they are now and runs pending events,
    // whatever the intervals.
    void ProcessEventsNow();

    static constexpr std::chrono::milliseconds EventInterval{20};
    static constexpr std::chrono::milliseconds ShowInterval{100};

    // What letting events run has cost so far.
    struct tEventStats {
        long long Calls = 0; // ProcessEvents calls
        long long Runs = 0;  // of them, or of ProcessEventsNow, that ran events
        double Seconds = 0;  // spent in those runs
        double Longest = 0;  // the longest of them
    };
    const tEventStats& EventStats() const { return stats_; }

private:
    void RunEvents(bool showStatus);

    std::unique_ptr<TFCopyingStatus> copying_;
    int64_t nextEventsNs_ = 0, nextShowNs_ = 0; // coarse monotonic clock
    tEventStats stats_;
};

} // namespace corvane::gui
