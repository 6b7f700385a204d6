// The scheduler loop at fixed moments: real profiles in a preferences file, real trees,
// and what was started, copied and stored checked afterwards.
#include "profiles/DateTime.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "profiles/ProfileStore.h"
#include "profiles/RunLock.h"
#include "scheduler/NextRun.h"
#include "scheduler/Scheduler.h"
#include "support/ScriptedPort.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::TempTree;

namespace {

constexpr double kMinute = 1.0 / 1440.0, kHour = 1.0 / 24.0;

tDateTime At(int y, int mo, int d, int h, int mi, int s = 0) {
    return EncodeDateTime({y, mo, d, h, mi, s});
}

class Scheduler : public ::testing::Test {
protected:
    TempTree home;
    std::vector<std::unique_ptr<TempTree>> trees;
    tPreferences store{home.Path(".CorvaneX")};
    test::ScriptedPort port;
    tDateTime clock = At(2031, 4, 2, 9, 0);
    tScheduler scheduler{store, [this] { return clock; }};
    std::vector<std::string> started;
    std::vector<tScheduledRun> runs;
    tScheduler::tHooks hooks;

    Scheduler() {
        store.Load();
        SetPrefStore(&store);
        hooks.Starting = [this](const tScheduleRow& row, tProfile&) { started.push_back(row.Name); };
        hooks.Finished = [this](const tScheduledRun& run, tProfile&) { runs.push_back(run); };
    }
    ~Scheduler() override { SetPrefStore(nullptr); }

    // A left-to-right profile over two fresh trees, the left one holding one file.
    tProfile& Add(const std::string& name, tDateTime nextRun, std::vector<tProfile>& keep) {
        auto& left = *trees.emplace_back(std::make_unique<TempTree>());
        auto& right = *trees.emplace_back(std::make_unique<TempTree>());
        left.WriteFile(name + ".txt", name, 1600000000);
        tProfile& p = keep.emplace_back();
        SetInitialValues(p);
        p.Name = name;
        p.LeftPath = left.Root();
        p.RightPath = right.Root();
        p.RightToLeft = false;
        p.Scheduled = true;
        p.Repeat = false; // the defaults repeat daily
        p.NextRun = nextRun;
        return p;
    }
    void Store(std::vector<tProfile>& profiles) {
        for (const tProfile& p : profiles) ASSERT_EQ(StoreProfile(store, p), "");
        ASSERT_EQ(store.Flush(), "");
        scheduler.Rebuild(clock);
    }
    // The right tree of the n-th profile added.
    TempTree& Right(size_t n) { return *trees[2 * n + 1]; }
    tProfile OnDisk(const std::string& name) {
        tPreferences disk(home.Path(".CorvaneX"));
        disk.Load();
        auto p = LoadStoredProfile(disk, name);
        EXPECT_TRUE(p.has_value()) << name;
        return p.value_or(tProfile{});
    }
};

} // namespace

TEST_F(Scheduler, ProfilesDueTheSameMinuteStartUpperRowFirstAndTheSecondAtOnce) {
    const tDateTime due = At(2031, 4, 2, 9, 5);
    std::vector<tProfile> ps;
    Add("upper", due, ps).Repeat = true;
    Add("lower", due, ps).Repeat = true;
    ps[0].RepeatMode = ps[1].RepeatMode = 1;
    Add("later", due + kHour, ps);
    Store(ps);
    ASSERT_EQ(scheduler.Rows().size(), 3u);
    EXPECT_EQ(scheduler.Rows()[0].Cells[0], "02.04.2031\x01" "09:05:00");
    EXPECT_EQ(scheduler.Rows()[1].Cells[2], "L: " + ps[1].LeftPath + "\x01R: " + ps[1].RightPath);

    EXPECT_TRUE(scheduler.Tick(clock, hooks));
    EXPECT_TRUE(started.empty()) << "nothing is due yet";
    EXPECT_EQ(scheduler.Next().Row, 0) << "on equal times the upper row wins";
    EXPECT_EQ(NextStartText(scheduler.Next().Due),
              "Scheduler is running. Next profile starts on 02.04.2031 at 09:05:00");

    clock = due + 20.0 / 86400; // the runs end 20 seconds after the start
    EXPECT_TRUE(scheduler.Tick(due, hooks));
    EXPECT_EQ(started, (std::vector<std::string>{"upper", "lower"}));
    EXPECT_EQ(Right(0).List(), std::vector<std::string>{"upper.txt"});
    EXPECT_EQ(Right(1).List(), std::vector<std::string>{"lower.txt"});
    EXPECT_TRUE(Right(2).List().empty()) << "the later profile waits for its time";
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_TRUE(runs[0].Succeeded && runs[0].Rescheduled);
    EXPECT_EQ(runs[0].Result, "1 copied");

    // Both moved on by their interval from the due time, stored and flushed.
    for (const char* name : {"upper", "lower"}) {
        tProfile back = OnDisk(name);
        EXPECT_TRUE(back.Scheduled) << name;
        EXPECT_EQ(DateTimeText(back.NextRun), "03.04.2031 09:05:00") << name;
        EXPECT_EQ(back.LastRunResult, "1 copied");
    }
    EXPECT_EQ(scheduler.Rows()[scheduler.Next().Row].Name, "later");
}

TEST_F(Scheduler, RepeatOnlyOnceRunsTwiceThenStops) {
    const tDateTime due = clock + kMinute;
    std::vector<tProfile> ps;
    tProfile& p = Add("twice", due, ps);
    p.Repeat = true;
    p.RepeatMode = 2;
    p.RepeatTimes = 1;
    p.Days = 0;
    p.Hours = 2;
    Store(ps);

    clock = due;
    EXPECT_TRUE(scheduler.Tick(clock, hooks));
    tProfile back = OnDisk("twice");
    EXPECT_TRUE(back.Scheduled);
    EXPECT_FALSE(back.Repeat) << "the last repetition is still to come";
    EXPECT_EQ(back.RepeatTimes, 0);
    EXPECT_EQ(DateTimeText(back.NextRun), DateTimeText(due + 2 * kHour));

    trees[0]->WriteFile("second.txt", "2");
    clock = due + 2 * kHour;
    EXPECT_FALSE(scheduler.Tick(clock, hooks)) << "nothing left after the second run";
    EXPECT_EQ(started.size(), 2u);
    EXPECT_TRUE(Right(0).Exists("second.txt"));
    EXPECT_FALSE(OnDisk("twice").Scheduled);
}

TEST_F(Scheduler, RepeatWithoutIntervalRunsOnce) {
    const tDateTime due = clock + kMinute;
    std::vector<tProfile> ps;
    tProfile& p = Add("once", due, ps);
    p.Repeat = true;
    p.RepeatMode = 1;
    p.Days = p.Hours = p.Minutes = 0;
    Store(ps);
    clock = due;
    EXPECT_FALSE(scheduler.Tick(clock, hooks));
    EXPECT_EQ(started, std::vector<std::string>{"once"});
    EXPECT_FALSE(runs.at(0).Rescheduled);
    tProfile back = OnDisk("once");
    EXPECT_FALSE(back.Scheduled);
    EXPECT_EQ(back.NextRun, due) << "the next run stays where it was";
    EXPECT_TRUE(scheduler.Rows().empty());
}

TEST_F(Scheduler, AutoUpdateTenYearsBackWithAMinuteIntervalStartsJustAfterNow) {
    std::vector<tProfile> ps;
    tProfile& p = Add("catch-up", At(2021, 4, 2, 8, 30), ps);
    p.AutoUpdate = true;
    p.Repeat = true;
    p.RepeatMode = 1;
    p.Days = 0;
    p.Minutes = 1;
    Store(ps);
    ASSERT_EQ(scheduler.Rows().size(), 1u);
    // The step grows to a 100000th of the gap, so the advance takes about 100000 steps
    // instead of five million, and lands within one step after now + 15 seconds.
    const double step = (clock + kNextRunMargin - At(2021, 4, 2, 8, 30)) / 100000.0;
    const tDateTime due = scheduler.Rows()[0].Due;
    EXPECT_GE(due, ToTheSecond(clock + kNextRunMargin));
    EXPECT_LT(due, clock + kNextRunMargin + step + kMinute) << DateTimeText(due);

    clock = due;
    EXPECT_TRUE(scheduler.Tick(clock, hooks));
    EXPECT_EQ(started.size(), 1u);
    const tProfile back = OnDisk("catch-up");
    EXPECT_GT(back.NextRun, due);
    EXPECT_LT(back.NextRun, due + 2 * kMinute);

    // The same from the decision itself, ten years back from a due time.
    tProfile q = ps[0];
    EXPECT_TRUE(RescheduleAfterRun(q, true, At(2021, 4, 2, 8, 30), clock));
    EXPECT_GE(q.NextRun, clock + kNextRunMargin);
    EXPECT_LT(q.NextRun, clock + kNextRunMargin + step + kMinute);
}

TEST_F(Scheduler, PastNextRunWithoutAutoUpdateIsNotStartedAndNothingLeftStops) {
    std::vector<tProfile> ps;
    Add("missed", clock - kHour, ps).Repeat = true;
    Store(ps);
    EXPECT_TRUE(scheduler.Rows().empty());
    EXPECT_FALSE(scheduler.Tick(clock, hooks));
    EXPECT_TRUE(started.empty());
    EXPECT_TRUE(Right(0).List().empty());

    scheduler.OnlyScheduled = false;
    scheduler.Rebuild(clock);
    ASSERT_EQ(scheduler.Rows().size(), 1u);
    EXPECT_EQ(scheduler.Rows()[0].Cells[0], "") << "shown without a next run";
    EXPECT_FALSE(scheduler.Tick(clock, hooks));
    EXPECT_TRUE(started.empty());
}

TEST_F(Scheduler, FailedRunWhileNoErrorEndsTheSchedule) {
    const tDateTime due = clock + kMinute;
    std::vector<tProfile> ps;
    tProfile& p = Add("broken", due, ps);
    p.LeftPath = home.Path("not-there");
    p.Repeat = true;
    p.RepeatMode = 0;
    Store(ps);
    clock = due;
    EXPECT_FALSE(scheduler.Tick(clock, hooks));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].Failed());
    EXPECT_EQ(runs[0].Result, "can't access left path");
    tProfile back = OnDisk("broken");
    EXPECT_FALSE(back.Scheduled);
    EXPECT_EQ(back.LastRunResult, "can't access left path");
    EXPECT_TRUE(port.Calls.empty()) << "a scheduled run asks nothing: " << port.Calls.front();
}

TEST_F(Scheduler, MirrorThatWouldDeleteMoreThanTheLimitIsAFailedRunThatDoesNothing) {
    RunSettings() = tMainSettings{};
    const tDateTime due = clock + kMinute;
    std::vector<tProfile> ps;
    // Two mirrors due at once over 8 files each: one keeps 3 of them, one keeps 4.
    for (const char* name : {"refused", "allowed"}) {
        tProfile& p = Add(name, due, ps);
        p.ExactMirror = true;
        p.UA_DeleteFiles = true;
        p.Repeat = true;
        p.RepeatMode = 0; // while no error
        p.Days = 1;
    }
    for (size_t n = 0; n < 2; ++n) {
        TempTree& left = *trees[2 * n];
        for (int i = 1; i <= 8; ++i) Right(n).WriteFile("f" + std::to_string(i), "x", 1600000000);
        for (int i = 1; i <= (n == 0 ? 3 : 4); ++i)
            left.WriteFile("f" + std::to_string(i), "x", 1600000000);
    }
    Store(ps);
    clock = due;
    scheduler.Tick(clock, hooks);
    ASSERT_EQ(runs.size(), 2u);
    const std::string refusal =
        "Would delete 5 of 8 files (62%), more than the 50% allowed: nothing done";
    EXPECT_TRUE(runs[0].Failed());
    EXPECT_EQ(runs[0].Result, refusal);
    EXPECT_FALSE(runs[0].Rescheduled) << "repeated only while no error";
    EXPECT_EQ(Right(0).List().size(), 8u);
    EXPECT_FALSE(Right(0).Exists("refused.txt")) << "nothing at all was executed";
    EXPECT_EQ(OnDisk("refused").LastRunResult, refusal);

    EXPECT_FALSE(runs[1].Failed());
    EXPECT_EQ(runs[1].Result, "1 copied, 4 deleted");
    EXPECT_TRUE(runs[1].Rescheduled);
    EXPECT_EQ(Right(1).List(),
              (std::vector<std::string>{"allowed.txt", "f1", "f2", "f3", "f4"}));
    EXPECT_TRUE(port.Calls.empty()) << "a scheduled run asks nothing: " << port.Calls.front();
}

TEST_F(Scheduler, RunHeldElsewhereIsSkippedNotFailedAndTakenInOnceItEnds) {
    const tDateTime due = clock + kMinute;
    std::vector<tProfile> ps;
    tProfile& p = Add("shared", due, ps);
    p.Repeat = true;
    p.RepeatMode = 0;
    Store(ps);
    const std::string before = home.ReadFile(".CorvaneX");
    clock = due;
    {
        auto held = std::make_unique<tProfileRunLock>("shared", store.FileName());
        ASSERT_FALSE(held->Busy());
        EXPECT_TRUE(scheduler.Tick(clock, hooks)) << "the other run is still going";
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_TRUE(runs[0].Skipped);
        EXPECT_FALSE(runs[0].Failed());
        EXPECT_EQ(runs[0].Result, "Profile is already running: nothing done");
        EXPECT_TRUE(Right(0).List().empty());
        EXPECT_EQ(home.ReadFile(".CorvaneX"), before) << "nothing stored";
        EXPECT_TRUE(scheduler.Tick(clock, hooks));
        EXPECT_EQ(runs.size(), 1u) << "not started a second time";

        // The other run ends and stores its next run.
        tPreferences other(home.Path(".CorvaneX"));
        other.Load();
        tProfile done = *LoadStoredProfile(other, "shared");
        done.NextRun = due + 1;
        done.LastRunResult = "1 copied";
        ASSERT_EQ(StoreProfile(other, done), "");
        ASSERT_EQ(other.Flush(), "");
    }
    EXPECT_TRUE(scheduler.Tick(clock, hooks));
    EXPECT_EQ(runs.size(), 1u);
    ASSERT_TRUE(scheduler.Next().Known) << "the schedule goes on with the stored next run";
    EXPECT_EQ(scheduler.Next().Due, due + 1);
}

TEST_F(Scheduler, ProfileUnscheduledAfterTheSearchIsNotStarted) {
    const tDateTime due = clock + kMinute;
    std::vector<tProfile> ps;
    Add("changed", due, ps);
    Add("kept", due + kMinute, ps);
    Store(ps);
    EXPECT_TRUE(scheduler.Tick(clock, hooks));
    ASSERT_EQ(scheduler.Next().Row, 0);
    // The window saves "changed" without its schedule while the scheduler waits.
    ps[0].Scheduled = false;
    ASSERT_EQ(StoreProfile(store, ps[0]), "");
    clock = due + kMinute;
    EXPECT_TRUE(scheduler.Tick(due, hooks));
    EXPECT_TRUE(started.empty());
    EXPECT_FALSE(scheduler.Tick(clock, hooks));
    EXPECT_EQ(started, std::vector<std::string>{"kept"});
    EXPECT_TRUE(Right(0).List().empty());
}
