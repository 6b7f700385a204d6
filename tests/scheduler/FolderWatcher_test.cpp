// The folder watcher on real trees: which changes count for which profile, folders created
// or moved while watching, the rules of hidden folders and masks, and the watch limit.
// inotify queues an event before the system call that caused it returns, so every change
// below can be read back at once.
#include "profiles/Profile.h"
#include "scheduler/FolderWatcher.h"
#include "support/TempTree.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::TempTree;

namespace {

tProfile Pair(const TempTree& left, const TempTree& right) {
    tProfile p;
    SetInitialValues(p);
    p.LeftPath = left.Root();
    p.RightPath = right.Root();
    return p;
}

} // namespace

TEST(FolderWatcher, ChangesCountForTheProfilesThatWouldSeeThem) {
    TempTree left, right, other;
    left.WriteFile("docs/a.txt", "a");
    left.WriteFile(".cache/x", "x");
    left.WriteFile("build/obj.o", "o");
    tFolderWatcher watcher(1000);
    ASSERT_GE(watcher.Fd(), 0);
    tProfile p = Pair(left, right);
    p.ExcludeMasks = "build";
    std::string problem;
    ASSERT_EQ(watcher.Watch(1, p, problem), tWatchMode::Events) << problem;
    ASSERT_EQ(watcher.Watch(2, Pair(other, right), problem), tWatchMode::Events) << problem;
    // Both roots, "docs"; the hidden and the excluded folder are left out; "other" and the
    // shared right root.
    EXPECT_EQ(watcher.WatchCount(), 4u);
    EXPECT_TRUE(watcher.ReadEvents().empty());

    left.WriteFile("docs/b.txt", "b");
    EXPECT_EQ(watcher.ReadEvents(), std::vector<int>{1});
    right.WriteFile("shared.txt", "s");
    auto both = watcher.ReadEvents();
    std::sort(both.begin(), both.end());
    EXPECT_EQ(both, (std::vector<int>{1, 2}));

    // What no run would see: hidden items, excluded folders, old versions, copy temporaries.
    left.WriteFile(".cache/y", "y");
    left.WriteFile(".hidden.txt", "h");
    left.WriteFile("build/more.o", "o");
    left.WriteFile("docs/a.$1$.txt", "old");
    left.WriteFile("docs/.crvtmp-123456", "t");
    EXPECT_TRUE(watcher.ReadEvents().empty());

    // A folder made while watching is watched, and so is a folder inside it.
    left.MakeFolder("new");
    EXPECT_EQ(watcher.ReadEvents(), std::vector<int>{1});
    left.MakeFolder("new/deeper");
    EXPECT_EQ(watcher.ReadEvents(), std::vector<int>{1});
    left.WriteFile("new/deeper/c.txt", "c");
    EXPECT_EQ(watcher.ReadEvents(), std::vector<int>{1});

    // A folder moved is followed at its new place; its old place is no longer watched.
    ASSERT_EQ(std::rename(left.Path("new").c_str(), left.Path("docs/moved").c_str()), 0);
    EXPECT_EQ(watcher.ReadEvents(), std::vector<int>{1});
    left.WriteFile("docs/moved/deeper/d.txt", "d");
    EXPECT_EQ(watcher.ReadEvents(), std::vector<int>{1});
    // Moved out of the tree: its changes no longer count.
    TempTree outside;
    ASSERT_EQ(std::rename(left.Path("docs/moved").c_str(), outside.Path("away").c_str()), 0);
    EXPECT_EQ(watcher.ReadEvents(), std::vector<int>{1});
    outside.WriteFile("away/deeper/e.txt", "e");
    EXPECT_TRUE(watcher.ReadEvents().empty());
    EXPECT_FALSE(watcher.NeedsRewatch(1));

    // Unwatched: nothing counts for it any more; the shared folder still counts for 2.
    watcher.Unwatch(1);
    left.WriteFile("docs/late.txt", "l");
    right.WriteFile("shared2.txt", "s");
    EXPECT_EQ(watcher.ReadEvents(), std::vector<int>{2});
}

TEST(FolderWatcher, TooManyFoldersForTheLimitWatchNothing) {
    TempTree left, right;
    for (int i = 0; i < 5; ++i)
        left.MakeFolder("f" + std::to_string(i));
    tFolderWatcher watcher(6);
    std::string problem;
    EXPECT_EQ(watcher.Watch(1, Pair(left, right), problem), tWatchMode::TooManyWatches);
    EXPECT_NE(problem.find("max_user_watches: 6"), std::string::npos) << problem;
    EXPECT_EQ(watcher.WatchCount(), 0u);
    // Within the limit once a folder is gone.
    ASSERT_EQ(rmdir(left.Path("f4").c_str()), 0);
    EXPECT_EQ(watcher.Watch(1, Pair(left, right), problem), tWatchMode::Events) << problem;
    EXPECT_EQ(watcher.WatchCount(), 6u);
    // A new folder beyond the limit: the profile must be watched again (and then falls back).
    left.MakeFolder("f9");
    EXPECT_EQ(watcher.ReadEvents(), std::vector<int>{1});
    EXPECT_TRUE(watcher.NeedsRewatch(1));
    EXPECT_EQ(watcher.Watch(1, Pair(left, right), problem), tWatchMode::TooManyWatches);

    TempTree home;
    tProfile missing = Pair(left, right);
    missing.RightPath = home.Path("not-there");
    EXPECT_EQ(watcher.Watch(2, missing, problem), tWatchMode::Unreachable);
    EXPECT_NE(problem.find("not-there"), std::string::npos) << problem;
}
