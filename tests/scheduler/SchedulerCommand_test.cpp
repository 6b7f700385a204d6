// `corvane --scheduler` as a real process on a temporary HOME: profiles due in a few
// seconds are run, their results and next runs reach the file, and the process ends when
// nothing is left or on SIGTERM.
#include "profiles/DateTime.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "profiles/ProfileStore.h"
#include "support/Process.h"
#include "support/TempTree.h"

#include <chrono>
#include <csignal>
#include <thread>

#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::TempTree;

namespace {

constexpr double kSecond = 1.0 / 86400.0;

class SchedulerCommand : public ::testing::Test {
protected:
    TempTree home, left, right;

    tProfile Due(const std::string& name, tDateTime nextRun) {
        tProfile p;
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
    void Store(const std::vector<tProfile>& profiles) {
        tPreferences store(home.Path(".CorvaneX"));
        store.Load();
        for (const tProfile& p : profiles) ASSERT_EQ(StoreProfile(store, p), "");
        store.Write("Logging", "0", "Main");
        ASSERT_EQ(store.Flush(), "");
    }
    tProfile OnDisk(const std::string& name) {
        tPreferences store(home.Path(".CorvaneX"));
        store.Load();
        return LoadStoredProfile(store, name).value_or(tProfile{});
    }
    // Waits (up to a minute, for a loaded machine) until the stored result of name is result.
    bool WaitForResult(const std::string& name, const std::string& result) {
        for (int i = 0; i < 600; ++i) {
            if (OnDisk(name).LastRunResult == result) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    std::vector<std::pair<std::string, std::string>> Env() { return {{"HOME", home.Root()}}; }
};

} // namespace

TEST_F(SchedulerCommand, RunsTheDueProfileStoresItsNextRunAndEndsOnSigterm) {
    left.WriteFile("report.txt", "due", 1600000000);
    left.WriteFile("sub/photo.jpg", std::string(10000, 'p'), 1600000000);
    const tDateTime due = NowDateTime() + 3 * kSecond;
    tProfile daily = Due("daily", due);
    daily.Repeat = true;
    daily.RepeatMode = 0;
    daily.Days = 1;
    tProfile missed = Due("missed", NowDateTime() - 3600 * kSecond);
    missed.LeftPath = home.Path("missed-left");
    Store({missed, daily});

    test::RunningCorvane scheduler({"--scheduler"}, Env());
    ASSERT_TRUE(WaitForResult("daily", "2 copied")) << "the scheduled run did not happen";
    // The result and the next run are stored together, so the record is complete by now.
    const tProfile back = OnDisk("daily");
    EXPECT_TRUE(back.Scheduled);
    EXPECT_EQ(DateTimeText(back.NextRun), DateTimeText(due + 1));
    EXPECT_GT(back.LastRun, due - 2 * kSecond);
    EXPECT_EQ(right.ReadFile("report.txt"), "due");
    EXPECT_TRUE(right.Exists("sub/photo.jpg"));

    scheduler.Signal(SIGTERM);
    const test::ProcessResult r = scheduler.Wait();
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find(" Starting \"daily\"\n"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find(" \"daily\": 2 copied; next run " + DateTimeText(due + 1) + "\n"),
              std::string::npos)
        << r.Out;
    EXPECT_EQ(r.Out.find("missed"), std::string::npos) << "a passed next run is not started";
    EXPECT_EQ(r.Out.substr(r.Out.size() - 23), "Scheduler is inactive.\n") << r.Out;
    EXPECT_EQ(OnDisk("missed").LastRunResult, "");
}

TEST_F(SchedulerCommand, EndsWhenNothingIsLeftToStart) {
    left.WriteFile("once.txt", "1", 1600000000);
    Store({Due("once", NowDateTime() + 3 * kSecond)});
    const test::ProcessResult r = test::RunCorvane({"--scheduler"}, Env());
    EXPECT_EQ(r.Status, 0) << r.Err;
    const std::string last = "No more profiles to start - scheduler is inactive.\n";
    ASSERT_GE(r.Out.size(), last.size()) << r.Out;
    EXPECT_EQ(r.Out.substr(r.Out.size() - last.size()), last);
    EXPECT_NE(r.Out.find("\"once\": 1 copied; not rescheduled"), std::string::npos) << r.Out;
    EXPECT_TRUE(right.Exists("once.txt"));
    const tProfile back = OnDisk("once");
    EXPECT_FALSE(back.Scheduled);
    EXPECT_EQ(back.LastRunResult, "1 copied");

    // Nothing scheduled at all: it says so and ends at once.
    const test::ProcessResult idle = test::RunCorvane({"--scheduler"}, Env());
    EXPECT_EQ(idle.Status, 0);
    EXPECT_NE(idle.Out.find(last), std::string::npos) << idle.Out;
    EXPECT_EQ(idle.Out.find("Starting"), std::string::npos);
}
