#include "ui/QtPort.h"

#include "ui/CopyingResult.h"
#include "ui/CopyingStatus.h"
#include "ui/Dialogs.h"
#include "ui/Progress.h"
#include "ui/SyncStatus.h"

#include <QApplication>
#include <QString>
#include <algorithm>
#include <ctime>

namespace corvane::gui {

TQtPort::TQtPort() = default;
TQtPort::~TQtPort() = default;

void TQtPort::StartProgress(int64_t maximum, bool showButton) {
    if (auto* w = TFProgress::Instance()) w->StartProgress(maximum, showButton);
}

void TQtPort::StartProgressText(std::string_view text, bool showButton, std::string_view title) {
    if (auto* w = TFProgress::Instance()) w->StartProgressText(text, showButton, title);
}

void TQtPort::ShowProgressText(std::string_view text, bool showButton, std::string_view title) {
    if (auto* w = TFProgress::Instance()) w->ShowProgressText(text, showButton, title);
}

bool TQtPort::SetProgress(int64_t position) {
    auto* w = TFProgress::Instance();
    return w ? w->SetProgress(position) : true;
}

void TQtPort::EndProgress() {
    if (auto* w = TFProgress::Instance()) w->EndProgress();
}

void TQtPort::SetProgressTitle(std::string_view title) {
    if (auto* w = TFProgress::Instance())
        w->SetCaption(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
}

void TQtPort::SetProgressButtonCaption(std::string_view caption) {
    if (auto* w = TFProgress::Instance()) w->SetButtonCaption(caption);
}

bool TQtPort::ProgressCancelled() const {
    auto* w = TFProgress::Instance();
    return w && w->Cancelled;
}

bool TQtPort::ProgressVisible() const {
    auto* w = TFProgress::Instance();
    return w && w->isVisible();
}

void TQtPort::ShowInfo(std::string_view text) {
    gui::ShowInfo(text);
}
bool TQtPort::AskQuestion(std::string_view text) {
    return gui::AskQuestion(text);
}

int TQtPort::AskDecision(std::string_view question, bool defaultYes, bool showCancel,
                         std::string_view title) {
    return gui::AskDecision(question, defaultYes, showCancel, title);
}

int TQtPort::ChooseOption(std::string_view message, const std::vector<std::string>& options,
                          int preselected) {
    return gui::ChooseOption(message, options, preselected);
}

int TQtPort::ChooseWithFileInfo(const tFileChoice& choice) {
    return gui::ChooseWithFileInfo(choice);
}

std::string TQtPort::AskForText(std::string_view prompt, int maxLength, bool& cancelled,
                                std::string_view defaultText, std::string_view note) {
    return gui::AskForText(prompt, maxLength, cancelled, defaultText, note);
}

void TQtPort::OpenCopyingStatus(tCopyingStatus& status, bool show) {
    copying_ = std::make_unique<TFCopyingStatus>(status);
    if (show) {
        copying_->ShowWindow();
        ProcessEventsNow();
    }
}

void TQtPort::CloseCopyingStatus() {
    if (!copying_) return;
    copying_->hide();
    copying_.reset();
}

void TQtPort::ShowCopyingResult(const tCopyingResult& result) {
    if (auto* w = TFCopyingResult::Instance()) w->ShowResult(result);
}

bool TQtPort::ReviewPlan(tProfile& profile) { return gui::ReviewPlan(profile); }
void TQtPort::ShowPlan(tProfile& profile) { gui::ShowPlan(profile); }
void TQtPort::PlanDone() { gui::PlanDone(); }

namespace {

// A few milliseconds of resolution are plenty for a 20 ms interval, and reading this clock
// costs a fraction of reading the precise one.
int64_t CoarseNowNs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &t);
    return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

} // namespace

void TQtPort::ProcessEvents() {
    ++stats_.Calls;
    const int64_t now = CoarseNowNs();
    if (now < nextEventsNs_) return;
    nextEventsNs_ = now + std::chrono::nanoseconds(EventInterval).count();
    const bool show = now >= nextShowNs_;
    if (show) nextShowNs_ = now + std::chrono::nanoseconds(ShowInterval).count();
    RunEvents(show);
}

void TQtPort::ProcessEventsNow() {
    RunEvents(true);
}

void TQtPort::RunEvents(bool showStatus) {
    const auto start = std::chrono::steady_clock::now();
    if (showStatus) {
        if (copying_ && copying_->isVisible()) copying_->ShowStatus();
        if (auto* progress = TFProgress::Existing(); progress && progress->isVisible())
            progress->Refresh();
    }
    QCoreApplication::processEvents();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ++stats_.Runs;
    stats_.Seconds += seconds;
    stats_.Longest = std::max(stats_.Longest, seconds);
}

} // namespace corvane::gui
