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
    // once per item, and a click needs only a fraction of a second to take effect.
    void ProcessEvents() override;
    // Runs pending events now, whatever the interval.
    void ProcessEventsNow();

    static constexpr std::chrono::milliseconds EventInterval{20};

private:
    std::unique_ptr<TFCopyingStatus> copying_;
    std::chrono::steady_clock::time_point nextEvents_{};
};

} // namespace corvane::gui
