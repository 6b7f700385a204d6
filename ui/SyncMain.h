// The main window: the frame that holds the pages (edit page, profile overview, scheduler,
// options, about), the profile store and the runs started from the window.
#pragma once

#include "profiles/DateTime.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "scheduler/NextRun.h"
#include "scheduler/Scheduler.h"
#include "ui/AboutPage.h"
#include "ui/EditPage.h"
#include "ui/NxForm.h"
#include "ui/OptionsPage.h"
#include "ui/OverviewPage.h"
#include "ui/PageControls.h"
#include "ui/SchedulerPage.h"

#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QLineEdit;
class QTabWidget;

namespace corvane {
class UiPort;
}

namespace corvane::gui {

// The questions and messages of the main window. They default to the dialogs of
// ui/Dialogs.h; tests put scripted answers in their place.
struct tMainDialogs {
    std::function<void(std::string_view text)> Info;
    std::function<bool(std::string_view text)> Question;
    // 1 Yes, 0 No, -1 Cancel.
    std::function<int(std::string_view question)> Decision;
    // The chosen option's number counted from 1, 0 when cancelled.
    std::function<int(std::string_view prompt, const std::vector<std::string>& options)> Choose;
    // The answer; cancelled set when the dialog was cancelled.
    std::function<std::string(std::string_view prompt, std::string_view proposed, bool& cancelled)>
        Text;
    // Folder browser: the chosen folder, or "" when cancelled.
    std::function<std::string(std::string_view title, std::string_view start)> Folder;
};

class TFSyncMain : public tNxForm<QMainWindow> {
    Q_OBJECT
public:
    // autostart: the program was started with "/autostart".
    explicit TFSyncMain(bool autostart = false, QWidget* parent = nullptr);
    ~TFSyncMain() override;

    // The main window of the process, or nullptr before it exists and after it is gone.
    static TFSyncMain* Instance();

    tPreferences& Store() { return *store_; }
    tMainDialogs Dialogs;
    // The moment taken as now (the clock unless a test fixes it).
    std::function<tDateTime()> Now = [] { return NowDateTime(); };

    // The pages.
    tEditPage& EditPage() { return *editPage_; }
    tOverviewPage& OverviewPage() { return *overviewPage_; }
    tSchedulerPage& SchedulerPage() { return *schedulerPage_; }
    tOptionsPage& OptionsPage() { return *optionsPage_; }

    // The profile on screen (the edit page's).
    const std::string& CurrentName() const { return editPage_->CurrentName(); }
    bool Modified() const { return editPage_->Modified(); }
    const tAdvanceMemory& AdvanceMemory() const { return editPage_->AdvanceMemory(); }
    const std::string& BaseFolderItems() const { return editPage_->BaseFolderItems(); }
    void ProfileFromForm(tProfile& p) { editPage_->ProfileFromForm(p); }
    void ProfileToForm(tProfile& p) { editPage_->ProfileToForm(p); }
    void LoadCurrentProfile() { editPage_->LoadCurrentProfile(); }
    // false (with a message, nothing written) when the name or the page cannot be stored.
    bool SaveProfile(const std::string& name) { return editPage_->SaveProfile(name); }
    bool IsProfileModified() { return editPage_->IsProfileModified(); }
    void UpdateControlStates() { editPage_->UpdateControlStates(); }
    bool Loaded() const { return loaded_; }

    // The stored profiles into the profile box (select chosen), and into the scheduler's
    // grid (due at now) and the overview's list when asked for.
    void FillProfileLists(const std::string& select, bool withGrid, tDateTime now,
                          bool withOverview);

    // The profile of a "Run Now..." while it runs, else nullptr.
    tProfile* RunningProfile() const { return running_; }
    // The port for a run of profile started from the window, in place until it is destroyed:
    // the installed port, plus the window's close request.
    std::unique_ptr<UiPort> GuardRun(tProfile& profile);
    // The window was asked to close during a run; it closes once the run has ended.
    bool ClosePending() const { return closePending_; }
    // A close asked for during a run happens once the run has ended.
    void CloseIfPending();
    // Every page enabled or disabled (disabled while a run goes on).
    void SetPagesEnabled(bool enabled);
    void ShowPage(QWidget* page);
    // The folder browser for edit, started at its folder; the chosen folder replaces its text.
    void Browse(QLineEdit* edit, const char* title);

    // The scheduler's rows and next start as the grid shows them.
    const tScheduler& Scheduler() const { return schedulerPage_->Scheduler(); }
    // The scheduler is running (its timer is enabled, or one of its runs is under way) or
    // an autostart is pending.
    bool SchedulerActive() const;
    // Told about every scheduled run that failed; defaults to the desktop notification.
    std::function<void(const std::string& name, const std::string& result)> NotifyFailure;

    // Handlers.
    void FormCreate();
    void FormShow();
    void FormClose();
    bool FormCanResize(int newWidth, int newHeight);
    void FormActivate();
    // The "Exit" button of every page.
    void btExitClick();
    bool PageControl1Changing(int leaving);
    void PageControl1Change();

    // The base-folder item selection: 1 OK, 2 Cancel (also when the base folders hold no
    // items). The selection dialog itself is shown by the hook when one is installed.
    int EditBaseFolderItems() { return editPage_->EditBaseFolderItems(); }
    std::function<int(tProfile& profile, std::string& selection)> BaseFolderItemsDialog;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    class tRunGuard;

    void BuildWindow();
    void Connect();

    std::unique_ptr<tPreferences> store_;
    bool autostart_ = false;
    bool showing_ = false;
    bool loaded_ = false;
    bool schedulerStarted_ = false;
    bool exitAsked_ = false;
    bool closePending_ = false;
    int shownTab_ = 0;
    bool switchingBack_ = false;
    tProfile* running_ = nullptr;

    QTabWidget* PageControl1 = nullptr;
    tEditPage* editPage_ = nullptr;
    tOverviewPage* overviewPage_ = nullptr;
    tSchedulerPage* schedulerPage_ = nullptr;
    tOptionsPage* optionsPage_ = nullptr;
    tAboutPage* aboutPage_ = nullptr;
};

} // namespace corvane::gui
