// The base-folder item selection dialog: lists the items of a profile's two base folders
// and lets the user choose those a run takes part in, grayed for folders used for
// moved-file detection only. Created once and kept for the whole program.
#pragma once

#include "engine/BaseFolderItems.h"
#include "ui/NxForm.h"
#include "widgets/CheckListBox.h"
#include "widgets/WrapCheckBox.h"

#include <QDialog>
#include <string>
#include <string_view>
#include <vector>

class QLabel;
class QPushButton;

namespace corvane {
class tProfile;
}

namespace corvane::gui {

class TFSyncMain;

class TFSelectItems : public tNxForm<QDialog> {
    Q_OBJECT
public:
    static constexpr int MinimumWidth = 455;

    explicit TFSelectItems(QWidget* parent = nullptr);
    ~TFSelectItems() override;

    // The one instance: created when missing; nullptr once it has been destroyed.
    static TFSelectItems* Instance();

    // The profile whose base folders btRefreshClick lists; not owned.
    tProfile* Profile = nullptr;

    // Lists the held profile's base folders afresh, keeping the states of the names
    // listed before. Keeps the old list when the listing was cancelled or a mask is
    // invalid (whose message is shown).
    void btRefreshClick();
    void btAllClick();
    void btNoneClick();
    // Checks exactly the folder items.
    void btFoldersClick();
    // The list accepts the grayed state exactly while cbAllowGrayed is checked.
    void cbAllowGrayedChange();
    bool FormCanResize(int newWidth, int newHeight) const;

    // ":" + state byte + ":" + name + ":" for each checked (1) or grayed (2) item in order.
    std::string CollectSelection() const;
    // Gives every item its state in selection (unchecked when not in it). Switches the
    // grayed state on when an item comes out grayed, so that it can be chosen again.
    void ApplySelection(std::string_view selection);

    // Lists profile's base folders with selection applied and shows the dialog modally
    // unless the list is empty. 1 OK (selection replaced by the dialog's), 2 Cancel (also
    // for an empty list, without showing anything). Asks nothing and stores nothing.
    int Execute(tProfile& profile, std::string& selection);

    int ItemCount() const;
    // The item's list text and name as bytes.
    std::string ItemText(int row) const;
    std::string ItemName(int row) const;
    bool ItemIsFolder(int row) const;
    int ItemState(int row) const;
    void SetItemState(int row, int state);
    // How often the dialog was shown by Execute.
    int ShownCount() const { return shownCount_; }

private:
    void BuildWindow();
    bool ValidRow(int row) const;
    void KeepAbove(QWidget* owner);

    std::vector<tBaseFolderItem> items_; // the listed items, row by row

    tCheckListBox* clbItems = nullptr;
    QPushButton *btOK = nullptr, *btCancel = nullptr, *btAll = nullptr, *btNone = nullptr,
                *btFolders = nullptr, *btRefresh = nullptr, *btHelp = nullptr;
    tWrapCheckBox* cbAllowGrayed = nullptr;
    QLabel* Label1 = nullptr;
    int shownCount_ = 0;
};

// Makes the main window open the selection through the one dialog instance.
void InstallSelectItems(TFSyncMain& main);

} // namespace corvane::gui
