#include "ui/SyncMain.h"

#include "engine/UiPort.h"
#include "profiles/ProfileStore.h"
#include "ui/CopyingStatus.h"
#include "ui/Dialogs.h"
#include "ui/HelpWindow.h"
#include "ui/Notify.h"
#include "ui/PageControls.h"
#include "ui/Progress.h"
#include "widgets/Bytes.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>

#include <cmath>

namespace corvane::gui {

using namespace controls;

namespace {

TFSyncMain* mainWindow = nullptr;

constexpr const char* kVersion = "1.04";

constexpr const char* kNoScheduledProfiles =
    "No profiles are scheduled. This may be caused by scheduled dates to lie in the past. To "
    "activate some profiles, you can easily do this from the \"Overview\" tab sheet. \r\n\r\n"
    "If you want to have the scheduled date for a profile to be updated automatically so that "
    "it always lies in the future, please go to the \"Edit Profiles\" tabsheet, and select the "
    "\"Auto-Update\" option among the  \"Schedule\" options.";

} // namespace

// ---------------------------------------------------------------------------------------
// The port a "Run Now..." runs through: the installed port, plus the main window's close
// request. Once the window was asked to close, the progress counts as cancelled, no plan is
// reviewed and the copying status is cancelled at its next poll, so the run ends at the next
// point where it looks at its flags and nothing half-done is left behind.

class TFSyncMain::tRunGuard : public UiPort {
public:
    tRunGuard(TFSyncMain& window, tProfile& profile)
        : window_(window), profile_(profile), inner_(Ui()) {
        window_.running_ = &profile_;
        SetUiPort(this);
    }
    ~tRunGuard() override {
        SetUiPort(&inner_);
        window_.running_ = nullptr;
    }

    void StartProgress(int64_t maximum, bool showButton) override {
        inner_.StartProgress(maximum, showButton);
    }
    void StartProgressText(std::string_view text, bool showButton, std::string_view title) override {
        inner_.StartProgressText(text, showButton, title);
    }
    void ShowProgressText(std::string_view text, bool showButton, std::string_view title) override {
        inner_.ShowProgressText(text, showButton, title);
    }
    bool SetProgress(int64_t position) override {
        return inner_.SetProgress(position) && !window_.closePending_;
    }
    void EndProgress() override { inner_.EndProgress(); }
    void SetProgressTitle(std::string_view title) override { inner_.SetProgressTitle(title); }
    void SetProgressButtonCaption(std::string_view caption) override {
        inner_.SetProgressButtonCaption(caption);
    }
    bool ProgressCancelled() const override {
        return inner_.ProgressCancelled() || window_.closePending_;
    }
    bool ProgressVisible() const override { return inner_.ProgressVisible(); }

    void ShowInfo(std::string_view text) override { inner_.ShowInfo(text); }
    bool AskQuestion(std::string_view text) override { return inner_.AskQuestion(text); }
    int AskDecision(std::string_view question, bool defaultYes, bool showCancel,
                    std::string_view title) override {
        return inner_.AskDecision(question, defaultYes, showCancel, title);
    }
    int ChooseOption(std::string_view message, const std::vector<std::string>& options,
                     int preselected) override {
        return inner_.ChooseOption(message, options, preselected);
    }
    int ChooseWithFileInfo(const tFileChoice& choice) override {
        return inner_.ChooseWithFileInfo(choice);
    }
    std::string AskForText(std::string_view prompt, int maxLength, bool& cancelled,
                           std::string_view defaultText, std::string_view note) override {
        return inner_.AskForText(prompt, maxLength, cancelled, defaultText, note);
    }

    void OpenCopyingStatus(tCopyingStatus& status, bool show) override {
        inner_.OpenCopyingStatus(status, show);
        if (window_.closePending_) status.Cancelled = true;
    }
    void CloseCopyingStatus() override { inner_.CloseCopyingStatus(); }
    void ShowCopyingResult(const tCopyingResult& result) override {
        if (!window_.closePending_) inner_.ShowCopyingResult(result);
    }
    bool ReviewPlan(tProfile& profile) override {
        if (window_.closePending_) return false;
        return inner_.ReviewPlan(profile) && !window_.closePending_;
    }
    void ProcessEvents() override {
        inner_.ProcessEvents();
        if (window_.closePending_ && profile_.CopyingWindow) profile_.CopyingWindow->Cancelled = true;
    }

private:
    TFSyncMain& window_;
    tProfile& profile_;
    UiPort& inner_;
};

// ---------------------------------------------------------------------------------------
// Creation and layout

TFSyncMain::TFSyncMain(bool autostart, QWidget* parent)
    : tNxForm<QMainWindow>(parent),
      store_(std::make_unique<tPreferences>(PreferencesFileName())),
      autostart_(autostart) {
    mainWindow = this;
    setObjectName("FSyncMain");
    setWindowTitle(QStringLiteral("Corvane"));
    Dialogs.Info = [](std::string_view text) { gui::ShowInfo(text); };
    Dialogs.Question = [](std::string_view text) { return gui::AskQuestion(text); };
    Dialogs.Decision = [](std::string_view q) { return gui::AskDecision(q, true, false, "Corvane"); };
    Dialogs.Choose = [](std::string_view prompt, const std::vector<std::string>& options) {
        return gui::ChooseOption(prompt, options, 1);
    };
    Dialogs.Text = [](std::string_view prompt, std::string_view proposed, bool& cancelled) {
        return gui::AskForText(prompt, 200, cancelled, proposed, "");
    };
    NotifyFailure = [](const std::string& name, const std::string& result) {
        NotifyFailedRun(name, result);
    };
    Dialogs.Folder = [this](std::string_view title, std::string_view start) {
        return ToBytes(QFileDialog::getExistingDirectory(this, Q(title), FromBytes(std::string(start))));
    };
    BuildWindow();
    Connect();
    FormCreate();
    TFCopyingStatus::DatabaseModeSwitchedOff() = [this](tProfile& p) {
        if (p.Name == editPage_->ComboText()) editPage_->ShowProfile(p);
    };
}

TFSyncMain::~TFSyncMain() {
    schedulerPage_->StopTimer();
    TFCopyingStatus::DatabaseModeSwitchedOff() = nullptr;
    store_->Flush();
    SetPrefStore(nullptr);
    mainWindow = nullptr;
}

TFSyncMain* TFSyncMain::Instance() { return mainWindow; }


void TFSyncMain::BuildWindow() {
    InstallHelp(this, 10);
    setAttribute(Qt::WA_AlwaysShowToolTips);
    PageControl1 = Named(new QTabWidget(this), "PageControl1");
    editPage_ = new tEditPage(*this);
    overviewPage_ = new tOverviewPage(*this);
    schedulerPage_ = new tSchedulerPage(*this);
    optionsPage_ = new tOptionsPage(*this);
    aboutPage_ = new tAboutPage(*this);
    PageControl1->addTab(editPage_, "  &Edit Profiles ");
    PageControl1->addTab(overviewPage_, "  Profile O&verview ");
    PageControl1->addTab(schedulerPage_, "  S&cheduler ");
    PageControl1->addTab(optionsPage_, "O&ptions");
    PageControl1->addTab(aboutPage_, "  A&bout ");
    setCentralWidget(PageControl1);

    // The first start shows the initial values; a stored profile replaces them in FormShow.
    tProfile initial;
    SetInitialValues(initial);
    initial.NextRun = std::floor(Now() * 1440.0) / 1440.0;
    editPage_->ShowProfile(initial);
}

void TFSyncMain::Connect() {
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (switchingBack_) return;
        if (!PageControl1Changing(shownTab_)) {
            switchingBack_ = true;
            PageControl1->setCurrentWidget(schedulerPage_);
            switchingBack_ = false;
            shownTab_ = PageControl1->currentIndex();
            return;
        }
        shownTab_ = index;
        PageControl1Change();
    });
}

void TFSyncMain::Browse(QLineEdit* edit, const char* title) {
    const std::string chosen = Dialogs.Folder(title, ToBytes(edit->text()));
    if (!chosen.empty()) edit->setText(FromBytes(chosen));
}

// ---------------------------------------------------------------------------------------
// Window events

void TFSyncMain::FormCreate() {
    setWindowTitle(windowTitle() + " " + kVersion);
    aboutPage_->ShowVersion(kVersion, CORVANE_BUILD);
    SetEnglishDialogTexts();
    store_->Load();
    SetPrefStore(store_.get());
    RunSettings() = ReadMainSettings();
}

void TFSyncMain::FormShow() {
    showing_ = true;
    if (auto* progress = TFProgress::Instance()) progress->SetEnglishTexts();
    PageControl1->setCurrentWidget(editPage_);
    editPage_->ShowFirstTab();
    FillProfileLists(ReadPref("CurrentProfileName", "Main"), false, Now(), false);
    optionsPage_->LoadSettings();
    editPage_->LoadCurrentProfile();
    loaded_ = true;
    if (autostart_ && !schedulerStarted_) {
        schedulerStarted_ = true;
        schedulerPage_->StartOnAutostart();
    }
    const int tab = ParseIntOr(ReadPref("CurrentTabSheet", "Main"), 0);
    if (tab >= 0 && tab < PageControl1->count()) PageControl1->setCurrentIndex(tab);
    shownTab_ = PageControl1->currentIndex();
    if (!FormCanResize(0, 0)) setFixedSize(size().expandedTo(sizeHint()));
    showing_ = false;
}

void TFSyncMain::FormClose() {
    WritePref("CurrentProfileName", CurrentName(), "Main");
    WritePref("CurrentTabSheet", std::to_string(PageControl1->currentIndex()), "Main");
    optionsPage_->SaveSettings();
}

bool TFSyncMain::FormCanResize(int, int) { return false; }

void TFSyncMain::FormActivate() {
    // Windows that belong in front of the main window while they are open.
    for (const char* name : {"FSelectItems", "FInfoChoice", "FSyncStatus"}) {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w != this && w->objectName() == name && w->isVisible() && w->isEnabled()) {
                w->activateWindow();
                w->raise();
                return;
            }
        }
    }
}

void TFSyncMain::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FormShow();
    tNxForm<QMainWindow>::showEvent(event);
}

void TFSyncMain::closeEvent(QCloseEvent* event) {
    if (running_ || schedulerPage_->WatchBusy()) {
        // The window stays until the run has ended. While it copies, the question of the
        // copying window's Cancel comes first; Yes cancels the run at its next poll point,
        // once the file under way is safe, and the window closes after it.
        event->ignore();
        if (closePending_) return;
        if (running_ && running_->CopyingWindow &&
            !Dialogs.Question("Are you sure to abort the operation?"))
            return;
        if (!running_ && !schedulerPage_->WatchBusy()) { // it ended while the question was open
            QTimer::singleShot(0, this, [this] { close(); });
            return;
        }
        closePending_ = true;
        if (running_ && running_->CopyingWindow) running_->CopyingWindow->Cancelled = true;
        return;
    }
    if (!exitAsked_) editPage_->AskToSaveChangesOfShownName();
    exitAsked_ = false;
    FormClose();
    tNxForm<QMainWindow>::closeEvent(event);
}

void TFSyncMain::changeEvent(QEvent* event) {
    tNxForm<QMainWindow>::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TFSyncMain::btExitClick() {
    editPage_->AskToSaveChangesOfShownName();
    exitAsked_ = true;
    close();
}

bool TFSyncMain::PageControl1Changing(int leaving) {
    if (showing_ || !isVisible()) return true;
    if (SchedulerActive()) {
        Dialogs.Info("Please stop the scheduler first");
        return false;
    }
    if (PageControl1->widget(leaving) == editPage_) editPage_->AskToSaveChangesOfShownName();
    return true;
}

void TFSyncMain::PageControl1Change() {
    QWidget* page = PageControl1->currentWidget();
    if (page == schedulerPage_) {
        FillProfileLists(CurrentName(), true, Now(), false);
        // Only a page the user chose says so; the page shown at start-up does not.
        if (schedulerPage_->RowCount() == 0 && !showing_) Dialogs.Info(kNoScheduledProfiles);
    } else if (page == overviewPage_)
        FillProfileLists(CurrentName(), false, Now(), true);
    else
        editPage_->LoadCurrentProfile();
}

// ---------------------------------------------------------------------------------------
// The pages

void TFSyncMain::FillProfileLists(const std::string& select, bool withGrid, tDateTime now,
                                  bool withOverview) {
    const std::vector<std::string> names = StoredProfileNames(*store_);
    editPage_->ListProfiles(names, select);
    if (withOverview) overviewPage_->ListProfiles(names);
    if (withGrid) schedulerPage_->ListRows(now);
}

void TFSyncMain::SetPagesEnabled(bool enabled) { PageControl1->setEnabled(enabled); }

void TFSyncMain::ShowPage(QWidget* page) { PageControl1->setCurrentWidget(page); }

bool TFSyncMain::SchedulerActive() const { return schedulerPage_->Active(); }

// ---------------------------------------------------------------------------------------
// Runs started from the window

std::unique_ptr<UiPort> TFSyncMain::GuardRun(tProfile& profile) {
    return std::make_unique<tRunGuard>(*this, profile);
}

void TFSyncMain::CloseIfPending() {
    if (!closePending_) return;
    closePending_ = false;
    QTimer::singleShot(0, this, [this] { close(); });
}


} // namespace corvane::gui
