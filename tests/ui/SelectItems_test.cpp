// The base-folder item selection dialog on real trees: listing and tags, states kept over a
// refresh, the buttons, the grayed switch, the main window's use of it, and a run that
// honours the chosen items.
#include "engine/Analysis.h"
#include "engine/BaseFolderItems.h"
#include "engine/Scanner.h"
#include "engine/UiPort.h"
#include "profiles/Profile.h"
#include "support/ScriptedPort.h"
#include "support/TempTree.h"
#include "ui/SelectItems.h"
#include "ui/SyncMain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::gui;

namespace {

class SelectItems : public ::testing::Test {
protected:
    test::TempTree home, left, right;
    test::ScriptedPort port;
    tProfile profile;
    TFSelectItems dialog;

    SelectItems() {
        setenv("HOME", home.Root().c_str(), 1);
        SetUiPort(&port);
        profile.Name = "pics";
        profile.LeftPath = left.Root();
        profile.RightPath = right.Root();
        profile.Subfolders = true;
        profile.LeftToRight = true;
        dialog.Profile = &profile;
    }
    ~SelectItems() override { SetUiPort(nullptr); }

    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (int i = 0; i < dialog.ItemCount(); ++i) out.push_back(dialog.ItemText(i));
        return out;
    }
    int StateOf(const std::string& name) const {
        for (int i = 0; i < dialog.ItemCount(); ++i)
            if (dialog.ItemName(i) == name) return dialog.ItemState(i);
        ADD_FAILURE() << "not listed: " << name;
        return -1;
    }
    std::vector<int> States() const {
        std::vector<int> out;
        for (int i = 0; i < dialog.ItemCount(); ++i) out.push_back(dialog.ItemState(i));
        return out;
    }
    template <class T = QAbstractButton>
    T* Control(const char* name) {
        T* c = dialog.findChild<T*>(name);
        if (!c) ADD_FAILURE() << "no control " << name;
        return c;
    }
    // Runs answer with the dialog once it is shown modally.
    static void WhenShown(std::function<void(QWidget*)> answer) {
        QTimer::singleShot(0, [answer] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) ADD_FAILURE() << "no dialog shown";
            answer(modal);
            if (modal && modal->isVisible()) modal->close();
        });
    }
    static void Press(QWidget* modal, const char* name) {
        auto* b = modal ? modal->findChild<QAbstractButton*>(name) : nullptr;
        ASSERT_NE(b, nullptr) << name;
        b->click();
    }
};

std::string Sel(std::initializer_list<std::pair<int, std::string>> items) {
    std::string s = ":";
    for (const auto& [state, name] : items) s += std::string(1, char(state)) + ":" + name + ":";
    return s;
}

} // namespace

TEST_F(SelectItems, ListsBothSidesWithTagsAndRestoresGrayedFolderAfterRefresh) {
    left.WriteFile("notes.txt", "n");
    left.WriteFile("Both.txt", "l");
    right.WriteFile("Both.txt", "r");
    right.WriteFile("only-right.txt", "r");
    left.WriteFile("photos/a.jpg", "a");
    right.MakeFolder("photos");
    left.WriteFile("old/b.jpg", "b");
    right.WriteFile("archive/c.jpg", "c");
    left.WriteFile(".hidden", "h"); // hidden files are off: not listed
    left.WriteFile("clash", "file on the left");
    right.MakeFolder("clash");

    dialog.btRefreshClick();
    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           "[LR] Both.txt", "[L ] notes.txt", "[ R] only-right.txt",
                           "[ R] [folder] archive", "[LR] [folder] clash", "[L ] [folder] old",
                           "[LR] [folder] photos"}));
    EXPECT_EQ(States(), std::vector<int>(7, 0));
    EXPECT_EQ(port.ProgressLog, (std::vector<std::string>{"Title: Building File List",
                                                           "Text: Reading base folders",
                                                           "Button: Cancel"}));
    EXPECT_EQ(port.Nesting, 0);
    for (int i = 0; i < dialog.ItemCount(); ++i)
        EXPECT_EQ(BaseFolderItemName(dialog.ItemText(i)), dialog.ItemName(i));

    // The main window's stored selection: a grayed folder and two checked items, one of
    // them no longer present.
    auto* grayed = Control<QCheckBox>("cbAllowGrayed");
    ASSERT_FALSE(grayed->isChecked());
    dialog.ApplySelection(Sel({{1, "photos"}, {2, "old"}, {1, "gone.txt"}, {1, "Both.txt"}}));
    EXPECT_EQ(StateOf("old"), 2);
    EXPECT_EQ(StateOf("photos"), 1);
    EXPECT_EQ(StateOf("Both.txt"), 1);
    EXPECT_EQ(StateOf("notes.txt"), 0);
    EXPECT_TRUE(grayed->isChecked()); // a grayed item can be chosen again
    auto* list = Control<QListWidget>("clbItems");
    EXPECT_TRUE(list->item(0)->flags() & Qt::ItemIsUserTristate);

    // A new item on disk, and the user's own change, both survive a refresh.
    dialog.SetItemState(1, 1); // notes.txt
    left.WriteFile("new.txt", "x");
    Control("btRefresh")->click();
    EXPECT_EQ(dialog.ItemCount(), 8);
    EXPECT_EQ(StateOf("old"), 2);
    EXPECT_EQ(StateOf("new.txt"), 0);
    EXPECT_EQ(StateOf("archive"), 0);
    EXPECT_EQ(dialog.CollectSelection(),
              Sel({{1, "Both.txt"}, {1, "notes.txt"}, {2, "old"}, {1, "photos"}}));

    // The keyboard cycles an item through checked, grayed and unchecked.
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    ASSERT_EQ(dialog.ItemName(3), "only-right.txt");
    list->setCurrentRow(3);
    std::vector<int> cycle;
    for (int k = 0; k < 3; ++k) {
        QTest::keyClick(list, Qt::Key_Space);
        cycle.push_back(StateOf("only-right.txt"));
    }
    EXPECT_EQ(cycle, (std::vector<int>{1, 2, 0}));

    // Switching the grayed state off keeps what is set but stops offering it.
    grayed->setChecked(false);
    EXPECT_FALSE(list->item(0)->flags() & Qt::ItemIsUserTristate);
    EXPECT_EQ(StateOf("old"), 2);
    QTest::keyClick(list, Qt::Key_Space);
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(StateOf("only-right.txt"), 0);
}

TEST_F(SelectItems, FoldersOnlyAllNoneAndMinimumWidth) {
    left.WriteFile("one.txt", "1");
    left.WriteFile("two.txt", "2");
    right.WriteFile("three.txt", "3");
    left.MakeFolder("music");
    right.WriteFile("video/v.mp4", "v");
    dialog.btRefreshClick();
    ASSERT_EQ(dialog.ItemCount(), 5);
    dialog.ApplySelection(Sel({{1, "one.txt"}, {2, "music"}}));

    Control("btFolders")->click();
    EXPECT_EQ(States(), (std::vector<int>{0, 0, 0, 1, 1}));
    EXPECT_EQ(dialog.CollectSelection(), Sel({{1, "music"}, {1, "video"}}));

    Control("btAll")->click();
    EXPECT_EQ(States(), std::vector<int>(5, 1));
    Control("btNone")->click();
    EXPECT_EQ(States(), std::vector<int>(5, 0));
    EXPECT_EQ(dialog.CollectSelection(), ":");

    EXPECT_FALSE(dialog.FormCanResize(454, 300));
    EXPECT_TRUE(dialog.FormCanResize(455, 300));
    dialog.resize(300, 300);
    EXPECT_GE(dialog.width(), TFSelectItems::MinimumWidth);
    // The sentence about the marks is one label that wraps instead of being cut off, and
    // the switch's caption is short.
    auto* sentence = Control<QLabel>("Label1");
    EXPECT_GT(sentence->heightForWidth(300), sentence->heightForWidth(2000));
    EXPECT_LE(sentence->minimumSizeHint().width(), TFSelectItems::MinimumWidth / 2);
    auto* grayed = Control<QCheckBox>("cbAllowGrayed");
    EXPECT_LE(grayed->sizeHint().width(), TFSelectItems::MinimumWidth - 20);

    // Without subfolders a run lists no folders, and neither does the dialog.
    profile.Subfolders = false;
    Control("btRefresh")->click();
    EXPECT_EQ(Texts(), (std::vector<std::string>{"[L ] one.txt", "[ R] three.txt",
                                                 "[L ] two.txt"}));
}

TEST_F(SelectItems, EmptySelectionLeavesAllUncheckedAndOkStoresTheChoice) {
    left.WriteFile("a.txt", "a");
    left.WriteFile("b/c.txt", "c");
    right.WriteFile("d.txt", "d");
    std::string selection = ":";
    std::vector<int> seen;
    WhenShown([&](QWidget* modal) {
        seen = States();
        dialog.SetItemState(0, 1);
        Press(modal, "btOK");
    });
    EXPECT_EQ(dialog.Execute(profile, selection), 1);
    EXPECT_EQ(seen, std::vector<int>(3, 0));
    EXPECT_EQ(selection, Sel({{1, "a.txt"}}));

    // Cancel leaves the selection as it was.
    WhenShown([&](QWidget* modal) {
        EXPECT_EQ(States(), (std::vector<int>{1, 0, 0}));
        dialog.SetItemState(1, 1);
        Press(modal, "btCancel");
    });
    EXPECT_EQ(dialog.Execute(profile, selection), 2);
    EXPECT_EQ(selection, Sel({{1, "a.txt"}}));
    EXPECT_EQ(dialog.ShownCount(), 2);
    EXPECT_EQ(dialog.Profile, nullptr);

    // A right base folder that does not exist yet: the left items are offered, nothing
    // is asked, created or stored as the profile's result.
    profile.RightPath = right.Path("not-yet");
    WhenShown([&](QWidget* modal) {
        EXPECT_EQ(Texts(), (std::vector<std::string>{"[L ] a.txt", "[L ] [folder] b"}));
        Press(modal, "btOK");
    });
    EXPECT_EQ(dialog.Execute(profile, selection), 1);
    EXPECT_TRUE(port.Calls.empty());
    EXPECT_FALSE(right.Exists("not-yet"));
    EXPECT_EQ(profile.LastRunResult, "");
}

TEST_F(SelectItems, InvalidMaskIsReportedAndKeepsTheList) {
    left.WriteFile("a.txt", "a");
    dialog.btRefreshClick();
    ASSERT_EQ(dialog.ItemCount(), 1);
    profile.FileMasks = "[a";
    dialog.btRefreshClick();
    EXPECT_EQ(port.CallsStartingWith("Info: ").size(), 1u);
    EXPECT_EQ(dialog.ItemCount(), 1);
    EXPECT_EQ(port.Nesting, 0);
}

TEST_F(SelectItems, MainWindowSkipsTheDialogForEmptyBaseFoldersAndKeepsTheOkSelection) {
    TFSyncMain main;
    InstallSelectItems(main);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    main.findChild<QLineEdit*>("edLeftPath")->setText(QString::fromStdString(left.Root()));
    main.findChild<QLineEdit*>("edRightPath")->setText(QString::fromStdString(right.Root()));
    auto* selectBox = main.findChild<QCheckBox*>("cbSelectBaseFolderItems");
    const int shownBefore = TFSelectItems::Instance()->ShownCount();

    // Both base folders empty: nothing shown, the box does not stay checked.
    selectBox->click();
    EXPECT_FALSE(selectBox->isChecked());
    EXPECT_EQ(main.EditBaseFolderItems(), 2);
    // Only a hidden file (hidden files not processed): nothing to list either.
    left.WriteFile(".profile", "p");
    EXPECT_EQ(main.EditBaseFolderItems(), 2);
    EXPECT_EQ(TFSelectItems::Instance()->ShownCount(), shownBefore);
    EXPECT_EQ(main.BaseFolderItems(), "");

    right.WriteFile("Pictures/x.png", "x");
    WhenShown([&](QWidget* modal) {
        auto* d = TFSelectItems::Instance();
        ASSERT_EQ(modal, d);
        ASSERT_EQ(d->ItemCount(), 1);
        EXPECT_EQ(d->ItemText(0), "[ R] [folder] Pictures");
        Press(modal, "btFolders");
        Press(modal, "btOK");
    });
    selectBox->click();
    EXPECT_TRUE(selectBox->isChecked());
    EXPECT_EQ(main.BaseFolderItems(), Sel({{1, "Pictures"}}));
    EXPECT_EQ(TFSelectItems::Instance()->ShownCount(), shownBefore + 1);
    main.close();
}

TEST_F(SelectItems, RunPlansOnlyTheChosenItems) {
    left.WriteFile("keep.txt", "k");
    left.WriteFile("skip.txt", "s");
    left.WriteFile("caf\xe9.txt", "latin-1 name"); // not valid UTF-8
    left.WriteFile("work/report.odt", "r");
    left.WriteFile("work/sub/deep.txt", "d");
    left.WriteFile("games/save.dat", "g");
    left.WriteFile("old/moved.jpg", "m");
    right.WriteFile("old/elsewhere.jpg", "e");

    std::string selection = ":";
    WhenShown([&](QWidget* modal) {
        auto* d = TFSelectItems::Instance();
        for (int i = 0; i < d->ItemCount(); ++i) {
            const std::string name = d->ItemName(i);
            if (name == "keep.txt" || name == "caf\xe9.txt" || name == "work") d->SetItemState(i, 1);
            if (name == "old") d->SetItemState(i, 2);
        }
        Press(modal, "btOK");
    });
    ASSERT_EQ(TFSelectItems::Instance()->Execute(profile, selection), 1);
    EXPECT_EQ(selection,
              Sel({{1, "caf\xe9.txt"}, {1, "keep.txt"}, {2, "old"}, {1, "work"}}));

    profile.SelectBaseFolderItems = true;
    profile.BaseFolderItems = selection;
    profile.RunUnattended = true;
    ASSERT_TRUE(AnalyzeProfile(profile));
    std::vector<std::string> listed, copied;
    for (const TFileListEntry& e : profile.Entries) {
        const std::string path = e.RelPath() + "/" + std::string(e.Name());
        listed.push_back(path);
        if (e.Action == tAction::actCopyToRight) copied.push_back(path);
    }
    std::sort(listed.begin(), listed.end());
    std::sort(copied.begin(), copied.end());
    // Nothing of skip.txt and games; the grayed folder is read for moved files only.
    EXPECT_EQ(listed, (std::vector<std::string>{"/caf\xe9.txt", "/keep.txt", "/old",
                                                "/old/elsewhere.jpg", "/old/moved.jpg", "/work",
                                                "/work/report.odt", "/work/sub",
                                                "/work/sub/deep.txt"}));
    EXPECT_EQ(copied, (std::vector<std::string>{"/caf\xe9.txt", "/keep.txt", "/work/report.odt",
                                                "/work/sub/deep.txt"}));
}
