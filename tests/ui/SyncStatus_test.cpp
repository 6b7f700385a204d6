// The synchronization status window on real trees analysed by the engine: the filters and
// their interlocks, the popup menu's rules, the action and immediate commands, the painted
// colours, the sizing, and whole runs through the real window.
#include "engine/Analysis.h"
#include "engine/LastRunState.h"
#include "engine/RunDriver.h"
#include "engine/Scanner.h"
#include "engine/StatusList.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "support/RunFixture.h"
#include "support/ScriptedPort.h"
#include "support/TempTree.h"
#include "ui/QtPort.h"
#include "ui/SyncStatus.h"
#include "widgets/StatusGrid.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::gui;
using corvane::test::ScriptedPort;
using corvane::test::TempTree;

namespace {

constexpr int64_t kOld = 1600000000;
constexpr int64_t kNew = 1700000000;

class SyncStatus : public corvane::test::RunFixture {
protected:
    tProfile Profile(bool toRight = true, bool toLeft = true, bool mirror = false) {
        tProfile p = RunFixture::Profile();
        p.LeftToRight = toRight;
        p.RightToLeft = toLeft;
        p.ExactMirror = mirror;
        return p;
    }

    // Analyses p as the run does and opens the window on its plan.
    void Open(tProfile& p, TFSyncStatus& w) {
        SetFilterDefaults(p);
        ASSERT_TRUE(AnalyzeProfile(p));
        w.Profile = &p;
        ASSERT_TRUE(w.PrepareRun());
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    }
};

tStatusList& List(const TFSyncStatus& w) {
    return *w.Grid->GridModel()->List();
}

// The grid row showing the file name (in folder rel), or -1.
int RowOf(const TFSyncStatus& w, const std::string& name, const std::string& rel = "") {
    const tStatusList& list = List(w);
    for (int r = 1; r < list.RowCount(); ++r) {
        const TFileListEntry* e = list.RowEntry(r);
        if (e && !e->LeftIsFolder && e->Name() == name && e->RelPath() == rel) return r;
    }
    return -1;
}

std::string Cell(const TFSyncStatus& w, int row, int col) {
    return List(w).CellText(row, col);
}

// Opens the real popup menu for the current selection and closes it again.
void OpenMenu(TFSyncStatus& w) {
    const QPoint at = w.Grid->viewport()->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, w.Grid->viewport()->mapToGlobal(at));
    QApplication::sendEvent(w.Grid->viewport(), &event);
    ASSERT_TRUE(w.PopupMenu1->isVisible());
    w.PopupMenu1->hide();
}

bool On(TFSyncStatus& w, tMenuItem item) {
    return w.MenuItem(item)->isEnabled();
}
QString Text(TFSyncStatus& w, tMenuItem item) {
    return TFSyncStatus::Caption(w.MenuItem(item));
}

void SelectAndPopup(TFSyncStatus& w, int top, int bottom) {
    w.Grid->SelectRows(top, bottom);
    w.PopupMenu1Popup();
}

} // namespace

TEST_F(SyncStatus, MenuRulesFollowTheSelectionFromAnEmptyListToSeveralRows) {
    left.WriteFile("a&b.txt", "new", kNew);
    right.WriteFile("a&b.txt", "old", kOld);
    left.WriteFile("only.txt", "l", kOld);
    tProfile p = Profile();
    TFSyncStatus w;
    Open(p, w);

    // "R to L": nothing to copy to the left, the list is empty and so is the menu.
    w.rgState->Item(3)->click();
    ASSERT_EQ(w.Grid->GridModel()->rowCount(), 0);
    OpenMenu(w);
    for (int i = 0; i < kMenuItemCount; ++i)
        EXPECT_FALSE(w.MenuItem(static_cast<tMenuItem>(i))->isEnabled()) << i;

    w.rgState->Item(0)->click();
    const int pair = RowOf(w, "a&b.txt"), lone = RowOf(w, "only.txt");
    ASSERT_GT(pair, 0);
    ASSERT_GT(lone, 0);
    QTest::mouseClick(w.Grid->viewport(), Qt::LeftButton, {},
                      w.Grid->visualRect(w.Grid->GridModel()->index(pair - 1, 1)).center());
    OpenMenu(w);
    EXPECT_EQ(w.PopupTitle, "a&&b.txt");
    EXPECT_EQ(Text(w, tMenuItem::DeleteNowBoth), "Delete &Now (a&&b.txt)");
    EXPECT_EQ(Text(w, tMenuItem::RenameBoth), "Rename Now (a&&b.txt)");
    EXPECT_TRUE(w.CopyLefttoRight1->isChecked());
    EXPECT_FALSE(w.LeaveAlone1->isChecked());
    for (tMenuItem item : {tMenuItem::CopyLeftToRight, tMenuItem::CopyRightToLeft,
                           tMenuItem::Delete, tMenuItem::LeaveAlone, tMenuItem::Revert,
                           tMenuItem::Remove, tMenuItem::DeleteNowRight, tMenuItem::RenameLeft})
        EXPECT_TRUE(On(w, item)) << static_cast<int>(item);
    EXPECT_FALSE(On(w, tMenuItem::Move));
    EXPECT_EQ(Text(w, tMenuItem::Move), "&Move");
    EXPECT_FALSE(On(w, tMenuItem::Title));

    // No selection: everything off, the title stays.
    w.Grid->clearSelection();
    w.PopupMenu1Popup();
    EXPECT_FALSE(On(w, tMenuItem::Revert));
    EXPECT_EQ(w.PopupTitle, "a&&b.txt");

    SelectAndPopup(w, lone, lone);
    EXPECT_FALSE(On(w, tMenuItem::CopyRightToLeft));
    EXPECT_FALSE(On(w, tMenuItem::DeleteNowRight));
    EXPECT_FALSE(On(w, tMenuItem::RenameRight));
    EXPECT_TRUE(On(w, tMenuItem::DeleteNowLeft));

    SelectAndPopup(w, std::min(pair, lone), std::max(pair, lone));
    EXPECT_EQ(w.PopupTitle, "2 items");
    EXPECT_EQ(Text(w, tMenuItem::DeleteNowBoth), "Delete &Now (2 items)");
    EXPECT_TRUE(w.CopyLefttoRight1->isChecked()) << "both rows copy to the right";
    EXPECT_FALSE(On(w, tMenuItem::CopyRightToLeft)) << "one row has no right side";
    EXPECT_TRUE(On(w, tMenuItem::DeleteNowBoth));
}

TEST_F(SyncStatus, FilterInterlocksSwitchTheOtherGroupAndRebuildOnce) {
    left.WriteFile("new/m.txt", "moved", kOld);
    right.WriteFile("old/m.txt", "moved", kOld);
    left.WriteFile("dup.txt", "left", kNew);
    right.WriteFile("dup.txt", "right", kOld);
    tProfile p = Profile();
    TFSyncStatus w;
    Open(p, w);
    ASSERT_GT(RowOf(w, "m.txt", "/new"), 0);

    w.rgMovedFiles->Item(1)->click(); // Show Only
    EXPECT_EQ(RowOf(w, "dup.txt"), -1);
    EXPECT_TRUE(w.rgAdjustMovedFiles->isEnabled());
    const uint64_t before = List(w).Revision();
    w.rgExistence->Item(2)->click(); // Duplicates
    EXPECT_EQ(w.rgMovedFiles->ItemIndex(), 0);
    EXPECT_EQ(p.Filter.rgMovedFiles, 0);
    EXPECT_EQ(p.Filter.rgExistence, 2);
    EXPECT_EQ(List(w).Revision(), before + 1);
    EXPECT_GT(RowOf(w, "dup.txt"), 0);
    EXPECT_EQ(RowOf(w, "m.txt", "/new"), -1) << "a moved half exists on one side only";

    w.rgMovedFiles->Item(1)->click(); // Show Only again
    EXPECT_EQ(w.rgExistence->ItemIndex(), 0);
    EXPECT_GT(RowOf(w, "m.txt", "/new"), 0);
    EXPECT_EQ(RowOf(w, "dup.txt"), -1);

    w.rgMovedFiles->Item(2)->click(); // Don't Show
    EXPECT_FALSE(w.rgAdjustMovedFiles->isEnabled());
    EXPECT_EQ(RowOf(w, "m.txt", "/new"), -1);
}

TEST_F(SyncStatus, ExactMirrorLeftToRightRenamesTheStateItemAndLocksAdjustThem) {
    left.WriteFile("keep.txt", "k", kOld);
    right.WriteFile("obsolete.txt", "o", kOld);
    tProfile p = Profile(true, false, true);
    TFSyncStatus w;
    Open(p, w);
    EXPECT_EQ(w.windowTitle(), "Synchronization Status: job");
    EXPECT_EQ(w.lbLeftBaseFolder->text().toStdString(), left.Root());
    EXPECT_EQ(w.lbRightBaseFolder->text().toStdString(), right.Root());
    EXPECT_EQ(w.rgState->Item(3)->text(), "del./mov.");
    EXPECT_EQ(w.rgState->Item(2)->text(), "L to R");
    EXPECT_EQ(w.rgState->ItemIndex(), 2);
    EXPECT_EQ(w.rgAdjustMovedFiles->ItemIndex(), 1);
    EXPECT_FALSE(w.rgAdjustMovedFiles->isEnabled());
    EXPECT_TRUE(w.cbFilesToDelete->isEnabled());
    EXPECT_EQ(w.cbFilesToDelete->checkState(), Qt::PartiallyChecked);
    const int obsolete = RowOf(w, "obsolete.txt");
    ASSERT_GT(obsolete, 0);
    EXPECT_EQ(Cell(w, obsolete, 4), "DELETE");
    EXPECT_EQ(List(w).CellText(obsolete, 0), "2");

    // Moves stay on the mirror side whatever the moved-files filter says.
    w.rgMovedFiles->Item(1)->click();
    EXPECT_FALSE(w.rgAdjustMovedFiles->isEnabled());
    w.rgMovedFiles->Item(0)->click();
    EXPECT_FALSE(w.rgAdjustMovedFiles->isEnabled());

    w.cbFilesToDelete->setCheckState(Qt::Checked);
    EXPECT_EQ(RowOf(w, "keep.txt"), -1);
    EXPECT_GT(RowOf(w, "obsolete.txt"), 0);
    EXPECT_EQ(w.lbDelete->text(), "1 (0.0kB)");
}

TEST_F(SyncStatus, DeleteTurnsTheDeleteBoxOnWithoutRebuildingAndCommandsKeepTheCounters) {
    left.WriteFile("a.txt", std::string(2048, 'a'), kNew);
    left.WriteFile("b.txt", std::string(1024, 'b'), kNew);
    tProfile p = Profile();
    TFSyncStatus w;
    Open(p, w);
    EXPECT_FALSE(w.cbFilesToDelete->isEnabled());
    EXPECT_EQ(w.lbLeftToRight->text(), "2 (3.0kB)");
    const int a = RowOf(w, "a.txt");
    const uint64_t revision = List(w).Revision();

    SelectAndPopup(w, a, a);
    w.Delete1Click();
    EXPECT_EQ(List(w).Revision(), revision) << "no rebuild";
    EXPECT_TRUE(w.cbFilesToDelete->isEnabled());
    EXPECT_TRUE(w.lbDelete->isEnabled());
    EXPECT_EQ(w.cbFilesToDelete->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(Cell(w, a, 4), "DELETE");
    EXPECT_EQ(w.lbDelete->text(), "1 (2.0kB)");
    EXPECT_EQ(w.lbLeftToRight->text(), "1 (1.0kB)");
    EXPECT_EQ(p.Stats.AffectedCount, 2);
    EXPECT_TRUE(w.Delete1->isChecked());
    EXPECT_FALSE(w.CopyLefttoRight1->isChecked());

    // Already checked: nothing more happens.
    w.PopupMenu1Popup();
    w.Delete1Click();
    EXPECT_EQ(w.lbDelete->text(), "1 (2.0kB)");

    // The box works as a filter afterwards: checked shows only the deletion.
    w.cbFilesToDelete->setCheckState(Qt::Checked);
    EXPECT_EQ(List(w).Revision(), revision + 1);
    EXPECT_EQ(w.Grid->GridModel()->rowCount(), 1);
    EXPECT_EQ(RowOf(w, "a.txt"), 1);
    EXPECT_EQ(w.Selection(), std::make_pair(1, 1)) << "the selected row stays selected";

    // Revert brings the planned copy back; Remove From List takes the row out.
    w.cbFilesToDelete->setCheckState(Qt::PartiallyChecked);
    const int again = RowOf(w, "a.txt");
    SelectAndPopup(w, again, again);
    w.ReverttoDefaultAction1Click();
    EXPECT_EQ(Cell(w, again, 4), "---->");
    EXPECT_EQ(w.lbLeftToRight->text(), "2 (3.0kB)");
    EXPECT_TRUE(w.CopyLefttoRight1->isChecked());
    w.RemoveFromList1Click();
    EXPECT_EQ(RowOf(w, "a.txt"), -1);
    EXPECT_EQ(w.Grid->GridModel()->rowCount(), 1);
    EXPECT_EQ(w.lbLeftToRight->text(), "1 (1.0kB)");
    EXPECT_EQ(w.lbTotalFilesShown->text(), "1 (1.0kB)");
}

TEST_F(SyncStatus, MoveItemNamesOneFolderOtherFoldersOrNone) {
    left.WriteFile("new/w.txt", "w", kOld);
    for (auto [name, folder] : {std::pair{"x.txt", "p"}, {"y.txt", "q"}, {"z.txt", "r"}}) {
        left.WriteFile(std::string("new/") + name, name, kOld);
        right.WriteFile(std::string(folder) + "/" + name, name, kOld);
    }
    tProfile p = Profile();
    TFSyncStatus w;
    Open(p, w);
    const int wRow = RowOf(w, "w.txt", "/new"), x = RowOf(w, "x.txt", "/new"),
              z = RowOf(w, "z.txt", "/new");
    ASSERT_EQ(x, wRow + 1);
    ASSERT_EQ(z, x + 2);
    EXPECT_EQ(Cell(w, x, 4), "MOVE");
    EXPECT_EQ(Cell(w, x, 5), "->/p");

    SelectAndPopup(w, x, x);
    EXPECT_EQ(Text(w, tMenuItem::Move), "&Move to folder: p");
    EXPECT_TRUE(w.MovetoFolderXXX1->isChecked());
    SelectAndPopup(w, x, z);
    EXPECT_EQ(Text(w, tMenuItem::Move), "&Move to other folders");
    EXPECT_TRUE(On(w, tMenuItem::Move));
    EXPECT_TRUE(w.MovetoFolderXXX1->isChecked());
    SelectAndPopup(w, wRow, z);
    EXPECT_EQ(Text(w, tMenuItem::Move), "&Move");
    EXPECT_FALSE(On(w, tMenuItem::Move));
    EXPECT_FALSE(w.LeaveAlone1->isChecked());

    // Copy the three instead of moving them: the counters follow.
    EXPECT_EQ(w.lbMove->text(), "3 (0.0kB)");
    SelectAndPopup(w, x, z);
    w.CopyLefttoRight1Click();
    EXPECT_EQ(w.lbMove->text(), "0 (0.0kB)");
    EXPECT_EQ(w.lbLeftToRight->text(), "4 (0.0kB)");
    EXPECT_EQ(Cell(w, z, 4), "---->");
}

TEST_F(SyncStatus, DeleteNowAsksRowByRowAndCountsEveryFile) {
    left.WriteFile("both.txt", "l", kNew);
    right.WriteFile("both.txt", "r", kOld);
    left.WriteFile("c1.txt", "1", kNew);
    left.WriteFile("c2.txt", "2", kNew);
    left.WriteFile("gone.txt", "g", kNew);
    tProfile p = Profile();
    p.RecycleDeletedFiles = false; // deleted for good
    TFSyncStatus w;
    Open(p, w);
    const int both = RowOf(w, "both.txt");

    port.Choices = {1};
    SelectAndPopup(w, both, both);
    w.DeleteNow2Click();
    EXPECT_FALSE(left.Exists("both.txt"));
    EXPECT_FALSE(right.Exists("both.txt"));
    EXPECT_EQ(port.CallsStartingWith("Choice: ").back(),
              "Choice: Do you want to delete both.txt from both sides?");
    EXPECT_EQ(port.Calls.back(), "Info: 2 files have been deleted.");
    EXPECT_EQ(Cell(w, both, 2), "(deleted)");
    EXPECT_EQ(Cell(w, both, 5), "(deleted)");
    EXPECT_EQ(Cell(w, both, 3), "");
    EXPECT_EQ(Cell(w, both, 4), "");
    EXPECT_EQ(p.Stats.CopyToRightCount, 3);
    w.PopupMenu1Popup();
    EXPECT_EQ(Text(w, tMenuItem::DeleteNowBoth), "(deleted)");
    EXPECT_FALSE(On(w, tMenuItem::Delete));

    // Cancel at the first question: nothing deleted, still reported.
    const int c1 = RowOf(w, "c1.txt"), c2 = RowOf(w, "c2.txt");
    port.Choices = {0};
    SelectAndPopup(w, c1, c2);
    w.DeleteNow1Click();
    EXPECT_TRUE(left.Exists("c1.txt"));
    EXPECT_EQ(port.Calls.back(), "Info: 0 files have been deleted.");

    // "Yes, delete all selected files" asks once; a file gone meanwhile is reported.
    ::unlink(left.Path("gone.txt").c_str());
    port.Calls.clear();
    port.Choices = {3};
    SelectAndPopup(w, c1, RowOf(w, "gone.txt"));
    w.DeleteNow1Click();
    EXPECT_EQ(port.CallsStartingWith("Choice: ").size(), 1u);
    EXPECT_FALSE(left.Exists("c1.txt"));
    EXPECT_FALSE(left.Exists("c2.txt"));
    EXPECT_EQ(port.Calls.back(), "Info: 2 files have been deleted.\n\nCould not delete:\n" +
                                     left.Path("gone.txt") + " (No such file or directory)");
    EXPECT_EQ(p.Stats.CopyToRightCount, 1) << "only the file that is still there";
}

TEST_F(SyncStatus, DeleteNowUsesTheTrashAndTooManyDeletionsAreWarnedOfBeforeStart) {
    const std::string saved = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    setenv("XDG_DATA_HOME", home.Path("data").c_str(), 1);
    for (int i = 1; i <= 8; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        right.WriteFile(name, "right " + name, kOld);
        if (i <= 3) left.WriteFile(name, "right " + name, kOld);
    }
    tProfile p = Profile(true, false, true);
    TFSyncStatus w;
    Open(p, w);
    // What an unattended run of this plan would refuse.
    EXPECT_TRUE(w.lbDeleteLimit->isVisible());
    EXPECT_EQ(w.lbDeleteLimit->text().toStdString(),
              "Would delete 5 of 8 files (62%), more than the 50% allowed: nothing done");

    const int f4 = RowOf(w, "f4.txt");
    port.Choices = {1};
    SelectAndPopup(w, f4, f4);
    w.DeleteNowFromRightFolder1Click();
    EXPECT_FALSE(right.Exists("f4.txt"));
    EXPECT_EQ(port.Calls.back(), "Info: One file has been moved to the trash.");
    EXPECT_EQ(Cell(w, f4, 5), "(deleted)");
    const std::string trash = home.Path("data/Trash");
    const std::string infoText = [&] {
        std::ifstream in(trash + "/info/f4.txt.trashinfo");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    EXPECT_NE(infoText.find("\nPath=" + right.Path("f4.txt") + "\n"), std::string::npos)
        << infoText;
    ASSERT_EQ(::rename((trash + "/files/f4.txt").c_str(), right.Path("f4.txt").c_str()), 0);
    EXPECT_EQ(right.ReadFile("f4.txt"), "right f4.txt") << "restored as it was";

    // The counters follow: 4 of the 7 files still there is still too many.
    EXPECT_EQ(w.lbDeleteLimit->text().toStdString(),
              "Would delete 4 of 7 files (57%), more than the 50% allowed: nothing done");
    // Deletions hidden are not carried out: nothing to warn of.
    w.cbFilesToDelete->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(w.lbDeleteLimit->isVisible());
    w.cbFilesToDelete->setCheckState(Qt::PartiallyChecked);
    EXPECT_TRUE(w.lbDeleteLimit->isVisible());
    RunSettings().DeleteLimit = 100;
    w.cbFilesToDelete->setCheckState(Qt::Unchecked);
    w.cbFilesToDelete->setCheckState(Qt::PartiallyChecked);
    EXPECT_FALSE(w.lbDeleteLimit->isVisible()) << "100 sets no limit";
    setenv("XDG_DATA_HOME", saved.c_str(), 1);
}

TEST_F(SyncStatus, RenameLeftOnlyLeavesThePairAndBothSidesKeepIt) {
    left.WriteFile("f.txt", "left", kNew);
    right.WriteFile("f.txt", "right", kOld);
    left.WriteFile("h.txt", "left", kNew);
    right.WriteFile("h.txt", "right", kOld);
    left.WriteFile("j.txt", "j", kNew);
    left.WriteFile("k.txt", "k", kNew);
    tProfile p = Profile();
    TFSyncStatus w;
    Open(p, w);

    const int f = RowOf(w, "f.txt");
    port.Texts = {"g.txt"};
    SelectAndPopup(w, f, f);
    w.RenameLeftClick();
    EXPECT_EQ(port.CallsStartingWith("Text: ").back(),
              "Text: Enter new name for f.txt on the left side");
    EXPECT_EQ(left.ReadFile("g.txt"), "left");
    EXPECT_FALSE(left.Exists("f.txt"));
    EXPECT_EQ(right.ReadFile("f.txt"), "right");
    EXPECT_EQ(Cell(w, f, 2), "(renamed)");
    EXPECT_EQ(Cell(w, f, 3), "");
    EXPECT_EQ(Cell(w, f, 4), "");
    EXPECT_NE(Cell(w, f, 5), "");
    EXPECT_EQ(port.Calls.back(), "Info: One file has been renamed.");

    const int h = RowOf(w, "h.txt");
    port.Texts = {"i.txt"};
    SelectAndPopup(w, h, h);
    w.RenameClick();
    EXPECT_TRUE(left.Exists("i.txt"));
    EXPECT_TRUE(right.Exists("i.txt"));
    EXPECT_EQ(Cell(w, h, 1), "    i.txt");
    EXPECT_EQ(Cell(w, h, 4), "---->");
    EXPECT_EQ(port.Calls.back(), "Info: 2 files have been renamed.");

    // An existing name is never replaced.
    const int j = RowOf(w, "j.txt");
    port.Texts = {"k.txt"};
    SelectAndPopup(w, j, j);
    w.RenameLeftClick();
    EXPECT_EQ(left.ReadFile("k.txt"), "k");
    EXPECT_EQ(left.ReadFile("j.txt"), "j");
    EXPECT_EQ(port.Calls.back().rfind("Info: 0 files have been renamed.\n\nCould not rename:\n", 0),
              0u)
        << port.Calls.back();
}

TEST_F(SyncStatus, PaintedGridShowsRedSizesOverALargerFileAndDarkerSelection) {
    left.WriteFile("big.txt", "x", kNew);
    right.WriteFile("big.txt", std::string(5000, 'y'), kOld);
    left.WriteFile("small.txt", std::string(5000, 'y'), kNew);
    right.WriteFile("small.txt", "x", kOld);
    tProfile p = Profile();
    TFSyncStatus w;
    Open(p, w);
    const int big = RowOf(w, "big.txt"), small = RowOf(w, "small.txt");
    w.resize(1400, 600);
    QTest::qWait(10);
    w.Grid->clearSelection();
    w.Grid->setCurrentIndex({});
    const QImage image = w.Grid->viewport()->grab().toImage();
    auto count = [&](int row, int col, const std::function<bool(QColor)>& test) {
        const QRect cell = w.Grid->visualRect(w.Grid->GridModel()->index(row - 1, col));
        EXPECT_TRUE(image.rect().contains(cell)) << col;
        int n = 0;
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            for (int x = cell.left(); x <= cell.right(); ++x)
                if (test(image.pixelColor(x, y))) ++n;
        return n;
    };
    auto red = [](QColor c) { return c.red() > 180 && c.green() < 90 && c.blue() < 90; };
    auto navy = [](QColor c) { return c.red() < 70 && c.green() < 70 && c.blue() > 90; };
    EXPECT_GT(count(big, 3, red), 3);
    EXPECT_GT(count(big, 6, red), 3);
    EXPECT_EQ(count(big, 5, red), 0) << "the right file is older";
    EXPECT_EQ(count(small, 3, red), 0);
    EXPECT_GT(count(small, 3, navy), 3);

    // Selected: the row's plain background becomes 20 % darker.
    w.Grid->SelectRows(small, small);
    const QImage selected = w.Grid->viewport()->grab().toImage();
    const QRect cell = w.Grid->visualRect(w.Grid->GridModel()->index(small - 1, 4));
    const QColor expected = SetCellColors(List(w).RowEntry(small), 4, true, false).Background;
    EXPECT_EQ(selected.pixelColor(cell.left() + 1, cell.top() + 1), expected);
    EXPECT_EQ(BlendColor(Qt::white, Qt::black, 2, 10), QColor(204, 204, 204));
    TFileListEntry folder;
    folder.LeftIsFolder = true;
    folder.Action = tAction::actCopyToRight;
    EXPECT_EQ(SetCellColors(&folder, 0, false, false).Background, QColor(0, 199, 249));
    EXPECT_EQ(SetCellColors(&folder, 6, false, false).Background, QColor(176, 239, 255));
    EXPECT_GE(w.Grid->RowHeight(), 17);
    EXPECT_EQ(w.Grid->verticalHeader()->defaultSectionSize(), w.Grid->RowHeight());
}

TEST_F(SyncStatus, WindowNeverShrinksBelowItsMinimum) {
    tProfile p = Profile();
    TFSyncStatus w;
    Open(p, w);
    w.resize(300, 200);
    QTest::qWait(10);
    EXPECT_GE(w.width(), 800);
    EXPECT_GE(w.height(), 483);
    const QPoint deleteEdge = w.lbDelete->mapTo(&w, w.lbDelete->rect().bottomRight());
    const QPoint cancelEdge = w.btCancel->mapTo(&w, w.btCancel->rect().bottomRight());
    EXPECT_LT(deleteEdge.x(), w.width());
    EXPECT_LT(cancelEdge.y(), w.height());
    EXPECT_EQ(w.FormCanResize(QSize(10, 10)), w.minimumSize());
    EXPECT_EQ(w.FormCanResize(QSize(1200, 900)), QSize(1200, 900));
}

TEST_F(SyncStatus, KeysChangeActionsAndTooltipsSayWhy) {
    left.WriteFile("a.txt", "new", kNew);
    right.WriteFile("a.txt", "old", kOld);
    left.WriteFile("b.txt", "b", kOld);
    tProfile p = Profile();
    TFSyncStatus w;
    Open(p, w);
    const int a = RowOf(w, "a.txt"), b = RowOf(w, "b.txt");
    auto tip = [&](int row) {
        return w.Grid->GridModel()->data(w.Grid->GridModel()->index(row - 1, 1), Qt::ToolTipRole);
    };
    EXPECT_EQ(tip(a).toString(), "left is newer");
    EXPECT_EQ(tip(b).toString(), "only on the left");

    w.Grid->setFocus();
    w.Grid->SelectRows(a, a);
    QTest::keyClick(w.Grid, Qt::Key_Left);
    EXPECT_EQ(Cell(w, a, 4), "<----");
    EXPECT_EQ(tip(a).toString(),
              "set by hand (planned: copy to the right); the right copy replaces the other");
    QTest::keyClick(w.Grid, Qt::Key_Equal);
    EXPECT_EQ(Cell(w, a, 4), "");
    QTest::keyClick(w.Grid, Qt::Key_Backspace);
    EXPECT_EQ(Cell(w, a, 4), "---->");

    // Shift+Down makes a range; Delete marks both rows.
    QTest::keyClick(w.Grid, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(w.Selection(), std::make_pair(std::min(a, b), std::max(a, b)));
    QTest::keyClick(w.Grid, Qt::Key_Delete);
    EXPECT_EQ(Cell(w, a, 4), "DELETE");
    EXPECT_EQ(Cell(w, b, 4), "DELETE");
    EXPECT_EQ(p.Stats.DeleteCount, 2);
    EXPECT_EQ(w.CopyLefttoRight1->text(), "Copy Left to &Right\tRight, >");

    // Typing a name's first letters selects its row.
    w.Grid->SelectRows(a, a);
    QTest::keyClicks(w.Grid, "B");
    EXPECT_EQ(w.Selection(), std::make_pair(b, b));
}

namespace {

// The real Qt port, with answers for the questions an execution may ask.
class WindowPort : public TQtPort {
public:
    std::vector<std::string> Calls;
    std::function<void()> WhileCopying;
    void ShowInfo(std::string_view text) override { Calls.push_back("Info: " + std::string(text)); }
    bool AskQuestion(std::string_view) override { return false; }
    int AskDecision(std::string_view, bool, bool, std::string_view) override { return -1; }
    int ChooseOption(std::string_view, const std::vector<std::string>&, int) override { return 0; }
    int ChooseWithFileInfo(const tFileChoice&) override { return 2; } // "... this file"
    std::string AskForText(std::string_view, int, bool& cancelled, std::string_view,
                           std::string_view) override {
        cancelled = true;
        return {};
    }
    void ShowCopyingResult(const tCopyingResult&) override { Calls.push_back("Result"); }
    void OpenCopyingStatus(tCopyingStatus& status, bool show) override {
        if (WhileCopying) WhileCopying();
        TQtPort::OpenCopyingStatus(status, show);
    }
};

// Runs handle on the status window as soon as it waits modally.
void WhenReviewShown(const std::function<void(TFSyncStatus&)>& handle) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, handle] {
        if (auto* w = qobject_cast<TFSyncStatus*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            handle(*w);
        }
    });
    timer->start(10);
}

} // namespace

TEST_F(SyncStatus, AttendedRunExecutesExactlyWhatTheWindowShows) {
    left.WriteFile("new.txt", "n", kNew);
    left.WriteFile("skip.txt", "s", kNew);
    right.WriteFile("newer.txt", "right", kNew);
    left.WriteFile("newer.txt", "left", kOld);
    WindowPort qt;
    SetUiPort(&qt);

    // Cancel: nothing happens.
    {
        tProfile p = Profile(true, false);
        WhenReviewShown([](TFSyncStatus& w) { w.btCancel->click(); });
        EXPECT_FALSE(RunProfile(p, false));
        EXPECT_EQ(right.List(), std::vector<std::string>({"newer.txt"}));
    }
    // Start after leaving one copy alone: the rest of what is shown is carried out.
    tProfile p = Profile(true, false);
    std::vector<std::string> shown;
    WhenReviewShown([&](TFSyncStatus& w) {
        for (int r = 1; r <= w.Grid->GridModel()->rowCount(); ++r)
            shown.push_back(Cell(w, r, 1) + " " + Cell(w, r, 4));
        const int skip = RowOf(w, "skip.txt");
        w.Grid->SelectRows(skip, skip);
        w.PopupMenu1Popup();
        w.LeaveAlone1->trigger();
        QTest::keyClick(w.btStart, Qt::Key_Return);
    });
    EXPECT_TRUE(RunProfile(p, false));
    EXPECT_EQ(shown, std::vector<std::string>({"    new.txt ---->", "    skip.txt ---->"}))
        << "L to R: the newer right file is not shown";
    EXPECT_EQ(right.ReadFile("new.txt"), "n");
    EXPECT_FALSE(right.Exists("skip.txt"));
    for (const TFileListEntry& e : p.Entries)
        EXPECT_EQ(e.AffectedIndex, e.Name() == "new.txt" ? 1 : 0) << e.Name() << ": File #n of 1";
    EXPECT_EQ(left.ReadFile("newer.txt"), "left") << "not shown, not executed";
    EXPECT_EQ(right.ReadFile("newer.txt"), "right");
    SetUiPort(&port);
}

TEST_F(SyncStatus, UnattendedRunShowsThePlanWithDisabledButtonsWhileItExecutes) {
    left.WriteFile("a.txt", "a", kNew);
    WindowPort qt;
    SetUiPort(&qt);
    bool checked = false;
    qt.WhileCopying = [&] {
        TFSyncStatus* w = ShownPlanWindow();
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->isVisible());
        EXPECT_FALSE(w->isModal());
        EXPECT_FALSE(w->btStart->isEnabled());
        EXPECT_FALSE(w->btCancel->isEnabled());
        EXPECT_FALSE(w->rgState->isEnabled());
        w->Grid->SelectRows(1, 1);
        w->PopupMenu1Popup();
        EXPECT_FALSE(w->Delete1->isEnabled()) << "the plan is read-only while it runs";
        w->close();
        EXPECT_TRUE(w->isVisible());
        checked = true;
    };
    tProfile p = Profile();
    p.Unattended = true;
    EXPECT_TRUE(RunProfile(p, false));
    EXPECT_TRUE(checked);
    EXPECT_EQ(ShownPlanWindow(), nullptr);
    EXPECT_EQ(right.ReadFile("a.txt"), "a");
    SetUiPort(&port);
}

TEST_F(SyncStatus, RememberedRunShowsConflictsAndCarriedDeletionsAndTheUserMayPickASide) {
    const std::string stateHome = home.Path("state");
    setenv("XDG_STATE_HOME", stateHome.c_str(), 1);
    for (const char* name : {"both.txt", "picked.txt", "gone.txt"}) {
        left.WriteFile(name, "v0", kOld);
        right.WriteFile(name, "v0", kOld);
    }
    tProfile first = Profile();
    first.RememberLastRun = true;
    EXPECT_TRUE(RunProfile(first, true)) << "records the state";

    left.WriteFile("both.txt", "left edit", kNew);
    right.WriteFile("both.txt", "right edit", kNew + 60);
    left.WriteFile("picked.txt", "left edit", kNew);
    right.WriteFile("picked.txt", "right edit", kNew + 60);
    std::remove(left.Path("gone.txt").c_str());

    WindowPort qt;
    SetUiPort(&qt);
    tProfile p = Profile();
    p.RememberLastRun = true;
    std::map<std::string, std::pair<std::string, std::string>> rows; // name: action, tooltip
    WhenReviewShown([&](TFSyncStatus& w) {
        auto* model = w.Grid->GridModel();
        for (int r = 1; r <= model->rowCount(); ++r)
            rows[Cell(w, r, 1).substr(4)] = {
                Cell(w, r, 4), model->data(model->index(r - 1, 1), Qt::ToolTipRole).toString().toStdString()};
        EXPECT_EQ(w.cbFilesToDelete->checkState(), Qt::PartiallyChecked);
        EXPECT_TRUE(w.cbFilesToDelete->isEnabled() && w.lbDelete->isEnabled());
        EXPECT_EQ(w.lbDelete->text().toStdString(), "1 (0.0kB)");
        // The user settles one conflict by taking the right side.
        const int picked = RowOf(w, "picked.txt");
        w.Grid->SelectRows(picked, picked);
        w.PopupMenu1Popup();
        EXPECT_TRUE(w.CopyRighttoLeft1->isEnabled());
        w.CopyRighttoLeft1->trigger();
        EXPECT_EQ(Cell(w, picked, 4), "<----");
        QTest::keyClick(w.btStart, Qt::Key_Return);
    });
    EXPECT_TRUE(RunProfile(p, false));
    SetUiPort(&port);
    unsetenv("XDG_STATE_HOME");

    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows["gone.txt"].first, "DELETE");
    EXPECT_EQ(rows["gone.txt"].second, "deleted on the left since the last run");
    EXPECT_EQ(rows["both.txt"].first, "CONFLICT");
    EXPECT_EQ(rows["both.txt"].second,
              "changed on both sides since the last run (left " + GridDateText(kNew) +
                  ", right " + GridDateText(kNew + 60) +
                  "): both edits are kept");
    EXPECT_EQ(rows["picked.txt"].first, "CONFLICT");

    const std::string kept = ConflictName("both.txt", kNew, "left");
    EXPECT_EQ(left.List(), right.List());
    EXPECT_EQ(left.List(), (std::vector<std::string>{kept, "both.txt", "picked.txt"}));
    EXPECT_EQ(left.ReadFile(kept), "left edit");
    EXPECT_EQ(left.ReadFile("both.txt"), "right edit");
    EXPECT_EQ(left.ReadFile("picked.txt"), "right edit") << "the side the user picked";
    EXPECT_EQ(p.LastRunResult, "3 copied, 1 deleted, 1 in conflict (both kept)");
}
