// Continuous sync as real processes on a temporary HOME: `corvane --watch NAME` and
// `corvane --scheduler` with a watched profile, real trees changed while they run, and the
// trees, the stored results and what the process printed checked afterwards.
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "profiles/ProfileStore.h"
#include "support/Process.h"
#include "support/TempTree.h"

#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

#include <unistd.h>

#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::TempTree;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kQuiet = 2;

class Watch : public ::testing::Test {
protected:
    TempTree home, left, right;

    tProfile Watched(const std::string& name, int quiet) {
        tProfile p;
        SetInitialValues(p);
        p.Name = name;
        p.LeftPath = left.Root();
        p.RightPath = right.Root();
        p.RightToLeft = false;
        p.WatchQuiet = quiet;
        return p;
    }
    void Store(const tProfile& p) {
        tPreferences store(home.Path(".CorvaneX"));
        store.Load();
        ASSERT_EQ(StoreProfile(store, p), "");
        store.Write("Logging", "0", "Main");
        ASSERT_EQ(store.Flush(), "");
    }
    std::string StoredResult(const std::string& name) {
        tPreferences store(home.Path(".CorvaneX"));
        store.Load();
        return store.Read("rep_" + name, "Reports");
    }
    // Polls until done() holds or the deadline (generous, for a loaded machine) has passed;
    // returns the seconds it took, or -1.
    static double WaitUntil(const std::function<bool()>& done, double seconds = 60) {
        const auto start = Clock::now();
        while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
            if (done()) return std::chrono::duration<double>(Clock::now() - start).count();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }
    static size_t Count(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    }
    std::vector<std::pair<std::string, std::string>> Env() { return {{"HOME", home.Root()}}; }
};

} // namespace

TEST_F(Watch, CopiesChangesAfterTheQuietTimeOneRunPerBurstFollowsNewFoldersEndsOnSigterm) {
    left.WriteFile("start.txt", "there before", 1600000000);
    Store(Watched("live", kQuiet));
    test::RunningCorvane watcher({"--watch", "live"}, Env());
    // Run once at the start.
    ASSERT_GE(WaitUntil([&] { return right.Exists("start.txt"); }), 0) << "no start-up run";
    ASSERT_GE(WaitUntil([&] { return StoredResult("live") == "1 copied"; }), 0);

    // One new file: there after the quiet time, and no later than a second after it.
    left.WriteFile("new.txt", "fresh");
    const double took = WaitUntil([&] { return right.Exists("new.txt"); });
    ASSERT_GE(took, 0) << "the new file was not copied";
    EXPECT_GE(took, kQuiet - 0.1) << "copied before the quiet time had passed";
    EXPECT_LE(took, kQuiet + 1.0) << "slower than the quiet time plus a second";
    EXPECT_EQ(right.ReadFile("new.txt"), "fresh");

    // A burst of 1,000 files: one run carries them all.
    for (int i = 0; i < 1000; ++i)
        left.WriteFile("burst/f" + std::to_string(i) + ".txt", "b");
    ASSERT_GE(WaitUntil([&] { return right.Exists("burst/f999.txt"); }), 0);
    ASSERT_GE(WaitUntil([&] { return StoredResult("live") == "1000 copied"; }), 0)
        << "the burst was split over several runs: " << StoredResult("live");

    // A folder created while watching is watched too: files added to it later, and to a
    // folder created inside it, follow.
    left.WriteFile("later/a.txt", "a");
    ASSERT_GE(WaitUntil([&] { return right.Exists("later/a.txt"); }), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    left.WriteFile("later/b.txt", "b");
    ASSERT_GE(WaitUntil([&] { return right.Exists("later/b.txt"); }), 0)
        << "a file in a folder created while watching was not followed";
    left.MakeFolder("later/deeper");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    left.WriteFile("later/deeper/c.txt", "c");
    ASSERT_GE(WaitUntil([&] { return right.Exists("later/deeper/c.txt"); }), 0);

    // Nothing changes: no further run, not even for the run's own copies.
    std::this_thread::sleep_for(std::chrono::seconds(kQuiet + 1));
    watcher.Signal(SIGTERM);
    const test::ProcessResult r = watcher.Wait();
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("Watching \"live\": runs after 2 seconds of quiet\n"), std::string::npos)
        << r.Out;
    EXPECT_NE(r.Out.find(" \"live\": 1000 copied\n"), std::string::npos) << r.Out;
    // start, new.txt, the burst, a.txt, b.txt, and c.txt (one run, or one for the folder and
    // one for the file when the quiet time fell between them).
    const size_t runs = Count(r.Out, " Starting \"live\"\n");
    EXPECT_GE(runs, 6u) << r.Out;
    EXPECT_LE(runs, 7u) << r.Out;
    EXPECT_EQ(r.Out.substr(r.Out.size() - 18), "Watching stopped.\n") << r.Out;
    EXPECT_EQ(left.List(), right.List());
}

TEST_F(Watch, SchedulerRescansEveryMinuteWhenTheWatchLimitIsTooLowAndRetriesFailuresOnceAMinute) {
    left.WriteFile("one.txt", "1", 1600000000);
    Store(Watched("big", 1));
    // A watched profile whose runs fail is tried again at most once a minute.
    tProfile broken = Watched("broken", 1);
    broken.LeftPath = home.Path("not-there");
    Store(broken);
    // Two base folders do not fit one watch: the limit as the environment lowers it.
    auto env = Env();
    env.emplace_back("CORVANE_WATCH_LIMIT", "1");
    test::RunningCorvane scheduler({"--scheduler"}, env);
    ASSERT_GE(WaitUntil([&] { return right.Exists("one.txt"); }), 0) << "no start-up run";
    left.WriteFile("two.txt", "2");
    // Not watched: it comes with the rescan a minute after the first run.
    const double took = WaitUntil([&] { return right.Exists("two.txt"); }, 120);
    ASSERT_GE(took, 0) << "no rescan";
    EXPECT_GE(took, 30) << "copied long before the rescan: the low limit was not applied";
    scheduler.Signal(SIGTERM);
    const test::ProcessResult r = scheduler.Wait();
    EXPECT_EQ(r.Status, 0) << r.Err;
    // Said once, though the profile was watched afresh at each rescan.
    EXPECT_EQ(Count(r.Err, "\"big\": rescanning every minute: its folders are more than the "
                           "watch limit allows (/proc/sys/fs/inotify/max_user_watches: 1)"),
              1u)
        << r.Err;
    EXPECT_EQ(Count(r.Out, "\"big\": rescanning every minute"), 1u) << r.Out;
    const size_t brokenRuns = Count(r.Out, "Starting \"broken\"\n");
    EXPECT_GE(brokenRuns, 1u) << r.Out;
    EXPECT_LE(brokenRuns, 2u) << "retried more often than once a minute:\n" << r.Out;
    EXPECT_NE(r.Out.find("\"broken\": can't access left path"), std::string::npos) << r.Out;
    // A watched profile keeps the scheduler running though nothing is scheduled.
    EXPECT_EQ(r.Out.find("No more profiles to start"), std::string::npos) << r.Out;
    EXPECT_EQ(r.Out.substr(r.Out.size() - 23), "Scheduler is inactive.\n") << r.Out;
    EXPECT_EQ(StoredResult("big"), "1 copied");
}

TEST_F(Watch, TwoWayWithRememberLastRunCarriesADeletionOverAndKeepsTheOtherFiles) {
    for (const char* name : {"keep1.txt", "keep2.txt", "sub/keep3.txt", "sub/gone.txt"})
        left.WriteFile(name, name, 1600000000);
    tProfile p = Watched("both", kQuiet);
    p.RightToLeft = true;
    p.RememberLastRun = true;
    p.UA_DeleteFiles = true;
    Store(p);
    auto env = Env();
    env.emplace_back("XDG_STATE_HOME", home.Path(".local/state"));
    test::RunningCorvane watcher({"--watch", "both"}, env);
    // The start-up run copies the tree across and remembers it.
    ASSERT_GE(WaitUntil([&] { return StoredResult("both") == "4 copied"; }), 0)
        << "no start-up run: " << StoredResult("both");
    ASSERT_EQ(left.List(), right.List());

    // Deleted on the left while watching: deleted on the right, not copied back.
    ASSERT_EQ(::unlink(left.Path("sub/gone.txt").c_str()), 0);
    const double took = WaitUntil([&] { return !right.Exists("sub/gone.txt"); });
    ASSERT_GE(took, 0) << "the deletion was not carried over: " << StoredResult("both");
    EXPECT_GE(took, kQuiet - 0.1) << "deleted before the quiet time had passed";
    EXPECT_LE(took, kQuiet + 10.0) << "far slower than the quiet time";
    // Give a wrong run (a copy back to the left) the time to happen before looking.
    std::this_thread::sleep_for(std::chrono::seconds(kQuiet + 1));
    watcher.Signal(SIGTERM);
    const test::ProcessResult r = watcher.Wait();
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_FALSE(left.Exists("sub/gone.txt")) << "the deleted file came back:\n" << r.Out;
    EXPECT_FALSE(right.Exists("sub/gone.txt"));
    for (const char* name : {"keep1.txt", "keep2.txt", "sub/keep3.txt"}) {
        EXPECT_EQ(left.ReadFile(name), name);
        EXPECT_EQ(right.ReadFile(name), name);
    }
    EXPECT_EQ(left.List(), right.List());
    EXPECT_EQ(Count(r.Out, " Starting \"both\"\n"), 2u) << r.Out;
}
