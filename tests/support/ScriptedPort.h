// A UI port for tests: answers are queued in advance, every call is recorded, and a test
// can have the progress or copying cancel flag set after a number of events.
#pragma once

#include "engine/UiPort.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace corvane::test {

class ScriptedPort : public UiPort {
public:
    ScriptedPort();
    ~ScriptedPort() override;

    // Queued answers, taken first in first out by the matching call. When a queue is
    // empty the call gets the default noted beside it.
    std::deque<bool> Questions;          // AskQuestion; default false
    std::deque<int> Decisions;           // AskDecision; default -1 (Cancel)
    std::deque<int> Choices;             // ChooseOption and ChooseWithFileInfo; default 0
    std::deque<std::string> Texts;       // AskForText; "\x18" means cancel; default cancel
    std::deque<bool> Reviews;            // ReviewPlan: true "Start"; default false (Cancel)

    // Every call as one line: "Info: text", "Question: text", "Decision: text",
    // "Choice: message", "FileChoice: message | dest", "Text: prompt".
    std::vector<std::string> Calls;
    // Progress texts and titles in the order they were shown.
    std::vector<std::string> ProgressLog;
    std::vector<tFileChoice> FileChoices;
    std::vector<tCopyingResult> Results;

    // When above 0: on the ProcessEvents call that brings it to 0, set the progress cancel
    // flag (as if its button was pressed) or the copying window's Cancelled flag.
    int CancelProgressAfter = 0;
    int CancelCopyingAfter = 0;
    // Called at the end of every ProcessEvents with the number of calls so far, so a test
    // can change the trees at a fixed point of a run.
    std::function<void(int)> OnEvents;

    int Events = 0;       // ProcessEvents calls so far
    int Nesting = 0;      // progress nesting count
    bool CopyingShown = false;
    tCopyingStatus* Copying = nullptr;

    // Calls whose line starts with prefix.
    std::vector<std::string> CallsStartingWith(const std::string& prefix) const;

    void StartProgress(int64_t maximum, bool showButton) override;
    void StartProgressText(std::string_view text, bool showButton, std::string_view title) override;
    void ShowProgressText(std::string_view text, bool showButton, std::string_view title) override;
    bool SetProgress(int64_t position) override;
    void EndProgress() override;
    void SetProgressTitle(std::string_view title) override;
    void SetProgressButtonCaption(std::string_view caption) override;
    bool ProgressCancelled() const override { return progressCancelled_; }
    bool ProgressVisible() const override { return Nesting > 0; }

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
    void ProcessEvents() override;

    std::string ButtonCaption;
    int64_t Maximum = 0;
    int64_t Position = 0;

private:
    bool progressCancelled_ = false;
};

} // namespace corvane::test
