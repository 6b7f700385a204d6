#include "support/ScriptedPort.h"

namespace corvane::test {

ScriptedPort::ScriptedPort() { SetUiPort(this); }

ScriptedPort::~ScriptedPort() { SetUiPort(nullptr); }

std::vector<std::string> ScriptedPort::CallsStartingWith(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& c : Calls)
        if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
    return out;
}

void ScriptedPort::StartProgress(int64_t maximum, bool) {
    ++Nesting;
    progressCancelled_ = false;
    Maximum = maximum;
}

void ScriptedPort::StartProgressText(std::string_view text, bool, std::string_view title) {
    ++Nesting;
    progressCancelled_ = false;
    ProgressLog.push_back("Title: " + std::string(title));
    ProgressLog.push_back("Text: " + std::string(text));
}

void ScriptedPort::ShowProgressText(std::string_view text, bool showButton,
                                    std::string_view title) {
    if (Nesting <= 0) {
        StartProgressText(text, showButton, title);
        return;
    }
    ProgressLog.push_back("Text: " + std::string(text));
}

bool ScriptedPort::SetProgress(int64_t position) {
    if (Nesting <= 0) StartProgress(Maximum, false);
    Position = position;
    return !progressCancelled_;
}

void ScriptedPort::EndProgress() {
    if (Nesting > 0) --Nesting;
}

void ScriptedPort::SetProgressTitle(std::string_view title) {
    ProgressLog.push_back("Title: " + std::string(title));
}

void ScriptedPort::SetProgressButtonCaption(std::string_view caption) {
    ButtonCaption = caption;
    ProgressLog.push_back("Button: " + std::string(caption));
}

void ScriptedPort::ShowInfo(std::string_view text) { Calls.push_back("Info: " + std::string(text)); }

bool ScriptedPort::AskQuestion(std::string_view text) {
    Calls.push_back("Question: " + std::string(text));
    if (Questions.empty()) return false;
    bool a = Questions.front();
    Questions.pop_front();
    return a;
}

int ScriptedPort::AskDecision(std::string_view question, bool, bool, std::string_view) {
    Calls.push_back("Decision: " + std::string(question));
    if (Decisions.empty()) return -1;
    int a = Decisions.front();
    Decisions.pop_front();
    return a;
}

int ScriptedPort::ChooseOption(std::string_view message, const std::vector<std::string>&, int) {
    Calls.push_back("Choice: " + std::string(message));
    if (Choices.empty()) return 0;
    int a = Choices.front();
    Choices.pop_front();
    return a;
}

int ScriptedPort::ChooseWithFileInfo(const tFileChoice& choice) {
    Calls.push_back("FileChoice: " + choice.Message + " | " + choice.DestName);
    FileChoices.push_back(choice);
    if (Choices.empty()) return 0;
    int a = Choices.front();
    Choices.pop_front();
    return a;
}

std::string ScriptedPort::AskForText(std::string_view prompt, int, bool& cancelled,
                                     std::string_view, std::string_view) {
    Calls.push_back("Text: " + std::string(prompt));
    cancelled = true;
    if (Texts.empty()) return {};
    std::string a = Texts.front();
    Texts.pop_front();
    if (a == "\x18") return {};
    cancelled = false;
    return a;
}

void ScriptedPort::OpenCopyingStatus(tCopyingStatus& status, bool show) {
    Copying = &status;
    CopyingShown = show;
}

void ScriptedPort::CloseCopyingStatus() {
    Copying = nullptr;
    CopyingShown = false;
}

void ScriptedPort::ShowCopyingResult(const tCopyingResult& result) { Results.push_back(result); }

bool ScriptedPort::ReviewPlan(tProfile&) {
    Calls.push_back("Review");
    if (Reviews.empty()) return false;
    bool a = Reviews.front();
    Reviews.pop_front();
    return a;
}

void ScriptedPort::ProcessEvents() {
    ++Events;
    if (CancelProgressAfter > 0 && --CancelProgressAfter == 0) progressCancelled_ = true;
    if (CancelCopyingAfter > 0 && --CancelCopyingAfter == 0 && Copying) Copying->Cancelled = true;
    if (OnEvents) OnEvents(Events);
}

} // namespace corvane::test
