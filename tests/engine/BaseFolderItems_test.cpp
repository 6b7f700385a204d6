// The base-level listing of the selection dialog and the selection text, on real trees.
#include "engine/BaseFolderItems.h"
#include "engine/Scanner.h"
#include "profiles/Profile.h"
#include "support/ScriptedPort.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

using namespace corvane;

TEST(BaseFolderItems, ListingFollowsTheScannersRulesAndAsksNothing) {
    test::TempTree left, right;
    test::ScriptedPort port;
    SetUiPort(&port);
    left.WriteFile("b.txt", "b");
    left.MakeFolder("Docs");
    left.MakeLink("docs-link", left.Path("Docs")); // a link is a file entry
    right.WriteFile("a.TXT", "a");
    right.WriteFile(".hidden", "h");
    left.MakeFolder(".config");
    right.MakeFolder(".config");
    tProfile p;
    p.LeftPath = left.Root();
    p.RightPath = right.Root();
    p.Subfolders = true;
    p.HiddenFolders = true; // hidden folders shown, hidden files not
    bool cancelled = true;
    std::vector<std::string> texts;
    for (const tBaseFolderItem& item : ListBaseFolderItems(p, cancelled))
        texts.push_back(BaseFolderItemText(item));
    EXPECT_FALSE(cancelled);
    EXPECT_EQ(texts, (std::vector<std::string>{"[ R] a.TXT", "[L ] b.txt", "[L ] docs-link",
                                               "[LR] [folder] .config", "[L ] [folder] Docs"}));
    EXPECT_TRUE(port.Calls.empty());
    EXPECT_EQ(port.Nesting, 0);

    // The progress window's button stops the listing; nothing half-read is offered.
    port.CancelProgressAfter = 1;
    ListBaseFolderItems(p, cancelled);
    EXPECT_TRUE(cancelled);
    SetUiPort(nullptr);
}

TEST(BaseFolderItems, SelectionTextRoundTripsAndMatchesTheScanner) {
    const std::vector<std::string> names = {"a", "b:c", "c", "x.txt", "", "1", "dup", "d:"};
    const std::string written = BaseFolderSelection(
        {{"a", 1}, {"b:c", 2}, {"c", 0}, {"x.txt", 1}, {"dup", 2}, {"d:", 1}});
    EXPECT_EQ(written, std::string(":\1:a:\2:b:c:\1:x.txt:\2:dup:\1:d::"));
    EXPECT_EQ(BaseFolderSelection({}), ":");

    // Texts written by hand or by older versions: the one-pass lookup gives the scanner's
    // state for every name.
    const std::vector<std::string> selections = {
        written, ":", "", "\1:a:", ":a:\1:a:", ":\3:a:\1:a:", ":\1:c:\2:c:", "::\1::",
        ":\1:b:c:", ":\2:a:b:c:", "\1:\1:1:", std::string(":\0:dup:\2:dup:", 13)};
    for (const std::string& s : selections) {
        const std::vector<int> states = BaseItemStates(s, names);
        for (size_t k = 0; k < names.size(); ++k)
            EXPECT_EQ(states[k], BaseItemState(s, names[k])) << "name " << names[k];
    }
    EXPECT_EQ(BaseItemStates(written, names), (std::vector<int>{1, 2, 0, 1, 0, 0, 2, 1}));

    EXPECT_EQ(BaseFolderItemName("[LR] [folder] My Files"), "My Files");
    EXPECT_EQ(BaseFolderItemName("[L ] notes.txt"), "notes.txt");
    EXPECT_EQ(BaseFolderItemName("[ R] [folder]x"), "[folder]x");
}
