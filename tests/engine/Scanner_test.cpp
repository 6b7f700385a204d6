#include "engine/Masks.h"
#include "engine/Planner.h"
#include "engine/Scanner.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "support/ScriptedPort.h"
#include "support/TempTree.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace corvane {
namespace {

using test::ScriptedPort;
using test::TempTree;

class ScannerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearRightListCache();
        profile.Name = "job";
        profile.LeftPath = tree.Path("L");
        profile.RightPath = tree.Path("R");
        profile.Subfolders = true;
        profile.HiddenFiles = profile.HiddenFolders = true;
        profile.FileMasks = "(all)";
        profile.ExcludeMasks = "(none)";
        tree.MakeFolder("L");
        tree.MakeFolder("R");
    }
    void TearDown() override {
        ClearRightListCache();
        SetPrefStore(nullptr);
    }

    bool Scan(bool recurse = true, bool selectedOnly = false) {
        profile.Entries.clear();
        return BuildFileLists(profile, recurse, selectedOnly);
    }

    const TFileListEntry* Find(const std::string& rel, const std::string& name) const {
        for (const auto& e : profile.Entries)
            if (e.RelPath() == rel && e.Name() == name) return &e;
        return nullptr;
    }
    int ActionOf(const std::string& rel, const std::string& name) const {
        const TFileListEntry* e = Find(rel, name);
        return e ? static_cast<int>(e->Action) : -1;
    }
    // Entries as "relpath/name" in list order.
    std::vector<std::string> Order() const {
        std::vector<std::string> out;
        for (const auto& e : profile.Entries)
            out.push_back(e.RelPath() + "/" + std::string(e.Name()));
        return out;
    }

    TempTree tree;
    ScriptedPort port;
    tProfile profile;
};

// ---- Pairing and first actions ----

TEST_F(ScannerTest, PairsItemsAndGivesOneSidedItemsCopyActionsAtEveryLevel) {
    tree.WriteFile("L/both.txt", "left", 1000);
    tree.WriteFile("R/both.txt", "right!", 2000);
    tree.WriteFile("L/left.txt", "l");
    tree.WriteFile("L/sub/deep/a.txt", "a");
    tree.WriteFile("R/sub/deep/a.txt", "a");
    tree.WriteFile("R/sub/deep/r.txt", "r");
    tree.WriteFile("L/lonly/x/y/z.txt", "z");
    tree.WriteFile("R/ronly/one/two/three.txt", "3");
    tree.WriteFile("R/ronly/top.txt", "t");
    // Times beyond 2038 and before 1970 survive as 64-bit values.
    tree.WriteFile("L/future.txt", "f", 4102444800LL);
    tree.WriteFile("R/future.txt", "f", -86400);

    ASSERT_TRUE(Scan());
    EXPECT_FALSE(profile.ScanAborted);

    const TFileListEntry* both = Find("", "both.txt");
    ASSERT_NE(both, nullptr);
    EXPECT_EQ(both->Action, tAction::actLeaveAlone);
    EXPECT_EQ(both->DefaultAction, tAction::actLeaveAlone);
    EXPECT_EQ(both->Left.Time, 1000);
    EXPECT_EQ(both->Right.Time, 2000);
    EXPECT_EQ(both->LeftSize(), 4);
    EXPECT_EQ(both->RightSize(), 6);
    EXPECT_TRUE(both->Left.Present && both->Right.Present);
    EXPECT_EQ(both->Level(), 0);

    const TFileListEntry* future = Find("", "future.txt");
    ASSERT_NE(future, nullptr);
    EXPECT_EQ(future->Left.Time, 4102444800LL);
    EXPECT_EQ(future->Right.Time, -86400);

    EXPECT_EQ(ActionOf("", "left.txt"), 1);
    EXPECT_FALSE(Find("", "left.txt")->Right.Present);
    EXPECT_EQ(ActionOf("/sub/deep", "a.txt"), 3);
    EXPECT_EQ(ActionOf("/sub/deep", "r.txt"), 2);
    EXPECT_EQ(Find("/sub/deep", "r.txt")->Level(), 2);
    EXPECT_EQ(ActionOf("", "sub"), 3);

    // A folder on one side: it and everything below it are one-sided.
    for (auto [rel, name] : std::vector<std::pair<std::string, std::string>>{
             {"", "lonly"}, {"/lonly", "x"}, {"/lonly/x", "y"}, {"/lonly/x/y", "z.txt"}})
        EXPECT_EQ(ActionOf(rel, name), 1) << rel << "/" << name;
    for (auto [rel, name] :
         std::vector<std::pair<std::string, std::string>>{{"", "ronly"},
                                                          {"/ronly", "one"},
                                                          {"/ronly", "top.txt"},
                                                          {"/ronly/one", "two"},
                                                          {"/ronly/one/two", "three.txt"}})
        EXPECT_EQ(ActionOf(rel, name), 2) << rel << "/" << name;
    const TFileListEntry* ronly = Find("", "ronly");
    EXPECT_TRUE(ronly->LeftIsFolder && ronly->RightIsFolder);
    EXPECT_FALSE(ronly->Left.Present);
    EXPECT_EQ(ronly->RightSize(), 0);

    EXPECT_EQ(profile.EntryCount(), 16);
    EXPECT_EQ(profile.MaxLevel, 3);
    // Items read per side, folders included.
    EXPECT_EQ(profile.LeftItemCount, 10);
    EXPECT_EQ(profile.RightItemCount, 11);
    EXPECT_TRUE(profile.UnreadableFolders.empty());
}

TEST_F(ScannerTest, FileAgainstFolderIsAConflictThatIsNotEntered) {
    tree.WriteFile("L/x", "file");
    tree.WriteFile("R/x/inner.txt", "in");
    tree.WriteFile("R/x/more/deeper.txt", "in");
    ASSERT_TRUE(Scan());
    const TFileListEntry* x = Find("", "x");
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->Action, tAction::actConflict);
    EXPECT_EQ(x->DefaultAction, tAction::actConflict);
    EXPECT_FALSE(x->LeftIsFolder);
    EXPECT_TRUE(x->RightIsFolder);
    EXPECT_EQ(profile.EntryCount(), 1);
    EXPECT_EQ(profile.MaxLevel, 0);
}

TEST_F(ScannerTest, WithoutSubfoldersNoFolderIsListedAtAll) {
    profile.Subfolders = false;
    tree.WriteFile("L/a.txt", "a");
    tree.WriteFile("L/dir/b.txt", "b");
    tree.WriteFile("R/rdir/c.txt", "c");
    tree.MakeLink("L/linkdir", "dir");
    ASSERT_TRUE(Scan(false));
    EXPECT_EQ(Order(), std::vector<std::string>{"/a.txt"});
    EXPECT_EQ(profile.LeftItemCount, 1);
    EXPECT_EQ(profile.RightItemCount, 0);
}

TEST_F(ScannerTest, HiddenFilesAndFoldersFollowTheirSettings) {
    for (const char* side : {"L/", "R/"}) {
        tree.WriteFile(std::string(side) + ".hidden", "h");
        tree.WriteFile(std::string(side) + ".hdir/inside.txt", "i");
        tree.WriteFile(std::string(side) + "plain.txt", "p");
    }
    struct tCase {
        bool files, folders;
        std::vector<std::string> expected;
    };
    std::vector<tCase> cases = {
        {false, false, {"/plain.txt"}},
        {true, false, {"/.hidden", "/plain.txt"}},
        {false, true, {"/plain.txt", "/.hdir", "/.hdir/inside.txt"}},
        {true, true, {"/.hidden", "/plain.txt", "/.hdir", "/.hdir/inside.txt"}},
    };
    for (const auto& c : cases) {
        profile.HiddenFiles = c.files;
        profile.HiddenFolders = c.folders;
        ASSERT_TRUE(Scan());
        EXPECT_EQ(Order(), c.expected) << c.files << c.folders;
    }
    ASSERT_NE(Find("", ".hidden"), nullptr);
    EXPECT_TRUE(Find("", ".hidden")->Left.Attr & faHidden);
}

TEST_F(ScannerTest, LinksAreFilesAndModeTwoIgnoresThem) {
    tree.WriteFile("L/target/t.txt", "12345");
    tree.WriteFile("R/target/t.txt", "12345");
    tree.WriteFile("L/data.bin", "123456789");
    tree.MakeLink("L/tofolder", "target");
    tree.MakeLink("L/tofile", "data.bin");
    tree.MakeLink("L/dangling", "nowhere");
    tree.MakeLink("R/tofile", "elsewhere");

    for (int mode : {0, 1, 2}) {
        profile.SymLinks = mode;
        ASSERT_TRUE(Scan());
        const TFileListEntry* folderLink = Find("", "tofolder");
        ASSERT_NE(folderLink, nullptr);
        EXPECT_FALSE(folderLink->LeftIsFolder);
        EXPECT_FALSE(folderLink->RightIsFolder);
        EXPECT_TRUE(folderLink->LeftIsLink && folderLink->RightIsLink);
        EXPECT_TRUE(folderLink->Left.Attr & faDirectory);
        EXPECT_TRUE(folderLink->Left.Attr & faSymLink);
        EXPECT_TRUE(folderLink->Left.Attr & faSysFile);
        EXPECT_EQ(folderLink->DefaultAction, tAction::actCopyToRight);
        // Never entered: nothing listed below the link.
        EXPECT_EQ(Find("/tofolder", "t.txt"), nullptr);

        const TFileListEntry* fileLink = Find("", "tofile");
        ASSERT_NE(fileLink, nullptr);
        EXPECT_EQ(fileLink->LeftLinkSize(), 9);
        EXPECT_EQ(fileLink->RightLinkSize(), 0); // target missing
        EXPECT_EQ(fileLink->DefaultAction, tAction::actLeaveAlone);

        const TFileListEntry* dangling = Find("", "dangling");
        ASSERT_NE(dangling, nullptr);
        EXPECT_EQ(dangling->Left.Attr & faDirectory, 0u);

        tAction expectFolderLink = mode == 2 ? tAction::actNone : tAction::actCopyToRight;
        tAction expectFileLink = mode == 2 ? tAction::actNone : tAction::actLeaveAlone;
        EXPECT_EQ(folderLink->Action, expectFolderLink) << mode;
        EXPECT_EQ(fileLink->Action, expectFileLink) << mode;
        EXPECT_EQ(ActionOf("", "data.bin"), 1);
    }
}

TEST_F(ScannerTest, SpecialFilesAreListedWithTheSystemBitAndNeverOpened) {
    ASSERT_EQ(mkfifo(tree.Path("L/pipe").c_str(), 0644), 0);
    ASSERT_TRUE(Scan()); // a FIFO opened for reading would block here
    const TFileListEntry* pipe = Find("", "pipe");
    ASSERT_NE(pipe, nullptr);
    EXPECT_TRUE(pipe->Left.Attr & faSysFile);
    EXPECT_TRUE(S_ISFIFO(pipe->Left.Mode));
    EXPECT_FALSE(pipe->LeftIsFolder);
}

TEST_F(ScannerTest, NamesAreBytes) {
    std::string caseA = "Readme", caseB = "README";
    std::string latin1 = "caf\xe9-\xff.txt";
    std::string newline = "two\nlines";
    std::string longName(255, 'n');
    tree.WriteFile("L/" + caseA, "a");
    tree.WriteFile("R/" + caseB, "b");
    tree.WriteFile("L/x", "lower");
    tree.WriteFile("L/X", "upper");
    tree.WriteFile("R/x", "lower");
    for (const std::string& name : {latin1, newline, longName}) {
        tree.WriteFile("L/" + name, "same");
        tree.WriteFile("R/" + name, "same");
        tree.WriteFile("L/dir-" + name.substr(0, 200) + "/in", "i");
        tree.WriteFile("R/dir-" + name.substr(0, 200) + "/in", "i");
    }
    ASSERT_TRUE(Scan());
    EXPECT_EQ(ActionOf("", caseA), 1);
    EXPECT_EQ(ActionOf("", caseB), 2);
    EXPECT_EQ(ActionOf("", "x"), 3);
    EXPECT_EQ(ActionOf("", "X"), 1);
    for (const std::string& name : {latin1, newline, longName}) {
        EXPECT_EQ(ActionOf("", name), 3);
        EXPECT_EQ(ActionOf("/dir-" + name.substr(0, 200), "in"), 3);
    }
}

TEST_F(ScannerTest, OnlyTheExecutorsOwnTemporaryNamesAreLeftOut) {
    const std::string own = ".crvtmp-0123456789abcdef";
    EXPECT_TRUE(IsCopyTempName(own));
    EXPECT_FALSE(IsCopyTempName(".crvtmp-"));
    EXPECT_FALSE(IsCopyTempName(".crvtmp-1234"));
    EXPECT_FALSE(IsCopyTempName(".crvtmp-notes.txt"));
    EXPECT_FALSE(IsCopyTempName(".crvtmp-0123456789ABCDEF"));
    EXPECT_FALSE(IsCopyTempName(own + "0"));
    EXPECT_FALSE(IsCopyTempName("x" + own));

    profile.HiddenFiles = true;
    profile.LeftToRight = true;
    profile.RightToLeft = false;
    tree.WriteFile("L/sub/" + own, "partial on the model side");
    tree.WriteFile("L/sub/.crvtmp-notes.txt", "the user's notes");
    tree.WriteFile("R/sub/.crvtmp-1234", "the user's too");
    tree.WriteFile("R/" + own, "partial");
    ASSERT_TRUE(Scan());
    EXPECT_EQ(Order(), (std::vector<std::string>{"/sub", "/sub/.crvtmp-1234",
                                                 "/sub/.crvtmp-notes.txt"}));
    // Only the side this run writes to may hold leftovers to remove.
    EXPECT_EQ(profile.LeftoverTempFiles, std::vector<std::string>{tree.Path("R/" + own)});

    profile.Entries.clear();
    profile.RightToLeft = true;
    ASSERT_TRUE(Scan());
    std::vector<std::string> leftovers = profile.LeftoverTempFiles;
    std::sort(leftovers.begin(), leftovers.end());
    EXPECT_EQ(leftovers, (std::vector<std::string>{tree.Path("L/sub/" + own),
                                                   tree.Path("R/" + own)}));
}

// ---- Masks ----

TEST_F(ScannerTest, MasksFilterFilesAndExcludedFoldersLoseTheirSubtree) {
    tree.WriteFile("L/a.txt", "a");
    tree.WriteFile("L/b.doc", "b");
    tree.WriteFile("L/docs/c.txt", "c");
    tree.WriteFile("L/docs/d.doc", "d");
    tree.WriteFile("L/tmp/e.txt", "e");
    profile.FileMasks = "*.txt";
    profile.ExcludeMasks = "tmp";
    ASSERT_TRUE(Scan());
    EXPECT_EQ(Order(), (std::vector<std::string>{"/a.txt", "/docs", "/docs/c.txt"}));

    profile.ExcludeMasks = "[abc";
    port.ProgressLog.clear();
    EXPECT_THROW(Scan(), EMaskException);
    EXPECT_EQ(port.Nesting, 0);
}

// ---- Base-folder selection ----

TEST_F(ScannerTest, BaseItemStateReadsTheSelectionText) {
    std::string sel = std::string(":") + "\x01:keep:" + "\x02:old:" + "\x01:a:b:";
    EXPECT_EQ(BaseItemState(sel, "keep"), 1);
    EXPECT_EQ(BaseItemState(sel, "old"), 2);
    EXPECT_EQ(BaseItemState(sel, "a:b"), 1);
    // "b" occurs inside "a:b" first; only an occurrence after a state byte counts.
    EXPECT_EQ(BaseItemState(sel + "\x02:b:", "b"), 2);
    EXPECT_EQ(BaseItemState(sel, "b"), 0);
    EXPECT_EQ(BaseItemState(sel, "Keep"), 0);
    EXPECT_EQ(BaseItemState(":", "keep"), 0);
    EXPECT_EQ(BaseItemState(":keep:", "keep"), 0); // at the very start: no state byte
    EXPECT_EQ(BaseItemState("x:keep:", "keep"), 0);
}

TEST_F(ScannerTest, SelectionLimitsTheBaseItemsAndStateTwoMeansMovedFilesOnly) {
    tree.WriteFile("L/keep/k.txt", "k");
    tree.WriteFile("L/old/o.txt", "o");
    tree.WriteFile("L/old/deeper/p.txt", "p");
    tree.WriteFile("R/old/q.txt", "q");
    tree.WriteFile("L/other.txt", "x");
    tree.WriteFile("R/other2.txt", "x");
    profile.BaseFolderItems = std::string(":") + "\x01:keep:" + "\x02:old:";
    ASSERT_TRUE(Scan(true, true));

    EXPECT_EQ(Find("", "other.txt"), nullptr);
    EXPECT_EQ(Find("", "other2.txt"), nullptr);
    EXPECT_EQ(ActionOf("", "keep"), 1);
    EXPECT_EQ(ActionOf("/keep", "k.txt"), 1);
    // The grayed folder itself keeps its action; everything below it gets none.
    EXPECT_EQ(ActionOf("", "old"), 3);
    EXPECT_EQ(ActionOf("/old", "o.txt"), 0);
    EXPECT_EQ(ActionOf("/old", "q.txt"), 0);
    EXPECT_EQ(ActionOf("/old", "deeper"), 0);
    EXPECT_EQ(ActionOf("/old/deeper", "p.txt"), 0);
    EXPECT_EQ(Find("/old/deeper", "p.txt")->DefaultAction, tAction::actNone);

    // Without the selection flag the text is not consulted.
    ASSERT_TRUE(Scan(true, false));
    EXPECT_EQ(ActionOf("", "other.txt"), 1);
    EXPECT_EQ(ActionOf("/old/deeper", "p.txt"), 1);
}

// ---- Version names ----

TEST(ScannerNames, VersionFileNames) {
    for (const char* yes :
         {"report.$1$.doc", "report.$12$", "a.b.$3$.tar", ".$1$", "x.$007$.", "data.tar.$42$.gz"})
        EXPECT_TRUE(IsVersionFileName(yes)) << yes;
    for (const char* no :
         {"report.doc", "report.$$.doc", "report.$$", "report$1$.doc", "report.$1.doc",
          "report.1$.doc", "report.$a$", "$1$", "", "x.$1$x", "report.$ 1$", "data.$42$.tar.gz"})
        EXPECT_FALSE(IsVersionFileName(no)) << no;
}

TEST_F(ScannerTest, VersionFilesGetNoAction) {
    tree.WriteFile("L/report.$1$.doc", "old");
    tree.WriteFile("R/notes.$2$", "old");
    tree.WriteFile("L/both.$1$.txt", "a");
    tree.WriteFile("R/both.$1$.txt", "b");
    ASSERT_TRUE(Scan());
    for (const char* name : {"report.$1$.doc", "notes.$2$", "both.$1$.txt"}) {
        const TFileListEntry* e = Find("", name);
        ASSERT_NE(e, nullptr) << name;
        EXPECT_TRUE(e->IsVersionFile);
        EXPECT_EQ(e->Action, tAction::actNone);
        EXPECT_EQ(e->DefaultAction, tAction::actNone);
    }
}

TEST(ScannerNames, NormalizeSlashes) {
    EXPECT_EQ(NormalizeSlashes("/a//b///c/"), "/a/b/c/");
    EXPECT_EQ(NormalizeSlashes("//server/share//x"), "//server/share/x");
    EXPECT_EQ(NormalizeSlashes("///a"), "//a");
    EXPECT_EQ(NormalizeSlashes("a//"), "a/");
    EXPECT_EQ(NormalizeSlashes(""), "");
    // The whole path is treated, however long.
    std::string longPath = "/" + std::string(400, 'x') + "//" + std::string(400, 'y') + "//z";
    EXPECT_EQ(NormalizeSlashes(longPath),
              "/" + std::string(400, 'x') + "/" + std::string(400, 'y') + "/z");
}

// ---- Tree order ----

TEST_F(ScannerTest, TreeOrderPutsFilesFirstIgnoresCaseAndGoesDepthFirst) {
    for (const char* f : {"L/b.txt", "L/A.txt", "R/c.TXT", "L/Zdir/z1", "L/adir/y", "L/adir/X",
                          "L/adir/Sub/s", "R/adir/sub2/t", "L/adir-more/m", "L/adir/Sub/Deep/d"})
        tree.WriteFile(f, "x");
    ASSERT_TRUE(Scan());
    std::vector<std::string> expected = {
        "/A.txt",         "/b.txt",           "/c.TXT",     "/adir",
        "/adir/X",        "/adir/y",          "/adir/Sub",  "/adir/Sub/s",
        "/adir/Sub/Deep", "/adir/Sub/Deep/d", "/adir/sub2", "/adir/sub2/t",
        "/adir-more",     "/adir-more/m",     "/Zdir",      "/Zdir/z1"};
    EXPECT_EQ(Order(), expected);
}

// Entries share their folder's names; a copy of a plan must still be a plan of its own.
TEST_F(ScannerTest, CopiesOfAPlanOwnTheirNamesAndRareFields) {
    tree.WriteFile("L/new/moved.jpg", "photo", 1000);
    tree.WriteFile("R/old/moved.jpg", "photo", 1000);
    tree.WriteFile("L/data.bin", "123456789");
    tree.MakeLink("L/tofile", "data.bin");
    tree.WriteFile("L/keep.txt", "k", 1000);
    tree.WriteFile("R/keep.txt", "k", 1000);
    profile.DetectMoved = true;
    ASSERT_TRUE(Scan());
    CompareEntries(profile);
    FindMovedFiles(profile);
    const std::vector<std::string> order = {"/data.bin",      "/keep.txt", "/tofile",       "/new",
                                            "/new/moved.jpg", "/old",      "/old/moved.jpg"};
    ASSERT_EQ(Order(), order);

    std::vector<TFileListEntry> copy = profile.Entries;
    for (TFileListEntry& e : copy) {
        if (e.Name() == "keep.txt") e.SetName("renamed.txt");
        if (!e.MovedPath().empty()) e.SetMovedPath("/elsewhere");
        if (e.LeftIsLink) e.SetLeftSize(e.LeftLinkSize());
    }
    // The plan it came from is unchanged.
    EXPECT_EQ(Order(), order);
    EXPECT_EQ(Find("/old", "moved.jpg")->MovedPath(), "/new");
    EXPECT_EQ(Find("/new", "moved.jpg")->MovedPath(), "/old");
    EXPECT_EQ(Find("", "tofile")->LeftSize(), 8); // the link's own size: "data.bin"
    EXPECT_EQ(Find("", "tofile")->LeftLinkSize(), 9);

    // The copy outlives the plan and sorts on its own.
    std::vector<TFileListEntry>().swap(profile.Entries);
    std::reverse(copy.begin(), copy.end());
    SortTreeOrder(copy);
    std::vector<std::string> copied, moved;
    std::vector<int64_t> linkSizes;
    for (const TFileListEntry& e : copy) {
        copied.push_back(e.RelPath() + "/" + std::string(e.Name()));
        if (!e.MovedPath().empty()) moved.push_back(e.MovedPath());
        if (e.LeftIsLink) linkSizes.push_back(e.LeftSize());
    }
    EXPECT_EQ(copied, (std::vector<std::string>{"/data.bin", "/renamed.txt", "/tofile", "/new",
                                                "/new/moved.jpg", "/old", "/old/moved.jpg"}));
    EXPECT_EQ(moved, (std::vector<std::string>{"/elsewhere", "/elsewhere"}));
    EXPECT_EQ(linkSizes, (std::vector<int64_t>{9}));
}

TEST(ScannerSort, FoldersDifferingOnlyInCaseKeepTheirContentsTogether) {
    std::vector<TFileListEntry> entries;
    auto add = [&](const std::string& rel, const std::string& name, bool folder) {
        TFileListEntry e;
        e.SetRelPath(rel);
        e.SetName(name);
        e.LeftIsFolder = e.RightIsFolder = folder;
        entries.push_back(std::move(e));
    };
    add("", "a", true);
    add("", "A", true);
    add("/a", "f2", false);
    add("/A", "f1", false);
    add("/a", "F1", false);
    add("", "\x01name", false); // control bytes do not confuse folder boundaries
    add("/A", "\x01sub", true);
    add("/A/\x01sub", "g", false);
    SortTreeOrder(entries);
    std::vector<std::string> order;
    for (const auto& e : entries)
        order.push_back(e.RelPath() + "/" + std::string(e.Name()));
    EXPECT_EQ(order, (std::vector<std::string>{"/\x01name", "/A", "/A/f1", "/A/\x01sub",
                                               "/A/\x01sub/g", "/a", "/a/F1", "/a/f2"}));
}

// ---- Base folders that cannot be reached ----

TEST_F(ScannerTest, MissingLeftBaseAttendedYesCreatesItAndScans) {
    char before[PATH_MAX];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    profile.LeftPath = tree.Path("new/left/base");
    tree.WriteFile("R/r.txt", "r");
    port.Questions.push_back(true);
    ASSERT_TRUE(Scan());
    EXPECT_EQ(port.Calls,
              std::vector<std::string>{"Question: Cannot access left path: " + profile.LeftPath +
                                       ". Should I try to create the folder?"});
    EXPECT_TRUE(tree.IsFolder("new/left/base"));
    EXPECT_EQ(ActionOf("", "r.txt"), 2);
    char after[PATH_MAX];
    ASSERT_NE(getcwd(after, sizeof after), nullptr);
    EXPECT_STREQ(before, after);
}

TEST_F(ScannerTest, MissingBaseAttendedNoStoresTheResult) {
    tPreferences store(tree.Path("prefs.ini"));
    SetPrefStore(&store);
    profile.LeftPath = tree.Path("missing");
    EXPECT_FALSE(Scan());
    EXPECT_TRUE(profile.ScanAborted);
    EXPECT_EQ(port.Calls,
              std::vector<std::string>{"Question: Cannot access left path: " + profile.LeftPath +
                                       ". Should I try to create the folder?"});
    EXPECT_EQ(profile.LastRunResult, "can't access left path");
    EXPECT_EQ(store.Read("rep_job", "Reports"), "can't access left path");
    EXPECT_FALSE(tree.Exists("missing"));
    EXPECT_TRUE(profile.Entries.empty());
    // No sorting step after a failed scan.
    EXPECT_EQ(std::count(port.ProgressLog.begin(), port.ProgressLog.end(), "Text: Sorting"), 0);
    EXPECT_EQ(port.Nesting, 0);
}

TEST_F(ScannerTest, MissingRightBaseThatCannotBeCreatedIsReported) {
    tPreferences store(tree.Path("prefs.ini"));
    SetPrefStore(&store);
    tree.WriteFile("blocker", "a file where a folder should be");
    profile.RightPath = tree.Path("blocker/right");
    port.Questions.push_back(true);
    EXPECT_FALSE(Scan());
    EXPECT_EQ(port.Calls,
              (std::vector<std::string>{"Question: Cannot access right path: " + profile.RightPath +
                                            ". Should I try to create the folder?",
                                        "Info: Cannot access right path: " + profile.RightPath}));
    EXPECT_EQ(store.Read("rep_job", "Reports"), "can't access right path");
}

TEST_F(ScannerTest, MissingBaseUnattendedAsksNothing) {
    tPreferences store(tree.Path("prefs.ini"));
    SetPrefStore(&store);
    profile.RunUnattended = true;
    profile.LeftPath = tree.Path("missing");
    EXPECT_FALSE(Scan());
    EXPECT_TRUE(port.Calls.empty());
    EXPECT_EQ(store.Read("rep_job", "Reports"), "can't access left path");
    EXPECT_FALSE(tree.Exists("missing"));

    profile.LeftPath = tree.Path("L");
    profile.RightPath = "";
    EXPECT_FALSE(Scan());
    EXPECT_EQ(store.Read("rep_job", "Reports"), "can't access right path");
}

// ---- Progress and cancel ----

TEST_F(ScannerTest, ShowsProgressAndCancelKeepsThePartialList) {
    for (int k = 0; k < 6; ++k)
        tree.WriteFile("L/d" + std::to_string(k) + "/f.txt", "x");
    ASSERT_TRUE(Scan());
    const std::vector<std::string>& log = port.ProgressLog;
    auto has = [&](const std::string& line) {
        return std::find(log.begin(), log.end(), line) != log.end();
    };
    EXPECT_EQ(log.at(0), "Title: Building File List");
    EXPECT_EQ(log.at(1), "Text: Reading base folders");
    EXPECT_EQ(log.at(2), "Button: Cancel");
    EXPECT_EQ(log.at(3), "Title: Building File List ... 0 entries");
    EXPECT_TRUE(has("Title: Building File List ... 6 entries"));
    EXPECT_TRUE(has("Text: /d3"));
    EXPECT_TRUE(has("Button: Skip Rest"));
    EXPECT_EQ(log.back(), "Text: Sorting");
    EXPECT_EQ(port.Nesting, 0);
    EXPECT_EQ(profile.EntryCount(), 12);

    // Pressing the button while the third folder is being scanned.
    port.CancelProgressAfter = 3;
    ASSERT_TRUE(Scan());
    EXPECT_FALSE(profile.ScanAborted);
    EXPECT_LT(profile.EntryCount(), 12);
    EXPECT_GE(profile.EntryCount(), 6);
    // What was read is still in tree order.
    std::vector<std::string> order = Order();
    EXPECT_EQ(order.front(), "/d0");
    EXPECT_EQ(order.at(1), "/d0/f.txt");
}

// ---- Right-side list cache ----

TEST_F(ScannerTest, CachedRightListsAreUsedAsReadUntilCleared) {
    profile.CacheRight = true;
    profile.ForcedUnattended = profile.RunUnattended = true;
    tree.WriteFile("L/a.txt", "a");
    tree.WriteFile("R/a.txt", "a");
    tree.WriteFile("R/sub/s.txt", "s");
    ASSERT_TRUE(Scan());
    EXPECT_EQ(RightListCache().Count(), 2u);
    EXPECT_EQ(ActionOf("/sub", "s.txt"), 2);

    tree.WriteFile("R/added.txt", "new");
    tree.WriteFile("R/sub/added2.txt", "new");
    ASSERT_TRUE(Scan());
    EXPECT_EQ(Find("", "added.txt"), nullptr);
    EXPECT_EQ(Find("/sub", "added2.txt"), nullptr);
    EXPECT_EQ(RightListCache().Count(), 2u);

    // While the cache holds lists the right base folder is not checked; a missing one that
    // has no cached list is not taken for an empty side.
    std::string right = profile.RightPath;
    profile.RightPath = tree.Path("gone");
    ASSERT_TRUE(Scan());
    ASSERT_EQ(profile.UnreadableFolders.size(), 1u);
    EXPECT_TRUE(profile.UnreadableFolders[0].RightSide);
    EXPECT_EQ(profile.UnreadableFolders[0].RelPath, "");
    EXPECT_EQ(profile.UnreadableFolders[0].Error, ENOENT);
    EXPECT_EQ(ActionOf("", "a.txt"), 1);
    ASSERT_TRUE(Scan()); // now from the cache
    EXPECT_EQ(profile.UnreadableFolders.size(), 1u);
    profile.RightPath = right;

    // Another profile does not share the lists.
    profile.Name = "other";
    ASSERT_TRUE(Scan());
    EXPECT_NE(Find("", "added.txt"), nullptr);
    profile.Name = "job";

    ClearRightListCache();
    EXPECT_TRUE(RightListCache().Empty());
    ASSERT_TRUE(Scan());
    EXPECT_EQ(ActionOf("", "added.txt"), 2);
    EXPECT_EQ(ActionOf("/sub", "added2.txt"), 2);

    // Attended runs never use the cache.
    profile.ForcedUnattended = false;
    ClearRightListCache();
    ASSERT_TRUE(Scan());
    EXPECT_TRUE(RightListCache().Empty());
}

// ---- Folders that cannot be read ----

TEST_F(ScannerTest, UnreadableFoldersAreRecordedNotTakenAsEmpty) {
    // root may read everything: the scan runs as nobody so the permissions apply.
    tree.WriteFile("L/closed/secret.txt", "s");
    tree.WriteFile("R/closed/secret.txt", "s");
    tree.WriteFile("R/closed/other.txt", "o");
    tree.WriteFile("L/noexec/item.txt", "i");
    tree.WriteFile("R/noexec/item.txt", "i");
    tree.WriteFile("L/fine.txt", "f");
    tree.SetMode("L/closed", 0700); // root's, nobody may not list it
    tree.SetMode("R/noexec", 0744); // nobody may list it but not stat its items
    int rc = test::RunAsNobody([&] {
        ScriptedPort childPort;
        profile.Entries.clear();
        if (!BuildFileLists(profile, true, false)) return 1;
        std::vector<std::tuple<bool, std::string, int>> got;
        for (const auto& u : profile.UnreadableFolders)
            got.emplace_back(u.RightSide, u.RelPath, u.Error);
        std::sort(got.begin(), got.end());
        if (got != std::vector<std::tuple<bool, std::string, int>>{{false, "/closed", EACCES},
                                                                   {true, "/noexec", EACCES}})
            return 2;
        // The readable side's items stay in the plan as one-sided entries.
        if (ActionOf("/closed", "secret.txt") != 2 || ActionOf("/closed", "other.txt") != 2)
            return 3;
        if (ActionOf("/noexec", "item.txt") != 1) return 4;
        if (ActionOf("", "fine.txt") != 1) return 5;
        // Written by root, so read-only for nobody.
        if (!(Find("", "fine.txt")->Left.Attr & faReadOnly)) return 6;
        return 0;
    });
    EXPECT_EQ(rc, 0);

    // As root the same tree reads completely, and nothing is read-only.
    ASSERT_TRUE(Scan());
    EXPECT_TRUE(profile.UnreadableFolders.empty());
    EXPECT_EQ(ActionOf("/closed", "secret.txt"), 3);
    EXPECT_EQ(Find("", "fine.txt")->Left.Attr & faReadOnly, 0u);
}

// ---- Deep trees ----

// Creates count nested folders called name below root, with a file at the bottom, without
// ever using a path longer than one component.
void MakeChain(const std::string& root, const std::string& name, int count) {
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int k = 0; k < count; ++k) {
        ASSERT_EQ(mkdirat(fd, name.c_str(), 0755), 0);
        int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    int file = openat(fd, "bottom.txt", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(file, 0);
    close(file);
    close(fd);
}

// Removes such a chain by lifting it one level at a time (the temporary tree's own cleanup
// cannot handle paths this long).
void RemoveChain(const std::string& root, const std::string& name) {
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    std::string inner = name + "/" + name;
    for (;;) {
        bool more = renameat(fd, inner.c_str(), fd, "lifted") == 0;
        unlinkat(fd, (name + "/bottom.txt").c_str(), 0);
        ASSERT_EQ(unlinkat(fd, name.c_str(), AT_REMOVEDIR), 0);
        if (!more) break;
        ASSERT_EQ(renameat(fd, "lifted", fd, name.c_str()), 0);
    }
    close(fd);
}

TEST_F(ScannerTest, DeepTreeNeedsNeitherStackNorManyOpenFolders) {
    constexpr int depth = 2000;
    const std::string name = "level"; // 12000 bytes of path: beyond what one call accepts
    MakeChain(tree.Path("L"), name, depth);
    MakeChain(tree.Path("R"), name, depth);

    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit low = old;
    low.rlim_cur = 32;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    bool ok = Scan();
    setrlimit(RLIMIT_NOFILE, &old);

    EXPECT_TRUE(ok);
    EXPECT_TRUE(profile.UnreadableFolders.empty());
    EXPECT_EQ(profile.EntryCount(), depth + 1);
    EXPECT_EQ(profile.MaxLevel, depth);
    std::string rel;
    for (int k = 0; k < depth; ++k)
        rel += "/" + name;
    EXPECT_EQ(ActionOf(rel, "bottom.txt"), 3);
    EXPECT_EQ(profile.Entries.back().Name(), "bottom.txt");
    EXPECT_EQ(profile.Entries.front().Level(), 0);

    RemoveChain(tree.Path("L"), name);
    RemoveChain(tree.Path("R"), name);
}

// ---- The listing itself ----

TEST_F(ScannerTest, ListingMatchesPatternsAndAttributes) {
    tree.WriteFile("L/one.txt", "1");
    tree.WriteFile("L/two.doc", "22");
    tree.WriteFile("L/.dot.txt", "3");
    tree.MakeFolder("L/folder.txt");

    auto list = [&](const std::string& pattern, uint32_t attributes) {
        std::vector<std::string> names;
        tFolderListing listing;
        TSearchRec rec;
        for (int rc = ListFirst(tree.Path("L/") + pattern, attributes, rec, listing); rc == 0;
             rc = ListNext(rec, listing))
            names.push_back(rec.Name);
        ListClose(listing);
        std::sort(names.begin(), names.end());
        return names;
    };
    EXPECT_EQ(list("*.txt", faAnyFile),
              (std::vector<std::string>{".dot.txt", "folder.txt", "one.txt"}));
    EXPECT_EQ(list("*.txt", faAnyFile & ~faDirectory),
              (std::vector<std::string>{".dot.txt", "one.txt"}));
    EXPECT_EQ(list("*", faAnyFile & ~faHidden & ~faDirectory),
              (std::vector<std::string>{"one.txt", "two.doc"}));
    EXPECT_EQ(list("*", faAnyFile), (std::vector<std::string>{".", "..", ".dot.txt", "folder.txt",
                                                              "one.txt", "two.doc"}));

    tFolderListing listing;
    TSearchRec rec;
    EXPECT_EQ(ListFirst(tree.Path("nothere/*"), faAnyFile, rec, listing), ENOENT);
    EXPECT_EQ(ListFirst(tree.Path("L/*.none"), faAnyFile, rec, listing), -1);
    ASSERT_EQ(ListFirst(tree.Path("L/two.doc"), faAnyFile, rec, listing), 0);
    EXPECT_EQ(rec.Size, 2);
    EXPECT_EQ(rec.Attr, 0u);
    EXPECT_TRUE(S_ISREG(rec.Mode));
    EXPECT_EQ(ListNext(rec, listing), -1);
    ListClose(listing);
}

TEST(FolderListing, ReadOnlyBitFollowsTheModeForTheRunningUser) {
    TempTree tree;
    tree.WriteFile("root-0644", "r");
    tree.WriteFile("root-0666", "r");
    tree.SetMode("root-0666", 0666);
    tree.WriteFile("own-0444", "o");
    tree.WriteFile("own-0644", "o");
    tree.MakeLink("link-to-0644", "root-0644");
    tree.MakeLink("dangling", "missing");
    struct passwd* nobody = getpwnam("nobody");
    uid_t uid = nobody ? nobody->pw_uid : 65534;
    ASSERT_EQ(chown(tree.Path("own-0444").c_str(), uid, static_cast<gid_t>(-1)), 0);
    ASSERT_EQ(chown(tree.Path("own-0644").c_str(), uid, static_cast<gid_t>(-1)), 0);
    tree.SetMode("own-0444", 0444);

    auto readOnlyNames = [&] {
        std::vector<std::string> names;
        tFolderListing listing;
        listing.SkipDotEntries = true;
        TSearchRec rec;
        for (int rc = listing.First(tree.Root() + "/*", faAnyFile, rec); rc == 0;
             rc = listing.Next(rec))
            if (rec.Attr & faReadOnly) names.push_back(rec.Name);
        std::sort(names.begin(), names.end());
        return names;
    };
    int rc = test::RunAsNobody([&] {
        return readOnlyNames() ==
                       std::vector<std::string>{"dangling", "link-to-0644", "own-0444", "root-0644"}
                   ? 0
                   : 1;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(readOnlyNames(), std::vector<std::string>{"dangling"}) << "root may write the rest";
}

// The read-only bit asks the item's own file system: a read-only mount inside the tree makes
// the mount point, what lies in it and links pointing into it read-only, and nothing else.
TEST_F(ScannerTest, ReadOnlyMountInsideTheTreeMarksOnlyWhatLiesOnIt) {
    tree.MakeFolder("L/mounted");
    tree.WriteFile("L/plain.txt", "p");
    const std::string mountPoint = tree.Path("L/mounted");
    if (mount("none", mountPoint.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a file system here: " << std::strerror(errno);
    struct tUnmount {
        std::string Path;
        ~tUnmount() { umount2(Path.c_str(), MNT_DETACH); }
    } unmount{mountPoint};
    tree.WriteFile("L/mounted/inside.txt", "i");
    tree.MakeFolder("L/mounted/sub");
    tree.WriteFile("L/mounted/sub/deeper.txt", "d");
    ASSERT_EQ(mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    tree.MakeLink("L/to-inside", "mounted/inside.txt");
    tree.MakeLink("L/to-plain", "plain.txt");
    tree.WriteFile("R/mounted/inside.txt", "i"); // the right side stays writable

    ASSERT_TRUE(Scan());
    auto readOnly = [&](const std::string& rel, const std::string& name, bool left) {
        const TFileListEntry* e = Find(rel, name);
        EXPECT_NE(e, nullptr) << rel << "/" << name;
        return e && ((left ? e->Left.Attr : e->Right.Attr) & faReadOnly) != 0;
    };
    EXPECT_TRUE(readOnly("", "mounted", true));
    EXPECT_TRUE(readOnly("/mounted", "inside.txt", true));
    EXPECT_TRUE(readOnly("/mounted/sub", "deeper.txt", true));
    EXPECT_TRUE(readOnly("", "to-inside", true));
    EXPECT_FALSE(readOnly("", "plain.txt", true));
    EXPECT_FALSE(readOnly("", "to-plain", true));
    EXPECT_FALSE(readOnly("/mounted", "inside.txt", false));
    EXPECT_FALSE(readOnly("", "mounted", false));
}

} // namespace
} // namespace corvane
