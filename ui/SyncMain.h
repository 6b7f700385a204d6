// The main window: profile editing, the profile overview, the scheduler and the options.
#pragma once

#include "profiles/DateTime.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "scheduler/NextRun.h"
#include "scheduler/Scheduler.h"
#include "ui/NxForm.h"
#include "widgets/StatusGrid.h"

#include <QColor>
#include <QGroupBox>
#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QModelIndex;
class QPainter;
class QPalette;
class QStyleOptionViewItem;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableWidget;
class QTimeEdit;
class QTimer;
class QToolButton;

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

class tRadioGroup;

// The colours of a scheduler grid cell: the next profile's row blue with white text,
// header cells the grid's fixed colour, other cells its normal colour.
tCellColors ScheduleCellColors(const QPalette& palette, bool header, bool nextRow);

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

    // Name of the profile on the edit page; empty for a new, unsaved one.
    const std::string& CurrentName() const { return currentName_; }
    bool Modified() const { return modified_; }
    bool Loaded() const { return loaded_; }
    const tAdvanceMemory& AdvanceMemory() const { return advance_; }
    const std::string& BaseFolderItems() const { return baseFolderItems_; }
    // The profile of a "Run Now..." while it runs, else nullptr.
    tProfile* RunningProfile() const { return running_; }
    // The scheduler's rows and next start as the grid shows them.
    const tScheduler& Scheduler() const { return *scheduler_; }
    // The scheduler is running (its timer is enabled, or one of its runs is under way) or
    // an autostart is pending.
    bool SchedulerActive() const;
    // Told about every scheduled run that failed; defaults to the desktop notification.
    std::function<void(const std::string& name, const std::string& result)> NotifyFailure;

    // Edit page <-> profile.
    void ProfileFromForm(tProfile& p);
    void ProfileToForm(tProfile& p);

    // Profile management.
    void FillProfileLists(const std::string& select, bool withGrid, tDateTime now,
                          bool withOverview);
    void LoadCurrentProfile();
    // false (with a message, nothing written) when the name or the page cannot be stored.
    bool SaveProfile(const std::string& name);
    bool IsProfileModified();
    void UpdateControlStates();

    // Handlers.
    void FormCreate();
    void FormShow();
    void FormClose();
    bool FormCanResize(int newWidth, int newHeight);
    void FormActivate();
    void btExitClick();
    bool PageControl1Changing(int leaving);
    void PageControl1Change();
    void cbProfileChange();
    void btSaveClick();
    void btSaveAsClick();
    void btRenameClick();
    void btDeleteClick();
    void btNewClick();
    void btDefaultsClick();
    void btRunNowClick();
    void cbRightToLeftClick();
    void cbExactMirrorClick();
    void cbDatabaseClick();
    void cbWaitClick();
    void cbMultipleVersionsClick();
    void cbUseVersionsFolderClick();
    void edVersionsFolderExit();
    void cbScheduledClick();
    void cbScheduledChange();
    void cbRepeatClick();
    void rbRepeatOnlyClick();
    void cbSelectBaseFolderItemsChange();
    void HotLinkLabel1Click();
    void cbVolumeLabelChange();
    void rgLoggingClick();
    void cbAutostartClick();

    // Scheduler and overview.
    void btSchedulerClick();
    void Timer1Timer();
    void cbOnlyScheduledProfilesChange();
    void grdProfilesDrawCellX(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const;
    void btRunMultipleNowClick();
    void btNowAllClick();
    void btNowNoneClick();
    void btEditClick();
    void btScheduleClick();

    // The base-folder item selection: 1 OK, 2 Cancel (also when the base folders hold no
    // items). The selection dialog itself is shown by the hook when one is installed.
    int EditBaseFolderItems();
    std::function<int(tProfile& profile, std::string& selection)> BaseFolderItemsDialog;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    class tRunGuard;

    void BuildWindow();
    QWidget* BuildEditPage();
    QWidget* BuildModesTab();
    QWidget* BuildMoreTab();
    QWidget* BuildCompareTab();
    QWidget* BuildScheduleTab();
    QWidget* BuildUnattendedTab();
    QWidget* BuildOverviewPage();
    QWidget* BuildSchedulerPage();
    QWidget* BuildOptionsPage();
    QWidget* BuildAboutPage();
    void Connect();

    // The unsaved-changes question; name "" asks without a name (Yes then runs Save As).
    void AskToSaveChanges(const std::string& name);
    // The unsaved-changes question with the combo box text (Exit, leaving the page).
    void AskToSaveChangesOfShownName();
    // Save As; the name saved under, or "" when nothing was saved.
    std::string SaveAs();
    std::string ComboText() const;
    void SetComboText(const std::string& text);
    void SelectComboIndex(int index);
    void ShowModeDefaults(const tProfile& d);
    void Browse(QLineEdit* edit, const char* title);
    bool Effective(const QCheckBox* box) const;
    // The scheduler's rows into the grid.
    void ShowScheduleRows();
    tScheduler::tHooks SchedulerHooks();
    // A close asked for during a run happens once the run has ended.
    void CloseIfPending();

    std::unique_ptr<tPreferences> store_;
    bool autostart_ = false;
    std::string currentName_;
    bool modified_ = false;
    bool updatingList_ = false;
    bool dangerListed_ = false;
    tAdvanceMemory advance_;
    std::string baseFolderItems_;
    bool showing_ = false;
    bool loaded_ = false;
    bool schedulerStarted_ = false;
    bool autostartPending_ = false;
    bool exitAsked_ = false;
    bool closePending_ = false;
    bool baseFolderItemsOk_ = false;
    int shownTab_ = 0;
    bool switchingBack_ = false;
    tProfile* running_ = nullptr;
    std::unique_ptr<tScheduler> scheduler_;
    bool scheduledRunActive_ = false;
    std::unique_ptr<tRunGuard> scheduledGuard_;

    // Page controls.
    QTabWidget *PageControl1 = nullptr, *PageControl2 = nullptr;
    QWidget *tsMain = nullptr, *tsMultiple = nullptr, *tsScheduler = nullptr,
            *tsOptions = nullptr, *tsAbout = nullptr;
    QWidget *tsModes = nullptr, *tsMore = nullptr, *tsCompare = nullptr, *tsSchedule = nullptr,
            *tsUnattended = nullptr;

    // "Edit Profiles".
    QLabel *Label10 = nullptr, *Label1 = nullptr, *Label3 = nullptr, *Label2 = nullptr,
           *Label11 = nullptr, *Label4 = nullptr, *Label12 = nullptr, *Label14 = nullptr,
           *HotLinkLabel1 = nullptr;
    QComboBox* cbProfile = nullptr;
    QLineEdit *edLeftPath = nullptr, *edRightPath = nullptr, *cbFileMasks = nullptr,
              *cbExcludeMasks = nullptr;
    QToolButton *btBrowseLeft = nullptr, *btBrowseRight = nullptr, *btBrowseLog = nullptr;
    QCheckBox *cbLeftToRight = nullptr, *cbRightToLeft = nullptr, *cbSubfolders = nullptr,
              *cbSelectBaseFolderItems = nullptr, *cbVolumeLabel = nullptr;
    QPushButton *btRunNow = nullptr, *btSave = nullptr, *btSaveAs = nullptr,
                *btRename = nullptr, *btDelete = nullptr, *btNew = nullptr,
                *btDefaults = nullptr, *btExit = nullptr;

    // "Modes".
    QCheckBox *cbDetectMoved = nullptr, *cbExactMirror = nullptr, *cbDatabase = nullptr,
              *cbWait = nullptr, *cbRecycleOverwrittenFiles = nullptr,
              *cbRecycleDeletedFiles = nullptr;
    QLabel *lbExactMirror = nullptr, *Label9 = nullptr, *Label16 = nullptr, *Label18 = nullptr;
    QLineEdit* edWaitMins = nullptr;

    // "More".
    QCheckBox *cbEmptyFolders = nullptr, *cbHiddenFiles = nullptr, *cbHiddenFolders = nullptr,
              *cbMultipleVersions = nullptr, *cbUseVersionsFolder = nullptr,
              *cbOlderSubfolder = nullptr;
    QLineEdit *edMaxVersions = nullptr, *edVersionsFolder = nullptr;
    tRadioGroup* rgSymLinks = nullptr;

    // "Comparison".
    QGroupBox* GroupBox1 = nullptr;
    QCheckBox *cbIgnore2Secs = nullptr, *cbIgnore1Hour = nullptr;

    // "Schedule".
    QCheckBox *cbScheduled = nullptr, *cbRepeat = nullptr, *cbAutoUpdate = nullptr,
              *cbCacheRight = nullptr;
    QDateEdit* pickDate = nullptr;
    QTimeEdit* pickTime = nullptr;
    QLineEdit *edDays = nullptr, *edHours = nullptr, *edMinutes = nullptr,
              *edRepeatTimes = nullptr;
    QLabel *Label5 = nullptr, *Label6 = nullptr, *Label7 = nullptr, *Label8 = nullptr,
           *Label15 = nullptr, *lbLastRun = nullptr, *Label17 = nullptr,
           *lbLastRunResult = nullptr;
    QRadioButton *rbRepeatWhileNoError = nullptr, *rbRepeatIndefinitely = nullptr,
                 *rbRepeatOnly = nullptr;

    // "Unattended".
    QLabel* Label13 = nullptr;
    QRadioButton *cbUA_WhenScheduled = nullptr, *cbUnattended = nullptr;
    QCheckBox *cbUA_OverwriteReadOnly = nullptr, *cbUA_OverwriteLarger = nullptr,
              *cbUA_DeleteFiles = nullptr, *cbUA_OverwriteNewer = nullptr;

    // "Profile Overview".
    QListWidget* clbMultiple = nullptr;
    QPushButton *btRunMultipleNow = nullptr, *btNowAll = nullptr, *btNowNone = nullptr,
                *btEdit = nullptr, *btSchedule = nullptr, *LMDButton1 = nullptr;
    QCheckBox* cbRunNowUnattended = nullptr;

    // "Scheduler".
    QLabel* lbStatus = nullptr;
    QTableWidget* grdProfiles = nullptr;
    QPushButton *btScheduler = nullptr, *btExit3 = nullptr;
    QCheckBox* cbOnlyScheduledProfiles = nullptr;
    QTimer* Timer1 = nullptr;

    // "Options".
    tRadioGroup* rgLogging = nullptr;
    QLabel *Label19 = nullptr, *Label22 = nullptr, *Label20 = nullptr, *Label21 = nullptr;
    QLineEdit *edLogPath = nullptr, *edBufSize = nullptr;
    QCheckBox* cbAutostart = nullptr;

    // "About".
    QLabel *lbVersion = nullptr, *lbBuild = nullptr;
    QPushButton* LMDButton2 = nullptr;
};

// A radio group: a titled frame of radio buttons with an item index (-1: none chosen).
class tRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    tRadioGroup(const QString& name, const QString& caption, const QStringList& items,
                QWidget* parent);
    int ItemIndex() const;
    void SetItemIndex(int index);
    QRadioButton* Item(int index) const;
signals:
    // A user's click on one of the items.
    void Clicked();

private:
    QButtonGroup* group_;
};

} // namespace corvane::gui
