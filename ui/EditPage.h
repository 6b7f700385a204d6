// The main window's "Edit Profiles" page: the profile on screen with its folders, masks and
// directions, the inner tabs of profile-specific settings ("Modes", "More", "Comparison",
// "Schedule", "Unattended"), and the buttons that store, rename, delete and run it.
#pragma once

#include "profiles/Profile.h"
#include "scheduler/NextRun.h"

#include <QWidget>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimeEdit;
class QToolButton;

namespace corvane::gui {

class TFSyncMain;
class tRadioGroup;

// "Remember the last run" applies to two-way profiles that are no exact mirror only.
bool RememberBoxEnabled(bool leftToRight, bool rightToLeft, bool exactMirror);

class tEditPage : public QWidget {
    Q_OBJECT
public:
    explicit tEditPage(TFSyncMain& main);

    // Name of the profile on the page; empty for a new, unsaved one.
    const std::string& CurrentName() const { return currentName_; }
    bool Modified() const { return modified_; }
    const tAdvanceMemory& AdvanceMemory() const { return advance_; }
    const std::string& BaseFolderItems() const { return baseFolderItems_; }
    // The name in the profile box.
    std::string ComboText() const;

    // Page <-> profile.
    void ProfileFromForm(tProfile& p);
    void ProfileToForm(tProfile& p);
    // The profile onto the page with the enable rules applied.
    void ShowProfile(tProfile& p);
    void UpdateControlStates();

    // The profile box lists names; select is chosen when listed, else the first.
    void ListProfiles(const std::vector<std::string>& names, const std::string& select);
    // The index of name in the profile box, -1 when it is not listed.
    int IndexOfProfile(const std::string& name) const;
    // Chooses an entry of the profile box without asking about unsaved changes.
    void SelectComboIndex(int index);
    // The first inner tab in front.
    void ShowFirstTab();

    // The stored profile named in the box onto the page.
    void LoadCurrentProfile();
    // false (with a message, nothing written) when the name or the page cannot be stored.
    bool SaveProfile(const std::string& name);
    bool IsProfileModified();
    // The unsaved-changes question with the combo box text (Exit, leaving the page).
    void AskToSaveChangesOfShownName();
    // "Next Run:" ticked or not, as a click does, and the profile saved.
    void SaveScheduled(bool scheduled);

    // The base-folder item selection: 1 OK, 2 Cancel (also when the base folders hold no
    // items).
    int EditBaseFolderItems();

    // Handlers.
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
    void cbWatchClick();
    void cbScheduledChange();
    void cbRepeatClick();
    void rbRepeatOnlyClick();
    void cbSelectBaseFolderItemsChange();
    void HotLinkLabel1Click();
    void cbVolumeLabelChange();

private:
    QWidget* BuildModesTab();
    QWidget* BuildMoreTab();
    QWidget* BuildCompareTab();
    QWidget* BuildScheduleTab();
    QWidget* BuildUnattendedTab();
    void Connect();

    // The unsaved-changes question; name "" asks without a name (Yes then runs Save As).
    void AskToSaveChanges(const std::string& name);
    // Save As; the name saved under, or "" when nothing was saved.
    std::string SaveAs();
    void SetComboText(const std::string& text);
    void ShowModeDefaults(const tProfile& d);
    bool Effective(const QCheckBox* box) const;

    TFSyncMain& main_;
    std::string currentName_;
    bool modified_ = false;
    bool updatingList_ = false;
    tAdvanceMemory advance_;
    std::string baseFolderItems_;
    bool baseFolderItemsOk_ = false;

    QTabWidget* PageControl2 = nullptr;
    QWidget *tsModes = nullptr, *tsMore = nullptr, *tsCompare = nullptr, *tsSchedule = nullptr,
            *tsUnattended = nullptr;

    // The page itself.
    QLabel *Label10 = nullptr, *Label1 = nullptr, *Label3 = nullptr, *Label2 = nullptr,
           *Label11 = nullptr, *Label4 = nullptr, *Label12 = nullptr, *Label14 = nullptr,
           *HotLinkLabel1 = nullptr;
    QComboBox* cbProfile = nullptr;
    QLineEdit *edLeftPath = nullptr, *edRightPath = nullptr, *cbFileMasks = nullptr,
              *cbExcludeMasks = nullptr;
    QToolButton *btBrowseLeft = nullptr, *btBrowseRight = nullptr;
    QCheckBox *cbLeftToRight = nullptr, *cbRightToLeft = nullptr, *cbSubfolders = nullptr,
              *cbSelectBaseFolderItems = nullptr, *cbVolumeLabel = nullptr;
    QPushButton *btRunNow = nullptr, *btSave = nullptr, *btSaveAs = nullptr,
                *btRename = nullptr, *btDelete = nullptr, *btNew = nullptr,
                *btDefaults = nullptr, *btExit = nullptr, *btHelp = nullptr;

    // "Modes".
    QCheckBox *cbRememberLastRun = nullptr;
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
    QCheckBox* cbWatch = nullptr;
    QLineEdit* edWatchQuiet = nullptr;
    QLabel* lbWatchQuiet = nullptr;

    // "Unattended".
    QLabel* Label13 = nullptr;
    QRadioButton *cbUA_WhenScheduled = nullptr, *cbUnattended = nullptr;
    QCheckBox *cbUA_OverwriteReadOnly = nullptr, *cbUA_OverwriteLarger = nullptr,
              *cbUA_DeleteFiles = nullptr, *cbUA_OverwriteNewer = nullptr;
};

} // namespace corvane::gui
