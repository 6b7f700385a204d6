// The run driver through the library: questions, review, unattended execution, cache
// upkeep and the stored record, on real trees with a scripted UI port.
#include "engine/RunDriver.h"
#include "engine/Scanner.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "profiles/RunLock.h"
#include "support/RunFixture.h"
#include "support/ScriptedPort.h"
#include "support/TempTree.h"

#include <cstdio>

#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::ScriptedPort;
using corvane::test::TempTree;

namespace {

constexpr int64_t kOld = 1600000000;
constexpr int64_t kNew = 1700000000;

class RunDriver : public corvane::test::RunFixture {
protected:
    tProfile DangerousMirror() {
        tProfile p = Profile();
        p.RightToLeft = false;
        p.ExactMirror = true;
        p.Unattended = true;
        p.UA_DeleteFiles = true;
        left.WriteFile("keep.txt", "k", kOld);
        right.WriteFile("obsolete.txt", "o", kOld);
        // The mirror loses its only file: no limit on deletions here (it has tests of its own).
        RunSettings().DeleteLimit = 100;
        return p;
    }
};

TEST_F(RunDriver, DangerousProfileStartedByHandAsksFirst) {
    {
        tProfile p = DangerousMirror();
        port.Decisions = {-1};
        EXPECT_FALSE(RunProfile(p, false));
        ASSERT_EQ(port.CallsStartingWith("Decision: ").size(), 1u);
        EXPECT_EQ(port.Calls[0], std::string("Decision: ") + kDangerQuestion);
        EXPECT_TRUE(right.Exists("obsolete.txt"));
        EXPECT_FALSE(store.Has("opt_job", "Profiles")) << "Cancel stores nothing";
        EXPECT_FALSE(right.Exists("keep.txt")) << "Cancel analyses and executes nothing";
    }
    {
        // No: the plan is reviewed; the review is cancelled here.
        tProfile p = DangerousMirror();
        port.Calls.clear();
        port.Decisions = {0};
        port.Reviews = {false};
        EXPECT_FALSE(RunProfile(p, false));
        EXPECT_EQ(port.CallsStartingWith("Review").size(), 1u);
        EXPECT_FALSE(p.Unattended);
        EXPECT_TRUE(right.Exists("obsolete.txt"));
    }
    {
        // Yes: runs unattended without review; deletions as permitted.
        tProfile p = DangerousMirror();
        port.Calls.clear();
        port.Decisions = {1};
        EXPECT_TRUE(RunProfile(p, false));
        EXPECT_TRUE(port.CallsStartingWith("Review").empty());
        EXPECT_FALSE(right.Exists("obsolete.txt"));
        EXPECT_TRUE(right.Exists("keep.txt"));
        EXPECT_EQ(p.LastRunResult, "1 copied, 1 deleted");
        EXPECT_TRUE(store.Has("opt_job", "Profiles")) << "an unattended profile is stored";
    }
}

TEST_F(RunDriver, ScheduledRunDoesNotAskAndDoesNotStoreTheRecordItself) {
    tProfile p = DangerousMirror();
    EXPECT_TRUE(RunProfile(p, true));
    EXPECT_TRUE(port.Calls.empty()) << port.Calls.front();
    EXPECT_FALSE(right.Exists("obsolete.txt"));
    EXPECT_FALSE(store.Has("opt_job", "Profiles"));
    EXPECT_EQ(store.Read("rep_job", "Reports"), "1 copied, 1 deleted");
    EXPECT_GT(p.LastRun, 0);
}

TEST_F(RunDriver, AttendedReviewStartsOrCancels) {
    left.WriteFile("a.txt", "a", kNew);
    right.WriteFile("b.txt", "b", kNew);
    tProfile p = Profile();
    port.Reviews = {false};
    EXPECT_FALSE(RunProfile(p, false));
    EXPECT_FALSE(right.Exists("a.txt"));
    EXPECT_FALSE(store.Has("opt_job", "Profiles")) << "a cancelled attended run stores nothing";

    tProfile q = Profile();
    port.Reviews = {true};
    EXPECT_TRUE(RunProfile(q, false));
    EXPECT_TRUE(right.Exists("a.txt"));
    EXPECT_TRUE(left.Exists("b.txt"));
    EXPECT_EQ(q.LastRunResult, "2 copied");
    EXPECT_GT(q.LastRun, 0) << "attended runs take their time when execution starts";
    tProfile stored;
    ASSERT_TRUE(DecodeOptions(stored, store.Read("opt_job", "Profiles")));
    EXPECT_DOUBLE_EQ(stored.LastRun, q.LastRun);
}

TEST_F(RunDriver, LeftToRightOnlyNeverCopiesBack) {
    left.WriteFile("f.txt", "older", kOld);
    right.WriteFile("f.txt", "newer on the right", kNew);
    tProfile p = Profile();
    p.RightToLeft = false;
    EXPECT_TRUE(RunProfile(p, true));
    EXPECT_EQ(left.ReadFile("f.txt"), "older");
    EXPECT_EQ(p.LastRunResult, "Nothing to be done");
}

TEST_F(RunDriver, FilterDefaultsFollowTheDirections) {
    tProfile p = Profile();
    SetFilterDefaults(p);
    EXPECT_EQ(p.Filter.rgState, 1);
    EXPECT_EQ(p.Filter.rgAdjustMovedFiles, 0);
    EXPECT_EQ(p.Filter.cbFilesToDelete, tTriState::Unchecked);
    p.RightToLeft = false;
    p.ExactMirror = true;
    SetFilterDefaults(p);
    EXPECT_EQ(p.Filter.rgState, 2);
    EXPECT_EQ(p.Filter.rgAdjustMovedFiles, 1);
    EXPECT_EQ(p.Filter.cbFilesToDelete, tTriState::Grayed);
    p.RightToLeft = true;
    p.LeftToRight = false;
    SetFilterDefaults(p);
    EXPECT_EQ(p.Filter.rgState, 3);
    EXPECT_EQ(p.Filter.rgAdjustMovedFiles, 0);
    p.RightToLeft = false;
    SetFilterDefaults(p);
    EXPECT_EQ(p.Filter.rgState, 0);
}

TEST_F(RunDriver, CachedRightSideIsRescannedOnlyAfterAChange) {
    left.WriteFile("a.txt", "a", kOld);
    tProfile p = Profile();
    p.RightToLeft = false;
    p.CacheRight = true;
    EXPECT_TRUE(RunProfile(p, true));
    ASSERT_TRUE(right.Exists("a.txt"));
    // The rescan after the run holds the right side as it is now: a file removed behind
    // the cache's back is not seen by the next scheduled run.
    std::remove(right.Path("a.txt").c_str());
    tProfile q = Profile();
    q.RightToLeft = false;
    q.CacheRight = true;
    EXPECT_TRUE(RunProfile(q, true));
    EXPECT_EQ(q.LastRunResult, "Nothing to be done");
    EXPECT_FALSE(right.Exists("a.txt"));

    // Started by hand the cache is neither used nor kept.
    tProfile r = Profile();
    r.RightToLeft = false;
    r.CacheRight = true;
    port.Reviews = {true};
    EXPECT_TRUE(RunProfile(r, false));
    EXPECT_TRUE(right.Exists("a.txt"));
}

TEST_F(RunDriver, EmptyModelGuardOnlyInUnattendedRuns) {
    right.WriteFile("backup.txt", "precious", kOld);
    tProfile p = Profile();
    p.RightToLeft = false;
    p.ExactMirror = true;
    p.UA_DeleteFiles = true;
    EXPECT_FALSE(RunProfile(p, true));
    EXPECT_EQ(p.LastRunResult, kModelSideEmpty);
    EXPECT_TRUE(right.Exists("backup.txt"));

    // Attended: the user sees the plan and decides.
    tProfile q = Profile();
    q.RightToLeft = false;
    q.ExactMirror = true;
    port.Reviews = {true};
    port.Choices = {2}; // "Delete this file"
    EXPECT_TRUE(RunProfile(q, false));
    EXPECT_FALSE(right.Exists("backup.txt"));
}

TEST_F(RunDriver, OverlappingFoldersAreRefusedAttendedWithAMessage) {
    tProfile p = Profile();
    p.RightPath = left.Path("inner");
    left.MakeFolder("inner");
    left.WriteFile("a.txt", "a", kOld);
    EXPECT_FALSE(RunProfile(p, false));
    ASSERT_EQ(port.CallsStartingWith("Info: ").size(), 1u);
    EXPECT_NE(port.Calls[0].find(kPathsOverlap), std::string::npos);
    EXPECT_EQ(store.Read("rep_job", "Reports"), kPathsOverlap);
    EXPECT_FALSE(left.Exists("inner/a.txt"));
}

} // namespace

namespace {

TEST_F(RunDriver, PlainFileReplacesALinkOnTheOtherSideInsteadOfBecomingOne) {
    left.WriteFile("doc.txt", "real data", kNew);
    right.WriteFile("elsewhere.txt", "t", kOld);
    right.MakeLink("doc.txt", "elsewhere.txt");
    right.SetTime("doc.txt", kOld);
    tProfile p = Profile();
    p.RightToLeft = false;
    p.SymLinks = 1;
    EXPECT_TRUE(RunProfile(p, true));
    EXPECT_EQ(p.LastRunResult, "1 copied");
    ASSERT_FALSE(right.IsLink("doc.txt"));
    EXPECT_EQ(right.ReadFile("doc.txt"), "real data");
    EXPECT_EQ(right.ReadFile("elsewhere.txt"), "t") << "the old link's target is untouched";
}

TEST_F(RunDriver, FolderThatCannotBeMadeIsCountedAsFailed) {
    left.MakeFolder("empty");
    right.SetMode("", 0755); // root's: nobody may not create anything in it
    int rc = test::RunAsNobody([&] {
        tProfile p = Profile();
        p.RightToLeft = false;
        p.EmptyFolders = true;
        if (!RunProfile(p, true)) return 1;
        if (p.LastRunResult != "0 copied, 1 failed") return 2;
        if (p.FailedCount != 1 || p.ResultList.size() != 1) return 3;
        return p.ResultList[0] == "/empty (error 13)" ? 0 : 4;
    });
    right.SetMode("", 0777);
    EXPECT_EQ(rc, 0);
}

TEST_F(RunDriver, OverlapIsFoundAlsoBeforeTheInnerFolderExists) {
    left.WriteFile("a.txt", "a", kOld);
    tProfile p = Profile();
    p.RightPath = left.Path("backup/new");
    port.Questions = {true, true};
    port.Reviews = {true};
    EXPECT_FALSE(RunProfile(p, false));
    EXPECT_EQ(p.LastRunResult, kPathsOverlap);
    EXPECT_FALSE(left.Exists("backup")) << "nothing was created or copied";
}

} // namespace

TEST_F(RunDriver, ProfileAlreadyRunningInThisProcessIsNotRunAgain) {
    left.WriteFile("a.txt", "a", kOld);
    tProfile p = Profile();
    {
        // The scheduler runs it while a window starts it as well.
        tProfileRunLock running(p.Name);
        ASSERT_FALSE(running.Busy());
        EXPECT_FALSE(RunProfile(p, false));
        EXPECT_TRUE(p.AlreadyRunning);
        EXPECT_EQ(p.LastRunResult, kAlreadyRunning);
        EXPECT_EQ(port.CallsStartingWith("Info: "),
                  std::vector<std::string>{std::string("Info: ") + kAlreadyRunning});
        EXPECT_FALSE(right.Exists("a.txt"));
        EXPECT_FALSE(store.Has("opt_job", "Profiles"));
        EXPECT_FALSE(store.Has("rep_job", "Reports"));

        tProfile q = Profile();
        q.Name = "another job";
        port.Reviews = {true};
        EXPECT_TRUE(RunProfile(q, false)) << "other profiles run";
        EXPECT_TRUE(right.Exists("a.txt"));
    }
    right.WriteFile("b.txt", "b", kOld);
    EXPECT_TRUE(RunProfile(p, true)) << "the lock ends with the run that held it";
    EXPECT_FALSE(p.AlreadyRunning);
    EXPECT_TRUE(left.Exists("b.txt"));
}
