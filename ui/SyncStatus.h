// The synchronization status window: the plan of a run for review and editing. The filter
// controls feed profile.Filter and BuildStatusList, the popup menu changes single actions
// or deletes and renames files at once, and "Start" hands the plan as shown to the run.
#pragma once

#include "profiles/FileList.h"
#include "ui/NxForm.h"

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <array>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QAction;
class QButtonGroup;
class QCheckBox;
class QMenu;
class QPushButton;
class QRadioButton;
class QTimer;

namespace corvane {
class tProfile;
class tStatusList;
} // namespace corvane

namespace corvane::gui {

class TStatusGrid;

// --- plan rules without widgets -----------------------------------------------------------

// Adds (sign +1) or takes back (sign -1) the entry's share of the plan statistics for its
// current action; folders count nothing. With summary, UpdateStatusSummary follows.
void AdjustPlanStatistics(tProfile& profile, const TFileListEntry& e, int sign,
                          bool summary = true);

// Numbers the shown files that will be acted on 1, 2, ... in row order (the copying window
// counts "File #n of N" by these numbers), after the user changed actions by hand.
void NumberAffectedRows(tProfile& profile);

// The items of the popup menu, in menu order (separators left out).
enum class tMenuItem : int {
    Title,
    CopyLeftToRight,
    CopyRightToLeft,
    Move,
    Delete,
    Revert,
    LeaveAlone,
    Remove,
    DeleteNowBoth,
    DeleteNowLeft,
    DeleteNowRight,
    RenameBoth,
    RenameLeft,
    RenameRight,
};
inline constexpr int kMenuItemCount = 14;

// What the popup menu shows for a selection. Captions are menu texts: a '&' of a file name
// is doubled so that it is not taken for a mnemonic.
struct tPopupState {
    std::array<bool, kMenuItemCount> Enabled{}, Checked{};
    std::string Title = "This Item Shows Which File Is Being Affected";
    std::string MoveCaption = "&Move to Folder: XXX";
    std::string DeleteNowCaption = "Delete &Now (1 file)";
    std::string RenameCaption = "Rename Now (1 file)";

    bool IsEnabled(tMenuItem item) const { return Enabled[static_cast<int>(item)]; }
    bool IsChecked(tMenuItem item) const { return Checked[static_cast<int>(item)]; }
};

// Derives every item's state afresh for grid rows top..bottom of the profile's status list.
// An invalid selection disables everything and keeps the captions of the previous state.
void PopupMenuState(const tProfile& profile, int top, int bottom, tPopupState& state);

// Whether grid rows top..bottom are a selection the commands act on.
bool ValidSelection(const tProfile& profile, int top, int bottom);

// The state group's captions: "del./mov." replaces the direction that an exact mirror
// never copies.
std::array<std::string, 5> StateCaptions(const tProfile& profile);
// An exact mirror carries out moves on the mirror side only: "Adjust Them" stays locked.
bool AdjustMovedFilesLocked(const tProfile& profile);
// "Adjust Them" is enabled for the moved-files items "Show" and "Show Only", unless locked.
bool AdjustMovedFilesEnabled(int movedFilesItem, bool locked);

// Renames from to to without ever replacing an existing item. 0 or the system error.
int RenameNoReplace(const std::string& from, const std::string& to);

// --- widgets ----------------------------------------------------------------------------

// A radio group with the item numbers of the design: Click follows every change of
// ItemIndex, by the user or by the program.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(const QString& name, const QString& title, const QStringList& items,
                bool horizontal, QWidget* parent = nullptr);

    int ItemIndex() const { return index_; }
    // Selects item i (-1: none); emits Click when the index changes.
    void SetItemIndex(int i);
    void SetItemIndexSilently(int i);
    QRadioButton* Item(int i) const;
    int Count() const;

signals:
    void Click();

private:
    QButtonGroup* buttons_;
    int index_ = -1;
};

// A label that shows a long path elided in the middle; text() keeps the whole path.
class TPathLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class TFSyncStatus : public tNxForm<QDialog> {
    Q_OBJECT
public:
    explicit TFSyncStatus(QWidget* parent = nullptr);
    ~TFSyncStatus() override;

    // The profile under review; set before PrepareRun. Not owned.
    tProfile* Profile = nullptr;
    bool Executed = false;
    bool SuppressChange = false;
    QString PopupTitle;

    // Takes the analysed plan of Profile: captions, both base folders, the filter controls
    // from Profile->Filter (the run set its defaults before the analysis), the "del./mov."
    // renaming and the enable rules; attaches the status list and shows it. false without
    // a profile.
    bool PrepareRun();
    // While the plan executes: Start, Cancel, the filters and the commands are disabled,
    // the window cannot be closed, and the grid repaints now and then to show progress.
    void SetExecuting(bool executing);
    bool Executing() const { return executing_; }

    // The selected grid rows Top..Bottom ({-1, -1} when none).
    std::pair<int, int> Selection() const;
    // A menu item's caption without the shortcut shown beside it.
    static QString Caption(const QAction* item);
    QAction* MenuItem(tMenuItem item) const { return items_[static_cast<int>(item)]; }

    // Controls, named as in the design.
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6;
    TPathLabel *lbLeftBaseFolder, *lbRightBaseFolder;
    QLabel *lbRightToLeft, *lbMove, *lbLeftToRight, *lbDelete, *lbTotalFilesShown;
    QCheckBox* cbFilesToDelete;
    TRadioGroup *rgState, *rgExistence, *rgMovedFiles, *rgAdjustMovedFiles;
    QPushButton *btSelectAll, *btStart, *btCancel;
    TStatusGrid* Grid;
    QMenu* PopupMenu1;
    QAction *ThisItemShowsWhichFileIsBeingAffected1, *CopyLefttoRight1, *CopyRighttoLeft1,
        *MovetoFolderXXX1, *Delete1, *ReverttoDefaultAction1, *LeaveAlone1, *RemoveFromList1,
        *DeleteNow2, *DeleteNow1, *DeleteNowFromRightFolder1, *Rename, *RenameLeft, *RenameRight;

    // Handlers.
    void rgStateClick();
    void rgExistenceClick();
    void rgMovedFilesClick();
    void rgAdjustMovedFilesClick();
    void cbFilesToDeleteChange();
    void PopupMenu1Popup();
    void CopyLefttoRight1Click();
    void CopyRighttoLeft1Click();
    void MovetoFolderXXX1Click();
    void Delete1Click();
    void LeaveAlone1Click();
    void ReverttoDefaultAction1Click();
    void RemoveFromList1Click();
    void DeleteNow2Click() { DeleteNowSelected(true, true); }
    void DeleteNow1Click() { DeleteNowSelected(true, false); }
    void DeleteNowFromRightFolder1Click() { DeleteNowSelected(false, true); }
    void RenameClick() { RenameNowSelected(true, true); }
    void RenameLeftClick() { RenameNowSelected(true, false); }
    void RenameRightClick() { RenameNowSelected(false, true); }
    void btSelectAllClick();
    void btStartClick();
    void FormShow();
    void FormActivate();
    // The size a resize may reach: never below 800 x 483, nor below what the controls need.
    QSize FormCanResize(QSize wanted) const;

    // Deletes (or renames) the chosen sides of the selected rows at once, asking row by row,
    // and reports how many files it deleted (renamed).
    void DeleteNowSelected(bool left, bool right);
    void RenameNowSelected(bool left, bool right);

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void BuildControls();
    void BuildMenu();
    // Filter controls into Profile->Filter, then BuildStatusList and a fresh grid.
    void Rebuild();
    void ShowSummary();
    void ApplyPopupState();
    // true when the command changed the selected rows.
    bool SetActionOfSelection(QAction* item, tAction action);
    void CheckOnly(QAction* item);
    void CommandKey(int key);
    // One side of an immediate delete or rename of grid row `row`; see the unit.
    bool DeleteSide(int row, TFileListEntry& e, bool left, std::vector<std::string>& failures);
    void LeavePair(int row, TFileListEntry& e, bool left, const char* mark);

    std::unique_ptr<tStatusList> list_;
    tPopupState popup_;
    std::array<QAction*, kMenuItemCount> items_{};
    QTimer* progressTimer_ = nullptr;
    bool executing_ = false;
    bool adjustLocked_ = false;
};

// Shows the profile's plan modally; true when the user pressed "Start". The user may change
// actions and filters meanwhile; the plan then holds what the window showed.
bool ReviewPlan(tProfile& profile);

// An unattended run's plan, shown without waiting while it executes (buttons disabled);
// PlanDone closes it again.
void ShowPlan(tProfile& profile);
void PlanDone();
// The window ShowPlan shows, or nullptr.
TFSyncStatus* ShownPlanWindow();

} // namespace corvane::gui
